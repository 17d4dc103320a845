#pragma once

#include "platform/keychain/KeychainServices.h"
#include "platform/secretservice/SecretServiceSession.h"

#include <memory>

// Keychain services over the desktop's Secret Service (libsecret): the default
// keychain is the service's default collection. The service keeps no keychains at
// paths, so open and create answer that there is no such keychain.
//
// Every wait on the bus or the service is bounded (SecretServiceTimeouts), and no
// session bus is ever started for us, so copyDefault answers errSecNoDefaultKeychain
// promptly when there is no bus, no service or no default collection.
class SecretServiceKeychainServices final : public KeychainServices {
public:
    explicit SecretServiceKeychainServices(
        const SecretServiceTimeouts& timeouts = SecretServiceTimeouts());

    void setUserInteractionAllowed(bool allowed) override;
    OSStatus open(const QString& path, std::unique_ptr<Keychain>& keychain) override;
    OSStatus copyDefault(std::unique_ptr<Keychain>& keychain) override;
    OSStatus create(const QString& path, std::unique_ptr<Keychain>& keychain) override;
    bool canCreateDefault() override;
    OSStatus createDefault(std::unique_ptr<Keychain>& keychain) override;

private:
    OSStatus defaultCollection(SecretServiceSession& session,
                               GObjectPtr<SecretCollection>& collection);

    // Shared with every keychain opened, so later changes reach them too.
    std::shared_ptr<SecretServiceOptions> m_options;
};
