// Opening, creating and unlocking keychain files: when the password is asked, how
// often, and what a refused or wrong password does.
#include "FileKeychainFixture.h"

#include <QFile>
#include <QTest>

class TestFileKeychainUnlock : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void unlock_data();
    void unlock();
    void createRefusals_data();
    void createRefusals();

private:
    enum class Operation { Search, CreateItem };
    static OSStatus run(Keychain& keychain, Operation operation);
};

OSStatus TestFileKeychainUnlock::run(Keychain& keychain, Operation operation)
{
    if (operation == Operation::Search) {
        std::unique_ptr<KeychainSearch> search;
        return keychain.searchCreateFromAttributes(KeychainCodes::genericPasswordClass, {}, search);
    }
    return createItem(keychain, "service");
}

void TestFileKeychainUnlock::unlock_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QStringList>("answers"); // "-" refuses the prompt
    QTest::addColumn<bool>("interaction");
    QTest::addColumn<OSStatus>("expected");
    QTest::addColumn<int>("prompts");
    const QStringList threeWrong{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
    const QStringList right{QStringLiteral("wrong"), QStringLiteral("pässword")};
    for (const auto& [name, operation] : {std::pair{"search", Operation::Search},
                                          std::pair{"create item", Operation::CreateItem}}) {
        QTest::addRow("%s, wrong then right", name)
            << operation << right << true << OSStatus(errSecSuccess) << 2;
        QTest::addRow("%s, three wrong passwords", name)
            << operation << threeWrong << true << OSStatus(errSecAuthFailed) << 3;
        QTest::addRow("%s, refused prompt", name) << operation << QStringList{QStringLiteral("-")}
                                                  << true << OSStatus(errSecAuthFailed) << 1;
        QTest::addRow("%s, interaction not allowed", name)
            << operation << right.mid(1) << false << OSStatus(errSecInteractionNotAllowed) << 0;
    }
}

void TestFileKeychainUnlock::unlock()
{
    QFETCH(Operation, operation);
    QFETCH(QStringList, answers);
    QFETCH(bool, interaction);
    QFETCH(OSStatus, expected);
    QFETCH(int, prompts);
    FileKeychainFixture fixture;
    fixture.create(QStringLiteral("pässword"));
    const QByteArray before = fixture.fileBytes();
    // Opening asks for nothing: the first operation that needs the content asks, until
    // the password is right or three were wrong.
    std::unique_ptr<Keychain> keychain = fixture.open();
    fixture.dialogs.clearRecord();
    for (const QString& answer : answers) {
        fixture.dialogs.queuePassword(answer == QLatin1String("-") ? std::nullopt
                                                                   : std::optional(answer));
    }
    fixture.services.setUserInteractionAllowed(interaction);
    QCOMPARE(run(*keychain, operation), expected);
    QCOMPARE(fixture.dialogs.passwordPrompts(), prompts);
    fixture.services.setUserInteractionAllowed(true);
    fixture.dialogs.clearRecord();
    if (expected == errSecSuccess) {
        // Unlocked: neither reads nor changes ask again, until it is locked.
        QCOMPARE(run(*keychain, Operation::Search), errSecSuccess);
        QCOMPARE(run(*keychain, Operation::CreateItem), errSecSuccess);
        QCOMPARE(fixture.dialogs.passwordPrompts(), 0);
        QCOMPARE(keychain->lock(), errSecSuccess);
    } else {
        // The failure was that operation's only, and it wrote nothing.
        QCOMPARE(fixture.fileBytes(), before);
    }
    fixture.dialogs.queuePassword(QStringLiteral("pässword"));
    QCOMPARE(run(*keychain, operation), errSecSuccess);
    QCOMPARE(fixture.dialogs.passwordPrompts(), 1);
}

void TestFileKeychainUnlock::createRefusals_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<std::optional<QString>>("password"); // none: the prompt is refused
    QTest::addColumn<bool>("interaction");
    QTest::addColumn<OSStatus>("expected");
    QTest::addColumn<int>("prompts");
    const std::optional<QString> secret = QStringLiteral("secret");
    QTest::newRow("existing folder")
        << QString() << secret << true << OSStatus(errSecDuplicateKeychain) << 0;
    QTest::newRow("folder is a file")
        << QStringLiteral("plain/test.keychain") << secret << true << OSStatus(errSecIO) << 1;
    QTest::newRow("refused prompt") << QStringLiteral("test.keychain") << std::optional<QString>()
                                    << true << OSStatus(errSecUserCanceled) << 1;
    QTest::newRow("without interaction") << QStringLiteral("test.keychain") << secret << false
                                         << OSStatus(errSecInteractionNotAllowed) << 0;
}

void TestFileKeychainUnlock::createRefusals()
{
    QFETCH(QString, name);
    QFETCH(std::optional<QString>, password);
    QFETCH(bool, interaction);
    QFETCH(OSStatus, expected);
    QFETCH(int, prompts);
    FileKeychainFixture fixture;
    fixture.writeFileBytes("a file, not a folder", QStringLiteral("plain"));
    fixture.dialogs.queueNewPassword(password);
    fixture.services.setUserInteractionAllowed(interaction);
    const QString path = name.isEmpty() ? fixture.dir.path() : fixture.path(name);
    std::unique_ptr<Keychain> keychain;
    QCOMPARE(fixture.services.create(path, keychain), expected);
    QVERIFY(!keychain);
    QCOMPARE(fixture.dialogs.newPasswordPrompts(), prompts);
    QCOMPARE(fixture.fileBytes(QStringLiteral("plain")), QByteArray("a file, not a folder"));
    QVERIFY(!QFile::exists(fixture.path()));
}

QTEST_GUILESS_MAIN(TestFileKeychainUnlock)
#include "tst_filekeychainunlock.moc"
