// keyloft-cli's entry commands (list, show, add, rename, edit, rm), its usage rules and the
// keychains it cannot open, run as a real process against keychain files in a temporary
// folder.
#include "CliRunner.h"
#include "TestFiles.h"

#include <QTest>

#include <algorithm>

namespace {

// The arguments of a command on the test keychain, its password read from descriptor 3;
// keyloft-cli runs in the test's folder, where the keychain is.
QStringList onTestKeychain(const char* command)
{
    return words("--keychain test.keychain --password-fd 3") + words(command);
}

} // namespace

class TestCliEntries : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();

    void addThenShowAndList();
    void showPasswordPrintsItAloneAndCountsAUse_data();
    void showPasswordPrintsItAloneAndCountsAUse();
    void listSorts();
    void listAndShowEscapeControlCharacters();
    void changesTakeOnlyWhatIsGiven_data();
    void changesTakeOnlyWhatIsGiven();
    void failedCommandsChangeNothing_data();
    void failedCommandsChangeNothing();
    void createKeychainRefusals_data();
    void createKeychainRefusals();
    void createKeychainSetDefaultIsUsedLater();

private:
    bool addEntriesEAndF();
    std::unique_ptr<CliRunner> m_cli;
};

void TestCliEntries::init()
{
    m_cli = std::make_unique<CliRunner>();
    QVERIFY(m_cli->createKeychain());
}

// Two entries in one run: E (user u1, notes n1, password "old") and F.
bool TestCliEntries::addEntriesEAndF()
{
    return m_cli
               ->onKeychain(words("import -"), R"({"entries": [
                   {"label": "E", "userName": "u1", "notes": "n1", "password": "old"},
                   {"label": "F", "userName": "f", "notes": "", "password": "f"}]})")
               .exitCode == 0;
}

void TestCliEntries::addThenShowAndList()
{
    const CliRunner::Result added = m_cli->onKeychain(
        words("add Bank --user anna --notes") << QStringLiteral("first line\nsecond line"),
        "s3cret\n");
    QCOMPARE(added.exitCode, 0);
    QVERIFY(added.err.isEmpty());
    const QByteArray shown = m_cli->onKeychain(words("show Bank")).out;
    QVERIFY2(shown.contains("Label:      Bank\nUser name:  anna\n"
                            "Notes:      first line\n            second line\nUses:       1\n"),
             shown.constData());
    QVERIFY(!shown.contains("s3cret"));

    const QList<QByteArray> fields = m_cli->onKeychain(words("list")).out.trimmed().split('\t');
    QCOMPARE(fields.size(), 4);
    QCOMPARE(fields.mid(0, 3), (QList<QByteArray>{"Bank", "anna", "1"}));
    const QDateTime created = QDateTime::fromString(QString::fromUtf8(fields[3]), Qt::ISODate);
    QVERIFY(created.isValid());
    QVERIFY(qAbs(created.secsTo(QDateTime::currentDateTimeUtc())) < 120);

    // Fields not given keep the application's placeholders.
    QCOMPARE(m_cli->onKeychain(words("add Bare"), "x").exitCode, 0);
    QVERIFY(m_cli->onKeychain(words("show Bare"))
                .out.contains("User name:  User account not entered yet.\nNotes:      Notes:\n"));
}

void TestCliEntries::showPasswordPrintsItAloneAndCountsAUse_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("password");
    QTest::newRow("ascii") << QByteArray("hunter2\n") << QByteArray("hunter2");
    QTest::newRow("inner line ends kept") << QByteArray("a\nb\r\n") << QByteArray("a\nb");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestCliEntries::showPasswordPrintsItAloneAndCountsAUse()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, password);
    QCOMPARE(m_cli->onKeychain(words("add Key"), input).exitCode, 0);
    const CliRunner::Result shown = m_cli->onKeychain(words("show --password Key"));
    QCOMPARE(shown.exitCode, 0);
    QCOMPARE(shown.out, password);
    QCOMPARE(m_cli->onKeychain(words("list")).out.split('\t').value(2), QByteArray("2"));
}

void TestCliEntries::listSorts()
{
    // Created in this order; used once by the add, then gamma twice more and Alpha once.
    for (const QString& label : words("beta Alpha gamma")) {
        QCOMPARE(m_cli->onKeychain(words("add") << label, "pw").exitCode, 0);
    }
    for (const QString& label : words("gamma gamma Alpha")) {
        QCOMPARE(m_cli->password(label), QByteArray("pw"));
    }
    QCOMPARE(m_cli->labels(words("--sort name --descending")), words("gamma beta Alpha"));
    QCOMPARE(m_cli->labels(words("--sort used --descending")), words("gamma Alpha beta"));
    // Without --sort, the application's default order: date created, ascending.
    QCOMPARE(m_cli->labels({}), words("beta Alpha gamma"));
}

