// keyloft-cli's entry commands (list, show, add, rename, edit, rm) and its usage rules,
// run as a real process against keychain files in a temporary folder.
#include "CliRunner.h"
#include "TestFiles.h"

#include <QTest>

#include <algorithm>

class TestCliEntries : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();

    void usageErrors_data();
    void usageErrors();

    void addThenShowAndList();
    void showPasswordPrintsItAloneAndCountsAUse_data();
    void showPasswordPrintsItAloneAndCountsAUse();
    void listSorts_data();
    void listSorts();
    void listAndShowEscapeControlCharacters();
    void refusedInputChangesNothing_data();
    void refusedInputChangesNothing();
    void renameAndTakenLabels();
    void editChangesOnlyWhatIsGiven();
    void rmNeedsYesWithoutATerminal();

    void keychainPasswordCannotBeRead_data();
    void keychainPasswordCannotBeRead();
    void missingOrForeignKeychainFile();
    void noKeychainAnywhere();
    void createKeychainRefusals_data();
    void createKeychainRefusals();
    void createKeychainSetDefaultIsUsedLater();

private:
    CliRunner::Result add(const QString& label, const QByteArray& password,
                          const QStringList& options = {});
    std::unique_ptr<CliRunner> m_cli;
};

void TestCliEntries::init()
{
    m_cli = std::make_unique<CliRunner>();
    QVERIFY(m_cli->createKeychain());
}

CliRunner::Result TestCliEntries::add(const QString& label, const QByteArray& password,
                                      const QStringList& options)
{
    return m_cli->onKeychain(QStringList{QStringLiteral("add"), label} + options, password);
}

void TestCliEntries::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no command") << QStringList{};
    QTest::newRow("unknown command") << QStringList{QStringLiteral("frobnicate")};
    QTest::newRow("unknown option") << QStringList{QStringLiteral("list"), QStringLiteral("--x")};
    QTest::newRow("show without label") << QStringList{QStringLiteral("show")};
    QTest::newRow("rename with one label")
        << QStringList{QStringLiteral("rename"), QStringLiteral("a")};
    QTest::newRow("add with two labels")
        << QStringList{QStringLiteral("add"), QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("add with empty label") << QStringList{QStringLiteral("add"), QString()};
    QTest::newRow("bad sort key") << QStringList{QStringLiteral("list"), QStringLiteral("--sort"),
                                                 QStringLiteral("size")};
    QTest::newRow("edit without changes")
        << QStringList{QStringLiteral("edit"), QStringLiteral("a")};
    QTest::newRow("password-fd not a number") << QStringList{
        QStringLiteral("--password-fd"), QStringLiteral("x"), QStringLiteral("list")};
    QTest::newRow("help for unknown command")
        << QStringList{QStringLiteral("help"), QStringLiteral("nope")};
}

void TestCliEntries::usageErrors()
{
    QFETCH(QStringList, arguments);
    const QByteArray before = m_cli->onKeychain({QStringLiteral("list")}).out;
    const CliRunner::Result result = m_cli->onKeychain(arguments, "pw");
    QCOMPARE(result.exitCode, 2);
    QVERIFY(result.out.isEmpty());
    QVERIFY2(result.err.startsWith("keyloft-cli: "), result.err.constData());
    QCOMPARE(m_cli->onKeychain({QStringLiteral("list")}).out, before);
}

