// Items of a keychain file: what goes in comes back, searches match exact bytes, time
// stamps are the keychain's own, and item references stay honest.
#include "FileKeychainFixture.h"

#include <QDateTime>
#include <QTest>

using Tags = std::vector<FourCharCode>;

class TestFileKeychainItems : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void roundTrip_data();
    void roundTrip();
    void search_data();
    void search();
    void timeStamps();
    void deletedItemRefs_data();
    void deletedItemRefs();
    void refOfAnotherKeychain();
};

void TestFileKeychainItems::roundTrip_data()
{
    QTest::addColumn<QByteArray>("label");
    QTest::addColumn<QByteArray>("comment");
    QTest::addColumn<QByteArray>("secret");
    QTest::newRow("NUL inside") << QByteArray("a\0b", 3) << QByteArray("\0", 1)
                                << QByteArray("pass\0word\0", 10);
    QByteArray binary(70000, '\0');
    for (int i = 0; i < binary.size(); ++i) {
        binary[i] = char(i * 7 + 3);
    }
    QTest::newRow("long binary") << binary << binary.left(300) << binary;
}

void TestFileKeychainItems::roundTrip()
{
    QFETCH(QByteArray, label);
    QFETCH(QByteArray, comment);
    QFETCH(QByteArray, secret);
    FileKeychainFixture fixture;
    {
        std::unique_ptr<Keychain> keychain = fixture.create();
        KeychainAttributeList attributes = itemAttributes(label, "user", "uuid-1");
        attributes.push_back({KeychainCodes::comment, comment});
        QCOMPARE(keychain->itemCreateFromContent(KeychainCodes::genericPasswordClass, attributes,
                                                 secretOf(secret)),
                 errSecSuccess);
    }
    // A fresh object reads it back from the file alone.
    std::unique_ptr<Keychain> keychain = fixture.open();
    fixture.dialogs.queuePassword(QStringLiteral("secret"));
    auto items = searchAll(*keychain, {});
    QCOMPARE(items.size(), std::size_t(1));
    KeychainAttributeList read;
    SecretBytes readSecret;
    QCOMPARE(keychain->itemCopyContent(*items[0],
                                       Tags{KeychainCodes::label, KeychainCodes::comment,
                                            KeychainCodes::account, KeychainCodes::service},
                                       &read, &readSecret),
             errSecSuccess);
    QCOMPARE(read.size(), std::size_t(4));
    QCOMPARE(read[0].data, label);
    QCOMPARE(read[1].data, comment);
    QCOMPARE(read[2].data, QByteArray("user"));
    QCOMPARE(read[3].data, QByteArray("uuid-1"));
    QCOMPARE(QByteArray(readSecret.data(), qsizetype(readSecret.size())), secret);
}

void TestFileKeychainItems::search_data()
{
    QTest::addColumn<FourCharCode>("itemClass");
    QTest::addColumn<KeychainAttributeList>("criteria");
    QTest::addColumn<QByteArrayList>("expected"); // services, in order

    const FourCharCode genp = KeychainCodes::genericPasswordClass;
    using A = KeychainAttribute;
    QTest::newRow("no criteria: the class, creation order")
        << genp << KeychainAttributeList{} << QByteArrayList{"s1", "s2", "s3", "s4"};
    QTest::newRow("label by code") << genp << KeychainAttributeList{A{KeychainCodes::label, "Mail"}}
                                   << QByteArrayList{"s1", "s4"};
    QTest::newRow("label by tag 7")
        << genp << KeychainAttributeList{A{KeychainCodes::labelIndex, "Mail"}}
        << QByteArrayList{"s1", "s4"};
    QTest::newRow("two attributes")
        << genp
        << KeychainAttributeList{A{KeychainCodes::label, "Mail"}, A{KeychainCodes::account, "bo"}}
        << QByteArrayList{"s4"};
    QTest::newRow("exact bytes, not a prefix")
        << genp << KeychainAttributeList{A{KeychainCodes::label, "Mai"}} << QByteArrayList{};
    QTest::newRow("exact bytes, not case")
        << genp << KeychainAttributeList{A{KeychainCodes::label, "mail"}} << QByteArrayList{};
    QTest::newRow("empty value matches only an empty attribute")
        << genp << KeychainAttributeList{A{KeychainCodes::comment, QByteArray()}}
        << QByteArrayList{"s2"};
    QTest::newRow("item lacking the attribute does not match")
        << genp << KeychainAttributeList{A{KeychainCodes::account, "al"}} << QByteArrayList{"s1"};
    QTest::newRow("program's codes")
        << genp
        << KeychainAttributeList{A{KeychainCodes::creator, "Klft"}, A{KeychainCodes::type, "Klf1"}}
        << QByteArrayList{"s1", "s2", "s4"};
    QTest::newRow("other class") << fourCharCode("inet") << KeychainAttributeList{}
                                 << QByteArrayList{"s5"};
    QTest::newRow("unknown class")
        << fourCharCode("cert") << KeychainAttributeList{} << QByteArrayList{};
}

