#include "platform/keychain/FileKeychain.h"

#include "platform/keychain/FileKeychainMerge.h"
#include "platform/keychain/FileKeychainWatcher.h"

#include <QFileInfo>

#include <algorithm>
#include <atomic>

namespace {
std::uint64_t nextIdentity()
{
    static std::atomic<std::uint64_t> counter{0};
    return ++counter;
}

// How long a look at the file counts as recent for reading an item's content.
constexpr qint64 recentMs = 50;

// Decrypts and reads the body of a keychain file with key into content, left alone when
// the body does not open; the decrypted bytes are wiped from plaintext.
OSStatus openBody(const FileKeychainKey& key, const QByteArray& file,
                  const FileKeychainHeader& header, SecretBytes& plaintext,
                  FileKeychainContent& content)
{
    std::size_t size = 0;
    if (!key.open(file, plaintext, size)) {
        return errSecInvalidKeychain;
    }
    std::optional<FileKeychainContent> read =
        parseFileKeychainBody(QByteArrayView(plaintext.data(), qsizetype(size)), header.version);
    wipeMemory(plaintext.data(), size);
    if (!read) {
        return errSecInvalidKeychain;
    }
    content = std::move(*read);
    return errSecSuccess;
}

QString resolvedPath(const QString& path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    return target.isEmpty() ? path : target;
}

// An item found by a search: which keychain object found it and the item's id in the file.
class FileKeychainItemRef final : public KeychainItemRef {
public:
    FileKeychainItemRef(std::uint64_t keychain, std::uint64_t item) : keychain(keychain), item(item)
    {}
    const std::uint64_t keychain;
    const std::uint64_t item;
};

// The items a search matched, taken when the search was created.
class FileKeychainSearch final : public KeychainSearch {
public:
    FileKeychainSearch(std::uint64_t keychain, std::vector<std::uint64_t> items)
        : m_keychain(keychain), m_items(std::move(items))
    {}

    OSStatus copyNext(std::unique_ptr<KeychainItemRef>& item) override
    {
        if (m_next >= m_items.size()) {
            return errSecItemNotFound;
        }
        item = std::make_unique<FileKeychainItemRef>(m_keychain, m_items[m_next++]);
        return errSecSuccess;
    }

private:
    std::uint64_t m_keychain;
    std::vector<std::uint64_t> m_items;
    std::size_t m_next = 0;
};

bool matches(const FileKeychainItem& item, FourCharCode itemClass,
             const KeychainAttributeList& attributes)
{
    return item.itemClass == itemClass &&
           std::all_of(attributes.begin(), attributes.end(), [&](const KeychainAttribute& wanted) {
               // Stored attributes are compared where they are; only a time stamp is made.
               if (const QByteArray* stored = fileKeychainStoredAttribute(item, wanted.tag)) {
                   return *stored == wanted.data;
               }
               const std::optional<QByteArray> value = fileKeychainAttribute(item, wanted.tag);
               return value && *value == wanted.data;
           });
}
} // namespace

FileKeychain::FileKeychain(QString path, std::shared_ptr<FileKeychainInteraction> interaction)
    : m_path(std::move(path)), m_filePath(resolvedPath(m_path)),
      m_interaction(std::move(interaction)), m_identity(nextIdentity())
{}

FileKeychain::FileKeychain(QString path, std::shared_ptr<FileKeychainInteraction> interaction,
                           std::unique_ptr<FileKeychainKey> key, const FileKeychainHeader& header,
                           const FileKeychainStamp& stamp, FileKeychainContent content)
    : m_path(std::move(path)), m_filePath(resolvedPath(m_path)),
      m_interaction(std::move(interaction)), m_identity(nextIdentity()), m_key(std::move(key)),
      m_header(header), m_stamp(stamp), m_loaded(true), m_content(std::move(content))
{}

FileKeychain::~FileKeychain() = default;

std::int64_t FileKeychain::now() const
{
    return m_interaction->clock.nowUtc().toSecsSinceEpoch();
}

