// The edit window's commands: renaming in the table, adding and removing entries, the
// edit toggle, saving what was typed, copying, help.

#include "editor/NetKeyloft_EditController.h"

#include "editor/ApplicationCommands.h"
#include "editor/NetKeyloft_CommentsTextView.h"
#include "editor/NetKeyloft_ItemTableModel.h"
#include "platform/Dialogs.h"
#include "settings/NetKeyloft_Preferences.h"
#include "store/NetKeyloftStringUtils.h"
#include "store/NetKeyloft_KeychainController.h"

#include "ui_EditWindow.h"

#include <QTimer>

#include <utility>

namespace {

const QString newEntryLabel = QStringLiteral("Untitled");

} // namespace

bool NetKeyloft_EditController::tableViewSetObjectValueForTableColumnRow(const QString& label,
                                                                         int row)
{
    const ItemPtr item = m_keychainController->keychainItemAtIndex(row);
    if (!item) {
        return false;
    }
    if (item->label() == label) {
        return true;
    }
    if (m_keychainController->renameKeyChainItemAtIndexWithLabel(unsigned(row), label)) {
        return true;
    }
    NetKeyloftStringUtils::toErrorMessageLocalized(QStringLiteral("LabelAlreadyExists"),
                                                   m_services.dialogs);
    // The cell editor is still closing: open it again once it has gone.
    QTimer::singleShot(0, this, [this, row] { startEditingLabel(row); });
    return false;
}

void NetKeyloft_EditController::addItemButtonAction()
{
    endTableEditingIfNeeded();
    saveAllEditItemInfo();
    if (!m_keychainController || !m_keychainController->newKeyChainItemWithLabel(newEntryLabel)) {
        return;
    }
    if (!m_ui.editButton->isChecked()) {
        m_ui.editButton->setChecked(true);
        editButtonAction();
    }
    // The new entry is the last one, whatever the order.
    const int row = int(m_keychainController->countOfKeychainItems()) - 1;
    selectRow(row);
    startEditingLabel(row);
    showEditButtons(true);
}

void NetKeyloft_EditController::removeItemButtonAction()
{
    if (listIsEmpty()) {
        return;
    }
    endTableEditingIfNeeded();
    const int row = selectedRow();
    const ItemPtr item = m_keychainController->keychainItemAtIndex(row);
    if (!item) {
        return;
    }
    Alert alert;
    alert.message = QStringLiteral("Delete %1?").arg(item->label());
    alert.informativeText = QStringLiteral("Deleted records cannot be restored.");
    alert.buttons = {QStringLiteral("OK"), QStringLiteral("Cancel")};
    alert.style = Alert::Style::Critical;
    if (m_services.dialogs.runAlert(alert) != 0) {
        return;
    }
    m_removing = true;
    const bool deleted = m_keychainController->deleteKeychainItem(item.get());
    m_removing = false;
    if (!deleted) {
        return;
    }
    if (listIsEmpty()) {
        return; // the list told of it
    }
    // The entry before the removed one; after the first row, the new first row.
    selectRow(std::max(row - 1, 0));
}

void NetKeyloft_EditController::showEmptyList()
{
    clearAllTextFields();
    if (isInEditMode()) {
        switchToViewMode();
    }
    showEditButtons(false);
}

void NetKeyloft_EditController::editButtonAction()
{
    const bool wasEditing = isInEditMode();
    const bool wasViewing = isInViewMode();
    if (listIsEmpty()) {
        clearAllTextFields();
        if (wasEditing) {
            switchToViewMode();
        }
        return;
    }
    if (m_ui.editButton->isChecked()) {
        if (wasViewing) {
            switchToEditMode();
        }
        return;
    }
    saveTypedValues();
    if (wasEditing) {
        switchToViewMode();
    }
}

bool NetKeyloft_EditController::saveField(QLineEdit* field, QLineEdit* shown, bool password)
{
    const int row = selectedEntryRow();
    const ItemPtr item =
        m_keychainController ? m_keychainController->keychainItemAtIndex(row) : ItemPtr();
    if (!item || !isInEditMode()) {
        return false;
    }
    const QString text = field->text();
    const QString stored =
        password ? m_keychainController->passwordForKeychainItem(item.get()) : item->userName();
    if (stored == text) {
        field->setModified(false);
        return false;
    }
    const bool saved =
        password ? m_keychainController->setPasswordForKeychainItemAtIndex(text, unsigned(row))
                 : m_keychainController->setUserNameForKeychainItemAtIndex(text, unsigned(row));
    if (!saved) {
        NetKeyloftStringUtils::toErrorMessageLocalized(QStringLiteral("CouldNotSaveToKeyChain"),
                                                       m_services.dialogs);
        return false;
    }
    field->setModified(false);
    shown->setText(text);
    return true;
}

