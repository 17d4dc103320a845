#include "platform/secretservice/SecretServiceWatcher.h"

#include <QDBusConnection>

#include <atomic>

namespace {

QString newConnectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("keyloft-secret-service-watch-%1").arg(++counter);
}

} // namespace

SecretServiceWatcher::SecretServiceWatcher(const QByteArray& busAddress, const QString& service,
                                           const QString& collectionPath)
    : m_connectionName(newConnectionName())
{
    QDBusConnection bus =
        QDBusConnection::connectToBus(QString::fromUtf8(busAddress), m_connectionName);
    for (const char* signal : {"ItemCreated", "ItemDeleted", "ItemChanged"}) {
        bus.connect(service, collectionPath, QStringLiteral("org.freedesktop.Secret.Collection"),
                    QString::fromLatin1(signal), this, SLOT(itemSignal()));
    }
}

SecretServiceWatcher::~SecretServiceWatcher()
{
    QDBusConnection::disconnectFromBus(m_connectionName);
}

void SecretServiceWatcher::itemSignal()
{
    Q_EMIT changed();
}
