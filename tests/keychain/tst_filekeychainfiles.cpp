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
    void filesAreWrittenWithMode0600_data();
    void filesAreWrittenWithMode0600();
    void killedWriterLeavesNeitherLockNorCopy();
    void damagedFile_data();
    void damagedFile();
    void absurdCostIsRejectedQuickly_data();
    void absurdCostIsRejectedQuickly();
    void fileDeletedWhileOpen();
    void fileReplacedByAnotherKeychain();
    void failedWriteKeepsTheOldFile();
    void symbolicLinkStaysALink();
    void createRefusals_data();
    void createRefusals();
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

void TestFileKeychainFiles::filesAreWrittenWithMode0600_data()
{
    QTest::addColumn<int>("modeBefore");
    QTest::addColumn<bool>("otherOwner");
    QTest::addColumn<int>("modeAfter");
    QTest::newRow("new file") << -1 << false << 0600;
    QTest::newRow("mode narrowed") << 0664 << false << 0600;
    QTest::newRow("group may read") << 0640 << false << 0600;
    QTest::newRow("owner may not write") << 0400 << false << 0400;
    QTest::newRow("owner and group kept") << 0600 << true << 0600;
}

void TestFileKeychainFiles::filesAreWrittenWithMode0600()
{
    QFETCH(int, modeBefore);
    QFETCH(bool, otherOwner);
    QFETCH(int, modeAfter);
    if (otherOwner && ::geteuid() != 0) {
        QSKIP("only root can write a keychain that another user owns");
    }
    FileKeychainFixture fixture;
    const mode_t previous = ::umask(0);
    std::unique_ptr<Keychain> keychain = fixture.create();
    const QByteArray path = QFile::encodeName(fixture.path());
    QCOMPARE(permissionsOf(fixture.path()), 0600);
    if (modeBefore >= 0) {
        QCOMPARE(::chmod(path.constData(), mode_t(modeBefore)), 0);
    }
    if (otherOwner) {
        QCOMPARE(::chown(path.constData(), 65534, 65534), 0);
    }
    const QByteArray before = fixture.fileBytes();
    const OSStatus status = createItem(*keychain, "s1");
    ::umask(previous);
    // A file its owner made read-only is left alone, even by root.
    QCOMPARE(status, modeAfter == 0400 ? errSecWrPerm : errSecSuccess);
    QCOMPARE(fixture.fileBytes() == before, modeAfter == 0400);
    QCOMPARE(permissionsOf(fixture.path()), modeAfter);
    QCOMPARE(permissionsOf(FileKeychainFile::Lock::lockPath(fixture.path())), 0600);
    struct stat info {};
    QCOMPARE(::stat(path.constData(), &info), 0);
    QCOMPARE(info.st_uid, otherOwner ? uid_t(65534) : ::geteuid());
    QCOMPARE(info.st_gid, otherOwner ? gid_t(65534) : ::getegid());
}

void TestFileKeychainFiles::killedWriterLeavesNeitherLockNorCopy()
{
    FileKeychainFixture fixture;
    std::unique_ptr<Keychain> keychain = fixture.create();
    QCOMPARE(createItem(*keychain, "s1"), errSecSuccess);
    // Beside the keychain: what killed writes leave (an empty copy, a copy cut short),
    // and files of the user's that only look like them.
    const QByteArray start = fixture.fileBytes().left(30);
    fixture.writeFileBytes(QByteArray(), QStringLiteral(".test.keychain.Zz9Yy8"));
    fixture.writeFileBytes("my notes", QStringLiteral(".test.keychain.Notes1"));
    fixture.writeFileBytes(start, QStringLiteral(".test.keychain.longer1"));
    // A writer that dies while it holds the lock, its copy half written.
    int ready[2];
    QCOMPARE(::pipe(ready), 0);
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        std::unique_ptr<FileKeychainFile::Lock> lock;
        FileKeychainFile::Lock::acquire(fixture.path(), lock);
        fixture.writeFileBytes(start, QStringLiteral(".test.keychain.Ab12Cd"));
        // The lock taken again by the same process is shared, not waited for.
        std::unique_ptr<FileKeychainFile::Lock> again;
        FileKeychainFile::Lock::acquire(fixture.path(), again);
        char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(ready[1], &byte, 1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char byte = 0;
    QCOMPARE(::read(ready[0], &byte, 1), ssize_t(1));
    ::close(ready[0]);
    QCOMPARE(::kill(child, SIGKILL), 0);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);

    QCOMPARE(createItem(*keychain, "s2"), errSecSuccess);
    QCOMPARE(servicesIn(*keychain), (QByteArrayList{"s1", "s2"}));
    QStringList left = QDir(fixture.dir.path()).entryList(QDir::Files | QDir::Hidden);
    left.sort();
    QCOMPARE(left,
             (QStringList{QStringLiteral(".test.keychain.Notes1"),
                          QStringLiteral(".test.keychain.longer1"), QStringLiteral("test.keychain"),
                          QStringLiteral("test.keychain.lock")}));
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

void TestFileKeychainFiles::createRefusals_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<OSStatus>("expected");
    QTest::newRow("folder is a file")
        << QStringLiteral("plain/test.keychain") << QStringLiteral("secret") << OSStatus(errSecIO);
    QTest::newRow("empty password")
        << QStringLiteral("test.keychain") << QString() << OSStatus(errSecParam);
}

void TestFileKeychainFiles::createRefusals()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(OSStatus, expected);
    FileKeychainFixture fixture;
    fixture.writeFileBytes("a file, not a folder", QStringLiteral("plain"));
    fixture.dialogs.queueNewPassword(password);
    std::unique_ptr<Keychain> keychain;
    const QString path = fixture.path(name);
    QCOMPARE(fixture.services.create(path, keychain), expected);
    QVERIFY(!keychain);
    QCOMPARE(fixture.services.open(path, keychain), errSecNoSuchKeychain);
    QCOMPARE(fixture.fileBytes(QStringLiteral("plain")), QByteArray("a file, not a folder"));
}

QTEST_GUILESS_MAIN(TestFileKeychainFiles)
#include "tst_filekeychainfiles.moc"
