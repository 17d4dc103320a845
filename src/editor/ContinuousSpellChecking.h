#pragma once

class QPlainTextEdit;

// Switches the underlining of misspelt words in textView on or off. Switching on
// attaches a spell-check highlighter to the view's document (all views share one
// dictionary, loaded the first time); switching off removes it and its marks.
// Switching to the state the view is already in changes nothing.
void setContinuousSpellCheckingEnabled(QPlainTextEdit& textView, bool enabled);
// Whether textView's document has a spell-check highlighter.
bool isContinuousSpellCheckingEnabled(const QPlainTextEdit& textView);