OSStatus FileKeychain::getStatus()
{
    // Only the header is read: the store asks before every operation, so this must stay cheap.
    QByteArray head;
    FileKeychainStamp stamp;
    const OSStatus status =
        FileKeychainFile::read(m_filePath, head, stamp, FileKeychainHeader::size);
    if (status != errSecSuccess) {
        return status;
    }
    return FileKeychainHeader::parse(head) ? errSecSuccess : errSecInvalidKeychain;
}

// Makes m_content the content of the file as it is now, unlocking the keychain first
// when the file needs a key this object does not hold.
OSStatus FileKeychain::refresh(Freshness freshness)
{
    if (freshness == Freshness::Recent && m_loaded && m_checked.isValid() &&
        m_checked.elapsed() < recentMs) {
        return errSecSuccess;
    }
    FileKeychainStamp stamp;
    OSStatus status = FileKeychainFile::stat(m_filePath, stamp);
    if (status != errSecSuccess) {
        return status;
    }
    if (m_loaded && stamp == m_stamp) {
        m_checked.start();
        return errSecSuccess;
    }
    status = FileKeychainFile::read(m_filePath, m_file, stamp);
    if (status != errSecSuccess) {
        return status;
    }
    const std::optional<FileKeychainHeader> header = FileKeychainHeader::parse(m_file);
    if (!header) {
        return errSecInvalidKeychain;
    }
    // Another process may have put a keychain with another password or cost in place.
    if (!m_key || !header->sameKeyAs(m_header)) {
        m_key.reset();
        m_loaded = false;
        status = askPassword(*header);
        if (status != errSecSuccess) {
            return status;
        }
    }
    status = openBody(*m_key, m_file, *header, m_plaintext, m_content);
    if (status != errSecSuccess) {
        return status;
    }
    m_index = {};
    m_header = *header;
    m_stamp = stamp;
    m_loaded = true;
    m_checked.start();
    if (m_watcher) {
        Q_EMIT m_watcher->changed();
    }
    return errSecSuccess;
}

OSStatus FileKeychain::lock()
{
    // The key wipes itself when destroyed, and so do the items' secrets.
    m_key.reset();
    m_content = {};
    m_index = {};
    m_plaintext.clear();
    m_loaded = false;
    return errSecSuccess;
}

OSStatus FileKeychain::unlock()
{
    return refresh();
}

OSStatus FileKeychain::askPassword(const FileKeychainHeader& header)
{
    const OSStatus status = deriveAskedKey(m_path, header, m_key);
    if (status == errSecSuccess) {
        m_header = header;
    }
    return status;
}

OSStatus FileKeychain::deriveAskedKey(const QString& path, const FileKeychainHeader& header,
                                      std::unique_ptr<FileKeychainKey>& key)
{
    if (!m_interaction->allowed) {
        return errSecInteractionNotAllowed;
    }
    for (int attempt = 1; attempt <= passwordAttempts; ++attempt) {
        const std::optional<SecretBytes> password =
            m_interaction->dialogs.askKeychainPassword(path, attempt);
        if (!password) {
            return errSecAuthFailed;
        }
        const OSStatus status = FileKeychainKey::derive(*password, header, key);
        if (status != errSecAuthFailed) {
            return status;
        }
    }
    return errSecAuthFailed;
}

namespace {

// The keychain file's own lock, held for a caller's step of several operations.
class FileChangeHold final : public KeychainChangeHold {
public:
    explicit FileChangeHold(std::unique_ptr<FileKeychainFile::Lock> lock) : m_lock(std::move(lock))
    {}

private:
    std::unique_ptr<FileKeychainFile::Lock> m_lock;
};

} // namespace

OSStatus FileKeychain::holdChanges(std::unique_ptr<KeychainChangeHold>& hold)
{
    // Unlock before taking the lock, so that other processes do not wait on our prompt.
    OSStatus status = refresh();
    std::unique_ptr<FileKeychainFile::Lock> lock;
    if (status == errSecSuccess) {
        status = FileKeychainFile::Lock::acquire(m_filePath, lock);
    }
    if (status == errSecSuccess) {
        hold = std::make_unique<FileChangeHold>(std::move(lock));
    }
    return status;
}

std::unique_ptr<KeychainWatcher> FileKeychain::watch()
{
    auto watcher = std::make_unique<FileKeychainWatcher>(m_filePath, [this] { return m_stamp; });
    m_watcher = watcher.get();
    return watcher;
}

