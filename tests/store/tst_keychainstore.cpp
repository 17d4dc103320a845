// The item list and the keychain store together, run once for every keychain backend.

#include "CountingServices.h"
#include "StoreFixture.h"

#include "SecretServiceFixture.h"

#include <QApplication>
#include <QEventLoop>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <map>

namespace {

// Attributes of an item made outside the store, by default with the program's creator
// and type codes.
KeychainAttributeList rawEntry(const QString& uuid, const QString& label, const QString& gena,
                               const QByteArray& creator = "Klft", const QByteArray& type = "Klf1")
{
    using namespace KeychainCodes;
    return {{service, uuid.toUtf8()},   {KeychainCodes::label, label.toUtf8()},
            {account, "acct"},          {comment, "notes"},
            {generic, gena.toUtf8()},   {KeychainCodes::creator, creator},
            {KeychainCodes::type, type}};
}

// Runs steps as the event loop runs a command.
void runFromEventLoop(const std::function<void()>& steps)
{
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        loop.quit();
        steps();
    });
    loop.exec();
}

} // namespace

class TestKeychainStore : public QObject {
    Q_OBJECT
public:
    TestKeychainStore(StoreFixture::Backend backend, SecretServiceFixture* secretService)
        : m_backend(backend), m_secretService(secretService)
    {}

private Q_SLOTS:
    void init();
    void cleanup();

    void newEntryWritesTheItemLayout();
    void reloadReadsWhatWasWritten();
    void itemsMadeElsewhereAreRead();
    void duplicateLabels_data();
    void duplicateLabels();
    void renameAndDeleteWriteTheirItemOnly();
    void failedChangeLeavesTheListAsTheKeychain();
    void refusedUnlockIsToldOncePerCommand();
    void twoListsFollowEachOther();
    void labelsAddedElsewhereAreNotTakenAgain();

private:
    StoreFixture::Backend m_backend;
    SecretServiceFixture* m_secretService;
    std::unique_ptr<StoreFixture> m_fixture;
    std::unique_ptr<NetKeyloft_KeychainController> m_list;

    NetKeyloft_KeychainController& reopen()
    {
        m_list.reset();
        m_list = m_fixture->openList();
        return *m_list;
    }
};

void TestKeychainStore::init()
{
    m_fixture = std::make_unique<StoreFixture>(m_backend, m_secretService);
    m_list = m_fixture->openList();
    QVERIFY(m_list);
}

void TestKeychainStore::cleanup()
{
    m_list.reset();
    m_fixture.reset();
}

// A new entry's item, after a use counted with changes made in memory only: those must
// not reach the keychain with the counter.
void TestKeychainStore::newEntryWritesTheItemLayout()
{
    QVERIFY(m_list->newKeyChainItemWithLabel(QStringLiteral("M\u00e4il")));
    const ItemPtr item = m_list->keychainItemAtIndex(0);
    item->setLabel(QStringLiteral("Changed in memory"));
    item->setUserName(QStringLiteral("nobody"));
    QVERIFY(m_list->addOneToCountUsedForItem(item.get()));
    QVERIFY(m_list->addOneToCountUsedForItem(item.get()));
    QCOMPARE(item->countUsed(), 3);
    using namespace KeychainCodes;
    const auto raw = [&](FourCharCode tag) { return m_fixture->rawAttribute(item->uuid(), tag); };
    QCOMPARE(raw(generic), item->encodedAttributes().toUtf8());
    QCOMPARE(raw(label), QStringLiteral("M\u00e4il").toUtf8());
    QCOMPARE(raw(account), QByteArray("User account not entered yet."));
    QCOMPARE(raw(comment), QByteArray("Notes:"));
    QCOMPARE(raw(description), QByteArray("Keyloft Application"));
    QCOMPARE(raw(service), item->uuid().toUtf8());
    QCOMPARE(raw(creator), QByteArray("Klft"));
    QCOMPARE(raw(type), QByteArray("Klf1"));
    for (const FourCharCode stamp : {creationDate, modificationDate}) {
        QCOMPARE(raw(stamp).size(), 16);
        QVERIFY(raw(stamp).endsWith(QByteArray("Z\0", 2)));
    }
    QCOMPARE(m_fixture->rawSecret(item->uuid()), QByteArray("Password not entered yet."));
}

