// Items of a keychain file: what goes in comes back, searches match exact bytes, time
// stamps are the keychain's own, and item references stay honest.
#include "FileKeychainFixture.h"

#include <QDateTime>
#include <QTest>

class TestFileKeychainItems : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void search_data();
    void search();
    void roundTrip();
    void staleItemRefs();
};

void TestFileKeychainItems::search_data()
{
    QTest::addColumn<FourCharCode>("itemClass");
    QTest::addColumn<KeychainAttributeList>("criteria");
    QTest::addColumn<QByteArrayList>("expected"); // services, in order
    const auto row = [](const char* name, const KeychainAttributeList& criteria,
                        const QByteArrayList& expected,
                        FourCharCode itemClass = KeychainCodes::genericPasswordClass) {
        QTest::newRow(name) << itemClass << criteria << expected;
    };
    row("no criteria: the class, creation order", {}, {"s1", "s2", "s3", "s4"});
    row("label by code", {{KeychainCodes::label, "Mail"}}, {"s1", "s4"});
    row("label by tag 7", {{KeychainCodes::labelIndex, "Mail"}}, {"s1", "s4"});
    row("two attributes", {{KeychainCodes::label, "Mail"}, {KeychainCodes::account, "bo"}}, {"s4"});
    row("exact bytes, not a prefix", {{KeychainCodes::label, "Mai"}}, {});
    row("exact bytes, not case", {{KeychainCodes::label, "mail"}}, {});
    row("empty value matches only an empty attribute", {{KeychainCodes::comment, QByteArray()}},
        {"s2"});
    row("item lacking the attribute does not match", {{KeychainCodes::account, "al"}}, {"s1"});
    row("program's codes", {{KeychainCodes::creator, "Klft"}, {KeychainCodes::type, "Klf1"}},
        {"s1", "s2", "s4"});
    row("other class", {}, {"s5"}, fourCharCode("inet"));
}

void TestFileKeychainItems::search()
{
    QFETCH(FourCharCode, itemClass);
    QFETCH(KeychainAttributeList, criteria);
    QFETCH(QByteArrayList, expected);
    FileKeychainFixture fixture;
    std::unique_ptr<Keychain> keychain = fixture.create();
    const FourCharCode genp = KeychainCodes::genericPasswordClass;
    KeychainAttributeList second = itemAttributes("Bank", "bo", "s2");
    second.push_back({KeychainCodes::comment, QByteArray()});
    // Another program's item (no account, other creator), and one of another class.
    const KeychainAttributeList third{{KeychainCodes::label, "Mail2"},
                                      {KeychainCodes::service, "s3"},
                                      {KeychainCodes::creator, "Othr"}};
    const KeychainAttributeList fifth{{KeychainCodes::label, "Mail"},
                                      {KeychainCodes::service, "s5"}};
    for (const auto& [itemClassOf, attributes] :
         {std::pair{genp, itemAttributes("Mail", "al", "s1")}, std::pair{genp, second},
          std::pair{genp, third}, std::pair{genp, itemAttributes("Mail", "bo", "s4")},
          std::pair{fourCharCode("inet"), fifth}}) {
        QCOMPARE(keychain->itemCreateFromContent(itemClassOf, attributes, secretOf("x")),
                 errSecSuccess);
    }
    // The same answer from this object and from a fresh one reading the file.
    std::unique_ptr<Keychain> reopened = fixture.open();
    fixture.dialogs.queuePassword(QStringLiteral("secret"));
    for (Keychain* each : {keychain.get(), reopened.get()}) {
        QByteArrayList services;
        for (const auto& item : searchAll(*each, criteria, nullptr, itemClass)) {
            services << attributeOf(*each, *item, KeychainCodes::service);
        }
        QCOMPARE(services, expected);
    }
}

