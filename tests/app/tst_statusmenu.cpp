// The tray application's launch, its menu and the menu's commands, driven through
// real menus on the offscreen platform over a real keychain file.

#include "AppFixture.h"

#include "ScopedEnvironment.h"
#include "app/ApplicationBus.h"
#include "app/ApplicationLifecycle.h"
#include "app/IdleLock.h"
#include "app/StatusWindow.h"
#include "editor/NetKeyloft_EditWindowController.h"
#include "platform/ClipboardClearer.h"
#include "platform/QtDialogs.h"
#include "platform/WaylandClipboard.h"
#include "platform/login/LoginItemsService.h"

#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QSessionManager>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <csignal>

namespace {

QStringList labels(int count)
{
    QStringList result;
    for (int i = 1; i <= count; ++i) {
        result << QStringLiteral("Entry %1").arg(i, 2, 10, QLatin1Char('0'));
    }
    return result;
}

const QStringList fixedTop{QStringLiteral("New Password"),     QStringLiteral("Generate Password"),
                           QStringLiteral("Show edit window"), qtTrId("KLOFT_FindMenuItem"),
                           QStringLiteral("Sort by"),          QStringLiteral("---")};
const QStringList fixedBottom{qtTrId("KLOFT_LockKeychainMenuItem"), QStringLiteral("Preferences"),
                              QStringLiteral("Help"), QStringLiteral("About Keyloft"),
                              QStringLiteral("Quit Keyloft")};

// What the desktop's screen saver sends when the screen locks, from a connection of
// its own. It is addressed to this process alone: the other test programs share the
// session bus, and a broadcast would lock their keychains as well.
void sendScreenSaverActive()
{
    QDBusConnection desktop =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("screensaver"));
    QVERIFY(desktop.isConnected());
    QDBusMessage signal = QDBusMessage::createTargetedSignal(
        QDBusConnection::sessionBus().baseService(), QStringLiteral("/org/freedesktop/ScreenSaver"),
        QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("ActiveChanged"));
    signal << true;
    QVERIFY(desktop.send(signal));
    QDBusConnection::disconnectFromBus(QStringLiteral("screensaver"));
}

// Opens the edit window on the first entry and types a user name into it, as the user
// would before the application is interrupted; returns the window.
QWidget* typeUserName(NetKeyloft_StatusMenuController& controller, const QString& userName)
{
    controller.editItem(controller.keychainController()->keychainItemAtIndex(0));
    QWidget* window = controller.editWindowController()->window();
    window->findChild<QLineEdit*>(QStringLiteral("userNameTextField"))->setText(userName);
    return window;
}

} // namespace

class TestStatusMenu : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void menuShape_data();
    void menuShape();
    void entryCommandsCopyCountAndClear();
    void failedCopiesAlertOnceAndCountNoUse();
    void sortCommandsReorderAndMark();
    void lockForgetsKeyAndKeepsEdits_data();
    void lockForgetsKeyAndKeepsEdits();
    void firstLaunchAddsOneLoginItem();
    void unopenableKeychainEndsBeforeTheTray();
    void withoutTrayTheWindowHoldsTheMenu();
    void firstStartProposesANewKeychain();
    void secondStartAndSessionEnd();
};

void TestStatusMenu::menuShape_data()
{
    // The offscreen screen's 800 device pixels are 400 logical ones at the test's scale
    // factor of 2, which give six entries per level (24 if counted in device pixels). On
    // low screens one entry a level, then (267 and less) every entry on the top level,
    // where the count wraps.
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("entries");
    QTest::addColumn<QList<int>>("levels");
    QTest::newRow("empty") << 400 << 0 << QList<int>{0};
    QTest::newRow("one") << 400 << 1 << QList<int>{1};
    QTest::newRow("exactly M") << 400 << 6 << QList<int>{6};
    QTest::newRow("M + 1") << 400 << 7 << QList<int>{6, 1};
    QTest::newRow("2M + 1") << 400 << 13 << QList<int>{6, 6, 1};
    QTest::newRow("3M") << 400 << 18 << QList<int>{6, 6, 6};
    QTest::newRow("768 pixels") << 768 << 23 << QList<int>{22, 1};
    QTest::newRow("268 pixels") << 268 << 2 << QList<int>{1, 1};
    QTest::newRow("267 pixels") << 267 << 7 << QList<int>{7};
    QTest::newRow("0 pixels") << 0 << 7 << QList<int>{7};
}

