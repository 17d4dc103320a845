#include "platform/secretservice/SecretServiceKeychain.h"

#include "platform/secretservice/SecretServiceAttributes.h"
#include "platform/secretservice/SecretServiceItemLayout.h"
#include "platform/secretservice/SecretServiceProperties.h"
#include "platform/secretservice/SecretServiceWatcher.h"

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

} // namespace

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

private:
    std::string m_path;
    GVariantPtr m_properties;
};

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
    const SecretServiceCall call = m_session->run(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            secret_service_unlock(m_session->service(), &objects, cancellable, callback, data);
        },
        m_session->options().timeouts.promptMs);
    GError* error = nullptr;
    gint unlocked = 0;
    if (call.result() != nullptr) {
        unlocked =
            secret_service_unlock_finish(m_session->service(), call.result(), nullptr, &error);
    }
    // A prompt still open when the time allowed for it ran out was never answered: the
    // provider may be showing it in a window nobody is looking at.
    const bool unanswered =
        call.timedOut() &&
        (error == nullptr || g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED));
    status = m_session->statusOf(call, error, SecretServiceSubject::Keychain);
    if (unanswered) {
        return errSecInteractionRequired;
    }
    if (status == errSecUserCanceled || status == errSecNotAvailable ||
        (status == errSecSuccess && unlocked == 0)) {
        return errSecAuthFailed;
    }
    return status;
}

QString SecretServiceKeychain::lastErrorMessage() const
{
    return m_session->lastErrorMessage();
}