OSStatus FileKeychain::change(const Change& apply)
{
    // Unlock before taking the lock, so that other processes do not wait on our prompt.
    OSStatus status = refresh();
    std::unique_ptr<FileKeychainFile::Lock> lock;
    if (status == errSecSuccess) {
        status = FileKeychainFile::Lock::acquire(m_filePath, lock);
    }
    // Someone may have written between our read and the lock: change what is there now.
    if (status == errSecSuccess) {
        status = refresh();
    }
    if (status == errSecSuccess) {
        m_index = {};
        status = apply(m_content);
    }
    if (status != errSecSuccess) {
        return status;
    }
    // A file of an earlier version becomes one of the current version here.
    dropExpiredFileKeychainTombstones(m_content, now());
    m_header.version = FileKeychainHeader::currentVersion;
    const std::size_t size = serializeFileKeychainBody(m_content, m_plaintext);
    m_key->seal(m_plaintext, size, m_header, m_file);
    wipeMemory(m_plaintext.data(), size);
    FileKeychainStamp written;
    status = FileKeychainFile::writeAtomically(m_filePath, m_file,
                                               FileKeychainFile::Replace::Existing, written);
    if (status != errSecSuccess) {
        // The file still holds the old content; read it again before the next operation.
        m_loaded = false;
        return status;
    }
    m_stamp = written;
    m_checked.start();
    return errSecSuccess;
}

qsizetype FileKeychain::indexOf(KeychainItemRef& ref, OSStatus& status) const
{
    const auto* item = dynamic_cast<const FileKeychainItemRef*>(&ref);
    if (item == nullptr || item->keychain != m_identity) {
        status = errSecInvalidItemRef;
        return -1;
    }
    const auto& items = m_content.items;
    const auto found = std::lower_bound(
        items.begin(), items.end(), item->item,
        [](const FileKeychainItem& each, std::uint64_t id) { return each.id < id; });
    if (found == items.end() || found->id != item->item) {
        status = errSecInvalidItemRef;
        return -1;
    }
    status = errSecSuccess;
    return found - items.begin();
}

OSStatus FileKeychain::searchCreateFromAttributes(FourCharCode itemClass,
                                                  const KeychainAttributeList& attributes,
                                                  std::unique_ptr<KeychainSearch>& search)
{
    const OSStatus status = refresh();
    if (status != errSecSuccess) {
        return status;
    }
    std::vector<std::uint64_t> found;
    const FourCharCode tag =
        attributes.size() == 1 ? KeychainCodes::canonicalTag(attributes.front().tag) : 0;
    const std::vector<std::uint64_t>* indexed =
        tag != 0 && tag != KeychainCodes::creationDate && tag != KeychainCodes::modificationDate
            ? indexedIds(tag, attributes.front().data)
            : nullptr;
    if (indexed != nullptr) {
        for (const std::uint64_t id : *indexed) {
            const auto item =
                std::lower_bound(m_content.items.begin(), m_content.items.end(), id,
                                 [](const FileKeychainItem& each, std::uint64_t wanted) {
                                     return each.id < wanted;
                                 });
            if (item != m_content.items.end() && item->id == id && item->itemClass == itemClass) {
                found.push_back(id);
            }
        }
    } else {
        for (const FileKeychainItem& item : m_content.items) {
            if (matches(item, itemClass, attributes)) {
                found.push_back(item.id);
            }
        }
    }
    search = std::make_unique<FileKeychainSearch>(m_identity, std::move(found));
    return errSecSuccess;
}

const std::vector<std::uint64_t>* FileKeychain::indexedIds(FourCharCode tag,
                                                           const QByteArray& value)
{
    if (m_index.tag != tag) {
        m_index = {};
        m_index.tag = tag;
    }
    if (!m_index.built) {
        if (++m_index.searches < 2) {
            return nullptr;
        }
        m_index.ids.reserve(qsizetype(m_content.items.size()));
        for (const FileKeychainItem& item : m_content.items) {
            if (const QByteArray* stored = fileKeychainStoredAttribute(item, tag)) {
                m_index.ids[*stored].push_back(item.id);
            }
        }
        m_index.built = true;
    }
    static const std::vector<std::uint64_t> none;
    const auto found = m_index.ids.constFind(value);
    return found == m_index.ids.cend() ? &none : &*found;
}

