#pragma once

#include <QSettings>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>

// The application's user defaults: values stored in its settings file, over a
// registration layer of defaults that is consulted when no value is stored and
// is never written to disk.
class UserDefaults {
public:
    // The defaults kept in the settings file at filePath.
    explicit UserDefaults(const QString& filePath);
    // Defaults kept in memory alone and never written: for a run that must leave every
    // settings file alone.
    UserDefaults();
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // The application's own settings file under the user's configuration folder
    // ($XDG_CONFIG_HOME, by default ~/.config).
    static QString standardFilePath();

    // The process-wide defaults over standardFilePath(), created on first use.
    static UserDefaults& standardUserDefaults();

    QString filePath() const;

    // Replaces the registration layer.
    void registerDefaults(const QVariantMap& defaults);

    // The stored value, else the registered default, else an invalid QVariant.
    QVariant value(const QString& key) const;
    void setValue(const QString& key, const QVariant& value);
    void removeValue(const QString& key);
    bool hasStoredValue(const QString& key) const;

    // A null string when the value is missing or not a string.
    QString stringForKey(const QString& key) const;

    // False when neither a stored nor a registered value exists.
    bool boolForKey(const QString& key) const;
    void setBoolForKey(bool value, const QString& key);

    // 0 when neither a stored nor a registered value exists.
    qint32 integerForKey(const QString& key) const;
    void setIntegerForKey(qint32 value, const QString& key);

    // Writes pending changes to disk now; false when the file cannot be written.
    bool synchronize();

private:
    // Null when the defaults are kept in memory (m_stored) alone.
    std::unique_ptr<QSettings> m_settings;
    QVariantMap m_stored;
    QVariantMap m_registered;
};