// Items written by another program or an older version of this one.
void TestKeychainStore::itemsMadeElsewhereAreRead()
{
    m_fixture->addRawItem(rawEntry(QStringLiteral("OTHER-1"), QStringLiteral("Other creator"),
                                   QStringLiteral("OTHER-1<<NKL>>5<<NKL>>5"), "Xxxx"),
                          "secret");
    m_fixture->addRawItem(rawEntry(QStringLiteral("OTHER-2"), QStringLiteral("Other type"),
                                   QStringLiteral("OTHER-2<<NKL>>5<<NKL>>5"), "Klft", "Klf2"),
                          "secret");
    m_fixture->addRawItem(
        rawEntry(QStringLiteral("MINE-1"), QStringLiteral("Malformed"), QStringLiteral("junk")),
        "pw");
    // A NUL ends a password; bytes that are not UTF-8 are none. KeePassXC keeps secrets as
    // text, so it cannot hold such bytes.
    const bool keepsBytes =
        m_backend != StoreFixture::Backend::SecretService ||
        SecretServiceBus::providerUnderTest() == SecretServiceBus::Provider::GnomeKeyring;
    const std::map<int, QByteArray> secrets{{3, QByteArray("before\0after", 12)},
                                            {9, keepsBytes ? "caf\xe9" : QByteArray()},
                                            {4, QByteArray()}};
    for (const auto& [index, secret] : secrets) {
        const QString uuid = QStringLiteral("U%1").arg(index);
        m_fixture->addRawItem(
            rawEntry(uuid, uuid, QStringLiteral("%1<<NKL>>%2<<NKL>>1").arg(uuid).arg(index)),
            secret);
    }

    NetKeyloft_KeychainController& list = reopen();
    list.sortKeychainItems(SortKey::Index, true);
    QCOMPARE(labelsOf(list), (QStringList{QStringLiteral("Malformed"), QStringLiteral("U3"),
                                          QStringLiteral("U4"), QStringLiteral("U9")}));
    QCOMPARE(list.keychainItemAtIndex(0)->uuid(), QStringLiteral("MINE-1"));
    QCOMPARE(list.keychainItemAtIndex(0)->countUsed(), 0);
    QCOMPARE(list.passwordForKeychainItemAtIndex(0), QStringLiteral("pw"));
    QCOMPARE(list.passwordForKeychainItemAtIndex(1), QStringLiteral("before"));
    QCOMPARE(list.passwordForKeychainItemAtIndex(2), QLatin1String(""));
    QVERIFY(list.passwordForKeychainItemAtIndex(3).isEmpty());
    QVERIFY(m_fixture->errors().empty());

    // The next number follows the highest loaded, and is never handed back, even when
    // creations fail.
    QVERIFY(list.newKeyChainItemWithLabel(QStringLiteral("New")));
    QCOMPARE(list.keychainItemAtIndex(4)->index(), 10);
    QCOMPARE(list.nextIndex(), 11);
    QVERIFY(list.newKeyChainItemWithLabel(QStringLiteral("Newer")));
    QCOMPARE(list.keychainItemAtIndex(5)->index(), 12);
}

