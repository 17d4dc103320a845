#pragma once

// What the sealed body of a keychain file looks like, shared by the code that reads
// it and the code that writes it.
//
// The body's plaintext is one CBOR map with small unsigned integer keys:
//
//   0: the id the next new item gets (unsigned)
//   1: array of items in creation order, each a map:
//        0: id (unsigned, strictly rising from item to item, below the next id)
//        1: item class, a four-character code (unsigned, 32 bits)
//        2: attributes: map of tag (unsigned, 32 bits) to byte string; tags are canonical
//           (never the label's alias 7) and never "cdat" or "mdat"
//        3: secret (byte string)
//        4: creation time, seconds since 1970 UTC (unsigned)
//        5: modification time, seconds since 1970 UTC (unsigned)
//   2: array of deleted items' records (from version 2 of the file on; absent before),
//      each a map:
//        0: the deleted item's service attribute (byte string)
//        1: deletion time, seconds since 1970 UTC (unsigned)
//
// Every key of the file's version is required exactly once; an unknown key, a duplicate key, a
// falling id or a value of another type makes the body invalid. Strings may be chunked.

#include "platform/keychain/KeychainServices.h"

#include <QtGlobal>

#include <cstddef>
#include <cstdint>

namespace FileKeychainBodyLayout {

enum BodyKey : quint64 { bodyNextId = 0, bodyItems = 1, bodyTombstones = 2, bodyKeyCount };
// The keys of a body of the first version.
constexpr quint64 firstVersionBodyKeyCount = bodyTombstones;
enum TombstoneKey : quint64 { tombstoneService = 0, tombstoneDeleted = 1, tombstoneKeyCount };
enum ItemKey : quint64 {
    itemId = 0,
    itemClass = 1,
    itemAttributes = 2,
    itemSecret = 3,
    itemCreated = 4,
    itemModified = 5,
    itemKeyCount
};

// The CBOR major types the body uses.
enum Major : std::uint8_t { majorUnsigned = 0, majorBytes = 2, majorArray = 4, majorMap = 5 };
constexpr std::uint8_t indefiniteLength = 31;
constexpr std::uint8_t breakCode = 0xff;
// The fewest bytes an item can take: a map head, six one-byte keys and six one-byte
// values. Bounds what a crafted array length may make the reader reserve.
constexpr std::size_t smallestItemSize = 13;

// Attributes are stored under their canonical tag only, and the time stamps apart from
// them; anything else would be an attribute that no tag reads back.
inline bool isStoredTag(FourCharCode tag)
{
    return tag == KeychainCodes::canonicalTag(tag) && tag != KeychainCodes::creationDate &&
           tag != KeychainCodes::modificationDate;
}

} // namespace FileKeychainBodyLayout
