#include "platform/keychain/FileKeychainFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
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

OSStatus missingOr(int error)
{
    return (error == ENOENT || error == ENOTDIR) ? errSecNoSuchKeychain : statusForErrno(error);
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
} // namespace

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
        return missingOr(errno);
    }
    stamp = stampOf(info);
    return errSecSuccess;
}

OSStatus read(const QString& path, QByteArray& bytes, FileKeychainStamp& stamp, qsizetype maxBytes)
{
    Descriptor file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!file.isValid() || ::fstat(file.get(), &info) != 0) {
        return missingOr(errno);
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
        return statusForErrno(errno);
    }
    bytes.truncate(qsizetype(got));
    stamp = stampOf(info);
    return errSecSuccess;
}

OSStatus writeAtomically(const QString& path, QByteArrayView bytes, Replace replace,
                         FileKeychainStamp& written)
{
    const QByteArray target = QFile::encodeName(path);
    const QFileInfo info(path);
    QByteArray temporary =
        QFile::encodeName(info.absolutePath() + QLatin1String("/.") + info.fileName()) + ".XXXXXX";
    // mkstemp creates the file with mode 0600.
    Descriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!file.isValid()) {
        return statusForErrno(errno);
    }
    struct stat stamped {};
    const bool saved = writeAll(file.get(), bytes.data(), std::size_t(bytes.size())) &&
                       ::fsync(file.get()) == 0 && ::fstat(file.get(), &stamped) == 0 &&
                       file.close() == 0;
    if (!saved || renameInto(temporary.constData(), target.constData(), replace) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        return error == EEXIST ? errSecDuplicateKeychain : statusForErrno(error);
    }
    written = stampOf(stamped);
    // The new file is in place; a failure to flush the folder only weakens the
    // guarantee after a power cut, and the old content is gone either way.
    syncFolder(info.absolutePath());
    return errSecSuccess;
}

Lock::~Lock()
{
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
}

QString Lock::lockPath(const QString& path)
{
    return path + QLatin1String(".lock");
}

OSStatus Lock::acquire(const QString& path, std::unique_ptr<Lock>& lock)
{
    const QByteArray name = QFile::encodeName(lockPath(path));
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return statusForErrno(errno);
    }
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            const int error = errno;
            ::close(fd);
            return statusForErrno(error);
        }
    }
    lock.reset(new Lock(fd));
    return errSecSuccess;
}

} // namespace FileKeychainFile
