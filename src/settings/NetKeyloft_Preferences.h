#pragma once

#include "settings/PreferenceKeys.h"

#include <QtGlobal>

#include <chrono>
#include <optional>

class UserDefaults;
class UserDefaultsController;

// The application's preferences: registers the defaults of every key and reads
// and writes the settings that change at run time. The two sort settings and
// start at login go through the defaults controller, so its observers of
// "values.<key>" hear of every change; whether the first launch has set start at
// login goes straight to the defaults store and notifies nobody. No setter
// writes to disk; call synchronize() on userDefaults() where a value must be on
// disk at once.
class NetKeyloft_Preferences {
public:
    // The one instance over the standard defaults and the shared controller,
    // created (and the defaults registered) on the first call.
    static NetKeyloft_Preferences& sharedInstance();

    // Preferences over the controller's defaults store; registers the defaults.
    explicit NetKeyloft_Preferences(UserDefaultsController& controller);
    NetKeyloft_Preferences(const NetKeyloft_Preferences&) = delete;
    NetKeyloft_Preferences& operator=(const NetKeyloft_Preferences&) = delete;

    // Registers the defaults and hands the same values to the controller as
    // its initial values.
    void setApplicationDefaults();
    // Restores the controller's initial values.
    void resetDefaultValues();

    qint32 sortByMenuItem() const;
    // Any number is stored unchanged.
    void setSortByMenuItem(qint32 sortBy);
    bool sortAscending() const;
    void setSortAscending(bool ascending);

    bool loadAtStartup() const;
    void setLoadAtStartup(bool load);
    bool loadAtStartupSet() const;
    void setLoadAtStartupSet(bool set);
    // Minutes without use after which a keychain file locks; 0 for never.
    int lockAfterIdleMinutes() const;
    void setLockAfterIdleMinutes(int minutes);

    // What was copied to the clipboard.
    enum class CopiedText { UserName, Password };
    // How long a copy stays on the clipboard before it is cleared; none when it stays.
    std::optional<std::chrono::milliseconds> clipboardClearingDelay(CopiedText copied) const;

    UserDefaults& userDefaults() const;
    UserDefaultsController& defaultsController() const;

private:
    UserDefaultsController& m_controller;
};
