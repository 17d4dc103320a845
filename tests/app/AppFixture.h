#pragma once

#include "app/NetKeyloft_StatusMenuController.h"
#include "app/NetKeyloft_Updater.h"
#include "platform/QtClipboard.h"
#include "platform/UserDefaults.h"
#include "platform/UserDefaultsController.h"
#include "platform/keychain/FileKeychainServices.h"
#include "platform/login/XdgAutostartService.h"
#include "settings/NetKeyloft_Preferences.h"

#include "ManualClock.h"
#include "ScriptedDialogs.h"

#include <QTemporaryDir>

#include <functional>

// The first item titled title in menu or, depth first, in its submenus.
QAction* actionTitled(const QMenu* menu, const QString& title);
// The titles of a menu's items, "---" for a separator.
QStringList menuTitles(const QMenu* menu);
// The titles of a menu's checked items.
QStringList checkedTitles(const QMenu* menu);
// The entry titles of one menu level, without overflow items, submenus of commands and
// separators.
QStringList entryTitles(const QMenu* menu);

// One launch of the application over a keychain file, a settings file and an
// autostart folder in a temporary folder, with a screen of the height the test sets.
class AppFixture {
public:
    static const QString password;

    AppFixture();

    // Creates the keychain file with the given entries (labels) and stores its path.
    void createKeychain(const QStringList& labels);
    // Launches a new controller; the previous one, if any, is destroyed first.
    bool launch();

    NetKeyloft_StatusMenuController& controller() { return *m_controller; }
    NetKeyloft_KeychainController& list() { return *m_controller->keychainController(); }
    NetKeyloft_Preferences& preferences() { return *m_preferences; }
    UserDefaults& defaults() { return *m_defaults; }
    ScriptedDialogs& dialogs() { return m_dialogs; }
    QtClipboard& clipboard() { return m_clipboard; }
    XdgAutostartService& autostart() { return *m_autostart; }
    const QTemporaryDir& folder() const { return m_folder; }
    QString keychainPath() const { return m_folder.filePath(QStringLiteral("app.keychain")); }
    QString programPath() const { return m_folder.filePath(QStringLiteral("bin/Keyloft")); }

    int screenHeight = 400;
    // The clipboard of the next launch, when not Qt's.
    Clipboard* otherClipboard = nullptr;
    // Whether the desktop shows a tray (a launch waits for none).
    bool trayAvailable = true;
    // Called when the application makes its status item, just before the tray shows it.
    std::function<void()> onStatusItem;
    // Exit codes the application asked for, in order.
    QList<int> exitCodes;
    int statusItemsMade = 0;
    // Addresses the application handed to the browser.
    QList<QUrl> openedUrls;
    // The updater of "Check for updates": no feed address unless the test sets one.
    NetKeyloft_Updater& updater() { return *m_updater; }
    // The application's clock, which only the test moves.
    ManualClock clock;

private:
    void openSettings();

    QTemporaryDir m_folder;
    ScriptedDialogs m_dialogs;
    QtClipboard m_clipboard;
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<UserDefaultsController> m_defaultsController;
    std::unique_ptr<NetKeyloft_Preferences> m_preferences;
    std::unique_ptr<FileKeychainServices> m_services;
    std::unique_ptr<XdgAutostartService> m_autostart;
    std::unique_ptr<NetKeyloft_Updater> m_updater;
    // Declared last, so that it goes first.
    std::unique_ptr<NetKeyloft_StatusMenuController> m_controller;
};
