// Locking the keychain file (by command, after idle time, when the screen locks) and the
// search box that finds an entry by typing.

#include "app/NetKeyloft_StatusMenuController.h"

#include "app/IdleLock.h"
#include "app/QuickSearchBox.h"
#include "editor/NetKeyloft_EditWindowController.h"
#include "platform/Clock.h"
#include "platform/ScreenLockSignals.h"
#include "settings/NetKeyloft_Preferences.h"
#include "store/ItemSearchIndex.h"
#include "store/NetKeyloftStringUtils.h"

#include <QAction>
#include <QCursor>
#include <QMenu>

void NetKeyloft_StatusMenuController::followUse()
{
    m_searchIndex = std::make_unique<ItemSearchIndex>(*m_keychainController);
    if (!m_keychainController->keychain().isLockable()) {
        return;
    }
    m_idleLock = new IdleLock(
        m_env.clock, [this] { return m_env.preferences.lockAfterIdleMinutes(); },
        [this] { lockKeychain(); }, this);
    auto* screen = new ScreenLockSignals(this);
    connect(screen, &ScreenLockSignals::screenLocked, this,
            &NetKeyloft_StatusMenuController::lockKeychain);
}

void NetKeyloft_StatusMenuController::createLockAndFindMenuItems()
{
    using NetKeyloftStringUtils::localizedString;
    using C = NetKeyloft_StatusMenuController;
    m_findMenuItem = newAction(localizedString(QStringLiteral("KLOFT_FindMenuItem")), this);
    connect(m_findMenuItem, &QAction::triggered, this, &C::findAction);
    m_lockMenuItem = newAction(localizedString(QStringLiteral("KLOFT_LockKeychainMenuItem")), this);
    connect(m_lockMenuItem, &QAction::triggered, this, &C::lockKeychain);
    m_unlockMenuItem =
        newAction(localizedString(QStringLiteral("KLOFT_UnlockKeychainMenuItem")), this);
    connect(m_unlockMenuItem, &QAction::triggered, this, &C::unlockKeychain);
}

void NetKeyloft_StatusMenuController::populateLockedMenu()
{
    m_menu->addAction(m_unlockMenuItem);
    m_menu->addSeparator();
    m_menu->addAction(m_preferencesMenuItem);
    m_menu->addAction(m_showHelpMenuItem);
    m_menu->addAction(m_aboutMenuItem);
    m_menu->addAction(m_quitMenuItem);
}

void NetKeyloft_StatusMenuController::noteUse()
{
    if (m_idleLock) {
        m_idleLock->noteUse();
    }
}

void NetKeyloft_StatusMenuController::lockKeychain()
{
    if (m_locked || !m_keychainController || !m_keychainController->keychain().isLockable()) {
        return;
    }
    // What the user typed is kept: saved, then the window and its fields go away.
    saveAndCloseEditWindow();
    if (m_searchBox) {
        m_searchBox->close();
    }
    m_keychainController->lockKeychain();
    m_locked = true;
    populateMenu();
}

bool NetKeyloft_StatusMenuController::unlockKeychain()
{
    if (!m_locked) {
        return true;
    }
    // The same prompt as at start: up to three tries, then the store says why.
    if (!m_keychainController->keychain().unlockKeychain()) {
        return false;
    }
    m_locked = false;
    noteUse();
    // What other programs and sync programs changed while the keychain was locked.
    mergeConflictCopies();
    m_keychainController->mergeChangesMadeElsewhere();
    populateMenu();
    return true;
}

bool NetKeyloft_StatusMenuController::ensureUnlocked()
{
    noteUse();
    return unlockKeychain();
}

void NetKeyloft_StatusMenuController::findAction()
{
    if (!ensureUnlocked()) {
        return;
    }
    if (!m_searchBox) {
        m_searchBox = std::make_unique<QuickSearchBox>(
            *m_searchIndex,
            QuickSearchBox::Commands{[this](const ItemPtr& item) { copyPasswordOfItem(item); },
                                     [this](const ItemPtr& item) { copyUserNameOfItem(item); },
                                     [this](const ItemPtr& item) { editItem(item); }});
    }
    m_searchBox->popUp(QCursor::pos());
}