void TestCliEntries::addThenShowAndList()
{
    const CliRunner::Result added =
        add(QStringLiteral("Bank"), "s3cret\n",
            {QStringLiteral("--user"), QStringLiteral("anna"), QStringLiteral("--notes"),
             QStringLiteral("first line\nsecond line")});
    QCOMPARE(added.exitCode, 0);
    QVERIFY(added.err.isEmpty());

    const CliRunner::Result shown =
        m_cli->onKeychain({QStringLiteral("show"), QStringLiteral("Bank")});
    QCOMPARE(shown.exitCode, 0);
    QVERIFY(shown.out.contains("Label:      Bank\n"));
    QVERIFY(shown.out.contains("User name:  anna\n"));
    QVERIFY(shown.out.contains("Notes:      first line\n            second line\n"));
    QVERIFY(shown.out.contains("Uses:       1\n"));
    QVERIFY(!shown.out.contains("s3cret"));

    const CliRunner::Result listed = m_cli->onKeychain({QStringLiteral("list")});
    QCOMPARE(listed.exitCode, 0);
    const QList<QByteArray> fields = listed.out.trimmed().split('\t');
    QCOMPARE(fields.size(), 4);
    QCOMPARE(fields[0], QByteArray("Bank"));
    QCOMPARE(fields[1], QByteArray("anna"));
    QCOMPARE(fields[2], QByteArray("1"));
    const QDateTime created = QDateTime::fromString(QString::fromUtf8(fields[3]), Qt::ISODate);
    QVERIFY(created.isValid());
    QVERIFY(qAbs(created.secsTo(QDateTime::currentDateTimeUtc())) < 120);

    // Fields not given keep the application's placeholders.
    QCOMPARE(add(QStringLiteral("Bare"), "x").exitCode, 0);
    const QByteArray bare = m_cli->onKeychain({QStringLiteral("show"), QStringLiteral("Bare")}).out;
    QVERIFY(bare.contains("User name:  User account not entered yet.\n"));
    QVERIFY(bare.contains("Notes:      Notes:\n"));
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
    QCOMPARE(add(QStringLiteral("Key"), input).exitCode, 0);
    for (int use = 2; use <= 3; ++use) {
        const CliRunner::Result shown = m_cli->onKeychain(
            {QStringLiteral("show"), QStringLiteral("--password"), QStringLiteral("Key")});
        QCOMPARE(shown.exitCode, 0);
        QCOMPARE(shown.out, password);
        const QByteArray fields = m_cli->onKeychain({QStringLiteral("list")}).out;
        QCOMPARE(fields.split('\t').at(2), QByteArray::number(use));
    }
}

void TestCliEntries::listSorts_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("expected");
    const QString b = QStringLiteral("beta"), a = QStringLiteral("Alpha"),
                  g = QStringLiteral("gamma");
    QTest::newRow("name descending")
        << QStringList{QStringLiteral("--sort"), QStringLiteral("name"),
                       QStringLiteral("--descending")}
        << QStringList{g, b, a};
    QTest::newRow("used descending")
        << QStringList{QStringLiteral("--sort"), QStringLiteral("used"),
                       QStringLiteral("--descending")}
        << QStringList{g, a, b};
    // Without --sort, the application's default order: date created, ascending.
    QTest::newRow("application's order") << QStringList{} << QStringList{b, a, g};
}

void TestCliEntries::listSorts()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, expected);
    QVERIFY(m_cli->addEntriesHoursApart(
        {QStringLiteral("beta"), QStringLiteral("Alpha"), QStringLiteral("gamma")}));
    const QStringList show{QStringLiteral("show"), QStringLiteral("--password")};
    m_cli->onKeychain(show + QStringList{QStringLiteral("gamma")});
    m_cli->onKeychain(show + QStringList{QStringLiteral("gamma")});
    m_cli->onKeychain(show + QStringList{QStringLiteral("Alpha")});
    const CliRunner::Result listed =
        m_cli->onKeychain(QStringList{QStringLiteral("list")} + options);
    QCOMPARE(listed.exitCode, 0);
    QStringList labels;
    for (const QByteArray& line : listed.out.trimmed().split('\n')) {
        labels << QString::fromUtf8(line.split('\t').first());
    }
    QCOMPARE(labels, expected);
}

