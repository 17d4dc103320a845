#include "platform/secretservice/SecretServiceWatcher.h"

#include <QDBusConnection>
#include <QDBusObjectPath>

#include <atomic>

namespace {

QString newConnectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("keyloft-secret-service-watch-%1").arg(++counter);
}

} // namespace

SecretServiceWatcher::SecretServiceWatcher(const QByteArray& busAddress, const QString& service,
                                           const QString& collectionPath,
                                           std::function<void(const QString&)> itemSignalled)
    : m_connectionName(newConnectionName()), m_itemSignalled(std::move(itemSignalled))
{
    QDBusConnection bus =
        QDBusConnection::connectToBus(QString::fromUtf8(busAddress), m_connectionName);
    for (const char* signal : {"ItemCreated", "ItemDeleted", "ItemChanged"}) {
        bus.connect(service, collectionPath, QStringLiteral("org.freedesktop.Secret.Collection"),
                    QString::fromLatin1(signal), this, SLOT(itemSignal(QDBusMessage)));
    }
}

SecretServiceWatcher::~SecretServiceWatcher()
{
    QDBusConnection::disconnectFromBus(m_connectionName);
}

void SecretServiceWatcher::itemSignal(const QDBusMessage& signal)
{
    const QVariantList arguments = signal.arguments();
    if (m_itemSignalled && !arguments.isEmpty()) {
        m_itemSignalled(arguments.first().value<QDBusObjectPath>().path());
    }
    Q_EMIT changed();
}
