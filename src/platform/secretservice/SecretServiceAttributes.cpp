#include "platform/secretservice/SecretServiceAttributes.h"

#include "platform/secretservice/SecretServiceItemLayout.h"

#include <libsecret/secret.h>

namespace SecretServiceAttributes {

using SecretServiceItemLayout::Slot;

GHashTable* newSchemaTable()
{
    GHashTable* table = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free);
    g_hash_table_insert(table, g_strdup(SecretServiceItemLayout::schemaAttribute),
                        g_strdup(SecretServiceItemLayout::schemaName));
    return table;
}

OSStatus addToTable(GHashTable* table, const KeychainAttributeList& attributes,
                    std::optional<QByteArray>* label)
{
    for (const KeychainAttribute& attribute : attributes) {
        const Slot slot = SecretServiceItemLayout::slotForTag(attribute.tag);
        if (slot != Slot::Label && slot != Slot::Attribute) {
            return errSecNoSuchAttr;
        }
        if (!SecretServiceItemLayout::isStorableText(attribute.data)) {
            return errSecParam;
        }
        if (slot == Slot::Label) {
            if (label != nullptr) {
                *label = attribute.data;
            }
            continue;
        }
        const QByteArray name = SecretServiceItemLayout::attributeName(attribute.tag);
        g_hash_table_replace(table, g_strdup(name.constData()),
                             g_strdup(attribute.data.constData()));
    }
    return errSecSuccess;
}

bool sameTables(GHashTable* a, GHashTable* b)
{
    if (g_hash_table_size(a) != g_hash_table_size(b)) {
        return false;
    }
    GHashTableIter iter;
    gpointer key = nullptr;
    gpointer value = nullptr;
    g_hash_table_iter_init(&iter, a);
    while (g_hash_table_iter_next(&iter, &key, &value)) {
        const auto* other = static_cast<const char*>(g_hash_table_lookup(b, key));
        if (other == nullptr || g_strcmp0(other, static_cast<const char*>(value)) != 0) {
            return false;
        }
    }
    return true;
}

QByteArray read(SecretItem* item, FourCharCode tag)
{
    switch (SecretServiceItemLayout::slotForTag(tag)) {
    case Slot::Label: {
        gchar* label = secret_item_get_label(item);
        QByteArray bytes(label == nullptr ? "" : label);
        g_free(label);
        return bytes;
    }
    case Slot::Attribute: {
        GHashTable* attributes = secret_item_get_attributes(item);
        if (attributes == nullptr) {
            return {};
        }
        const QByteArray name = SecretServiceItemLayout::attributeName(tag);
        const auto* value =
            static_cast<const char*>(g_hash_table_lookup(attributes, name.constData()));
        QByteArray bytes(value == nullptr ? "" : value);
        g_hash_table_unref(attributes);
        return bytes;
    }
    case Slot::Created:
        return SecretServiceItemLayout::zuluTimeStamp(secret_item_get_created(item));
    case Slot::Modified:
        return SecretServiceItemLayout::zuluTimeStamp(secret_item_get_modified(item));
    case Slot::Unknown:
        break;
    }
    return {};
}

OSStatus checkReadable(const std::vector<FourCharCode>& tags)
{
    for (FourCharCode tag : tags) {
        if (SecretServiceItemLayout::slotForTag(tag) == Slot::Unknown) {
            return errSecNoSuchAttr;
        }
    }
    return errSecSuccess;
}

} // namespace SecretServiceAttributes
