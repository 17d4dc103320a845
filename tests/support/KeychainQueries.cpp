#include "KeychainQueries.h"

#include <QTest>

std::vector<std::unique_ptr<KeychainItemRef>> searchAll(Keychain& keychain,
                                                        const KeychainAttributeList& attributes,
                                                        OSStatus* status, FourCharCode itemClass)
{
    std::vector<std::unique_ptr<KeychainItemRef>> items;
    std::unique_ptr<KeychainSearch> search;
    const OSStatus created = keychain.searchCreateFromAttributes(itemClass, attributes, search);
    if (status != nullptr) {
        *status = created;
    }
    if (created != errSecSuccess) {
        return items;
    }
    std::unique_ptr<KeychainItemRef> item;
    while (search->copyNext(item) == errSecSuccess) {
        items.push_back(std::move(item));
    }
    return items;
}

QByteArray attributeOf(Keychain& keychain, KeychainItemRef& item, FourCharCode tag)
{
    KeychainAttributeList attributes;
    const OSStatus status = keychain.itemCopyContent(item, {tag}, &attributes, nullptr);
    if (status != errSecSuccess || attributes.size() != 1) {
        QTest::qFail(qPrintable(QStringLiteral("copy content failed: %1").arg(status)), __FILE__,
                     __LINE__);
        return QByteArray();
    }
    return attributes.front().data;
}