void TestCliEntries::listAndShowEscapeControlCharacters()
{
    QCOMPARE(add(QStringLiteral("tab\there\u001b[2J"), "pw",
                 {QStringLiteral("--user"), QStringLiteral("back\\slash\nnew\u009b\u007f"),
                  QStringLiteral("--notes"), QStringLiteral("a\u0007b\tc\r")})
                 .exitCode,
             0);
    const CliRunner::Result listed = m_cli->onKeychain({QStringLiteral("list")});
    QCOMPARE(listed.out.count('\n'), 1);
    QVERIFY2(listed.out.startsWith("tab\\there\\x1b[2J\tback\\\\slash\\nnew\\u009b\\x7f\t1\t"),
             listed.out.constData());
    // show keeps line feeds and tabs, and escapes every other control character.
    const CliRunner::Result shown =
        m_cli->onKeychain({QStringLiteral("show"), QStringLiteral("tab\there\u001b[2J")});
    QCOMPARE(shown.exitCode, 0);
    QVERIFY(shown.out.contains("Label:      tab\there\\x1b[2J\n"));
    QVERIFY(shown.out.contains("Notes:      a\\x07b\tc\\r\n"));
    const QString text = QString::fromUtf8(shown.out);
    QVERIFY(std::none_of(text.begin(), text.end(), [](QChar c) {
        return c != u'\n' && c != u'\t' && (c < u' ' || (c >= u'\u007f' && c <= u'\u009f'));
    }));
}

void TestCliEntries::refusedInputChangesNothing_data()
{
    QTest::addColumn<QString>("launcher");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("message");
    const QString exec = QStringLiteral("exec"), add = QStringLiteral("add"),
                  edit = QStringLiteral("edit"), e = QStringLiteral("E");
    QTest::newRow("NUL inside the password")
        << exec << QStringList{add, QStringLiteral("x")} << QByteArray("abc\0def", 7) << 1
        << QByteArray("holds a NUL byte");
    QTest::newRow("NUL first in the new password")
        << exec << QStringList{edit, e, QStringLiteral("--password-stdin")}
        << QByteArray("\0secret", 7) << 1 << QByteArray("holds a NUL byte");
    QTest::newRow("notes of 2,001 characters")
        << exec
        << QStringList{add, QStringLiteral("x"), QStringLiteral("--notes"), QString(2001, u'n')}
        << QByteArray("pw") << 1 << QByteArray("notes are longer than 2000 characters");
    QTest::newRow("label of 4,097 characters")
        << exec << QStringList{add, QString(4097, u'l')} << QByteArray("pw") << 1
        << QByteArray("label is longer than 4096");
    QTest::newRow("user name of 4,097 characters")
        << exec << QStringList{edit, e, QStringLiteral("--user"), QString(4097, u'u')}
        << QByteArray() << 1 << QByteArray("user name is longer than 4096");
    // Two labels that differ only in bytes that are not UTF-8 must not become one.
    QTest::newRow("label not UTF-8")
        << QStringLiteral("set -- \"$@\" \"$(printf 'inv\\377\\376')\"; exec") << QStringList{add}
        << QByteArray("pw") << 2 << QByteArray("(\"inv\\xff\\xfe\") is not UTF-8");
    QTest::newRow("notes not UTF-8")
        << QStringLiteral("set -- \"$@\" --notes \"$(printf 'bad\\377')\"; exec")
        << QStringList{edit, e} << QByteArray() << 2 << QByteArray("is not UTF-8");
}

void TestCliEntries::refusedInputChangesNothing()
{
    QFETCH(QString, launcher);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, message);
    QCOMPARE(add(QStringLiteral("E"), "old").exitCode, 0);
    const QByteArray before = m_cli->onKeychain({QStringLiteral("export")}).out;
    m_cli->setLauncher(launcher);
    const CliRunner::Result result = m_cli->onKeychain(arguments, input);
    m_cli->setLauncher(QStringLiteral("exec"));
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.err.contains(message), result.err.constData());
    QCOMPARE(m_cli->onKeychain({QStringLiteral("export")}).out, before);
    QCOMPARE(m_cli->password(QStringLiteral("E")), QByteArray("old"));
}

void TestCliEntries::renameAndTakenLabels()
{
    QCOMPARE(add(QStringLiteral("One"), "1").exitCode, 0);
    QCOMPARE(add(QStringLiteral("Two"), "2").exitCode, 0);
    const QString rename = QStringLiteral("rename");
    const CliRunner::Result taken =
        m_cli->onKeychain({rename, QStringLiteral("One"), QStringLiteral("Two")});
    QCOMPARE(taken.exitCode, 1);
    QVERIFY(taken.err.contains("\"Two\" exists already"));
    QCOMPARE(m_cli->onKeychain({rename, QStringLiteral("Nope"), QStringLiteral("Three")}).exitCode,
             1);
    QCOMPARE(m_cli->labels(), (QStringList{QStringLiteral("One"), QStringLiteral("Two")}));

    const CliRunner::Result renamed =
        m_cli->onKeychain({rename, QStringLiteral("One"), QStringLiteral("Uno")});
    QCOMPARE(renamed.exitCode, 0);
    QVERIFY(renamed.out.isEmpty());
    QCOMPARE(m_cli->labels(), (QStringList{QStringLiteral("Uno"), QStringLiteral("Two")}));
    // The password is not touched by a rename.
    QCOMPARE(m_cli->password(QStringLiteral("Uno")), QByteArray("1"));
}

