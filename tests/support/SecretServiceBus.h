#pragma once

#include "ScopedEnvironment.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <optional>

// A private D-Bus session bus for one test, in a temporary folder, with or without a
// Secret Service on it. Nothing of the user's session is touched: the provider keeps
// its files in the temporary folder, and only our own service folder is searched for
// activatable services.
//
// The provider of an unlocked default collection is gnome-keyring, or KeePassXC when
// the environment variable KEYLOFT_TEST_SECRET_SERVICE is "keepassxc": the same tests
// then run against the other provider.
class SecretServiceBus {
public:
    enum class Service {
        None,                  // a bus on which no Secret Service runs or can be started
        UnlockedKeyring,       // the provider under test with an unlocked default collection
        RefusingNewSecrets,    // gnome-keyring, unlocked, on a bus that refuses every call
                               // to set a secret
        KeyringWithoutDefault, // gnome-keyring without any default collection
        NeverStarting,         // the service is activatable but never appears on the bus
    };
    enum class Provider { GnomeKeyring, KeePassXC };
    // The provider that UnlockedKeyring starts in this test run.
    static Provider providerUnderTest();

    explicit SecretServiceBus(Service service);
    ~SecretServiceBus();
    SecretServiceBus(const SecretServiceBus&) = delete;
    SecretServiceBus& operator=(const SecretServiceBus&) = delete;

    // Whether the bus (and the service asked for) came up; errorString() says why not.
    bool isReady() const { return m_ready; }
    QString errorString() const { return m_error; }

    // Points this process's session bus at this bus until destruction, when the
    // previous address comes back.
    void makeSessionBus();

    // The environment for a child process (secret-tool, gdbus) that should use this bus.
    QProcessEnvironment environment() const;

    // Calls a method of the Secret Service with gdbus, as another program would: its
    // answer, or nothing when the call failed.
    QByteArray call(const QString& path, const QString& method,
                    const QStringList& arguments = {}) const;

    // Locks the default collection as another program would; true when it did.
    bool lockDefaultCollection() const;

private:
    bool writeFiles(Service service);
    bool startBus();
    bool startProvider(const QString& program, const QStringList& arguments,
                       const QByteArray& input);
    bool startKeePassXC();
    bool waitForAnswer(const QString& path, const QString& method, const QStringList& arguments,
                       const QByteArray& answer);

    QTemporaryDir m_dir;
    QProcess m_bus;
    QProcess m_provider;
    QByteArray m_address;
    QString m_error;
    bool m_ready = false;
    // The session bus address this bus replaced, put back when it goes.
    std::optional<ScopedEnvironment> m_sessionBus;
};
