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
    void initTestCase();
    void entriesInTheDefaultKeychain();

private:
    CliRunner::Result run(const QStringList& arguments, const QByteArray& input = QByteArray());
    std::unique_ptr<SecretServiceBus> m_bus;
    std::unique_ptr<CliRunner> m_cli;
};

void TestCliSecretService::initTestCase()
{
    m_bus = std::make_unique<SecretServiceBus>(SecretServiceBus::Service::UnlockedKeyring);
    if (!m_bus->isReady()) {
        QSKIP(qPrintable(QStringLiteral("no private Secret Service: ") + m_bus->errorString()));
    }
    m_cli = std::make_unique<CliRunner>(m_bus->environment());
}

CliRunner::Result TestCliSecretService::run(const QStringList& arguments, const QByteArray& input)
{
    return m_cli->run(arguments, input);
}

// Entries added, changed and removed in the default keychain; a list open on it, as the
// running application has it, follows them through the collection's signals.
void TestCliSecretService::entriesInTheDefaultKeychain()
{
    m_bus->makeSessionBus();
    QTemporaryDir folder;
    UserDefaults defaults(folder.filePath(QStringLiteral("Keyloft.conf")));
    ScriptedDialogs dialogs;
    SecretServiceKeychainServices services;
    const auto list = NetKeyloft_KeychainController::create({services, defaults, dialogs});
    QVERIFY(list);
    list->followChangesMadeElsewhere();
    QSignalSpy reloaded(&list->notifier(), &ItemListNotifier::reloaded);

    const CliRunner::Result added = run({QStringLiteral("add"), QStringLiteral("Desk"),
                                         QStringLiteral("--user"), QStringLiteral("dee")},
                                        "desk-pw\n");
    QCOMPARE(added.exitCode, 0);
    QCOMPARE(added.out, QByteArray("Desk\n"));
    QVERIFY(run({QStringLiteral("list")}).out.startsWith("Desk\tdee\t1\t"));
    QTRY_COMPARE(list->labelInKeychainItemsAtIndex(0), QStringLiteral("Desk"));
    QCOMPARE(run({QStringLiteral("edit"), QStringLiteral("Desk"), QStringLiteral("--notes"),
                  QStringLiteral("on the desk")})
                 .exitCode,
             0);
    QVERIFY(run({QStringLiteral("show"), QStringLiteral("Desk")}).out.contains("on the desk"));
    QTRY_COMPARE(list->keychainItemAtIndex(0)->comments(), QStringLiteral("on the desk"));
    QCOMPARE(
        run({QStringLiteral("rename"), QStringLiteral("Desk"), QStringLiteral("Table")}).exitCode,
        0);
    QTRY_COMPARE(list->labelInKeychainItemsAtIndex(0), QStringLiteral("Table"));
    QCOMPARE(run({QStringLiteral("rm"), QStringLiteral("--yes"), QStringLiteral("Table")}).exitCode,
             0);
    QCOMPARE(run({QStringLiteral("list")}).out, QByteArray());
    QTRY_COMPARE(list->countOfKeychainItems(), 0u);
    QCOMPARE(reloaded.count(), 0);
}

QTEST_GUILESS_MAIN(TestCliSecretService)
#include "tst_clisecretservice.moc"
