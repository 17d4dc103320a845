#include "platform/secretservice/SecretServiceKeychain.h"

#include "platform/secretservice/SecretServiceAttributes.h"
#include "platform/secretservice/SecretServiceItemLayout.h"

#include <libsecret/secret.h>

#include <algorithm>
#include <optional>
#include <string>

namespace {

constexpr const char* collectionInterface = "org.freedesktop.Secret.Collection";
constexpr const char* itemInterface = "org.freedesktop.Secret.Item";

// Releases an attribute table; for std::unique_ptr.
struct TableUnref {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using TablePtr = std::unique_ptr<GHashTable, TableUnref>;

struct ValueUnref {
    void operator()(SecretValue* value) const { secret_value_unref(value); }
};
using ValuePtr = std::unique_ptr<SecretValue, ValueUnref>;

// A secret value for the service; libsecret keeps its copy in memory it wipes.
ValuePtr newValue(const SecretBytes& secret)
{
    return ValuePtr(secret_value_new(secret.isEmpty() ? "" : secret.data(), gssize(secret.size()),
                                     SecretServiceItemLayout::secretContentType));
}

// The items that one search found, in order of their object paths.
class SecretServiceSearch final : public KeychainSearch {
public:
    explicit SecretServiceSearch(std::vector<GObjectPtr<SecretItem>> items)
        : m_items(std::move(items))
    {}
    OSStatus copyNext(std::unique_ptr<KeychainItemRef>& item) override;

private:
    std::vector<GObjectPtr<SecretItem>> m_items;
    std::size_t m_next = 0;
};

} // namespace

// An item found by a search: the item object with the properties it was loaded with.
// A change marks it stale; the next read loads it afresh, since the service stamps a
// new modification time that the object does not learn of.
class SecretServiceItemRef final : public KeychainItemRef {
public:
    explicit SecretServiceItemRef(GObjectPtr<SecretItem> item) : m_item(std::move(item)) {}
    SecretItem* item() const { return m_item.get(); }
    bool stale = false;

private:
    GObjectPtr<SecretItem> m_item;
};

OSStatus SecretServiceSearch::copyNext(std::unique_ptr<KeychainItemRef>& item)
{
    if (m_next >= m_items.size()) {
        return errSecItemNotFound;
    }
    item = std::make_unique<SecretServiceItemRef>(std::move(m_items[m_next++]));
    return errSecSuccess;
}

SecretServiceKeychain::SecretServiceKeychain(std::shared_ptr<SecretServiceSession> session,
                                             GObjectPtr<SecretCollection> collection)
    : m_session(std::move(session)), m_collection(std::move(collection))
{}

SecretServiceKeychain::~SecretServiceKeychain() = default;

const char* SecretServiceKeychain::collectionPath() const
{
    return g_dbus_proxy_get_object_path(G_DBUS_PROXY(m_collection.get()));
}

OSStatus SecretServiceKeychain::getStatus()
{
    bool locked = false;
    return readLocked(locked);
}

// Asks the service itself: the collection object's cached property would not show
// a lock, an unlock or a deletion made by another program.
OSStatus SecretServiceKeychain::readLocked(bool& locked)
{
    return m_session->perform(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            g_dbus_connection_call(m_session->connection(), m_session->busName(), collectionPath(),
                                   "org.freedesktop.DBus.Properties", "Get",
                                   g_variant_new("(ss)", collectionInterface, "Locked"),
                                   G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, -1,
                                   cancellable, callback, data);
        },
        [&](GAsyncResult* result, GError** error) {
            GVariant* reply = g_dbus_connection_call_finish(m_session->connection(), result, error);
            if (reply == nullptr) {
                return;
            }
            GVariant* value = nullptr;
            g_variant_get(reply, "(v)", &value);
            locked =
                g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value);
            g_variant_unref(value);
            g_variant_unref(reply);
        },
        m_session->options().timeouts.callMs, SecretServiceSubject::Keychain);
}

