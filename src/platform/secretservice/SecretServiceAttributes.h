#pragma once

#include "platform/keychain/KeychainServices.h"

#include <QByteArray>

#include <optional>

typedef struct _GHashTable GHashTable;
typedef struct _SecretItem SecretItem;

// Converting keychain attribute lists to and from Secret Service items.
namespace SecretServiceAttributes {

// A new table of item attributes (name → UTF-8 text, g_free'd) holding only our schema.
GHashTable* newSchemaTable();

// Adds the list's item attributes to table, and gives the label when the list names it.
// errSecNoSuchAttr for a tag outside the layout or a time stamp, errSecParam for a
// value that is no storable text.
OSStatus addToTable(GHashTable* table, const KeychainAttributeList& attributes,
                    std::optional<QByteArray>* label);

// Whether two attribute tables hold the same names and values.
bool sameTables(GHashTable* a, GHashTable* b);

// The item's attribute for one tag, from what the item object holds.
QByteArray read(SecretItem* item, FourCharCode tag);

// errSecSuccess when every tag can be read from an item, errSecNoSuchAttr otherwise.
OSStatus checkReadable(const std::vector<FourCharCode>& tags);

} // namespace SecretServiceAttributes
