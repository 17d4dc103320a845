#include "platform/secretservice/SecretServiceKeychain.h"

#include "platform/secretservice/SecretServiceAttributes.h"
#include "platform/secretservice/SecretServiceItemLayout.h"
#include "platform/secretservice/SecretServiceItemRef.h"
#include "platform/secretservice/SecretServiceProperties.h"
#include "platform/secretservice/SecretServiceWatcher.h"

#include <libsecret/secret.h>

#include <optional>
#include <string>

using namespace SecretServiceNames;
using TablePtr = SecretServiceTablePtr;

namespace {

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
    m_cache.properties.clear();
    m_cache.active = true;
    auto watcher = std::make_unique<SecretServiceWatcher>(
        m_session->address(), QString::fromUtf8(m_session->busName()),
        QString::fromUtf8(collectionPath()),
        [this](const QString& item) { m_cache.properties.erase(item.toStdString()); });
    QObject::connect(watcher.get(), &QObject::destroyed, [this] {
        m_cache.active = false;
        m_cache.properties.clear();
    });
    return watcher;
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
        item.fromCache = false;
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
    // What a change keeps of the item's attributes is what the service holds now.
    if (status == errSecSuccess && (item->stale || item->fromCache)) {
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
        m_cache.properties.erase(item->path());
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
    m_cache.properties.erase(item->path());
    return m_session->perform(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            secret_item_delete(object, cancellable, callback, data);
        },
        [&](GAsyncResult* result, GError** error) {
            secret_item_delete_finish(object, result, error);
        },
        m_session->options().timeouts.callMs, SecretServiceSubject::Item);
}
