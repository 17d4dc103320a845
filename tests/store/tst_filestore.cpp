// Choosing and opening a keychain file, and how the store behaves when the keychain
// refuses: alerts, statuses and the records in memory.

#include "ScriptedDialogs.h"
#include "SecretServiceBus.h"
#include "StoreFixture.h"
#include "TestFiles.h"

#include "platform/keychain/FileKeychain.h"
#include "platform/keychain/FileKeychainServices.h"
#include "platform/secretservice/DesktopKeychainServices.h"
#include "platform/secretservice/SecretServiceKeychainServices.h"
#include "store/KeychainError.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QTimeZone>

#include <csignal>
#include <sys/resource.h>

namespace {

const QString notLocated = QStringLiteral("Keyloft could not locate your default keychain.");

// Makes every file write of this process past a few bytes fail, as a full disk does.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, SIG_IGN); // a failed write instead of the end of the process
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_saved); }

private:
    rlimit m_saved{};
};

} // namespace

class TestFileStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void storedOrNamedKeychainOpens();
    void keyringWithoutDefaultOffersToMakeOne_data();
    void keyringWithoutDefaultOffersToMakeOne();
    void pickedKeychain_data();
    void pickedKeychain();
    void fileDialogFilter_data();
    void fileDialogFilter();
    void zuluDates_data();
    void zuluDates();
    void refusedUnlockIsReportedAndAskedAgain();
    void failedWritesAreReportedAndUndone();
    // The order in memory does not depend on the backend: checked on a keychain file.
    void sortsAndMovesOrderTheListOnly();
};

void TestFileStore::storedOrNamedKeychainOpens()
{
    StoreFixture fixture(StoreFixture::Backend::File);
    const QString stored = fixture.defaults().stringForKey(NetKeyloft_Keychain::keychainPathKey);
    NetKeyloft_Keychain store(fixture.environment());
    QVERIFY(store.initKeychain());
    // Opening asks nothing; the password is asked when the contents are first needed.
    QCOMPARE(fixture.dialogs().passwordPrompts(), 0);
    fixture.dialogs().queuePassword(StoreFixture::password);
    QVERIFY(store.getAllItemsInKeychain().empty());
    QCOMPARE(fixture.dialogs().passwordPrompts(), 1);

    // A keychain named at start opens without touching the stored path, and one that
    // cannot be opened is no reason to ask for another.
    NetKeyloft_Keychain::Environment environment = fixture.environment();
    environment.keychainPath = fixture.folder().filePath(QStringLiteral("named.keychain"));
    QVERIFY(!NetKeyloft_Keychain(environment).initKeychain());
    QVERIFY(QFile::copy(fixture.keychainPath(), environment.keychainPath));
    NetKeyloft_Keychain named(environment);
    QVERIFY(named.initKeychain());
    QCOMPARE(static_cast<FileKeychain*>(named.keychain())->path(), environment.keychainPath);
    QCOMPARE(fixture.defaults().stringForKey(NetKeyloft_Keychain::keychainPathKey), stored);

    // A stored path that no longer opens falls through to the default keychain, and
    // with none the user is asked; cancelling ends the start. These are the test's
    // first alerts and file prompt.
    fixture.defaults().setValue(NetKeyloft_Keychain::keychainPathKey,
                                fixture.folder().filePath(QStringLiteral("gone.keychain")));
    fixture.dialogs().queueFile(std::nullopt);
    QVERIFY(!NetKeyloft_KeychainController::create(fixture.environment()));
    QCOMPARE(fixture.dialogs().alertMessages(),
             (QStringList{notLocated, QStringLiteral("ValidKeychainNotFound")}));
    QCOMPARE(fixture.dialogs().filePrompts(), 1);
}

void TestFileStore::keyringWithoutDefaultOffersToMakeOne_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("make one (the keyring's prompt cannot show here)") << 0;
    QTest::newRow("select a keychain file") << 1;
}

