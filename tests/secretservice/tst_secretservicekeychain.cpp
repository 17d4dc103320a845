// The Secret Service backend against a real gnome-keyring on a private bus: items
// made, found, read, changed and deleted; what other tools see; other programs'
// items left alone; a locked or deleted collection.
#include "KeychainQueries.h"
#include "SecretServiceFixture.h"
#include "TestFiles.h"

#include <QProcess>
#include <QTest>
#include <QUuid>

namespace {

const FourCharCode genericPassword = KeychainCodes::genericPasswordClass;

QByteArray newUuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUtf8();
}

// The attributes of an entry's item that the tests need.
KeychainAttributeList entryAttributes(const QByteArray& uuid)
{
    return {
        {KeychainCodes::generic, uuid + "<<NKL>>1<<NKL>>0"},
        {KeychainCodes::label, "Entry"},
        {KeychainCodes::service, uuid},
        {KeychainCodes::creator, "Klft"},
        {KeychainCodes::type, "Klf1"},
    };
}

// Adds an entry's item and finds it by its service; null (and a test failure) unless
// that finds exactly the one item.
std::unique_ptr<KeychainItemRef> addEntry(Keychain& keychain, const QByteArray& uuid,
                                          const QByteArray& secret = "x")
{
    const OSStatus status =
        keychain.itemCreateFromContent(genericPassword, entryAttributes(uuid), secretOf(secret));
    auto found = searchAll(keychain, {{KeychainCodes::service, uuid}});
    if (status != errSecSuccess || found.size() != 1) {
        QTest::qFail("the entry was not added, or not found once", __FILE__, __LINE__);
        return nullptr;
    }
    return std::move(found[0]);
}

QByteArray copySecret(Keychain& keychain, KeychainItemRef& item)
{
    SecretBytes secret;
    if (keychain.itemCopyContent(item, {}, nullptr, &secret) != errSecSuccess) {
        return "(unreadable)";
    }
    return QByteArray(secret.data(), qsizetype(secret.size()));
}

// Runs secret-tool on the bus of env; its output (it lists attributes on standard
// error), or a note of its failure.
QByteArray secretTool(const QProcessEnvironment& env, const QStringList& arguments,
                      const QByteArray& input = {})
{
    QProcess tool;
    tool.setProcessEnvironment(env);
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QStringLiteral("secret-tool"), arguments);
    tool.write(input);
    tool.closeWriteChannel();
    if (!tool.waitForFinished(10000) || tool.exitCode() != 0) {
        return "(secret-tool failed: " + tool.readAll() + ")";
    }
    return tool.readAllStandardOutput();
}

} // namespace

class TestSecretServiceKeychain : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void searchesAndDeletionsFindOurItemsOnly_data();
    void searchesAndDeletionsFindOurItemsOnly();
    void changeStampsTheModificationDate();
    void changesReadBackExactly_data();
    void changesReadBackExactly();
    void refusedRequests_data();
    void refusedRequests();
    void everyItemLoadsPastTheBusReplyLimit();
    void lockedThenDeletedCollection();

private:
    std::unique_ptr<SecretServiceFixture> m_fixture;
    std::unique_ptr<Keychain> m_keychain;
};

void TestSecretServiceKeychain::initTestCase()
{
    m_fixture = std::make_unique<SecretServiceFixture>();
    QVERIFY2(m_fixture->isReady(), qPrintable(m_fixture->errorString()));
}

void TestSecretServiceKeychain::init()
{
    m_keychain = m_fixture->cleanDefaultKeychain();
    QVERIFY2(m_keychain, qPrintable(m_fixture->errorString()));
}

// Searches match whole values, of our items only: another program's item with our
// values, with no schema or another one, is never found or deleted; other tools see
// our items as we wrote them; a second ref to a deleted item of ours says it is gone.
void TestSecretServiceKeychain::searchesAndDeletionsFindOurItemsOnly_data()
{
    QTest::addColumn<QStringList>("schemaAttribute");
    QTest::newRow("an item without a schema") << QStringList();
    QTest::newRow("an item of another schema")
        << QStringList{QStringLiteral("xdg:schema"), QStringLiteral("org.example.Other")};
}

