#include "platform/DesktopShell.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>

#include <xcb/xcb.h>

#include <cstdlib>

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
constexpr int busTimeoutMs = 1000;

bool statusNotifierHostRegistered()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(watcherService)) {
        return false;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(
        watcherService, QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << watcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage reply = bus.call(get, QDBus::Block, busTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
           qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toBool();
}

bool xembedTrayPresent()
{
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr) {
        return false;
    }
    xcb_connection_t* connection = x11->connection();
    // The tray of the default screen, the one our windows open on.
    static const char selection[] = "_NET_SYSTEM_TRAY_S0";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, sizeof selection - 1, selection), nullptr);
    if (atom == nullptr) {
        return false;
    }
    const xcb_atom_t name = atom->atom;
    std::free(atom);
    if (name == XCB_ATOM_NONE) {
        // Nobody has ever asked for that selection on this display.
        return false;
    }
    xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, name), nullptr);
    const bool owned = owner != nullptr && owner->owner != XCB_WINDOW_NONE;
    std::free(owner);
    return owned;
}

} // namespace

int primaryScreenHeight()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().height() : 0;
}

bool trayIsPresent()
{
    return statusNotifierHostRegistered() || xembedTrayPresent();
}

bool startedBySessionAtLogin()
{
    if (!qEnvironmentVariableIsEmpty("DESKTOP_AUTOSTART_ID")) {
        return true;
    }
    QFile cgroup(QStringLiteral("/proc/self/cgroup"));
    return cgroup.open(QIODevice::ReadOnly) && cgroup.readAll().contains("@autostart.service");
}
