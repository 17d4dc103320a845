#include "platform/login/SystemVersionSource.h"
#include "settings/NetKeyloft_SystemVersion.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

namespace {

const char* const probeVariable = "KEYLOFT_PROBE_READ_ONLY";

// The six predicates in a fixed order, as letters: T Tiger or later, L Leopard
// or later, S Snow Leopard or later, t Tiger, l Leopard, s Snow Leopard.
QString predicates(const NetKeyloft_SystemVersion& version)
{
    QString answer;
    answer += version.isTigerOrLater() ? QLatin1Char('T') : QLatin1Char('-');
    answer += version.isLeopardOrLater() ? QLatin1Char('L') : QLatin1Char('-');
    answer += version.isSnowLeopardOrLater() ? QLatin1Char('S') : QLatin1Char('-');
    answer += version.isTiger() ? QLatin1Char('t') : QLatin1Char('-');
    answer += version.isLeopard() ? QLatin1Char('l') : QLatin1Char('-');
    answer += version.isSnowLeopard() ? QLatin1Char('s') : QLatin1Char('-');
    return answer;
}

} // namespace

// The version queries over kernel release texts, and the read-only volume check.
class TestSystemVersion : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decoding_data()
    {
        QTest::addColumn<QString>("release");
        QTest::addColumn<bool>("known");
        QTest::addColumn<QList<int>>("version");
        QTest::addColumn<QString>("predicates");
        // Up to 10.3.15 the packed form holds the whole version; above it the
        // three numbers are asked one by one.
        QTest::newRow("packed 10.3.9")
            << QStringLiteral("10.3.9") << true << QList<int>{10, 3, 9} << QStringLiteral("------");
        QTest::newRow("10.4.0 asked by number")
            << QStringLiteral("10.4.0") << true << QList<int>{10, 4, 0} << QStringLiteral("T--t--");
        QTest::newRow("10.5.8") << QStringLiteral("10.5.8") << true << QList<int>{10, 5, 8}
                                << QStringLiteral("TL--l-");
        QTest::newRow("10.6.8") << QStringLiteral("10.6.8") << true << QList<int>{10, 6, 8}
                                << QStringLiteral("TLS--s");
        QTest::newRow("two-digit minor") << QStringLiteral("10.10.5") << true
                                         << QList<int>{10, 10, 5} << QStringLiteral("TLS---");
        QTest::newRow("major 11 answers no to every predicate")
            << QStringLiteral("11.0.0") << true << QList<int>{11, 0, 0} << QStringLiteral("------");
        QTest::newRow("debian kernel") << QStringLiteral("6.1.0-18-amd64") << true
                                       << QList<int>{6, 1, 0} << QStringLiteral("------");
        QTest::newRow("two numbers")
            << QStringLiteral("5.10") << true << QList<int>{5, 10, 0} << QStringLiteral("------");
        QTest::newRow("three-digit major") << QStringLiteral("123.4.5") << true
                                           << QList<int>{123, 4, 5} << QStringLiteral("------");
        QTest::newRow("no numbers") << QStringLiteral("unknown") << false << QList<int>{10, 0, 0}
                                    << QStringLiteral("------");
    }

    void decoding()
    {
        QFETCH(QString, release);
        QFETCH(bool, known);
        QFETCH(QList<int>, version);
        QFETCH(QString, predicates);
        const LinuxVersionSource source(release);
        const NetKeyloft_SystemVersion systemVersion(source, QDir::tempPath());
        qint32 numbers[3] = {-1, -1, -1};
        QCOMPARE(
            systemVersion.getSystemVersionMajorMinorBugfix(&numbers[0], &numbers[1], &numbers[2]),
            known);
        QCOMPARE((QList<int>{numbers[0], numbers[1], numbers[2]}), version);
        QCOMPARE(::predicates(systemVersion), predicates);
        // Null targets are skipped, the others still filled.
        QCOMPARE(systemVersion.getSystemVersionMajorMinorBugfix(nullptr, &numbers[1], nullptr),
                 known);
        QCOMPARE(numbers[1], version[1]);
    }

    void readOnlyVolumeByPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("writable temporary folder") << QDir::tempPath() << false;
        QTest::newRow("inside /Volumes") << QStringLiteral("/Volumes/Disk/Keyloft") << true;
        QTest::newRow("plain prefix /VolumesX") << QStringLiteral("/VolumesX/Keyloft") << true;
        QTest::newRow("/Volumes not at the start")
            << QStringLiteral("/tmp/Volumes/Keyloft") << false;
    }

    void readOnlyVolumeByPath()
    {
        QFETCH(QString, path);
        QFETCH(bool, readOnly);
        const LinuxVersionSource source;
        QCOMPARE(NetKeyloft_SystemVersion(source, path).isRunFromReadOnlyVolume(), readOnly);
    }

    void readOnlyMount()
    {
        // A read-only file system mounted in a private mount namespace, which
        // vanishes with the child process. Needs the right to mount.
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(probeVariable), dir.path());
        child.setProcessEnvironment(environment);
        const QString script = QStringLiteral(
            "mount -t tmpfs -o ro,size=16k keyloft-test \"$0\" || exit 77; exec \"$1\"");
        child.start(QStringLiteral("unshare"),
                    {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"), script,
                     dir.path(), QCoreApplication::applicationFilePath()});
        if (!child.waitForStarted()) {
            QSKIP("unshare is not available");
        }
        QVERIFY(child.waitForFinished(30000));
        if (child.exitCode() == 77 || child.exitCode() == 1) {
            QSKIP("no right to mount a file system here");
        }
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.readAllStandardOutput().trimmed(), QByteArray("read-only=1"));
    }
};

// With the probe variable set, the program only reports whether the path it
// names counts as a read-only volume (used inside the private mount).
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(probeVariable)) {
        const LinuxVersionSource source;
        const NetKeyloft_SystemVersion version(source, qEnvironmentVariable(probeVariable));
        std::printf("read-only=%d\n", version.isRunFromReadOnlyVolume() ? 1 : 0);
        return 0;
    }
    TestSystemVersion test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_systemversion.moc"
