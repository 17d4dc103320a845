// The Secret Service backend against a real gnome-keyring on a private bus: items
// made, found, read, changed and deleted; what other tools see; other programs'
// items left alone; a deleted or locked collection.
#include "KeychainQueries.h"
#include "SecretServiceFixture.h"
#include "TestFiles.h"

#include <QDateTime>
#include <QProcess>
#include <QTest>
#include <QTimeZone>
#include <QUuid>

namespace {

const QByteArray creator("Klft");
const QByteArray type("Klf1");

QByteArray newUuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUtf8();
}

// The attribute list with which an entry's item is created.
KeychainAttributeList entryAttributes(const QByteArray& uuid, const QByteArray& label)
{
    return {
        {KeychainCodes::generic, uuid + "<<NKL>>1<<NKL>>0"},
        {KeychainCodes::label, label},
        {KeychainCodes::account, "someone"},
        {KeychainCodes::comment, "a note"},
        {KeychainCodes::description, "Keyloft Application"},
        {KeychainCodes::service, uuid},
        {KeychainCodes::creator, creator},
        {KeychainCodes::type, type},
    };
}

std::vector<std::unique_ptr<KeychainItemRef>> findByService(Keychain& keychain,
                                                            const QByteArray& uuid)
{
    return searchAll(keychain, {{KeychainCodes::service, uuid}});
}

QByteArray copySecret(Keychain& keychain, KeychainItemRef& item)
{
    SecretBytes secret;
    if (keychain.itemCopyContent(item, {}, nullptr, &secret) != errSecSuccess) {
        return "(unreadable)";
    }
    return QByteArray(secret.data(), qsizetype(secret.size()));
}

QDateTime utcFromStamp(const QByteArray& stamp)
{
    QDateTime time = QDateTime::fromString(QString::fromLatin1(stamp.left(15)),
                                           QStringLiteral("yyyyMMddHHmmss'Z'"));
    time.setTimeZone(QTimeZone::utc());
    return time;
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
    if (!input.isEmpty()) {
        tool.write(input);
        tool.waitForBytesWritten(10000);
    }
    tool.closeWriteChannel();
    if (!tool.waitForFinished(10000) || tool.exitCode() != 0) {
        return "(secret-tool failed: " + tool.readAll() + ")";
    }
    return tool.readAllStandardOutput();
}

// Calls a method of the Secret Service with gdbus, as another program would.
bool callService(const QProcessEnvironment& env, const QString& path, const QString& method)
{
    QProcess gdbus;
    gdbus.setProcessEnvironment(env);
    gdbus.start(QStringLiteral("gdbus"),
                {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--dest"),
                 QStringLiteral("org.freedesktop.secrets"), QStringLiteral("--object-path"), path,
                 QStringLiteral("--method"), method});
    return gdbus.waitForFinished(10000) && gdbus.exitCode() == 0;
}

const QString loginCollection = QStringLiteral("/org/freedesktop/secrets/collection/login");

} // namespace

class TestSecretServiceKeychain : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void searchMatchesExactValues_data();
    void searchMatchesExactValues();
    void itemsAreVisibleToOtherTools();
    void timeStampsAreFreshAfterAChange();
    void otherProgramsItemsAreNeverTouched_data();
    void otherProgramsItemsAreNeverTouched();
    void secretBytesAreKeptExactly_data();
    void secretBytesAreKeptExactly();
    void refusedRequests_data();
    void refusedRequests();
    void deletedItemRefIsReported();
    void everyItemLoadsPastTheBusReplyLimit();
    void deletedCollectionMakesTheKeychainUnusable();
    void lockedCollectionFailsWithoutHanging();

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

void TestSecretServiceKeychain::cleanup()
{
    m_keychain.reset();
}

