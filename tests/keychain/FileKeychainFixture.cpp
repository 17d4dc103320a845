#include "FileKeychainFixture.h"

#include <QFile>
#include <QTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

FileKeychainFixture::FileKeychainFixture() : services(dialogs, FileKeychainKdf::minimum(), clock)
{
    QVERIFY(dir.isValid());
}

QString FileKeychainFixture::path(const QString& name) const
{
    return dir.filePath(name);
}

// The keychain an operation made; fails the test when it reported an error.
static std::unique_ptr<Keychain> made(OSStatus status, std::unique_ptr<Keychain>& keychain)
{
    if (status != errSecSuccess || !keychain) {
        QTest::qFail(qPrintable(QStringLiteral("failed: %1").arg(status)), __FILE__, __LINE__);
    }
    return std::move(keychain);
}

std::unique_ptr<Keychain> FileKeychainFixture::create(const QString& password, const QString& name)
{
    dialogs.queueNewPassword(password);
    std::unique_ptr<Keychain> keychain;
    return made(services.create(path(name), keychain), keychain);
}

std::unique_ptr<Keychain> FileKeychainFixture::open(const QString& name)
{
    std::unique_ptr<Keychain> keychain;
    return made(services.open(path(name), keychain), keychain);
}

QByteArray FileKeychainFixture::fileBytes(const QString& name) const
{
    return ::fileBytes(path(name));
}

void FileKeychainFixture::writeFileBytes(const QByteArray& bytes, const QString& name) const
{
    if (!::writeFileBytes(path(name), bytes)) {
        QTest::qFail("cannot write the keychain file", __FILE__, __LINE__);
    }
}

KeychainAttributeList itemAttributes(const QByteArray& label, const QByteArray& account,
                                     const QByteArray& service)
{
    return {{KeychainCodes::label, label},
            {KeychainCodes::account, account},
            {KeychainCodes::service, service},
            {KeychainCodes::creator, QByteArrayLiteral("Klft")},
            {KeychainCodes::type, QByteArrayLiteral("Klf1")}};
}

OSStatus createItem(Keychain& keychain, const QByteArray& service)
{
    return keychain.itemCreateFromContent(KeychainCodes::genericPasswordClass,
                                          itemAttributes("label", "account", service),
                                          secretOf("pw"));
}

QByteArrayList servicesIn(Keychain& keychain)
{
    QByteArrayList services;
    for (const auto& item : searchAll(keychain, {})) {
        services << attributeOf(keychain, *item, KeychainCodes::service);
    }
    return services;
}

pid_t forkAndPause(const std::function<void()>& inChild)
{
    int ready[2];
    if (::pipe(ready) != 0) {
        return -1;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        inChild();
        char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(ready[1], &byte, 1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char byte = 0;
    const bool ran = child > 0 && ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    return ran ? child : -1;
}

bool killChild(pid_t child)
{
    int status = 0;
    return ::kill(child, SIGKILL) == 0 && ::waitpid(child, &status, 0) == child;
}
