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
};

void TestSecretServiceUnavailable::noSessionBus_data()
{
    QTest::addColumn<std::optional<QByteArray>>("address");
    // A display is set: a bus started on demand ("autolaunch") would be tried here.
    QTest::newRow("no address; the runtime folder's bus is no socket")
        << std::optional<QByteArray>();
    QTest::newRow("address of a missing socket")
        << std::optional<QByteArray>("unix:path=/nonexistent/keyloft-bus");
    QTest::newRow("address asking for autolaunch") << std::optional<QByteArray>("autolaunch:");
}

void TestSecretServiceUnavailable::noSessionBus()
{
    QFETCH(std::optional<QByteArray>, address);
    QTemporaryDir runtimeDir;
    QFile bus(runtimeDir.filePath(QStringLiteral("bus")));
    QVERIFY(bus.open(QIODevice::WriteOnly));
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
    QTest::newRow("a Secret Service that never starts")
        << SecretServiceBus::Service::NeverStarting << false;
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

    // A start that does not come is given up after the activation time limit.
    SecretServiceTimeouts timeouts;
    timeouts.activationMs = 300;
    SecretServiceKeychainServices services(timeouts);
    std::unique_ptr<Keychain> keychain;
    QCOMPARE(services.copyDefault(keychain), errSecNoDefaultKeychain);
    QVERIFY(!keychain);

    // A service that runs without a default collection can be asked to make one; here
    // its prompt has no display to show on, which fails the request rather than hanging.
    QCOMPARE(services.canCreateDefault(), creatable);
    QVERIFY(services.createDefault(keychain) != errSecSuccess);
    QVERIFY(!keychain);
}

QTEST_GUILESS_MAIN(TestSecretServiceUnavailable)
#include "tst_secretserviceunavailable.moc"
