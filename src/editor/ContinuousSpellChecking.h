#pragma once

#include <memory>

class QPlainTextEdit;
class SpellChecker;

// Switches the underlining of misspelt words in textView on (with a checker) or off
// (with none). Switching on attaches a spell-check highlighter over checker to the
// view's document; switching off removes it and its marks. Switching to the state the
// view is already in changes nothing.
void setContinuousSpellChecking(QPlainTextEdit& textView,
                                std::shared_ptr<const SpellChecker> checker);
// Whether textView's document has a spell-check highlighter.
bool isContinuousSpellCheckingEnabled(const QPlainTextEdit& textView);
