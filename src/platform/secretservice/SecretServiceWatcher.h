#pragma once

#include "platform/keychain/KeychainWatcher.h"

#include <QByteArray>
#include <QString>

// Follows the signals a Secret Service collection sends when one of its items is
// created, deleted or changed, on a connection of its own to the service's bus (Qt's
// event loop receives them; the backend's own connection runs only while it waits for
// a call). Every such signal is told, this process's own changes too: the service does
// not say who made a change, so the listener compares what it reads with what it holds.
class SecretServiceWatcher final : public KeychainWatcher {
    Q_OBJECT

public:
    SecretServiceWatcher(const QByteArray& busAddress, const QString& service,
                         const QString& collectionPath);
    ~SecretServiceWatcher() override;

private Q_SLOTS:
    void itemSignal();

private:
    QString m_connectionName;
};
