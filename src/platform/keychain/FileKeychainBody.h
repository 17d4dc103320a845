#pragma once

#include "platform/SecretBytes.h"
#include "platform/keychain/KeychainServices.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

// One item of a keychain file.
struct FileKeychainItem {
    // Stable for the life of the item and never reused in the same file, so a
    // reference held by one process cannot come to mean another process's new item.
    std::uint64_t id = 0;
    FourCharCode itemClass = 0;
    // Attributes by their canonical tag; the time stamps are kept apart.
    std::map<FourCharCode, QByteArray> attributes;
    SecretBytes secret;
    // Seconds since 1970-01-01 00:00:00 UTC.
    std::int64_t created = 0;
    std::int64_t modified = 0;
};

// Everything the sealed body of a keychain file holds. Items are in creation order.
struct FileKeychainContent {
    std::uint64_t nextId = 1;
    std::vector<FileKeychainItem> items;
};

// Time stamps must fit the 16-byte form handed out for them, so years 1970 to 9999.
inline constexpr std::int64_t fileKeychainLatestTime = 253402300799;

// Reads the body's plaintext; no value when it is not a well-formed body.
std::optional<FileKeychainContent> parseFileKeychainBody(QByteArrayView plaintext);

// Writes the body's plaintext into memory that is wiped once it is no longer needed.
SecretBytes serializeFileKeychainBody(const FileKeychainContent& content);
// The same into the start of buffer, which grows when it is too small; returns the size.
std::size_t serializeFileKeychainBody(const FileKeychainContent& content, SecretBytes& buffer);

// A time stamp as keychain items hand it out: "YYYYMMDDhhmmssZ" in UTC and a NUL, 16 bytes.
QByteArray fileKeychainTimeStamp(std::int64_t secondsSinceEpoch);

// The value of an item's attribute by any of its tags, the time stamps included;
// no value when the item lacks it.
std::optional<QByteArray> fileKeychainAttribute(const FileKeychainItem& item, FourCharCode tag);

// Sets the listed attributes of item. The time stamps belong to the keychain, which
// stamps them itself, so the list cannot set them.
void setFileKeychainAttributes(FileKeychainItem& item, const KeychainAttributeList& attributes);
