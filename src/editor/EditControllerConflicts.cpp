// Changes made elsewhere to the entry the edit window shows: the panes follow them,
// text the user typed stays, and saving it over a newer value, or keeping it after the
// entry was deleted, is the user's choice.

#include "editor/NetKeyloft_EditController.h"

#include "editor/NetKeyloft_CommentsTextView.h"
#include "platform/Dialogs.h"
#include "store/NetKeyloft_KeychainController.h"

#include "ui_EditWindow.h"

#include <QTimer>

namespace {

using Field = ItemListNotifier::Field;

} // namespace

void NetKeyloft_EditController::followList()
{
    for (const QMetaObject::Connection& connection : m_listConnections) {
        disconnect(connection);
    }
    m_listConnections.clear();
    if (!m_keychainController) {
        return;
    }
    using N = ItemListNotifier;
    const N& notifier = m_keychainController->notifier();
    m_listConnections = {
        connect(&notifier, &N::rowChanged, this,
                [this](int row, N::Fields fields) {
                    if (row == selectedEntryRow()) {
                        selectedEntryChanged(fields);
                    }
                }),
        connect(&notifier, &N::rowsAboutToBeRemoved, this,
                [this](int first, int last) {
                    const int row = selectedEntryRow();
                    if (!m_removing && row >= first && row <= last) {
                        selectedEntryAboutToGo();
                    }
                }),
        connect(&notifier, &N::rowsRemoved, this,
                [this] {
                    if (m_orphan) {
                        QTimer::singleShot(0, this, [this] { offerToKeepOrphan(); });
                    } else if (listIsEmpty()) {
                        showEmptyList();
                    }
                }),
        connect(&notifier, &N::rowsInserted, this, [this] { showEditButtons(true); }),
    };
}

NetKeyloft_EditController::EntryValues
NetKeyloft_EditController::storedValues(const NetKeyloft_Item& item, bool readPassword)
{
    return {item.userName(),
            readPassword ? m_keychainController->passwordForKeychainItem(&item) : m_shown.password,
            item.comments()};
}

void NetKeyloft_EditController::showStoredValues(const EntryValues& stored)
{
    m_shown = stored;
    m_ui.userNameTextField->setText(stored.userName);
    m_ui.passwordTextField->setText(stored.password);
    m_ui.commentsTextView->setPlainText(stored.comments);
    showViewValues(stored);
}

void NetKeyloft_EditController::showViewValues(const EntryValues& stored)
{
    m_ui.staticUserNameTextField->setText(stored.userName);
    m_ui.staticPasswordTextField->setText(stored.password);
    m_ui.commentsTextField->setPlainText(stored.comments);
}

// Typed into, or given other text than it was filled with.
bool NetKeyloft_EditController::typedInto(ItemListNotifier::Field field) const
{
    switch (field) {
    case Field::UserName:
        return m_ui.userNameTextField->isModified() ||
               m_ui.userNameTextField->text() != m_shown.userName;
    case Field::Password:
        return m_ui.passwordTextField->isModified() ||
               m_ui.passwordTextField->text() != m_shown.password;
    case Field::Comments:
        return m_ui.commentsTextView->document()->isModified();
    default:
        return false;
    }
}

NetKeyloft_EditController::EntryValues NetKeyloft_EditController::typedValues() const
{
    return {m_ui.userNameTextField->text(), m_ui.passwordTextField->text(),
            plainTextOf(*m_ui.commentsTextView)};
}

// A field the user has not typed into follows the stored value; one typed into keeps
// its text, and the value it started from stays the one it was filled with, so that
// saving can tell the newer stored value is someone else's.
void NetKeyloft_EditController::selectedEntryChanged(ItemListNotifier::Fields fields)
{
    const ItemPtr item = m_keychainController->keychainItemAtIndex(selectedEntryRow());
    if (!item || !(fields & (Field::UserName | Field::Password | Field::Comments))) {
        return;
    }
    const EntryValues stored = storedValues(*item, fields.testFlag(Field::Password));
    const EntryValues typed = typedValues();
    showViewValues(stored);
    const auto follow = [&](Field field, QString EntryValues::*value, auto show) {
        if (!fields.testFlag(field)) {
            return;
        }
        if (!typedInto(field)) {
            show(stored.*value);
            m_shown.*value = stored.*value;
        } else if (typed.*value == stored.*value) {
            m_shown.*value = stored.*value;
        }
    };
    follow(Field::UserName, &EntryValues::userName,
           [this](const QString& text) { m_ui.userNameTextField->setText(text); });
    follow(Field::Password, &EntryValues::password,
           [this](const QString& text) { m_ui.passwordTextField->setText(text); });
    follow(Field::Comments, &EntryValues::comments,
           [this](const QString& text) { m_ui.commentsTextView->setPlainText(text); });
}

void NetKeyloft_EditController::settleConflicts()
{
    const ItemPtr item = m_keychainController->keychainItemAtIndex(selectedEntryRow());
    if (!item || !isInEditMode()) {
        return;
    }
    const EntryValues stored = storedValues(*item, typedInto(Field::Password));
    const EntryValues typed = typedValues();
    const auto conflicts = [&](Field field, QString EntryValues::*value) {
        return typedInto(field) && typed.*value != stored.*value && stored.*value != m_shown.*value;
    };
    if (!conflicts(Field::UserName, &EntryValues::userName) &&
        !conflicts(Field::Password, &EntryValues::password) &&
        !conflicts(Field::Comments, &EntryValues::comments)) {
        return;
    }
    Alert alert;
    alert.message =
        QStringLiteral("%1 was changed elsewhere while you edited it.").arg(item->label());
    alert.informativeText = QStringLiteral(
        "Save your changes over the newer values, or discard them and keep the newer values?");
    alert.buttons = {QStringLiteral("Save My Changes"), QStringLiteral("Keep Newer Values")};
    alert.style = Alert::Style::Warning;
    if (m_services.dialogs.runAlert(alert) == 0) {
        // Saved as usual from here: the newer values are what they replace.
        m_shown = stored;
        return;
    }
    showStoredValues(stored);
}

void NetKeyloft_EditController::selectedEntryAboutToGo()
{
    const ItemPtr item = m_keychainController->keychainItemAtIndex(selectedEntryRow());
    const bool typed =
        typedInto(Field::UserName) || typedInto(Field::Password) || typedInto(Field::Comments);
    if (!item || !isInEditMode() || !typed) {
        return;
    }
    // The selection goes with the row; the pane keeps what was typed until the user
    // decides.
    m_orphan = Orphan{item->label(), typedValues()};
}

void NetKeyloft_EditController::offerToKeepOrphan()
{
    if (!m_orphan) {
        return;
    }
    const Orphan orphan = *std::exchange(m_orphan, std::nullopt);
    Alert alert;
    alert.message =
        QStringLiteral("%1 was deleted elsewhere while you edited it.").arg(orphan.label);
    alert.informativeText = QStringLiteral("Save what you typed as a new entry, or discard it?");
    alert.buttons = {QStringLiteral("Save as New Entry"), QStringLiteral("Discard")};
    alert.style = Alert::Style::Warning;
    if (m_services.dialogs.runAlert(alert) == 0 &&
        m_keychainController->newKeyChainItemWithLabel(
            orphan.label, {orphan.typed.userName, orphan.typed.password, orphan.typed.comments})) {
        selectRow(int(m_keychainController->countOfKeychainItems()) - 1);
        showEditButtons(true);
        return;
    }
    tableRowChanged();
    if (listIsEmpty()) {
        showEmptyList();
    }
}
