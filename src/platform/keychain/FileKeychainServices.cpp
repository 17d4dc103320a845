#include "platform/keychain/FileKeychainServices.h"

#include "platform/keychain/FileKeychain.h"

FileKeychainServices::FileKeychainServices(Dialogs& dialogs, FileKeychainKdf kdf,
                                           const Clock& clock)
    : m_interaction(std::make_shared<FileKeychainInteraction>(dialogs, clock)), m_kdf(kdf)
{}

FileKeychainServices::~FileKeychainServices() = default;

void FileKeychainServices::setUserInteractionAllowed(bool allowed)
{
    m_interaction->allowed = allowed;
}

OSStatus FileKeychainServices::open(const QString& path, std::unique_ptr<Keychain>& keychain)
{
    auto opened = std::make_unique<FileKeychain>(path, m_interaction);
    const OSStatus status = opened->getStatus();
    if (status == errSecSuccess) {
        keychain = std::move(opened);
    }
    return status;
}

OSStatus FileKeychainServices::copyDefault(std::unique_ptr<Keychain>&)
{
    return errSecNoDefaultKeychain;
}

OSStatus FileKeychainServices::create(const QString& path, std::unique_ptr<Keychain>& keychain)
{
    FileKeychainStamp stamp;
    if (FileKeychainFile::stat(path, stamp) != errSecNoSuchKeychain) {
        return errSecDuplicateKeychain;
    }
    if (!m_interaction->allowed) {
        return errSecInteractionNotAllowed;
    }
    const std::optional<SecretBytes> password = m_interaction->dialogs.askNewKeychainPassword(path);
    if (!password) {
        return errSecUserCanceled;
    }
    // Anyone who could read the file could open a keychain without a password.
    if (password->size() == 0) {
        return errSecParam;
    }
    FileKeychainHeader header;
    std::unique_ptr<FileKeychainKey> key;
    OSStatus status = FileKeychainKey::create(*password, m_kdf, header, key);
    if (status != errSecSuccess) {
        return status;
    }
    FileKeychainContent content;
    const QByteArray file = key->seal(serializeFileKeychainBody(content), header);
    // Never replaces a file that appeared while the user typed the password. Written
    // under the keychain's lock, as every write is, so others can tell copies that
    // killed writers left behind from the copy of a live one.
    std::unique_ptr<FileKeychainFile::Lock> lock;
    status = FileKeychainFile::Lock::acquire(path, lock);
    if (status == errSecSuccess) {
        status =
            FileKeychainFile::writeAtomically(path, file, FileKeychainFile::Replace::Never, stamp);
    }
    if (status == errSecSuccess) {
        keychain = std::make_unique<FileKeychain>(path, m_interaction, std::move(key), header,
                                                  stamp, std::move(content));
    }
    return status;
}
