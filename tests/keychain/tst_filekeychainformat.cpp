// The keychain file format itself: the header, the CBOR body and the time stamps.
#include "platform/keychain/FileKeychainBody.h"
#include "platform/keychain/FileKeychainHeader.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QTest>

namespace {
// A well-formed body: next id 5, one item with id 3.
QCborMap itemMap()
{
    QCborMap attributes;
    attributes.insert(qint64(KeychainCodes::label), QCborValue(QByteArray("Mail")));
    QCborMap item;
    item.insert(0, 3);
    item.insert(1, qint64(KeychainCodes::genericPasswordClass));
    item.insert(2, attributes);
    item.insert(3, QCborValue(QByteArray("pw")));
    item.insert(4, 1000);
    item.insert(5, 2000);
    return item;
}

QCborMap bodyMap(const QCborArray& items)
{
    QCborMap body;
    body.insert(0, 5);
    body.insert(1, items);
    return body;
}

QByteArray bodyWithItem(const QCborMap& item)
{
    return QCborValue(bodyMap(QCborArray{item})).toCbor();
}

QByteArray validHeader()
{
    FileKeychainHeader header;
    header.kdf = FileKeychainKdf::minimum();
    header.salt.fill(0x11);
    header.keyCheck.fill(0x22);
    header.nonce.fill(0x33);
    return header.serialize();
}
} // namespace

class TestFileKeychainFormat : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void headerRoundTrip();
    void headerRejects_data();
    void headerRejects();
    void bodyRoundTrip();
    void bodyRejects_data();
    void bodyRejects();
    void timeStamp_data();
    void timeStamp();
};

void TestFileKeychainFormat::headerRoundTrip()
{
    const QByteArray bytes = validHeader();
    QCOMPARE(bytes.size(), qsizetype(FileKeychainHeader::size));
    QVERIFY(bytes.startsWith("KLFTKCF\n"));
    const std::optional<FileKeychainHeader> header = FileKeychainHeader::parse(bytes + "body");
    QVERIFY(header);
    QVERIFY(header->kdf == FileKeychainKdf::minimum());
    QCOMPARE(header->salt[0], 0x11);
    QCOMPARE(header->keyCheck[15], 0x22);
    QCOMPARE(header->nonce[23], 0x33);
    QCOMPARE(header->serialize(), bytes);
    QVERIFY(FileKeychainKdf::standard().isAcceptable());
}

void TestFileKeychainFormat::headerRejects_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("value"); // -1: cut the header at offset
    QTest::newRow("empty") << 0 << -1;
    QTest::newRow("one byte short") << 83 << -1;
    QTest::newRow("magic") << 3 << int('x');
    QTest::newRow("version 0") << 9 << 0;
    QTest::newRow("version 3") << 9 << 3;
    QTest::newRow("version 257") << 8 << 1;
    QTest::newRow("flags") << 11 << 1;
    QTest::newRow("passes beyond bound") << 19 << 17;
    QTest::newRow("passes far beyond bound") << 12 << 1;
    QTest::newRow("memory beyond 1 GiB") << 23 << 0x41;
    QTest::newRow("memory far beyond") << 20 << 1;
    QTest::newRow("memory below minimum") << 26 << 0;
}

void TestFileKeychainFormat::headerRejects()
{
    QFETCH(int, offset);
    QFETCH(int, value);
    QByteArray bytes = validHeader();
    if (value < 0) {
        bytes.truncate(offset);
    } else {
        bytes[offset] = char(value);
    }
    QVERIFY(!FileKeychainHeader::parse(bytes));
}

