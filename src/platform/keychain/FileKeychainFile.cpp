#include "platform/keychain/FileKeychainFile.h"

#include "platform/keychain/FileKeychainHeader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace FileKeychainFile {
namespace {
// No keychain of a person's passwords comes near this; a larger file is something else.
constexpr std::int64_t maxKeychainSize = std::int64_t(512) << 20;

FileKeychainStamp stampOf(const struct stat& info)
{
    return FileKeychainStamp{std::uint64_t(info.st_dev), std::uint64_t(info.st_ino),
                             std::int64_t(info.st_size), std::int64_t(info.st_mtim.tv_sec),
                             std::int64_t(info.st_mtim.tv_nsec)};
}

// A file descriptor that closes itself.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }
    // Closes now and reports the error a delayed write may only show here.
    int close()
    {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result;
    }

private:
    int m_fd;
};

thread_local Failure failure;

// Remembers the failure of a call on path and gives its status.
OSStatus failed(const QString& path, int error, bool writing)
{
    failure = Failure{path, error, writing};
    return statusForErrno(error);
}

OSStatus missingOr(const QString& path, int error)
{
    const OSStatus status = failed(path, error, false);
    return (error == ENOENT || error == ENOTDIR) ? errSecNoSuchKeychain : status;
}

bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= std::size_t(written);
    }
    return true;
}

bool readAll(int fd, char* data, std::size_t size, std::size_t& got)
{
    got = 0;
    while (got < size) {
        const ssize_t count = ::read(fd, data + got, size - got);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return false;
        }
        if (count == 0) {
            break;
        }
        got += std::size_t(count);
    }
    return true;
}

int renameInto(const char* from, const char* to, Replace replace)
{
    if (replace == Replace::Existing) {
        return ::rename(from, to);
    }
    const int result = ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
    if (result != 0 && errno == EINVAL) {
        // The file system cannot rename without replacing: a hard link fails the same way
        // on an existing target.
        if (::link(from, to) != 0) {
            return -1;
        }
        ::unlink(from);
        return 0;
    }
    return result;
}

int syncFolder(const QString& folder)
{
    Descriptor dir(
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.isValid() || ::fsync(dir.get()) != 0) {
        return -1;
    }
    return 0;
}
// Gives the new file at fd the owner, group and mode of the file it replaces (old), the
// mode narrowed to the owner's reading and writing. Where the owner cannot be given
// (only root may), the group still may be; the mode is set either way.
void keepOwnerAndMode(int fd, const struct stat& old)
{
    if (::fchown(fd, old.st_uid, old.st_gid) != 0 && ::fchown(fd, uid_t(-1), old.st_gid) != 0) {
        // Neither could be given: the file stays the writer's, as any new file.
    }
    ::fchmod(fd, old.st_mode & (S_IRUSR | S_IWUSR));
}

// Whether the file at path is what an interrupted write leaves: a regular file that is
// empty or starts as a keychain file does. Anything else of a matching name is kept.
bool isInterruptedCopy(const QString& path)
{
    Descriptor file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    struct stat info {};
    if (!file.isValid() || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    char head[8] = {};
    std::size_t got = 0;
    return readAll(file.get(), head, sizeof head, got) &&
           FileKeychainHeader::mayStartFile(QByteArrayView(head, qsizetype(got)));
}

// The lock files this process holds, by name, so that a second acquire shares the hold:
// a second flock on another descriptor of the same file would wait for ourselves.
std::mutex heldMutex;
std::map<QByteArray, std::weak_ptr<Lock::Held>>& heldLocks()
{
    static std::map<QByteArray, std::weak_ptr<Lock::Held>> held;
    return held;
}

// Opens the lock file name, made if missing and then owned as the keychain at path is.
// A lock file that cannot be written (a read-only file system) can still be locked.
int openLockFile(const QString& path, const QByteArray& name)
{
    int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 && (errno == EROFS || errno == EACCES)) {
        const int error = errno;
        fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        errno = fd < 0 ? error : 0;
    }
    struct stat keychain {};
    struct stat lock {};
    if (fd >= 0 && ::stat(QFile::encodeName(path).constData(), &keychain) == 0 &&
        ::fstat(fd, &lock) == 0 && lock.st_uid != keychain.st_uid &&
        ::fchown(fd, keychain.st_uid, keychain.st_gid) != 0) {
        // Only root makes a lock file for another user's keychain, and only root can
        // give it away; anyone else's lock file is already theirs.
    }
    return fd;
}
} // namespace

struct Lock::Held {
    QByteArray name;
    int fd = -1;
    ~Held()
    {
        ::flock(fd, LOCK_UN);
        ::close(fd);
        const std::lock_guard<std::mutex> guard(heldMutex);
        const auto found = heldLocks().find(name);
        if (found != heldLocks().end() && found->second.expired()) {
            heldLocks().erase(found);
        }
    }
};

const Failure& lastFailure()
{
    return failure;
}