// Unlocks the collection through the service's prompt when it is locked. A prompt
// that the user dismisses, or that cannot be shown or answered in time, fails with
// errSecAuthFailed.
OSStatus SecretServiceKeychain::ensureUnlocked()
{
    bool locked = false;
    OSStatus status = readLocked(locked);
    if (status != errSecSuccess || !locked) {
        return status;
    }
    if (!m_session->options().userInteractionAllowed) {
        return errSecInteractionNotAllowed;
    }
    GList objects = {m_collection.get(), nullptr, nullptr};
    gint unlocked = 0;
    status = m_session->perform(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            secret_service_unlock(m_session->service(), &objects, cancellable, callback, data);
        },
        [&](GAsyncResult* result, GError** error) {
            unlocked = secret_service_unlock_finish(m_session->service(), result, nullptr, error);
        },
        m_session->options().timeouts.promptMs, SecretServiceSubject::Keychain);
    if (status == errSecUserCanceled || status == errSecNotAvailable ||
        (status == errSecSuccess && unlocked == 0)) {
        return errSecAuthFailed;
    }
    return status;
}

OSStatus SecretServiceKeychain::searchCreateFromAttributes(FourCharCode itemClass,
                                                           const KeychainAttributeList& attributes,
                                                           std::unique_ptr<KeychainSearch>& search)
{
    if (itemClass != KeychainCodes::genericPasswordClass) {
        return errSecNoSuchClass;
    }
    for (const KeychainAttribute& attribute : attributes) {
        if (SecretServiceItemLayout::slotForTag(attribute.tag) !=
            SecretServiceItemLayout::Slot::Attribute) {
            return errSecNoSuchAttr;
        }
        // No stored item holds a value that is no text, so nothing can match it.
        if (!SecretServiceItemLayout::isStorableText(attribute.data)) {
            search = std::make_unique<SecretServiceSearch>(std::vector<GObjectPtr<SecretItem>>());
            return errSecSuccess;
        }
    }
    const TablePtr table(SecretServiceAttributes::newSchemaTable());
    SecretServiceAttributes::addToTable(table.get(), attributes, nullptr);
    OSStatus status = ensureUnlocked();
    if (status != errSecSuccess) {
        return status;
    }
    std::vector<std::string> paths;
    status = searchPaths(table.get(), paths);
    std::vector<GObjectPtr<SecretItem>> items;
    if (status == errSecSuccess) {
        status = loadItems(paths, items);
    }
    if (status == errSecSuccess) {
        search = std::make_unique<SecretServiceSearch>(std::move(items));
    }
    return status;
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

// Item objects for the paths, with their properties. Their loads are all sent at once
// and the replies collected together, so a thousand items take about as long as the
// service needs to answer, not a thousand round trips. The objects skip what libsecret's
// own do and a plain read does not need: following the service's signals (a match rule
// on the bus for each item) and resolving the service's name for each.
OSStatus SecretServiceKeychain::loadItems(const std::vector<std::string>& paths,
                                          std::vector<GObjectPtr<SecretItem>>& items)
{
    gchar* owner = g_dbus_proxy_get_name_owner(G_DBUS_PROXY(m_session->service()));
    const std::string name = owner != nullptr ? owner : m_session->busName();
    g_free(owner);
    std::vector<SecretServiceSession::Start> starts;
    for (const std::string& path : paths) {
        starts.emplace_back(
            [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
                g_async_initable_new_async(
                    SECRET_TYPE_ITEM, G_PRIORITY_DEFAULT, cancellable, callback, data, "g-flags",
                    GDBusProxyFlags(G_DBUS_PROXY_FLAGS_DO_NOT_CONNECT_SIGNALS |
                                    G_DBUS_PROXY_FLAGS_DO_NOT_AUTO_START),
                    "g-name", name.c_str(), "g-connection", m_session->connection(),
                    "g-object-path", path.c_str(), "g-interface-name", itemInterface, "service",
                    m_session->service(), nullptr);
            });
    }
    std::vector<SecretServiceCall> calls =
        m_session->runAll(starts, m_session->options().timeouts.callMs);
    for (const SecretServiceCall& call : calls) {
        GError* error = nullptr;
        GObject* item = nullptr;
        if (call.result() != nullptr) {
            GObjectPtr<GObject> source(g_async_result_get_source_object(call.result()));
            item =
                g_async_initable_new_finish(G_ASYNC_INITABLE(source.get()), call.result(), &error);
        }
        const OSStatus status = call.status(error, SecretServiceSubject::Item);
        if (status == errSecSuccess) {
            items.emplace_back(SECRET_ITEM(item));
        } else if (status != errSecInvalidItemRef) {
            // An item deleted since the search is simply not found; anything else fails.
            return status;
        }
    }
    return errSecSuccess;
}

OSStatus SecretServiceKeychain::itemOf(KeychainItemRef& ref, SecretServiceItemRef*& item)
{
    item = dynamic_cast<SecretServiceItemRef*>(&ref);
    return item == nullptr ? OSStatus(errSecInvalidItemRef) : OSStatus(errSecSuccess);
}

// Reads all properties of the item afresh into the item object.
OSStatus SecretServiceKeychain::refresh(SecretServiceItemRef& item)
{
    GDBusProxy* proxy = G_DBUS_PROXY(item.item());
    const OSStatus status = m_session->perform(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            g_dbus_connection_call(m_session->connection(), m_session->busName(),
                                   g_dbus_proxy_get_object_path(proxy),
                                   "org.freedesktop.DBus.Properties", "GetAll",
                                   g_variant_new("(s)", g_dbus_proxy_get_interface_name(proxy)),
                                   G_VARIANT_TYPE("(a{sv})"), G_DBUS_CALL_FLAGS_NO_AUTO_START, -1,
                                   cancellable, callback, data);
        },
        [&](GAsyncResult* result, GError** error) {
            GVariant* reply = g_dbus_connection_call_finish(m_session->connection(), result, error);
            if (reply == nullptr) {
                return;
            }
            GVariantIter* properties = nullptr;
            g_variant_get(reply, "(a{sv})", &properties);
            const gchar* name = nullptr;
            GVariant* value = nullptr;
            while (g_variant_iter_loop(properties, "{&sv}", &name, &value)) {
                g_dbus_proxy_set_cached_property(proxy, name, value);
            }
            g_variant_iter_free(properties);
            g_variant_unref(reply);
        },
        m_session->options().timeouts.callMs, SecretServiceSubject::Item);
    if (status == errSecSuccess) {
        item.stale = false;
    }
    return status;
}

