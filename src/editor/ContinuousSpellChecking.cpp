#include "editor/ContinuousSpellChecking.h"

#include "editor/SpellCheckHighlighter.h"
#include "platform/SpellChecker.h"

#include <QPlainTextEdit>
#include <QTextDocument>

#include <memory>

namespace {

// The user's dictionary, loaded on first use and kept for the life of the process.
std::shared_ptr<const SpellChecker> sharedSpellChecker()
{
    static const std::shared_ptr<const SpellChecker> checker = createUserSpellChecker();
    return checker;
}

SpellCheckHighlighter* highlighterOf(const QPlainTextEdit& textView)
{
    return textView.document()->findChild<SpellCheckHighlighter*>(QString(),
                                                                  Qt::FindDirectChildrenOnly);
}

} // namespace

void setContinuousSpellCheckingEnabled(QPlainTextEdit& textView, bool enabled)
{
    SpellCheckHighlighter* highlighter = highlighterOf(textView);
    if (enabled && !highlighter) {
        new SpellCheckHighlighter(textView.document(), sharedSpellChecker());
    } else if (!enabled && highlighter) {
        // The highlighter takes its marks with it.
        delete highlighter;
    }
}

bool isContinuousSpellCheckingEnabled(const QPlainTextEdit& textView)
{
    return highlighterOf(textView) != nullptr;
}
