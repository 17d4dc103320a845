#include "editor/SpellCheckHighlighter.h"

#include "platform/SpellChecker.h"

#include <QColor>

namespace {

// The code point at position i of text, and how many UTF-16 units it takes.
char32_t codePointAt(QStringView text, qsizetype i, qsizetype* units)
{
    const QChar first = text[i];
    if (first.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        *units = 2;
        return QChar::surrogateToUcs4(first, text[i + 1]);
    }
    *units = 1;
    return first.unicode();
}

bool isLetter(char32_t c)
{
    return QChar::isLetter(c) || QChar::isMark(c);
}

bool isWordCharacter(char32_t c)
{
    return isLetter(c) || QChar::isDigit(c);
}

bool isApostrophe(QChar c)
{
    return c == QLatin1Char('\'') || c == QChar(0x2019);
}

// Addresses, paths and identifiers are not words of a language.
bool looksLikeAddress(QStringView token)
{
    for (QChar marker : {QLatin1Char('@'), QLatin1Char('/'), QLatin1Char('\\'), QLatin1Char('_')}) {
        if (token.contains(marker)) {
            return true;
        }
    }
    // A dot between two word characters: host names, file names, "e.g".
    for (qsizetype i = 1; i + 1 < token.size(); ++i) {
        if (token[i] == QLatin1Char('.') && token[i - 1].isLetterOrNumber() &&
            token[i + 1].isLetterOrNumber()) {
            return true;
        }
    }
    return false;
}

// The end of the word that starts at start: word characters, with single
// apostrophes between them.
qsizetype wordEnd(QStringView token, qsizetype start)
{
    qsizetype i = start;
    while (i < token.size()) {
        qsizetype units = 0;
        if (isWordCharacter(codePointAt(token, i, &units))) {
            i += units;
        } else if (isApostrophe(token[i]) && i + 1 < token.size() &&
                   isWordCharacter(codePointAt(token, i + 1, &units))) {
            i += 1;
        } else {
            break;
        }
    }
    return i;
}

bool worthChecking(QStringView word)
{
    bool hasLower = false;
    for (qsizetype i = 0; i < word.size();) {
        qsizetype units = 0;
        const char32_t c = codePointAt(word, i, &units);
        if (QChar::isDigit(c)) {
            return false;
        }
        hasLower = hasLower || QChar::isLower(c);
        i += units;
    }
    // A single capital ("I", "A") is a word; more capitals only are an acronym.
    return hasLower || word.size() == 1;
}

void addWordsOfToken(QStringView line, qsizetype tokenStart, qsizetype tokenEnd,
                     QList<SpellCheckHighlighter::Range>& words)
{
    const QStringView token = line.sliced(tokenStart, tokenEnd - tokenStart);
    if (looksLikeAddress(token)) {
        return;
    }
    for (qsizetype i = 0; i < token.size();) {
        qsizetype units = 0;
        if (!isWordCharacter(codePointAt(token, i, &units))) {
            i += units;
            continue;
        }
        const qsizetype end = wordEnd(token, i);
        if (worthChecking(token.sliced(i, end - i))) {
            words.append({tokenStart + i, end - i});
        }
        i = end;
    }
}

} // namespace

SpellCheckHighlighter::SpellCheckHighlighter(QTextDocument* document,
                                             std::shared_ptr<const SpellChecker> checker)
    : QSyntaxHighlighter(document), m_checker(std::move(checker))
{
    m_misspelt.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
    m_misspelt.setUnderlineColor(QColor(Qt::red));
    // Marks the text already there now rather than at the next turn of the event loop.
    rehighlight();
}

QList<SpellCheckHighlighter::Range> SpellCheckHighlighter::wordsToCheck(QStringView line)
{
    QList<Range> words;
    qsizetype i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i].isSpace()) {
            ++i;
        }
        const qsizetype tokenStart = i;
        while (i < line.size() && !line[i].isSpace()) {
            ++i;
        }
        if (i > tokenStart) {
            addWordsOfToken(line, tokenStart, i, words);
        }
    }
    return words;
}

void SpellCheckHighlighter::highlightBlock(const QString& text)
{
    if (!m_checker || !m_checker->hasDictionary()) {
        return;
    }
    for (const Range& word : wordsToCheck(text)) {
        if (!m_checker->isCorrect(text.sliced(word.start, word.length))) {
            setFormat(int(word.start), int(word.length), m_misspelt);
        }
    }
}
