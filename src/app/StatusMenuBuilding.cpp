// Construction of the status menu: the fixed items, made once, and the entries,
// made anew at every rebuild and split over a chain of overflow submenus.

#include "app/NetKeyloft_StatusMenuController.h"

#include "settings/NetKeyloft_Preferences.h"

#include <QAction>
#include <QMenu>

#include <algorithm>
#include <climits>

namespace {

// Menus take "&" as the mark of a keyboard mnemonic; entry texts are shown as typed.
QString menuText(const QString& text)
{
    QString escaped = text;
    return escaped.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

const QString userNameTip = QStringLiteral(
    "Copies the username to the pasteboard. You can then paste it anywhere you need it.");
const QString passwordTip = QStringLiteral(
    "Copies the password to the pasteboard. You can then paste it anywhere you need it.");
const QString editTip = QStringLiteral("Edit this entry in the edit window.");

} // namespace

QAction* NetKeyloft_StatusMenuController::newAction(const QString& title, QObject* parent)
{
    auto* action = new QAction(title, parent);
    action->setShortcut(QKeySequence());
    action->setMenuRole(QAction::NoRole);
    return action;
}

void NetKeyloft_StatusMenuController::createAllStaticMenuItems()
{
    using C = NetKeyloft_StatusMenuController;
    m_showEditWindowMenuItem = newAction(QStringLiteral("Show edit window"), this);
    connect(m_showEditWindowMenuItem, &QAction::triggered, this, [this] {
        // The item's action switches with the window's state.
        if (m_showEditWindowMenuItem->text() == QStringLiteral("Close edit window")) {
            closeEditWindow();
        } else {
            openEditWindow();
        }
    });

    m_sortMenu = new QMenu(QStringLiteral("Sort by"));
    m_sortMenu->setParent(m_menu.get(), Qt::Popup);
    const NetKeyloft_Preferences& preferences = m_env.preferences;
    const std::optional<SortKey> sortBy =
        SortKeys::fromPreferenceValue(preferences.sortByMenuItem());
    for (SortKey key : SortKeys::all) {
        const std::optional<int> tag = SortKeys::trayMenuTag(key);
        if (!tag) {
            continue;
        }
        QAction* item = newAction(SortKeys::trayMenuTitle(key), m_sortMenu);
        item->setData(*tag);
        item->setCheckable(true);
        item->setChecked(sortBy == key);
        connect(item, &QAction::triggered, this, [this, item] { sortMenuAction(item); });
        m_sortMenu->addAction(item);
    }
    m_sortMenu->addSeparator();
    QAction* ascending = newAction(QStringLiteral("Ascending"), m_sortMenu);
    ascending->setData(int(AscendingTag));
    ascending->setCheckable(true);
    ascending->setChecked(preferences.sortAscending());
    connect(ascending, &QAction::triggered, this, &C::sortAscendingMenuAction);
    m_sortMenu->addAction(ascending);
    QAction* descending = newAction(QStringLiteral("Descending"), m_sortMenu);
    descending->setData(int(DescendingTag));
    descending->setCheckable(true);
    descending->setChecked(!preferences.sortAscending());
    connect(descending, &QAction::triggered, this, &C::sortByDescendingMenuAction);
    m_sortMenu->addAction(descending);
    m_sortByMenuItem = m_sortMenu->menuAction();

    m_preferencesMenu = new QMenu(QStringLiteral("Preferences"));
    m_preferencesMenu->setParent(m_menu.get(), Qt::Popup);
    m_toggleStartupMenuItem =
        newAction(QStringLiteral("Start Keyloft at Startup"), m_preferencesMenu);
    m_toggleStartupMenuItem->setData(int(StartupTag));
    m_toggleStartupMenuItem->setCheckable(true);
    m_toggleStartupMenuItem->setChecked(preferences.loadAtStartup());
    connect(m_toggleStartupMenuItem, &QAction::triggered, this,
            [this] { toggleStartupPref(m_toggleStartupMenuItem); });
    m_preferencesMenu->addAction(m_toggleStartupMenuItem);
    m_checkForUpdatesMenuItem = newAction(QStringLiteral("Check for updates"), m_preferencesMenu);
    connect(m_checkForUpdatesMenuItem, &QAction::triggered, this, &C::toggleCheckForUpdates);
    m_preferencesMenu->addAction(m_checkForUpdatesMenuItem);
    m_preferencesMenuItem = m_preferencesMenu->menuAction();

    m_showHelpMenuItem = newAction(QStringLiteral("Help"), this);
    connect(m_showHelpMenuItem, &QAction::triggered, this, &C::openHelp);
    m_quitMenuItem = newAction(QStringLiteral("Quit Keyloft"), this);
    connect(m_quitMenuItem, &QAction::triggered, this, &C::quitAction);
    m_newPasswordMenuItem = newAction(QStringLiteral("New Password"), this);
    connect(m_newPasswordMenuItem, &QAction::triggered, this, &C::openEditWindowCreateNewPassword);
    m_generatePasswordMenuItem = newAction(tr("Generate Password"), this);
    m_generatePasswordMenuItem->setToolTip(
        tr("Copies a new password to the clipboard, made as the preferences say."));
    connect(m_generatePasswordMenuItem, &QAction::triggered, this, &C::generatePasswordAction);
    m_aboutMenuItem = newAction(QStringLiteral("About Keyloft"), this);
    connect(m_aboutMenuItem, &QAction::triggered, this, &C::aboutMenuAction);
    createLockAndFindMenuItems();
}

void NetKeyloft_StatusMenuController::observeList()
{
    using N = ItemListNotifier;
    const N& notifier = m_keychainController->notifier();
    const auto rebuild = [this] { populateMenu(); };
    connect(&notifier, &N::rowsInserted, this, rebuild);
    connect(&notifier, &N::rowsRemoved, this, rebuild);
    connect(&notifier, &N::orderChanged, this, rebuild);
    connect(&notifier, &N::reloaded, this, rebuild);
    connect(&notifier, &N::rowChanged, this, [this](int, N::Fields fields) {
        // The menu shows labels and user names; a copy's new use count changes neither.
        if (fields & (N::Field::Label | N::Field::UserName)) {
            populateMenu();
        }
    });
}

QMenu* NetKeyloft_StatusMenuController::buildMainMenu()
{
    findMaxNumberOfItemsInMenu();
    const NetKeyloft_Preferences& preferences = m_env.preferences;
    sortByMenuItemTag(preferences.sortByMenuItem());
    setSortMenuItemOn(preferences.sortByMenuItem());
    setSortAscendingOn(preferences.sortAscending());
    populateMenu();
    return m_menu.get();
}

void NetKeyloft_StatusMenuController::findMaxNumberOfItemsInMenu()
{
    // Unsigned arithmetic: on screens lower than 268 pixels the result wraps to a
    // huge number and every entry stands on the top level; a result of 0 (268 to 289
    // pixels) would pass every entry down the chain for ever, so a level holds at
    // least one.
    const unsigned height = unsigned(std::max(0, m_env.screenHeight()));
    const unsigned computed = (height - 70U) / 22U - 9U;
    m_maxItemsInMenu = int(std::clamp(computed, 1U, unsigned(INT_MAX)));
}

void NetKeyloft_StatusMenuController::removeAllItemsInMenu()
{
    if (!m_menu || m_menu->actions().isEmpty()) {
        return;
    }
    const QList<QAction*> actions = m_menu->actions();
    for (QAction* action : actions) {
        m_menu->removeAction(action);
    }
    // Separators and entry items belong to the menu; the fixed items to the controller.
    for (QAction* action : actions) {
        if (action->parent() == m_menu.get()) {
            action->deleteLater();
        }
    }
    for (const QPointer<QMenu>& menu : m_dynamicMenus) {
        if (menu) {
            menu->deleteLater();
        }
    }
    m_dynamicMenus.clear();
}

void NetKeyloft_StatusMenuController::populateMenu()
{
    removeAllItemsInMenu();
    if (m_locked) {
        populateLockedMenu();
        return;
    }
    m_menu->addAction(m_newPasswordMenuItem);
    m_menu->addAction(m_generatePasswordMenuItem);
    m_menu->addAction(m_showEditWindowMenuItem);
    m_menu->addAction(m_findMenuItem);
    m_menu->addAction(m_sortByMenuItem);
    m_menu->addSeparator();
    if (!m_keychainController->keychainItems().empty()) {
        buildDynamicMenuItems();
        m_menu->addSeparator();
        m_sortByMenuItem->setEnabled(true);
    } else {
        m_sortByMenuItem->setEnabled(false);
    }
    if (m_keychainController->keychain().isLockable()) {
        m_menu->addAction(m_lockMenuItem);
    }
    m_menu->addAction(m_preferencesMenuItem);
    m_menu->addAction(m_showHelpMenuItem);
    m_menu->addAction(m_aboutMenuItem);
    m_menu->addAction(m_quitMenuItem);
}

void NetKeyloft_StatusMenuController::buildDynamicMenuItems()
{
    const std::vector<ItemPtr>& items = m_keychainController->keychainItems();
    if (items.empty()) {
        return;
    }
    const auto limit = std::size_t(m_maxItemsInMenu);
    std::span<const ItemPtr> shown(items);
    if (items.size() > limit) {
        QAction* more = newAction(QStringLiteral("more passwords"), m_menu.get());
        more->setMenu(recursiveBuildMenu(shown.subspan(limit), int(limit), m_menu.get()));
        m_menu->addAction(more);
        m_menu->addSeparator();
        shown = shown.first(limit);
    }
    addEntryItems(m_menu.get(), shown, 0);
}

QMenu* NetKeyloft_StatusMenuController::recursiveBuildMenu(std::span<const ItemPtr> items,
                                                           int firstPosition, QWidget* parent)
{
    const auto limit = std::size_t(m_maxItemsInMenu);
    if (items.size() <= limit) {
        return assembleMenuWithItems(items, firstPosition, parent);
    }
    // Later levels are filled when the user first opens them: a list of thousands
    // of entries would otherwise build thousands of submenus at every rebuild.
    auto* level = new QMenu(QStringLiteral("more.."), parent);
    m_dynamicMenus.emplace_back(level);
    fillWhenShown(level, [this, level, firstPosition,
                          entries = std::vector<ItemPtr>(items.begin(), items.end())] {
        const auto limit = std::size_t(m_maxItemsInMenu);
        const std::span<const ItemPtr> all(entries);
        QAction* more = newAction(QStringLiteral("more.."), level);
        more->setMenu(recursiveBuildMenu(all.subspan(limit), firstPosition + int(limit), level));
        level->addAction(more);
        level->addSeparator();
        addEntryItems(level, all.first(limit), firstPosition);
    });
    return level;
}

QMenu* NetKeyloft_StatusMenuController::assembleMenuWithItems(std::span<const ItemPtr> items,
                                                              int firstPosition, QWidget* parent)
{
    auto* level = new QMenu(QStringLiteral("more.."), parent);
    m_dynamicMenus.emplace_back(level);
    fillWhenShown(level, [this, level, firstPosition,
                          entries = std::vector<ItemPtr>(items.begin(), items.end())] {
        addEntryItems(level, entries, firstPosition);
    });
    return level;
}

void NetKeyloft_StatusMenuController::fillWhenShown(QMenu* level, std::function<void()> fill)
{
    connect(level, &QMenu::aboutToShow, this, std::move(fill), Qt::SingleShotConnection);
}

void NetKeyloft_StatusMenuController::addEntryItems(QMenu* menu, std::span<const ItemPtr> items,
                                                    int firstPosition)
{
    // The items are a run of the list, so each one's position is known without a search.
    int position = firstPosition;
    for (const ItemPtr& item : items) {
        addEntryItem(menu, item, position++);
    }
}

QAction* NetKeyloft_StatusMenuController::addEntryItem(QMenu* menu, const ItemPtr& item,
                                                       int position)
{
    QAction* entry = newAction(menuText(item->label()), menu);
    entry->setMenu(menuForItemAtPosition(*item, position, menu));
    menu->addAction(entry);
    return entry;
}

QMenu* NetKeyloft_StatusMenuController::menuForItem(const NetKeyloft_Item& item, QWidget* parent)
{
    return menuForItemAtPosition(item, m_keychainController->indexInKeychainItemsForItem(&item),
                                 parent);
}

QMenu* NetKeyloft_StatusMenuController::menuForItemAtPosition(const NetKeyloft_Item& item,
                                                              int position, QWidget* parent)
{
    auto* submenu = new QMenu(menuText(item.label()), parent);
    submenu->setToolTipsVisible(true);
    m_dynamicMenus.emplace_back(submenu);
    if (position == -1) {
        return submenu;
    }
    QAction* userName =
        newAction(menuText(QStringLiteral("Copy %1").arg(item.userName())), submenu);
    userName->setToolTip(userNameTip);
    connect(userName, &QAction::triggered, this, [this, userName] { getUserNameAction(userName); });
    QAction* password = newAction(QStringLiteral("Copy password"), submenu);
    password->setToolTip(passwordTip);
    connect(password, &QAction::triggered, this, [this, password] { getPwAction(password); });
    QAction* edit = newAction(menuText(QStringLiteral("Edit %1").arg(item.label())), submenu);
    edit->setToolTip(editTip);
    connect(edit, &QAction::triggered, this, [this, edit] { editAction(edit); });
    for (QAction* action : {userName, password, edit}) {
        action->setData(position);
        submenu->addAction(action);
    }
    return submenu;
}
