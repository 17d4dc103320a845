// Keychain files on disk: shared by several keychain objects and processes, damaged,
// deleted or unwritable, and the modes they are written with.
#include "FileKeychainFixture.h"

#include "platform/keychain/FileKeychainFile.h"
#include "platform/keychain/FileKeychainKey.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

class TestFileKeychainFiles : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void filesAreWrittenWithMode0600_data();
    void filesAreWrittenWithMode0600();
    void killedWriterLeavesNeitherLockNorCopy();
    void damagedFile_data();
    void damagedFile();
    void fileReplacedWhileOpen();
    void symbolicLinkStaysALink();
    void firstVersionFileIsUpgradedAtItsNextWrite();
};

void TestFileKeychainFiles::filesAreWrittenWithMode0600_data()
{
    QTest::addColumn<int>("modeBefore");
    QTest::addColumn<bool>("otherOwner");
    QTest::addColumn<int>("modeAfter");
    QTest::newRow("new file") << -1 << false << 0600;
    QTest::newRow("mode narrowed") << 0664 << false << 0600;
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
    QCOMPARE(fileMode(fixture.path()), 0600);
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
    QCOMPARE(fileMode(fixture.path()), modeAfter);
    QCOMPARE(fileMode(FileKeychainFile::Lock::lockPath(fixture.path())), 0600);
    QCOMPARE(QFileInfo(fixture.path()).ownerId(), otherOwner ? 65534 : ::geteuid());
    QCOMPARE(QFileInfo(fixture.path()).groupId(), otherOwner ? 65534 : ::getegid());
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
    // The child's copies of the locks are held till its end.
    std::unique_ptr<FileKeychainFile::Lock> lock;
    std::unique_ptr<FileKeychainFile::Lock> again;
    const pid_t child = forkAndPause([&] {
        FileKeychainFile::Lock::acquire(fixture.path(), lock);
        fixture.writeFileBytes(start, QStringLiteral(".test.keychain.Ab12Cd"));
        // The lock taken again by the same process is shared, not waited for.
        FileKeychainFile::Lock::acquire(fixture.path(), again);
    });
    QVERIFY(child > 0);
    QVERIFY(killChild(child));

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
    // "flip", "set" or "cut" at a position (negative: from the end), "append" or "folder".
    QTest::addColumn<QString>("damage");
    QTest::addColumn<OSStatus>("openStatus");
    QTest::addColumn<OSStatus>("useStatus");
    QTest::addColumn<int>("prompts");
    const OSStatus invalid = errSecInvalidKeychain;
    const OSStatus fine = errSecSuccess;
    QTest::newRow("empty") << "cut 0" << invalid << invalid << 0;
    QTest::newRow("a folder") << "folder" << invalid << invalid << 0;
    QTest::newRow("magic changed") << "flip 0" << invalid << invalid << 0;
    QTest::newRow("version 0") << "set 9 0" << invalid << invalid << 0;
    QTest::newRow("version 3") << "set 9 3" << invalid << invalid << 0;
    QTest::newRow("version 257") << "set 8 1" << invalid << invalid << 0;
    QTest::newRow("flags set") << "set 11 1" << invalid << invalid << 0;
    QTest::newRow("passes beyond bound") << "set 19 17" << invalid << invalid << 0;
    QTest::newRow("passes far beyond bound") << "set 12 1" << invalid << invalid << 0;
    QTest::newRow("memory beyond 1 GiB") << "set 23 65" << invalid << invalid << 0;
    QTest::newRow("memory far beyond") << "set 20 1" << invalid << invalid << 0;
    QTest::newRow("memory below minimum") << "set 26 0" << invalid << invalid << 0;
    QTest::newRow("header one byte short") << "cut 83" << invalid << invalid << 0;
    QTest::newRow("salt changed") << "flip 30" << fine << OSStatus(errSecAuthFailed) << 3;
    QTest::newRow("key check changed") << "flip 50" << fine << OSStatus(errSecAuthFailed) << 3;
    QTest::newRow("nonce changed") << "flip 70" << fine << invalid << 1;
    QTest::newRow("body changed") << "flip 90" << fine << invalid << 1;
    QTest::newRow("cut after the header") << "cut 84" << fine << invalid << 1;
    QTest::newRow("last byte cut") << "cut -1" << fine << invalid << 1;
    QTest::newRow("byte appended") << "append" << fine << invalid << 1;
}

