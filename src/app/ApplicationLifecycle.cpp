#include "app/ApplicationLifecycle.h"

#include "app/NetKeyloft_StatusMenuController.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

TerminationGate::TerminationGate(std::function<bool()> mayQuit, QObject* parent)
    : QObject(parent), m_mayQuit(std::move(mayQuit))
{}

bool TerminationGate::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit && !m_mayQuit()) {
        // An ignored quit event cancels the quit.
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void followSession(QGuiApplication& application, NetKeyloft_StatusMenuController& controller)
{
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &controller,
                     [&controller](QSessionManager&) { controller.saveForSession(); });
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &controller, [&controller] {
        if (!controller.applicationShouldTerminate()) {
            controller.terminateForSession();
        }
    });
}

int TerminationSignals::s_writeFd = -1;

TerminationSignals::TerminationSignals(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), m_onSignal(std::move(onSignal))
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_fds) != 0) {
        return;
    }
    s_writeFd = m_fds[0];
    m_notifier = new QSocketNotifier(m_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        if (::read(m_fds[1], &byte, 1) == 1) {
            m_onSignal();
        }
    });
    struct sigaction action {};
    action.sa_handler = &TerminationSignals::handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
}

TerminationSignals::~TerminationSignals()
{
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        std::signal(signal, SIG_DFL);
    }
    s_writeFd = -1;
    for (int fd : m_fds) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void TerminationSignals::handle(int)
{
    // Only async-signal-safe work here: one byte through the socket pair.
    const char byte = 1;
    if (s_writeFd >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(s_writeFd, &byte, 1);
    }
}
