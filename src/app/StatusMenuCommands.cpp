// The status menu's commands and the sort logic that keeps the list's order, the
// check marks and the stored sort preferences in step.

#include "app/NetKeyloft_StatusMenuController.h"

#include "editor/NetKeyloft_EditController.h"
#include "editor/NetKeyloft_EditWindowController.h"
#include "editor/NetKeyloft_PreferencesWindowController.h"
#include "platform/UserDefaultsController.h"
#include "settings/NetKeyloft_LoginController.h"
#include "settings/NetKeyloft_Preferences.h"
#include "store/NetKeyloftStringUtils.h"
#include "store/PasswordGenerator.h"

#include <QAction>
#include <QMenu>

// --- Copying ----------------------------------------------------------------------------

ItemPtr NetKeyloft_StatusMenuController::itemForSender(const QAction* sender) const
{
    return m_keychainController->keychainItemAtIndex(sender ? sender->data().toInt() : -1);
}

void NetKeyloft_StatusMenuController::copyAndCount(const ItemPtr& item, const QString& text,
                                                   NetKeyloft_Preferences::CopiedText copied)
{
    noteUse();
    // A copy that did not happen is no use of the entry.
    if (NetKeyloftStringUtils::toPasteboard(text, m_env.clipboard, m_env.dialogs,
                                            m_clipboardClearer.get(),
                                            m_env.preferences.clipboardClearingDelay(copied)) &&
        item) {
        m_keychainController->addOneToCountUsedForItem(item.get());
    }
}

void NetKeyloft_StatusMenuController::copyUserNameOfItem(const ItemPtr& item)
{
    // A tag that no longer names an entry copies nothing.
    if (item) {
        copyAndCount(item, item->userName(), NetKeyloft_Preferences::CopiedText::UserName);
    }
}

void NetKeyloft_StatusMenuController::copyPasswordOfItem(const ItemPtr& item)
{
    copyAndCount(item,
                 item ? m_keychainController->passwordForKeychainItem(item.get())
                      : QString(QLatin1String("")),
                 NetKeyloft_Preferences::CopiedText::Password);
}

void NetKeyloft_StatusMenuController::getUserNameAction(QAction* sender)
{
    copyUserNameOfItem(itemForSender(sender));
}

void NetKeyloft_StatusMenuController::getPwAction(QAction* sender)
{
    copyPasswordOfItem(itemForSender(sender));
}

void NetKeyloft_StatusMenuController::generatePasswordAction()
{
    const PasswordGenerator generator(PasswordRules::stored(m_env.preferences.userDefaults()));
    copyAndCount(nullptr, generator.generate(), NetKeyloft_Preferences::CopiedText::Password);
}

// --- Windows ----------------------------------------------------------------------------

void NetKeyloft_StatusMenuController::editAction(QAction* sender)
{
    editItem(itemForSender(sender));
}

void NetKeyloft_StatusMenuController::editItem(const ItemPtr& item)
{
    if (m_editWindowController) {
        m_editWindowController->saveAllEditItemInfo();
    }
    openEditWindow();
    if (m_editWindowController) {
        m_editWindowController->editItemAtIndex(
            m_keychainController->indexInKeychainItemsForItem(item.get()));
    }
}

NetKeyloft_EditWindowController& NetKeyloft_StatusMenuController::editWindow()
{
    if (!m_editWindowController) {
        m_editWindowController = std::make_unique<NetKeyloft_EditWindowController>(
            *m_keychainController, *this,
            NetKeyloft_EditController::Services{m_env.preferences, m_env.dialogs, m_env.clipboard,
                                                m_env.spellChecker, m_clipboardClearer.get()});
    }
    return *m_editWindowController;
}

void NetKeyloft_StatusMenuController::openEditWindow()
{
    if (!ensureUnlocked()) {
        return;
    }
    editWindow().openWindow();
    setShowWindowTitleToShow(false);
}

void NetKeyloft_StatusMenuController::openEditWindowCreateNewPassword()
{
    if (!ensureUnlocked()) {
        return;
    }
    editWindow().openWindowAndCreateNewPassword();
    setShowWindowTitleToShow(false);
}

void NetKeyloft_StatusMenuController::closeEditWindow()
{
    savePendingEdits();
    if (m_editWindowController) {
        // Closing goes through the window's own close handling, which saves and puts
        // the menu item back to showing the window.
        m_editWindowController->window()->close();
    }
}

void NetKeyloft_StatusMenuController::openPreferencesWindow()
{
    saveAndCloseEditWindow();
    if (m_prefsWindowController) {
        m_prefsWindowController->showWindow();
    } else {
        // Creating the controller shows its window.
        m_prefsWindowController =
            std::make_unique<NetKeyloft_PreferencesWindowController>(*this, m_env.preferences);
    }
}

void NetKeyloft_StatusMenuController::setShowWindowTitleToShow(bool show)
{
    m_showEditWindowMenuItem->setText(show ? QStringLiteral("Show edit window")
                                           : QStringLiteral("Close edit window"));
}

