#include "platform/login/SystemVersionSource.h"
#include "settings/NetKeyloft_SystemVersion.h"

#include <QDir>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

namespace {

const char* const probeVariable = "KEYLOFT_PROBE_READ_ONLY";

// A version source with scripted answers that records what it was asked.
class FakeVersionSource : public SystemVersionSource {
public:
    QMap<quint32, qint32> responses; // selector -> response; missing ones fail
    mutable QList<quint32> asked;

    qint16 gestalt(quint32 selector, qint32* response) const override
    {
        asked.append(selector);
        if (!responses.contains(selector)) {
            return gestaltUndefSelectorErr;
        }
        *response = responses.value(selector);
        return 0;
    }
};

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

using Selectors = QList<quint32>;

} // namespace

class TestSystemVersion : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decoding_data()
    {
        QTest::addColumn<QVariant>("sysv");      // invalid: the query fails
        QTest::addColumn<QList<int>>("numbers"); // answers of sys1..sys3; fewer: the next fails
        QTest::addColumn<bool>("known");
        QTest::addColumn<QList<int>>("version");
        QTest::addColumn<Selectors>("asked");
        QTest::addColumn<QString>("predicates");

        const quint32 v = gestaltSystemVersion;
        const quint32 s1 = gestaltSystemVersionMajor;
        const quint32 s2 = gestaltSystemVersionMinor;
        const quint32 s3 = gestaltSystemVersionBugFix;
        QTest::newRow("10.3.9 decoded without asking further")
            << QVariant(0x1039) << QList<int>{10, 9, 9} << true << QList<int>{10, 3, 9}
            << Selectors{v} << QStringLiteral("------");
        QTest::newRow("103F still decoded as 10.3.15")
            << QVariant(0x103F) << QList<int>{} << true << QList<int>{10, 3, 15} << Selectors{v}
            << QStringLiteral("------");
        QTest::newRow("1040 asks the three numbers")
            << QVariant(0x1040) << QList<int>{10, 4, 0} << true << QList<int>{10, 4, 0}
            << Selectors{v, s1, s2, s3} << QStringLiteral("T--t--");
        QTest::newRow("10.5.8") << QVariant(0x1058) << QList<int>{10, 5, 8} << true
                                << QList<int>{10, 5, 8} << Selectors{v, s1, s2, s3}
                                << QStringLiteral("TL--l-");
        QTest::newRow("10.6.8") << QVariant(0x1068) << QList<int>{10, 6, 8} << true
                                << QList<int>{10, 6, 8} << Selectors{v, s1, s2, s3}
                                << QStringLiteral("TLS--s");
        QTest::newRow("10.10.5 from saturated packed form")
            << QVariant(0x1099) << QList<int>{10, 10, 5} << true << QList<int>{10, 10, 5}
            << Selectors{v, s1, s2, s3} << QStringLiteral("TLS---");
        QTest::newRow("major 11 answers no to every predicate")
            << QVariant(0x1100) << QList<int>{11, 0, 0} << true << QList<int>{11, 0, 0}
            << Selectors{v, s1, s2, s3} << QStringLiteral("------");
        QTest::newRow("packed 6.1.0")
            << QVariant(0x0610) << QList<int>{} << true << QList<int>{6, 1, 0} << Selectors{v}
            << QStringLiteral("------");
        QTest::newRow("sysv fails")
            << QVariant() << QList<int>{10, 6, 8} << false << QList<int>{10, 0, 0} << Selectors{v}
            << QStringLiteral("------");
        QTest::newRow("sys1 fails")
            << QVariant(0x1068) << QList<int>{} << false << QList<int>{10, 0, 0} << Selectors{v, s1}
            << QStringLiteral("------");
        QTest::newRow("sys2 fails")
            << QVariant(0x1068) << QList<int>{10} << false << QList<int>{10, 0, 0}
            << Selectors{v, s1, s2} << QStringLiteral("------");
        QTest::newRow("sys3 fails")
            << QVariant(0x1068) << QList<int>{10, 6} << false << QList<int>{10, 0, 0}
            << Selectors{v, s1, s2, s3} << QStringLiteral("------");
    }

    void decoding()
    {
        QFETCH(QVariant, sysv);
        QFETCH(QList<int>, numbers);
        QFETCH(bool, known);
        QFETCH(QList<int>, version);
        QFETCH(Selectors, asked);
        QFETCH(QString, predicates);

        FakeVersionSource source;
        if (sysv.isValid()) {
            source.responses.insert(gestaltSystemVersion, sysv.toInt());
        }
        const quint32 selectors[3] = {gestaltSystemVersionMajor, gestaltSystemVersionMinor,
                                      gestaltSystemVersionBugFix};
        for (int i = 0; i < numbers.size(); ++i) {
            source.responses.insert(selectors[i], numbers[i]);
        }
        const NetKeyloft_SystemVersion systemVersion(source, QDir::tempPath());

        qint32 major = -1;
        qint32 minor = -1;
        qint32 bugfix = -1;
        QCOMPARE(systemVersion.getSystemVersionMajorMinorBugfix(&major, &minor, &bugfix), known);
        QCOMPARE((QList<int>{major, minor, bugfix}), version);
        QCOMPARE(source.asked, asked);
        QCOMPARE(::predicates(systemVersion), predicates);
    }

    void nullTargetsAreSkipped()
    {
        FakeVersionSource source;
        source.responses = {{gestaltSystemVersion, 0x1068},
                            {gestaltSystemVersionMajor, 10},
                            {gestaltSystemVersionMinor, 6},
                            {gestaltSystemVersionBugFix, 8}};
        const NetKeyloft_SystemVersion systemVersion(source, QDir::tempPath());
        // Each target missing once and present once.
        qint32 minor = -1;
        QVERIFY(systemVersion.getSystemVersionMajorMinorBugfix(nullptr, &minor, nullptr));
        QCOMPARE(minor, 6);
        qint32 major = -1;
        qint32 bugfix = -1;
        QVERIFY(systemVersion.getSystemVersionMajorMinorBugfix(&major, nullptr, &bugfix));
        QCOMPARE((QList<int>{major, bugfix}), (QList<int>{10, 8}));
    }

    void linuxReleases_data()
    {
        QTest::addColumn<QString>("release");
        QTest::addColumn<bool>("known");
        QTest::addColumn<QList<int>>("version");
        QTest::newRow("debian kernel")
            << QStringLiteral("6.1.0-18-amd64") << true << QList<int>{6, 1, 0};
        QTest::newRow("two-digit minor")
            << QStringLiteral("6.18.44-fc-v1272") << true << QList<int>{6, 18, 44};
        QTest::newRow("two numbers") << QStringLiteral("5.10") << true << QList<int>{5, 10, 0};
        QTest::newRow("three-digit major")
            << QStringLiteral("123.4.5") << true << QList<int>{123, 4, 5};
        QTest::newRow("no numbers") << QStringLiteral("unknown") << false << QList<int>{10, 0, 0};
    }

    void linuxReleases()
    {
        QFETCH(QString, release);
        QFETCH(bool, known);
        QFETCH(QList<int>, version);
        const LinuxVersionSource source(release);
        const NetKeyloft_SystemVersion systemVersion(source, QDir::tempPath());
        qint32 numbers[3] = {};
        QCOMPARE(
            systemVersion.getSystemVersionMajorMinorBugfix(&numbers[0], &numbers[1], &numbers[2]),
            known);
        QCOMPARE((QList<int>{numbers[0], numbers[1], numbers[2]}), version);
        QCOMPARE(predicates(systemVersion), QStringLiteral("------"));
    }

    void readOnlyVolumeByPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("writable temporary folder") << QDir::tempPath() << false;
        QTest::newRow("inside /Volumes") << QStringLiteral("/Volumes/Disk/Keyloft") << true;
        QTest::newRow("plain prefix /VolumesX") << QStringLiteral("/VolumesX/Keyloft") << true;
        QTest::newRow("prefix is case-sensitive") << QStringLiteral("/volumes/Keyloft") << false;
        QTest::newRow("/Volumes not at the start")
            << QStringLiteral("/tmp/Volumes/Keyloft") << false;
    }

    void readOnlyVolumeByPath()
    {
        QFETCH(QString, path);
        QFETCH(bool, readOnly);
        const FakeVersionSource source;
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
        const FakeVersionSource source;
        const NetKeyloft_SystemVersion version(source, qEnvironmentVariable(probeVariable));
        std::printf("read-only=%d\n", version.isRunFromReadOnlyVolume() ? 1 : 0);
        return 0;
    }
    TestSystemVersion test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_systemversion.moc"