void TestKeychainStore::duplicateLabels_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("added");
    QTest::addColumn<QString>("expected");
    QTest::newRow("case differs") << QStringList{QStringLiteral("Mail")} << QStringLiteral("mail")
                                  << QStringLiteral("mail");
    QTest::newRow("chain of taken")
        << QStringList{QStringLiteral("Mail"), QStringLiteral("Mail1"), QStringLiteral("Mail2")}
        << QStringLiteral("Mail") << QStringLiteral("Mail3");
    QTest::newRow("nine digits") << QStringList{QStringLiteral("Id123456789")}
                                 << QStringLiteral("Id123456789")
                                 << QStringLiteral("Id123456789-1");
    QTest::newRow("eight digits") << QStringList{QStringLiteral("Id12345678")}
                                  << QStringLiteral("Id12345678") << QStringLiteral("Id12345679");
    QTest::newRow("leading zeros")
        << QStringList{QStringLiteral("007")} << QStringLiteral("007") << QStringLiteral("8");
    QTest::newRow("empty label") << QStringList{QString()} << QString()
                                 << QStringLiteral("Untitled");
    QTest::newRow("non-ascii digit") << QStringList{QStringLiteral("A\u0663")}
                                     << QStringLiteral("A\u0663") << QStringLiteral("A\u06631");
}

void TestKeychainStore::duplicateLabels()
{
    QFETCH(QStringList, existing);
    QFETCH(QString, added);
    QFETCH(QString, expected);
    for (const QString& label : existing) {
        QVERIFY(m_list->newKeyChainItemWithLabel(label));
    }
    QVERIFY(m_list->newKeyChainItemWithLabel(added));
    QCOMPARE(m_list->labelInKeychainItemsAtIndex(unsigned(existing.size())), expected);
}

void TestKeychainStore::renameAndDeleteWriteTheirItemOnly()
{
    QVERIFY(m_list->newKeyChainItemWithLabel(QStringLiteral("Taken")));
    QVERIFY(
        m_list->newKeyChainItemWithLabel(QStringLiteral("Mail"), {{}, QStringLiteral("kept"), {}}));
    QVERIFY(m_list->newKeyChainItemWithLabel(QStringLiteral("Last")));
    const ItemPtr mail = m_list->keychainItemAtIndex(1);
    QVERIFY(m_list->renameKeyChainItemAtIndexWithLabel(1, QStringLiteral("Bank")));
    // A label that another entry bears is refused and nothing changes.
    QVERIFY(!m_list->renameKeyChainItemAtIndexWithLabel(1, QStringLiteral("Taken")));
    QCOMPARE(m_fixture->rawAttribute(mail->uuid(), KeychainCodes::label), QByteArray("Bank"));
    QCOMPARE(m_fixture->rawSecret(mail->uuid()), QByteArray("kept"));
    // Its own label, or another case of a taken one, is fine.
    QVERIFY(m_list->renameKeyChainItemAtIndexWithLabel(1, QStringLiteral("Bank")));
    QVERIFY(m_list->renameKeyChainItemAtIndexWithLabel(1, QStringLiteral("taken")));
    QCOMPARE(mail->label(), QStringLiteral("taken"));

    QVERIFY(m_list->deleteKeychainItem(mail.get()));
    QCOMPARE(labelsOf(*m_list), (QStringList{QStringLiteral("Taken"), QStringLiteral("Last")}));
    QVERIFY(!m_fixture->rawSecret(mail->uuid()).has_value());
    QCOMPARE(m_list->indexInKeychainItemsForItem(mail.get()), -1);
    // An entry whose keychain item has gone stays in the list and nothing is shown.
    {
        auto other = m_fixture->openList();
        other->sortKeychainItems(SortKey::Index, true);
        QVERIFY(other->deleteKeychainItem(other->keychainItemAtIndex(0).get()));
    }
    const ItemPtr taken = m_list->keychainItemAtIndex(0);
    QVERIFY(!m_list->deleteKeychainItem(taken.get()));
    QCOMPARE(m_list->indexInKeychainItemsForItem(taken.get()), 0);
    QVERIFY(!m_list->deleteKeychainItem(nullptr));
    QVERIFY(m_fixture->errors().empty());

    // Positions past either end are harmless.
    QVERIFY(!m_list->keychainItemAtIndex(-1));
    QVERIFY(!m_list->keychainItemAtIndex(2));
    QCOMPARE(m_list->passwordForKeychainItemAtIndex(-1), QLatin1String(""));
    QVERIFY(!m_list->renameKeyChainItemAtIndexWithLabel(2, QStringLiteral("x")));
    QVERIFY(!m_list->setUserNameForKeychainItemAtIndex(QStringLiteral("x"), 7));
    QCOMPARE(labelsOf(*m_list), (QStringList{QStringLiteral("Taken"), QStringLiteral("Last")}));
}

