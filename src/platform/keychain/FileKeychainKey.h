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

    // The whole file: header with a fresh nonce, then the sealed plaintext.
    QByteArray seal(const SecretBytes& plaintext, FileKeychainHeader header) const;

    // Opens the body of file (header included) into plaintext. False when the file
    // is truncated or any of its bytes was changed.
    bool open(QByteArrayView file, SecretBytes& plaintext) const;

private:
    FileKeychainKey();
    static OSStatus deriveChecked(const SecretBytes& password, FileKeychainHeader& header,
                                  bool fillCheck, std::unique_ptr<FileKeychainKey>& key);

    unsigned char* m_key = nullptr;
};
