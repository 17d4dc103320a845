#pragma once

#include "platform/keychain/KeychainServices.h"

#include <memory>

// The keychain services of a Linux desktop: keychains at paths are keychain files,
// handled by the file backend it is given; the default keychain is the one of the
// desktop's Secret Service.
class DesktopKeychainServices final : public KeychainServices {
public:
    // files must outlive this object.
    DesktopKeychainServices(KeychainServices& files, std::unique_ptr<KeychainServices> secrets);

    void setUserInteractionAllowed(bool allowed) override;
    OSStatus open(const QString& path, std::unique_ptr<Keychain>& keychain) override;
    OSStatus copyDefault(std::unique_ptr<Keychain>& keychain) override;
    OSStatus create(const QString& path, std::unique_ptr<Keychain>& keychain) override;
    bool canCreateDefault() override;
    OSStatus createDefault(std::unique_ptr<Keychain>& keychain) override;

private:
    KeychainServices& m_files;
    std::unique_ptr<KeychainServices> m_secrets;
};
