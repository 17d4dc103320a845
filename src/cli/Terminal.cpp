#include "cli/Terminal.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Appends bytes to a secret buffer; the old buffer is wiped by SecretBytes::resize.
void append(SecretBytes& secret, const char* bytes, std::size_t size)
{
    const std::size_t old = secret.size();
    secret.resize(old + size);
    std::memcpy(secret.data() + old, bytes, size);
}

void dropLineEnd(SecretBytes& secret)
{
    if (secret.size() > 0 && secret.data()[secret.size() - 1] == '\n') {
        secret.resize(secret.size() - 1);
        if (secret.size() > 0 && secret.data()[secret.size() - 1] == '\r') {
            secret.resize(secret.size() - 1);
        }
    }
}

bool writeAll(int fd, const char* bytes, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes += written;
        size -= std::size_t(written);
    }
    return true;
}

// Reads from fd up to and without the first line end; false when nothing at all could
// be read (end of input or an error before the first byte).
bool readLine(int fd, SecretBytes& line)
{
    bool gotAny = false;
    char byte = 0;
    for (;;) {
        const ssize_t got = ::read(fd, &byte, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return gotAny;
        }
        gotAny = true;
        if (byte == '\n') {
            byte = 0;
            return true;
        }
        append(line, &byte, 1);
        byte = 0;
    }
}

// The terminal's settings while echo is off, so that a signal can restore them.
int echoFd = -1;
termios savedTermios;

void restoreEchoAndRaise(int signal)
{
    if (echoFd >= 0) {
        ::tcsetattr(echoFd, TCSAFLUSH, &savedTermios);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// A file descriptor of the controlling terminal, closed on destruction.
class Tty {
public:
    Tty() : m_fd(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
    ~Tty()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Tty(const Tty&) = delete;
    Tty& operator=(const Tty&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    void write(const QString& text) const
    {
        const QByteArray bytes = text.toLocal8Bit();
        writeAll(m_fd, bytes.constData(), std::size_t(bytes.size()));
    }

private:
    int m_fd;
};

} // namespace

namespace Terminal {

bool isAvailable()
{
    return Tty().isOpen();
}

bool stdinIsTerminal()
{
    return ::isatty(STDIN_FILENO) == 1;
}

bool stdoutIsTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

std::optional<SecretBytes> readSecret(const QString& prompt)
{
    Tty tty;
    if (!tty.isOpen()) {
        return std::nullopt;
    }
    tty.write(prompt);
    termios quiet;
    const bool canHide = ::tcgetattr(tty.fd(), &savedTermios) == 0;
    if (canHide) {
        quiet = savedTermios;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        quiet.c_lflag |= ECHONL;
        echoFd = tty.fd();
        std::signal(SIGINT, restoreEchoAndRaise);
        std::signal(SIGTERM, restoreEchoAndRaise);
        std::signal(SIGHUP, restoreEchoAndRaise);
        ::tcsetattr(tty.fd(), TCSAFLUSH, &quiet);
    }
    SecretBytes line;
    const bool gotLine = readLine(tty.fd(), line);
    if (canHide) {
        ::tcsetattr(tty.fd(), TCSAFLUSH, &savedTermios);
        echoFd = -1;
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        std::signal(SIGHUP, SIG_DFL);
    }
    if (!gotLine) {
        tty.write(QStringLiteral("\n"));
        return std::nullopt;
    }
    return line;
}

std::optional<SecretBytes> readNewSecret(const QString& prompt)
{
    for (;;) {
        std::optional<SecretBytes> first = readSecret(prompt);
        if (!first) {
            return std::nullopt;
        }
        const std::optional<SecretBytes> second = readSecret(QStringLiteral("The same again: "));
        if (!second) {
            return std::nullopt;
        }
        if (*first == *second) {
            return first;
        }
        writeErr(QStringLiteral("keyloft-cli: the two differ, try again.\n"));
    }
}

std::optional<bool> confirm(const QString& question)
{
    Tty tty;
    if (!tty.isOpen()) {
        return std::nullopt;
    }
    tty.write(question + QStringLiteral(" [y/N] "));
    SecretBytes answer;
    if (!readLine(tty.fd(), answer)) {
        tty.write(QStringLiteral("\n"));
        return false;
    }
    return answer.size() > 0 && (answer.data()[0] == 'y' || answer.data()[0] == 'Y');
}

std::optional<SecretBytes> readLineFromDescriptor(int fd)
{
    const int flags = fd < 0 ? -1 : ::fcntl(fd, F_GETFL);
    if (flags == -1 || (flags & O_ACCMODE) == O_WRONLY) {
        return std::nullopt;
    }
    SecretBytes line;
    readLine(fd, line);
    return line;
}

std::optional<SecretBytes> readAllStandardInput()
{
    SecretBytes all;
    char chunk[4096];
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            wipeMemory(chunk, sizeof chunk);
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        append(all, chunk, std::size_t(got));
    }
    wipeMemory(chunk, sizeof chunk);
    dropLineEnd(all);
    return all;
}

bool writeOut(const char* bytes, std::size_t size)
{
    return writeAll(STDOUT_FILENO, bytes, size);
}

bool writeOut(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return writeOut(bytes.constData(), std::size_t(bytes.size()));
}

void writeErr(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    writeAll(STDERR_FILENO, bytes.constData(), std::size_t(bytes.size()));
}

} // namespace Terminal