void TestFileKeychainFormat::bodyRoundTrip()
{
    FileKeychainContent content;
    content.nextId = 40;
    for (std::uint64_t id : {2, 7, 39}) {
        FileKeychainItem item;
        item.id = id;
        item.itemClass = id == 7 ? fourCharCode("inet") : KeychainCodes::genericPasswordClass;
        item.attributes[KeychainCodes::label] = QByteArray::number(id);
        item.attributes[KeychainCodes::comment] = QByteArray("a\0b", 3);
        item.attributes[0xffffffff] = QByteArray();
        const QByteArray secret = id == 2 ? QByteArray() : QByteArray(int(id) * 100, char(id));
        item.secret = SecretBytes(secret.constData(), std::size_t(secret.size()));
        item.created = std::int64_t(id) * 1000;
        item.modified = fileKeychainLatestTime;
        content.items.push_back(std::move(item));
    }
    const SecretBytes plaintext = serializeFileKeychainBody(content);
    const std::optional<FileKeychainContent> read =
        parseFileKeychainBody(QByteArrayView(plaintext.data(), qsizetype(plaintext.size())));
    QVERIFY(read);
    QCOMPARE(read->nextId, content.nextId);
    QCOMPARE(read->items.size(), content.items.size());
    for (std::size_t i = 0; i < content.items.size(); ++i) {
        const FileKeychainItem& want = content.items[i];
        const FileKeychainItem& got = read->items[i];
        QCOMPARE(got.id, want.id);
        QCOMPARE(got.itemClass, want.itemClass);
        QVERIFY(got.attributes == want.attributes);
        QVERIFY(got.secret == want.secret);
        QCOMPARE(got.created, want.created);
        QCOMPARE(got.modified, want.modified);
    }
}

void TestFileKeychainFormat::bodyRejects_data()
{
    QTest::addColumn<QByteArray>("body");
    const auto with = [](int key, const QCborValue& value) {
        QCborMap item = itemMap();
        item.insert(key, value);
        return bodyWithItem(item);
    };
    const auto without = [](int key) {
        QCborMap item = itemMap();
        item.remove(key);
        return bodyWithItem(item);
    };
    QCborMap noItems;
    noItems.insert(0, 5);
    QCborMap noNextId;
    noNextId.insert(1, QCborArray{});
    QCborMap unknownBodyKey = bodyMap({});
    unknownBodyKey.insert(2, 0);
    QCborMap textKeys;
    textKeys.insert(QStringLiteral("0"), 5);
    textKeys.insert(QStringLiteral("1"), QCborArray{});
    QCborMap textAttribute;
    textAttribute.insert(qint64(KeychainCodes::label), QStringLiteral("Mail"));
    QCborMap wideTag;
    wideTag.insert(qint64(1) << 32, QCborValue(QByteArray("x")));
    QCborMap secondItem = itemMap();
    secondItem.insert(0, 4);

    QTest::newRow("nothing") << QByteArray();
    QTest::newRow("an array") << QCborValue(QCborArray{5, QCborArray{}}).toCbor();
    QTest::newRow("text keys") << QCborValue(textKeys).toCbor();
    QTest::newRow("no items") << QCborValue(noItems).toCbor();
    QTest::newRow("no next id") << QCborValue(noNextId).toCbor();
    QTest::newRow("unknown body key") << QCborValue(unknownBodyKey).toCbor();
    QTest::newRow("duplicate body key") << QByteArray::fromHex("a3000501800006");
    QTest::newRow("items not an array") << QByteArray::fromHex("a2000501a0");
    QTest::newRow("reserved head length 28")
        << QByteArray::fromHex("a2001c" + QByteArray(32, '0') + "0180");
    QTest::newRow("negative next id") << QByteArray::fromHex("a2002401 80");
    QTest::newRow("bytes after the body") << bodyWithItem(itemMap()) + '\0';
    QTest::newRow("last byte cut") << bodyWithItem(itemMap()).chopped(1);
    QTest::newRow("item without id") << without(0);
    QTest::newRow("item without class") << without(1);
    QTest::newRow("item without attributes") << without(2);
    QTest::newRow("item without secret") << without(3);
    QTest::newRow("item without creation time") << without(4);
    QTest::newRow("item without modification time") << without(5);
    QTest::newRow("item with unknown key") << with(6, 0);
    QTest::newRow("id not below next id") << with(0, 5);
    QTest::newRow("id negative") << with(0, -1);
    QTest::newRow("class beyond 32 bits") << with(1, qint64(1) << 32);
    QTest::newRow("secret as text") << with(3, QStringLiteral("pw"));
    QTest::newRow("secret as number") << with(3, 7);
    QTest::newRow("attribute as text") << with(2, textAttribute);
    QTest::newRow("attribute tag beyond 32 bits") << with(2, wideTag);
    QTest::newRow("attributes as array") << with(2, QCborArray{});
    // Found by fuzzing: an attribute stored under an alias or a time-stamp tag could never
    // be read back by that tag.
    QTest::newRow("attribute under the label alias 7")
        << QByteArray::fromHex("a20005 0181 a6 0003 011a67656e70 02a2 074141 084142 0342 7077 "
                               "041903e8 051907d0");
    // Found by fuzzing: a secret chunk declaring far more bytes than the body holds.
    QTest::newRow("secret chunk longer than the body")
        << QByteArray::fromHex("bf0005019fa6000301 1a67656e70 02a1 1a6c61626c 5f4177ff "
                               "035b41704177ff040005 0400 05ff00ff");
    QTest::newRow("secret longer than the body") << QByteArray::fromHex(
        "a20005 0181 a6 0003 011a67656e70 02a0 035b7fffffffffffffff 0400 0500");
    QCborMap creationAttribute;
    creationAttribute.insert(qint64(KeychainCodes::creationDate), QCborValue(QByteArray("x")));
    QTest::newRow("attribute under cdat") << with(2, creationAttribute);
    QCborMap modificationAttribute;
    modificationAttribute.insert(qint64(KeychainCodes::modificationDate), QCborValue(QByteArray()));
    QTest::newRow("attribute under mdat") << with(2, modificationAttribute);
    QTest::newRow("time negative") << with(4, -1);
    QTest::newRow("time after year 9999") << with(5, qint64(fileKeychainLatestTime + 1));
    QTest::newRow("time as float") << with(4, 1000.5);
    QTest::newRow("duplicate ids")
        << QCborValue(bodyMap(QCborArray{itemMap(), itemMap()})).toCbor();
    QTest::newRow("falling ids") << QCborValue(bodyMap(QCborArray{secondItem, itemMap()})).toCbor();
    QTest::newRow("duplicate attribute tag") << QByteArray::fromHex(
        "a20005 0181 a6 0003 011a67656e70 02a2 074141 074142 0340 0400 0500");
    QTest::newRow("deleted item without its time")
        << QByteArray::fromHex("a3 0005 0180 0281 a1 004141");
    QTest::newRow("deleted item's time as text")
        << QByteArray::fromHex("a3 0005 0180 0281 a2 004141 016131");
}

