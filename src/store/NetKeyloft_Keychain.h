#pragma once

#include "platform/Clock.h"
#include "platform/keychain/KeychainServices.h"
#include "store/KeychainError.h"
#include "store/NetKeyloft_Item.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class Dialogs;
class UserDefaults;

// The only place that touches persistent storage for entries: chooses and opens
// the keychain, reads every entry of the program, and creates, changes, deletes
// and reads the password of single keychain items, always found by the entry's UUID.
class NetKeyloft_Keychain {
public:
    // What the store needs from the platform; all must outlive the store.
    struct Environment {
        KeychainServices& services;
        // Where the chosen keychain's path is kept.
        UserDefaults& defaults;
        Dialogs& dialogs;
        // Gives new entries their date of creation.
        const Clock& clock = Clock::system();
        // A keychain named for this run alone: when set, the store opens this one (and
        // nothing else), and the chosen keychain is neither read nor changed.
        QString keychainPath = {};
    };

    static const QString keychainPathKey;
    static const QString keychainPathUnset;

    explicit NetKeyloft_Keychain(Environment environment);

    // Chooses and opens the keychain: the stored path, else the default keychain,
    // else the one the user picks (or names anew). True when a keychain is open.
    bool initKeychain();
    // Creates a keychain file at path, asking the user for its password.
    bool createKeyloftKeychain(const QString& path);
    bool pathIsKeychain(const QString& path);
    static bool pathIsFile(const QString& path);
    static bool panelShouldShowFilename(const QString& path);

    // A record for every one of the program's items that could be read.
    std::vector<ItemPtr> getAllItemsInKeychain();
    // The same, read without asking the user anything and without alerts; nothing when
    // any of it could not be read (a short list would pass for deletions).
    std::optional<std::vector<ItemPtr>> readItemsWithoutAsking();
    // Tells of changes that others make to the open keychain; null where it cannot.
    // The store must outlive the watcher.
    std::unique_ptr<KeychainWatcher> watch();

    // Gives item every field as its keychain item holds it now, but its position
    // in the list and its password, which are kept; false when it cannot be read.
    bool reloadItem(NetKeyloft_Item& item);
    // Holds off other writers of the keychain while it lives (null where the keychain
    // offers no such lock, or it could not be taken).
    std::unique_ptr<KeychainChangeHold> holdChanges();
    // Whether one of our items in the keychain now carries the label; false where the
    // keychain cannot search by label.
    bool labelIsInKeychain(const QString& label);

    bool addToKeychainItem(const NetKeyloft_Item* item);
    bool modifyKeychainItem(const NetKeyloft_Item* item, bool modifyPassword);
    bool modifyKeychainItemAttributes(const NetKeyloft_Item* item);
    bool removeItemFromKeychain(const NetKeyloft_Item* item);
    // The password as stored now; empty when it cannot be read.
    QString passwordForItem(const NetKeyloft_Item* item);
    // Counts one use in memory, then writes the encoded attribute string.
    bool addOneToCountUsedForItem(NetKeyloft_Item* item);

    // Whether the keychain is one this program locks (a keychain file).
    bool isLockable() const;
    // Forgets the keychain's key and every secret it holds; false where not lockable.
    bool lockKeychain();
    // Asks for the password, as the first read does, when the keychain is locked. False,
    // after telling the user why, when it stays locked.
    bool unlockKeychain();

    static QString DescriptionItemAttrData();
    Keychain* keychain() const { return m_keychain.get(); }
    const Clock& clock() const { return m_env.clock; }

    // A keychain time stamp "YYYYMMDDhhmmssZ" (16 characters with its NUL) as a
    // UTC date; the null date for any other length.
    static QDateTime dateWithZuluDate(const QString& zuluDate);

    // Where keychain errors are shown; until one is installed they are only logged.
    void setErrorPresenter(ErrorPresenter presenter) { m_presenter = std::move(presenter); }

private:
    bool isUsable() const;
    OSStatus readAllItems(std::vector<ItemPtr>& items, bool& complete);
    bool openStoredKeychain();
    bool openNamedKeychain();
    bool offerToCreateDefaultKeychain();
    bool openUserSelectedKeychain(const QString& path);
    bool rememberKeychainPath(const QString& path);
    // The item of the entry with that UUID into found; the status of the search,
    // errSecItemNotFound when there is no such item.
    OSStatus findItemByUuid(const QString& uuid, std::unique_ptr<KeychainItemRef>& found);
    // Notes a refused unlock in status; status unchanged.
    OSStatus noteRefusal(OSStatus status);
    // Shows status to the user, a refused unlock once per command.
    void tell(OSStatus status);
    // True for success; tells any failure but a missing item.
    bool succeeded(OSStatus status);
    bool modifyItem(const NetKeyloft_Item* item, const KeychainAttributeList& attributes,
                    const SecretBytes* password);
    void report(OSStatus status) const;
    void showLocalized(const char* key) const;

    Environment m_env;
    std::unique_ptr<Keychain> m_keychain;
    ErrorPresenter m_presenter;
    // A refused unlock stops the rest of the command without asking again.
    bool m_refused = false;
    bool m_refusalTold = false;
    QObject m_commandScope; // owns the marker of the command's end
};
