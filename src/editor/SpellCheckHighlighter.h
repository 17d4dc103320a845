#pragma once

#include <QList>
#include <QStringView>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

#include <memory>

class SpellChecker;

// Underlines the misspelt words of a document with the platform's spell-check
// underline in red, as the user types.
class SpellCheckHighlighter : public QSyntaxHighlighter {
    Q_OBJECT

public:
    // A stretch of a line: its first character and its length in UTF-16 units.
    struct Range {
        qsizetype start = 0;
        qsizetype length = 0;
        friend bool operator==(const Range&, const Range&) = default;
    };

    // Checks document (which becomes this highlighter's parent) with checker.
    SpellCheckHighlighter(QTextDocument* document, std::shared_ptr<const SpellChecker> checker);

    // The words of one line that are worth checking: runs of letters, with
    // apostrophes inside them. Words with digits, words in capitals only (acronyms)
    // and whole tokens that look like addresses, paths or identifiers (an "@", "/",
    // "\", "_" or a dot inside) are left out.
    static QList<Range> wordsToCheck(QStringView line);

protected:
    void highlightBlock(const QString& text) override;

private:
    std::shared_ptr<const SpellChecker> m_checker;
    QTextCharFormat m_misspelt;
};