// What one list writes, field by field or several fields in one keychain write, as a
// fresh list reads it.
void TestKeychainStore::reloadReadsWhatWasWritten()
{
    CountingServices counting(m_fixture->services());
    m_fixture->dialogs().queuePassword(StoreFixture::password);
    auto list = NetKeyloft_KeychainController::create(
        {counting, m_fixture->defaults(), m_fixture->dialogs()});
    QVERIFY(list);
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-2);
    QVERIFY(list->newKeyChainItemWithLabel(QStringLiteral("Mail")));
    QVERIFY(list->setUserNameForKeychainItemAtIndex(QStringLiteral("ann"), 0));
    QVERIFY(list->setPasswordForKeychainItemAtIndex(QStringLiteral("p\u00e4ss \U0001F511"), 0));
    QVERIFY(list->setCommentsForKeychainItemAtIndex(QStringLiteral("line 1\nline 2"), 0));
    QVERIFY(list->addOneToCountUsedForItem(list->keychainItemAtIndex(0).get()));
    const QString uuid = list->keychainItemAtIndex(0)->uuid();
    const QDateTime after = QDateTime::currentDateTimeUtc().addSecs(2);
    counting.writes = 0;
    QVERIFY(list->newKeyChainItemWithLabel(
        QStringLiteral("Mail"),
        {QStringLiteral("bob"), QStringLiteral("s3cret"), QStringLiteral("line one")}));
    // Without a password the stored one stays.
    QVERIFY(list->setFieldsForKeychainItemAtIndex({{}, {}, QStringLiteral("n")}, 1));
    QCOMPARE(counting.writes, 2);
    // Absent fields keep their placeholders; given empty texts are stored as given.
    QVERIFY(list->newKeyChainItemWithLabel(QStringLiteral("Bare"), {}));
    QCOMPARE(m_fixture->rawSecret(list->keychainItemAtIndex(2)->uuid()),
             QByteArray("Password not entered yet."));
    QVERIFY(list->setFieldsForKeychainItemAtIndex({{}, QStringLiteral("second"), {}}, 2));
    QVERIFY(list->newKeyChainItemWithLabel(
        QStringLiteral("Empty"), {QLatin1String(""), QLatin1String(""), QLatin1String("")}));
    QVERIFY(!list->setFieldsForKeychainItemAtIndex({QStringLiteral("x"), {}, {}}, 4));
    list.reset();

    NetKeyloft_KeychainController& again = reopen();
    again.sortKeychainItems(SortKey::Index, true);
    QCOMPARE(labelsOf(again), (QStringList{QStringLiteral("Mail"), QStringLiteral("Mail1"),
                                           QStringLiteral("Bare"), QStringLiteral("Empty")}));
    const ItemPtr mail = again.keychainItemAtIndex(0);
    QCOMPARE(mail->uuid(), uuid);
    QCOMPARE(mail->userName(), QStringLiteral("ann"));
    QCOMPARE(mail->comments(), QStringLiteral("line 1\nline 2"));
    QVERIFY(!mail->password().has_value());
    QCOMPARE(mail->countUsed(), 2);
    // Time stamps are UTC: a reading shifted by hours would fall outside this window.
    QVERIFY2(mail->dateCreated() >= before && mail->dateCreated() <= after,
             qPrintable(mail->dateCreated().toString(Qt::ISODate)));
    QCOMPARE(again.passwordForKeychainItemAtIndex(0), QStringLiteral("p\u00e4ss \U0001F511"));
    const ItemPtr added = again.keychainItemAtIndex(1);
    QCOMPARE(added->userName(), QStringLiteral("bob"));
    QCOMPARE(added->comments(), QStringLiteral("n"));
    QCOMPARE(added->index(), 2);
    QCOMPARE(again.passwordForKeychainItemAtIndex(1), QStringLiteral("s3cret"));
    const ItemPtr bare = again.keychainItemAtIndex(2);
    QCOMPARE(bare->userName(), NetKeyloft_Item::defaultUserName);
    QCOMPARE(bare->comments(), NetKeyloft_Item::defaultComments);
    QCOMPARE(again.passwordForKeychainItemAtIndex(2), QStringLiteral("second"));
    const ItemPtr empty = again.keychainItemAtIndex(3);
    QCOMPARE(empty->userName(), QLatin1String(""));
    QCOMPARE(empty->comments(), QLatin1String(""));
    QCOMPARE(m_fixture->rawSecret(empty->uuid()), QByteArray());
    QVERIFY(m_fixture->errors().empty());
}

