// keyloft-cli's export and import, changes by several processes at once and writes that
// fail, run as a real process against keychain files in a temporary folder.
#include "CliRunner.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <cstdio>
#include <unistd.h>

class TestCliTransfer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();

    void exportToAPrivateFileAndImportElsewhere();
    void mergeByHandAndConflictCopies();
    void badImportFileChangesNothing_data();
    void badImportFileChangesNothing();
    void importIntoAReplacedKeychainNamesWhatIsLost();
    void twoAddsAtOnceKeepBoth();
    void killedWritersLeaveNothingInTheWay();
    void readingDoesNotNeedWriting_data();
    void readingDoesNotNeedWriting();

private:
    std::unique_ptr<CliRunner> m_cli;
};

void TestCliTransfer::init()
{
    m_cli = std::make_unique<CliRunner>();
    QVERIFY(m_cli->createKeychain());
    const QStringList mail = words("add Mail --user me@example.org --notes")
                             << QStringLiteral("line 1\n\"quoted\"\ttab");
    QCOMPARE(m_cli->onKeychain(mail, "m\xc3\xa4il\n").exitCode, 0);
    QCOMPARE(m_cli->onKeychain(words("add Bank"), "b\\ank").exitCode, 0);
}

void TestCliTransfer::exportToAPrivateFileAndImportElsewhere()
{
    const QByteArray plain = m_cli->onKeychain(words("export")).out;
    // A file that is there already is replaced by one that only its owner can read.
    const QString file = m_cli->path(QStringLiteral("backup.json"));
    QVERIFY(writeFileBytes(file, QByteArray()));
    QVERIFY(QFile::setPermissions(file, QFileDevice::Permissions(0x6666)));
    const CliRunner::Result result = m_cli->onKeychain(words("export --with-passwords -o") << file);
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.isEmpty());
    QCOMPARE(fileMode(file), 0600);
    // Another keychain takes in every field, passwords too.
    CliRunner other;
    QVERIFY(other.createKeychain());
    const CliRunner::Result imported = other.onKeychain(words("import") << file);
    QCOMPARE(imported.exitCode, 0);
    QCOMPARE(imported.out, QByteArray("Mail\nBank\n"));
    QCOMPARE(other.password(QStringLiteral("Bank")), QByteArray("b\\ank"));
    const QByteArray shown = other.onKeychain(words("show Mail")).out;
    QVERIFY2(shown.contains("User name:  me@example.org\nNotes:      line 1\n"
                            "            \"quoted\"\ttab\n"),
             shown.constData());
    // Importing again overwrites nothing: taken labels are numbered, and entries exported
    // without their passwords keep the application's placeholder.
    QCOMPARE(other.onKeychain(words("import -"), plain).out, QByteArray("Mail1\nBank1\n"));
    QCOMPARE(other.password(QStringLiteral("Mail")), QByteArray("m\xc3\xa4il"));
    QCOMPARE(other.password(QStringLiteral("Mail1")), QByteArray("Password not entered yet."));
}

void TestCliTransfer::mergeByHandAndConflictCopies()
{
    const QString other = m_cli->path(QStringLiteral("other.keychain"));
    QVERIFY(QFile::copy(m_cli->keychainPath(), other));
    const auto addTo = [this](const char* label) {
        return m_cli
            ->run(words("--keychain other.keychain --password-fd 3 add")
                      << QString::fromUtf8(label),
                  "pw\n", CliRunner::keychainPassword)
            .exitCode;
    };
    QCOMPARE(addTo("Phone"), 0);
    const QStringList merge{QStringLiteral("merge"), other};
    QCOMPARE(m_cli->onKeychain(merge).out, QByteArray("1 entry added.\n"));
    QCOMPARE(m_cli->onKeychain(merge).out, QByteArray("Nothing to merge.\n"));
    // A sync program's conflict copy is merged before the next command, and goes.
    QCOMPARE(addTo("Radio"), 0);
    const QString copy =
        m_cli->path(QStringLiteral("test (laptop's conflicted copy 2026-12-07).keychain"));
    QVERIFY(QFile::rename(other, copy));
    const CliRunner::Result listed = m_cli->onKeychain({QStringLiteral("list")});
    QCOMPARE(listed.err,
             QByteArray("keyloft-cli: 1 entry added from a copy made by the sync program.\n"));
    QVERIFY(listed.out.contains("Radio\t"));
    QVERIFY(!QFile::exists(copy));
}