OSStatus SecretServiceKeychain::itemCopyContent(KeychainItemRef& ref,
                                                const std::vector<FourCharCode>& tags,
                                                KeychainAttributeList* attributes,
                                                SecretBytes* secret)
{
    SecretServiceItemRef* item = nullptr;
    OSStatus status = itemOf(ref, item);
    if (status == errSecSuccess) {
        status = SecretServiceAttributes::checkReadable(tags);
    }
    if (status == errSecSuccess && item->stale && attributes != nullptr && !tags.empty()) {
        status = refresh(*item);
    }
    SecretBytes loaded;
    if (status == errSecSuccess && secret != nullptr) {
        status = ensureUnlocked();
        if (status == errSecSuccess) {
            status = loadSecret(item->item(), loaded);
        }
    }
    if (status != errSecSuccess) {
        return status;
    }
    if (attributes != nullptr) {
        attributes->clear();
        for (FourCharCode tag : tags) {
            attributes->push_back({tag, SecretServiceAttributes::read(item->item(), tag)});
        }
    }
    if (secret != nullptr) {
        *secret = std::move(loaded);
    }
    return errSecSuccess;
}

OSStatus SecretServiceKeychain::loadSecret(SecretItem* item, SecretBytes& secret)
{
    const OSStatus status = m_session->perform(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            secret_item_load_secret(item, cancellable, callback, data);
        },
        [&](GAsyncResult* result, GError** error) {
            secret_item_load_secret_finish(item, result, error);
        },
        m_session->options().timeouts.callMs, SecretServiceSubject::Item);
    if (status != errSecSuccess) {
        return status;
    }
    const ValuePtr value(secret_item_get_secret(item));
    if (!value) {
        return errSecAuthFailed;
    }
    gsize length = 0;
    const gchar* bytes = secret_value_get(value.get(), &length);
    secret = SecretBytes(bytes, length);
    return errSecSuccess;
}

OSStatus SecretServiceKeychain::itemCreateFromContent(FourCharCode itemClass,
                                                      const KeychainAttributeList& attributes,
                                                      const SecretBytes& secret)
{
    if (itemClass != KeychainCodes::genericPasswordClass) {
        return errSecNoSuchClass;
    }
    const TablePtr table(SecretServiceAttributes::newSchemaTable());
    std::optional<QByteArray> label;
    OSStatus status = SecretServiceAttributes::addToTable(table.get(), attributes, &label);
    if (status == errSecSuccess) {
        status = ensureUnlocked();
    }
    if (status != errSecSuccess) {
        return status;
    }
    const ValuePtr value = newValue(secret);
    const QByteArray labelText = label.value_or(QByteArray());
    // Never replaces an item: two entries may well share every attribute.
    return m_session->perform(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            secret_item_create(m_collection.get(), nullptr, table.get(), labelText.constData(),
                               value.get(), SECRET_ITEM_CREATE_NONE, cancellable, callback, data);
        },
        [&](GAsyncResult* result, GError** error) {
            GObjectPtr<SecretItem> created(secret_item_create_finish(result, error));
        },
        m_session->options().timeouts.callMs, SecretServiceSubject::Keychain);
}