void TestKeychainStore::failedChangeLeavesTheListAsTheKeychain()
{
    if (m_backend != StoreFixture::Backend::SecretService) {
        QSKIP("a change is a single write in a keychain file");
    }
    // A change of the user name and the password is two calls to the service: the
    // attributes are written, then setting the secret is refused.
    SecretServiceFixture refusing(SecretServiceBus::Service::RefusingNewSecrets);
    QVERIFY2(refusing.isReady(), qPrintable(refusing.errorString()));
    StoreFixture fixture(m_backend, &refusing);
    auto list = fixture.openList();
    QVERIFY(
        list->newKeyChainItemWithLabel(QStringLiteral("Mail"), {QStringLiteral("ann"), {}, {}}));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Error communicating")));
    QVERIFY(!list->setFieldsForKeychainItemAtIndex(
        {QStringLiteral("bob"), QStringLiteral("new"), {}}, 0));
    QCOMPARE(fixture.errors().size(), std::size_t(1));

    const ItemPtr shown = list->keychainItemAtIndex(0);
    const auto reopened = fixture.openList();
    const ItemPtr stored = reopened->keychainItemAtIndex(0);
    QCOMPARE(stored->userName(), QStringLiteral("bob"));
    QCOMPARE(shown->userName(), stored->userName());
    QCOMPARE(shown->encodedAttributes(), stored->encodedAttributes());
    QCOMPARE(shown->dateModified(), stored->dateModified());
}

void TestKeychainStore::refusedUnlockIsToldOncePerCommand()
{
    if (m_backend != StoreFixture::Backend::SecretService) {
        QSKIP("a locked collection is the Secret Service's");
    }
    if (SecretServiceBus::providerUnderTest() != SecretServiceBus::Provider::GnomeKeyring) {
        QSKIP("locks gnome-keyring's collection, whose prompt cannot show here");
    }
    SecretServiceFixture own; // its collection is locked below
    QVERIFY2(own.isReady(), qPrintable(own.errorString()));
    StoreFixture fixture(m_backend, &own);
    CountingServices counting(fixture.services());
    std::vector<NetKeyloft_Error> errors;
    auto list = NetKeyloft_KeychainController::create(
        {counting, fixture.defaults(), fixture.dialogs()}, [&errors](const NetKeyloft_Error& e) {
            errors.push_back(e);
            runFromEventLoop([] {}); // as a modal alert runs a loop of its own
        });
    QVERIFY(list->newKeyChainItemWithLabel(QStringLiteral("Mail")));
    QVERIFY(own.bus().lockDefaultCollection());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Error communicating")));

    // Copying a password, the read and then the use count, run as a menu command is. No
    // display answers the service's prompt, which counts as refused.
    const ItemPtr item = list->keychainItemAtIndex(0);
    QString password = QStringLiteral("unread");
    bool done = true;
    runFromEventLoop([&] {
        password = list->passwordForKeychainItem(item.get());
        done = list->addOneToCountUsedForItem(item.get());
    });
    QCOMPARE(password, QString());
    QVERIFY(!done);
    QCOMPARE(counting.refusals, 1);
    QCOMPARE(errors.size(), std::size_t(1));
    QCOMPARE(errors.front().code, int(errSecAuthFailed));

    // The next command asks again.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Error communicating")));
    runFromEventLoop([&] { done = list->deleteKeychainItem(item.get()); });
    QVERIFY(!done);
    QCOMPARE(counting.refusals, 2);
    QCOMPARE(errors.size(), std::size_t(2));
}