void TestCliTransfer::badImportFileChangesNothing_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QByteArray>("message");
    // A good entry first, then the one given.
    const auto second = [](const QByteArray& entry) {
        return R"({"entries": [{"label": "Good", "userName": "u", "notes": "n"}, )" + entry + "]}";
    };
    QTest::newRow("not json") << QByteArray("{\"entries\": [") << QByteArray("not valid JSON");
    QTest::newRow("array at top") << QByteArray("[]") << QByteArray("JSON object");
    QTest::newRow("no entries") << QByteArray("{}") << QByteArray("\"entries\"");
    QTest::newRow("missing label")
        << second(R"({"userName": "u", "notes": "n"})")
        << QByteArray("entry 2 of the file: the field \"label\" is missing");
    QTest::newRow("missing userName")
        << second(R"({"label": "L", "notes": "n"})") << QByteArray("\"userName\" is missing");
    QTest::newRow("missing notes")
        << second(R"({"label": "L", "userName": "u"})") << QByteArray("\"notes\" is missing");
    QTest::newRow("number as password")
        << second(R"({"label": "L", "userName": "u", "notes": "n", "password": 12})")
        << QByteArray("\"password\" is not text");
    QTest::newRow("empty label") << second(R"({"label": "", "userName": "u", "notes": "n"})")
                                 << QByteArray("label is empty");
    QTest::newRow("notes of 2,001 characters")
        << second(R"({"label": "L", "userName": "u", "notes": ")" + QByteArray(2001, 'n') + "\"}")
        << QByteArray("entry 2 of the file: its notes are longer than 2000 characters");
    QTest::newRow("NUL in a password")
        << second(R"({"label": "L", "userName": "u", "notes": "n", "password": "a\u0000b"})")
        << QByteArray("its password holds a NUL byte");
    QTest::newRow("other version")
        << QByteArray(R"({"version": 2, "entries": []})") << QByteArray("version");
}

void TestCliTransfer::badImportFileChangesNothing()
{
    QFETCH(QByteArray, json);
    QFETCH(QByteArray, message);
    const QString file = m_cli->path(QStringLiteral("bad.json"));
    QVERIFY(writeFileBytes(file, json));
    const QByteArray before = fileBytes(m_cli->keychainPath());
    const CliRunner::Result result = m_cli->onKeychain({QStringLiteral("import"), file});
    QCOMPARE(result.exitCode, 1);
    QVERIFY(result.out.isEmpty());
    QVERIFY2(result.err.contains(message), result.err.constData());
    QCOMPARE(fileBytes(m_cli->keychainPath()), before);
}

void TestCliTransfer::importIntoAReplacedKeychainNamesWhatIsLost()
{
    QByteArray json = "{\"entries\": [";
    QStringList imported;
    for (int i = 0; i < 300; ++i) {
        imported << QStringLiteral("Imported %1").arg(i, 3, 10, QLatin1Char('0'));
        json += QByteArray(i > 0 ? "," : "") + R"({"label": ")" + imported.last().toUtf8() +
                R"(", "userName": "u", "notes": "n"})";
    }
    json += "]}";
    const QByteArray older = fileBytes(m_cli->keychainPath());
    QProcess import;
    m_cli->start(import, {QStringLiteral("import"), QStringLiteral("-")});
    import.write(json);
    import.closeWriteChannel();
    // Each time the import has written, the older copy is put back in place, twenty times
    // near its start. A copy put back while the import writes is replaced at once and
    // costs nothing; others take away what it added before.
    const QString copy = m_cli->path(QStringLiteral("older copy"));
    int swaps = 0;
    while (swaps < 20 && !import.waitForFinished(0)) {
        if (fileBytes(m_cli->keychainPath()).size() > older.size()) {
            QVERIFY(writeFileBytes(copy, older));
            QCOMPARE(::rename(QFile::encodeName(copy).constData(),
                              QFile::encodeName(m_cli->keychainPath()).constData()),
                     0);
            ++swaps;
        }
    }
    QVERIFY(import.waitForFinished(60000));
    QCOMPARE(swaps, 20);
    // What the keychain holds is printed; everything else is named as lost.
    QStringList held = m_cli->labels().mid(2);
    const QString err = QString::fromUtf8(import.readAllStandardError());
    const QStringList lost = err.section(QStringLiteral("are not in it:\n"), 1)
                                 .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(import.exitCode(), 1);
    QVERIFY2(!lost.isEmpty(), qPrintable(err));
    QCOMPARE(QString::fromUtf8(import.readAllStandardOutput())
                 .split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             held);
    held += lost;
    held.sort();
    QCOMPARE(held, imported);
}

void TestCliTransfer::twoAddsAtOnceKeepBoth()
{
    // Two groups of three processes at once: each group asks for the same label. Each
    // process has a runtime folder of its own, or none, as a job started outside the
    // session has. Each waits for its password on standard input; all get theirs at once.
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int i = 0; i < 6; ++i) {
        const QString runtime = m_cli->path(QStringLiteral("run-%1").arg(i));
        QVERIFY(QDir().mkpath(runtime));
        m_cli->environment().insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        if (i == 5) {
            m_cli->environment().remove(QStringLiteral("XDG_RUNTIME_DIR"));
        }
        processes.push_back(std::make_unique<QProcess>());
        m_cli->start(*processes.back(), {QStringLiteral("add"),
                                         i < 3 ? QStringLiteral("Same") : QStringLiteral("Web9")});
        processes.back()->write("pw" + QByteArray::number(i));
    }
    // Once all of them wait on their standard input, its end lets them run side by side.
    // A kernel that hides where a process waits shows "0" there; then they just start.
    for (const auto& process : processes) {
        const QString state = QStringLiteral("/proc/%1/wchan").arg(process->processId());
        QTRY_VERIFY(fileBytes(state).contains("pipe_read") || fileBytes(state) == "0");
    }
    for (const auto& process : processes) {
        process->closeWriteChannel();
    }
    QStringList printed;
    for (const auto& process : processes) {
        QVERIFY(process->waitForFinished(60000));
        QCOMPARE(process->exitCode(), 0);
        printed << QString::fromUtf8(process->readAllStandardOutput()).trimmed();
    }
    const QStringList added = words("Same Same1 Same2 Web10 Web11 Web9");
    QStringList labels = m_cli->labels();
    labels.sort();
    QCOMPARE(labels, words("Bank Mail") + added);
    printed.sort();
    QCOMPARE(printed, added);
}

