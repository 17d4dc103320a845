#include "settings/NetKeyloft_Preferences.h"

#include "platform/UserDefaults.h"
#include "platform/UserDefaultsController.h"

#include <QVariantMap>

#include <algorithm>

namespace {

QVariantMap applicationDefaults()
{
    // Typed values (bool, int) so that they read back unchanged.
    return {
        {NKLPREFS_KeychainPath_Key, QStringLiteral("init")},
        {NKLPREFS_UseSpellChecker_Key, true},
        {NKLPREFS_SortBy_Key, 2},
        {NKLPREFS_SortAscending_Key, true},
        {NKLPREFS_LoadAtStartup_Key, true},
        {NKLPREFS_LoadAtStartupSet_Key, false},
        {NKLPREFS_LockAfterIdle_Key, 15},
        {NKLPREFS_ClearClipboardAfter_Key, 30},
        {NKLPREFS_ClearCopiedUserNames_Key, false},
        {NKLPREFS_GeneratorLength_Key, 20},
        {NKLPREFS_GeneratorLowercase_Key, true},
        {NKLPREFS_GeneratorUppercase_Key, true},
        {NKLPREFS_GeneratorDigits_Key, true},
        {NKLPREFS_GeneratorSymbols_Key, true},
        {NKLPREFS_GeneratorAvoidLookAlikes_Key, true},
    };
}

} // namespace

NetKeyloft_Preferences& NetKeyloft_Preferences::sharedInstance()
{
    // Never destroyed: observers may still ask for it while the process ends.
    static auto* shared =
        new NetKeyloft_Preferences(UserDefaultsController::sharedUserDefaultsController());
    return *shared;
}

NetKeyloft_Preferences::NetKeyloft_Preferences(UserDefaultsController& controller)
    : m_controller(controller)
{
    setApplicationDefaults();
}

void NetKeyloft_Preferences::setApplicationDefaults()
{
    const QVariantMap defaults = applicationDefaults();
    const QVariantMap initialValues = applicationDefaults();
    userDefaults().registerDefaults(defaults);
    m_controller.setInitialValues(initialValues);
}

void NetKeyloft_Preferences::resetDefaultValues()
{
    m_controller.revertToInitialValues();
}

qint32 NetKeyloft_Preferences::sortByMenuItem() const
{
    return m_controller.value(NKLPREFS_SortBy_Key).toInt();
}

void NetKeyloft_Preferences::setSortByMenuItem(qint32 sortBy)
{
    m_controller.setValue(NKLPREFS_SortBy_Key, sortBy);
}

bool NetKeyloft_Preferences::sortAscending() const
{
    return m_controller.value(NKLPREFS_SortAscending_Key).toBool();
}

void NetKeyloft_Preferences::setSortAscending(bool ascending)
{
    m_controller.setValue(NKLPREFS_SortAscending_Key, ascending);
}

bool NetKeyloft_Preferences::loadAtStartup() const
{
    return userDefaults().boolForKey(NKLPREFS_LoadAtStartup_Key);
}

void NetKeyloft_Preferences::setLoadAtStartup(bool load)
{
    m_controller.setValue(NKLPREFS_LoadAtStartup_Key, load);
}

bool NetKeyloft_Preferences::loadAtStartupSet() const
{
    return userDefaults().boolForKey(NKLPREFS_LoadAtStartupSet_Key);
}

void NetKeyloft_Preferences::setLoadAtStartupSet(bool set)
{
    userDefaults().setBoolForKey(set, NKLPREFS_LoadAtStartupSet_Key);
}

int NetKeyloft_Preferences::lockAfterIdleMinutes() const
{
    // A stored value that is no number of minutes reads as never.
    return std::max(0, m_controller.value(NKLPREFS_LockAfterIdle_Key).toInt());
}

void NetKeyloft_Preferences::setLockAfterIdleMinutes(int minutes)
{
    m_controller.setValue(NKLPREFS_LockAfterIdle_Key, std::max(0, minutes));
}

std::optional<std::chrono::milliseconds>
NetKeyloft_Preferences::clipboardClearingDelay(CopiedText copied) const
{
    const int seconds = m_controller.value(NKLPREFS_ClearClipboardAfter_Key).toInt();
    if (seconds <= 0 || (copied == CopiedText::UserName &&
                         !m_controller.value(NKLPREFS_ClearCopiedUserNames_Key).toBool())) {
        return std::nullopt;
    }
    return std::chrono::seconds(seconds);
}

UserDefaults& NetKeyloft_Preferences::userDefaults() const
{
    return m_controller.defaults();
}

UserDefaultsController& NetKeyloft_Preferences::defaultsController() const
{
    return m_controller;
}