OSStatus statusForErrno(int error)
{
    switch (error) {
    case 0:
        return errSecSuccess;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return errSecDiskFull;
    case EACCES:
    case EPERM:
        return errSecWrPerm;
    case EROFS:
        return errSecReadOnly;
    case ENOMEM:
        return errSecAllocate;
    default:
        return errSecIO;
    }
}

OSStatus stat(const QString& path, FileKeychainStamp& stamp)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return missingOr(path, errno);
    }
    stamp = stampOf(info);
    return errSecSuccess;
}

OSStatus read(const QString& path, QByteArray& bytes, FileKeychainStamp& stamp, qsizetype maxBytes)
{
    Descriptor file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!file.isValid() || ::fstat(file.get(), &info) != 0) {
        return missingOr(path, errno);
    }
    if (!S_ISREG(info.st_mode) || info.st_size > maxKeychainSize) {
        return errSecInvalidKeychain;
    }
    const auto wanted = maxBytes < 0 ? std::size_t(info.st_size)
                                     : std::size_t(std::min<std::int64_t>(maxBytes, info.st_size));
    // Reuses bytes' memory when it is large enough: fresh memory for a large keychain
    // costs more in page faults than reading the file.
    if (maxBytes < 0 && std::size_t(bytes.capacity()) < wanted) {
        // A whole keychain is sealed again into the same memory after a change, a little
        // larger then: room is reserved now (reserved pages cost nothing until used).
        bytes = QByteArray();
        bytes.reserve(qsizetype(wanted + wanted / 32 + 4096));
    }
    bytes.resize(qsizetype(wanted));
    std::size_t got = 0;
    if (!readAll(file.get(), bytes.data(), wanted, got)) {
        return failed(path, errno, false);
    }
    bytes.truncate(qsizetype(got));
    stamp = stampOf(info);
    return errSecSuccess;
}

OSStatus writeAtomically(const QString& path, QByteArrayView bytes, Replace replace,
                         FileKeychainStamp& written)
{
    const QByteArray target = QFile::encodeName(path);
    struct stat old {};
    const bool replacing = replace == Replace::Existing && ::stat(target.constData(), &old) == 0;
    // The owner made the file read-only on purpose; root would be let through.
    if (replacing && (old.st_mode & S_IWUSR) == 0) {
        return failed(path, EACCES, true);
    }
    const QFileInfo info(path);
    QByteArray temporary =
        QFile::encodeName(info.absolutePath() + QLatin1String("/.") + info.fileName()) + ".XXXXXX";
    // mkstemp creates the file with mode 0600.
    Descriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!file.isValid()) {
        return failed(path, errno, true);
    }
    if (replacing) {
        keepOwnerAndMode(file.get(), old);
    }
    struct stat stamped {};
    const bool saved = writeAll(file.get(), bytes.data(), std::size_t(bytes.size())) &&
                       ::fsync(file.get()) == 0 && ::fstat(file.get(), &stamped) == 0 &&
                       file.close() == 0;
    if (!saved || renameInto(temporary.constData(), target.constData(), replace) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        return error == EEXIST ? errSecDuplicateKeychain : failed(path, error, true);
    }
    written = stampOf(stamped);
    // The new file is in place; a failure to flush the folder only weakens the
    // guarantee after a power cut, and the old content is gone either way.
    syncFolder(info.absolutePath());
    return errSecSuccess;
}

void removeStaleCopies(const QString& path)
{
    const QFileInfo info(path);
    const QDir folder = info.absoluteDir();
    const QString prefix = QLatin1Char('.') + info.fileName() + QLatin1Char('.');
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QString& name : names) {
        if (name.size() == prefix.size() + 6 && name.startsWith(prefix) &&
            isInterruptedCopy(folder.filePath(name))) {
            QFile::remove(folder.filePath(name));
        }
    }
}

Lock::~Lock() = default;

QString Lock::lockPath(const QString& path)
{
    return path + QLatin1String(".lock");
}

OSStatus Lock::acquire(const QString& path, std::unique_ptr<Lock>& lock)
{
    const QByteArray name = QFile::encodeName(lockPath(path));
    const std::lock_guard<std::mutex> guard(heldMutex);
    if (std::shared_ptr<Held> held = heldLocks()[name].lock()) {
        lock.reset(new Lock(std::move(held)));
        return errSecSuccess;
    }
    const int fd = openLockFile(path, name);
    if (fd < 0) {
        return failed(path, errno, true);
    }
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            const int error = errno;
            ::close(fd);
            return failed(path, error, true);
        }
    }
    // Every writer holds the lock while its copy exists: the copies there now are
    // those of writers that died.
    removeStaleCopies(path);
    auto held = std::make_shared<Held>();
    held->name = name;
    held->fd = fd;
    heldLocks()[name] = held;
    lock.reset(new Lock(std::move(held)));
    return errSecSuccess;
}

} // namespace FileKeychainFile
