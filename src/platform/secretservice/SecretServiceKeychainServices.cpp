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
    if (defaultCollection(*session, collection) != errSecSuccess || !collection) {
        return errSecNoDefaultKeychain;
    }
    keychain = std::make_unique<SecretServiceKeychain>(std::move(session), std::move(collection));
    return errSecSuccess;
}

OSStatus SecretServiceKeychainServices::defaultCollection(SecretServiceSession& session,
                                                          GObjectPtr<SecretCollection>& collection)
{
    return session.perform(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            secret_collection_for_alias(session.service(), SECRET_COLLECTION_DEFAULT,
                                        SECRET_COLLECTION_NONE, cancellable, callback, data);
        },
        [&](GAsyncResult* result, GError** error) {
            collection.reset(secret_collection_for_alias_finish(result, error));
        },
        m_options->timeouts.callMs, SecretServiceSubject::Keychain);
}

// A service that answers but has nothing behind its default alias, as KWallet before
// its first wallet.
bool SecretServiceKeychainServices::canCreateDefault()
{
    std::shared_ptr<SecretServiceSession> session;
    GObjectPtr<SecretCollection> collection;
    return SecretServiceSession::connect(m_options, session) == errSecSuccess &&
           defaultCollection(*session, collection) == errSecSuccess && !collection;
}

OSStatus SecretServiceKeychainServices::createDefault(std::unique_ptr<Keychain>& keychain)
{
    if (!m_options->userInteractionAllowed) {
        return errSecInteractionNotAllowed;
    }
    std::shared_ptr<SecretServiceSession> session;
    if (SecretServiceSession::connect(m_options, session) != errSecSuccess) {
        return errSecNoDefaultKeychain;
    }
    GObjectPtr<SecretCollection> collection;
    // The provider asks for the new keychain's password in its own prompt.
    const OSStatus status = session->perform(
        [&](GCancellable* cancellable, GAsyncReadyCallback callback, gpointer data) {
            secret_collection_create(session->service(), "Passwords", SECRET_COLLECTION_DEFAULT,
                                     SECRET_COLLECTION_CREATE_NONE, cancellable, callback, data);
        },
        [&](GAsyncResult* result, GError** error) {
            collection.reset(secret_collection_create_finish(result, error));
        },
        m_options->timeouts.promptMs, SecretServiceSubject::Keychain);
    if (status != errSecSuccess) {
        return status;
    }
    if (!collection) {
        return errSecUserCanceled; // the prompt was dismissed
    }
    keychain = std::make_unique<SecretServiceKeychain>(std::move(session), std::move(collection));
    return errSecSuccess;
}
