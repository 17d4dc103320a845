// Keychain files on disk: shared by several keychain objects and processes, damaged,
// deleted or unwritable, and the modes they are written with.
#include "FileKeychainFixture.h"

#include "platform/keychain/FileKeychainFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
const FourCharCode genp = KeychainCodes::genericPasswordClass;

OSStatus createItem(Keychain& keychain, const QByteArray& service, const QByteArray& secret = "pw")
{
    return keychain.itemCreateFromContent(genp, itemAttributes("label", "account", service),
                                          secretOf(secret));
}

QByteArrayList servicesIn(Keychain& keychain)
{
    QByteArrayList services;
    for (const auto& item : searchAll(keychain, {})) {
        services << attributeOf(keychain, *item, KeychainCodes::service);
    }
    return services;
}

QByteArray withBigEndian(QByteArray bytes, int offset, quint64 value)
{
    for (int i = 7; i >= 0; --i) {
        bytes[offset + i] = char(value & 0xff);
        value >>= 8;
    }
    return bytes;
}

int permissionsOf(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}
} // namespace

class TestFileKeychainFiles : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void twoKeychainObjectsShareOneFile();
    void processesWritingAtOnceLoseNothing();
    void filesAreWrittenWithMode0600();
    void damagedFile_data();
    void damagedFile();
    void absurdCostIsRejectedQuickly_data();
    void absurdCostIsRejectedQuickly();
    void fileDeletedWhileOpen();
    void fileReplacedByAnotherKeychain();
    void failedWriteKeepsTheOldFile();
    void symbolicLinkStaysALink();
    void createInFolderThatCannotExist();
    void statusForErrno_data();
    void statusForErrno();
};

void TestFileKeychainFiles::twoKeychainObjectsShareOneFile()
{
    FileKeychainFixture fixture;
    std::unique_ptr<Keychain> first = fixture.create();
    std::unique_ptr<Keychain> second = fixture.open();
    fixture.dialogs.queuePassword(QStringLiteral("secret"));
    QCOMPARE(servicesIn(*second), QByteArrayList{});

    // Each changes the file the other has already read: both changes are kept.
    QCOMPARE(createItem(*first, "s1"), errSecSuccess);
    QCOMPARE(createItem(*second, "s2"), errSecSuccess);
    QCOMPARE(createItem(*first, "s3"), errSecSuccess);
    const QByteArrayList all{"s1", "s2", "s3"};
    QCOMPARE(servicesIn(*first), all);
    QCOMPARE(servicesIn(*second), all);

    // A deletion by one is seen by the other, whose reference then goes stale.
    auto firstItems = searchAll(*first, {{KeychainCodes::service, "s2"}});
    auto secondItems = searchAll(*second, {{KeychainCodes::service, "s2"}});
    QCOMPARE(firstItems.size(), std::size_t(1));
    QCOMPARE(secondItems.size(), std::size_t(1));
    QCOMPARE(second->itemDelete(*secondItems[0]), errSecSuccess);
    QCOMPARE(servicesIn(*first), (QByteArrayList{"s1", "s3"}));
    SecretBytes secret;
    QCOMPARE(first->itemCopyContent(*firstItems[0], {}, nullptr, &secret), errSecInvalidItemRef);
    QCOMPARE(first->itemModifyAttributesAndData(*firstItems[0], {}, &secret), errSecInvalidItemRef);

    // A modification by one is read by the other.
    auto target = searchAll(*first, {{KeychainCodes::service, "s3"}});
    const SecretBytes changed = secretOf("changed");
    QCOMPARE(first->itemModifyAttributesAndData(*target[0], {}, &changed), errSecSuccess);
    auto seen = searchAll(*second, {{KeychainCodes::service, "s3"}});
    QCOMPARE(second->itemCopyContent(*seen[0], {}, nullptr, &secret), errSecSuccess);
    QVERIFY(secret == changed);
    QCOMPARE(fixture.dialogs.passwordPrompts(), 1);
}

