// Spell checking of the notes: the Hunspell checker against the system's real
// American English dictionary and dictionaries written into temporary folders, and
// the underlining of misspelt words in real text views on the offscreen platform.

#include "editor/ContinuousSpellChecking.h"
#include "editor/SpellCheckHighlighter.h"
#include "platform/HunspellSpellChecker.h"

#include "ScopedEnvironment.h"
#include "TestFiles.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextLayout>
#include <QtTest>

namespace {

const QString systemFolder = QStringLiteral("/usr/share/hunspell");

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

} // namespace

class TestSpellChecking : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void languageFromEnvironment_data();
    void languageFromEnvironment();
    void dictionarySearch();
    void dictionaryInItsOwnEncoding();
    void noDictionaryChecksNothing();
    void underlinesExactlyTheMisspeltWords_data();
    void underlinesExactlyTheMisspeltWords();
    void switchingOnAndOff();

private:
    std::unique_ptr<HunspellSpellChecker> m_english;
};

void TestSpellChecking::initTestCase()
{
    // The views' shared checker follows the user's language: make it English here.
    qunsetenv("LC_ALL");
    qunsetenv("LC_MESSAGES");
    qputenv("LANG", "en_US.UTF-8");
    m_english = HunspellSpellChecker::forLanguage({systemFolder}, QStringLiteral("en_US"));
    QVERIFY(m_english->hasDictionary());
    QCOMPARE(m_english->dictionaryPath(), systemFolder + QStringLiteral("/en_US"));
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
    const auto inFirst = [&first](const QString& name) { return first.filePath(name); };
    const auto inSecond = [&second](const QString& name) { return second.filePath(name); };
    for (const QString& base :
         {inFirst(QStringLiteral("de_CH")), inFirst(QStringLiteral("de_AT")),
          inSecond(QStringLiteral("de_DE")), inSecond(QStringLiteral("en_US")),
          inSecond(QStringLiteral("it_IT"))}) {
        QVERIFY(writeFileBytes(base + QStringLiteral(".aff"), "SET UTF-8\n"));
        QVERIFY(writeFileBytes(base + QStringLiteral(".dic"), "1\nwort\n"));
    }
    // A dictionary without its word list does not count.
    QVERIFY(writeFileBytes(inFirst(QStringLiteral("it_IT.aff")), "SET UTF-8\n"));
    const QStringList folders{first.path(), second.path()};
    const auto find = [&folders](const char* language) {
        return HunspellSpellChecker::findDictionary(folders, QString::fromLatin1(language));
    };
    // The exact name in any folder wins over another region in an earlier folder.
    QCOMPARE(find("de_DE.UTF-8"), inSecond(QStringLiteral("de_DE")));
    QCOMPARE(find("de_CH"), inFirst(QStringLiteral("de_CH")));
    // Locale names with a modifier, and BCP 47 names, find the same files.
    QCOMPARE(find("de-CH@euro"), inFirst(QStringLiteral("de_CH")));
    // Another region of the language, the first by name in the first folder that has one.
    QCOMPARE(find("de_LU"), inFirst(QStringLiteral("de_AT")));
    QCOMPARE(find("it_CH"), inSecond(QStringLiteral("it_IT")));
    // No dictionary of the language: American English.
    QCOMPARE(find("fr_FR"), inSecond(QStringLiteral("en_US")));
    QCOMPARE(find(""), inSecond(QStringLiteral("en_US")));
    QCOMPARE(find("C.UTF-8"), inSecond(QStringLiteral("en_US")));
    QCOMPARE(HunspellSpellChecker::findDictionary({first.path()}, QStringLiteral("fr_FR")),
             QString());
}

void TestSpellChecking::dictionaryInItsOwnEncoding()
{
    // A UTF-8 dictionary of words outside ASCII.
    QTemporaryDir utf8Folder;
    const QString utf8Base = utf8Folder.filePath(QStringLiteral("xx_ZZ"));
    QVERIFY(writeFileBytes(utf8Base + QStringLiteral(".aff"), "SET UTF-8\n"));
    QVERIFY(writeFileBytes(utf8Base + QStringLiteral(".dic"),
                           QStringLiteral("3\nStraße\nпароль\n\U0001D4AB\n").toUtf8()));
    const auto utf8 =
        HunspellSpellChecker::forLanguage({utf8Folder.path()}, QStringLiteral("xx_ZZ"));
    QVERIFY(utf8->isCorrect(QStringLiteral("Straße")));
    QVERIFY(utf8->isCorrect(QStringLiteral("пароль")));
    QVERIFY(utf8->isCorrect(QStringLiteral("\U0001D4AB")));
    QVERIFY(!utf8->isCorrect(QStringLiteral("Strasse")));
    QVERIFY(!utf8->isCorrect(QStringLiteral("пороль")));

    // A Latin-1 dictionary: words reach it as Latin-1 bytes, not UTF-8.
    QTemporaryDir folder;
    const QString base = folder.filePath(QStringLiteral("xx_YY"));
    QVERIFY(writeFileBytes(base + QStringLiteral(".aff"), "SET ISO8859-1\nTRY e\n"));
    QVERIFY(writeFileBytes(base + QStringLiteral(".dic"),
                           QStringLiteral("3\ncafé\nnaïve\nit's\n").toLatin1()));
    const auto checker = HunspellSpellChecker::forLanguage({folder.path()}, QStringLiteral("xx"));
    QVERIFY(checker->hasDictionary());
    QVERIFY(checker->isCorrect(QStringLiteral("café")));
    QVERIFY(checker->isCorrect(QStringLiteral("Café")));
    QVERIFY(checker->isCorrect(QStringLiteral("naïve")));
    QVERIFY(checker->isCorrect(QStringLiteral("it\u2019s")));
    QVERIFY(!checker->isCorrect(QStringLiteral("cafe")));
    QVERIFY(!checker->isCorrect(QStringLiteral("cafÃ©")));
    // Latin-1 has no letters for these: not in the dictionary, and no failure.
    QVERIFY(!checker->isCorrect(QStringLiteral("кафе")));
    QVERIFY(!checker->isCorrect(QStringLiteral("caf\u0117")));
}

