#pragma once

#include "editor/ApplicationCommands.h"
#include "platform/Clock.h"
#include "platform/SpellChecker.h"
#include "platform/keychain/ConflictCopies.h"
#include "settings/NetKeyloft_Preferences.h"
#include "store/KeychainError.h"
#include "store/NetKeyloft_KeychainController.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <memory>
#include <span>
#include <vector>

class Clipboard;
class ClipboardClearer;
class Dialogs;
class IdleLock;
class ItemSearchIndex;
class KeychainServices;
class NetKeyloft_AboutWindowController;
class NetKeyloft_EditWindowController;
class NetKeyloft_HelpWindowController;
class NetKeyloft_LoginController;
class NetKeyloft_PreferencesWindowController;
class NetKeyloft_Updater;
class QAction;
class QMenu;
class QuickSearchBox;
class StatusItem;

// The application delegate: launches the running application, owns the item list,
// the status item and its menu, builds the menu from the list and carries out the
// menu's commands. Nothing but the application's own decision ends the program.
class NetKeyloft_StatusMenuController : public QObject, public ApplicationCommands {
    Q_OBJECT

public:
    // The platform pieces the application works with; all outlive the controller.
    struct Environment {
        NetKeyloft_Preferences& preferences;
        KeychainServices& keychainServices;
        Dialogs& dialogs;
        Clipboard& clipboard;
        // A fresh login controller for each use.
        std::function<std::unique_ptr<NetKeyloft_LoginController>()> loginController;
        // The status item shown in the desktop's tray; made only once a tray is there.
        std::function<std::unique_ptr<StatusItem>()> statusItem;
        // The height of the primary screen in logical pixels.
        std::function<int()> screenHeight;
        // Ends the event loop with the given exit code.
        std::function<void(int)> exitApplication;
        // Whether the desktop shows a tray now, and how long to wait for one to appear
        // at launch before the status window stands in for it.
        std::function<bool()> trayPresent;
        int trayWaitMs = 0;
        // Opens a web address in the desktop's browser (links in the help windows).
        std::function<bool(const QUrl&)> openUrl;
        // Runs the update check of "Check for updates".
        NetKeyloft_Updater* updater = nullptr;
        // Checks the spelling of notes in the edit window.
        SpellCheckerSource spellChecker;
        // Where the time of day is read (the date new entries are created).
        const Clock& clock = Clock::system();
    };

    // Tags of the status menu's items besides the sort keys' (SortKeys::trayMenuTag).
    enum Tag { AscendingTag = 4, DescendingTag = 5, StartupTag = 99 };

    explicit NetKeyloft_StatusMenuController(Environment environment, QObject* parent = nullptr);
    ~NetKeyloft_StatusMenuController() override;

    // Builds the running application. False when it could not launch and has
    // already asked to terminate.
    bool applicationDidFinishLaunching();
    // Whether a termination request may go ahead.
    bool applicationShouldTerminate() const { return m_shouldQuit; }
    void applicationWillTerminate();
    // Logs the error and shows it once; an error marked as fatal ends the program.
    void applicationWillPresentError(const NetKeyloft_Error& error);
    // Ends the application for a reason outside it (log-out, a termination signal)
    // after saving what the user was editing.
    void terminateForSession();
    // Saves what the user was editing; the application keeps running.
    void saveForSession();

    const Environment& environment() const { return m_env; }
    NetKeyloft_KeychainController* keychainController() const { return m_keychainController.get(); }
    // Merges the copies of the keychain file that a sync program left beside it and tells
    // the user in one alert what they brought in; a copy that does not open is named
    // once. Runs whenever the keychain's folder changes, before the list is read again.
    void mergeConflictCopies();
    QMenu* menu() const { return m_menu.get(); }
    QMenu* sortMenu() const { return m_sortMenu; }
    int maxItemsInMenu() const { return m_maxItemsInMenu; }
    QAction* showEditWindowMenuItem() const { return m_showEditWindowMenuItem; }
    QAction* sortByMenuItem() const { return m_sortByMenuItem; }
    QAction* toggleStartupMenuItem() const { return m_toggleStartupMenuItem; }
    // Takes copied passwords off the clipboard again.
    ClipboardClearer& clipboardClearer() const { return *m_clipboardClearer; }
    // The window that holds the status menu on a desktop without a tray, or null.
    QWidget* statusWindow() const { return m_statusWindow.get(); }

