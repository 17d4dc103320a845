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

GHashTable* newOwnedTable(GVariant* properties)
{
    GHashTable* table = newSchemaTable();
    GVariant* attributes =
        g_variant_lookup_value(properties, "Attributes", G_VARIANT_TYPE("a{ss}"));
    if (attributes == nullptr) {
        return table;
    }
    GVariantIter iter;
    const gchar* name = nullptr;
    const gchar* value = nullptr;
    g_variant_iter_init(&iter, attributes);
    while (g_variant_iter_next(&iter, "{&s&s}", &name, &value)) {
        if (SecretServiceItemLayout::isOwnedAttributeName(name)) {
            g_hash_table_replace(table, g_strdup(name), g_strdup(value));
        }
    }
    g_variant_unref(attributes);
    return table;
}

namespace {

QByteArray readAttribute(GVariant* properties, FourCharCode tag)
{
    GVariant* attributes =
        g_variant_lookup_value(properties, "Attributes", G_VARIANT_TYPE("a{ss}"));
    if (attributes == nullptr) {
        return {};
    }
    const QByteArray name = SecretServiceItemLayout::attributeName(tag);
    const gchar* value = nullptr;
    QByteArray bytes;
    if (g_variant_lookup(attributes, name.constData(), "&s", &value)) {
        bytes = value;
    }
    g_variant_unref(attributes);
    return bytes;
}

std::uint64_t readTime(GVariant* properties, const char* name)
{
    guint64 seconds = 0;
    return g_variant_lookup(properties, name, "t", &seconds) ? seconds : 0;
}

} // namespace

QByteArray read(GVariant* properties, FourCharCode tag)
{
    switch (SecretServiceItemLayout::slotForTag(tag)) {
    case Slot::Label: {
        const gchar* label = nullptr;
        return g_variant_lookup(properties, "Label", "&s", &label) ? QByteArray(label)
                                                                   : QByteArray();
    }
    case Slot::Attribute:
        return readAttribute(properties, tag);
    case Slot::Created:
        return SecretServiceItemLayout::zuluTimeStamp(readTime(properties, "Created"));
    case Slot::Modified:
        return SecretServiceItemLayout::zuluTimeStamp(readTime(properties, "Modified"));
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
