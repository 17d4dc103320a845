// Spell checking of the notes: the Hunspell checker over dictionaries written into
// temporary folders and the system's American English one, and the underlining of
// misspelt words in real text views on the offscreen platform.

#include "editor/ContinuousSpellChecking.h"
#include "editor/SpellCheckHighlighter.h"
#include "platform/HunspellSpellChecker.h"

#include "ScopedEnvironment.h"
#include "TestFiles.h"

#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextLayout>
#include <QtTest>

namespace {

// The stretches of the document underlined as misspelt, as the text they cover.
// A mark in another colour than red says so.
QStringList underlinedWords(const QTextDocument& document)
{
    QStringList words;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (const QTextLayout::FormatRange& range : block.layout()->formats()) {
            if (range.format.underlineStyle() == QTextCharFormat::SpellCheckUnderline) {
                const QString word = block.text().mid(range.start, range.length);
                const bool red = range.format.underlineColor() == QColor(Qt::red);
                words << (red ? word : word + QStringLiteral(" (not red)"));
            }
        }
    }
    return words;
}

// The user's dictionary, as the application loads it.
const SpellCheckerSource checker = userSpellCheckerOnFirstUse();

// Writes a dictionary's two files; base is their path without the extension.
bool writeDictionary(const QString& base, const QByteArray& affixes, const QByteArray& words)
{
    return writeFileBytes(base + QStringLiteral(".aff"), affixes) &&
           writeFileBytes(base + QStringLiteral(".dic"), words);
}

} // namespace

class TestSpellChecking : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void languageFromEnvironment_data();
    void languageFromEnvironment();
    void dictionarySearch();
    void dictionaryInItsOwnEncoding();
    void underlinesExactlyTheMisspeltWords_data();
    void underlinesExactlyTheMisspeltWords();
    void switchingOnAndOff();

private:
    QTemporaryDir m_folder;
    // Knows two words outside ASCII and no other: every other word it is asked is misspelt.
    std::shared_ptr<const SpellChecker> m_twoWords;
};

void TestSpellChecking::initTestCase()
{
    // The views' shared checker follows the user's language: make it English here.
    qunsetenv("LC_ALL");
    qunsetenv("LC_MESSAGES");
    qputenv("LANG", "en_US.UTF-8");
    const QString base = m_folder.filePath(QStringLiteral("xx_ZZ"));
    QVERIFY(writeDictionary(base, "SET UTF-8\n", QStringLiteral("2\nStraße\nпароль\n").toUtf8()));
    m_twoWords = HunspellSpellChecker::forLanguage({m_folder.path()}, QStringLiteral("xx_ZZ"));
}

void TestSpellChecking::languageFromEnvironment_data()
{
    QTest::addColumn<QByteArray>("lcAll");
    QTest::addColumn<QByteArray>("lcMessages");
    QTest::addColumn<QByteArray>("lang");
    // A null value leaves the variable unset.
    QTest::addColumn<QString>("language");
    const QByteArray unset;
    QTest::newRow("LANG") << unset << unset << QByteArray("de_DE.UTF-8") << QStringLiteral("de_DE");
    QTest::newRow("LC_MESSAGES before LANG")
        << unset << QByteArray("fr_CA.UTF-8") << QByteArray("de_DE.UTF-8")
        << QStringLiteral("fr_CA");
    QTest::newRow("LC_ALL before both") << QByteArray("nl_BE@euro") << QByteArray("fr_CA")
                                        << QByteArray("de_DE") << QStringLiteral("nl_BE");
    QTest::newRow("C locale") << unset << unset << QByteArray("C.UTF-8") << QString();
    QTest::newRow("nothing set") << unset << unset << unset << QString();
}

void TestSpellChecking::languageFromEnvironment()
{
    QFETCH(QByteArray, lcAll);
    QFETCH(QByteArray, lcMessages);
    QFETCH(QByteArray, lang);
    QFETCH(QString, language);
    const auto valueOf = [](const QByteArray& value) {
        return value.isNull() ? std::nullopt : std::optional<QByteArray>(value);
    };
    const ScopedEnvironment all("LC_ALL", valueOf(lcAll));
    const ScopedEnvironment messages("LC_MESSAGES", valueOf(lcMessages));
    const ScopedEnvironment langVariable("LANG", valueOf(lang));
    QCOMPARE(HunspellSpellChecker::languageFromEnvironment(), language);
}

