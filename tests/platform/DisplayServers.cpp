#include "DisplayServers.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr int kTimeoutMs = 5000;

// Ties the child to this process, so that a crashed test leaves no server behind.
void dieWithParent(QProcess& process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

void stop(QProcess& process)
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(kTimeoutMs);
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
    m_process.startCommand(QStringLiteral("Xvfb -displayfd 1 -nolisten tcp -screen 0 640x480x24"));
    QDeadlineTimer deadline(kTimeoutMs);
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

bool WestonCompositor::start(const QByteArray& xDisplay)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir());
    environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(xDisplay));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    dieWithParent(m_process);
    m_process.startCommand(
        QStringLiteral("weston --backend=x11-backend.so --no-config --use-pixman "
                       "--idle-time=0 --width=320 --height=240 --socket=") +
        socketName());
    // weston opens its socket only after its backend and shell are loaded.
    const QString socket = runtimeDir() + QLatin1Char('/') + socketName();
    QDeadlineTimer deadline(kTimeoutMs);
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
    return std::all_of(programs.begin(), programs.end(), [](const QString& program) {
        return !QStandardPaths::findExecutable(program).isEmpty();
    });
}

QByteArray runClient(const QString& command, const QByteArray& input, bool* ok)
{
    QProcess client;
    client.setStandardErrorFile(QProcess::nullDevice());
    QSignalSpy finished(&client, &QProcess::finished);
    client.startCommand(command);
    client.write(input);
    client.closeWriteChannel();
    const bool ended = client.waitForStarted(kTimeoutMs) && finished.wait(kTimeoutMs);
    if (!ended) {
        client.kill();
        client.waitForFinished(kTimeoutMs);
    }
    if (ok != nullptr) {
        *ok = ended && client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0;
    }
    return client.readAllStandardOutput();
}
