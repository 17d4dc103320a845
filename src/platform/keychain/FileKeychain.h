#pragma once

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/keychain/FileKeychainBody.h"
#include "platform/keychain/FileKeychainFile.h"
#include "platform/keychain/FileKeychainHeader.h"
#include "platform/keychain/FileKeychainKey.h"
#include "platform/keychain/KeychainServices.h"

#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

// What the keychains of one FileKeychainServices share: where to ask for passwords,
// whether asking is allowed now, and the clock that stamps the items' changes.
struct FileKeychainInteraction {
    FileKeychainInteraction(Dialogs& dialogs, const Clock& clock) : dialogs(dialogs), clock(clock)
    {}
    Dialogs& dialogs;
    // Where modification and deletion times come from.
    const Clock& clock;
    bool allowed = true;
};

// A keychain kept in an encrypted file of our own format (see FileKeychainHeader.cpp).
//
// It unlocks when an operation first needs its contents, asking for the password up to
// three times, and keeps the derived key until it is destroyed or locked again. Every operation
// first re-reads the file if another process (or another FileKeychain) replaced it; every change is
// made under the keychain's lock to the current content and written at once. Reading an item's
// content looks at the file only when the last look is older than a moment, so reading every item
// after a search does not cost a file-system call each. A reference to an item that is no longer in
// the file gives errSecInvalidItemRef.
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
    // The file written, the target of path when path is a symbolic link.
    const QString& filePath() const { return m_filePath; }

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
    OSStatus holdChanges(std::unique_ptr<KeychainChangeHold>& hold) override;
    // Tells of versions of the file that this object has not read or written, and of
    // those it read in the course of an operation (another writer's changes, which it
    // now holds, but whoever watches does not).
    std::unique_ptr<KeychainWatcher> watch() override;
    QString keychainFilePath() const override { return m_filePath; }
    OSStatus mergeKeychainFile(const QString& path, bool askPassword,
                               KeychainMergeSummary& summary) override;
    bool isLockable() const override { return true; }
    OSStatus lock() override;
    OSStatus unlock() override;

    // How often a password is asked before the operation fails.
    static constexpr int passwordAttempts = 3;

private:
    using Change = std::function<OSStatus(FileKeychainContent&)>;

    // How fresh the content must be: searches and changes always look at the file;
    // reading one item's content may use a look of the last moments.
    enum class Freshness { Now, Recent };
    OSStatus refresh(Freshness freshness = Freshness::Now);
    OSStatus askPassword(const FileKeychainHeader& header);
    // Asks for the password of the keychain file at path until a key for header derives.
    OSStatus deriveAskedKey(const QString& path, const FileKeychainHeader& header,
                            std::unique_ptr<FileKeychainKey>& key);
    // Reads the keychain file at path into content with this keychain's key or, when
    // askPassword, with a password asked for it.
    OSStatus readOther(const QString& path, bool askPassword, FileKeychainContent& content);
    OSStatus change(const Change& apply);
    // Seconds since the epoch by the interaction's clock, for the items' time stamps.
    std::int64_t now() const;
    // The index in the content of the item ref names, or -1 (status says why).
    qsizetype indexOf(KeychainItemRef& ref, OSStatus& status) const;
    // The ids of the items whose attribute tag (a stored one) is value, in content order,
    // from the index; null while searches by tag are too few to pay for an index.
    const std::vector<std::uint64_t>* indexedIds(FourCharCode tag, const QByteArray& value);

    // The path as given, shown in password prompts.
    QString m_path;
    // The file itself when m_path is a symbolic link: every write replaces the file by
    // renaming over it, which must replace the link's target, not the link.
    QString m_filePath;
    std::shared_ptr<FileKeychainInteraction> m_interaction;
    // Tells this keychain's item references from those of other keychain objects.
    std::uint64_t m_identity;
    std::unique_ptr<FileKeychainKey> m_key;
    FileKeychainHeader m_header;
    FileKeychainStamp m_stamp;
    // When the file was last seen to hold m_content.
    QElapsedTimer m_checked;
    bool m_loaded = false;
    FileKeychainContent m_content;
    // The items by the value of one attribute, for searches by that attribute alone: the
    // store finds every item it reads or changes by its service attribute, so reading all
    // passwords would otherwise look at every item once for each. Built at the second
    // such search, dropped whenever the content changes.
    struct AttributeIndex {
        FourCharCode tag = 0;
        int searches = 0;
        bool built = false;
        QHash<QByteArray, std::vector<std::uint64_t>> ids;
    };
    AttributeIndex m_index;
    // Kept between reads and writes of a large keychain, so each does not pay for fresh
    // memory again. The plaintext is wiped after every use.
    QByteArray m_file;
    SecretBytes m_plaintext;
    QPointer<KeychainWatcher> m_watcher;
};
