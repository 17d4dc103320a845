#pragma once

#include "platform/SpellChecker.h"
#include "store/NetKeyloft_KeychainController.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class ApplicationCommands;
class Clipboard;
class ClipboardClearer;
class Dialogs;
class LabelCellDelegate;
class NetKeyloft_CommentsTextView;
class NetKeyloft_ItemTableModel;
class NetKeyloft_KeychainController;
class NetKeyloft_Preferences;
class NetKeyloft_TableHeaderview;
class QAction;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class QWidget;

namespace Ui {
class EditWindow;
}

// The logic behind the edit window: a one-column table of the entries beside a detail
// pane for the selected entry, shown read-only (view mode) or in editable fields (edit
// mode). Typed text reaches the list only when a save operation runs; every change the
// list accepts is in the keychain at once.
class NetKeyloft_EditController : public QObject {
    Q_OBJECT

public:
    // What the controller works with besides its window; all outlive it.
    struct Services {
        NetKeyloft_Preferences& preferences;
        Dialogs& dialogs;
        Clipboard& clipboard;
        // Checks the notes' spelling where the preference asks for it.
        SpellCheckerSource spellChecker;
        // Takes copied passwords off the clipboard again; none leaves them there.
        ClipboardClearer* clipboardClearer = nullptr;
    };

    // A controller over the controls of a loaded edit window.
    NetKeyloft_EditController(Ui::EditWindow& ui, QWidget& window, Services services);
    ~NetKeyloft_EditController() override;

    NetKeyloft_KeychainController* keychainController() const { return m_keychainController; }
    void setKeychainController(NetKeyloft_KeychainController* keychainController);
    // The application the window's commands go to; none leaves them undone.
    void setApplicationCommands(ApplicationCommands* commands) { m_commands = commands; }
    QMenu* tableHeaderMenu() const { return m_tableHeaderMenu.get(); }
    QTableView* tableView() const;
    NetKeyloft_TableHeaderview* headerView() const { return m_headerView; }
    NetKeyloft_CommentsTextView* textView() const;
    QLineEdit* userNameTextField() const;
    QLineEdit* passwordTextField() const;
    QPushButton* addItemButton() const;
    QPushButton* removeItemButton() const;
    NetKeyloft_Preferences& preferences() const { return m_services.preferences; }

    // --- Set-up and display ---
    // Once, right after the window's controls were made.
    void awakeFromNib();
    // On every opening of the window: view mode, toggle off, buttons by list size.
    void awakeFromController();
    void refreshData();
    void observeValueForKeyPath(const QString& keyPath);
    // Fills both panes from the selected entry.
    void tableRowChanged();
    void editItemAtIndex(int index);
    void switchToEditMode();
    void switchToViewMode();
    bool isInEditMode() const;
    bool isInViewMode() const;
    void showEditButtons(bool show);
    void clearAllTextFields();
    bool tableIsBeingEdited() const;
    void endTableEditingIfNeeded();
    void removeObserversToQuit();
    // The selected row, -1 when none is.
    int selectedRow() const;

    // --- Editing ---
    // A label typed into the table's cell at row; true when the entry bears it now.
    bool tableViewSetObjectValueForTableColumnRow(const QString& label, int row);
    void addItemButtonAction();
    void removeItemButtonAction();
    void editButtonAction();
    void editUserNameTextfield();
    void editPasswordTextfield();
    void saveComments();
    void saveAllEditItemInfo();
    void copyUsernameButtonAction();
    void copyPasswordButtonAction();
    void openHelp();

    // --- Sorting ---
    void tableColumnMenuAction(QAction* sender);
    void sortItemsAscending(bool ascending);
    // Checks the header menu's item of the key of a stored preference value.
    void setTableMenuItemOn(qint32 sortBy);
    void setColumnAscendingIndicator();

    // The notes as the user sees them in a notes view.
    static QString plainTextOf(const QPlainTextEdit& textView);

private:
    // The three values of an entry the detail pane shows.
    struct EntryValues {
        QString userName;
        QString password;
        QString comments;
    };
    // What the user typed for an entry deleted elsewhere while they edited it.
    struct Orphan {
        QString label;
        EntryValues typed;
    };

    // --- Changes made elsewhere (EditControllerConflicts.cpp) ---
    void followList();
    EntryValues storedValues(const NetKeyloft_Item& item, bool readPassword);
    // Fills both panes with the stored values, which the edit pane now starts from.
    void showStoredValues(const EntryValues& stored);
    void showViewValues(const EntryValues& stored);
    // Whether the user typed into the edit pane's field of a user name, password or notes.
    bool typedInto(ItemListNotifier::Field field) const;
    EntryValues typedValues() const;
    void selectedEntryChanged(ItemListNotifier::Fields fields);
    // Before a save: where a field the user typed into was changed elsewhere since,
    // asks whether the typed text goes over the newer value or gives way to it.
    void settleConflicts();
    void selectedEntryAboutToGo();
    void offerToKeepOrphan();
    // The pane and buttons of an empty list: view mode, nothing shown, no entry buttons.
    void showEmptyList();

    void connectControls();
    void setUpTable();
    void setUpTextViews();
    void applySpellCheckingPreference();
    void setColours();
    void observePreferences(bool observe);
    void createTableHeaderMenu();
    // Selects exactly row (none for -1), filling the panes when the selection changes.
    void selectRow(int row);
    void startEditingLabel(int row);
    void fillEditPane(int row);
    bool listIsEmpty() const;
    // The selected entry's position, -1 with no selection or an empty list.
    int selectedEntryRow() const;
    void putPane(QWidget* pane, QWidget* other);
    // Selects the entry's row wherever the list has it now.
    void selectEntry(const NetKeyloft_Item* entry);
    // The entry at the selected row, or at row 0 when none is selected.
    ItemPtr selectedOrFirstEntry() const;
    void copyToPasteboard(bool password);
    bool saveField(QLineEdit* field, QLineEdit* shown, bool password);
    void saveTypedValues();
    void saveSettledComments();

    Ui::EditWindow& m_ui;
    QWidget& m_window;
    Services m_services;
    NetKeyloft_KeychainController* m_keychainController = nullptr;
    ApplicationCommands* m_commands = nullptr;
    NetKeyloft_ItemTableModel* m_model = nullptr;
    LabelCellDelegate* m_delegate = nullptr;
    NetKeyloft_TableHeaderview* m_headerView = nullptr;
    std::unique_ptr<QMenu> m_tableHeaderMenu;
    // The entry of the selected row: the list may be sorted under the table before the
    // table hears of it.
    std::weak_ptr<NetKeyloft_Item> m_selectedEntry;
    bool m_observing = false;
    std::vector<QMetaObject::Connection> m_listConnections;
    // The stored values the edit pane was filled with, or that the user since chose
    // to write over: a stored value that differs was changed elsewhere.
    EntryValues m_shown;
    // The user is removing the selected entry here.
    bool m_removing = false;
    // Set while the entry being edited goes away elsewhere, until the user decides.
    std::optional<Orphan> m_orphan;
    // A save asks the user (too-long notes); the window losing focus to that alert
    // must not start a second save.
    bool m_saving = false;
};
