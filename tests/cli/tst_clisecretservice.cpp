// keyloft-cli on the desktop's default keychain: a private session bus with its own
// gnome-keyring (never the user's), found as the application finds it when no keychain
// file was chosen.
#include "CliRunner.h"
#include "ScriptedDialogs.h"
#include "SecretServiceBus.h"

#include "platform/UserDefaults.h"
#include "platform/secretservice/SecretServiceKeychainServices.h"
#include "store/NetKeyloft_KeychainController.h"

#include <QSignalSpy>
#include <QTest>

class TestCliSecretService : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void entriesInTheDefaultKeychain();
};

// Entries added, changed and removed in the default keychain; a list open on it, as the
// running application has it, follows them through the collection's signals.
void TestCliSecretService::entriesInTheDefaultKeychain()
{
    SecretServiceBus bus(SecretServiceBus::Service::UnlockedKeyring);
    if (!bus.isReady()) {
        QSKIP(qPrintable(QStringLiteral("no private Secret Service: ") + bus.errorString()));
    }
    CliRunner cli(bus.environment());
    bus.makeSessionBus();
    QTemporaryDir folder;
    UserDefaults defaults(folder.filePath(QStringLiteral("Keyloft.conf")));
    ScriptedDialogs dialogs;
    SecretServiceKeychainServices services;
    const auto list = NetKeyloft_KeychainController::create({services, defaults, dialogs});
    QVERIFY(list);
    list->followChangesMadeElsewhere();
    QSignalSpy reloaded(&list->notifier(), &ItemListNotifier::reloaded);

    QCOMPARE(cli.run(words("add Desk --user dee"), "desk-pw\n").out, QByteArray("Desk\n"));
    QVERIFY(cli.run(words("list")).out.startsWith("Desk\tdee\t1\t"));
    QTRY_COMPARE(list->labelInKeychainItemsAtIndex(0), QStringLiteral("Desk"));
    QCOMPARE(cli.run(words("edit Desk --notes") << QStringLiteral("on the desk")).exitCode, 0);
    QTRY_COMPARE(list->keychainItemAtIndex(0)->comments(), QStringLiteral("on the desk"));
    QCOMPARE(cli.run(words("rename Desk Table")).exitCode, 0);
    QTRY_COMPARE(list->labelInKeychainItemsAtIndex(0), QStringLiteral("Table"));
    QCOMPARE(cli.run(words("rm --yes Table")).exitCode, 0);
    QTRY_COMPARE(list->countOfKeychainItems(), 0u);
    QCOMPARE(reloaded.count(), 0);
    // Only a keychain file takes a merge, whether the file named is there or not.
    QVERIFY(cli.run(words("merge missing.keychain")).err.contains("only a keychain file"));
}

QTEST_GUILESS_MAIN(TestCliSecretService)
#include "tst_clisecretservice.moc"
