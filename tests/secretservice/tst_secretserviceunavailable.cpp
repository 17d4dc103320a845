// Without a usable Secret Service, copyDefault answers errSecNoDefaultKeychain (the
// store then offers a keychain file), also when the service on the bus never starts.
#include "ScopedEnvironment.h"
#include "SecretServiceBus.h"

#include "platform/secretservice/SecretServiceKeychainServices.h"

#include <QTemporaryDir>
#include <QTest>

#include <optional>

Q_DECLARE_METATYPE(SecretServiceBus::Service)

class TestSecretServiceUnavailable : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void noSessionBus_data();
    void noSessionBus();
    void busWithoutDefaultKeychain_data();
    void busWithoutDefaultKeychain();
    void serviceThatNeverStartsIsGivenUp();
};

void TestSecretServiceUnavailable::noSessionBus_data()
{
    QTest::addColumn<std::optional<QByteArray>>("address");
    QTest::addColumn<bool>("runtimeBus");
    // A display is set: a bus started on demand ("autolaunch") would be tried here.
    QTest::newRow("no address, no bus in the runtime folder")
        << std::optional<QByteArray>() << false;
    QTest::newRow("empty address") << std::optional<QByteArray>(QByteArray()) << false;
    QTest::newRow("address of a missing socket")
        << std::optional<QByteArray>("unix:path=/nonexistent/keyloft-bus") << false;
    QTest::newRow("address asking for autolaunch")
        << std::optional<QByteArray>("autolaunch:") << false;
    QTest::newRow("runtime folder bus that is no socket") << std::optional<QByteArray>() << true;
}

void TestSecretServiceUnavailable::noSessionBus()
{
    QFETCH(std::optional<QByteArray>, address);
    QFETCH(bool, runtimeBus);
    QTemporaryDir runtimeDir;
    QVERIFY(runtimeDir.isValid());
    if (runtimeBus) {
        QFile bus(runtimeDir.filePath(QStringLiteral("bus")));
        QVERIFY(bus.open(QIODevice::WriteOnly));
    }
    ScopedEnvironment busAddress("DBUS_SESSION_BUS_ADDRESS", address);
    ScopedEnvironment runtime("XDG_RUNTIME_DIR", runtimeDir.path().toLocal8Bit());
    ScopedEnvironment display("DISPLAY", QByteArray(":97"));

    SecretServiceKeychainServices services;
    std::unique_ptr<Keychain> keychain;
    QCOMPARE(services.copyDefault(keychain), errSecNoDefaultKeychain);
    QVERIFY(!keychain);
}

void TestSecretServiceUnavailable::busWithoutDefaultKeychain_data()
{
    QTest::addColumn<SecretServiceBus::Service>("service");
    QTest::addColumn<bool>("creatable");
    QTest::newRow("a bus without any Secret Service") << SecretServiceBus::Service::None << false;
    QTest::newRow("a Secret Service without a default collection")
        << SecretServiceBus::Service::KeyringWithoutDefault << true;
}

void TestSecretServiceUnavailable::busWithoutDefaultKeychain()
{
    QFETCH(SecretServiceBus::Service, service);
    QFETCH(bool, creatable);
    SecretServiceBus bus(service);
    QVERIFY2(bus.isReady(), qPrintable(bus.errorString()));
    bus.makeSessionBus();

    SecretServiceKeychainServices services;
    std::unique_ptr<Keychain> keychain;
    QCOMPARE(services.copyDefault(keychain), errSecNoDefaultKeychain);
    QVERIFY(!keychain);

    // A service that runs without a default collection is asked to make one; here its
    // prompt has no display to show on, which fails the request rather than hanging.
    QCOMPARE(services.canCreateDefault(), creatable);
    if (creatable) {
        QVERIFY(services.createDefault(keychain) != errSecSuccess);
        QVERIFY(!keychain);
    }
}

void TestSecretServiceUnavailable::serviceThatNeverStartsIsGivenUp()
{
    SecretServiceBus bus(SecretServiceBus::Service::NeverStarting);
    QVERIFY2(bus.isReady(), qPrintable(bus.errorString()));
    bus.makeSessionBus();

    SecretServiceTimeouts timeouts;
    timeouts.activationMs = 300;
    SecretServiceKeychainServices services(timeouts);
    std::unique_ptr<Keychain> keychain;
    QCOMPARE(services.copyDefault(keychain), errSecNoDefaultKeychain);
    QVERIFY(!keychain);
}

QTEST_GUILESS_MAIN(TestSecretServiceUnavailable)
#include "tst_secretserviceunavailable.moc"
