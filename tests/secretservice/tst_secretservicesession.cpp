// The default keychain of the session the tests run in (tests/run-tests.sh starts a
// private session with gnome-keyring): found, and its items seen by other tools.
// Outside that session the test is skipped, so it never touches a user's keyring.
#include "platform/secretservice/SecretServiceKeychainServices.h"

#include <QProcess>
#include <QTest>
#include <QUuid>

class TestSecretServiceSession : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void defaultKeychainOfTheSession();
};

void TestSecretServiceSession::initTestCase()
{
    if (qgetenv("KEYLOFT_TEST_SESSION") != "1") {
        QSKIP("runs only in the private test session of tests/run-tests.sh");
    }
}

void TestSecretServiceSession::defaultKeychainOfTheSession()
{
    SecretServiceKeychainServices services;
    std::unique_ptr<Keychain> keychain;
    QCOMPARE(services.copyDefault(keychain), errSecSuccess);
    QCOMPARE(keychain->getStatus(), errSecSuccess);

    const QByteArray uuid = QUuid::createUuid().toString(QUuid::WithoutBraces).toUtf8();
    const SecretBytes secret("session-secret", 14);
    QCOMPARE(keychain->itemCreateFromContent(
                 KeychainCodes::genericPasswordClass,
                 {{KeychainCodes::label, "Session"}, {KeychainCodes::service, uuid}}, secret),
             errSecSuccess);

    QProcess tool;
    tool.start(QStringLiteral("secret-tool"),
               {QStringLiteral("lookup"), QStringLiteral("svce"), QString::fromUtf8(uuid)});
    QVERIFY(tool.waitForFinished(10000));
    QCOMPARE(tool.readAllStandardOutput(), QByteArray("session-secret"));

    std::unique_ptr<KeychainSearch> search;
    QCOMPARE(keychain->searchCreateFromAttributes(KeychainCodes::genericPasswordClass,
                                                  {{KeychainCodes::service, uuid}}, search),
             errSecSuccess);
    std::unique_ptr<KeychainItemRef> item;
    QCOMPARE(search->copyNext(item), errSecSuccess);
    QCOMPARE(keychain->itemDelete(*item), errSecSuccess);
    QCOMPARE(search->copyNext(item), errSecItemNotFound);
}

QTEST_GUILESS_MAIN(TestSecretServiceSession)
#include "tst_secretservicesession.moc"
