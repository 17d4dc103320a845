#include "FileKeychainFixture.h"

#include <QFile>
#include <QTest>

FileKeychainFixture::FileKeychainFixture() : services(dialogs, FileKeychainKdf::minimum(), clock)
{
    QVERIFY(dir.isValid());
}

QString FileKeychainFixture::path(const QString& name) const
{
    return dir.filePath(name);
}

std::unique_ptr<Keychain> FileKeychainFixture::create(const QString& password, const QString& name)
{
    dialogs.queueNewPassword(password);
    std::unique_ptr<Keychain> keychain;
    const OSStatus status = services.create(path(name), keychain);
    if (status != errSecSuccess || !keychain) {
        QTest::qFail(qPrintable(QStringLiteral("create failed: %1").arg(status)), __FILE__,
                     __LINE__);
    }
    return keychain;
}

std::unique_ptr<Keychain> FileKeychainFixture::open(const QString& name)
{
    std::unique_ptr<Keychain> keychain;
    const OSStatus status = services.open(path(name), keychain);
    if (status != errSecSuccess || !keychain) {
        QTest::qFail(qPrintable(QStringLiteral("open failed: %1").arg(status)), __FILE__, __LINE__);
    }
    return keychain;
}

QByteArray FileKeychainFixture::fileBytes(const QString& name) const
{
    return ::fileBytes(path(name));
}

void FileKeychainFixture::writeFileBytes(const QByteArray& bytes, const QString& name) const
{
    if (!::writeFileBytes(path(name), bytes)) {
        QTest::qFail("cannot write the keychain file", __FILE__, __LINE__);
    }
}

KeychainAttributeList itemAttributes(const QByteArray& label, const QByteArray& account,
                                     const QByteArray& service)
{
    return {{KeychainCodes::label, label},
            {KeychainCodes::account, account},
            {KeychainCodes::service, service},
            {KeychainCodes::creator, QByteArrayLiteral("Klft")},
            {KeychainCodes::type, QByteArrayLiteral("Klf1")}};
}

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