void TestSecretServiceKeychain::searchMatchesExactValues_data()
{
    QTest::addColumn<KeychainAttributeList>("query");
    QTest::addColumn<int>("matches");
    QTest::newRow("the whole service")
        << KeychainAttributeList{{KeychainCodes::service, "abc-123"}} << 1;
    QTest::newRow("a prefix of it") << KeychainAttributeList{{KeychainCodes::service, "abc"}} << 0;
    QTest::newRow("other case") << KeychainAttributeList{{KeychainCodes::service, "ABC-123"}} << 0;
    QTest::newRow("creator and type")
        << KeychainAttributeList{{KeychainCodes::creator, creator}, {KeychainCodes::type, type}}
        << 2;
    QTest::newRow("creator and another type")
        << KeychainAttributeList{{KeychainCodes::creator, creator}, {KeychainCodes::type, "Klf2"}}
        << 0;
    QTest::newRow("no attributes: every item of ours") << KeychainAttributeList{} << 2;
    QTest::newRow("a value that is no text")
        << KeychainAttributeList{{KeychainCodes::service, QByteArray("abc\xff")}} << 0;
}

void TestSecretServiceKeychain::searchMatchesExactValues()
{
    QFETCH(KeychainAttributeList, query);
    QFETCH(int, matches);
    QCOMPARE(m_keychain->itemCreateFromContent(KeychainCodes::genericPasswordClass,
                                               entryAttributes("abc-123", "One"), secretOf("1")),
             errSecSuccess);
    QCOMPARE(m_keychain->itemCreateFromContent(KeychainCodes::genericPasswordClass,
                                               entryAttributes("xyz-789", "Two"), secretOf("2")),
             errSecSuccess);
    std::unique_ptr<KeychainSearch> search;
    QCOMPARE(
        m_keychain->searchCreateFromAttributes(KeychainCodes::genericPasswordClass, query, search),
        errSecSuccess);
    int count = 0;
    std::unique_ptr<KeychainItemRef> item;
    while (search->copyNext(item) == errSecSuccess) {
        ++count;
    }
    QCOMPARE(count, matches);
    QCOMPARE(search->copyNext(item), errSecItemNotFound);
}

void TestSecretServiceKeychain::itemsAreVisibleToOtherTools()
{
    const QByteArray uuid = newUuid();
    QCOMPARE(m_keychain->itemCreateFromContent(KeychainCodes::genericPasswordClass,
                                               entryAttributes(uuid, "Visible"),
                                               secretOf("shown-to-tools")),
             errSecSuccess);
    const QByteArray listing =
        secretTool(m_fixture->environment(), {QStringLiteral("search"), QStringLiteral("--all"),
                                              QStringLiteral("svce"), QString::fromUtf8(uuid)});
    QVERIFY2(listing.contains("label = Visible"), listing.constData());
    QVERIFY2(listing.contains("secret = shown-to-tools"), listing.constData());
    QVERIFY2(listing.contains("schema = org.keyloft.Password"), listing.constData());
    QVERIFY2(listing.contains("attribute.gena = " + uuid + "<<NKL>>1<<NKL>>0"),
             listing.constData());
}

void TestSecretServiceKeychain::timeStampsAreFreshAfterAChange()
{
    const QByteArray uuid = newUuid();
    QCOMPARE(m_keychain->itemCreateFromContent(KeychainCodes::genericPasswordClass,
                                               entryAttributes(uuid, "Dated"), secretOf("x")),
             errSecSuccess);
    auto found = findByService(*m_keychain, uuid);
    QCOMPARE(found.size(), std::size_t(1));
    const QByteArray created = attributeOf(*m_keychain, *found[0], KeychainCodes::creationDate);
    const QByteArray modified =
        attributeOf(*m_keychain, *found[0], KeychainCodes::modificationDate);
    // The service keeps whole seconds.
    QTest::qWait(1100);
    QCOMPARE(m_keychain->itemModifyAttributesAndData(
                 *found[0], {{KeychainCodes::generic, uuid + "<<NKL>>1<<NKL>>7"}}, nullptr),
             errSecSuccess);
    // Read through the same item ref that made the change.
    const QByteArray createdAfter =
        attributeOf(*m_keychain, *found[0], KeychainCodes::creationDate);
    const QByteArray modifiedAfter =
        attributeOf(*m_keychain, *found[0], KeychainCodes::modificationDate);
    QCOMPARE(createdAfter, created);
    QVERIFY2(utcFromStamp(modifiedAfter) > utcFromStamp(modified), modifiedAfter.constData());
    QCOMPARE(attributeOf(*m_keychain, *found[0], KeychainCodes::generic),
             uuid + "<<NKL>>1<<NKL>>7");
}

