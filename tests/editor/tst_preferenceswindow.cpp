// The preferences window over a launched tray application with a real keychain file,
// settings file and autostart folder in a temporary folder, its controls driven with
// mouse clicks and keys on the offscreen platform.

#include "AppFixture.h"

#include "editor/NetKeyloft_PreferencesWindowController.h"
#include "platform/login/LoginItemsService.h"
#include "settings/NetKeyloft_HelpWindowController.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

const QString frameKey = QStringLiteral("NKL_PREF_WINDOW_FRAME");

// The titles of the sort submenu's items that carry a check mark.
QStringList checkedSortItems(const QMenu* sortMenu)
{
    QStringList titles;
    for (const QAction* action : sortMenu->actions()) {
        if (action->isChecked()) {
            titles << action->text();
        }
    }
    return titles;
}

QStringList listLabels(NetKeyloft_KeychainController& list)
{
    QStringList labels;
    for (int i = 0; i < int(list.countOfKeychainItems()); ++i) {
        labels << list.labelInKeychainItemsAtIndex(i);
    }
    return labels;
}

int loginItemCount(AppFixture& app)
{
    QList<LoginItem> items;
    if (app.autostart().copyItems(&items) != 0) {
        return -1;
    }
    return int(items.size());
}

} // namespace

class TestPreferencesWindow : public QObject {
    Q_OBJECT

private:
    // The launched application and its preferences window.
    struct Session {
        AppFixture app;
        std::unique_ptr<NetKeyloft_PreferencesWindowController> prefs;

        bool open(const QStringList& labels)
        {
            app.createKeychain(labels);
            if (!app.launch()) {
                return false;
            }
            prefs = std::make_unique<NetKeyloft_PreferencesWindowController>(app.controller(),
                                                                             app.preferences());
            return true;
        }
        template <typename T> T* control(const char* name) const
        {
            return prefs->window()->findChild<T*>(QString::fromLatin1(name));
        }
        QComboBox* sortBy() const { return control<QComboBox>("sortByComboBox"); }
        QRadioButton* ascending() const
        {
            return control<QRadioButton>("sortAscendingRadioButton");
        }
        QRadioButton* descending() const
        {
            return control<QRadioButton>("sortDescendingRadioButton");
        }
        QCheckBox* spelling() const { return control<QCheckBox>("useSpellCheckerCheckBox"); }
        QCheckBox* startup() const { return control<QCheckBox>("loadAtStartupCheckBox"); }
        QPushButton* autoLoginHelp() const
        {
            return control<QPushButton>("disableAutoLoginHelpButton");
        }
        QMenu* sortMenu() { return app.controller().sortMenu(); }
    };

    // Clicks a check box or radio button on its mark, as the user does (a click on the
    // empty space to the right of its text does nothing).
    static void clickMark(QAbstractButton* button)
    {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
    }