// A keyring program without a default keychain (a gnome-keyring without one on a
// private bus): the user is offered to have it make one, and a keychain file otherwise.
void TestFileStore::keyringWithoutDefaultOffersToMakeOne()
{
    QFETCH(int, answer);
    SecretServiceBus bus(SecretServiceBus::Service::KeyringWithoutDefault);
    QVERIFY2(bus.isReady(), qPrintable(bus.errorString()));
    bus.makeSessionBus();
    ScriptedDialogs dialogs;
    FileKeychainServices files(dialogs, FileKeychainKdf::minimum());
    DesktopKeychainServices services(files, std::make_unique<SecretServiceKeychainServices>());
    QTemporaryDir folder;
    UserDefaults defaults(folder.filePath(QStringLiteral("Keyloft.conf")));
    const QString path = folder.filePath(QStringLiteral("new.keychain"));
    dialogs.queueAlertAnswer(answer);
    dialogs.queueFile(path);
    dialogs.queueNewPassword(QStringLiteral("fresh"));

    NetKeyloft_Keychain store({services, defaults, dialogs});
    QVERIFY(store.initKeychain());
    const Alert& offer = dialogs.alerts().front();
    QCOMPARE(offer.message, notLocated);
    QCOMPARE(offer.buttons.size(), 2);
    QCOMPARE(dialogs.filePrompts(), 1);
    QCOMPARE(defaults.stringForKey(NetKeyloft_Keychain::keychainPathKey), path);
}

void TestFileStore::pickedKeychain_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("an existing keychain") << QByteArray("<keychain>") << QString();
    QTest::newRow("a new file, made a keychain") << QByteArray("<new>") << QString();
    QTest::newRow("text file") << QByteArray("just some notes\n")
                               << QStringLiteral("FileUserSelectedIsNotAValidKeychainFile");
    QTest::newRow("folder") << QByteArray("<folder>")
                            << QStringLiteral("FileUserSelectedIsNotAValidKeychainFile");
    QTest::newRow("empty path") << QByteArray("<empty>")
                                << QStringLiteral("CouldNotOpenUserSelectedKeyChain");
    QTest::newRow("new file, its password refused")
        << QByteArray("<refused>") << QStringLiteral("ValidKeychainNotFound");
}

// Without a keychain the user picks one; a sound choice is remembered, anything else
// is refused and left as it was.
void TestFileStore::pickedKeychain()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, refusal);
    StoreFixture fixture(StoreFixture::Backend::File);
    fixture.defaults().setValue(NetKeyloft_Keychain::keychainPathKey,
                                NetKeyloft_Keychain::keychainPathUnset);
    QString path = fixture.folder().filePath(QStringLiteral("chosen.keychain"));
    if (content == "<keychain>") {
        path = fixture.keychainPath();
    } else if (content == "<folder>") {
        QVERIFY(QDir(fixture.folder().path()).mkdir(QStringLiteral("chosen.keychain")));
    } else if (content == "<empty>") {
        path.clear();
    } else if (!content.startsWith('<')) {
        QVERIFY(writeFileBytes(path, content));
    }
    fixture.dialogs().queueFile(path);
    fixture.dialogs().queueNewPassword(
        content == "<refused>" ? std::nullopt : std::optional(QStringLiteral("new")));
    fixture.dialogs().queuePassword(StoreFixture::password);
    auto list = NetKeyloft_KeychainController::create(fixture.environment());
    // The choice is on disk at once, for the next start.
    UserDefaults reread(fixture.defaults().filePath());
    if (!refusal.isEmpty()) {
        QVERIFY(!list);
        QCOMPARE(fixture.dialogs().alertMessages().last(), refusal);
        QCOMPARE(reread.stringForKey(NetKeyloft_Keychain::keychainPathKey),
                 NetKeyloft_Keychain::keychainPathUnset);
        QCOMPARE(QFile::exists(path), content == "<folder>" || !content.startsWith('<'));
        QVERIFY(content.startsWith('<') || fileBytes(path) == content);
        return;
    }
    QVERIFY(list);
    QVERIFY(list->newKeyChainItemWithLabel(QStringLiteral("First")));
    QCOMPARE(fixture.dialogs().alertMessages(), QStringList{notLocated});
    QCOMPARE(fixture.dialogs().newPasswordPrompts(), content == "<new>" ? 1 : 0);
    QCOMPARE(fileMode(path), 0600);
    QCOMPARE(reread.stringForKey(NetKeyloft_Keychain::keychainPathKey), path);
}

