#include "DisplayServers.h"

#include "ManualClock.h"
#include "platform/Clipboard.h"
#include "platform/ClipboardClearer.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr int kStartTimeoutMs = 5000;
constexpr int kClientTimeoutMs = 5000;

// Ties the child to this process, so that a crashed test leaves no server behind.
void dieWithParent(QProcess& process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

void stop(QProcess& process)
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(kStartTimeoutMs);
    }
}

} // namespace

XvfbServer::~XvfbServer()
{
    stop(m_process);
}

bool XvfbServer::start()
{
    dieWithParent(m_process);
    // -displayfd makes Xvfb choose a free display and write its number to our
    // standard output once it accepts clients, so parallel tests cannot collide.
    m_process.start(QStringLiteral("Xvfb"),
                    {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                     QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                     QStringLiteral("640x480x24")});
    QDeadlineTimer deadline(kStartTimeoutMs);
    while (!m_process.canReadLine() && !deadline.hasExpired() &&
           m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
    }
    if (!m_process.canReadLine()) {
        m_error = QStringLiteral("Xvfb did not start: ") + m_process.errorString();
        return false;
    }
    m_display = ':' + m_process.readLine().trimmed();
    return true;
}

WestonCompositor::~WestonCompositor()
{
    stop(m_process);
}

QString WestonCompositor::socketName() const
{
    return QStringLiteral("keyloft-test-wayland");
}

bool WestonCompositor::start(const QByteArray& xDisplay)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir());
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(xDisplay));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    dieWithParent(m_process);
    m_process.start(QStringLiteral("weston"),
                    {QStringLiteral("--backend=x11-backend.so"), QStringLiteral("--no-config"),
                     QStringLiteral("--use-pixman"), QStringLiteral("--idle-time=0"),
                     QStringLiteral("--width=320"), QStringLiteral("--height=240"),
                     QStringLiteral("--socket=") + socketName()});
    // weston opens its socket only after its backend and shell are loaded.
    const QString socket = runtimeDir() + QLatin1Char('/') + socketName();
    QDeadlineTimer deadline(kStartTimeoutMs);
    while (!QFileInfo::exists(socket) && !deadline.hasExpired() &&
           m_process.state() != QProcess::NotRunning) {
        QThread::msleep(20);
    }
    if (!QFileInfo::exists(socket)) {
        m_process.waitForFinished(0);
        m_error =
            QStringLiteral("weston did not start: ") + QString::fromLocal8Bit(m_process.readAll());
        return false;
    }
    return true;
}

bool programsInstalled(const QStringList& programs)
{
    for (const QString& program : programs) {
        if (QStandardPaths::findExecutable(program).isEmpty()) {
            return false;
        }
    }
    return true;
}

QByteArray runClient(const QString& program, const QStringList& arguments, const QByteArray& input,
                     bool* ok)
{
    QProcess client;
    client.setStandardErrorFile(QProcess::nullDevice());
    QSignalSpy finished(&client, &QProcess::finished);
    client.start(program, arguments);
    if (!client.waitForStarted(kClientTimeoutMs)) {
        if (ok != nullptr) {
            *ok = false;
        }
        return {};
    }
    client.write(input);
    client.closeWriteChannel();
    const bool ended = finished.wait(kClientTimeoutMs);
    if (!ended) {
        client.kill();
        client.waitForFinished(kClientTimeoutMs);
    }
    if (ok != nullptr) {
        *ok = ended && client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0;
    }
    return client.readAllStandardOutput();
}

void addClearerRows()
{
    QTest::addColumn<int>("delaySeconds"); // -1: never
    QTest::addColumn<int>("waitedSeconds");
    QTest::addColumn<bool>("copiedElsewhere");
    QTest::addColumn<bool>("atQuit");
    QTest::addColumn<bool>("cleared");
    QTest::newRow("deadline reached") << 30 << 30 << false << false << true;
    QTest::newRow("a second early") << 30 << 29 << false << false << false;
    QTest::newRow("another client copied since") << 30 << 60 << true << false << false;
    QTest::newRow("never") << -1 << 86400 << false << false << false;
    QTest::newRow("at quit") << 30 << 0 << false << true << true;
    QTest::newRow("at quit after another copy") << 30 << 0 << true << true << false;
}

void checkClearerRow(Clipboard& clipboard, const std::function<void(const QString&)>& copyElsewhere,
                     const std::function<QString()>& pasteElsewhere)
{
    QFETCH(int, delaySeconds);
    QFETCH(int, waitedSeconds);
    QFETCH(bool, copiedElsewhere);
    QFETCH(bool, atQuit);
    QFETCH(bool, cleared);
    ManualClock clock;
    ClipboardClearer clearer(clipboard, clock);
    QString expected = QStringLiteral("clear me 🔑");
    QVERIFY(clipboard.setSecretText(expected));
    clearer.copied(expected, delaySeconds < 0 ? std::nullopt
                                              : std::optional(std::chrono::seconds(delaySeconds)));
    if (copiedElsewhere) {
        expected = QStringLiteral("someone else's");
        copyElsewhere(expected);
        QTRY_COMPARE(clipboard.text(), expected);
    }
    clock.advance(qint64(waitedSeconds) * 1000);
    if (atQuit) {
        clearer.clearNow();
    } else {
        clearer.checkDeadline();
    }
    QCOMPARE(pasteElsewhere(), cleared ? QString() : expected);
}
