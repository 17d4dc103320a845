#pragma once

#include "platform/FourCharCode.h"
#include "platform/SecretBytes.h"
#include "platform/keychain/KeychainStatus.h"
#include "platform/keychain/KeychainWatcher.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace KeychainCodes {
inline constexpr FourCharCode genericPasswordClass = fourCharCode("genp");
inline constexpr FourCharCode generic = fourCharCode("gena");
inline constexpr FourCharCode label = fourCharCode("labl");
inline constexpr FourCharCode account = fourCharCode("acct");
inline constexpr FourCharCode comment = fourCharCode("icmt");
inline constexpr FourCharCode description = fourCharCode("desc");
inline constexpr FourCharCode service = fourCharCode("svce");
inline constexpr FourCharCode creator = fourCharCode("crtr");
inline constexpr FourCharCode type = fourCharCode("type");
inline constexpr FourCharCode creationDate = fourCharCode("cdat");
inline constexpr FourCharCode modificationDate = fourCharCode("mdat");
// The label may also be named by its numeric attribute index.
inline constexpr FourCharCode labelIndex = 7;

// Maps alternative names of an attribute onto its four-character code.
constexpr FourCharCode canonicalTag(FourCharCode tag)
{
    return tag == labelIndex ? label : tag;
}
} // namespace KeychainCodes

// One attribute of a keychain item: its tag and its bytes. An absent value is
// passed as an empty byte array (length 0).
struct KeychainAttribute {
    FourCharCode tag = 0;
    QByteArray data;
};
using KeychainAttributeList = std::vector<KeychainAttribute>;

// An item found by a search. Only the keychain whose search produced it can use it.
class KeychainItemRef {
public:
    virtual ~KeychainItemRef() = default;
};

// A running search; yields matching items one at a time.
class KeychainSearch {
public:
    virtual ~KeychainSearch() = default;
    // errSecSuccess and the next item while any remain; errSecItemNotFound at the end.
    virtual OSStatus copyNext(std::unique_ptr<KeychainItemRef>& item) = 0;
};

// What merging another keychain into one did to its items.
struct KeychainMergeSummary {
    int added = 0;
    int changed = 0;
    int deleted = 0;

    bool isEmpty() const { return added == 0 && changed == 0 && deleted == 0; }
    KeychainMergeSummary& operator+=(const KeychainMergeSummary& other)
    {
        added += other.added;
        changed += other.changed;
        deleted += other.deleted;
        return *this;
    }
};

// Keeps other writers from changing a keychain while it lives; see Keychain::holdChanges.
class KeychainChangeHold {
public:
    virtual ~KeychainChangeHold() = default;
};

// An open keychain.
class Keychain {
public:
    virtual ~Keychain() = default;

    // errSecInvalidKeychain or errSecNoSuchKeychain exactly when the keychain
    // can no longer be used; any other result means usable.
    virtual OSStatus getStatus() = 0;

    // Every item of the class whose listed attributes equal the given bytes, in a
    // stable order.
    virtual OSStatus searchCreateFromAttributes(FourCharCode itemClass,
                                                const KeychainAttributeList& attributes,
                                                std::unique_ptr<KeychainSearch>& search) = 0;

    // Reads the attributes named by tags (into attributes, same order) and, when
    // secret is not null, the item's secret data. Either output may be null.
    virtual OSStatus itemCopyContent(KeychainItemRef& item, const std::vector<FourCharCode>& tags,
                                     KeychainAttributeList* attributes, SecretBytes* secret) = 0;

    // Stores a new item; the keychain stamps its creation and modification dates.
    virtual OSStatus itemCreateFromContent(FourCharCode itemClass,
                                           const KeychainAttributeList& attributes,
                                           const SecretBytes& secret) = 0;

    // Replaces the listed attributes, and the secret when secret is not null.
    virtual OSStatus itemModifyAttributesAndData(KeychainItemRef& item,
                                                 const KeychainAttributeList& attributes,
                                                 const SecretBytes* secret) = 0;

    virtual OSStatus itemDelete(KeychainItemRef& item) = 0;

    // What the keychain's provider said of its last failure in its own words, where it
    // says more than a status can; empty otherwise. Never holds a secret.
    virtual QString lastErrorMessage() const { return {}; }

    // Keeps every other writer (other processes too) from changing the keychain until
    // hold is destroyed, so that a look at the contents and the change that depends on
    // it are one step. A keychain whose provider offers no such lock gives no hold.
    virtual OSStatus holdChanges(std::unique_ptr<KeychainChangeHold>& hold)
    {
        hold.reset();
        return errSecSuccess;
    }

    // Starts watching for changes made by others; null where the keychain cannot tell of
    // them. The keychain must outlive the watcher. Watching costs nothing while nothing
    // changes: the watcher waits on the system's notifications, it never polls.
    virtual std::unique_ptr<KeychainWatcher> watch() { return nullptr; }

    // The file the keychain is kept in; empty for a keychain that is no file of ours.
    virtual QString keychainFilePath() const { return {}; }

    // Merges the keychain file at path into this keychain, item by item, in one write
    // under the keychain's lock; the file at path is only read. It opens with this
    // keychain's key, or else, when askPassword, with a password asked for it.
    // errSecUnimplemented for a keychain that is no file of ours.
    virtual OSStatus mergeKeychainFile(const QString& /*path*/, bool /*askPassword*/,
                                       KeychainMergeSummary& /*summary*/)
    {
        return errSecUnimplemented;
    }

    // Whether this program locks the keychain itself (lock() and unlock() below); a
    // provider that locks its keychains on its own (the desktop's keyring) says no.
    virtual bool isLockable() const { return false; }
    // Forgets the key and every secret held in memory: the next operation that needs
    // the contents asks for the password again. errSecUnimplemented where not lockable.
    virtual OSStatus lock() { return errSecUnimplemented; }
    // Asks for the password now when the keychain is locked; errSecSuccess when it is open.
    virtual OSStatus unlock() { return errSecSuccess; }
};

// Opens and creates keychains.
class KeychainServices {
public:
    virtual ~KeychainServices() = default;

    // Whether later calls may ask the user to unlock a keychain.
    virtual void setUserInteractionAllowed(bool allowed) = 0;

    // Opens the keychain at path. Checks what the path holds but asks for nothing;
    // the keychain is unlocked when an operation first needs its contents.
    virtual OSStatus open(const QString& path, std::unique_ptr<Keychain>& keychain) = 0;

    // The user's default keychain; errSecNoDefaultKeychain (negative) when there is none.
    virtual OSStatus copyDefault(std::unique_ptr<Keychain>& keychain) = 0;

    // Creates a new keychain file at path, asking the user for its password.
    virtual OSStatus create(const QString& path, std::unique_ptr<Keychain>& keychain) = 0;

    // Whether there is a provider of default keychains that has none yet but can be asked
    // to make one (a keyring program before its first wallet).
    virtual bool canCreateDefault() { return false; }

    // Asks that provider to make the default keychain; it asks the user for the new
    // keychain's password in its own window.
    virtual OSStatus createDefault(std::unique_ptr<Keychain>& /*keychain*/)
    {
        return errSecUnimplemented;
    }
};