void TestCliEntries::listAndShowEscapeControlCharacters()
{
    const QString label = QStringLiteral("tab\there\u001b[2J");
    QCOMPARE(m_cli
                 ->onKeychain({QStringLiteral("add"), label, QStringLiteral("--user"),
                               QStringLiteral("back\\slash\nnew\u009b\u007f"),
                               QStringLiteral("--notes"), QStringLiteral("a\u0007b\tc\r")},
                              "pw")
                 .exitCode,
             0);
    const QByteArray listed = m_cli->onKeychain(words("list")).out;
    QCOMPARE(listed.count('\n'), 1);
    QVERIFY2(listed.startsWith("tab\\there\\x1b[2J\tback\\\\slash\\nnew\\u009b\\x7f\t1\t"),
             listed.constData());
    // show keeps line feeds and tabs, and escapes every other control character.
    const QByteArray shown = m_cli->onKeychain({QStringLiteral("show"), label}).out;
    QVERIFY(shown.contains("Label:      tab\there\\x1b[2J\n"));
    QVERIFY(shown.contains("Notes:      a\\x07b\tc\\r\n"));
    const QString text = QString::fromUtf8(shown);
    QVERIFY(std::none_of(text.begin(), text.end(), [](QChar c) {
        return c != u'\n' && c != u'\t' && (c < u' ' || (c >= u'\u007f' && c <= u'\u009f'));
    }));
}

void TestCliEntries::changesTakeOnlyWhatIsGiven_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QByteArray>("fields");
    QTest::addColumn<QByteArray>("password");
    QTest::newRow("rename") << words("rename E Uno") << QByteArray() << words("Uno F")
                            << QByteArray("Label:      Uno\nUser name:  u1\nNotes:      n1\n")
                            << QByteArray("old");
    // A given empty text is stored as given, not as the placeholder.
    QTest::newRow("edit to an empty user name")
        << (words("edit E --user") << QString()) << QByteArray() << words("E F")
        << QByteArray("User name:  \nNotes:      n1\n") << QByteArray("old");
    QTest::newRow("edit the notes and the password")
        << words("edit E --notes n2 --password-stdin") << QByteArray("new\n") << words("E F")
        << QByteArray("User name:  u1\nNotes:      n2\n") << QByteArray("new");
    QTest::newRow("rm") << words("rm --yes E") << QByteArray() << words("F")
                        << QByteArray("Label:      F\n") << QByteArray("f");
}

void TestCliEntries::changesTakeOnlyWhatIsGiven()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(QStringList, labels);
    QFETCH(QByteArray, fields);
    QFETCH(QByteArray, password);
    QVERIFY(addEntriesEAndF());
    const CliRunner::Result result = m_cli->onKeychain(arguments, input);
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.err.isEmpty(), result.err.constData());
    QCOMPARE(m_cli->labels(), labels);
    const QByteArray shown = m_cli->onKeychain({QStringLiteral("show"), labels.first()}).out;
    QVERIFY2(shown.contains(fields), shown.constData());
    QCOMPARE(m_cli->password(labels.first()), password);
}

void TestCliEntries::failedCommandsChangeNothing_data()
{
    QTest::addColumn<QString>("launcher");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("message");
    const auto row = [](const char* name, const QStringList& arguments, int exitCode,
                        const char* message, const QByteArray& input = "pw",
                        const char* launcher = "exec") {
        QTest::newRow(name) << QString::fromUtf8(launcher) << arguments << input << exitCode
                            << QByteArray(message);
    };
    // Usage errors: the command on the test keychain, and the start of what is said.
    const auto usage = [&row](const char* name, const char* command, const char* message) {
        row(name, onTestKeychain(command), 2, message);
    };
    usage("no command", "", "no command given");
    usage("unknown command", "frobnicate", "no command \"frobnicate\"");
    usage("unknown option", "list --x", "Unknown option 'x'");
    usage("show without label", "show", "show takes LABEL");
    usage("rename with one label", "rename E", "rename takes LABEL NEW");
    usage("add with two labels", "add a b", "add takes LABEL");
    row("add with empty label", onTestKeychain("add") << QString(), 2, "label cannot be empty");
    usage("bad sort key", "list --sort size", "--sort takes name");
    usage("edit without changes", "edit E", "edit needs --user");
    row("password-fd not a number", words("--keychain test.keychain --password-fd x list"), 2,
        "--password-fd takes a file descriptor number");
    usage("help for unknown command", "help nope", "no command \"nope\"");
    // There is no terminal to ask on.
    usage("rm without --yes", "rm E", "give --yes");

    row("rename to a taken label", onTestKeychain("rename E F"), 1, "\"F\" exists already");
    row("rename a missing entry", onTestKeychain("rename Nope G"), 1, "labelled \"Nope\"");
    row("edit a missing entry", onTestKeychain("edit Nope --user x"), 1, "labelled \"Nope\"");
    row("rm a missing entry", onTestKeychain("rm -y Nope"), 1, "labelled \"Nope\"");

    // Input that cannot be stored.
    row("NUL inside the password", onTestKeychain("add x"), 1, "holds a NUL byte",
        QByteArray("abc\0def", 7));
    row("NUL first in the new password", onTestKeychain("edit E --password-stdin"), 1,
        "holds a NUL byte", QByteArray("\0secret", 7));
    row("notes of 2,001 characters", onTestKeychain("add x --notes") << QString(2001, u'n'), 1,
        "notes are longer than 2000 characters");
    row("label of 4,097 characters", onTestKeychain("add") << QString(4097, u'l'), 1,
        "label is longer than 4096");
    row("user name of 4,097 characters", onTestKeychain("edit E --user") << QString(4097, u'u'), 1,
        "user name is longer than 4096");
    // Two labels that differ only in bytes that are not UTF-8 must not become one.
    row("label not UTF-8", onTestKeychain("add"), 2, "(\"inv\\xff\\xfe\") is not UTF-8", "pw",
        "set -- \"$@\" \"$(printf 'inv\\377\\376')\"; exec");
    row("notes not UTF-8", onTestKeychain("edit E"), 2, "is not UTF-8", "",
        "set -- \"$@\" --notes \"$(printf 'bad\\377')\"; exec");

    // Keychains that cannot be opened, for reading or for a change.
    const char* wrongPassword = "echo 'not the password' >wrong; exec 4<wrong; exec";
    row("wrong password, list", words("--keychain test.keychain --password-fd 4 list"), 1,
        "wrong password", "", wrongPassword);
    row("wrong password, add", words("--keychain test.keychain --password-fd 4 add New"), 1,
        "wrong password", "pw", wrongPassword);
    row("no terminal", words("--keychain test.keychain list"), 1,
        "no terminal to ask it on; give it with --password-fd");
    row("descriptor not open", words("--keychain test.keychain --password-fd 7 add New"), 1,
        "descriptor 7, which is not open for reading");
    row("descriptor open for writing", words("--keychain test.keychain --password-fd 4 list"), 1,
        "descriptor 4, which is not open for reading", "", "exec 4>/dev/null; exec");
    row("missing file", words("--keychain none.keychain --password-fd 3 list"), 1,
        "none.keychain: there is no such file");
    row("not a keychain file", words("--keychain notes.txt --password-fd 3 list"), 1,
        "not a keychain file");
    // No keychain path stored and no Secret Service on the bus.
    row("no keychain anywhere", words("--password-fd 3 add New"), 1,
        "Name one with --keychain PATH");
}