std::unique_ptr<KeychainWatcher> SecretServiceKeychain::watch()
{
    return std::make_unique<SecretServiceWatcher>(m_session->address(),
                                                  QString::fromUtf8(m_session->busName()),
                                                  QString::fromUtf8(collectionPath()));
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
            search = std::make_unique<SecretServiceSearch>(
                std::vector<std::unique_ptr<SecretServiceItemRef>>());
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
    std::vector<std::unique_ptr<SecretServiceItemRef>> items;
    if (status == errSecSuccess) {
        status = loadItems(table.get(), paths, items);
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

// The items at the paths, with their properties, read with plain calls side by side
// (within the session's window, so that a bus limiting the replies one connection may
// await refuses none). An item that the service does not know any more was deleted
// since the search, and is left out only when a second search agrees; any other
// failure fails the whole load, since a short list would pass for a complete one.
OSStatus SecretServiceKeychain::loadItems(GHashTable* attributes,
                                          const std::vector<std::string>& paths,
                                          std::vector<std::unique_ptr<SecretServiceItemRef>>& items)
{
    std::vector<SecretServiceSession::Start> starts;
    starts.reserve(paths.size());
    for (const std::string& path : paths) {
        starts.push_back(SecretServiceProperties::getAll(*m_session, path.c_str(), itemInterface));
    }
    std::vector<SecretServiceCall> calls =
        m_session->runAll(starts, m_session->options().timeouts.callMs);
    bool missing = false;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        GError* error = nullptr;
        GVariantPtr properties;
        if (calls[i].result() != nullptr) {
            properties =
                SecretServiceProperties::finishGetAll(*m_session, calls[i].result(), &error);
        }
        const OSStatus status = m_session->statusOf(calls[i], error, SecretServiceSubject::Item);
        if (status == errSecSuccess) {
            items.push_back(
                std::make_unique<SecretServiceItemRef>(paths[i], std::move(properties)));
        } else if (status == errSecInvalidItemRef) {
            missing = true;
        } else {
            return status;
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

OSStatus SecretServiceKeychain::itemOf(KeychainItemRef& ref, SecretServiceItemRef*& item)
{
    item = dynamic_cast<SecretServiceItemRef*>(&ref);
    return item == nullptr ? OSStatus(errSecInvalidItemRef) : OSStatus(errSecSuccess);
}

// Reads all properties of the item afresh.
OSStatus SecretServiceKeychain::refresh(SecretServiceItemRef& item)
{
    GVariantPtr properties;
    const OSStatus status = SecretServiceProperties::readAll(
        *m_session, item.path(), itemInterface, SecretServiceSubject::Item, properties);
    if (status == errSecSuccess) {
        item.setProperties(std::move(properties));
        item.stale = false;
    }
    return status;
}

// The libsecret object of the item, made on first use: it carries the secret to and
// from the service through the session's encryption. It is named by the service's
// unique name, so that it need not follow who owns the service's well-known one.
OSStatus SecretServiceKeychain::objectOf(SecretServiceItemRef& item, SecretItem*& object)
{
    if (!item.object) {
        gchar* owner = g_dbus_proxy_get_name_owner(G_DBUS_PROXY(m_session->service()));
        const std::string name = owner != nullptr ? owner : m_session->busName();
        g_free(owner);
        const OSStatus status = m_session->perform(
            [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
                g_async_initable_new_async(
                    SECRET_TYPE_ITEM, G_PRIORITY_DEFAULT, cancellable, callback, data, "g-flags",
                    GDBusProxyFlags(G_DBUS_PROXY_FLAGS_DO_NOT_CONNECT_SIGNALS |
                                    G_DBUS_PROXY_FLAGS_DO_NOT_AUTO_START),
                    "g-name", name.c_str(), "g-connection", m_session->connection(),
                    "g-object-path", item.path(), "g-interface-name", itemInterface, "service",
                    m_session->service(), nullptr);
            },
            [&](GAsyncResult* result, GError** error) {
                GObjectPtr<GObject> source(g_async_result_get_source_object(result));
                GObject* made =
                    g_async_initable_new_finish(G_ASYNC_INITABLE(source.get()), result, error);
                item.object.reset(made == nullptr ? nullptr : SECRET_ITEM(made));
            },
            m_session->options().timeouts.callMs, SecretServiceSubject::Item);
        if (status != errSecSuccess) {
            return status;
        }
    }
    object = item.object.get();
    return errSecSuccess;
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
            status = loadSecret(*item, loaded);
        }
    }
    if (status != errSecSuccess) {
        return status;
    }
    if (attributes != nullptr) {
        attributes->clear();
        for (FourCharCode tag : tags) {
            attributes->push_back({tag, SecretServiceAttributes::read(item->properties(), tag)});
        }
    }
    if (secret != nullptr) {
        *secret = std::move(loaded);
    }
    return errSecSuccess;
}

OSStatus SecretServiceKeychain::loadSecret(SecretServiceItemRef& item, SecretBytes& secret)
{
    SecretItem* object = nullptr;
    OSStatus status = objectOf(item, object);
    if (status == errSecSuccess) {
        status = m_session->perform(
            [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
                secret_item_load_secret(object, cancellable, callback, data);
            },
            [&](GAsyncResult* result, GError** error) {
                secret_item_load_secret_finish(object, result, error);
            },
            m_session->options().timeouts.callMs, SecretServiceSubject::Item);
    }
    if (status != errSecSuccess) {
        return status;
    }
    const ValuePtr value(secret_item_get_secret(object));
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
    status = m_session->perform(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            secret_item_create(m_collection.get(), nullptr, table.get(), labelText.constData(),
                               value.get(), SECRET_ITEM_CREATE_NONE, cancellable, callback, data);
        },
        [&](GAsyncResult* result, GError** error) {
            GObjectPtr<SecretItem> created(secret_item_create_finish(result, error));
        },
        m_session->options().timeouts.callMs, SecretServiceSubject::Keychain);
    if (status != errSecSuccess) {
        removeHalfCreated(table.get());
    }
    return status;
}

// A provider may fail a creation after it stored the item (kwalletd stores it, then
// fails to take its secret): whatever it kept of an item that was reported as not
// created is deleted again, so that the item does not reappear at the next load. The
// table names the new item's own service (its UUID), so nothing else matches it.
void SecretServiceKeychain::removeHalfCreated(GHashTable* attributes)
{
    std::vector<std::string> paths;
    if (g_hash_table_lookup(
            attributes,
            SecretServiceItemLayout::attributeName(KeychainCodes::service).constData()) ==
            nullptr ||
        searchPaths(attributes, paths) != errSecSuccess) {
        return;
    }
    for (const std::string& path : paths) {
        SecretServiceItemRef item(path, nullptr);
        itemDelete(item);
    }
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
        status = setAttributes(*item, attributes);
    }
    if (status == errSecSuccess && label) {
        status = setLabel(*item, *label);
    }
    if (status == errSecSuccess && secret != nullptr) {
        status = setSecret(*item, *secret);
    }
    if (item != nullptr) {
        item->stale = true;
    }
    return status;
}