void TestFileKeychainItems::search()
{
    QFETCH(FourCharCode, itemClass);
    QFETCH(KeychainAttributeList, criteria);
    QFETCH(QByteArrayList, expected);
    FileKeychainFixture fixture;
    std::unique_ptr<Keychain> keychain = fixture.create();
    const FourCharCode genp = KeychainCodes::genericPasswordClass;
    KeychainAttributeList first = itemAttributes("Mail", "al", "s1");
    KeychainAttributeList second = itemAttributes("Bank", "bo", "s2");
    second.push_back({KeychainCodes::comment, QByteArray()});
    // Another program's item: no account, other creator.
    const KeychainAttributeList third{{KeychainCodes::label, "Mail2"},
                                      {KeychainCodes::service, "s3"},
                                      {KeychainCodes::creator, "Othr"}};
    const KeychainAttributeList fourth = itemAttributes("Mail", "bo", "s4");
    const KeychainAttributeList fifth{{KeychainCodes::label, "Mail"},
                                      {KeychainCodes::service, "s5"}};
    for (const auto& [itemClassOf, attributes] :
         {std::pair{genp, first}, std::pair{genp, second}, std::pair{genp, third},
          std::pair{genp, fourth}, std::pair{fourCharCode("inet"), fifth}}) {
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

void TestFileKeychainItems::timeStamps()
{
    FileKeychainFixture fixture;
    std::unique_ptr<Keychain> keychain = fixture.create();
    fixture.clock.set(QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7), Qt::UTC));
    // Stamps given by the caller are ignored: the keychain stamps its items itself.
    KeychainAttributeList attributes = itemAttributes("Mail", "al", "s1");
    attributes.push_back({KeychainCodes::creationDate, QByteArray("19990101000000Z\0", 16)});
    QCOMPARE(keychain->itemCreateFromContent(KeychainCodes::genericPasswordClass, attributes,
                                             secretOf("pw")),
             errSecSuccess);
    auto items = searchAll(*keychain, {});
    QCOMPARE(items.size(), std::size_t(1));
    const QByteArray created = attributeOf(*keychain, *items[0], KeychainCodes::creationDate);
    const QByteArray modified = attributeOf(*keychain, *items[0], KeychainCodes::modificationDate);
    QCOMPARE(created, QByteArray("20260304050607Z\0", 16));
    QCOMPARE(modified, created);

    // A search by the stamp finds the item.
    QCOMPARE(searchAll(*keychain, {{KeychainCodes::creationDate, created}}).size(), std::size_t(1));

    // A change a second later stamps the modification only.
    fixture.clock.advance(1000);
    QCOMPARE(
        keychain->itemModifyAttributesAndData(*items[0], {{KeychainCodes::account, "bo"}}, nullptr),
        errSecSuccess);
    QCOMPARE(attributeOf(*keychain, *items[0], KeychainCodes::creationDate), created);
    const QByteArray remodified =
        attributeOf(*keychain, *items[0], KeychainCodes::modificationDate);
    QCOMPARE(remodified, QByteArray("20260304050608Z\0", 16));
}

void TestFileKeychainItems::deletedItemRefs_data()
{
    QTest::addColumn<int>("operation");
    QTest::newRow("copy content") << 0;
    QTest::newRow("modify") << 1;
    QTest::newRow("delete") << 2;
}

void TestFileKeychainItems::deletedItemRefs()
{
    QFETCH(int, operation);
    FileKeychainFixture fixture;
    std::unique_ptr<Keychain> keychain = fixture.create();
    for (const char* service : {"s1", "s2"}) {
        QCOMPARE(keychain->itemCreateFromContent(KeychainCodes::genericPasswordClass,
                                                 itemAttributes("Mail", "al", service),
                                                 secretOf("pw")),
                 errSecSuccess);
    }
    auto items = searchAll(*keychain, {});
    QCOMPARE(keychain->itemDelete(*items[0]), errSecSuccess);
    const QByteArray after = fixture.fileBytes();
    OSStatus status = errSecSuccess;
    SecretBytes secret;
    switch (operation) {
    case 0:
        status = keychain->itemCopyContent(*items[0], {}, nullptr, &secret);
        break;
    case 1:
        status = keychain->itemModifyAttributesAndData(*items[0], {{KeychainCodes::label, "x"}},
                                                       nullptr);
        break;
    default:
        status = keychain->itemDelete(*items[0]);
    }
    QCOMPARE(status, errSecInvalidItemRef);
    QCOMPARE(fixture.fileBytes(), after);
    auto left = searchAll(*keychain, {});
    QCOMPARE(left.size(), std::size_t(1));
    QCOMPARE(attributeOf(*keychain, *left[0], KeychainCodes::service), QByteArray("s2"));
}

void TestFileKeychainItems::refOfAnotherKeychain()
{
    FileKeychainFixture fixture;
    std::unique_ptr<Keychain> first = fixture.create();
    QCOMPARE(first->itemCreateFromContent(KeychainCodes::genericPasswordClass,
                                          itemAttributes("Mail", "al", "s1"), secretOf("pw")),
             errSecSuccess);
    std::unique_ptr<Keychain> second = fixture.open();
    fixture.dialogs.queuePassword(QStringLiteral("secret"));
    auto items = searchAll(*second, {});
    QCOMPARE(items.size(), std::size_t(1));
    SecretBytes secret;
    QCOMPARE(first->itemCopyContent(*items[0], {}, nullptr, &secret), errSecInvalidItemRef);
    QCOMPARE(first->itemDelete(*items[0]), errSecInvalidItemRef);
    QCOMPARE(second->itemCopyContent(*items[0], {}, nullptr, &secret), errSecSuccess);
}

QTEST_GUILESS_MAIN(TestFileKeychainItems)
#include "tst_filekeychainitems.moc"
