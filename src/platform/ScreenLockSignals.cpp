#include "platform/ScreenLockSignals.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <unistd.h>

namespace {

const QString logindService = QStringLiteral("org.freedesktop.login1");

} // namespace

ScreenLockSignals::ScreenLockSignals(QObject* parent) : QObject(parent)
{
    QDBusConnection session = QDBusConnection::sessionBus();
    if (session.isConnected()) {
        // Any sender and path: desktops publish the screen saver under several paths.
        for (const QString& interface : {QStringLiteral("org.freedesktop.ScreenSaver"),
                                         QStringLiteral("org.gnome.ScreenSaver")}) {
            session.connect(QString(), QString(), interface, QStringLiteral("ActiveChanged"), this,
                            SLOT(screenSaverActiveChanged(bool)));
        }
    }
    followLogindSession();
}

void ScreenLockSignals::followLogindSession()
{
    QDBusConnection system = QDBusConnection::systemBus();
    if (!system.isConnected()) {
        return;
    }
    // Asked without waiting: start-up must not stall on a slow or absent logind.
    const QDBusMessage call =
        QDBusMessage::createMethodCall(logindService, QStringLiteral("/org/freedesktop/login1"),
                                       QStringLiteral("org.freedesktop.login1.Manager"),
                                       QStringLiteral("GetSessionByPID"))
        << quint32(::getpid());
    auto* watcher = new QDBusPendingCallWatcher(system.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<QDBusObjectPath> reply = *w;
        w->deleteLater();
        if (reply.isError()) {
            return; // not in a logind session: the screen saver's signal still counts
        }
        QDBusConnection::systemBus().connect(logindService, reply.value().path(),
                                             QStringLiteral("org.freedesktop.login1.Session"),
                                             QStringLiteral("Lock"), this, SLOT(sessionLocked()));
    });
}

void ScreenLockSignals::screenSaverActiveChanged(bool active)
{
    if (active) {
        Q_EMIT screenLocked();
    }
}

void ScreenLockSignals::sessionLocked()
{
    Q_EMIT screenLocked();
}
