// Locking a keychain file: by the tray command, after the idle time (on a clock the test
// sets) and when the screen saver says the screen locked (on the test's session bus).

#include "AppFixture.h"

#include "app/IdleLock.h"
#include "editor/NetKeyloft_EditWindowController.h"
#include "store/NetKeyloftStringUtils.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

namespace {

QString text(const char* id)
{
    return NetKeyloftStringUtils::localizedString(QString::fromLatin1(id));
}

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

} // namespace

class TestKeychainLock : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void lockForgetsKeyAndKeepsEdits_data();
    void lockForgetsKeyAndKeepsEdits();
};

void TestKeychainLock::lockForgetsKeyAndKeepsEdits_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("tray command") << QStringLiteral("command");
    QTest::newRow("idle time") << QStringLiteral("idle");
    QTest::newRow("screen locked") << QStringLiteral("screen");
}

void TestKeychainLock::lockForgetsKeyAndKeepsEdits()
{
    QFETCH(QString, how);
    AppFixture app;
    app.createKeychain({QStringLiteral("Mail")});
    QVERIFY(app.launch());
    NetKeyloft_StatusMenuController& controller = app.controller();
    NetKeyloft_KeychainController& list = app.list();
    QVERIFY(list.setPasswordForKeychainItemAtIndex(QStringLiteral("s3cret"), 0));
    // The user is typing in the edit window when the lock comes.
    controller.editItem(list.keychainItemAtIndex(0));
    QWidget* window = controller.editWindowController()->window();
    window->findChild<QLineEdit*>(QStringLiteral("userNameTextField"))
        ->setText(QStringLiteral("ann"));

    if (how == QLatin1String("command")) {
        actionTitled(controller.menu(), text("KLOFT_LockKeychainMenuItem"))->trigger();
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
    const QStringList locked{text("KLOFT_UnlockKeychainMenuItem"), QStringLiteral("---"),
                             QStringLiteral("Preferences"),        QStringLiteral("Help"),
                             QStringLiteral("About Keyloft"),      QStringLiteral("Quit Keyloft")};
    QCOMPARE(menuTitles(controller.menu()), locked);

    // The key is gone: unlocking asks for the password, and a refusal keeps it locked.
    app.dialogs().clearRecord();
    QVERIFY(!controller.unlockKeychain());
    QCOMPARE(app.dialogs().passwordPrompts(), 1);
    QVERIFY(controller.isLocked());
    app.dialogs().queuePassword(AppFixture::password);
    actionTitled(controller.menu(), text("KLOFT_UnlockKeychainMenuItem"))->trigger();
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

QTEST_MAIN(TestKeychainLock)
#include "tst_keychainlock.moc"