void TestSpellChecking::dictionarySearch()
{
    QTemporaryDir first;
    QTemporaryDir second;
    const auto inFirst = [&first](const char* name) { return first.filePath(QLatin1String(name)); };
    const auto inSecond = [&second](const char* name) {
        return second.filePath(QLatin1String(name));
    };
    for (const QString& base : {inFirst("de_CH"), inFirst("de_AT"), inSecond("de_DE"),
                                inSecond("en_US"), inSecond("it_IT")}) {
        QVERIFY(writeDictionary(base, "SET UTF-8\n", "1\nwort\n"));
    }
    // A dictionary without its word list does not count.
    QVERIFY(writeFileBytes(inFirst("it_IT.aff"), "SET UTF-8\n"));
    const QStringList folders{first.path(), second.path()};
    const auto find = [&folders](const char* language) {
        return HunspellSpellChecker::findDictionary(folders, QString::fromLatin1(language));
    };
    // The exact name in any folder wins over another region in an earlier folder.
    QCOMPARE(find("de_DE.UTF-8"), inSecond("de_DE"));
    // Locale names with a modifier, and BCP 47 names, find the same files.
    QCOMPARE(find("de-CH@euro"), inFirst("de_CH"));
    // Another region of the language, the first by name in the first folder that has one.
    QCOMPARE(find("de_LU"), inFirst("de_AT"));
    QCOMPARE(find("it_CH"), inSecond("it_IT"));
    // No dictionary of the language: American English.
    QCOMPARE(find("fr_FR"), inSecond("en_US"));
    QCOMPARE(find("C.UTF-8"), inSecond("en_US"));

    // None at all: a checker that finds every word correct, so that nothing is marked.
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("No spelling dictionary for fr_FR")));
    const auto none = HunspellSpellChecker::forLanguage({first.path()}, QStringLiteral("fr_FR"));
    QVERIFY(!none->hasDictionary());
    QVERIFY(none->isCorrect(QStringLiteral("qwzxv")));
}

void TestSpellChecking::dictionaryInItsOwnEncoding()
{
    // A Latin-1 dictionary: words reach it as Latin-1 bytes, not UTF-8.
    QTemporaryDir folder;
    QVERIFY(writeDictionary(folder.filePath(QStringLiteral("xx_YY")), "SET ISO8859-1\n",
                            QStringLiteral("2\ncafé\nit's\n").toLatin1()));
    const auto checker = HunspellSpellChecker::forLanguage({folder.path()}, QStringLiteral("xx"));
    QVERIFY(checker->isCorrect(QStringLiteral("café")));
    // Typed text's typographic apostrophe finds the dictionary's plain one.
    QVERIFY(checker->isCorrect(QStringLiteral("it\u2019s")));
    QVERIFY(!checker->isCorrect(QStringLiteral("cafe")));
    // Latin-1 has no letters for these: not in the dictionary, and no failure.
    QVERIFY(!checker->isCorrect(QStringLiteral("кафе")));
}

void TestSpellChecking::underlinesExactlyTheMisspeltWords_data()
{
    // The words the two-word dictionary does not know are the words that were checked.
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("misspelt");
    QTest::newRow("punctuation around words")
        << QStringLiteral("(helo), \"wrold\"! Straße; пароль?") << QStringLiteral("helo wrold");
    QTest::newRow("apostrophes") << QStringLiteral("don't it\u2019s 'rihgt' wouldnt've")
                                 << QStringLiteral("don't it\u2019s rihgt wouldnt've");
    QTest::newRow("hyphenated") << QStringLiteral("well-knwon") << QStringLiteral("well knwon");
    QTest::newRow("digits and acronyms")
        << QStringLiteral("abc123 2nd h4x0r PIN 1234 NASA Xyzq I") << QStringLiteral("Xyzq I");
    QTest::newRow("addresses and paths")
        << QStringLiteral("jsmth@exmple.com https://exmple.org/pth www.exmple.net "
                          "/hme/usr/fle ~/.cnfig snake_cse exmple.com e.g. mistkae")
        << QStringLiteral("mistkae");
    QTest::newRow("outside the BMP")
        << QStringLiteral("\U0001D4AB\U0001D4B6 пароль") << QStringLiteral("\U0001D4AB\U0001D4B6");
    QTest::newRow("several lines")
        << QStringLiteral("first linne\nStraße\nthird") << QStringLiteral("first linne third");
}

void TestSpellChecking::underlinesExactlyTheMisspeltWords()
{
    QFETCH(QString, text);
    QFETCH(QString, misspelt);
    QPlainTextEdit view;
    view.setPlainText(text);
    setContinuousSpellChecking(view, m_twoWords);
    QCOMPARE(underlinedWords(*view.document()), misspelt.split(QLatin1Char(' ')));
}

void TestSpellChecking::switchingOnAndOff()
{
    QPlainTextEdit view;
    view.setPlainText(QStringLiteral("Good wrods"));
    // Switching on twice attaches one highlighter.
    setContinuousSpellChecking(view, checker());
    setContinuousSpellChecking(view, checker());
    QVERIFY(isContinuousSpellCheckingEnabled(view));
    QCOMPARE(view.document()->findChildren<SpellCheckHighlighter*>().size(), 1);
    QCOMPARE(underlinedWords(*view.document()), QStringList{QStringLiteral("wrods")});

    // Typing is checked as it goes.
    view.moveCursor(QTextCursor::End);
    QTest::keyClicks(&view, QStringLiteral(" and mroe"));
    QCOMPARE(underlinedWords(*view.document()),
             (QStringList{QStringLiteral("wrods"), QStringLiteral("mroe")}));

    // Off removes every mark, and again off changes nothing.
    setContinuousSpellChecking(view, nullptr);
    setContinuousSpellChecking(view, nullptr);
    QVERIFY(!isContinuousSpellCheckingEnabled(view));
    QCOMPARE(underlinedWords(*view.document()), QStringList());
    QTest::keyClicks(&view, QStringLiteral(" agian"));
    QCOMPARE(underlinedWords(*view.document()), QStringList());
}

QTEST_MAIN(TestSpellChecking)
#include "tst_spellchecking.moc"
