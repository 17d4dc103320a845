// The preferences window over a launched tray application with a real keychain file,
// settings file and autostart folder in a temporary folder, its controls driven with
// mouse clicks and keys on the offscreen platform.

#include "AppFixture.h"

#include "editor/NetKeyloft_PreferencesWindowController.h"
#include "platform/login/LoginItemsService.h"
#include "settings/NetKeyloft_HelpWindowController.h"
#include "store/PasswordGenerator.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QMenu>
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

// Clicks a check box or radio button on its mark, as the user does (a click on the
// empty space to the right of its text does nothing).
void clickMark(QAbstractButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
}

// The launched application and a preferences window of its own.
struct Session {
    AppFixture app;
    std::unique_ptr<NetKeyloft_PreferencesWindowController> prefs;

    explicit Session(const QStringList& labels = {})
    {
        app.createKeychain(labels);
        if (!app.launch()) {
            qFatal("the application did not launch");
        }
        prefs = std::make_unique<NetKeyloft_PreferencesWindowController>(app.controller(),
                                                                         app.preferences());
    }
    template <typename T = QAbstractButton> T* control(const char* name) const
    {
        return prefs->window()->findChild<T*>(QString::fromLatin1(name));
    }
    QComboBox* sortBy() const { return control<QComboBox>("sortByComboBox"); }
    QMenu* sortMenu() { return app.controller().sortMenu(); }
};

} // namespace

class TestPreferencesWindow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sortChoicesResortLikeTheTrayMenu();
    void controlsFollowChangesMadeElsewhere();
    void checkBoxesAndSpinBoxesStoreTheirSettings();
    void closingHidesAndTheTrayShowsTheSameWindow();
};

void TestPreferencesWindow::sortChoicesResortLikeTheTrayMenu()
{
    // Name and creation order give two orders.
    Session session({QStringLiteral("beta"), QStringLiteral("Alpha"), QStringLiteral("gamma")});
    QMenu* tray = session.app.controller().menu();

    // The arrow keys choose as the open list does: from "Date created" up to "Name".
    QTest::keyClick(session.sortBy(), Qt::Key_Up);
    QCOMPARE(checkedTitles(session.sortMenu()),
             (QStringList{QStringLiteral("Name"), QStringLiteral("Ascending")}));
    QCOMPARE(entryTitles(tray), (QStringList{QStringLiteral("Alpha"), QStringLiteral("beta"),
                                             QStringLiteral("gamma")}));

    clickMark(session.control("sortDescendingRadioButton"));
    QVERIFY(!session.control("sortAscendingRadioButton")->isChecked());
    QCOMPARE(checkedTitles(session.sortMenu()),
             (QStringList{QStringLiteral("Name"), QStringLiteral("Descending")}));

    // Creation order has no item in the tray menu: the key marks nothing there.
    QTest::keyClick(session.sortBy(), Qt::Key_Up);
    QCOMPARE(checkedTitles(session.sortMenu()), QStringList{QStringLiteral("Descending")});
    QCOMPARE(entryTitles(tray), (QStringList{QStringLiteral("gamma"), QStringLiteral("Alpha"),
                                             QStringLiteral("beta")}));
}

void TestPreferencesWindow::controlsFollowChangesMadeElsewhere()
{
    Session session;
    actionTitled(session.sortMenu(), QStringLiteral("Most used"))->trigger();
    QCOMPARE(session.sortBy()->currentIndex(), 3);
    actionTitled(session.sortMenu(), QStringLiteral("Descending"))->trigger();
    QVERIFY(session.control("sortDescendingRadioButton")->isChecked());
    QVERIFY(!session.control("sortAscendingRadioButton")->isChecked());

    // The edit window's header stores the key through the preferences.
    session.app.preferences().setSortByMenuItem(0);
    QCOMPARE(session.sortBy()->currentIndex(), 0);
    // A key outside the four shows no choice rather than a wrong one.
    session.app.preferences().setSortByMenuItem(7);
    QCOMPARE(session.sortBy()->currentIndex(), -1);

    session.app.preferences().defaultsController().setValue(
        QStringLiteral("NKLPREFS_UseSpellChecker_Key"), false);
    QVERIFY(!session.control("useSpellCheckerCheckBox")->isChecked());
    session.app.controller().toggleStartupMenuItem()->trigger();
    QVERIFY(!session.control("loadAtStartupCheckBox")->isChecked());

    auto* lock = session.control<QSpinBox>("lockAfterIdleSpinBox");
    session.app.preferences().setLockAfterIdleMinutes(0);
    QCOMPARE(lock->text(), qtTrId("KLOFT_PrefsLockNever"));
    lock->setValue(30);
    QCOMPARE(session.app.preferences().lockAfterIdleMinutes(), 30);

    // A window made again shows what changed meanwhile; the observers went with the old
    // one, so changing the preferences reaches no dead window.
    session.prefs.reset();
    session.app.preferences().setSortByMenuItem(1);
    session.prefs = std::make_unique<NetKeyloft_PreferencesWindowController>(
        session.app.controller(), session.app.preferences());
    QCOMPARE(session.sortBy()->currentIndex(), 1);
    QVERIFY(!session.control("useSpellCheckerCheckBox")->isChecked());
    QCOMPARE(session.control<QSpinBox>("lockAfterIdleSpinBox")->value(), 30);
}

