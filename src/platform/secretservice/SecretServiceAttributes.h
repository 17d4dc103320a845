#pragma once

#include "platform/keychain/KeychainServices.h"

#include <QByteArray>

#include <optional>

typedef struct _GHashTable GHashTable;
typedef struct _GVariant GVariant;

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

// A new table of the item attributes that we own (our schema and the layout's
// attributes) among an item's properties (the a{sv} of its D-Bus properties). What a
// provider adds of its own is left out: KeePassXC refuses any change that names its
// read-only attributes, even unchanged.
GHashTable* newOwnedTable(GVariant* properties);

// The item's attribute for one tag, from its D-Bus properties (an a{sv}).
QByteArray read(GVariant* properties, FourCharCode tag);

// errSecSuccess when every tag can be read from an item, errSecNoSuchAttr otherwise.
OSStatus checkReadable(const std::vector<FourCharCode>& tags);

} // namespace SecretServiceAttributes