// Writes our attributes with the named ones replaced, and only ours: a provider's own
// attributes are its business (KeePassXC refuses a change that names its read-only
// ones), and every provider tried keeps what a change does not name. Nothing is
// written when nothing changed.
OSStatus SecretServiceKeychain::setAttributes(SecretServiceItemRef& item,
                                              const KeychainAttributeList& attributes)
{
    const TablePtr current(SecretServiceAttributes::newOwnedTable(item.properties()));
    const TablePtr table(SecretServiceAttributes::newOwnedTable(item.properties()));
    SecretServiceAttributes::addToTable(table.get(), attributes, nullptr);
    if (SecretServiceAttributes::sameTables(table.get(), current.get())) {
        return errSecSuccess;
    }
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a{ss}"));
    GHashTableIter iter;
    gpointer name = nullptr;
    gpointer value = nullptr;
    g_hash_table_iter_init(&iter, table.get());
    while (g_hash_table_iter_next(&iter, &name, &value)) {
        g_variant_builder_add(&builder, "{ss}", static_cast<const char*>(name),
                              static_cast<const char*>(value));
    }
    return SecretServiceProperties::write(*m_session, item.path(), itemInterface, "Attributes",
                                          g_variant_builder_end(&builder),
                                          SecretServiceSubject::Item);
}

OSStatus SecretServiceKeychain::setLabel(SecretServiceItemRef& item, const QByteArray& label)
{
    if (SecretServiceAttributes::read(item.properties(), KeychainCodes::label) == label) {
        return errSecSuccess;
    }
    return SecretServiceProperties::write(*m_session, item.path(), itemInterface, "Label",
                                          g_variant_new_string(label.constData()),
                                          SecretServiceSubject::Item);
}

OSStatus SecretServiceKeychain::setSecret(SecretServiceItemRef& item, const SecretBytes& secret)
{
    SecretItem* object = nullptr;
    const OSStatus status = objectOf(item, object);
    if (status != errSecSuccess) {
        return status;
    }
    const ValuePtr value = newValue(secret);
    return m_session->perform(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            secret_item_set_secret(object, value.get(), cancellable, callback, data);
        },
        [&](GAsyncResult* result, GError** error) {
            secret_item_set_secret_finish(object, result, error);
        },
        m_session->options().timeouts.callMs, SecretServiceSubject::Item);
}

OSStatus SecretServiceKeychain::itemDelete(KeychainItemRef& ref)
{
    SecretServiceItemRef* item = nullptr;
    SecretItem* object = nullptr;
    OSStatus status = itemOf(ref, item);
    if (status == errSecSuccess) {
        status = ensureUnlocked();
    }
    if (status == errSecSuccess) {
        status = objectOf(*item, object);
    }
    if (status != errSecSuccess) {
        return status;
    }
    return m_session->perform(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            secret_item_delete(object, cancellable, callback, data);
        },
        [&](GAsyncResult* result, GError** error) {
            secret_item_delete_finish(object, result, error);
        },
        m_session->options().timeouts.callMs, SecretServiceSubject::Item);
}
