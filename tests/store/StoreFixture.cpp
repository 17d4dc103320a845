#include "StoreFixture.h"

#include "KeychainQueries.h"

#include "platform/keychain/FileKeychainServices.h"
#include "platform/secretservice/DesktopKeychainServices.h"
#include "platform/secretservice/SecretServiceKeychainServices.h"

#include "SecretServiceFixture.h"

#include <QTest>

const QString StoreFixture::password = QStringLiteral("correct horse \u00e4");

StoreFixture::StoreFixture(Backend backend, SecretServiceFixture* secretService)
    : m_backend(backend)
{
    m_defaults = std::make_unique<UserDefaults>(m_folder.filePath(QStringLiteral("Keyloft.conf")));
    m_defaults->registerDefaults(
        {{NetKeyloft_Keychain::keychainPathKey, NetKeyloft_Keychain::keychainPathUnset}});
    m_fileServices = std::make_unique<FileKeychainServices>(m_dialogs, FileKeychainKdf::minimum());
    m_rawFileServices =
        std::make_unique<FileKeychainServices>(m_rawDialogs, FileKeychainKdf::minimum());
    if (backend == Backend::File) {
        // A keychain file chosen earlier, as a returning user has it.
        m_services = std::make_unique<FileKeychainServices>(m_dialogs, FileKeychainKdf::minimum());
        m_rawServices = m_rawFileServices.get();
        m_rawDialogs.queueNewPassword(password);
        std::unique_ptr<Keychain> created;
        QCOMPARE(m_rawServices->create(keychainPath(), created), errSecSuccess);
        m_defaults->setValue(NetKeyloft_Keychain::keychainPathKey, keychainPath());
        return;
    }
    // No keychain file chosen: the desktop's default keychain, emptied of our items.
    QVERIFY(secretService != nullptr);
    m_services = std::make_unique<DesktopKeychainServices>(
        *m_fileServices, std::make_unique<SecretServiceKeychainServices>());
    m_rawServices = &secretService->services();
    QVERIFY2(secretService->cleanDefaultKeychain(), qPrintable(secretService->errorString()));
}

QString StoreFixture::keychainPath() const
{
    return m_folder.filePath(QStringLiteral("test.keychain"));
}

NetKeyloft_Keychain::Environment StoreFixture::environment()
{
    return {*m_services, *m_defaults, m_dialogs};
}

std::unique_ptr<NetKeyloft_KeychainController> StoreFixture::openList()
{
    m_dialogs.queuePassword(password);
    return NetKeyloft_KeychainController::create(
        environment(), [this](const NetKeyloft_Error& error) { m_errors.push_back(error); });
}

std::unique_ptr<Keychain> StoreFixture::openRaw()
{
    std::unique_ptr<Keychain> keychain;
    m_rawDialogs.queuePassword(password);
    const OSStatus status = m_backend == Backend::File
                                ? m_rawServices->open(keychainPath(), keychain)
                                : m_rawServices->copyDefault(keychain);
    if (status != errSecSuccess) {
        qWarning("cannot open the test keychain: %d", int(status));
        return nullptr;
    }
    return keychain;
}

void StoreFixture::addRawItem(const KeychainAttributeList& attributes, const QByteArray& secret)
{
    auto keychain = openRaw();
    QVERIFY(keychain);
    QCOMPARE(keychain->itemCreateFromContent(
                 KeychainCodes::genericPasswordClass, attributes,
                 SecretBytes(secret.constData(), std::size_t(secret.size()))),
             errSecSuccess);
}

std::unique_ptr<KeychainItemRef> StoreFixture::findRaw(Keychain& keychain, const QString& uuid)
{
    auto items = searchAll(keychain, {{KeychainCodes::service, uuid.toUtf8()}});
    return items.empty() ? nullptr : std::move(items.front());
}

QByteArray StoreFixture::rawAttribute(const QString& uuid, FourCharCode tag)
{
    auto keychain = openRaw();
    auto item = keychain ? findRaw(*keychain, uuid) : nullptr;
    return item ? attributeOf(*keychain, *item, tag) : QByteArray("<missing>");
}

std::optional<QByteArray> StoreFixture::rawSecret(const QString& uuid)
{
    auto keychain = openRaw();
    auto item = keychain ? findRaw(*keychain, uuid) : nullptr;
    SecretBytes secret;
    if (!item || keychain->itemCopyContent(*item, {}, nullptr, &secret) != errSecSuccess) {
        return std::nullopt;
    }
    return QByteArray(secret.data(), qsizetype(secret.size()));
}

QStringList labelsOf(const NetKeyloft_KeychainController& list)
{
    QStringList labels;
    for (const ItemPtr& item : list.keychainItems()) {
        labels << item->label();
    }
    return labels;
}
