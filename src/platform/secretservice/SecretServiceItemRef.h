#pragma once

// What the Secret Service keychain's files share: GLib and libsecret are included here,
// so only this folder's .cpp files include this header.

#include "platform/keychain/KeychainServices.h"
#include "platform/secretservice/SecretServiceSession.h"

#include <glib.h>

#include <memory>
#include <string>

namespace SecretServiceNames {
inline constexpr const char* collectionInterface = "org.freedesktop.Secret.Collection";
inline constexpr const char* itemInterface = "org.freedesktop.Secret.Item";
} // namespace SecretServiceNames

// Releases an attribute table; for std::unique_ptr.
struct SecretServiceTableUnref {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using SecretServiceTablePtr = std::unique_ptr<GHashTable, SecretServiceTableUnref>;

// An item found by a search: its object path and its D-Bus properties, read with
// plain calls. A change marks it stale; the next read loads the properties afresh,
// since the service stamps a new modification time. The libsecret item object, which
// follows the item's signals through a match rule on the bus, is made only when a
// secret is read or written or the item deleted.
class SecretServiceItemRef final : public KeychainItemRef {
public:
    SecretServiceItemRef(std::string path, GVariantPtr properties)
        : m_path(std::move(path)), m_properties(std::move(properties))
    {}
    const char* path() const { return m_path.c_str(); }
    GVariant* properties() const { return m_properties.get(); }
    void setProperties(GVariantPtr properties) { m_properties = std::move(properties); }
    GObjectPtr<SecretItem> object;
    bool stale = false;
    // The properties were taken from the keychain's cache of what the collection's
    // signals did not report as changed; a change reads them afresh first.
    bool fromCache = false;

private:
    std::string m_path;
    GVariantPtr m_properties;
};
