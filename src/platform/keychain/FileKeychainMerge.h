#pragma once

#include "platform/keychain/FileKeychainBody.h"
#include "platform/keychain/KeychainServices.h"

#include <cstdint>

// How long the record of a deleted item is kept: long enough for every machine that
// shares the file to have seen the deletion.
inline constexpr std::int64_t fileKeychainTombstoneLifetime = std::int64_t(365) * 24 * 3600;

// Records that item was deleted at time now (seconds since 1970), when it has a service
// attribute to be known by.
void recordFileKeychainDeletion(FileKeychainContent& content, const FileKeychainItem& item,
                                std::int64_t now);

// Drops the records of deletions older than the lifetime.
void dropExpiredFileKeychainTombstones(FileKeychainContent& content, std::int64_t now);

// Merges other into content, item by item, matching items by class and service attribute
// (an entry's UUID):
// - an item on one side only is kept, unless the other side deleted it at or after its
//   modification time;
// - an item changed on both sides becomes the one modified later, as a whole; the
//   other one's secret and notes, where they differ, are added to its notes under a
//   dated line, and its use count is the larger of the two;
// - the records of deletions of both sides are kept.
// Items without a service attribute are not merged. now stamps the changed items.
KeychainMergeSummary mergeFileKeychainContent(FileKeychainContent& content,
                                              const FileKeychainContent& other, std::int64_t now);