OSStatus FileKeychain::itemCopyContent(KeychainItemRef& ref, const std::vector<FourCharCode>& tags,
                                       KeychainAttributeList* attributes, SecretBytes* secret)
{
    OSStatus status = refresh(Freshness::Recent);
    const qsizetype index = status == errSecSuccess ? indexOf(ref, status) : -1;
    if (status != errSecSuccess) {
        return status;
    }
    const FileKeychainItem& item = m_content.items[std::size_t(index)];
    if (attributes != nullptr) {
        attributes->clear();
        attributes->reserve(tags.size());
        for (const FourCharCode tag : tags) {
            attributes->push_back({tag, fileKeychainAttribute(item, tag).value_or(QByteArray())});
        }
    }
    if (secret != nullptr) {
        *secret = item.secret;
    }
    return errSecSuccess;
}

OSStatus FileKeychain::itemCreateFromContent(FourCharCode itemClass,
                                             const KeychainAttributeList& attributes,
                                             const SecretBytes& secret)
{
    return change([&](FileKeychainContent& content) {
        FileKeychainItem item;
        item.id = content.nextId++;
        item.itemClass = itemClass;
        setFileKeychainAttributes(item, attributes);
        item.secret = secret;
        item.created = item.modified = now();
        content.items.push_back(std::move(item));
        return errSecSuccess;
    });
}

OSStatus FileKeychain::itemModifyAttributesAndData(KeychainItemRef& ref,
                                                   const KeychainAttributeList& attributes,
                                                   const SecretBytes* secret)
{
    return change([&](FileKeychainContent& content) {
        OSStatus status = errSecSuccess;
        const qsizetype index = indexOf(ref, status);
        if (status == errSecSuccess) {
            FileKeychainItem& item = content.items[std::size_t(index)];
            setFileKeychainAttributes(item, attributes);
            if (secret != nullptr) {
                item.secret = *secret;
            }
            item.modified = now();
        }
        return status;
    });
}

OSStatus FileKeychain::itemDelete(KeychainItemRef& ref)
{
    return change([&](FileKeychainContent& content) {
        OSStatus status = errSecSuccess;
        const qsizetype index = indexOf(ref, status);
        if (status == errSecSuccess) {
            recordFileKeychainDeletion(content, content.items[std::size_t(index)], now());
            content.items.erase(content.items.begin() + index);
        }
        return status;
    });
}

OSStatus FileKeychain::readOther(const QString& path, bool askPassword,
                                 FileKeychainContent& content)
{
    QByteArray file;
    FileKeychainStamp stamp;
    OSStatus status = FileKeychainFile::read(path, file, stamp);
    const std::optional<FileKeychainHeader> header =
        status == errSecSuccess ? FileKeychainHeader::parse(file) : std::nullopt;
    if (status != errSecSuccess || !header) {
        return status != errSecSuccess ? status : errSecInvalidKeychain;
    }
    // A copy of this keychain has its cost and salt, so this keychain's key opens it.
    std::unique_ptr<FileKeychainKey> asked;
    const FileKeychainKey* key = m_key.get();
    if (!header->sameKeyAs(m_header)) {
        status = askPassword ? deriveAskedKey(path, *header, asked) : errSecAuthFailed;
        if (status != errSecSuccess) {
            return status;
        }
        key = asked.get();
    }
    SecretBytes plaintext;
    return openBody(*key, file, *header, plaintext, content);
}

OSStatus FileKeychain::mergeKeychainFile(const QString& path, bool askPassword,
                                         KeychainMergeSummary& summary)
{
    // This keychain is unlocked first: the other file may open with its key.
    OSStatus status = refresh();
    FileKeychainContent other;
    if (status == errSecSuccess) {
        status = readOther(path, askPassword, other);
    }
    if (status != errSecSuccess) {
        return status;
    }
    KeychainMergeSummary merged;
    status = change([&](FileKeychainContent& content) {
        merged = mergeFileKeychainContent(content, other, now());
        return errSecSuccess;
    });
    if (status == errSecSuccess) {
        summary = merged;
    }
    return status;
}
