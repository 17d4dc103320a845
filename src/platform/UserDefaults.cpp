#include "platform/UserDefaults.h"

#include <QDir>
#include <QStandardPaths>

UserDefaults::UserDefaults(const QString& filePath)
    : m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{}

UserDefaults::UserDefaults() = default;

QString UserDefaults::standardFilePath()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(config).filePath(QStringLiteral("Keyloft/Keyloft.conf"));
}

UserDefaults& UserDefaults::standardUserDefaults()
{
    static UserDefaults standard(standardFilePath());
    return standard;
}

QString UserDefaults::filePath() const
{
    return m_settings ? m_settings->fileName() : QString();
}

void UserDefaults::registerDefaults(const QVariantMap& defaults)
{
    m_registered = defaults;
}

QVariant UserDefaults::value(const QString& key) const
{
    if (hasStoredValue(key)) {
        return m_settings ? m_settings->value(key) : m_stored.value(key);
    }
    return m_registered.value(key);
}

void UserDefaults::setValue(const QString& key, const QVariant& value)
{
    if (m_settings) {
        m_settings->setValue(key, value);
    } else {
        m_stored.insert(key, value);
    }
}

void UserDefaults::removeValue(const QString& key)
{
    if (m_settings) {
        m_settings->remove(key);
    } else {
        m_stored.remove(key);
    }
}

bool UserDefaults::hasStoredValue(const QString& key) const
{
    return m_settings ? m_settings->contains(key) : m_stored.contains(key);
}

QString UserDefaults::stringForKey(const QString& key) const
{
    const QVariant stored = value(key);
    if (stored.typeId() != QMetaType::QString) {
        return QString();
    }
    return stored.toString();
}

// The settings file keeps every value as text ("true", "2"); QVariant's
// conversions read those back as the boolean or number that was written.
bool UserDefaults::boolForKey(const QString& key) const
{
    return value(key).toBool();
}

void UserDefaults::setBoolForKey(bool value, const QString& key)
{
    setValue(key, value);
}

qint32 UserDefaults::integerForKey(const QString& key) const
{
    return value(key).toInt();
}

void UserDefaults::setIntegerForKey(qint32 value, const QString& key)
{
    setValue(key, value);
}

bool UserDefaults::synchronize()
{
    if (!m_settings) {
        return true;
    }
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}