void TestFileKeychainFormat::bodyRejects()
{
    QFETCH(QByteArray, body);
    QVERIFY(!parseFileKeychainBody(body, 1));
    QVERIFY(!parseFileKeychainBody(body, 2));
}

void TestFileKeychainFormat::timeStamp_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("epoch") << qint64(0) << QByteArray("19700101000000Z");
    QTest::newRow("end of the first day") << qint64(86399) << QByteArray("19700101235959Z");
    QTest::newRow("leap day 2000") << qint64(951782400) << QByteArray("20000229000000Z");
    QTest::newRow("afternoon") << qint64(1267798029) << QByteArray("20100305140709Z");
    QTest::newRow("last second of 9999")
        << qint64(fileKeychainLatestTime) << QByteArray("99991231235959Z");
    QTest::newRow("before the epoch: clamped") << qint64(-5) << QByteArray("19700101000000Z");
    QTest::newRow("after 9999: clamped")
        << qint64(fileKeychainLatestTime + 100) << QByteArray("99991231235959Z");
}

void TestFileKeychainFormat::timeStamp()
{
    QFETCH(qint64, seconds);
    QFETCH(QByteArray, text);
    QCOMPARE(fileKeychainTimeStamp(seconds), text + '\0');
}

QTEST_GUILESS_MAIN(TestFileKeychainFormat)
#include "tst_filekeychainformat.moc"
