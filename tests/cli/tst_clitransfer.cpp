// keyloft-cli's export and import, and changes by several processes at once, run as a
// real process against keychain files in a temporary folder.
#include "CliRunner.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

class TestCliTransfer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();

    void exportWithoutPasswords();
    void exportWithPasswordsToAPrivateFile();
    void exportThenImportElsewhere();
    void importNeverOverwrites();
    void badImportFileChangesNothing_data();
    void badImportFileChangesNothing();
    void twoAddsAtOnceKeepBoth();

private:
    QByteArray keychainBytes() const;
    QJsonArray exportedEntries(const QStringList& options = {});
    std::unique_ptr<CliRunner> m_cli;
};

void TestCliTransfer::init()
{
    m_cli = std::make_unique<CliRunner>();
    QVERIFY(m_cli->createKeychain());
    const QString add = QStringLiteral("add");
    QCOMPARE(m_cli
                 ->onKeychain({add, QStringLiteral("Mail"), QStringLiteral("--user"),
                               QStringLiteral("me@example.org"), QStringLiteral("--notes"),
                               QStringLiteral("line 1\n\"quoted\"\ttab")},
                              "m\xc3\xa4il\n")
                 .exitCode,
             0);
    QCOMPARE(m_cli->onKeychain({add, QStringLiteral("Bank")}, "b\\ank").exitCode, 0);
}

QByteArray TestCliTransfer::keychainBytes() const
{
    QFile file(m_cli->keychainPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QJsonArray TestCliTransfer::exportedEntries(const QStringList& options)
{
    const CliRunner::Result result =
        m_cli->onKeychain(QStringList{QStringLiteral("export")} + options);
    if (result.exitCode != 0) {
        return {};
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(result.out, &error);
    return document.object().value(QStringLiteral("entries")).toArray();
}

void TestCliTransfer::exportWithoutPasswords()
{
    const CliRunner::Result result = m_cli->onKeychain({QStringLiteral("export")});
    QCOMPARE(result.exitCode, 0);
    QJsonParseError error;
    const QJsonObject document = QJsonDocument::fromJson(result.out, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(document.value(QStringLiteral("format")).toString(),
             QStringLiteral("keyloft-entries"));
    QCOMPARE(document.value(QStringLiteral("version")).toInt(), 1);
    const QJsonArray entries = document.value(QStringLiteral("entries")).toArray();
    QCOMPARE(entries.size(), 2);
    const QJsonObject mail = entries.at(0).toObject();
    QCOMPARE(mail.value(QStringLiteral("label")).toString(), QStringLiteral("Mail"));
    QCOMPARE(mail.value(QStringLiteral("userName")).toString(), QStringLiteral("me@example.org"));
    QCOMPARE(mail.value(QStringLiteral("notes")).toString(),
             QStringLiteral("line 1\n\"quoted\"\ttab"));
    QCOMPARE(mail.value(QStringLiteral("uses")).toInt(), 1);
    QVERIFY(!mail.contains(QStringLiteral("password")));
    QVERIFY(!result.out.contains("m\xc3\xa4il"));
    QCOMPARE(entries.at(1).toObject().value(QStringLiteral("label")).toString(),
             QStringLiteral("Bank"));
}

void TestCliTransfer::exportWithPasswordsToAPrivateFile()
{
    const QString file = m_cli->path(QStringLiteral("backup.json"));
    const CliRunner::Result result = m_cli->onKeychain(
        {QStringLiteral("export"), QStringLiteral("--with-passwords"), QStringLiteral("-o"), file});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.isEmpty());
    QCOMPARE(QFileInfo(file).permissions() &
                 ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser),
             QFileDevice::Permissions());
    QFile exported(file);
    QVERIFY(exported.open(QIODevice::ReadOnly));
    const QJsonArray entries = QJsonDocument::fromJson(exported.readAll())
                                   .object()
                                   .value(QStringLiteral("entries"))
                                   .toArray();
    QCOMPARE(entries.at(0).toObject().value(QStringLiteral("password")).toString(),
             QStringLiteral("m\u00e4il"));
    QCOMPARE(entries.at(1).toObject().value(QStringLiteral("password")).toString(),
             QStringLiteral("b\\ank"));
}

void TestCliTransfer::exportThenImportElsewhere()
{
    const QString file = m_cli->path(QStringLiteral("all.json"));
    QCOMPARE(m_cli
                 ->onKeychain({QStringLiteral("export"), QStringLiteral("--with-passwords"),
                               QStringLiteral("--output"), file})
                 .exitCode,
             0);
    CliRunner other;
    QVERIFY(other.createKeychain());
    const CliRunner::Result imported = other.onKeychain({QStringLiteral("import"), file});
    QCOMPARE(imported.exitCode, 0);
    QCOMPARE(imported.out, QByteArray("Mail\nBank\n"));
    QCOMPARE(other
                 .onKeychain(
                     {QStringLiteral("show"), QStringLiteral("--password"), QStringLiteral("Mail")})
                 .out,
             QByteArray("m\xc3\xa4il"));
    const QByteArray shown = other.onKeychain({QStringLiteral("show"), QStringLiteral("Mail")}).out;
    QVERIFY(shown.contains("User name:  me@example.org\n"));
    QVERIFY(shown.contains("Notes:      line 1\n            \"quoted\"\ttab\n"));
}

void TestCliTransfer::importNeverOverwrites()
{
    const QByteArray json = R"({"entries": [
        {"label": "Mail", "userName": "other", "notes": "", "password": "new"},
        {"label": "Fresh", "userName": "f", "notes": "n"}]})";
    const CliRunner::Result imported =
        m_cli->onKeychain({QStringLiteral("import"), QStringLiteral("-")}, json);
    QCOMPARE(imported.exitCode, 0);
    QCOMPARE(imported.out, QByteArray("Mail1\nFresh\n"));
    const QStringList show{QStringLiteral("show"), QStringLiteral("--password")};
    QCOMPARE(m_cli->onKeychain(show + QStringList{QStringLiteral("Mail")}).out,
             QByteArray("m\xc3\xa4il"));
    QCOMPARE(m_cli->onKeychain(show + QStringList{QStringLiteral("Mail1")}).out, QByteArray("new"));
    // Without a password in the file the entry keeps the application's placeholder.
    QCOMPARE(m_cli->onKeychain(show + QStringList{QStringLiteral("Fresh")}).out,
             QByteArray("Password not entered yet."));
}