void TestSecretServiceKeychain::searchesAndDeletionsFindOurItemsOnly()
{
    QFETCH(QStringList, schemaAttribute);
    const QProcessEnvironment env = m_fixture->bus().environment();
    const QByteArray uuid = newUuid();
    const QString service = QString::fromUtf8(uuid);
    const QStringList store = {QStringLiteral("store"), QStringLiteral("--label=Other program"),
                               QStringLiteral("svce"),  service,
                               QStringLiteral("crtr"),  QStringLiteral("Klft"),
                               QStringLiteral("type"),  QStringLiteral("Klf1")};
    QCOMPARE(secretTool(env, store + schemaAttribute, "theirs"), QByteArray());
    const auto ours = addEntry(*m_keychain, uuid, "ours");
    QVERIFY(ours);
    QVERIFY(searchAll(*m_keychain, {{KeychainCodes::service, uuid.left(8)}}).empty());
    // No item holds a value that is no text: nothing is found, and that is no error.
    OSStatus status = errSecIO;
    QVERIFY(searchAll(*m_keychain, {{KeychainCodes::service, uuid + "\xff"}}, &status).empty());
    QCOMPARE(status, errSecSuccess);

    const QByteArray listing = secretTool(
        env, {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("svce"), service});
    for (const QByteArray& line :
         QByteArrayList{"label = Entry", "secret = ours", "schema = org.keyloft.Password",
                        "attribute.gena = " + uuid + "<<NKL>>1<<NKL>>0"}) {
        QVERIFY2(listing.contains(line), listing.constData());
    }
    auto again = searchAll(*m_keychain, {{KeychainCodes::service, uuid}});
    QCOMPARE(again.size(), std::size_t(1));
    QCOMPARE(m_keychain->itemDelete(*ours), errSecSuccess);
    QVERIFY(searchAll(*m_keychain, {{KeychainCodes::service, uuid}}).empty());
    QCOMPARE(secretTool(env, {QStringLiteral("lookup"), QStringLiteral("svce"), service}),
             QByteArray("theirs"));

    QCOMPARE(m_keychain->itemDelete(*again[0]), errSecInvalidItemRef);
    // The provider's own words on it are kept for the alert's details.
    QVERIFY(!m_keychain->lastErrorMessage().isEmpty());
    SecretBytes secret;
    QVERIFY(m_keychain->itemCopyContent(*again[0], {}, nullptr, &secret) != errSecSuccess);
}

// Secret bytes are kept exactly; a change read through the same item ref that made it
// gives what was written, not what the ref was loaded with.
void TestSecretServiceKeychain::changesReadBackExactly_data()
{
    QTest::addColumn<QByteArray>("secret");
    QTest::newRow("nul inside") << QByteArray("ab\0cd", 5);
    QTest::newRow("4 KiB") << QByteArray(4096, 'k');
}

void TestSecretServiceKeychain::changesReadBackExactly()
{
    QFETCH(QByteArray, secret);
    const auto item = addEntry(*m_keychain, newUuid(), secret);
    QVERIFY(item);
    QCOMPARE(copySecret(*m_keychain, *item), secret);
    const SecretBytes changed = secretOf(secret + "!");
    QCOMPARE(m_keychain->itemModifyAttributesAndData(*item, {{KeychainCodes::generic, "changed"}},
                                                     &changed),
             errSecSuccess);
    QCOMPARE(copySecret(*m_keychain, *item), secret + "!");
    QCOMPARE(attributeOf(*m_keychain, *item, KeychainCodes::generic), QByteArray("changed"));
}

// A list notices a password changed elsewhere by the item's modification date. The
// service stamps whole seconds and its clock cannot be set, so the change waits one.
void TestSecretServiceKeychain::changeStampsTheModificationDate()
{
    const auto item = addEntry(*m_keychain, newUuid());
    QVERIFY(item);
    const QByteArray created = attributeOf(*m_keychain, *item, KeychainCodes::creationDate);
    QTest::qWait(1100);
    QCOMPARE(m_keychain->itemModifyAttributesAndData(*item, {{KeychainCodes::generic, "changed"}},
                                                     nullptr),
             errSecSuccess);
    QCOMPARE(attributeOf(*m_keychain, *item, KeychainCodes::creationDate), created);
    QVERIFY(attributeOf(*m_keychain, *item, KeychainCodes::modificationDate) > created);
}