void TestFileStore::fileDialogFilter_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("folder");
    QTest::addColumn<bool>("shown");
    QTest::newRow("keychain file") << QStringLiteral("login.keychain") << false << true;
    QTest::newRow("other extension") << QStringLiteral("notes.txt") << false << false;
    QTest::newRow("upper-case extension") << QStringLiteral("a.KEYCHAIN") << false << false;
    QTest::newRow("no extension") << QStringLiteral("README") << false << false;
    QTest::newRow("folder") << QStringLiteral("Documents") << true << true;
    QTest::newRow("folder with extension") << QStringLiteral("Bundle.app") << true << false;
    QTest::newRow("folder named like a keychain") << QStringLiteral("x.keychain") << true << true;
}

void TestFileStore::fileDialogFilter()
{
    QFETCH(QString, name);
    QFETCH(bool, folder);
    QFETCH(bool, shown);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (folder) {
        QVERIFY(QDir(dir.path()).mkdir(name));
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QCOMPARE(NetKeyloft_Keychain::panelShouldShowFilename(path), shown);
}

void TestFileStore::zuluDates_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("date");
    const QString nul(QChar(u'\0'));
    QTest::newRow("keychain stamp")
        << QStringLiteral("20100305140709Z") + nul
        << QDateTime(QDate(2010, 3, 5), QTime(14, 7, 9), QTimeZone::utc());
    QTest::newRow("without NUL") << QStringLiteral("20100305140709Z") << QDateTime();
    QTest::newRow("letter in the year") << QStringLiteral("20X00305140709Z") + nul << QDateTime();
    QTest::newRow("month 13") << QStringLiteral("20101305140709Z") + nul << QDateTime();
}

void TestFileStore::zuluDates()
{
    QFETCH(QString, text);
    QFETCH(QDateTime, date);
    QCOMPARE(NetKeyloft_Keychain::dateWithZuluDate(text), date);
}

void TestFileStore::refusedUnlockIsReportedAndAskedAgain()
{
    StoreFixture fixture(StoreFixture::Backend::File);
    {
        auto list = fixture.openList();
        QVERIFY(list->newKeyChainItemWithLabel(QStringLiteral("Mail")));
    }
    // Three wrong passwords: the list is empty, and the user learns why instead of
    // seeing an empty keychain.
    for (int i = 0; i < 3; ++i) {
        fixture.dialogs().queuePassword(QStringLiteral("wrong"));
    }
    std::vector<NetKeyloft_Error> errors;
    auto list = NetKeyloft_KeychainController::create(
        fixture.environment(),
        [&errors](const NetKeyloft_Error& error) { errors.push_back(error); });
    QVERIFY(list);
    QCOMPARE(list->countOfKeychainItems(), 0U);
    QCOMPARE(errors.size(), std::size_t(1));
    QCOMPARE(errors.front().code, int(errSecAuthFailed));
    // The refusal at load was another command: once the event loop has run, the next
    // command asks again, and a refusal fails it.
    const int prompts = fixture.dialogs().passwordPrompts();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!list->newKeyChainItemWithLabel(QStringLiteral("Refused")));
    QCOMPARE(fixture.dialogs().passwordPrompts(), prompts + 1);
    QCOMPARE(errors.size(), std::size_t(2));
    QCOMPARE(errors.back().localizedDescription(), QStringLiteral("KLOFT_errSecAuthFailed"));
}