void TestStatusMenu::menuShape()
{
    QFETCH(int, height);
    QFETCH(int, entries);
    QFETCH(QList<int>, levels);
    AppFixture app;
    app.createKeychain(labels(entries));
    app.preferences().setSortByMenuItem(1);
    app.screenHeight = height;
    QVERIFY(app.launch());
    const QMenu* menu = app.controller().menu();

    QStringList expected = fixedTop;
    if (levels.size() > 1) {
        expected << QStringLiteral("more passwords") << QStringLiteral("---");
    }
    expected << labels(entries).mid(0, levels.front());
    if (entries > 0) {
        expected << QStringLiteral("---");
    }
    expected << fixedBottom;
    QCOMPARE(menuTitles(menu), expected);
    QCOMPARE(app.controller().sortByMenuItem()->isEnabled(), entries > 0);

    // Deeper levels are filled as they open; each one but the last leads to the next.
    QList<int> sizes;
    QStringList shown;
    for (QMenu* level = app.controller().menu(); level != nullptr;) {
        const QStringList here = entryTitles(level);
        sizes << here.size();
        shown << here;
        const QAction* more = actionTitled(level, level == menu ? QStringLiteral("more passwords")
                                                                : QStringLiteral("more.."));
        level = more ? more->menu() : nullptr;
        if (level) {
            Q_EMIT level->aboutToShow();
        }
    }
    QCOMPARE(sizes, levels);
    QCOMPARE(shown, labels(entries));
    for (const QAction* action : menu->actions()) {
        QVERIFY(action->shortcut().isEmpty());
    }
}

void TestStatusMenu::entryCommandsCopyCountAndClear()
{
    AppFixture app;
    app.createKeychain(
        {QStringLiteral("Mail"), QStringLiteral("Tom & Jerry"), QStringLiteral("Mail")});
    app.preferences().setSortByMenuItem(0);
    QVERIFY(app.launch());
    NetKeyloft_KeychainController& list = app.list();
    QVERIFY(list.setFieldsForKeychainItemAtIndex(
        {QStringLiteral("jerry"), QStringLiteral("s3cr\u00e9t"), std::nullopt}, 1));
    QVERIFY(list.setUserNameForKeychainItemAtIndex(QString(), 0));
    QVERIFY(list.setUserNameForKeychainItemAtIndex(QStringLiteral("tom"), 2));
    app.controller().populateMenu();
    QMenu* menu = app.controller().menu();
    const QStringList shown = entryTitles(menu);
    QCOMPARE(shown, (QStringList{QStringLiteral("Mail"), QStringLiteral("Tom && Jerry"),
                                 QStringLiteral("Mail1")}));
    const QStringList userNames{QString(), QStringLiteral("jerry"), QStringLiteral("tom")};
    for (int position = 0; position < 3; ++position) {
        const QMenu* submenu = actionTitled(menu, shown[position])->menu();
        QCOMPARE(menuTitles(submenu), (QStringList{QStringLiteral("Copy ") + userNames[position],
                                                   QStringLiteral("Copy password"),
                                                   QStringLiteral("Edit ") + shown[position]}));
        for (const QAction* action : submenu->actions()) {
            QCOMPARE(action->data().toInt(), position);
            QVERIFY(action->isEnabled());
        }
    }
    // An entry the list does not hold gets an empty submenu.
    const NetKeyloft_Item stranger = NetKeyloft_Item::initWithLabelIndex(QStringLiteral("x"), 9);
    QVERIFY(app.controller().menuForItem(stranger, menu)->actions().isEmpty());

    const QList<QAction*> before = menu->actions();
    const QMenu* tom = actionTitled(menu, shown[1])->menu();
    tom->actions()[1]->trigger();
    QCOMPARE(app.clipboard().text(), QStringLiteral("s3cr\u00e9t"));
    tom->actions()[1]->trigger();
    tom->actions()[0]->trigger();
    QCOMPARE(app.clipboard().text(), QStringLiteral("jerry"));
    QCOMPARE(list.keychainItemAtIndex(1)->countUsed(), 4);
    // Nothing was rebuilt: the same items stand in the menu.
    QCOMPARE(menu->actions(), before);

    // A password goes after the preference's 30 s by the application's clock; a user
    // name stays unless the user asks for it to go as well.
    ClipboardClearer& clearer = app.controller().clipboardClearer();
    QVERIFY(!clearer.deadline());
    tom->actions()[1]->trigger();
    app.clock.advance(29999);
    clearer.checkDeadline();
    QCOMPARE(app.clipboard().text(), QStringLiteral("s3cr\u00e9t"));
    app.clock.advance(1);
    clearer.checkDeadline();
    QCOMPARE(app.clipboard().text(), QString());
    app.defaults().setBoolForKey(true, QStringLiteral("NKLPREFS_ClearCopiedUserNames_Key"));
    tom->actions()[0]->trigger();
    QCOMPARE(clearer.deadline().value_or(QDateTime()), app.clock.nowUtc().addSecs(30));

    // A generated password is cleared like any other, also when the application quits.
    actionTitled(menu, QStringLiteral("Generate Password"))->trigger();
    QCOMPARE(app.clipboard().text().size(), 20);
    QCOMPARE(clearer.deadline().value_or(QDateTime()), app.clock.nowUtc().addSecs(30));
    actionTitled(menu, QStringLiteral("Quit Keyloft"))->trigger();
    QCOMPARE(app.clipboard().text(), QString());

    // The counts are in the keychain; a generated password counts for no entry.
    QVERIFY(app.launch());
    QCOMPARE(app.list().keychainItemAtIndex(1)->countUsed(), 6);
    QCOMPARE(app.list().keychainItemAtIndex(0)->countUsed(), 1);
}

