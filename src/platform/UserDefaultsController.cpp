#include "platform/UserDefaultsController.h"

UserDefaultsController::UserDefaultsController(UserDefaults& defaults) : m_defaults(defaults) {}

UserDefaultsController& UserDefaultsController::sharedUserDefaultsController()
{
    static UserDefaultsController shared(UserDefaults::standardUserDefaults());
    return shared;
}

QString UserDefaultsController::keyPathForKey(const QString& key)
{
    return QStringLiteral("values.") + key;
}

UserDefaults& UserDefaultsController::defaults() const
{
    return m_defaults;
}

void UserDefaultsController::setInitialValues(const QVariantMap& values)
{
    m_initialValues = values;
}

QVariantMap UserDefaultsController::initialValues() const
{
    return m_initialValues;
}

void UserDefaultsController::revertToInitialValues()
{
    // Copied first: an observer told of one key may change the initial values.
    const QVariantMap initial = m_initialValues;
    for (auto it = initial.cbegin(); it != initial.cend(); ++it) {
        setValue(it.key(), it.value());
    }
}

QVariant UserDefaultsController::value(const QString& key) const
{
    const QVariant stored = m_defaults.value(key);
    if (stored.isValid()) {
        return stored;
    }
    return m_initialValues.value(key);
}

void UserDefaultsController::setValue(const QString& key, const QVariant& value)
{
    m_defaults.setValue(key, value);
    notify(keyPathForKey(key));
}

void UserDefaultsController::addObserver(const void* observer, const QString& keyPath,
                                         Observer callback)
{
    m_registrations.append({observer, keyPath, std::move(callback)});
}

void UserDefaultsController::removeObserver(const void* observer, const QString& keyPath)
{
    m_registrations.removeIf([&](const Registration& registration) {
        return registration.observer == observer && registration.keyPath == keyPath;
    });
}

void UserDefaultsController::observeKeys(const void* observer, const QStringList& keys,
                                         bool observe, const Observer& callback)
{
    for (const QString& key : keys) {
        if (observe) {
            addObserver(observer, keyPathForKey(key), callback);
        } else {
            removeObserver(observer, keyPathForKey(key));
        }
    }
}

void UserDefaultsController::notify(const QString& keyPath) const
{
    // Callbacks may add or remove observers, so they run from a copy.
    QList<Observer> callbacks;
    for (const Registration& registration : m_registrations) {
        if (registration.keyPath == keyPath) {
            callbacks.append(registration.callback);
        }
    }
    for (const Observer& callback : callbacks) {
        callback(keyPath);
    }
}
