// The preferences window over a launched tray application with a real keychain file,
// settings file and autostart folder in a temporary folder, its controls driven with
// mouse clicks and keys on the offscreen platform.

#include "AppFixture.h"

#include "editor/NetKeyloft_PreferencesWindowController.h"
#include "platform/login/LoginItemsService.h"
#include "settings/NetKeyloft_HelpWindowController.h"
#include "store/PasswordGenerator.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

namespace {

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
    void sortChoicesResortLikeTheTrayMenu();
    void controlsFollowChangesMadeElsewhere();
    void startAtLoginSwitchesLikeTheTrayMenu();
    void checkBoxesAndSpinBoxesStoreTheirSettings();
    void autoLoginHelpOpensTheHelp();
    void windowMadeAgainShowsChangesMadeMeanwhile();
    void closingHidesAndTheTrayShowsTheSameWindow();
};

void TestPreferencesWindow::sortChoicesResortLikeTheTrayMenu()
{
    Session session;
    // All use counts equal and dates in creation order: each key gives its own order.
    QVERIFY(
        session.open({QStringLiteral("beta"), QStringLiteral("Alpha"), QStringLiteral("gamma")}));
    QMenu* tray = session.app.controller().menu();

    choose(session.sortBy(), 1);
    QCOMPARE(checkedTitles(session.sortMenu()),
             (QStringList{QStringLiteral("Name"), QStringLiteral("Ascending")}));
    QCOMPARE(entryTitles(tray), (QStringList{QStringLiteral("Alpha"), QStringLiteral("beta"),
                                             QStringLiteral("gamma")}));

    clickMark(session.descending());
    QVERIFY(!session.ascending()->isChecked());
    QCOMPARE(checkedTitles(session.sortMenu()),
             (QStringList{QStringLiteral("Name"), QStringLiteral("Descending")}));
    QCOMPARE(entryTitles(tray), (QStringList{QStringLiteral("gamma"), QStringLiteral("beta"),
                                             QStringLiteral("Alpha")}));

    // Creation order has no item in the tray menu: the key marks nothing there.
    choose(session.sortBy(), 0);
    QCOMPARE(checkedTitles(session.sortMenu()), QStringList{QStringLiteral("Descending")});
    QCOMPARE(entryTitles(tray), (QStringList{QStringLiteral("gamma"), QStringLiteral("Alpha"),
                                             QStringLiteral("beta")}));

    // Keys work too; the arrow moves to the next key and sorts by it.
    session.sortBy()->setFocus();
    QTest::keyClick(session.sortBy(), Qt::Key_Down);
    QCOMPARE(session.app.preferences().sortByMenuItem(), 1);
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

    auto* lock = session.control<QSpinBox>("lockAfterIdleSpinBox");
    QCOMPARE(lock->value(), 15);
    session.app.preferences().setLockAfterIdleMinutes(0);
    QCOMPARE(lock->text(), qtTrId("KLOFT_PrefsLockNever"));
    lock->setValue(30);
    QCOMPARE(session.app.preferences().lockAfterIdleMinutes(), 30);
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
    QVERIFY(trayItem->isChecked());
    QCOMPARE(loginItemCount(session.app), 1);
}

void TestPreferencesWindow::checkBoxesAndSpinBoxesStoreTheirSettings()
{
    using CopiedText = NetKeyloft_Preferences::CopiedText;
    Session session;
    QVERIFY(session.open({}));
    NetKeyloft_Preferences& preferences = session.app.preferences();
    auto* clearAfter = session.control<QSpinBox>("clearClipboardAfterSpinBox");
    auto* length = session.control<QSpinBox>("generatorLengthSpinBox");
    const auto delayMs = [&](CopiedText copied) {
        return preferences.clipboardClearingDelay(copied)
            .value_or(std::chrono::milliseconds(-1))
            .count();
    };
    QCOMPARE(delayMs(CopiedText::UserName), -1);

    clickMark(session.spelling());
    QCOMPARE(session.app.defaults().boolForKey(QStringLiteral("NKLPREFS_UseSpellChecker_Key")),
             false);
    clickMark(session.control<QCheckBox>("clearCopiedUserNamesCheckBox"));
    QCOMPARE(delayMs(CopiedText::UserName), 30000);
    clearAfter->setFocus();
    QTest::keyClick(clearAfter, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(clearAfter, QStringLiteral("0"));
    QCOMPARE(clearAfter->text(), QStringLiteral("never"));
    QCOMPARE(delayMs(CopiedText::Password), -1);
    length->setFocus();
    QTest::keyClick(length, Qt::Key_Up);
    QCOMPARE(PasswordRules::stored(session.app.defaults()).length, 21);

    // Every class can be left out but the last one.
    const char* const classes[] = {"generatorLowercaseCheckBox", "generatorUppercaseCheckBox",
                                   "generatorDigitsCheckBox", "generatorSymbolsCheckBox"};
    for (const char* name : classes) {
        clickMark(session.control<QCheckBox>(name));
    }
    QVERIFY(session.control<QCheckBox>("generatorSymbolsCheckBox")->isChecked());
    const PasswordRules rules = PasswordRules::stored(session.app.defaults());
    QVERIFY(!rules.lowercase && !rules.uppercase && !rules.digits && rules.symbols);

    // Changed elsewhere, shown here.
    preferences.defaultsController().setValue(NKLPREFS_GeneratorLength_Key, 64);
    QCOMPARE(length->value(), 64);
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

void TestPreferencesWindow::windowMadeAgainShowsChangesMadeMeanwhile()
{
    Session session;
    QVERIFY(session.open({}));
    session.prefs.reset();
    // Observers went with the window: changing the preferences reaches no dead window.
    session.app.preferences().setSortByMenuItem(1);
    session.app.preferences().defaultsController().setValue(
        QStringLiteral("NKLPREFS_UseSpellChecker_Key"), false);
    session.prefs = std::make_unique<NetKeyloft_PreferencesWindowController>(
        session.app.controller(), session.app.preferences());
    QVERIFY(session.prefs->window()->isVisible());
    QCOMPARE(session.sortBy()->currentIndex(), 1);
    QVERIFY(!session.spelling()->isChecked());
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
