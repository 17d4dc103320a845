#pragma once

#include <QString>

#include <functional>
#include <memory>

// Tells whether a word is spelt correctly in the user's language.
class SpellChecker {
public:
    virtual ~SpellChecker() = default;

    // False when no dictionary could be loaded: then every word counts as correct,
    // so that nothing is marked rather than everything.
    virtual bool hasDictionary() const = 0;
    // Whether word (one word, no surrounding blanks or punctuation) is in the
    // dictionary. The empty word is correct.
    virtual bool isCorrect(const QString& word) const = 0;
};

// A spell checker for the user's language (LC_ALL, LC_MESSAGES or LANG), falling back
// to American English. Logs once when it finds no dictionary at all.
std::unique_ptr<SpellChecker> createUserSpellChecker();

// Hands out a spell checker; what the windows that check spelling are given.
using SpellCheckerSource = std::function<std::shared_ptr<const SpellChecker>()>;
// The user's spell checker (createUserSpellChecker), loaded at the first call and kept
// by the source and its copies: loading a dictionary takes a moment.
SpellCheckerSource userSpellCheckerOnFirstUse();