void TestFileStore::failedWritesAreReportedAndUndone()
{
    StoreFixture fixture(StoreFixture::Backend::File);
    auto list = fixture.openList();
    QVERIFY(list->newKeyChainItemWithLabel(QStringLiteral("Mail")));
    QVERIFY(list->setPasswordForKeychainItemAtIndex(QStringLiteral("old"), 0));
    const ItemPtr item = list->keychainItemAtIndex(0);
    const QByteArray before = fileBytes(fixture.keychainPath());
    {
        FileSizeLimit full(64);
        QVERIFY(!list->renameKeyChainItemAtIndexWithLabel(0, QStringLiteral("Bank")));
        QVERIFY(!list->setUserNameForKeychainItemAtIndex(QStringLiteral("ann"), 0));
        QVERIFY(!list->setPasswordForKeychainItemAtIndex(QStringLiteral("new"), 0));
        QVERIFY(!list->setCommentsForKeychainItemAtIndex(QStringLiteral("n"), 0));
        QVERIFY(!list->addOneToCountUsedForItem(item.get()));
        QVERIFY(!list->newKeyChainItemWithLabel(QStringLiteral("Second")));
        QVERIFY(!list->deleteKeychainItem(item.get()));
        QVERIFY(!list->setFieldsForKeychainItemAtIndex(
            {QStringLiteral("bob"), QStringLiteral("new"), QStringLiteral("m")}, 0));
        QVERIFY(!list->newKeyChainItemWithLabel(QStringLiteral("Second"),
                                                {QStringLiteral("c"), QStringLiteral("p"), {}}));
    }
    // Memory shows what the keychain holds, the file is as it was, and every refusal
    // was shown with the status the keychain gave.
    QCOMPARE(item->label(), QStringLiteral("Mail"));
    QCOMPARE(item->userName(), QStringLiteral("User account not entered yet."));
    QCOMPARE(item->password(), QStringLiteral("old"));
    QCOMPARE(item->comments(), QStringLiteral("Notes:"));
    QCOMPARE(item->countUsed(), 1);
    QCOMPARE(list->countOfKeychainItems(), 1U);
    QCOMPARE(fileBytes(fixture.keychainPath()), before);
    QCOMPARE(fixture.errors().size(), std::size_t(9));
    for (const NetKeyloft_Error& error : fixture.errors()) {
        QCOMPARE(error.code, errSecDiskFull);
        QCOMPARE(error.localizedDescription(),
                 QStringLiteral("There is no space left on the disk for your keychain. Error -34"));
        QVERIFY(!error.quitAfterError());
    }
    QVERIFY(list->setUserNameForKeychainItemAtIndex(QStringLiteral("ann"), 0));
    QCOMPARE(list->passwordForKeychainItemAtIndex(0), QStringLiteral("old"));
    // The next entry still gets a fresh label.
    QVERIFY(list->newKeyChainItemWithLabel(QStringLiteral("Mail"), {}));
    QCOMPARE(list->keychainItems().back()->label(), QStringLiteral("Mail1"));

    // A keychain file deleted under the list fails every change without an alert, and
    // is not made again.
    QVERIFY(QFile::remove(fixture.keychainPath()));
    QVERIFY(!list->renameKeyChainItemAtIndexWithLabel(1, QStringLiteral("Bank")));
    QCOMPARE(list->labelInKeychainItemsAtIndex(1), QStringLiteral("Mail1"));
    QVERIFY(!list->newKeyChainItemWithLabel(QStringLiteral("Second")));
    QCOMPARE(list->passwordForKeychainItemAtIndex(1), QLatin1String(""));
    QVERIFY(!list->deleteKeychainItem(list->keychainItemAtIndex(1).get()));
    QCOMPARE(list->countOfKeychainItems(), 2U);
    QCOMPARE(fixture.errors().size(), std::size_t(9));
    QVERIFY(!QFile::exists(fixture.keychainPath()));
}