void TestFileKeychainItems::roundTrip()
{
    FileKeychainFixture fixture;
    std::unique_ptr<Keychain> keychain = fixture.create();
    fixture.clock.set(QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7), Qt::UTC));
    QByteArray secret(70000, '\0');
    for (int i = 0; i < secret.size(); ++i) {
        secret[i] = char(i * 7 + 3);
    }
    const QByteArray label("a\0b", 3);
    KeychainAttributeList attributes = itemAttributes(label, "user", "uuid-1");
    attributes.push_back({KeychainCodes::comment, QByteArray("\0", 1)});
    // Stamps given by the caller are ignored: the keychain stamps its items itself.
    attributes.push_back({KeychainCodes::creationDate, QByteArray("19990101000000Z\0", 16)});
    QCOMPARE(keychain->itemCreateFromContent(KeychainCodes::genericPasswordClass, attributes,
                                             secretOf(secret)),
             errSecSuccess);
    // A fresh object reads it back from the file alone, and finds it by its stamp.
    const QByteArray created("20260304050607Z\0", 16);
    std::unique_ptr<Keychain> reopened = fixture.open();
    fixture.dialogs.queuePassword(QStringLiteral("secret"));
    auto items = searchAll(*reopened, {{KeychainCodes::creationDate, created}});
    QCOMPARE(items.size(), std::size_t(1));
    QCOMPARE(attributeOf(*reopened, *items[0], KeychainCodes::label), label);
    QCOMPARE(attributeOf(*reopened, *items[0], KeychainCodes::comment), QByteArray("\0", 1));
    QCOMPARE(attributeOf(*reopened, *items[0], KeychainCodes::modificationDate), created);
    SecretBytes read;
    QCOMPARE(reopened->itemCopyContent(*items[0], {}, nullptr, &read), errSecSuccess);
    QCOMPARE(QByteArray(read.data(), qsizetype(read.size())), secret);

    // A change a second later stamps the modification only.
    fixture.clock.advance(1000);
    QCOMPARE(
        reopened->itemModifyAttributesAndData(*items[0], {{KeychainCodes::account, "bo"}}, nullptr),
        errSecSuccess);
    QCOMPARE(attributeOf(*reopened, *items[0], KeychainCodes::creationDate), created);
    QCOMPARE(attributeOf(*reopened, *items[0], KeychainCodes::modificationDate),
             QByteArray("20260304050608Z\0", 16));
}

void TestFileKeychainItems::staleItemRefs()
{
    FileKeychainFixture fixture;
    std::unique_ptr<Keychain> keychain = fixture.create();
    QCOMPARE(createItem(*keychain, "s1"), errSecSuccess);
    QCOMPARE(createItem(*keychain, "s2"), errSecSuccess);
    auto items = searchAll(*keychain, {});
    QCOMPARE(keychain->itemDelete(*items[0]), errSecSuccess);
    const QByteArray after = fixture.fileBytes();
    // The reference of a deleted item reads, changes and deletes nothing.
    SecretBytes secret;
    QCOMPARE(keychain->itemCopyContent(*items[0], {}, nullptr, &secret), errSecInvalidItemRef);
    QCOMPARE(
        keychain->itemModifyAttributesAndData(*items[0], {{KeychainCodes::label, "x"}}, nullptr),
        errSecInvalidItemRef);
    QCOMPARE(keychain->itemDelete(*items[0]), errSecInvalidItemRef);
    QCOMPARE(fixture.fileBytes(), after);
    QCOMPARE(servicesIn(*keychain), QByteArrayList{"s2"});

    // Nor does the reference another keychain object gave for the same file's item.
    std::unique_ptr<Keychain> second = fixture.open();
    fixture.dialogs.queuePassword(QStringLiteral("secret"));
    items = searchAll(*second, {});
    QCOMPARE(items.size(), std::size_t(1));
    QCOMPARE(keychain->itemCopyContent(*items[0], {}, nullptr, &secret), errSecInvalidItemRef);
    QCOMPARE(keychain->itemDelete(*items[0]), errSecInvalidItemRef);
    QCOMPARE(second->itemCopyContent(*items[0], {}, nullptr, &secret), errSecSuccess);
}

QTEST_GUILESS_MAIN(TestFileKeychainItems)
#include "tst_filekeychainitems.moc"