void TestCliEntries::editChangesOnlyWhatIsGiven()
{
    QCOMPARE(add(QStringLiteral("E"), "old",
                 {QStringLiteral("--user"), QStringLiteral("u1"), QStringLiteral("--notes"),
                  QStringLiteral("n1")})
                 .exitCode,
             0);
    const QString edit = QStringLiteral("edit"), e = QStringLiteral("E");
    // A given empty text is stored as given, not as the placeholder.
    QCOMPARE(m_cli->onKeychain({edit, e, QStringLiteral("--user"), QString()}).exitCode, 0);
    QVERIFY(m_cli->onKeychain({QStringLiteral("show"), e}).out.contains("User name:  \n"));
    QCOMPARE(m_cli->onKeychain({edit, e, QStringLiteral("--user"), QStringLiteral("u2")}).exitCode,
             0);
    QByteArray shown = m_cli->onKeychain({QStringLiteral("show"), e}).out;
    QVERIFY(shown.contains("User name:  u2\n"));
    QVERIFY(shown.contains("Notes:      n1\n"));

    QCOMPARE(m_cli
                 ->onKeychain({edit, e, QStringLiteral("--notes"), QStringLiteral("n2"),
                               QStringLiteral("--password-stdin")},
                              "new\n")
                 .exitCode,
             0);
    shown = m_cli->onKeychain({QStringLiteral("show"), e}).out;
    QVERIFY(shown.contains("User name:  u2\n"));
    QVERIFY(shown.contains("Notes:      n2\n"));
    QCOMPARE(m_cli->password(e), QByteArray("new"));
    QCOMPARE(
        m_cli
            ->onKeychain({edit, QStringLiteral("F"), QStringLiteral("--user"), QStringLiteral("x")})
            .exitCode,
        1);
}

void TestCliEntries::rmNeedsYesWithoutATerminal()
{
    QCOMPARE(add(QStringLiteral("Gone"), "pw").exitCode, 0);
    QCOMPARE(add(QStringLiteral("Kept"), "pw").exitCode, 0);
    const QString rm = QStringLiteral("rm");
    // There is no terminal to ask on: a usage error, and nothing removed.
    const CliRunner::Result asked = m_cli->onKeychain({rm, QStringLiteral("Gone")});
    QCOMPARE(asked.exitCode, 2);
    QVERIFY(asked.err.contains("--yes"));
    QCOMPARE(m_cli->labels().size(), 2);
    const CliRunner::Result removed =
        m_cli->onKeychain({rm, QStringLiteral("--yes"), QStringLiteral("Gone")});
    QCOMPARE(removed.exitCode, 0);
    QCOMPARE(m_cli->labels(), QStringList{QStringLiteral("Kept")});
    const CliRunner::Result again =
        m_cli->onKeychain({rm, QStringLiteral("-y"), QStringLiteral("Gone")});
    QCOMPARE(again.exitCode, 1);
    QVERIFY(again.err.contains("no entry is labelled \"Gone\""));
}

void TestCliEntries::keychainPasswordCannotBeRead_data()
{
    QTest::addColumn<QString>("launcher");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("message");
    const QString exec = QStringLiteral("exec");
    const QString fd = QStringLiteral("--password-fd");
    QTest::newRow("wrong password")
        << exec << QStringList{fd, QStringLiteral("3")} << QByteArray("wrong password");
    QTest::newRow("no terminal") << exec << QStringList{}
                                 << QByteArray(
                                        "no terminal to ask it on; give it with --password-fd");
    QTest::newRow("descriptor not open")
        << exec << QStringList{fd, QStringLiteral("7")}
        << QByteArray("descriptor 7, which is not open for reading");
    QTest::newRow("descriptor open for writing")
        << QStringLiteral("exec 4>/dev/null; exec") << QStringList{fd, QStringLiteral("4")}
        << QByteArray("descriptor 4, which is not open for reading");
}

