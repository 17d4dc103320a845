#pragma once

#include "platform/keychain/KeychainWatcher.h"

#include <QByteArray>
#include <QDBusMessage>
#include <QString>

#include <functional>

// Follows the signals a Secret Service collection sends when one of its items is
// created, deleted or changed, on a connection of its own to the service's bus (Qt's
// event loop receives them; the backend's own connection runs only while it waits for
// a call). Every such signal is told, this process's own changes too: the service does
// not say who made a change, so the listener compares what it reads with what it holds.
class SecretServiceWatcher final : public KeychainWatcher {
    Q_OBJECT

public:
    // itemSignalled hears the object path of the item each signal names, before the
    // change is told.
    SecretServiceWatcher(const QByteArray& busAddress, const QString& service,
                         const QString& collectionPath,
                         std::function<void(const QString&)> itemSignalled);
    ~SecretServiceWatcher() override;

private Q_SLOTS:
    void itemSignal(const QDBusMessage& signal);

private:
    QString m_connectionName;
    std::function<void(const QString&)> m_itemSignalled;
};