void TestSpellChecking::noDictionaryChecksNothing()
{
    QTemporaryDir empty;
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("No spelling dictionary for fr_FR")));
    const auto checker = HunspellSpellChecker::forLanguage({empty.path()}, QStringLiteral("fr_FR"));
    QVERIFY(!checker->hasDictionary());
    QCOMPARE(checker->dictionaryPath(), QString());
    QVERIFY(checker->isCorrect(QStringLiteral("qwzxv")));

    // A view checked without a dictionary shows no marks at all.
    QPlainTextEdit view;
    view.setPlainText(QStringLiteral("Thsi txet is ful of misteaks"));
    new SpellCheckHighlighter(view.document(),
                              std::shared_ptr<const SpellChecker>(checker.get(), [](auto*) {}));
    QCOMPARE(underlinedWords(*view.document()), QStringList());
}

void TestSpellChecking::underlinesExactlyTheMisspeltWords_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("misspelt");
    const auto words = [](std::initializer_list<const char*> list) {
        QStringList result;
        for (const char* word : list) {
            result << QString::fromUtf8(word);
        }
        return result;
    };
    QTest::newRow("misspelt words")
        << QStringLiteral("Thsi is a tset of the sytsem") << words({"Thsi", "tset", "sytsem"});
    QTest::newRow("punctuation around words")
        << QStringLiteral("(helo), \"wrold\"! Fine; goood?") << words({"helo", "wrold", "goood"});
    QTest::newRow("apostrophes") << QStringLiteral("I don't think it\u2019s 'rihgt' or wouldnt've")
                                 << words({"rihgt", "wouldnt've"});
    QTest::newRow("hyphenated") << QStringLiteral("well-known and well-knwon") << words({"knwon"});
    QTest::newRow("digits") << QStringLiteral("abc123 2nd h4x0r PIN 1234 qwrtz")
                            << words({"qwrtz"});
    QTest::newRow("addresses and paths")
        << QStringLiteral("jsmth@exmple.com https://exmple.org/pth www.exmple.net "
                          "/hme/usr/fle ~/.cnfig snake_cse exmple.com e.g. mistkae")
        << words({"mistkae"});
    QTest::newRow("acronyms") << QStringLiteral("NASA and HTTPS and XYZQ but Xyzq")
                              << words({"Xyzq"});
    QTest::newRow("non-ASCII") << QStringLiteral("cafe café Straße пароль naive")
                               << words({"café", "Straße", "пароль"});
    QTest::newRow("outside the BMP")
        << QStringLiteral("a \U0001D4AB\U0001D4B6 word") << words({"\U0001D4AB\U0001D4B6"});
    QTest::newRow("several lines")
        << QStringLiteral("first linne\nsecond line\nthird lyne") << words({"linne", "lyne"});
}

void TestSpellChecking::underlinesExactlyTheMisspeltWords()
{
    QFETCH(QString, text);
    QFETCH(QStringList, misspelt);
    QPlainTextEdit view;
    view.setPlainText(text);
    setContinuousSpellChecking(view, checker());
    QCOMPARE(underlinedWords(*view.document()), misspelt);
}

void TestSpellChecking::switchingOnAndOff()
{
    QPlainTextEdit view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setPlainText(QStringLiteral("Good wrods"));
    setContinuousSpellChecking(view, nullptr);
    QVERIFY(!isContinuousSpellCheckingEnabled(view));
    QCOMPARE(underlinedWords(*view.document()), QStringList());

    // Switching on twice attaches one highlighter; marking changes neither the
    // text's modified state nor its undo history.
    view.document()->setModified(false);
    const int undoSteps = view.document()->availableUndoSteps();
    setContinuousSpellChecking(view, checker());
    setContinuousSpellChecking(view, checker());
    QVERIFY(isContinuousSpellCheckingEnabled(view));
    QCOMPARE(view.document()->findChildren<SpellCheckHighlighter*>().size(), 1);
    QCOMPARE(underlinedWords(*view.document()), QStringList{QStringLiteral("wrods")});
    QVERIFY(!view.document()->isModified());
    QCOMPARE(view.document()->availableUndoSteps(), undoSteps);

    // Typing is checked as it goes; a corrected word loses its mark.
    view.moveCursor(QTextCursor::End);
    QTest::keyClicks(&view, QStringLiteral(" and mroe"));
    QCOMPARE(underlinedWords(*view.document()),
             (QStringList{QStringLiteral("wrods"), QStringLiteral("mroe")}));
    view.moveCursor(QTextCursor::Start);
    view.moveCursor(QTextCursor::NextWord);
    view.moveCursor(QTextCursor::EndOfWord, QTextCursor::KeepAnchor);
    QTest::keyClicks(&view, QStringLiteral("words"));
    QCOMPARE(view.toPlainText(), QStringLiteral("Good words and mroe"));
    QCOMPARE(underlinedWords(*view.document()), QStringList{QStringLiteral("mroe")});

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
