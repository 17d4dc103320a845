#pragma once

#include "SecretServiceBus.h"

#include "platform/keychain/KeychainServices.h"
#include "platform/secretservice/SecretServiceKeychainServices.h"

#include <memory>

// The user's default keychain for a test: a private session bus with its own unlocked
// gnome-keyring, made this process's session bus, and the Secret Service backend over
// it. Each fixture has its own keyring, so tests running at the same time never see
// each other's items, and the user's own keyring is never touched.
//
//     SecretServiceFixture fixture;
//     QVERIFY2(fixture.isReady(), qPrintable(fixture.errorString()));
//     std::unique_ptr<Keychain> keychain = fixture.cleanDefaultKeychain();
class SecretServiceFixture {
public:
    explicit SecretServiceFixture(
        SecretServiceBus::Service service = SecretServiceBus::Service::UnlockedKeyring);

    bool isReady() const { return m_bus.isReady(); }
    QString errorString() const { return m_error.isEmpty() ? m_bus.errorString() : m_error; }

    // The backend whose copyDefault gives this fixture's default collection.
    KeychainServices& services() { return m_services; }

    // The default collection after every one of our items in it was deleted; null
    // (and a test failure message in errorString) when that was not possible.
    std::unique_ptr<Keychain> cleanDefaultKeychain();

    SecretServiceBus& bus() { return m_bus; }

private:
    SecretServiceBus m_bus;
    SecretServiceKeychainServices m_services;
    QString m_error;
};