void TestStatusMenu::failedCopiesAlertOnceAndCountNoUse()
{
    // A wl-copy that cannot reach a compositor, first on the PATH.
    QTemporaryDir bin;
    QFile tool(bin.filePath(QStringLiteral("wl-copy")));
    QVERIFY(tool.open(QIODevice::WriteOnly));
    tool.write("#!/bin/sh\necho 'Failed to connect to a Wayland server' >&2\nexit 1\n");
    tool.close();
    QVERIFY(tool.setPermissions(tool.permissions() | QFile::ExeOwner));
    ScopedEnvironment path("PATH", QFile::encodeName(bin.path()) + ':' + qgetenv("PATH"));
    WaylandClipboard clipboard;
    AppFixture app;
    app.otherClipboard = &clipboard;
    app.createKeychain({QStringLiteral("Mail")});
    QVERIFY(app.launch());
    const int uses = app.list().keychainItemAtIndex(0)->countUsed();
    QTest::ignoreMessage(QtWarningMsg, "wl-copy failed: Failed to connect to a Wayland server");
    QTest::ignoreMessage(QtWarningMsg, "wl-copy failed: Failed to connect to a Wayland server");
    const QMenu* mail = actionTitled(app.controller().menu(), QStringLiteral("Mail"))->menu();
    mail->actions()[0]->trigger();
    mail->actions()[1]->trigger();
    QCOMPARE(app.dialogs().alertMessages(), (QStringList{QStringLiteral("Nothing was copied."),
                                                         QStringLiteral("Nothing was copied.")}));
    app.otherClipboard = nullptr;
    QVERIFY(app.launch());
    QCOMPARE(app.list().keychainItemAtIndex(0)->countUsed(), uses);

    // Another process deletes the entry; copying its password then fails in the store,
    // which is told once.
    {
        UserDefaults defaults(app.defaults().filePath());
        app.dialogs().queuePassword(AppFixture::password);
        FileKeychainServices services(app.dialogs(), FileKeychainKdf::minimum());
        auto other = NetKeyloft_KeychainController::create({services, defaults, app.dialogs()});
        QVERIFY(other->deleteKeychainItem(other->keychainItemAtIndex(0).get()));
    }
    app.dialogs().clearRecord();
    const QString message =
        QStringLiteral("There was an error communicating with your Keychain. Error -25300");
    QTest::ignoreMessage(QtWarningMsg, "Error communicating with system keychain: -25300 ");
    QTest::ignoreMessage(QtWarningMsg, qPrintable(message));
    actionTitled(app.controller().menu(), QStringLiteral("Mail"))->menu()->actions()[1]->trigger();
    QCOMPARE(app.dialogs().alertMessages(), QStringList{message});
    QCOMPARE(app.clipboard().text(), QString());
    QVERIFY(app.exitCodes.isEmpty());
}

