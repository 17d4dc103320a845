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

// The last file-system call of this thread that failed: which file, the system's error
// number and whether it was a write. A status alone cannot tell a full disk from a
// full quota, nor name the file; messages for people use this.
struct Failure {
    QString path;
    int error = 0;
    bool writing = false;
};
const Failure& lastFailure();

// errSecNoSuchKeychain when nothing is at path.
OSStatus stat(const QString& path, FileKeychainStamp& stamp);

// Reads the first maxBytes bytes of the file at path (all of it when maxBytes is
// negative) together with the stamp of exactly the version read. errSecNoSuchKeychain
// when nothing is there, errSecInvalidKeychain when it is no regular file or too large
// to be a keychain. bytes' memory is reused when large enough.
OSStatus read(const QString& path, QByteArray& bytes, FileKeychainStamp& stamp,
              qsizetype maxBytes = -1);

enum class Replace { Existing, Never };

// Writes bytes as the new content of path: into a temporary file ".NAME.XXXXXX" in the
// same folder, flushed to disk, then renamed over path and the folder flushed, so a
// crash leaves either the old or the new file. The new file is mode 0600; one that
// replaces a file keeps that file's owner and group where the system permits and its
// mode, narrowed to 0600 at most. A file whose mode denies its owner writing is left
// alone (errSecWrPerm). With Replace::Never an existing file gives
// errSecDuplicateKeychain. written receives the stamp of the new file. Call it while
// holding the Lock of path.
OSStatus writeAtomically(const QString& path, QByteArrayView bytes, Replace replace,
                         FileKeychainStamp& written);

// Removes the temporary copies of the keychain at path that writes killed half-way left
// behind (regular files ".NAME.XXXXXX", empty or starting as a keychain file does).
// Lock::acquire calls it once it holds the lock: every writer holds the lock while its
// copy exists, so no copy found then belongs to a live writer.
void removeStaleCopies(const QString& path);

// An exclusive lock on the keychain at path, held through a lock file beside it
// ("<path>.lock", mode 0600, owned as the keychain is): the keychain file itself is
// replaced on every write, so a lock on it would not hold. The lock belongs to the
// process: a second acquire in a process that holds it shares the hold, which ends
// when the last Lock object is destroyed. The system releases it when the process dies,
// so it never goes stale. Taking it removes what killed writers left (removeStaleCopies).
class Lock {
public:
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    // Waits until the lock is free.
    static OSStatus acquire(const QString& path, std::unique_ptr<Lock>& lock);
    static QString lockPath(const QString& path);

    // One hold of a lock file by this process; defined with the code.
    struct Held;

private:
    explicit Lock(std::shared_ptr<Held> held) : m_held(std::move(held)) {}
    std::shared_ptr<Held> m_held;
};

} // namespace FileKeychainFile
