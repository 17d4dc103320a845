#pragma once

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/keychain/FileKeychainHeader.h"
#include "platform/keychain/KeychainServices.h"

#include <memory>

struct FileKeychainInteraction;

// Keychain services over encrypted keychain files (FileKeychain). Passwords are asked
// through dialogs, which must outlive this object and every keychain it hands out.
// There is no default keychain here: that comes from the Secret Service backend.
class FileKeychainServices final : public KeychainServices {
public:
    // kdf is the cost of the key derivation for keychains this object creates; existing
    // files keep the cost stored in them. Items are stamped with the time of clock.
    explicit FileKeychainServices(Dialogs& dialogs,
                                  FileKeychainKdf kdf = FileKeychainKdf::standard(),
                                  const Clock& clock = Clock::system());
    ~FileKeychainServices() override;

    void setUserInteractionAllowed(bool allowed) override;
    // errSecNoSuchKeychain when nothing is at path, errSecInvalidKeychain when it is not
    // a keychain file of ours. Asks for nothing.
    OSStatus open(const QString& path, std::unique_ptr<Keychain>& keychain) override;
    // Always errSecNoDefaultKeychain.
    OSStatus copyDefault(std::unique_ptr<Keychain>& keychain) override;
    // errSecDuplicateKeychain when something is at path already, errSecUserCanceled when
    // the user refuses to give a password. The new keychain is handed out unlocked.
    OSStatus create(const QString& path, std::unique_ptr<Keychain>& keychain) override;

private:
    std::shared_ptr<FileKeychainInteraction> m_interaction;
    FileKeychainKdf m_kdf;
};