void TestStatusMenu::sortCommandsReorderAndMark()
{
    AppFixture app;
    app.createKeychain({QStringLiteral("beta"), QStringLiteral("Alpha"), QStringLiteral("gamma")});
    // All counts are equal, so the stable sort keeps the order of creation.
    app.preferences().setSortByMenuItem(3);
    app.preferences().setSortAscending(false);
    QVERIFY(app.launch());
    QMenu* sort = app.controller().sortMenu();
    QCOMPARE(checkedTitles(sort),
             (QStringList{QStringLiteral("Most used"), QStringLiteral("Descending")}));
    QCOMPARE(
        entryTitles(app.controller().menu()),
        (QStringList{QStringLiteral("beta"), QStringLiteral("Alpha"), QStringLiteral("gamma")}));

    // "Name" while "Descending" carries the mark; the checked item again keeps its mark.
    actionTitled(sort, QStringLiteral("Name"))->trigger();
    QCOMPARE(
        entryTitles(app.controller().menu()),
        (QStringList{QStringLiteral("gamma"), QStringLiteral("beta"), QStringLiteral("Alpha")}));
    actionTitled(sort, QStringLiteral("Name"))->trigger();
    QCOMPARE(checkedTitles(sort),
             (QStringList{QStringLiteral("Name"), QStringLiteral("Descending")}));

    actionTitled(sort, QStringLiteral("Ascending"))->trigger();
    QCOMPARE(
        entryTitles(app.controller().menu()),
        (QStringList{QStringLiteral("Alpha"), QStringLiteral("beta"), QStringLiteral("gamma")}));
    QCOMPARE(checkedTitles(sort),
             (QStringList{QStringLiteral("Name"), QStringLiteral("Ascending")}));

    // Most used, ascending: tags follow the new positions.
    const QMenu* gamma = actionTitled(app.controller().menu(), QStringLiteral("gamma"))->menu();
    gamma->actions()[0]->trigger();
    actionTitled(sort, QStringLiteral("Most used"))->trigger();
    QCOMPARE(entryTitles(app.controller().menu()).last(), QStringLiteral("gamma"));
    const QMenu* moved = actionTitled(app.controller().menu(), QStringLiteral("gamma"))->menu();
    QCOMPARE(moved->actions()[0]->data().toInt(), 2);
    QCOMPARE(checkedTitles(sort),
             (QStringList{QStringLiteral("Most used"), QStringLiteral("Ascending")}));
    // An out-of-range key changes no mark and no order.
    app.controller().sortByMenuItemTag(7);
    QCOMPARE(app.preferences().sortByMenuItem(), 3);
}

void TestStatusMenu::lockForgetsKeyAndKeepsEdits_data()
{
    // Locked by the tray command, after the idle time (on a clock the test sets) and when
    // the screen saver says the screen locked (on the test's session bus).
    QTest::addColumn<QString>("how");
    QTest::newRow("tray command") << QStringLiteral("command");
    QTest::newRow("idle time") << QStringLiteral("idle");
    QTest::newRow("screen locked") << QStringLiteral("screen");
}