void TestCliTransfer::killedWritersLeaveNothingInTheWay()
{
    // What killed processes leave: the lock file of an earlier keyloft-cli, and the
    // copy of a write cut short.
    QVERIFY(writeFileBytes(m_cli->path(QStringLiteral("run/keyloft-cli.lock")), QByteArray()));
    const QString copy = m_cli->path(QStringLiteral(".test.keychain.Ab12Cd"));
    QVERIFY(QFile::copy(m_cli->keychainPath(), copy));
    // A run with its own empty temporary folder, which it must leave empty.
    const QString temporary = m_cli->path(QStringLiteral("tmp"));
    QVERIFY(QDir().mkpath(temporary));
    m_cli->environment().insert(QStringLiteral("TMPDIR"), temporary);
    QCOMPARE(m_cli->onKeychain(words("add After"), "pw").exitCode, 0);
    QVERIFY(!QFileInfo::exists(copy));
    QVERIFY(QDir(temporary).isEmpty());
    QCOMPARE(m_cli->labels().last(), QStringLiteral("After"));
}

void TestCliTransfer::readingDoesNotNeedWriting_data()
{
    QTest::addColumn<QString>("launcher");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QByteArray>("cause");
    // A keychain larger than the file size limit (one block of 512 bytes): no new copy
    // can be written, as on a full disk.
    QTest::newRow("file size limit") << QStringLiteral("trap '' XFSZ; ulimit -f 1; exec")
                                     << QString() << QByteArray("file too large");
    QTest::newRow("read-only keychain")
        << QStringLiteral("exec") << QStringLiteral("chmod 400") << QByteArray("permission denied");
    QTest::newRow("read-only folder, another user")
        << QStringLiteral("exec setpriv --reuid=nobody --regid=nogroup --clear-groups")
        << QStringLiteral("nobody") << QByteArray("permission denied");
}

void TestCliTransfer::readingDoesNotNeedWriting()
{
    QFETCH(QString, launcher);
    QFETCH(QString, setup);
    QFETCH(QByteArray, cause);
    const QString folder = QFileInfo(m_cli->keychainPath()).path();
    QVERIFY(QFileInfo(m_cli->keychainPath()).size() > 512);
    if (setup == QStringLiteral("chmod 400")) {
        QVERIFY(QFile::setPermissions(m_cli->keychainPath(), QFileDevice::ReadOwner));
    } else if (setup == QStringLiteral("nobody")) {
        if (::geteuid() != 0) {
            QSKIP("only root can run keyloft-cli as another user here");
        }
        // The keychain and its folder belong to nobody, who may not write in the folder.
        for (const QString& name :
             QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotDot)) {
            const QByteArray file = QFile::encodeName(folder + QLatin1Char('/') + name);
            QCOMPARE(::chown(file.constData(), 65534, 65534), 0);
        }
        QVERIFY(QFile::setPermissions(folder, QFileDevice::Permissions(0x5555)));
    }
    const QByteArray before = fileBytes(m_cli->keychainPath());
    m_cli->setLauncher(launcher);
    const CliRunner::Result shown = m_cli->onKeychain(words("show --password Bank"));
    const CliRunner::Result added = m_cli->onKeychain(words("add New"), "pw");
    m_cli->setLauncher(QStringLiteral("exec"));
    QFile::setPermissions(folder, QFileDevice::Permissions(0x7700));
    // The password is printed, and the use that could not be counted is only warned of.
    QCOMPARE(shown.exitCode, 0);
    QCOMPARE(shown.out, QByteArray("b\\ank"));
    const QByteArray message = "cannot write " + m_cli->keychainPath().toUtf8() + ": " + cause;
    QVERIFY2(shown.err.contains("warning: could not count the use of \"Bank\".\n  " + message),
             shown.err.constData());
    // A change fails, saying why and where, and leaves the file as it was.
    QCOMPARE(added.exitCode, 1);
    QVERIFY2(added.err.contains(message), added.err.constData());
    QCOMPARE(fileBytes(m_cli->keychainPath()), before);
}

QTEST_GUILESS_MAIN(TestCliTransfer)
#include "tst_clitransfer.moc"
