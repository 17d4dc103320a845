#include "SecretServiceFixture.h"

#include "KeychainQueries.h"

SecretServiceFixture::SecretServiceFixture(SecretServiceBus::Service service) : m_bus(service)
{
    if (m_bus.isReady()) {
        m_bus.makeSessionBus();
    }
}

std::unique_ptr<Keychain> SecretServiceFixture::cleanDefaultKeychain()
{
    if (!isReady()) {
        return nullptr;
    }
    std::unique_ptr<Keychain> keychain;
    OSStatus status = m_services.copyDefault(keychain);
    if (status == errSecSuccess) {
        for (const auto& item : searchAll(*keychain, {}, &status)) {
            if (status == errSecSuccess) {
                status = keychain->itemDelete(*item);
            }
        }
    }
    if (status != errSecSuccess) {
        m_error = QStringLiteral("no clean default keychain: status %1").arg(status);
        return nullptr;
    }
    return keychain;
}
