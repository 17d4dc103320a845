#include "editor/ContinuousSpellChecking.h"

#include "editor/SpellCheckHighlighter.h"
#include "platform/SpellChecker.h"

#include <QPlainTextEdit>
#include <QTextDocument>

#include <memory>

namespace {

SpellCheckHighlighter* highlighterOf(const QPlainTextEdit& textView)
{
    return textView.document()->findChild<SpellCheckHighlighter*>(QString(),
                                                                  Qt::FindDirectChildrenOnly);
}

} // namespace

void setContinuousSpellChecking(QPlainTextEdit& textView,
                                std::shared_ptr<const SpellChecker> checker)
{
    SpellCheckHighlighter* highlighter = highlighterOf(textView);
    if (checker && !highlighter) {
        new SpellCheckHighlighter(textView.document(), std::move(checker));
    } else if (!checker && highlighter) {
        // The highlighter takes its marks with it.
        delete highlighter;
    }
}

bool isContinuousSpellCheckingEnabled(const QPlainTextEdit& textView)
{
    return highlighterOf(textView) != nullptr;
}
