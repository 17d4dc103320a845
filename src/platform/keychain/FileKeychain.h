#pragma once

#include "platform/Dialogs.h"
#include "platform/keychain/FileKeychainBody.h"
#include "platform/keychain/FileKeychainFile.h"
#include "platform/keychain/FileKeychainHeader.h"
#include "platform/keychain/FileKeychainKey.h"
#include "platform/keychain/KeychainServices.h"

#include <QString>

#include <functional>
#include <memory>

// What the keychains of one FileKeychainServices share: where to ask for passwords and
// whether asking is allowed now.
struct FileKeychainInteraction {
    explicit FileKeychainInteraction(Dialogs& dialogs) : dialogs(dialogs) {}
    Dialogs& dialogs;
    bool allowed = true;
};

// A keychain kept in an encrypted file of our own format (see FileKeychainHeader.cpp).
//
// It unlocks when an operation first needs its contents, asking for the password up to
// three times, and keeps the derived key until it is destroyed. Every operation first
// re-reads the file if another process (or another FileKeychain) replaced it; every
// change is made under the keychain's lock to the current content and written at once.
// A reference to an item that is no longer in the file gives errSecInvalidItemRef.
class FileKeychain final : public Keychain {
public:
    // A keychain that will ask for its password when first needed.
    FileKeychain(QString path, std::shared_ptr<FileKeychainInteraction> interaction);
    // A keychain already unlocked with key, whose file holds content as of stamp.
    FileKeychain(QString path, std::shared_ptr<FileKeychainInteraction> interaction,
                 std::unique_ptr<FileKeychainKey> key, const FileKeychainHeader& header,
                 const FileKeychainStamp& stamp, FileKeychainContent content);
    ~FileKeychain() override;

    const QString& path() const { return m_path; }

    OSStatus getStatus() override;
    OSStatus searchCreateFromAttributes(FourCharCode itemClass,
                                        const KeychainAttributeList& attributes,
                                        std::unique_ptr<KeychainSearch>& search) override;
    OSStatus itemCopyContent(KeychainItemRef& item, const std::vector<FourCharCode>& tags,
                             KeychainAttributeList* attributes, SecretBytes* secret) override;
    OSStatus itemCreateFromContent(FourCharCode itemClass, const KeychainAttributeList& attributes,
                                   const SecretBytes& secret) override;
    OSStatus itemModifyAttributesAndData(KeychainItemRef& item,
                                         const KeychainAttributeList& attributes,
                                         const SecretBytes* secret) override;
    OSStatus itemDelete(KeychainItemRef& item) override;

    // How often a password is asked before the operation fails.
    static constexpr int passwordAttempts = 3;

private:
    using Change = std::function<OSStatus(FileKeychainContent&)>;

    OSStatus refresh();
    OSStatus unlock(const FileKeychainHeader& header);
    OSStatus change(const Change& apply);
    // The index in the content of the item ref names, or -1 (status says why).
    qsizetype indexOf(KeychainItemRef& ref, OSStatus& status) const;

    QString m_path;
    std::shared_ptr<FileKeychainInteraction> m_interaction;
    // Tells this keychain's item references from those of other keychain objects.
    std::uint64_t m_identity;
    std::unique_ptr<FileKeychainKey> m_key;
    FileKeychainHeader m_header;
    FileKeychainStamp m_stamp;
    bool m_loaded = false;
    FileKeychainContent m_content;
};