void NetKeyloft_EditController::editUserNameTextfield()
{
    settleConflicts();
    saveField(m_ui.userNameTextField, m_ui.staticUserNameTextField, false);
}

void NetKeyloft_EditController::editPasswordTextfield()
{
    settleConflicts();
    saveField(m_ui.passwordTextField, m_ui.staticPasswordTextField, true);
}

void NetKeyloft_EditController::saveComments()
{
    if (m_saving) {
        return;
    }
    settleConflicts();
    saveSettledComments();
}

// Settles a conflict with changes made elsewhere once, then saves every field.
void NetKeyloft_EditController::saveTypedValues()
{
    settleConflicts();
    saveField(m_ui.userNameTextField, m_ui.staticUserNameTextField, false);
    saveField(m_ui.passwordTextField, m_ui.staticPasswordTextField, true);
    saveSettledComments();
}

void NetKeyloft_EditController::saveSettledComments()
{
    if (listIsEmpty() || !isInEditMode()) {
        return;
    }
    QTextDocument* document = m_ui.commentsTextView->document();
    QString text = plainTextOf(*m_ui.commentsTextView);
    if (text.size() > notesLimit) {
        const bool wasSaving = std::exchange(m_saving, true);
        Alert alert;
        alert.message = QStringLiteral("Notes cannot contain more than 2000 characters.");
        alert.informativeText = QStringLiteral("Notes will be trimmed to 2000 characters.");
        alert.style = Alert::Style::Warning;
        m_services.dialogs.runAlert(alert);
        m_saving = wasSaving;
        // Never half a character: a pair of surrogates at the limit goes as a whole.
        text.truncate(text.at(notesLimit - 1).isHighSurrogate() ? notesLimit - 1 : notesLimit);
        m_ui.commentsTextView->setPlainText(text);
        document->setModified(true);
        // What is stored is what the window now shows.
        text = plainTextOf(*m_ui.commentsTextView);
    }
    const int row = selectedEntryRow();
    const ItemPtr item = m_keychainController->keychainItemAtIndex(row);
    // Text the user has not touched is not saved: the view may show stored notes a
    // little differently (line breaks), and that is no reason to rewrite them.
    if (!item || item->comments() == text || !document->isModified()) {
        return;
    }
    if (!m_keychainController->setCommentsForKeychainItemAtIndex(text, unsigned(row))) {
        NetKeyloftStringUtils::toErrorMessageLocalized(QStringLiteral("CouldNotSaveToKeyChain"),
                                                       m_services.dialogs);
        return;
    }
    document->setModified(false);
    m_ui.commentsTextField->setPlainText(text);
}

void NetKeyloft_EditController::saveAllEditItemInfo()
{
    if (m_saving) {
        return;
    }
    m_saving = true;
    if (isInEditMode() && !listIsEmpty()) {
        saveTypedValues();
    }
    endTableEditingIfNeeded();
    m_saving = false;
}

void NetKeyloft_EditController::copyToPasteboard(bool password)
{
    const int row = selectedEntryRow();
    const ItemPtr item =
        m_keychainController ? m_keychainController->keychainItemAtIndex(row) : ItemPtr();
    if (!item) {
        return;
    }
    const QString text =
        password ? m_keychainController->passwordForKeychainItem(item.get()) : item->userName();
    const auto copied = password ? NetKeyloft_Preferences::CopiedText::Password
                                 : NetKeyloft_Preferences::CopiedText::UserName;
    // A copy that did not happen is no use of the entry.
    if (NetKeyloftStringUtils::toPasteboard(
            text, m_services.clipboard, m_services.dialogs, m_services.clipboardClearer,
            m_services.preferences.clipboardClearingDelay(copied))) {
        m_keychainController->addOneToCountUsedForItem(item.get());
    }
}

void NetKeyloft_EditController::copyUsernameButtonAction()
{
    copyToPasteboard(false);
}

void NetKeyloft_EditController::copyPasswordButtonAction()
{
    copyToPasteboard(true);
}

void NetKeyloft_EditController::openHelp()
{
    saveAllEditItemInfo();
    if (m_commands) {
        m_commands->showHelp();
    }
}
