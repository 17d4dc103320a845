#pragma once

#include <QDBusMessage>
#include <QObject>
#include <QStringList>

// The StatusNotifierWatcher of a panel's tray, on the test's session bus: it reports a
// host, so that programs show their items, and records the items that register.
class StatusNotifierWatcher final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)

public:
    ~StatusNotifierWatcher() override;

    // Takes the watcher's name on the session bus; false when that failed.
    bool start();
    // The bus names of the items registered so far, oldest first.
    QStringList registeredItems() const { return m_items; }
    bool isHostRegistered() const { return true; }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service, const QDBusMessage& message);

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString& item);

private:
    QStringList m_items;
    bool m_started = false;
};