void TestPreferencesWindow::checkBoxesAndSpinBoxesStoreTheirSettings()
{
    using CopiedText = NetKeyloft_Preferences::CopiedText;
    Session session;
    NetKeyloft_Preferences& preferences = session.app.preferences();
    // Start at login switches like the tray menu's item, by click or by key.
    QAction* trayItem = session.app.controller().toggleStartupMenuItem();
    QAbstractButton* startup = session.control("loadAtStartupCheckBox");
    clickMark(startup);
    QVERIFY(!startup->isChecked());
    QVERIFY(!trayItem->isChecked());
    QCOMPARE(preferences.loadAtStartup(), false);
    QCOMPARE(loginItemCount(session.app), 0);
    startup->setFocus();
    QTest::keyClick(startup, Qt::Key_Space);
    QVERIFY(trayItem->isChecked());
    QCOMPARE(loginItemCount(session.app), 1);

    // The help button beside it opens the help on automatic login.
    QVERIFY(!session.app.controller().helpWindowController());
    QTest::mouseClick(session.control("disableAutoLoginHelpButton"), Qt::LeftButton);
    NetKeyloft_HelpWindowController* help = session.app.controller().helpWindowController();
    QVERIFY(help && help->window()->isVisible());

    auto* clearAfter = session.control<QSpinBox>("clearClipboardAfterSpinBox");
    auto* length = session.control<QSpinBox>("generatorLengthSpinBox");
    const auto delayMs = [&](CopiedText copied) {
        return preferences.clipboardClearingDelay(copied)
            .value_or(std::chrono::milliseconds(-1))
            .count();
    };
    QCOMPARE(delayMs(CopiedText::UserName), -1);
    clickMark(session.control("useSpellCheckerCheckBox"));
    QCOMPARE(session.app.defaults().boolForKey(QStringLiteral("NKLPREFS_UseSpellChecker_Key")),
             false);
    clickMark(session.control("clearCopiedUserNamesCheckBox"));
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
        clickMark(session.control(name));
    }
    QVERIFY(session.control("generatorSymbolsCheckBox")->isChecked());
    const PasswordRules rules = PasswordRules::stored(session.app.defaults());
    QVERIFY(!rules.lowercase && !rules.uppercase && !rules.digits && rules.symbols);

    // Changed elsewhere, shown here.
    preferences.defaultsController().setValue(NKLPREFS_GeneratorLength_Key, 64);
    QCOMPARE(length->value(), 64);
}

void TestPreferencesWindow::closingHidesAndTheTrayShowsTheSameWindow()
{
    AppFixture app;
    app.createKeychain({});
    QVERIFY(app.launch());
    app.controller().openPreferencesWindow();
    NetKeyloft_PreferencesWindowController* prefs = app.controller().prefsWindowController();
    QVERIFY(prefs);
    QPointer<QWidget> window = prefs->window();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_Escape);
    QVERIFY(window && !window->isVisible());

    // While hidden it still follows the preferences.
    actionTitled(app.controller().sortMenu(), QStringLiteral("Name"))->trigger();
    app.controller().openPreferencesWindow();
    QCOMPARE(app.controller().prefsWindowController(), prefs);
    QCOMPARE(prefs->window(), window.data());
    QVERIFY(QTest::qWaitForWindowActive(window));
    QCOMPARE(window->findChild<QComboBox*>(QStringLiteral("sortByComboBox"))->currentIndex(), 1);
}

QTEST_MAIN(TestPreferencesWindow)
#include "tst_preferenceswindow.moc"