void TestSecretServiceKeychain::refusedRequests_data()
{
    QTest::addColumn<FourCharCode>("itemClass");
    QTest::addColumn<KeychainAttributeList>("attributes");
    QTest::addColumn<OSStatus>("status");
    QTest::newRow("internet password class")
        << fourCharCode("inet") << KeychainAttributeList{} << OSStatus(errSecNoSuchClass);
    QTest::newRow("attribute outside the layout")
        << genericPassword << KeychainAttributeList{{fourCharCode("srvr"), "host"}}
        << OSStatus(errSecNoSuchAttr);
    QTest::newRow("value that is no utf-8")
        << genericPassword << KeychainAttributeList{{KeychainCodes::account, QByteArray("caf\xe9")}}
        << OSStatus(errSecParam);
    QTest::newRow("label with a nul")
        << genericPassword << KeychainAttributeList{{KeychainCodes::label, QByteArray("a\0b", 3)}}
        << OSStatus(errSecParam);
}

void TestSecretServiceKeychain::refusedRequests()
{
    QFETCH(FourCharCode, itemClass);
    QFETCH(KeychainAttributeList, attributes);
    QFETCH(OSStatus, status);
    const auto item = addEntry(*m_keychain, "kept");
    QVERIFY(item);
    QCOMPARE(m_keychain->itemCreateFromContent(itemClass, attributes, secretOf("x")), status);
    QCOMPARE(searchAll(*m_keychain, {}).size(), std::size_t(1));
    // A search in the class, or a change with the same list, is refused too.
    OSStatus refused = errSecSuccess;
    if (itemClass == genericPassword) {
        refused = m_keychain->itemModifyAttributesAndData(*item, attributes, nullptr);
    } else {
        searchAll(*m_keychain, {}, &refused, itemClass);
    }
    QCOMPARE(refused, status);
    KeychainAttributeList read;
    QCOMPARE(m_keychain->itemCopyContent(*item, {fourCharCode("srvr")}, &read, nullptr),
             errSecNoSuchAttr);
    QCOMPARE(attributeOf(*m_keychain, *item, KeychainCodes::label), QByteArray("Entry"));
}

// More items than the bus lets one connection await replies for at once: a load that
// asked for them all together would come back short, and pass for complete.
void TestSecretServiceKeychain::everyItemLoadsPastTheBusReplyLimit()
{
    constexpr int count = 140;
    for (int i = 0; i < count; ++i) {
        QCOMPARE(m_keychain->itemCreateFromContent(genericPassword, entryAttributes(newUuid()),
                                                   secretOf("x")),
                 errSecSuccess);
    }
    QCOMPARE(searchAll(*m_keychain, {{KeychainCodes::creator, "Klft"}}).size(), std::size_t(count));
}

// Another program locks the default collection, then deletes it. Locked, it is still
// the keychain, and each request fails as refused (no display answers the service's
// prompt) instead of hanging; deleted, the keychain is unusable and there is no
// default keychain any more.
void TestSecretServiceKeychain::lockedThenDeletedCollection()
{
    if (SecretServiceBus::providerUnderTest() != SecretServiceBus::Provider::GnomeKeyring) {
        QSKIP("drives gnome-keyring's own collection and prompter");
    }
    SecretServiceFixture own;
    const std::unique_ptr<Keychain> keychain = own.cleanDefaultKeychain();
    QVERIFY2(keychain, qPrintable(own.errorString()));
    const auto item = addEntry(*keychain, "locked");
    QVERIFY(item);

    QVERIFY(own.bus().lockDefaultCollection());
    QCOMPARE(keychain->getStatus(), errSecSuccess);
    std::unique_ptr<KeychainSearch> search;
    QCOMPARE(keychain->searchCreateFromAttributes(genericPassword, {}, search), errSecAuthFailed);
    const SecretBytes changed = secretOf("y");
    QCOMPARE(keychain->itemModifyAttributesAndData(*item, {}, &changed), errSecAuthFailed);
    own.services().setUserInteractionAllowed(false);
    QCOMPARE(keychain->itemDelete(*item), errSecInteractionNotAllowed);

    QVERIFY(!own.bus()
                 .call(QStringLiteral("/org/freedesktop/secrets/collection/login"),
                       QStringLiteral("org.freedesktop.Secret.Collection.Delete"))
                 .isEmpty());
    QCOMPARE(keychain->getStatus(), errSecNoSuchKeychain);
    QCOMPARE(keychain->searchCreateFromAttributes(genericPassword, {}, search),
             errSecNoSuchKeychain);
    QCOMPARE(keychain->itemCreateFromContent(genericPassword, entryAttributes("x"), secretOf("x")),
             errSecNoSuchKeychain);
    std::unique_ptr<Keychain> again;
    QCOMPARE(own.services().copyDefault(again), errSecNoDefaultKeychain);
    QVERIFY(!again);
}

QTEST_GUILESS_MAIN(TestSecretServiceKeychain)
#include "tst_secretservicekeychain.moc"
