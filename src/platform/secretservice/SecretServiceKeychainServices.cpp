#include "platform/secretservice/SecretServiceKeychainServices.h"

#include "platform/secretservice/SecretServiceKeychain.h"

#include <libsecret/secret.h>

SecretServiceKeychainServices::SecretServiceKeychainServices(const SecretServiceTimeouts& timeouts)
    : m_options(std::make_shared<SecretServiceOptions>())
{
    m_options->timeouts = timeouts;
}

void SecretServiceKeychainServices::setUserInteractionAllowed(bool allowed)
{
    m_options->userInteractionAllowed = allowed;
}

OSStatus SecretServiceKeychainServices::open(const QString&, std::unique_ptr<Keychain>&)
{
    return errSecNoSuchKeychain;
}

OSStatus SecretServiceKeychainServices::create(const QString&, std::unique_ptr<Keychain>&)
{
    return errSecUnimplemented;
}

// Every failure on the way, whatever its cause, means there is no default keychain
// to use, which is what the store needs to know to offer a keychain file instead.
OSStatus SecretServiceKeychainServices::copyDefault(std::unique_ptr<Keychain>& keychain)
{
    std::shared_ptr<SecretServiceSession> session;
    if (SecretServiceSession::connect(m_options, session) != errSecSuccess) {
        return errSecNoDefaultKeychain;
    }
    GObjectPtr<SecretCollection> collection;
    const OSStatus status = session->perform(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            secret_collection_for_alias(session->service(), SECRET_COLLECTION_DEFAULT,
                                        SECRET_COLLECTION_NONE, cancellable, callback, data);
        },
        [&](GAsyncResult* result, GError** error) {
            collection.reset(secret_collection_for_alias_finish(result, error));
        },
        m_options->timeouts.callMs, SecretServiceSubject::Keychain);
    if (status != errSecSuccess || !collection) {
        return errSecNoDefaultKeychain;
    }
    keychain = std::make_unique<SecretServiceKeychain>(std::move(session), std::move(collection));
    return errSecSuccess;
}