    // --- Menu construction ---
    void createAllStaticMenuItems();
    QMenu* buildMainMenu();
    void findMaxNumberOfItemsInMenu();
    // Empties the menu and fills it again from the list.
    void populateMenu();
    void removeAllItemsInMenu();
    void buildDynamicMenuItems();
    // Levels below the top, filled when first shown; firstPosition is the list position
    // of items' first entry.
    QMenu* recursiveBuildMenu(std::span<const ItemPtr> items, int firstPosition, QWidget* parent);
    QMenu* assembleMenuWithItems(std::span<const ItemPtr> items, int firstPosition,
                                 QWidget* parent);
    // The copy and edit submenu of an entry; empty when the list does not hold it.
    QMenu* menuForItem(const NetKeyloft_Item& item, QWidget* parent);

    // --- Commands ---
    // Copies an entry's password or user name as the menu's items do, counting a use.
    void copyPasswordOfItem(const ItemPtr& item);
    void copyUserNameOfItem(const ItemPtr& item);
    void editItem(const ItemPtr& item);
    void getUserNameAction(QAction* sender);
    void getPwAction(QAction* sender);
    void editAction(QAction* sender);
    // Copies a new password made by the generator's rules.
    void generatePasswordAction();
    void openEditWindow();
    void openEditWindowCreateNewPassword();
    void closeEditWindow();
    void sortMenuAction(QAction* sender);
    void sortAscendingMenuAction();
    void sortByDescendingMenuAction();
    void toggleStartupPref(QAction* sender);
    void toggleCheckForUpdates();
    void openHelp();
    void aboutMenuAction();
    void quitAction();
    // Opens the search box near the pointer (asking to unlock a locked keychain first).
    void findAction();
    // Saves and closes the edit window, wipes every password in memory and the keychain
    // file's key, and hides the entries behind "Unlock Keychain…". Only keychain files
    // lock; the desktop's keyring locks on its own.
    void lockKeychain();
    // Asks for the keychain's password; true when the keychain is open afterwards.
    bool unlockKeychain();
    bool isLocked() const { return m_locked; }
    QuickSearchBox* quickSearchBox() const { return m_searchBox.get(); }
    ItemSearchIndex* searchIndex() const { return m_searchIndex.get(); }
    IdleLock* idleLock() const { return m_idleLock; }
    void openPreferencesWindow() override;
    void openDisableAutoLoginForThisMacHelp() override;
    // The application's help, without the guard of openHelp(): the edit window asks
    // for it after saving its own edits.
    void showHelp() override;
    void setStartAtLogin(bool start) override;
    void editWindowDidClose() override;

    // Guards before commands: store what the user typed in a visible edit window, or
    // store it and close the window.
    void savePendingEdits();
    void saveAndCloseEditWindow();
    NetKeyloft_EditWindowController* editWindowController() const
    {
        return m_editWindowController.get();
    }
    NetKeyloft_PreferencesWindowController* prefsWindowController() const
    {
        return m_prefsWindowController.get();
    }
    NetKeyloft_HelpWindowController* helpWindowController() const
    {
        return m_helpWindowController.get();
    }
    NetKeyloft_AboutWindowController* aboutWindowController() const
    {
        return m_aboutWindowController.get();
    }

    // --- Sorting ---
    // Sorts by the key of a stored preference value (0 to 3) and stores it; any other
    // value does nothing.
    void sortByMenuItemTag(qint32 key);
    void sortBy(SortKey key) override;
    void sortItemsAscending(bool ascending) override;
    void setSortMenuItemOn(qint32 value);
    void setSortAscendingOn(bool ascending);
    void observeValueForKeyPath(const QString& keyPath);
    void setShowWindowTitleToShow(bool show);