void TestSecretServiceKeychain::otherProgramsItemsAreNeverTouched_data()
{
    QTest::addColumn<QStringList>("schemaAttribute");
    QTest::newRow("an item without a schema") << QStringList();
    QTest::newRow("an item of another schema")
        << QStringList{QStringLiteral("xdg:schema"), QStringLiteral("org.example.Other")};
}

void TestSecretServiceKeychain::otherProgramsItemsAreNeverTouched()
{
    QFETCH(QStringList, schemaAttribute);
    const QByteArray uuid = newUuid();
    QStringList store = {QStringLiteral("store"), QStringLiteral("--label=Other program"),
                         QStringLiteral("svce"),  QString::fromUtf8(uuid),
                         QStringLiteral("crtr"),  QStringLiteral("Klft"),
                         QStringLiteral("type"),  QStringLiteral("Klf1")};
    store += schemaAttribute;
    QCOMPARE(secretTool(m_fixture->environment(), store, "theirs"), QByteArray());

    QVERIFY(findByService(*m_keychain, uuid).empty());
    QVERIFY(searchAll(*m_keychain, {{KeychainCodes::creator, creator}, {KeychainCodes::type, type}})
                .empty());
    QCOMPARE(SecretServiceFixture::removeOurItems(*m_keychain), errSecSuccess);

    QCOMPARE(m_keychain->itemCreateFromContent(KeychainCodes::genericPasswordClass,
                                               entryAttributes(uuid, "Ours"), secretOf("ours")),
             errSecSuccess);
    auto found = findByService(*m_keychain, uuid);
    QCOMPARE(found.size(), std::size_t(1));
    QCOMPARE(attributeOf(*m_keychain, *found[0], KeychainCodes::label), QByteArray("Ours"));
    QCOMPARE(m_keychain->itemDelete(*found[0]), errSecSuccess);

    const QStringList lookup = {QStringLiteral("lookup"), QStringLiteral("svce"),
                                QString::fromUtf8(uuid)};
    QCOMPARE(secretTool(m_fixture->environment(), lookup), QByteArray("theirs"));
    secretTool(m_fixture->environment(),
               {QStringLiteral("clear"), QStringLiteral("svce"), QString::fromUtf8(uuid)});
}

void TestSecretServiceKeychain::secretBytesAreKeptExactly_data()
{
    QTest::addColumn<QByteArray>("secret");
    QTest::newRow("nul inside") << QByteArray("ab\0cd", 5);
    QTest::newRow("4 KiB") << QByteArray(4096, 'k');
}

void TestSecretServiceKeychain::secretBytesAreKeptExactly()
{
    QFETCH(QByteArray, secret);
    const QByteArray uuid = newUuid();
    QCOMPARE(m_keychain->itemCreateFromContent(KeychainCodes::genericPasswordClass,
                                               entryAttributes(uuid, "Bytes"), secretOf(secret)),
             errSecSuccess);
    auto found = findByService(*m_keychain, uuid);
    QCOMPARE(found.size(), std::size_t(1));
    QCOMPARE(copySecret(*m_keychain, *found[0]), secret);
    const SecretBytes changed = secretOf(secret + "!");
    QCOMPARE(m_keychain->itemModifyAttributesAndData(*found[0], {}, &changed), errSecSuccess);
    QCOMPARE(copySecret(*m_keychain, *found[0]), secret + "!");
}