OSStatus SecretServiceKeychain::itemModifyAttributesAndData(KeychainItemRef& ref,
                                                            const KeychainAttributeList& attributes,
                                                            const SecretBytes* secret)
{
    SecretServiceItemRef* item = nullptr;
    OSStatus status = itemOf(ref, item);
    std::optional<QByteArray> label;
    const TablePtr checked(SecretServiceAttributes::newSchemaTable());
    if (status == errSecSuccess) {
        status = SecretServiceAttributes::addToTable(checked.get(), attributes, &label);
    }
    if (status == errSecSuccess) {
        status = ensureUnlocked();
    }
    if (status == errSecSuccess && item->stale) {
        status = refresh(*item);
    }
    if (status == errSecSuccess) {
        status = setAttributes(item->item(), attributes);
    }
    if (status == errSecSuccess && label) {
        status = setLabel(item->item(), *label);
    }
    if (status == errSecSuccess && secret != nullptr) {
        status = setSecret(item->item(), *secret);
    }
    if (item != nullptr) {
        item->stale = true;
    }
    return status;
}

// Replaces the named attributes and keeps the others (our schema among them). The
// service only takes the whole table, so it is written only when something changed.
OSStatus SecretServiceKeychain::setAttributes(SecretItem* item,
                                              const KeychainAttributeList& attributes)
{
    const TablePtr current(secret_item_get_attributes(item));
    const TablePtr table(SecretServiceAttributes::newSchemaTable());
    if (current) {
        GHashTableIter iter;
        gpointer key = nullptr;
        gpointer value = nullptr;
        g_hash_table_iter_init(&iter, current.get());
        while (g_hash_table_iter_next(&iter, &key, &value)) {
            g_hash_table_replace(table.get(), g_strdup(static_cast<const char*>(key)),
                                 g_strdup(static_cast<const char*>(value)));
        }
    }
    SecretServiceAttributes::addToTable(table.get(), attributes, nullptr);
    if (current && SecretServiceAttributes::sameTables(table.get(), current.get())) {
        return errSecSuccess;
    }
    return m_session->perform(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            secret_item_set_attributes(item, nullptr, table.get(), cancellable, callback, data);
        },
        [&](GAsyncResult* result, GError** error) {
            secret_item_set_attributes_finish(item, result, error);
        },
        m_session->options().timeouts.callMs, SecretServiceSubject::Item);
}

OSStatus SecretServiceKeychain::setLabel(SecretItem* item, const QByteArray& label)
{
    if (SecretServiceAttributes::read(item, KeychainCodes::label) == label) {
        return errSecSuccess;
    }
    return m_session->perform(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            secret_item_set_label(item, label.constData(), cancellable, callback, data);
        },
        [&](GAsyncResult* result, GError** error) {
            secret_item_set_label_finish(item, result, error);
        },
        m_session->options().timeouts.callMs, SecretServiceSubject::Item);
}

OSStatus SecretServiceKeychain::setSecret(SecretItem* item, const SecretBytes& secret)
{
    const ValuePtr value = newValue(secret);
    return m_session->perform(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            secret_item_set_secret(item, value.get(), cancellable, callback, data);
        },
        [&](GAsyncResult* result, GError** error) {
            secret_item_set_secret_finish(item, result, error);
        },
        m_session->options().timeouts.callMs, SecretServiceSubject::Item);
}

OSStatus SecretServiceKeychain::itemDelete(KeychainItemRef& ref)
{
    SecretServiceItemRef* item = nullptr;
    OSStatus status = itemOf(ref, item);
    if (status == errSecSuccess) {
        status = ensureUnlocked();
    }
    if (status != errSecSuccess) {
        return status;
    }
    return m_session->perform(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            secret_item_delete(item->item(), cancellable, callback, data);
        },
        [&](GAsyncResult* result, GError** error) {
            secret_item_delete_finish(item->item(), result, error);
        },
        m_session->options().timeouts.callMs, SecretServiceSubject::Item);
}
