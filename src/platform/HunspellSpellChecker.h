#pragma once

#include "platform/SpellChecker.h"

#include <QStringList>

#include <memory>

class Hunspell;

// A spell checker over a Hunspell dictionary (a pair of files NAME.aff and NAME.dic).
// Words are handed to the dictionary in its own character encoding; a word that
// encoding cannot represent is not in the dictionary.
class HunspellSpellChecker final : public SpellChecker {
public:
    // The folders searched for dictionaries: those named in $DICPATH, then the
    // system's folders.
    static QStringList defaultDictionaryFolders();
    // The language of the user's messages from the environment, as "de_AT" or "de";
    // empty for the C and POSIX locales.
    static QString languageFromEnvironment();
    // The dictionary names to try for a language, best first: "de_AT.UTF-8@euro"
    // gives "de_AT", "de" and finally "en_US".
    static QStringList dictionaryNames(const QString& language);
    // The path without extension of the first dictionary found for language in
    // folders; a bare language also matches any of its regions ("de" finds de_DE).
    // Empty when there is none.
    static QString findDictionary(const QStringList& folders, const QString& language);

    // Loads the dictionary at basePath (without extension); an empty path, or files
    // that cannot be used, give a checker without a dictionary.
    explicit HunspellSpellChecker(const QString& basePath);
    ~HunspellSpellChecker() override;
    HunspellSpellChecker(const HunspellSpellChecker&) = delete;
    HunspellSpellChecker& operator=(const HunspellSpellChecker&) = delete;

    // The checker for language with the first dictionary found in folders; logs a
    // line when there is none.
    static std::unique_ptr<HunspellSpellChecker> forLanguage(const QStringList& folders,
                                                             const QString& language);

    bool hasDictionary() const override;
    bool isCorrect(const QString& word) const override;

    // The dictionary's path without extension; empty without a dictionary.
    QString dictionaryPath() const { return m_basePath; }

private:
    class Encoder;

    QString m_basePath;
    std::unique_ptr<Hunspell> m_hunspell;
    std::unique_ptr<Encoder> m_encoder;
};