void TestSecretServiceKeychain::refusedRequests_data()
{
    QTest::addColumn<FourCharCode>("itemClass");
    QTest::addColumn<KeychainAttributeList>("attributes");
    QTest::addColumn<OSStatus>("status");
    const FourCharCode genp = KeychainCodes::genericPasswordClass;
    QTest::newRow("internet password class")
        << fourCharCode("inet") << KeychainAttributeList{} << OSStatus(errSecNoSuchClass);
    QTest::newRow("attribute outside the layout")
        << genp << KeychainAttributeList{{fourCharCode("srvr"), "host"}}
        << OSStatus(errSecNoSuchAttr);
    QTest::newRow("value that is no utf-8")
        << genp << KeychainAttributeList{{KeychainCodes::account, QByteArray("caf\xe9")}}
        << OSStatus(errSecParam);
    QTest::newRow("label with a nul")
        << genp << KeychainAttributeList{{KeychainCodes::label, QByteArray("a\0b", 3)}}
        << OSStatus(errSecParam);
}

void TestSecretServiceKeychain::refusedRequests()
{
    QFETCH(FourCharCode, itemClass);
    QFETCH(KeychainAttributeList, attributes);
    QFETCH(OSStatus, status);
    QCOMPARE(m_keychain->itemCreateFromContent(itemClass, attributes, secretOf("x")), status);
    QVERIFY(searchAll(*m_keychain, {}).empty());
    if (itemClass != KeychainCodes::genericPasswordClass) {
        std::unique_ptr<KeychainSearch> search;
        QCOMPARE(m_keychain->searchCreateFromAttributes(itemClass, {}, search), status);
    }
    // A change with the same list is refused too, and leaves the item as it was.
    QCOMPARE(m_keychain->itemCreateFromContent(KeychainCodes::genericPasswordClass,
                                               entryAttributes("kept", "Kept"), secretOf("k")),
             errSecSuccess);
    auto found = findByService(*m_keychain, "kept");
    QCOMPARE(found.size(), std::size_t(1));
    if (itemClass == KeychainCodes::genericPasswordClass) {
        QCOMPARE(m_keychain->itemModifyAttributesAndData(*found[0], attributes, nullptr), status);
    }
    KeychainAttributeList read;
    QCOMPARE(m_keychain->itemCopyContent(*found[0], {fourCharCode("srvr")}, &read, nullptr),
             errSecNoSuchAttr);
    QCOMPARE(attributeOf(*m_keychain, *found[0], KeychainCodes::label), QByteArray("Kept"));
}

void TestSecretServiceKeychain::deletedItemRefIsReported()
{
    const QByteArray uuid = newUuid();
    QCOMPARE(m_keychain->itemCreateFromContent(KeychainCodes::genericPasswordClass,
                                               entryAttributes(uuid, "Gone"), secretOf("x")),
             errSecSuccess);
    auto first = findByService(*m_keychain, uuid);
    auto second = findByService(*m_keychain, uuid);
    QCOMPARE(second.size(), std::size_t(1));
    QCOMPARE(m_keychain->itemDelete(*first[0]), errSecSuccess);
    QCOMPARE(m_keychain->itemDelete(*second[0]), errSecInvalidItemRef);
    // The provider's own words on it are kept for the alert's details.
    QVERIFY(!m_keychain->lastErrorMessage().isEmpty());
    SecretBytes secret;
    QVERIFY(m_keychain->itemCopyContent(*second[0], {}, nullptr, &secret) != errSecSuccess);
    QVERIFY(findByService(*m_keychain, uuid).empty());
}

// More items than the bus lets one connection await replies for at once: a load that
// asked for them all together would come back short, and pass for complete.
void TestSecretServiceKeychain::everyItemLoadsPastTheBusReplyLimit()
{
    constexpr int count = 140;
    for (int i = 0; i < count; ++i) {
        QCOMPARE(m_keychain->itemCreateFromContent(KeychainCodes::genericPasswordClass,
                                                   entryAttributes(newUuid(), "Many"),
                                                   secretOf("x")),
                 errSecSuccess);
    }
    QCOMPARE(searchAll(*m_keychain, {{KeychainCodes::creator, creator}}).size(),
             std::size_t(count));
}