// Two lists over one keychain, as two Keyloft processes on a synchronised file or one
// desktop keyring: each follows what the other adds, changes and removes, entry by
// entry, and its own changes reach it once.
void TestKeychainStore::twoListsFollowEachOther()
{
    auto second = m_fixture->openList();
    QVERIFY(second);
    m_list->followChangesMadeElsewhere();
    second->followChangesMadeElsewhere();
    QSignalSpy inserted(&m_list->notifier(), &ItemListNotifier::rowsInserted);
    QSignalSpy reloaded(&m_list->notifier(), &ItemListNotifier::reloaded);
    QVERIFY(m_list->newKeyChainItemWithLabel(QStringLiteral("From one")));
    QVERIFY(second->newKeyChainItemWithLabel(QStringLiteral("From two")));
    QTRY_COMPARE(labelsOf(*m_list),
                 (QStringList{QStringLiteral("From one"), QStringLiteral("From two")}));
    QTRY_COMPARE(labelsOf(*second),
                 (QStringList{QStringLiteral("From two"), QStringLiteral("From one")}));
    QVERIFY(second->setUserNameForKeychainItemAtIndex(QStringLiteral("two"), 0));
    QTRY_COMPARE(m_list->keychainItemAtIndex(1)->userName(), QStringLiteral("two"));
    QVERIFY(m_list->deleteKeychainItem(m_list->keychainItemAtIndex(0).get()));
    QTRY_COMPARE(labelsOf(*second), QStringList{QStringLiteral("From two")});
    QCOMPARE(inserted.count(), 2);
    QCOMPARE(reloaded.count(), 0);
}

// Two lists over one keychain, as the application and keyloft-cli are: a label the
// other added after this list was read is made unique against the keychain, not memory.
void TestKeychainStore::labelsAddedElsewhereAreNotTakenAgain()
{
    auto elsewhere = m_fixture->openList();
    QVERIFY(elsewhere);
    QVERIFY(elsewhere->newKeyChainItemWithLabel(QStringLiteral("Mail")));
    QVERIFY(m_list->newKeyChainItemWithLabel(QStringLiteral("Mail")));
    QCOMPARE(m_list->labelInKeychainItemsAtIndex(0), QStringLiteral("Mail1"));
}

// The whole suite runs once on a keychain file and once on the default keychain of
// a Secret Service (a private gnome-keyring on a private session bus).
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    SecretServiceFixture secretService;
    if (!secretService.isReady()) {
        qCritical("no Secret Service for the tests: %s", qPrintable(secretService.errorString()));
        return 1;
    }
    int failures = 0;
    for (const auto backend : {StoreFixture::Backend::File, StoreFixture::Backend::SecretService}) {
        qInfo("backend: %s", backend == StoreFixture::Backend::File ? "file" : "secret service");
        TestKeychainStore test(backend, &secretService);
        failures += QTest::qExec(&test, argc, argv);
    }
    return failures;
}

#include "tst_keychainstore.moc"
