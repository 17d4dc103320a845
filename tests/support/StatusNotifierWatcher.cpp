#include "StatusNotifierWatcher.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

namespace {

const QString watcherName = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");

} // namespace

StatusNotifierWatcher::~StatusNotifierWatcher()
{
    if (m_started) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(watcherName);
        bus.unregisterObject(watcherPath);
    }
}

bool StatusNotifierWatcher::start()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    m_started = bus.registerObject(watcherPath, this, QDBusConnection::ExportAllContents) &&
                bus.registerService(watcherName);
    return m_started;
}

void StatusNotifierWatcher::RegisterStatusNotifierItem(const QString& service,
                                                       const QDBusMessage& message)
{
    // An item names its bus name, or only its object path on the caller's connection.
    const QString item = service.startsWith(QLatin1Char('/')) ? message.service() : service;
    m_items << item;
    Q_EMIT StatusNotifierItemRegistered(item);
}