void TestSecretServiceKeychain::deletedCollectionMakesTheKeychainUnusable()
{
    if (SecretServiceBus::providerUnderTest() != SecretServiceBus::Provider::GnomeKeyring) {
        QSKIP("drives gnome-keyring's own collection and prompter");
    }
    SecretServiceBus bus(SecretServiceBus::Service::UnlockedKeyring);
    QVERIFY2(bus.isReady(), qPrintable(bus.errorString()));
    bus.makeSessionBus();
    SecretServiceKeychainServices services;
    std::unique_ptr<Keychain> keychain;
    QCOMPARE(services.copyDefault(keychain), errSecSuccess);
    QCOMPARE(keychain->getStatus(), errSecSuccess);

    QVERIFY(callService(bus.environment(), loginCollection,
                        QStringLiteral("org.freedesktop.Secret.Collection.Delete")));

    QCOMPARE(keychain->getStatus(), errSecNoSuchKeychain);
    std::unique_ptr<KeychainSearch> search;
    QCOMPARE(keychain->searchCreateFromAttributes(KeychainCodes::genericPasswordClass, {}, search),
             errSecNoSuchKeychain);
    QCOMPARE(keychain->itemCreateFromContent(KeychainCodes::genericPasswordClass,
                                             entryAttributes("x", "X"), secretOf("x")),
             errSecNoSuchKeychain);
    // Without the default collection there is no default keychain any more.
    std::unique_ptr<Keychain> again;
    QCOMPARE(services.copyDefault(again), errSecNoDefaultKeychain);
    QVERIFY(!again);
}

void TestSecretServiceKeychain::lockedCollectionFailsWithoutHanging()
{
    if (SecretServiceBus::providerUnderTest() != SecretServiceBus::Provider::GnomeKeyring) {
        QSKIP("drives gnome-keyring's own collection and prompter");
    }
    SecretServiceBus bus(SecretServiceBus::Service::UnlockedKeyring);
    QVERIFY2(bus.isReady(), qPrintable(bus.errorString()));
    bus.makeSessionBus();
    SecretServiceKeychainServices services;
    std::unique_ptr<Keychain> keychain;
    QCOMPARE(services.copyDefault(keychain), errSecSuccess);
    QCOMPARE(keychain->itemCreateFromContent(KeychainCodes::genericPasswordClass,
                                             entryAttributes("locked", "Locked"), secretOf("x")),
             errSecSuccess);
    auto found = findByService(*keychain, "locked");
    QCOMPARE(found.size(), std::size_t(1));

    QVERIFY(bus.lockDefaultCollection());
    // Still a usable keychain: it only needs unlocking.
    QCOMPARE(keychain->getStatus(), errSecSuccess);

    // No display: the service's prompt cannot be answered, which counts as refused.
    std::unique_ptr<KeychainSearch> search;
    QCOMPARE(keychain->searchCreateFromAttributes(KeychainCodes::genericPasswordClass, {}, search),
             errSecAuthFailed);
    SecretBytes secret;
    QCOMPARE(keychain->itemCopyContent(*found[0], {}, nullptr, &secret), errSecAuthFailed);
    const SecretBytes changed = secretOf("y");
    QCOMPARE(keychain->itemModifyAttributesAndData(*found[0], {}, &changed), errSecAuthFailed);
    QCOMPARE(keychain->itemDelete(*found[0]), errSecAuthFailed);

    services.setUserInteractionAllowed(false);
    QCOMPARE(keychain->itemDelete(*found[0]), errSecInteractionNotAllowed);
}

QTEST_GUILESS_MAIN(TestSecretServiceKeychain)
#include "tst_secretservicekeychain.moc"
