#pragma once

#include "platform/SecretBytes.h"
#include "platform/keychain/KeychainServices.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

// The attributes of one item by canonical tag, in rising order of tag: a map kept in one
// vector, since an item has a handful of attributes and a keychain thousands of items.
class FileKeychainAttributes {
public:
    using value_type = std::pair<FourCharCode, QByteArray>;
    using iterator = std::vector<value_type>::iterator;
    using const_iterator = std::vector<value_type>::const_iterator;

    FileKeychainAttributes() = default;
    // As a map built from the list: of repeated tags, the first one counts.
    FileKeychainAttributes(std::initializer_list<value_type> list);

    const_iterator begin() const { return m_entries.begin(); }
    const_iterator end() const { return m_entries.end(); }
    iterator begin() { return m_entries.begin(); }
    iterator end() { return m_entries.end(); }
    std::size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }
    void reserve(std::size_t count) { m_entries.reserve(count); }
    void clear() { m_entries.clear(); }

    const_iterator find(FourCharCode tag) const;
    iterator find(FourCharCode tag);
    // Throws std::out_of_range when the tag is absent, as std::map::at does.
    const QByteArray& at(FourCharCode tag) const;
    // The value under tag, inserted empty when absent.
    QByteArray& operator[](FourCharCode tag);
    // Inserts unless the tag is present; the bool tells whether it inserted.
    std::pair<iterator, bool> emplace(FourCharCode tag, QByteArray data);

    bool operator==(const FileKeychainAttributes& other) const = default;

private:
    iterator lowerBound(FourCharCode tag);
    std::vector<value_type> m_entries;
};

// One item of a keychain file.
struct FileKeychainItem {
    // Stable for the life of the item and never reused in the same file, so a
    // reference held by one process cannot come to mean another process's new item.
    std::uint64_t id = 0;
    FourCharCode itemClass = 0;
    // Attributes by their canonical tag; the time stamps are kept apart.
    FileKeychainAttributes attributes;
    SecretBytes secret;
    // Seconds since 1970-01-01 00:00:00 UTC.
    std::int64_t created = 0;
    std::int64_t modified = 0;
};

// What is left of a deleted item: its service attribute (an entry's UUID) and when it
// was deleted, so that merging with an older copy of the file does not bring it back.
struct FileKeychainTombstone {
    QByteArray service;
    std::int64_t deleted = 0;
};

// Everything the sealed body of a keychain file holds. Items are in creation order.
struct FileKeychainContent {
    std::uint64_t nextId = 1;
    std::vector<FileKeychainItem> items;
    std::vector<FileKeychainTombstone> tombstones;
};

// Time stamps must fit the 16-byte form handed out for them, so years 1970 to 9999.
inline constexpr std::int64_t fileKeychainLatestTime = 253402300799;

// Reads the body's plaintext as a file of the given format version has it; no value when
// it is not a well-formed body of that version.
std::optional<FileKeychainContent> parseFileKeychainBody(QByteArrayView plaintext,
                                                         std::uint16_t version = 2);

// Writes the body's plaintext, always in the current version's layout, into memory that is wiped
// once it is no longer needed.
SecretBytes serializeFileKeychainBody(const FileKeychainContent& content);
// The same into the start of buffer, which grows when it is too small; returns the size.
std::size_t serializeFileKeychainBody(const FileKeychainContent& content, SecretBytes& buffer);

// A time stamp as keychain items hand it out: "YYYYMMDDhhmmssZ" in UTC and a NUL, 16 bytes.
QByteArray fileKeychainTimeStamp(std::int64_t secondsSinceEpoch);

// The value of an item's attribute by any of its tags, the time stamps included;
// no value when the item lacks it.
std::optional<QByteArray> fileKeychainAttribute(const FileKeychainItem& item, FourCharCode tag);
// The stored attribute under tag, or null; never a time stamp (those are not stored).
const QByteArray* fileKeychainStoredAttribute(const FileKeychainItem& item, FourCharCode tag);

// Sets the listed attributes of item. The time stamps belong to the keychain, which
// stamps them itself, so the list cannot set them.
void setFileKeychainAttributes(FileKeychainItem& item, const KeychainAttributeList& attributes);
