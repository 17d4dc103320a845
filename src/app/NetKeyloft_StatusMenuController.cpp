#include "app/NetKeyloft_StatusMenuController.h"

#include "app/IdleLock.h"
#include "app/QuickSearchBox.h"
#include "app/StatusItem.h"
#include "editor/NetKeyloft_EditWindowController.h"
#include "editor/NetKeyloft_PreferencesWindowController.h"
#include "platform/ClipboardClearer.h"
#include "platform/Dialogs.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "platform/UserDefaultsController.h"
#include "settings/NetKeyloft_AboutWindowController.h"
#include "settings/NetKeyloft_HelpWindowController.h"
#include "settings/NetKeyloft_LoginController.h"
#include "settings/NetKeyloft_Preferences.h"
#include "store/ConflictCopyText.h"
#include "store/ItemSearchIndex.h"

#include <QMenu>

NetKeyloft_StatusMenuController::NetKeyloft_StatusMenuController(Environment environment,
                                                                 QObject* parent)
    : QObject(parent), m_env(std::move(environment)),
      m_clipboardClearer(std::make_unique<ClipboardClearer>(m_env.clipboard, m_env.clock))
{}

NetKeyloft_StatusMenuController::~NetKeyloft_StatusMenuController()
{
    observeSortPreferences(false);
    // The edit window may still hold typed text; it goes before the list it writes to.
    m_editWindowController.reset();
}

bool NetKeyloft_StatusMenuController::applicationDidFinishLaunching()
{
    m_shouldQuit = false;
    observeSortPreferences(true);
    initLoadAtStartup();
    m_menu = std::make_unique<QMenu>(QStringLiteral("StatusMenu"));
    m_menu->setToolTipsVisible(true);

    m_keychainController = NetKeyloft_KeychainController::create(
        NetKeyloft_Keychain::Environment{m_env.keychainServices, m_env.preferences.userDefaults(),
                                         m_env.dialogs, m_env.clock},
        [this](const NetKeyloft_Error& error) { applicationWillPresentError(error); },
        [this](Keychain& keychain) { noteConflictCopies(keychain); });
    if (!m_keychainController) {
        terminate(1);
        return false;
    }

    createAllStaticMenuItems();
    followUse();
    observeList();
    buildMainMenu();
    // Entries added, changed or removed by other programs reach the menu and the edit
    // window while the application runs; a sync program's conflict copies that appear
    // beside a keychain file are merged first. A locked keychain file is left alone
    // until it is unlocked: its key is gone, and nobody asked for it.
    m_keychainController->followChangesMadeElsewhere([this] {
        if (!m_locked) {
            mergeConflictCopies();
        }
    });
    presentStatusMenu();
    tellConflictCopies();
    return true;
}

void NetKeyloft_StatusMenuController::noteConflictCopies(Keychain& keychain)
{
    m_conflictCopyNotice =
        ConflictCopyText::describe(m_conflictCopies.mergeConflictCopies(keychain));
}

void NetKeyloft_StatusMenuController::mergeConflictCopies()
{
    noteConflictCopies(*m_keychainController->keychain().keychain());
    tellConflictCopies();
}

void NetKeyloft_StatusMenuController::tellConflictCopies()
{
    if (m_conflictCopyNotice.isEmpty()) {
        return;
    }
    Alert alert;
    alert.message = m_conflictCopyNotice.join(QStringLiteral(".\n")) + QLatin1Char('.');
    m_conflictCopyNotice.clear();
    logLine(alert.message);
    m_env.dialogs.runAlert(alert);
}

void NetKeyloft_StatusMenuController::initLoadAtStartup()
{
    NetKeyloft_Preferences& preferences = m_env.preferences;
    if (preferences.loadAtStartupSet()) {
        return;
    }
    {
        const std::unique_ptr<NetKeyloft_LoginController> login = m_env.loginController();
        // Exactly one login item of the application remains.
        if (login->appExistsInLoginItems()) {
            login->loadAppAtStartup(false);
        }
        login->loadAppAtStartup(true);
    }
    preferences.setLoadAtStartupSet(true);
    preferences.setLoadAtStartup(true);
    if (!preferences.userDefaults().synchronize()) {
        logLine(QStringLiteral("Could not save the settings to %1")
                    .arg(preferences.userDefaults().filePath()));
    }
}

void NetKeyloft_StatusMenuController::observeSortPreferences(bool observe)
{
    if (observe == m_observing) {
        return;
    }
    m_observing = observe;
    m_env.preferences.defaultsController().observeKeys(
        this, {NKLPREFS_SortBy_Key, NKLPREFS_SortAscending_Key}, observe,
        [this](const QString& path) { observeValueForKeyPath(path); });
}

void NetKeyloft_StatusMenuController::terminate(int exitCode)
{
    m_shouldQuit = true;
    applicationWillTerminate();
    m_env.exitApplication(exitCode);
}

void NetKeyloft_StatusMenuController::applicationWillTerminate()
{
    // A password left on the clipboard would outlive the program: a clipboard manager
    // keeps what the owner leaves behind, and wl-copy serves it on.
    m_clipboardClearer->clearNow();
    observeSortPreferences(false);
    if (m_editWindowController) {
        m_editWindowController->removeObserversToQuit();
    }
}

void NetKeyloft_StatusMenuController::terminateForSession()
{
    saveForSession();
    terminate(0);
}

void NetKeyloft_StatusMenuController::saveForSession()
{
    if (m_editWindowController) {
        m_editWindowController->saveAllEditItemInfo();
    }
}

void NetKeyloft_StatusMenuController::applicationWillPresentError(const NetKeyloft_Error& error)
{
    const bool quitAfterError = error.quitAfterError();
    logLine(error.localizedDescription());
    Alert alert;
    alert.message = error.localizedDescription();
    if (!error.providerMessage().isEmpty()) {
        alert.detailedText = tr("The keyring program said: %1").arg(error.providerMessage());
    }
    alert.style = Alert::Style::Warning;
    m_env.dialogs.runAlert(alert);
    if (quitAfterError) {
        terminate(1);
    }
}