void TestCliEntries::failedCommandsChangeNothing()
{
    QFETCH(QString, launcher);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, message);
    QVERIFY(addEntriesEAndF());
    QVERIFY(writeFileBytes(m_cli->path(QStringLiteral("notes.txt")), "some text, no keychain\n"));
    const QByteArray before = fileBytes(m_cli->keychainPath());
    m_cli->setLauncher(launcher);
    const CliRunner::Result result = m_cli->run(arguments, input, CliRunner::keychainPassword);
    m_cli->setLauncher(QStringLiteral("exec"));
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY(result.out.isEmpty());
    QVERIFY2(result.err.contains(message), result.err.constData());
    QCOMPARE(fileBytes(m_cli->keychainPath()), before);
}

void TestCliEntries::createKeychainRefusals_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QString>("message");
    QTest::newRow("existing file") << QStringLiteral("test.keychain") << QByteArray("other")
                                   << QStringLiteral("%1 exists already.");
    QTest::newRow("missing folder")
        << QStringLiteral("missing/new.keychain") << QByteArray("pw")
        << QStringLiteral("cannot write %1: no such file or directory.");
    QTest::newRow("empty password") << QStringLiteral("new.keychain") << QByteArray()
                                    << QStringLiteral("a keychain password cannot be empty");
}

void TestCliEntries::createKeychainRefusals()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, password);
    QFETCH(QString, message);
    const QString path = m_cli->path(name);
    const QByteArray keychain = fileBytes(m_cli->keychainPath());
    const CliRunner::Result result =
        m_cli->run(QStringList{QStringLiteral("create-keychain"), path} + words("--password-fd 3"),
                   QByteArray(), password);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains(message.arg(path).toUtf8()), result.err.constData());
    // The terminal's words, not the application's advice to start it again.
    QVERIFY(!result.err.contains("Keyloft"));
    QCOMPARE(QFileInfo::exists(path), name == QStringLiteral("test.keychain"));
    QCOMPARE(fileBytes(m_cli->keychainPath()), keychain);
}

void TestCliEntries::createKeychainSetDefaultIsUsedLater()
{
    const QString path = m_cli->path(QStringLiteral("chosen.keychain"));
    const QByteArray password("chosen");
    QCOMPARE(m_cli
                 ->run(QStringList{QStringLiteral("create-keychain"), path} +
                           words("--set-default --password-fd 3"),
                       QByteArray(), password)
                 .exitCode,
             0);
    QCOMPARE(fileMode(path), 0600);
    // Without --keychain the stored choice is used, as the application would use it.
    QCOMPARE(m_cli->run(words("--password-fd 3 add Here"), "pw", password).out,
             QByteArray("Here\n"));
    QVERIFY(
        m_cli->run(words("--password-fd 3 list"), QByteArray(), password).out.startsWith("Here\t"));
    QVERIFY(m_cli->labels().isEmpty());
}

QTEST_GUILESS_MAIN(TestCliEntries)
#include "tst_clientries.moc"
