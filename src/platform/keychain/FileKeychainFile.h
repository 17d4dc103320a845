#pragma once

#include "platform/keychain/KeychainStatus.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <memory>

// What tells one version of a keychain file from another: the file is replaced on
// every write, so a new inode, size or modification time means someone wrote it.
struct FileKeychainStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;

    bool operator==(const FileKeychainStamp&) const = default;
};

// File-system work for keychain files: reading, locking and atomic replacement.
// Every failure comes back as a keychain status through statusForErrno.
namespace FileKeychainFile {

// The one place where system errors become keychain statuses.
OSStatus statusForErrno(int error);

// errSecNoSuchKeychain when nothing is at path.
OSStatus stat(const QString& path, FileKeychainStamp& stamp);

// Reads the first maxBytes bytes of the file at path (all of it when maxBytes is
// negative) together with the stamp of exactly the version read. errSecNoSuchKeychain
// when nothing is there, errSecInvalidKeychain when it is no regular file or too large
// to be a keychain. bytes' memory is reused when large enough.
OSStatus read(const QString& path, QByteArray& bytes, FileKeychainStamp& stamp,
              qsizetype maxBytes = -1);

enum class Replace { Existing, Never };

// Writes bytes as the new content of path: into a temporary file of mode 0600 in the
// same folder, flushed to disk, then renamed over path and the folder flushed, so a
// crash leaves either the old or the new file. With Replace::Never an existing file
// gives errSecDuplicateKeychain. written receives the stamp of the new file.
OSStatus writeAtomically(const QString& path, QByteArrayView bytes, Replace replace,
                         FileKeychainStamp& written);

// An exclusive lock on the keychain at path, held through a lock file beside it
// ("<path>.lock", mode 0600): the keychain file itself is replaced on every write, so a
// lock on it would not hold. Released when the object is destroyed.
class Lock {
public:
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    // Waits until the lock is free.
    static OSStatus acquire(const QString& path, std::unique_ptr<Lock>& lock);
    static QString lockPath(const QString& path);

private:
    explicit Lock(int fd) : m_fd(fd) {}
    int m_fd;
};

} // namespace FileKeychainFile