    // The version text of the about window.
    static QString appVersionText();

private:
    void initLoadAtStartup();
    // Rebuilds the menu whenever the list's entries, their order or what the menu
    // shows of them changes.
    void observeList();
    // Puts the status menu on screen: in the tray once there is one, or in the status
    // window when none has appeared in time.
    void presentStatusMenu();
    void showStatusItem();
    void showStatusWindow();
    // The search index, the idle lock and the screen's lock signals, made at launch.
    void followUse();
    void createLockAndFindMenuItems();
    // Fills the menu of a locked keychain: no entries, and "Unlock Keychain…".
    void populateLockedMenu();
    bool ensureUnlocked();
    void observeSortPreferences(bool observe);
    void terminate(int exitCode);
    QMenu* menuForItemAtPosition(const NetKeyloft_Item& item, int position, QWidget* parent);
    QAction* addEntryItem(QMenu* menu, const ItemPtr& item, int position);
    void addEntryItems(QMenu* menu, std::span<const ItemPtr> items, int firstPosition);
    void fillWhenShown(QMenu* level, std::function<void()> fill);
    QAction* newAction(const QString& title, QObject* parent);
    QAction* sortMenuItemWithTag(int tag) const;
    ItemPtr itemForSender(const QAction* sender) const;
    void copyAndCount(const ItemPtr& item, const QString& text,
                      NetKeyloft_Preferences::CopiedText copied);
    // Counts as use of the program for the idle lock.
    void noteUse();
    // The edit window's controller, created on first use.
    NetKeyloft_EditWindowController& editWindow();
    bool editWindowIsVisible() const;

    Environment m_env;
    std::unique_ptr<ClipboardClearer> m_clipboardClearer;
    std::unique_ptr<NetKeyloft_KeychainController> m_keychainController;
    // The windows, each created on first use and kept; they go before the list they show.
    std::unique_ptr<NetKeyloft_EditWindowController> m_editWindowController;
    std::unique_ptr<NetKeyloft_PreferencesWindowController> m_prefsWindowController;
    std::unique_ptr<NetKeyloft_HelpWindowController> m_helpWindowController;
    std::unique_ptr<NetKeyloft_AboutWindowController> m_aboutWindowController;
    // The application's user guide, in a help window of its own.
    std::unique_ptr<NetKeyloft_HelpWindowController> m_userGuideWindowController;
    std::unique_ptr<StatusItem> m_statusItem;
    std::unique_ptr<QWidget> m_statusWindow;
    std::unique_ptr<QMenu> m_menu;
    ConflictCopyMerger m_conflictCopies;
    // What the last merge of conflict copies found, told once the menu is on screen.
    QStringList m_conflictCopyNotice;
    void noteConflictCopies(Keychain& keychain);
    void tellConflictCopies();
    QMenu* m_sortMenu = nullptr;
    QMenu* m_preferencesMenu = nullptr;
    QAction* m_showEditWindowMenuItem = nullptr;
    QAction* m_sortByMenuItem = nullptr;
    QAction* m_preferencesMenuItem = nullptr;
    QAction* m_showHelpMenuItem = nullptr;
    QAction* m_quitMenuItem = nullptr;
    QAction* m_newPasswordMenuItem = nullptr;
    QAction* m_generatePasswordMenuItem = nullptr;
    QAction* m_toggleStartupMenuItem = nullptr;
    QAction* m_checkForUpdatesMenuItem = nullptr;
    QAction* m_aboutMenuItem = nullptr;
    QAction* m_findMenuItem = nullptr;
    QAction* m_lockMenuItem = nullptr;
    QAction* m_unlockMenuItem = nullptr;
    std::unique_ptr<ItemSearchIndex> m_searchIndex;
    std::unique_ptr<QuickSearchBox> m_searchBox;
    IdleLock* m_idleLock = nullptr;
    bool m_locked = false;
    // Menus of the last build, removed at the next one.
    std::vector<QPointer<QMenu>> m_dynamicMenus;
    int m_maxItemsInMenu = 0;
    bool m_shouldQuit = false;
    bool m_observing = false;
};
