// Sorting from the edit window's table header: the header menu chooses the key, a click
// reverses the direction; the choice is stored in the preferences, whose observers
// bring the header marks and the tray menu up to date.

#include "editor/NetKeyloft_EditController.h"

#include "editor/NetKeyloft_ItemTableModel.h"
#include "editor/NetKeyloft_TableHeaderview.h"
#include "settings/NetKeyloft_Preferences.h"
#include "store/NetKeyloft_KeychainController.h"

#include "ui_EditWindow.h"

#include <QAction>
#include <QMenu>

ItemPtr NetKeyloft_EditController::selectedOrFirstEntry() const
{
    const int row = selectedRow();
    return m_keychainController->keychainItemAtIndex(row < 0 ? 0 : row);
}

void NetKeyloft_EditController::tableColumnMenuAction(QAction* sender)
{
    if (!m_keychainController || !sender) {
        return;
    }
    const ItemPtr kept = selectedOrFirstEntry();
    if (const std::optional<SortKey> key = SortKeys::fromHeaderMenuTag(sender->data().toInt())) {
        m_keychainController->sortKeychainItems(*key, m_services.preferences.sortAscending());
        m_services.preferences.setSortByMenuItem(SortKeys::preferenceValue(*key));
    }
    if (kept) {
        selectEntry(kept.get());
    }
    // A checkable menu item flips its own mark when chosen; the marks follow the
    // stored key only.
    setTableMenuItemOn(m_services.preferences.sortByMenuItem());
}

void NetKeyloft_EditController::sortItemsAscending(bool ascending)
{
    if (!m_keychainController) {
        return;
    }
    const ItemPtr kept = selectedOrFirstEntry();
    if (const std::optional<SortKey> key =
            SortKeys::fromPreferenceValue(m_services.preferences.sortByMenuItem())) {
        m_keychainController->sortKeychainItems(*key, ascending);
    }
    if (kept) {
        selectEntry(kept.get());
    }
    m_services.preferences.setSortAscending(ascending);
}

void NetKeyloft_EditController::setTableMenuItemOn(qint32 sortBy)
{
    const std::optional<SortKey> key = SortKeys::fromPreferenceValue(sortBy);
    if (!key) {
        return;
    }
    for (QAction* item : m_tableHeaderMenu->actions()) {
        item->setChecked(item->data().toInt() == SortKeys::headerMenuTag(*key));
    }
}

void NetKeyloft_EditController::setColumnAscendingIndicator()
{
    // The one column is the label column; its header shows the direction.
    const bool ascending = m_services.preferences.sortAscending();
    m_headerView->setSortIndicator(0, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}