void TestFileStore::sortsAndMovesOrderTheListOnly()
{
    StoreFixture fixture(StoreFixture::Backend::File);
    auto ordered = fixture.openList();
    NetKeyloft_KeychainController& list = *ordered;
    for (const char* label : {"gamma", "alpha", "Beta", "beta"}) {
        QVERIFY(list.newKeyChainItemWithLabel(QString::fromLatin1(label)));
    }
    list.sortKeychainItems(SortKey::Label, true);
    // Letter case is ignored; labels equal but for it go by character value, in
    // both directions.
    QCOMPARE(labelsOf(list), (QStringList{QStringLiteral("alpha"), QStringLiteral("Beta"),
                                          QStringLiteral("beta"), QStringLiteral("gamma")}));
    list.sortKeychainItems(SortKey::Label, false);
    QCOMPARE(labelsOf(list), (QStringList{QStringLiteral("gamma"), QStringLiteral("beta"),
                                          QStringLiteral("Beta"), QStringLiteral("alpha")}));
    // A sorted copy has the same order and leaves the list's alone.
    QCOMPARE(list.getSortedKeychainItems(SortKey::Label, true).front()->label(),
             QStringLiteral("alpha"));
    QCOMPARE(labelsOf(list).front(), QStringLiteral("gamma"));

    QVERIFY(list.addOneToCountUsedForItem(list.keychainItemAtIndex(2).get()));
    QVERIFY(list.addOneToCountUsedForItem(list.keychainItemAtIndex(2).get()));
    QVERIFY(list.addOneToCountUsedForItem(list.keychainItemAtIndex(3).get()));
    list.sortKeychainItems(SortKey::CountUsed, false);
    QCOMPARE(labelsOf(list), (QStringList{QStringLiteral("Beta"), QStringLiteral("alpha"),
                                          QStringLiteral("gamma"), QStringLiteral("beta")}));

    // Entries without a readable creation date come first in ascending order.
    list.keychainItemAtIndex(0)->setDateCreated(QDateTime());
    list.keychainItemAtIndex(1)->setDateCreated(QDateTime(QDate(2001, 1, 1), QTime(), Qt::UTC));
    list.sortKeychainItems(SortKey::DateCreated, true);
    QCOMPARE(labelsOf(list).mid(0, 2),
             (QStringList{QStringLiteral("Beta"), QStringLiteral("alpha")}));

    // Sorting leaves the sequence numbers alone; moving renumbers the entries in
    // memory, whichever way an entry moves.
    list.sortKeychainItems(SortKey::Index, true);
    QCOMPARE(labelsOf(list), (QStringList{QStringLiteral("gamma"), QStringLiteral("alpha"),
                                          QStringLiteral("Beta"), QStringLiteral("beta")}));
    QVERIFY(list.moveItemAtIndexToIndex(0, 2));
    QCOMPARE(labelsOf(list), (QStringList{QStringLiteral("alpha"), QStringLiteral("gamma"),
                                          QStringLiteral("Beta"), QStringLiteral("beta")}));
    for (int position = 0; position < 4; ++position) {
        QCOMPARE(list.keychainItemAtIndex(position)->index(), position);
    }
    QVERIFY(list.moveItemAtIndexToIndex(3, 0));
    QCOMPARE(labelsOf(list).front(), QStringLiteral("beta"));
    QVERIFY(list.moveItemAtIndexToIndex(0, 0));
    QCOMPARE(list.countOfKeychainItems(), 4U);
    QVERIFY(!list.moveItemAtIndexToIndex(0, 4));

    // Neither writes: the keychain keeps the numbers and dates the entries were created with.
    ordered.reset();
    const auto again = fixture.openList();
    again->sortKeychainItems(SortKey::Index, true);
    QCOMPARE(labelsOf(*again), (QStringList{QStringLiteral("gamma"), QStringLiteral("alpha"),
                                            QStringLiteral("Beta"), QStringLiteral("beta")}));
    QVERIFY(!again->keychainItemAtIndex(2)->dateCreated().isNull());
}

QTEST_MAIN(TestFileStore)
#include "tst_filestore.moc"