void TestFileKeychainFiles::processesWritingAtOnceLoseNothing()
{
    FileKeychainFixture fixture;
    fixture.create();
    constexpr int processes = 3;
    constexpr int itemsEach = 15;
    std::vector<pid_t> children;
    for (int p = 0; p < processes; ++p) {
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            ScriptedDialogs dialogs;
            dialogs.queuePassword(QStringLiteral("secret"));
            FileKeychainServices services(dialogs, FileKeychainKdf::minimum());
            std::unique_ptr<Keychain> keychain;
            int failures = services.open(fixture.path(), keychain) == errSecSuccess ? 0 : 1;
            for (int i = 0; keychain && i < itemsEach; ++i) {
                const QByteArray service = QByteArray::number(p) + '-' + QByteArray::number(i);
                failures += createItem(*keychain, service) == errSecSuccess ? 0 : 1;
            }
            ::_exit(failures == 0 ? 0 : 1);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
    }
    std::unique_ptr<Keychain> keychain = fixture.open();
    fixture.dialogs.queuePassword(QStringLiteral("secret"));
    QByteArrayList services = servicesIn(*keychain);
    QCOMPARE(services.size(), processes * itemsEach);
    std::sort(services.begin(), services.end());
    QCOMPARE(std::unique(services.begin(), services.end()), services.end());
    // No temporary file is left behind.
    QCOMPARE(QDir(fixture.dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

void TestFileKeychainFiles::filesAreWrittenWithMode0600()
{
    FileKeychainFixture fixture;
    const mode_t previous = ::umask(0);
    std::unique_ptr<Keychain> keychain = fixture.create();
    const int created = permissionsOf(fixture.path());
    const OSStatus status = createItem(*keychain, "s1");
    ::umask(previous);
    QCOMPARE(status, errSecSuccess);
    QCOMPARE(created, 0600);
    QCOMPARE(permissionsOf(fixture.path()), 0600);
    QCOMPARE(permissionsOf(FileKeychainFile::Lock::lockPath(fixture.path())), 0600);
}

void TestFileKeychainFiles::damagedFile_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<OSStatus>("openStatus");
    QTest::addColumn<OSStatus>("useStatus");
    QTest::addColumn<int>("prompts");
    const OSStatus invalid = errSecInvalidKeychain;
    QTest::newRow("magic changed") << "flip 0" << invalid << invalid << 0;
    QTest::newRow("version changed") << "flip 9" << invalid << invalid << 0;
    QTest::newRow("flags set") << "flip 11" << invalid << invalid << 0;
    QTest::newRow("cut inside the header") << "cut 40" << invalid << invalid << 0;
    QTest::newRow("salt changed") << "flip 30" << OSStatus(errSecSuccess)
                                  << OSStatus(errSecAuthFailed) << 3;
    QTest::newRow("key check changed")
        << "flip 50" << OSStatus(errSecSuccess) << OSStatus(errSecAuthFailed) << 3;
    QTest::newRow("nonce changed") << "flip 70" << OSStatus(errSecSuccess) << invalid << 1;
    QTest::newRow("body changed") << "flip 90" << OSStatus(errSecSuccess) << invalid << 1;
    QTest::newRow("tag changed") << "flip -1" << OSStatus(errSecSuccess) << invalid << 1;
    QTest::newRow("cut after the header") << "cut 84" << OSStatus(errSecSuccess) << invalid << 1;
    QTest::newRow("last byte cut") << "cut -1" << OSStatus(errSecSuccess) << invalid << 1;
    QTest::newRow("byte appended") << "append" << OSStatus(errSecSuccess) << invalid << 1;
    QTest::newRow("wrong password")
        << "password" << OSStatus(errSecSuccess) << OSStatus(errSecAuthFailed) << 3;
}

void TestFileKeychainFiles::damagedFile()
{
    QFETCH(QString, damage);
    QFETCH(OSStatus, openStatus);
    QFETCH(OSStatus, useStatus);
    QFETCH(int, prompts);
    FileKeychainFixture fixture;
    {
        std::unique_ptr<Keychain> keychain = fixture.create();
        QCOMPARE(createItem(*keychain, "s1"), errSecSuccess);
    }
    QByteArray bytes = fixture.fileBytes();
    const QStringList words = damage.split(QLatin1Char(' '));
    const int at = words.size() > 1 ? words[1].toInt() : 0;
    const int position = at < 0 ? int(bytes.size()) + at : at;
    if (words[0] == QLatin1String("flip")) {
        bytes[position] = char(bytes[position] ^ 0x01);
    } else if (words[0] == QLatin1String("cut")) {
        bytes.truncate(position);
    } else if (words[0] == QLatin1String("append")) {
        bytes.append('\0');
    }
    fixture.writeFileBytes(bytes);

    std::unique_ptr<Keychain> keychain;
    QCOMPARE(fixture.services.open(fixture.path(), keychain), openStatus);
    if (openStatus == errSecSuccess) {
        const QString password = damage == QLatin1String("password") ? QStringLiteral("wrong")
                                                                     : QStringLiteral("secret");
        for (int i = 0; i < 3; ++i) {
            fixture.dialogs.queuePassword(password);
        }
        OSStatus status = errSecSuccess;
        searchAll(*keychain, {}, &status);
        QCOMPARE(status, useStatus);
        QCOMPARE(fixture.dialogs.passwordPrompts(), prompts);
        QCOMPARE(keychain->getStatus(), errSecSuccess);
        // A change is refused too, and nothing is written.
        fixture.dialogs.queuePassword(password);
        QVERIFY(createItem(*keychain, "s2") != errSecSuccess);
    }
    QCOMPARE(fixture.fileBytes(), bytes);
}

void TestFileKeychainFiles::absurdCostIsRejectedQuickly_data()
{
    QTest::addColumn<quint64>("opsLimit");
    QTest::addColumn<quint64>("memLimit");
    const quint64 minOps = FileKeychainKdf::minimum().opsLimit;
    const quint64 minMem = FileKeychainKdf::minimum().memLimit;
    QTest::newRow("memory 4 GiB") << minOps << (quint64(4) << 30);
    QTest::newRow("memory all ones") << minOps << ~quint64(0);
    QTest::newRow("memory below the minimum") << minOps << minMem - 1;
    QTest::newRow("passes 2^40") << (quint64(1) << 40) << minMem;
    QTest::newRow("passes 17") << quint64(17) << minMem;
    QTest::newRow("no passes") << quint64(0) << minMem;
}

void TestFileKeychainFiles::absurdCostIsRejectedQuickly()
{
    QFETCH(quint64, opsLimit);
    QFETCH(quint64, memLimit);
    FileKeychainFixture fixture;
    fixture.create();
    const QByteArray bytes =
        withBigEndian(withBigEndian(fixture.fileBytes(), 12, opsLimit), 20, memLimit);
    fixture.writeFileBytes(bytes);
    QElapsedTimer timer;
    timer.start();
    std::unique_ptr<Keychain> keychain;
    QCOMPARE(fixture.services.open(fixture.path(), keychain), errSecInvalidKeychain);
    QVERIFY(timer.elapsed() < 500);
    QCOMPARE(fixture.dialogs.passwordPrompts(), 0);
    QCOMPARE(fixture.fileBytes(), bytes);
}

void TestFileKeychainFiles::fileDeletedWhileOpen()
{
    FileKeychainFixture fixture;
    std::unique_ptr<Keychain> keychain = fixture.create();
    QCOMPARE(createItem(*keychain, "s1"), errSecSuccess);
    auto items = searchAll(*keychain, {});
    QVERIFY(QFile::remove(fixture.path()));

    QCOMPARE(keychain->getStatus(), errSecNoSuchKeychain);
    QCOMPARE(createItem(*keychain, "s2"), errSecNoSuchKeychain);
    QCOMPARE(
        keychain->itemModifyAttributesAndData(*items[0], {{KeychainCodes::label, "x"}}, nullptr),
        errSecNoSuchKeychain);
    QCOMPARE(keychain->itemDelete(*items[0]), errSecNoSuchKeychain);
    OSStatus status = errSecSuccess;
    searchAll(*keychain, {}, &status);
    QCOMPARE(status, errSecNoSuchKeychain);
    QVERIFY(!QFile::exists(fixture.path()));
    QCOMPARE(keychain->getStatus(), errSecNoSuchKeychain);

    // Something else in its place is not a keychain.
    fixture.writeFileBytes("not a keychain");
    QCOMPARE(keychain->getStatus(), errSecInvalidKeychain);
    QCOMPARE(createItem(*keychain, "s2"), errSecInvalidKeychain);
    QCOMPARE(fixture.fileBytes(), QByteArray("not a keychain"));
}

void TestFileKeychainFiles::fileReplacedByAnotherKeychain()
{
    FileKeychainFixture fixture;
    std::unique_ptr<Keychain> keychain = fixture.create();
    QCOMPARE(createItem(*keychain, "mine"), errSecSuccess);
    {
        std::unique_ptr<Keychain> other =
            fixture.create(QStringLiteral("other"), QStringLiteral("other.keychain"));
        QCOMPARE(createItem(*other, "theirs"), errSecSuccess);
    }
    QVERIFY(QFile::remove(fixture.path()));
    QVERIFY(QFile::rename(fixture.path(QStringLiteral("other.keychain")), fixture.path()));

    // The key of the old file does not fit: the keychain asks for the password again.
    fixture.dialogs.queuePassword(QStringLiteral("other"));
    QCOMPARE(servicesIn(*keychain), QByteArrayList{"theirs"});
    QCOMPARE(fixture.dialogs.passwordPrompts(), 1);
    QCOMPARE(createItem(*keychain, "mine again"), errSecSuccess);
    QCOMPARE(fixture.dialogs.passwordPrompts(), 1);
}

void TestFileKeychainFiles::failedWriteKeepsTheOldFile()
{
    FileKeychainFixture fixture;
    std::unique_ptr<Keychain> keychain = fixture.create();
    QCOMPARE(createItem(*keychain, "s1"), errSecSuccess);
    const QByteArray before = fixture.fileBytes();

    // No file may grow beyond the current size: the next write runs out of room.
    struct rlimit previous {};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = previous;
    limited.rlim_cur = rlim_t(before.size() + 16);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const OSStatus status = createItem(*keychain, "s2", QByteArray(4096, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(status, errSecDiskFull);
    QCOMPARE(fixture.fileBytes(), before);
    QCOMPARE(QDir(fixture.dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    // The keychain goes on with what the file holds.
    QCOMPARE(servicesIn(*keychain), QByteArrayList{"s1"});
    QCOMPARE(createItem(*keychain, "s3"), errSecSuccess);
    QCOMPARE(servicesIn(*keychain), (QByteArrayList{"s1", "s3"}));
}

void TestFileKeychainFiles::symbolicLinkStaysALink()
{
    FileKeychainFixture fixture;
    QVERIFY(QDir(fixture.dir.path()).mkdir(QStringLiteral("real")));
    fixture.create(QStringLiteral("secret"), QStringLiteral("real/test.keychain"));
    const QString link = fixture.path(QStringLiteral("link.keychain"));
    QVERIFY(QFile::link(fixture.path(QStringLiteral("real/test.keychain")), link));

    std::unique_ptr<Keychain> keychain = fixture.open(QStringLiteral("link.keychain"));
    fixture.dialogs.queuePassword(QStringLiteral("secret"));
    QCOMPARE(createItem(*keychain, "through the link"), errSecSuccess);
    QVERIFY(QFileInfo(link).isSymLink());
    // The change went into the file the link names, next to its own lock file.
    std::unique_ptr<Keychain> real = fixture.open(QStringLiteral("real/test.keychain"));
    fixture.dialogs.queuePassword(QStringLiteral("secret"));
    QCOMPARE(servicesIn(*real), QByteArrayList{"through the link"});
    QVERIFY(!QFile::exists(FileKeychainFile::Lock::lockPath(link)));
    QCOMPARE(fixture.dialogs.passwordPrompts(), 2);
}

void TestFileKeychainFiles::createInFolderThatCannotExist()
{
    FileKeychainFixture fixture;
    fixture.writeFileBytes("a file, not a folder", QStringLiteral("plain"));
    fixture.dialogs.queueNewPassword(QStringLiteral("secret"));
    std::unique_ptr<Keychain> keychain;
    const QString path = fixture.path(QStringLiteral("plain/test.keychain"));
    QCOMPARE(fixture.services.create(path, keychain), errSecIO);
    QVERIFY(!keychain);
    QCOMPARE(fixture.services.open(path, keychain), errSecNoSuchKeychain);
    QCOMPARE(fixture.fileBytes(QStringLiteral("plain")), QByteArray("a file, not a folder"));
}

void TestFileKeychainFiles::statusForErrno_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<OSStatus>("expected");
    QTest::newRow("no space") << ENOSPC << OSStatus(errSecDiskFull);
    QTest::newRow("quota") << EDQUOT << OSStatus(errSecDiskFull);
    QTest::newRow("file too large") << EFBIG << OSStatus(errSecDiskFull);
    QTest::newRow("access") << EACCES << OSStatus(errSecWrPerm);
    QTest::newRow("permission") << EPERM << OSStatus(errSecWrPerm);
    QTest::newRow("read-only file system") << EROFS << OSStatus(errSecReadOnly);
    QTest::newRow("input/output") << EIO << OSStatus(errSecIO);
    QTest::newRow("not a folder") << ENOTDIR << OSStatus(errSecIO);
}

void TestFileKeychainFiles::statusForErrno()
{
    QFETCH(int, error);
    QFETCH(OSStatus, expected);
    QCOMPARE(FileKeychainFile::statusForErrno(error), expected);
}

QTEST_GUILESS_MAIN(TestFileKeychainFiles)
#include "tst_filekeychainfiles.moc"
