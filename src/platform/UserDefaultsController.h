#pragma once

#include "platform/UserDefaults.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <functional>

// The controller through which the user interface reads and writes user defaults
// that others watch. Every write through it is stored at once and tells, before
// it returns, the observers of the key path "values." + key.
class UserDefaultsController {
public:
    using Observer = std::function<void(const QString& keyPath)>;

    explicit UserDefaultsController(UserDefaults& defaults);
    UserDefaultsController(const UserDefaultsController&) = delete;
    UserDefaultsController& operator=(const UserDefaultsController&) = delete;

    // The process-wide controller over UserDefaults::standardUserDefaults().
    static UserDefaultsController& sharedUserDefaultsController();

    // The key path under which observers watch key: "values." + key.
    static QString keyPathForKey(const QString& key);

    UserDefaults& defaults() const;

    // The values that revertToInitialValues() restores; also the last fallback of value().
    void setInitialValues(const QVariantMap& values);
    QVariantMap initialValues() const;
    void revertToInitialValues();

    // The stored value, else the registered default, else the initial value.
    QVariant value(const QString& key) const;
    // Stores the value and tells the observers of keyPathForKey(key).
    void setValue(const QString& key, const QVariant& value);

    // Registers callback for keyPath on behalf of observer, which is only an
    // identity: it must remove itself before it goes away.
    void addObserver(const void* observer, const QString& keyPath, Observer callback);
    void removeObserver(const void* observer, const QString& keyPath);
    // Registers callback for the key path of each of keys, or with observe false
    // removes observer's registrations for them.
    void observeKeys(const void* observer, const QStringList& keys, bool observe,
                     const Observer& callback = {});

private:
    struct Registration {
        const void* observer;
        QString keyPath;
        Observer callback;
    };

    void notify(const QString& keyPath) const;

    UserDefaults& m_defaults;
    QVariantMap m_initialValues;
    QList<Registration> m_registrations;
};
