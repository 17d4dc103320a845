#pragma once

#include "platform/SecretBytes.h"
#include "platform/keychain/FileKeychainHeader.h"
#include "platform/keychain/KeychainStatus.h"

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

// The key that seals the body of one keychain file, derived from the keychain's
// password. It lives in locked memory that is wiped when the key is destroyed.
class FileKeychainKey {
public:
    ~FileKeychainKey();
    FileKeychainKey(const FileKeychainKey&) = delete;
    FileKeychainKey& operator=(const FileKeychainKey&) = delete;

    // Derives the key for an existing file. errSecAuthFailed when the password does not
    // fit the header's key check; errSecAllocate when the derivation could not run.
    static OSStatus derive(const SecretBytes& password, const FileKeychainHeader& header,
                           std::unique_ptr<FileKeychainKey>& key);

    // Derives the key for a new file: fills header's cost, a random salt and the key check.
    static OSStatus create(const SecretBytes& password, const FileKeychainKdf& kdf,
                           FileKeychainHeader& header, std::unique_ptr<FileKeychainKey>& key);

    // The whole keychain file: header with a fresh nonce, then plaintext sealed.
    QByteArray seal(const SecretBytes& plaintext, const FileKeychainHeader& header) const;
    // Makes file the whole keychain file: header with a fresh nonce, then the first size
    // bytes of plaintext sealed. file's memory is reused when it is large enough.
    void seal(const SecretBytes& plaintext, std::size_t size, FileKeychainHeader header,
              QByteArray& file) const;

    // Opens the body of file (header included) into the first size bytes of plaintext,
    // which grows when it is too small. False when the file is truncated or any of its
    // bytes was changed.
    bool open(QByteArrayView file, SecretBytes& plaintext, std::size_t& size) const;

private:
    FileKeychainKey();
    static OSStatus deriveChecked(const SecretBytes& password, FileKeychainHeader& header,
                                  bool fillCheck, std::unique_ptr<FileKeychainKey>& key);

    unsigned char* m_key = nullptr;
};