void TestFileKeychainFiles::damagedFile()
{
    QFETCH(QString, damage);
    QFETCH(OSStatus, openStatus);
    QFETCH(OSStatus, useStatus);
    QFETCH(int, prompts);
    FileKeychainFixture fixture;
    QCOMPARE(createItem(*fixture.create(), "s1"), errSecSuccess);
    // The bounds a header is held to admit the cost new keychains are made with.
    QVERIFY(FileKeychainKdf::standard().isAcceptable());
    QByteArray bytes = fixture.fileBytes();
    QVERIFY(bytes.startsWith("KLFTKCF\n"));
    const QStringList words = damage.split(QLatin1Char(' '));
    const int at = words.size() > 1 ? words[1].toInt() : 0;
    const int position = at < 0 ? int(bytes.size()) + at : at;
    if (words[0] == QLatin1String("flip")) {
        bytes[position] = char(bytes[position] ^ 0x01);
    } else if (words[0] == QLatin1String("set")) {
        bytes[position] = char(words[2].toInt());
    } else if (words[0] == QLatin1String("cut")) {
        bytes.truncate(position);
    } else if (words[0] == QLatin1String("append")) {
        bytes.append('\0');
    }
    if (words[0] == QLatin1String("folder")) {
        QVERIFY(QFile::remove(fixture.path()) && QDir().mkdir(fixture.path()));
        bytes.clear();
    } else {
        fixture.writeFileBytes(bytes);
    }

    std::unique_ptr<Keychain> keychain;
    QCOMPARE(fixture.services.open(fixture.path(), keychain), openStatus);
    QCOMPARE(bool(keychain), openStatus == errSecSuccess);
    if (keychain) {
        for (int i = 0; i < 3; ++i) {
            fixture.dialogs.queuePassword(QStringLiteral("secret"));
        }
        OSStatus status = errSecSuccess;
        searchAll(*keychain, {}, &status);
        QCOMPARE(status, useStatus);
        QCOMPARE(fixture.dialogs.passwordPrompts(), prompts);
        QCOMPARE(keychain->getStatus(), errSecSuccess);
        // A change is refused too, and nothing is written.
        fixture.dialogs.queuePassword(QStringLiteral("secret"));
        QVERIFY(createItem(*keychain, "s2") != errSecSuccess);
    }
    QCOMPARE(fixture.fileBytes(), bytes);
}

void TestFileKeychainFiles::fileReplacedWhileOpen()
{
    FileKeychainFixture fixture;
    std::unique_ptr<Keychain> keychain = fixture.create();
    QCOMPARE(createItem(*keychain, "mine"), errSecSuccess);
    QCOMPARE(createItem(*fixture.create(QStringLiteral("other"), QStringLiteral("other.keychain")),
                        "theirs"),
             errSecSuccess);
    QVERIFY(QFile::remove(fixture.path()));

    QCOMPARE(keychain->getStatus(), errSecNoSuchKeychain);
    QCOMPARE(createItem(*keychain, "s2"), errSecNoSuchKeychain);
    OSStatus status = errSecSuccess;
    searchAll(*keychain, {}, &status);
    QCOMPARE(status, errSecNoSuchKeychain);
    QVERIFY(!QFile::exists(fixture.path()));

    // Something else in its place is not a keychain.
    fixture.writeFileBytes("not a keychain");
    QCOMPARE(keychain->getStatus(), errSecInvalidKeychain);
    QCOMPARE(createItem(*keychain, "s2"), errSecInvalidKeychain);
    QCOMPARE(fixture.fileBytes(), QByteArray("not a keychain"));

    // Another keychain there: the key of the old file does not fit, and the keychain asks
    // for the password again, once.
    QVERIFY(QFile::remove(fixture.path()));
    QVERIFY(QFile::rename(fixture.path(QStringLiteral("other.keychain")), fixture.path()));
    fixture.dialogs.clearRecord();
    fixture.dialogs.queuePassword(QStringLiteral("other"));
    QCOMPARE(servicesIn(*keychain), QByteArrayList{"theirs"});
    QCOMPARE(createItem(*keychain, "mine again"), errSecSuccess);
    QCOMPARE(fixture.dialogs.passwordPrompts(), 1);
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

void TestFileKeychainFiles::firstVersionFileIsUpgradedAtItsNextWrite()
{
    FileKeychainFixture fixture;
    fixture.create();
    // A file as the first version wrote it: the same header but for its version, and a
    // body without records of deleted items.
    std::optional<FileKeychainHeader> header = FileKeychainHeader::parse(fixture.fileBytes());
    QVERIFY(header);
    std::unique_ptr<FileKeychainKey> key;
    QCOMPARE(FileKeychainKey::derive(secretOf("secret"), *header, key), errSecSuccess);
    header->version = 1;
    const QByteArray body = QByteArray::fromHex("a2 0002 0181 a6 0001 011a67656e70 02a1"
                                                "1a73766365 42 7331 0342 7077 041903e8 051907d0");
    fixture.writeFileBytes(key->seal(secretOf(body), *header));
    QCOMPARE(fixture.fileBytes().mid(8, 2), QByteArray::fromHex("0001"));

    std::unique_ptr<Keychain> keychains[2];
    for (std::unique_ptr<Keychain>& keychain : keychains) {
        fixture.dialogs.queuePassword(QStringLiteral("secret"));
        keychain = fixture.open();
        QCOMPARE(servicesIn(*keychain), QByteArrayList{"s1"});
    }
    QCOMPARE(createItem(*keychains[0], "s2"), errSecSuccess);
    QCOMPARE(fixture.fileBytes().mid(8, 2), QByteArray::fromHex("0002"));
    // The upgrade kept the key check: the other keychain object reads on with its key.
    QCOMPARE(servicesIn(*keychains[1]), (QByteArrayList{"s1", "s2"}));
    QCOMPARE(fixture.dialogs.passwordPrompts(), 2);
}

QTEST_GUILESS_MAIN(TestFileKeychainFiles)
#include "tst_filekeychainfiles.moc"
