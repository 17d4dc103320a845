#include "SecretServiceFixture.h"

SecretServiceFixture::SecretServiceFixture(SecretServiceBus::Service service) : m_bus(service)
{
    if (m_bus.isReady()) {
        m_bus.makeSessionBus();
    }
}

std::unique_ptr<Keychain> SecretServiceFixture::cleanDefaultKeychain()
{
    std::unique_ptr<Keychain> keychain;
    if (!isReady()) {
        return nullptr;
    }
    OSStatus status = m_services.copyDefault(keychain);
    if (status == errSecSuccess) {
        status = removeOurItems(*keychain);
    }
    if (status != errSecSuccess) {
        m_error = QStringLiteral("no clean default keychain: status %1").arg(status);
        return nullptr;
    }
    return keychain;
}

OSStatus SecretServiceFixture::removeOurItems(Keychain& keychain)
{
    std::unique_ptr<KeychainSearch> search;
    OSStatus status =
        keychain.searchCreateFromAttributes(KeychainCodes::genericPasswordClass, {}, search);
    std::unique_ptr<KeychainItemRef> item;
    while (status == errSecSuccess && search->copyNext(item) == errSecSuccess) {
        status = keychain.itemDelete(*item);
    }
    return status;
}