void TestStatusMenu::lockForgetsKeyAndKeepsEdits()
{
    QFETCH(QString, how);
    AppFixture app;
    app.createKeychain({QStringLiteral("Mail")});
    QVERIFY(app.launch());
    NetKeyloft_StatusMenuController& controller = app.controller();
    NetKeyloft_KeychainController& list = app.list();
    QVERIFY(list.setPasswordForKeychainItemAtIndex(QStringLiteral("s3cret"), 0));
    // The user is typing in the edit window when the lock comes.
    const QWidget* window = typeUserName(controller, QStringLiteral("ann"));

    if (how == QLatin1String("command")) {
        actionTitled(controller.menu(), qtTrId("KLOFT_LockKeychainMenuItem"))->trigger();
    } else if (how == QLatin1String("idle")) {
        app.preferences().setLockAfterIdleMinutes(15);
        app.clock.advance(14 * 60 * 1000);
        controller.idleLock()->checkIdle();
        QVERIFY(!controller.isLocked());
        app.clock.advance(60 * 1000);
        controller.idleLock()->checkIdle();
    } else {
        sendScreenSaverActive();
        QTRY_VERIFY(controller.isLocked());
    }

    QVERIFY(controller.isLocked());
    QVERIFY(!window->isVisible());
    QVERIFY(!list.keychainItemAtIndex(0)->password());
    const QString unlock = qtTrId("KLOFT_UnlockKeychainMenuItem");
    QCOMPARE(menuTitles(controller.menu()),
             QStringList({unlock, QStringLiteral("---")}) + fixedBottom.mid(1));

    // The key is gone: unlocking asks for the password, and a refusal keeps it locked.
    app.dialogs().clearRecord();
    QVERIFY(!controller.unlockKeychain());
    QCOMPARE(app.dialogs().passwordPrompts(), 1);
    QVERIFY(controller.isLocked());
    app.dialogs().queuePassword(AppFixture::password);
    actionTitled(controller.menu(), unlock)->trigger();
    QCOMPARE(app.dialogs().passwordPrompts(), 2);
    QVERIFY(!controller.isLocked());
    QCOMPARE(menuTitles(controller.menu()).first(), QStringLiteral("New Password"));
    controller.copyPasswordOfItem(list.keychainItemAtIndex(0));
    QCOMPARE(app.clipboard().text(), QStringLiteral("s3cret"));
    QCOMPARE(app.dialogs().passwordPrompts(), 2);

    // What was typed before the lock is in the keychain file.
    QVERIFY(app.launch());
    QCOMPARE(app.list().keychainItemAtIndex(0)->userName(), QStringLiteral("ann"));
}

void TestStatusMenu::firstLaunchAddsOneLoginItem()
{
    AppFixture app;
    app.createKeychain({});
    // An old entry of the program is replaced (other programs' entries are the login
    // controller's tests).
    QVERIFY(app.autostart().appendItem({app.programPath(), false}) == 0);
    bool storedBeforeTray = false;
    app.onStatusItem = [&app, &storedBeforeTray] {
        UserDefaults onDisk(app.defaults().filePath());
        storedBeforeTray = onDisk.hasStoredValue(QStringLiteral("NKLPREFS_LoadAtStartupSet_Key")) &&
                           onDisk.hasStoredValue(QStringLiteral("NKLPREFS_LoadAtStartup_Key"));
    };
    QVERIFY(app.launch());
    QVERIFY(storedBeforeTray);
    QList<LoginItem> items;
    QCOMPARE(app.autostart().copyItems(&items), 0);
    QCOMPARE(items.size(), 1);
    QCOMPARE(items[0].path, app.programPath());

    // A later launch leaves the login items alone, even after the user removed ours.
    QCOMPARE(app.autostart().deleteItemAt(0), 0);
    QVERIFY(app.launch());
    QCOMPARE(app.autostart().copyItems(&items), 0);
    QVERIFY(items.isEmpty());
}

void TestStatusMenu::unopenableKeychainEndsBeforeTheTray()
{
    AppFixture app;
    // No keychain chosen, no default keychain, and the user cancels the file dialog.
    app.dialogs().queueFile(std::nullopt);
    QVERIFY(!app.launch());
    QCOMPARE(app.exitCodes, QList<int>{1});
    QCOMPARE(app.statusItemsMade, 0);
    QVERIFY(app.controller().applicationShouldTerminate());
    QCOMPARE(app.dialogs().alertMessages().last(), QStringLiteral("ValidKeychainNotFound"));
}