void TestCliEntries::keychainPasswordCannotBeRead()
{
    QFETCH(QString, launcher);
    QFETCH(QStringList, options);
    QFETCH(QByteArray, message);
    QCOMPARE(add(QStringLiteral("Safe"), "pw").exitCode, 0);
    m_cli->setLauncher(launcher);
    const QStringList keychain =
        QStringList{QStringLiteral("--keychain"), m_cli->keychainPath()} + options;
    const QStringList list{QStringLiteral("list")};
    const QStringList adding{QStringLiteral("add"), QStringLiteral("New")};
    for (const QStringList& command : {list, adding}) {
        const CliRunner::Result result =
            m_cli->run(keychain + command, "pw", QByteArray("not the password"));
        QCOMPARE(result.exitCode, 1);
        QVERIFY(result.out.isEmpty());
        QVERIFY2(result.err.contains(message), result.err.constData());
    }
    m_cli->setLauncher(QStringLiteral("exec"));
    QCOMPARE(m_cli->labels(), QStringList{QStringLiteral("Safe")});
}

void TestCliEntries::missingOrForeignKeychainFile()
{
    const QString foreign = m_cli->path(QStringLiteral("notes.txt"));
    QVERIFY(writeFileBytes(foreign, "just some text, no keychain\n"));
    const QStringList list{QStringLiteral("list")};
    const CliRunner::Result notThere = m_cli->run(
        QStringList{QStringLiteral("--keychain"), m_cli->path(QStringLiteral("none.keychain"))} +
        list);
    QCOMPARE(notThere.exitCode, 1);
    QVERIFY(notThere.err.contains("no such file"));
    const CliRunner::Result notAKeychain =
        m_cli->run(QStringList{QStringLiteral("--keychain"), foreign} + list);
    QCOMPARE(notAKeychain.exitCode, 1);
    QVERIFY(notAKeychain.err.contains("not a keychain file"));
}

void TestCliEntries::noKeychainAnywhere()
{
    // No keychain path stored and no Secret Service on the bus: nothing to open.
    const CliRunner::Result result = m_cli->run({QStringLiteral("list")});
    QCOMPARE(result.exitCode, 1);
    QVERIFY(result.out.isEmpty());
    QVERIFY2(result.err.contains("--keychain PATH"), result.err.constData());
    QVERIFY(result.err.contains("no keychain could be opened"));
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
        m_cli->run({QStringLiteral("create-keychain"), path, QStringLiteral("--password-fd"),
                    QStringLiteral("3")},
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
    const CliRunner::Result created =
        m_cli->run({QStringLiteral("create-keychain"), path, QStringLiteral("--set-default"),
                    QStringLiteral("--password-fd"), QStringLiteral("3")},
                   QByteArray(), QByteArray("chosen"));
    QCOMPARE(created.exitCode, 0);
    QVERIFY(QFileInfo(path).isFile());
    QCOMPARE(QFileInfo(path).permissions() & (QFile::ReadOther | QFile::ReadGroup),
             QFileDevice::Permissions());
    // Without --keychain the stored choice is used, as the application would use it.
    const QStringList fd{QStringLiteral("--password-fd"), QStringLiteral("3")};
    QCOMPARE(m_cli
                 ->run(fd + QStringList{QStringLiteral("add"), QStringLiteral("Here")}, "pw",
                       QByteArray("chosen"))
                 .out,
             QByteArray("Here\n"));
    QCOMPARE(
        m_cli->run(fd + QStringList{QStringLiteral("list")}, QByteArray(), QByteArray("chosen"))
            .out.split('\t')
            .first(),
        QByteArray("Here"));
    QVERIFY(m_cli->labels().isEmpty());
}

QTEST_GUILESS_MAIN(TestCliEntries)
#include "tst_clientries.moc"
