// Searching the collection: the paths of the matching items, then their properties,
// taken from the cache where the collection's signals are followed.

#include "platform/secretservice/SecretServiceAttributes.h"
#include "platform/secretservice/SecretServiceItemLayout.h"
#include "platform/secretservice/SecretServiceItemRef.h"
#include "platform/secretservice/SecretServiceKeychain.h"
#include "platform/secretservice/SecretServiceProperties.h"

#include <libsecret/secret.h>

#include <algorithm>

using namespace SecretServiceNames;
using TablePtr = SecretServiceTablePtr;

namespace {

// The items that one search found, in order of their object paths.
class SecretServiceSearch final : public KeychainSearch {
public:
    explicit SecretServiceSearch(std::vector<std::unique_ptr<SecretServiceItemRef>> items)
        : m_items(std::move(items))
    {}
    OSStatus copyNext(std::unique_ptr<KeychainItemRef>& item) override;

private:
    std::vector<std::unique_ptr<SecretServiceItemRef>> m_items;
    std::size_t m_next = 0;
};

OSStatus SecretServiceSearch::copyNext(std::unique_ptr<KeychainItemRef>& item)
{
    if (m_next >= m_items.size()) {
        return errSecItemNotFound;
    }
    item = std::move(m_items[m_next++]);
    return errSecSuccess;
}

} // namespace

OSStatus SecretServiceKeychain::searchCreateFromAttributes(FourCharCode itemClass,
                                                           const KeychainAttributeList& attributes,
                                                           std::unique_ptr<KeychainSearch>& search)
{
    if (itemClass != KeychainCodes::genericPasswordClass) {
        return errSecNoSuchClass;
    }
    // The label is no item attribute the service can search: the items found by the
    // other attributes are filtered by it.
    std::optional<QByteArray> label;
    const TablePtr table(SecretServiceAttributes::newSchemaTable());
    OSStatus status = SecretServiceAttributes::addToTable(table.get(), attributes, &label);
    if (status == errSecParam) {
        // No stored item holds a value that is no text, so nothing can match it.
        search = std::make_unique<SecretServiceSearch>(
            std::vector<std::unique_ptr<SecretServiceItemRef>>());
        return errSecSuccess;
    }
    if (status == errSecSuccess) {
        status = ensureUnlocked();
    }
    std::vector<std::string> paths;
    if (status == errSecSuccess) {
        status = searchPaths(table.get(), paths);
    }
    std::vector<std::unique_ptr<SecretServiceItemRef>> items;
    if (status == errSecSuccess) {
        status = loadItems(table.get(), paths, items);
    }
    if (status != errSecSuccess) {
        return status;
    }
    if (label) {
        std::erase_if(items, [&](const auto& item) {
            return SecretServiceAttributes::read(item->properties(), KeychainCodes::label) !=
                   *label;
        });
    }
    search = std::make_unique<SecretServiceSearch>(std::move(items));
    return errSecSuccess;
}

// The object paths of the collection's items whose attributes equal the table's, in
// a stable order.
OSStatus SecretServiceKeychain::searchPaths(GHashTable* attributes, std::vector<std::string>& paths)
{
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a{ss}"));
    GHashTableIter iter;
    gpointer name = nullptr;
    gpointer value = nullptr;
    g_hash_table_iter_init(&iter, attributes);
    while (g_hash_table_iter_next(&iter, &name, &value)) {
        g_variant_builder_add(&builder, "{ss}", static_cast<const char*>(name),
                              static_cast<const char*>(value));
    }
    GVariant* arguments = g_variant_new("(a{ss})", &builder);
    const OSStatus status = m_session->perform(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            g_dbus_connection_call(m_session->connection(), m_session->busName(), collectionPath(),
                                   collectionInterface, "SearchItems", arguments,
                                   G_VARIANT_TYPE("(ao)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, -1,
                                   cancellable, callback, data);
        },
        [&](GAsyncResult* result, GError** error) {
            GVariant* reply = g_dbus_connection_call_finish(m_session->connection(), result, error);
            if (reply == nullptr) {
                return;
            }
            GVariantIter* found = nullptr;
            const gchar* path = nullptr;
            g_variant_get(reply, "(ao)", &found);
            while (g_variant_iter_next(found, "&o", &path)) {
                paths.emplace_back(path);
            }
            g_variant_iter_free(found);
            g_variant_unref(reply);
        },
        m_session->options().timeouts.callMs, SecretServiceSubject::Keychain);
    std::sort(paths.begin(), paths.end());
    return status;
}

// The items at the paths, with their properties, read with plain calls side by side
// (within the session's window, so that a bus limiting the replies one connection may
// await refuses none). An item that the service does not know any more was deleted
// since the search, and is left out only when a second search agrees; any other
// failure fails the whole load, since a short list would pass for a complete one.
OSStatus SecretServiceKeychain::loadItems(GHashTable* attributes,
                                          const std::vector<std::string>& paths,
                                          std::vector<std::unique_ptr<SecretServiceItemRef>>& items)
{
    std::vector<std::unique_ptr<SecretServiceItemRef>> found(paths.size());
    std::vector<std::size_t> loading;
    std::vector<SecretServiceSession::Start> starts;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const auto cached = m_cache.properties.find(paths[i]);
        if (m_cache.active && cached != m_cache.properties.end()) {
            found[i] = std::make_unique<SecretServiceItemRef>(
                paths[i], GVariantPtr(g_variant_ref(cached->second.get())));
            found[i]->fromCache = true;
        } else {
            loading.push_back(i);
            starts.push_back(
                SecretServiceProperties::getAll(*m_session, paths[i].c_str(), itemInterface));
        }
    }
    std::vector<SecretServiceCall> calls =
        m_session->runAll(starts, m_session->options().timeouts.callMs);
    bool missing = false;
    for (std::size_t k = 0; k < calls.size(); ++k) {
        const std::size_t i = loading[k];
        GError* error = nullptr;
        GVariantPtr properties;
        if (calls[k].result() != nullptr) {
            properties =
                SecretServiceProperties::finishGetAll(*m_session, calls[k].result(), &error);
        }
        const OSStatus status = m_session->statusOf(calls[k], error, SecretServiceSubject::Item);
        if (status == errSecSuccess) {
            if (m_cache.active) {
                m_cache.properties[paths[i]].reset(g_variant_ref(properties.get()));
            }
            found[i] = std::make_unique<SecretServiceItemRef>(paths[i], std::move(properties));
        } else if (status == errSecInvalidItemRef) {
            missing = true;
        } else {
            return status;
        }
    }
    for (std::unique_ptr<SecretServiceItemRef>& item : found) {
        if (item) {
            items.push_back(std::move(item));
        }
    }
    return missing ? confirmDeleted(attributes, items) : OSStatus(errSecSuccess);
}

// After some items of a search could not be loaded as unknown: the load stands only
// when none of them is still found.
OSStatus SecretServiceKeychain::confirmDeleted(
    GHashTable* attributes, const std::vector<std::unique_ptr<SecretServiceItemRef>>& loaded)
{
    std::vector<std::string> paths;
    const OSStatus status = searchPaths(attributes, paths);
    if (status != errSecSuccess) {
        return status;
    }
    for (const std::string& path : paths) {
        const bool wasLoaded = std::any_of(loaded.begin(), loaded.end(),
                                           [&](const auto& item) { return path == item->path(); });
        if (!wasLoaded) {
            return errSecIO;
        }
    }
    return errSecSuccess;
}