    // Chooses the item at index from the combo box's list, as the user does.
    static void choose(QComboBox* comboBox, int index)
    {
        QTest::mouseClick(comboBox, Qt::LeftButton);
        QAbstractItemView* view = comboBox->view();
        QTRY_VERIFY(view->isVisible());
        // The list ignores a release that comes within a double click of its opening.
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        const QRect item = view->visualRect(view->model()->index(index, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
        QTRY_VERIFY(!view->isVisible());
    }

private Q_SLOTS:
    void opensInFrontShowingThePreferences();
    void sortChoicesResortLikeTheTrayMenu();
    void controlsFollowChangesMadeElsewhere();
    void startAtLoginSwitchesLikeTheTrayMenu();
    void spellCheckingIsStored();
    void autoLoginHelpOpensTheHelp();
    void frameIsSavedAndRestored();
    void closingHidesAndTheTrayShowsTheSameWindow();
};

void TestPreferencesWindow::opensInFrontShowingThePreferences()
{
    Session session;
    session.app.preferences().setSortByMenuItem(1);
    session.app.preferences().setSortAscending(false);
    session.app.defaults().setValue(QStringLiteral("NKLPREFS_UseSpellChecker_Key"), false);
    QVERIFY(session.open({QStringLiteral("b"), QStringLiteral("a")}));
    QWidget* window = session.prefs->window();
    QVERIFY(window->isVisible());
    QVERIFY(QTest::qWaitForWindowActive(window));
    QVERIFY(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(!window->testAttribute(Qt::WA_DeleteOnClose));

    QCOMPARE(session.sortBy()->currentIndex(), 1);
    QCOMPARE(session.sortBy()->currentText(), QStringLiteral("Name"));
    QVERIFY(!session.ascending()->isChecked());
    QVERIFY(session.descending()->isChecked());
    QVERIFY(!session.spelling()->isChecked());
    // The first launch put the application among the login items.
    QVERIFY(session.startup()->isChecked());
    QVERIFY(session.startup()->isEnabled());
    // The spell-checking control says when a change takes effect.
    QVERIFY(
        session.spelling()->toolTip().contains(QStringLiteral("when the edit window next opens")));
}

void TestPreferencesWindow::sortChoicesResortLikeTheTrayMenu()
{
    Session session;
    // All use counts equal and dates in creation order: each key gives its own order.
    QVERIFY(
        session.open({QStringLiteral("beta"), QStringLiteral("Alpha"), QStringLiteral("gamma")}));
    QMenu* tray = session.app.controller().menu();

    choose(session.sortBy(), 1);
    QCOMPARE(session.app.preferences().sortByMenuItem(), 1);
    QCOMPARE(checkedSortItems(session.sortMenu()),
             (QStringList{QStringLiteral("Name"), QStringLiteral("Ascending")}));
    const QStringList byName{QStringLiteral("Alpha"), QStringLiteral("beta"),
                             QStringLiteral("gamma")};
    QCOMPARE(listLabels(session.app.list()), byName);
    QCOMPARE(entryTitles(tray), byName);

    clickMark(session.descending());
    QCOMPARE(session.app.preferences().sortAscending(), false);
    QVERIFY(!session.ascending()->isChecked());
    QCOMPARE(checkedSortItems(session.sortMenu()),
             (QStringList{QStringLiteral("Name"), QStringLiteral("Descending")}));
    const QStringList byNameDescending{QStringLiteral("gamma"), QStringLiteral("beta"),
                                       QStringLiteral("Alpha")};
    QCOMPARE(listLabels(session.app.list()), byNameDescending);
    QCOMPARE(entryTitles(tray), byNameDescending);

    // Creation order has no item in the tray menu: the key marks nothing there.
    choose(session.sortBy(), 0);
    QCOMPARE(session.app.preferences().sortByMenuItem(), 0);
    QCOMPARE(checkedSortItems(session.sortMenu()), QStringList{QStringLiteral("Descending")});
    const QStringList byCreationDescending{QStringLiteral("gamma"), QStringLiteral("Alpha"),
                                           QStringLiteral("beta")};
    QCOMPARE(listLabels(session.app.list()), byCreationDescending);
    QCOMPARE(entryTitles(tray), byCreationDescending);

    // Keys work too; the arrow moves to the next key and sorts by it.
    session.sortBy()->setFocus();
    QTest::keyClick(session.sortBy(), Qt::Key_Down);
    QCOMPARE(session.app.preferences().sortByMenuItem(), 1);
    QCOMPARE(checkedSortItems(session.sortMenu()),
             (QStringList{QStringLiteral("Name"), QStringLiteral("Descending")}));

    clickMark(session.ascending());
    QCOMPARE(session.app.preferences().sortAscending(), true);
    QCOMPARE(listLabels(session.app.list()), byName);
    QCOMPARE(entryTitles(tray), byName);

    choose(session.sortBy(), 3);
    QCOMPARE(session.app.preferences().sortByMenuItem(), 3);
    QCOMPARE(checkedSortItems(session.sortMenu()),
             (QStringList{QStringLiteral("Most used"), QStringLiteral("Ascending")}));
}

void TestPreferencesWindow::controlsFollowChangesMadeElsewhere()
{
    Session session;
    QVERIFY(session.open({QStringLiteral("one")}));
    QCOMPARE(session.sortBy()->currentIndex(), 2);
    QVERIFY(session.ascending()->isChecked());

    actionTitled(session.sortMenu(), QStringLiteral("Most used"))->trigger();
    QCOMPARE(session.sortBy()->currentIndex(), 3);
    actionTitled(session.sortMenu(), QStringLiteral("Descending"))->trigger();
    QVERIFY(session.descending()->isChecked());
    QVERIFY(!session.ascending()->isChecked());

    // The edit window's header stores the key through the preferences.
    session.app.preferences().setSortByMenuItem(0);
    QCOMPARE(session.sortBy()->currentIndex(), 0);
    session.app.preferences().setSortAscending(true);
    QVERIFY(session.ascending()->isChecked());
    // A key outside the four shows no choice rather than a wrong one.
    session.app.preferences().setSortByMenuItem(7);
    QCOMPARE(session.sortBy()->currentIndex(), -1);

    session.app.preferences().defaultsController().setValue(
        QStringLiteral("NKLPREFS_UseSpellChecker_Key"), false);
    QVERIFY(!session.spelling()->isChecked());

    session.app.controller().toggleStartupMenuItem()->trigger();
    QVERIFY(!session.startup()->isChecked());
    session.app.controller().toggleStartupMenuItem()->trigger();
    QVERIFY(session.startup()->isChecked());
}

void TestPreferencesWindow::startAtLoginSwitchesLikeTheTrayMenu()
{
    Session session;
    QVERIFY(session.open({}));
    QAction* trayItem = session.app.controller().toggleStartupMenuItem();
    QCOMPARE(loginItemCount(session.app), 1);

    clickMark(session.startup());
    QVERIFY(!session.startup()->isChecked());
    QVERIFY(!trayItem->isChecked());
    QCOMPARE(session.app.preferences().loadAtStartup(), false);
    QCOMPARE(loginItemCount(session.app), 0);

    // The space bar on the focused check box switches it back on.
    session.startup()->setFocus();
    QTest::keyClick(session.startup(), Qt::Key_Space);
    QVERIFY(session.startup()->isChecked());
    QVERIFY(trayItem->isChecked());
    QCOMPARE(session.app.preferences().loadAtStartup(), true);
    QCOMPARE(loginItemCount(session.app), 1);

    // Stored for the next launch, whose tray item and window show it.
    clickMark(session.startup());
    QVERIFY(session.app.defaults().synchronize());
    session.prefs.reset();
    QVERIFY(session.app.launch());
    session.prefs = std::make_unique<NetKeyloft_PreferencesWindowController>(
        session.app.controller(), session.app.preferences());
    QVERIFY(!session.app.controller().toggleStartupMenuItem()->isChecked());
    QVERIFY(!session.startup()->isChecked());
    QCOMPARE(loginItemCount(session.app), 0);
}

void TestPreferencesWindow::spellCheckingIsStored()
{
    Session session;
    QVERIFY(session.open({}));
    QVERIFY(session.spelling()->isChecked());
    const QString keyPath =
        UserDefaultsController::keyPathForKey(QStringLiteral("NKLPREFS_UseSpellChecker_Key"));
    QStringList heard;
    session.app.preferences().defaultsController().addObserver(
        &heard, keyPath, [&heard](const QString& path) { heard << path; });

    clickMark(session.spelling());
    QVERIFY(!session.spelling()->isChecked());
    QCOMPARE(heard, QStringList{keyPath});
    QCOMPARE(session.app.defaults().boolForKey(QStringLiteral("NKLPREFS_UseSpellChecker_Key")),
             false);
    session.app.preferences().defaultsController().removeObserver(&heard, keyPath);
}

void TestPreferencesWindow::autoLoginHelpOpensTheHelp()
{
    Session session;
    QVERIFY(session.open({}));
    QVERIFY(!session.app.controller().helpWindowController());
    QTest::mouseClick(session.autoLoginHelp(), Qt::LeftButton);
    NetKeyloft_HelpWindowController* help = session.app.controller().helpWindowController();
    QVERIFY(help);
    QVERIFY(help->window()->isVisible());
}

void TestPreferencesWindow::frameIsSavedAndRestored()
{
    Session session;
    QVERIFY(session.open({}));
    QVERIFY(!session.app.defaults().hasStoredValue(frameKey) ||
            session.app.defaults().stringForKey(frameKey) != QStringLiteral("40 50 520 410"));
    QWidget* window = session.prefs->window();
    window->move(40, 50);
    window->resize(520, 410);
    QTRY_COMPARE(session.app.defaults().stringForKey(frameKey), QStringLiteral("40 50 520 410"));
    window->close();
    QCOMPARE(session.app.defaults().stringForKey(frameKey), QStringLiteral("40 50 520 410"));

    // The next window, as at the next start, comes back there.
    session.prefs.reset();
    // Observers went with the window: changing the preferences reaches no dead window.
    session.app.preferences().setSortByMenuItem(1);
    session.app.preferences().defaultsController().setValue(
        QStringLiteral("NKLPREFS_UseSpellChecker_Key"), false);
    session.prefs = std::make_unique<NetKeyloft_PreferencesWindowController>(
        session.app.controller(), session.app.preferences());
    QVERIFY(session.prefs->window()->isVisible());
    QCOMPARE(session.prefs->window()->pos(), QPoint(40, 50));
    QCOMPARE(session.prefs->window()->size(), QSize(520, 410));
    QCOMPARE(session.sortBy()->currentIndex(), 1);
}

void TestPreferencesWindow::closingHidesAndTheTrayShowsTheSameWindow()
{
    AppFixture app;
    app.createKeychain({QStringLiteral("b"), QStringLiteral("a")});
    QVERIFY(app.launch());
    QVERIFY(!app.controller().prefsWindowController());
    app.controller().openPreferencesWindow();
    NetKeyloft_PreferencesWindowController* prefs = app.controller().prefsWindowController();
    QVERIFY(prefs);
    QPointer<QWidget> window = prefs->window();
    QVERIFY(QTest::qWaitForWindowActive(window));
    window->move(30, 35);
    QTest::keyClick(window, Qt::Key_Escape);
    QVERIFY(window && !window->isVisible());

    // While hidden it still follows the preferences.
    actionTitled(app.controller().sortMenu(), QStringLiteral("Name"))->trigger();
    app.controller().openPreferencesWindow();
    QCOMPARE(app.controller().prefsWindowController(), prefs);
    QCOMPARE(prefs->window(), window.data());
    QVERIFY(QTest::qWaitForWindowActive(window));
    QCOMPARE(window->pos(), QPoint(30, 35));
    QCOMPARE(window->findChild<QComboBox*>(QStringLiteral("sortByComboBox"))->currentIndex(), 1);

    window->close();
    QVERIFY(window && !window->isVisible());
    app.controller().openPreferencesWindow();
    QVERIFY(window->isVisible());
}

QTEST_MAIN(TestPreferencesWindow)
#include "tst_preferenceswindow.moc"