void TestStatusMenu::withoutTrayTheWindowHoldsTheMenu()
{
    AppFixture app;
    app.createKeychain({QStringLiteral("Mail")});
    app.trayAvailable = false;
    QVERIFY(app.launch());
    QTRY_VERIFY(app.controller().statusWindow() && app.controller().statusWindow()->isVisible());
    QWidget* window = app.controller().statusWindow();
    QCOMPARE(app.statusItemsMade, 0);
    const auto* button = window->findChild<QToolButton*>(QStringLiteral("statusMenuButton"));
    QCOMPARE(button->menu(), app.controller().menu());
    QCOMPARE(entryTitles(button->menu()), QStringList{QStringLiteral("Mail")});
    QVERIFY(window->close());
    QCOMPARE(app.exitCodes, QList<int>{0});
    QVERIFY(StatusWindow::trayHint(QStringLiteral("ubuntu:GNOME"))
                .contains(QStringLiteral("gnome-shell-extension-appindicator")));
}

void TestStatusMenu::firstStartProposesANewKeychain()
{
    QStringList seen;
    QTimer answer;
    connect(&answer, &QTimer::timeout, &answer, [&seen] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            seen << dialog->directory().absolutePath() << dialog->selectedFiles().value(0)
                 << dialog->labelText(QFileDialog::Accept);
            dialog->reject();
        }
    });
    answer.start(20);
    QtDialogs dialogs;
    QVERIFY(!dialogs.chooseKeychainFile());
    const QString folder = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Keyloft");
    QCOMPARE(seen, (QStringList{folder, folder + QStringLiteral("/Passwords.keychain"),
                                QStringLiteral("Open or Create")}));
}

void TestStatusMenu::secondStartAndSessionEnd()
{
    AppFixture app;
    app.createKeychain({QStringLiteral("Mail")});
    ApplicationBus bus;
    QCOMPARE(bus.claim(), ApplicationBus::Claim::Owned);
    QVERIFY(app.launch());
    NetKeyloft_StatusMenuController& controller = app.controller();
    bus.setController(&controller);
    followSession(*qApp, controller);
    // A second start shows the first one's edit window and ends. It runs with settings of
    // its own, which it must not touch.
    QTemporaryDir config;
    QProcess second;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    second.setProcessEnvironment(environment);
    second.start(QStringLiteral(KEYLOFT_PROGRAM), {});
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 20000);
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QTRY_VERIFY(controller.editWindowController() &&
                controller.editWindowController()->window()->isVisible());
    QVERIFY(QDir(config.path()).isEmpty());
    bus.setController(nullptr);

    // The request for the data, as Qt's session client sends it at a checkpoint or a
    // log-out: what was typed is stored, and the application keeps running.
    typeUserName(controller, QStringLiteral("ann"));
    QSessionManager* session = qApp->findChild<QSessionManager*>();
    QVERIFY(session);
    Q_EMIT qApp->commitDataRequest(*session);
    QCOMPARE(app.list().keychainItemAtIndex(0)->userName(), QStringLiteral("ann"));

    // The desktop's request to quit is refused until the application itself ends, here
    // by a termination signal, which the event loop turns into a call on the main thread.
    const auto quitGoesThrough = [] {
        QEvent request(QEvent::Quit);
        QCoreApplication::sendEvent(QCoreApplication::instance(), &request);
        return request.isAccepted();
    };
    TerminationGate gate([&controller] { return controller.applicationShouldTerminate(); });
    qApp->installEventFilter(&gate);
    QVERIFY(!quitGoesThrough());
    QVERIFY(app.exitCodes.isEmpty());
    TerminationSignals signals([&controller] { controller.terminateForSession(); });
    ::raise(SIGTERM);
    QTRY_COMPARE(app.exitCodes, QList<int>{0});
    QVERIFY(quitGoesThrough());
    qApp->removeEventFilter(&gate);
}

QTEST_MAIN(TestStatusMenu)
#include "tst_statusmenu.moc"