void NetKeyloft_StatusMenuController::editWindowDidClose()
{
    setShowWindowTitleToShow(true);
}

void NetKeyloft_StatusMenuController::quitAction()
{
    if (m_editWindowController) {
        m_editWindowController->saveAllEditItemInfo();
        m_editWindowController->window()->close();
    }
    terminate(0);
}

// --- Start at login ---------------------------------------------------------------------

void NetKeyloft_StatusMenuController::toggleStartupPref(QAction* sender)
{
    // A checkable item has already flipped its check mark when it is triggered: its
    // state now is the new one, the opposite of what the user saw.
    savePendingEdits();
    setStartAtLogin(sender->isChecked());
}

void NetKeyloft_StatusMenuController::setStartAtLogin(bool start)
{
    if (m_toggleStartupMenuItem) {
        m_toggleStartupMenuItem->setChecked(start);
    }
    m_env.preferences.setLoadAtStartup(start);
    m_env.loginController()->loadAppAtStartup(start);
}

// --- Sorting ----------------------------------------------------------------------------

void NetKeyloft_StatusMenuController::sortMenuAction(QAction* sender)
{
    savePendingEdits();
    if (const std::optional<SortKey> key = SortKeys::fromTrayMenuTag(sender->data().toInt())) {
        sortBy(*key);
    }
}

void NetKeyloft_StatusMenuController::sortAscendingMenuAction()
{
    savePendingEdits();
    sortItemsAscending(true);
}

void NetKeyloft_StatusMenuController::sortByDescendingMenuAction()
{
    savePendingEdits();
    sortItemsAscending(false);
}

void NetKeyloft_StatusMenuController::sortByMenuItemTag(qint32 key)
{
    if (const std::optional<SortKey> sortKey = SortKeys::fromPreferenceValue(key)) {
        sortBy(*sortKey);
    }
}

void NetKeyloft_StatusMenuController::sortBy(SortKey key)
{
    m_keychainController->sortKeychainItems(key, m_env.preferences.sortAscending());
    // Storing the key, even an unchanged one, makes the observer rebuild the menu.
    m_env.preferences.setSortByMenuItem(SortKeys::preferenceValue(key));
}

void NetKeyloft_StatusMenuController::sortItemsAscending(bool ascending)
{
    if (const std::optional<SortKey> key =
            SortKeys::fromPreferenceValue(m_env.preferences.sortByMenuItem())) {
        m_keychainController->sortKeychainItems(*key, ascending);
    }
    m_env.preferences.setSortAscending(ascending);
}

QAction* NetKeyloft_StatusMenuController::sortMenuItemWithTag(int tag) const
{
    const QList<QAction*> actions = m_sortMenu->actions();
    const auto found = std::find_if(actions.begin(), actions.end(), [tag](QAction* action) {
        return !action->isSeparator() && action->data().toInt() == tag;
    });
    return found == actions.end() ? nullptr : *found;
}

void NetKeyloft_StatusMenuController::setSortMenuItemOn(qint32 value)
{
    const std::optional<SortKey> chosen = SortKeys::fromPreferenceValue(value);
    if (!chosen) {
        return;
    }
    for (SortKey key : SortKeys::all) {
        if (const std::optional<int> tag = SortKeys::trayMenuTag(key)) {
            sortMenuItemWithTag(*tag)->setChecked(key == *chosen);
        }
    }
}

void NetKeyloft_StatusMenuController::setSortAscendingOn(bool ascending)
{
    sortMenuItemWithTag(AscendingTag)->setChecked(ascending);
    sortMenuItemWithTag(DescendingTag)->setChecked(!ascending);
}

void NetKeyloft_StatusMenuController::observeValueForKeyPath(const QString& keyPath)
{
    if (!m_menu || !m_sortMenu || !m_keychainController) {
        return;
    }
    if (keyPath == UserDefaultsController::keyPathForKey(NKLPREFS_SortBy_Key)) {
        setSortMenuItemOn(m_env.preferences.sortByMenuItem());
        populateMenu();
    } else if (keyPath == UserDefaultsController::keyPathForKey(NKLPREFS_SortAscending_Key)) {
        setSortAscendingOn(m_env.preferences.sortAscending());
        populateMenu();
    }
}

// --- Guards -----------------------------------------------------------------------------

bool NetKeyloft_StatusMenuController::editWindowIsVisible() const
{
    return m_editWindowController && m_editWindowController->window()->isVisible();
}

void NetKeyloft_StatusMenuController::savePendingEdits()
{
    if (editWindowIsVisible()) {
        m_editWindowController->saveAllEditItemInfo();
    }
}

void NetKeyloft_StatusMenuController::saveAndCloseEditWindow()
{
    if (editWindowIsVisible()) {
        m_editWindowController->saveAllEditItemInfo();
        closeEditWindow();
    }
}
