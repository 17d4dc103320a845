#include "platform/secretservice/DesktopKeychainServices.h"

DesktopKeychainServices::DesktopKeychainServices(KeychainServices& files,
                                                 std::unique_ptr<KeychainServices> secrets)
    : m_files(files), m_secrets(std::move(secrets))
{}

void DesktopKeychainServices::setUserInteractionAllowed(bool allowed)
{
    m_files.setUserInteractionAllowed(allowed);
    m_secrets->setUserInteractionAllowed(allowed);
}

OSStatus DesktopKeychainServices::open(const QString& path, std::unique_ptr<Keychain>& keychain)
{
    return m_files.open(path, keychain);
}

OSStatus DesktopKeychainServices::copyDefault(std::unique_ptr<Keychain>& keychain)
{
    return m_secrets->copyDefault(keychain);
}

OSStatus DesktopKeychainServices::create(const QString& path, std::unique_ptr<Keychain>& keychain)
{
    return m_files.create(path, keychain);
}

bool DesktopKeychainServices::canCreateDefault()
{
    return m_secrets->canCreateDefault();
}

OSStatus DesktopKeychainServices::createDefault(std::unique_ptr<Keychain>& keychain)
{
    return m_secrets->createDefault(keychain);
}