void TestCliTransfer::badImportFileChangesNothing_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QByteArray>("message");
    const QByteArray good = R"({"label": "Good", "userName": "u", "notes": "n"})";
    QTest::newRow("not json") << QByteArray("{\"entries\": [") << QByteArray("not valid JSON");
    QTest::newRow("empty file") << QByteArray() << QByteArray("not valid JSON");
    QTest::newRow("array at top") << QByteArray("[]") << QByteArray("JSON object");
    QTest::newRow("no entries") << QByteArray("{}") << QByteArray("\"entries\"");
    QTest::newRow("missing label, second entry")
        << QByteArray("{\"entries\": [" + good + R"(, {"userName": "u", "notes": "n"}]})")
        << QByteArray("entry 2 of the file: the field \"label\" is missing");
    QTest::newRow("missing userName")
        << QByteArray("{\"entries\": [" + good + R"(, {"label": "L", "notes": "n"}]})")
        << QByteArray("\"userName\" is missing");
    QTest::newRow("missing notes")
        << QByteArray(R"({"entries": [{"label": "L", "userName": "u"}]})")
        << QByteArray("\"notes\" is missing");
    QTest::newRow("number as password")
        << QByteArray("{\"entries\": [" + good + R"(, {"label": "L", "userName": "u",
                      "notes": "n", "password": 12}]})")
        << QByteArray("\"password\" is not text");
    QTest::newRow("empty label")
        << QByteArray(R"({"entries": [{"label": "", "userName": "u", "notes": "n"}]})")
        << QByteArray("label is empty");
    QTest::newRow("other version")
        << QByteArray("{\"version\": 2, \"entries\": [" + good + "]}") << QByteArray("version");
}

void TestCliTransfer::badImportFileChangesNothing()
{
    QFETCH(QByteArray, json);
    QFETCH(QByteArray, message);
    const QString file = m_cli->path(QStringLiteral("bad.json"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(json);
    out.close();
    const QByteArray before = keychainBytes();
    const CliRunner::Result result = m_cli->onKeychain({QStringLiteral("import"), file});
    QCOMPARE(result.exitCode, 1);
    QVERIFY(result.out.isEmpty());
    QVERIFY2(result.err.contains(message), result.err.constData());
    QCOMPARE(keychainBytes(), before);
}

void TestCliTransfer::twoAddsAtOnceKeepBoth()
{
    // Two pairs of processes at once: each pair asks for the same label. Each waits for
    // its password on standard input; all are given theirs at the same moment.
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int i = 0; i < 4; ++i) {
        processes.push_back(std::make_unique<QProcess>());
        m_cli->start(*processes.back(), {QStringLiteral("add"),
                                         i < 2 ? QStringLiteral("Same") : QStringLiteral("Web9")});
    }
    QTest::qWait(500);
    for (std::size_t i = 0; i < processes.size(); ++i) {
        processes[i]->write("pw" + QByteArray::number(qsizetype(i)));
        QVERIFY(processes[i]->waitForBytesWritten(10000));
    }
    // The end of input lets each go on: given to all at once, they run side by side.
    for (const auto& process : processes) {
        process->closeWriteChannel();
    }
    QStringList printed;
    for (const auto& process : processes) {
        QVERIFY(process->waitForFinished(60000));
        QCOMPARE(process->exitCode(), 0);
        printed << QString::fromUtf8(process->readAllStandardOutput()).trimmed();
    }
    QStringList labels = m_cli->labels();
    QCOMPARE(labels.size(), 6);
    labels.sort();
    QCOMPARE(labels, (QStringList{QStringLiteral("Bank"), QStringLiteral("Mail"),
                                  QStringLiteral("Same"), QStringLiteral("Same1"),
                                  QStringLiteral("Web10"), QStringLiteral("Web9")}));
    printed.sort();
    QCOMPARE(printed, (QStringList{QStringLiteral("Same"), QStringLiteral("Same1"),
                                   QStringLiteral("Web10"), QStringLiteral("Web9")}));
}

QTEST_GUILESS_MAIN(TestCliTransfer)
#include "tst_clitransfer.moc"
