// The keychain body's own CBOR writer and reader: the bytes written for fixed contents,
// round trips through both, and the attribute map the items hold.
#include "TestFiles.h"

#include "platform/keychain/FileKeychainBody.h"

#include <QDir>
#include <QTest>

namespace {

QByteArray write(const FileKeychainContent& content)
{
    const SecretBytes plaintext = serializeFileKeychainBody(content);
    return QByteArray(plaintext.data(), qsizetype(plaintext.size()));
}

// A first version's body of no more than 23 items as the current version writes it: a
// map of three keys, the last one an empty array of deleted items.
QByteArray currentVersion(QByteArray body)
{
    body[0] = char(0xa3);
    return body + QByteArray::fromHex("0280");
}

QByteArray corpusFile(const QString& name)
{
    return fileBytes(QDir(qEnvironmentVariable("KEYLOFT_TEST_SOURCE_DIR"))
                         .filePath(QStringLiteral("../../fuzz/corpus/body/") + name));
}
} // namespace

class TestFileKeychainBody : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void writerWritesShortestHeads_data();
    void writerWritesShortestHeads();
    void corpusBodiesRoundTrip_data();
    void corpusBodiesRoundTrip();
    void equalValuesShareMemoryOnly();
    void attributesActAsAMap();
};

void TestFileKeychainBody::writerWritesShortestHeads_data()
{
    // An empty body {0: nextId, 1: [], 2: []}: the next id's head takes every length.
    QTest::addColumn<quint64>("nextId");
    QTest::addColumn<QByteArray>("head");
    QTest::newRow("23") << quint64(23) << QByteArray("17");
    QTest::newRow("24") << quint64(24) << QByteArray("1818");
    QTest::newRow("255") << quint64(255) << QByteArray("18ff");
    QTest::newRow("256") << quint64(256) << QByteArray("190100");
    QTest::newRow("65535") << quint64(65535) << QByteArray("19ffff");
    QTest::newRow("65536") << quint64(65536) << QByteArray("1a00010000");
    QTest::newRow("2^32 - 1") << quint64(0xffffffffu) << QByteArray("1affffffff");
    QTest::newRow("2^32") << quint64(0x100000000u) << QByteArray("1b0000000100000000");
    QTest::newRow("2^64 - 1") << quint64(0xffffffffffffffffu) << QByteArray("1bffffffffffffffff");
}

void TestFileKeychainBody::writerWritesShortestHeads()
{
    QFETCH(quint64, nextId);
    QFETCH(QByteArray, head);
    FileKeychainContent content;
    content.nextId = nextId;
    const QByteArray bytes = currentVersion(QByteArray::fromHex("a200" + head + "0180"));
    QCOMPARE(write(content).toHex(), bytes.toHex());
    const std::optional<FileKeychainContent> read = parseFileKeychainBody(bytes);
    QVERIFY(read);
    QCOMPARE(read->nextId, nextId);
}

void TestFileKeychainBody::corpusBodiesRoundTrip_data()
{
    // Bodies are written in the shortest form with definite lengths and in the current
    // version: those already in it come back byte for byte.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("shortest");
    QTest::newRow("empty") << QStringLiteral("empty") << QByteArray();
    QTest::newRow("deleted item recorded")
        << QStringLiteral("version2-deleted-item") << QByteArray();
    // Attributes are written in rising order of their tags.
    QTest::newRow("one item, tags out of order")
        << QStringLiteral("one-item")
        << QByteArray("a200050181a60003011a67656e7002a21a616363744241421a6c61626c4141034270770419"
                      "03e8051907d0");
    QTest::newRow("two items") << QStringLiteral("two-items") << QByteArray();
    QTest::newRow("indefinite, chunked")
        << QStringLiteral("indefinite-chunked")
        << QByteArray("a200050181a60003011a67656e7002a11a6c61626c42707703427077040005 00");
}

void TestFileKeychainBody::corpusBodiesRoundTrip()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, shortest);
    const QByteArray body = corpusFile(name);
    const bool firstVersion = !name.startsWith(QLatin1String("version2"));
    const std::optional<FileKeychainContent> content =
        parseFileKeychainBody(body, firstVersion ? 1 : 2);
    QVERIFY(content);
    // A body is read in its own version's layout only.
    QVERIFY(!parseFileKeychainBody(body, firstVersion ? 2 : 1));
    const QByteArray written = write(*content);
    const QByteArray expected = shortest.isEmpty() ? body : QByteArray::fromHex(shortest);
    QCOMPARE(written.toHex(), (firstVersion ? currentVersion(expected) : expected).toHex());
    const std::optional<FileKeychainContent> again = parseFileKeychainBody(written);
    QVERIFY(again);
    QCOMPARE(write(*again).toHex(), written.toHex());
}

void TestFileKeychainBody::equalValuesShareMemoryOnly()
{
    FileKeychainContent written;
    written.nextId = 3;
    for (std::uint64_t id : {0, 1, 2}) {
        FileKeychainItem& item = written.items.emplace_back();
        item.id = id;
        item.attributes = {{KeychainCodes::creator, QByteArray("Klft")},
                           {KeychainCodes::label, QByteArray::number(id)}};
    }
    std::optional<FileKeychainContent> content = parseFileKeychainBody(write(written));
    QVERIFY(content);
    std::vector<FileKeychainItem>& items = content->items;
    QCOMPARE(items[2].attributes.at(KeychainCodes::creator).constData(),
             items[0].attributes.at(KeychainCodes::creator).constData());
    // A change to one item's value leaves the other items' alone.
    items[2].attributes[KeychainCodes::creator][0] = 'X';
    QCOMPARE(items[0].attributes.at(KeychainCodes::creator), QByteArray("Klft"));
    QCOMPARE(items[1].attributes.at(KeychainCodes::creator), QByteArray("Klft"));
    QCOMPARE(items[1].attributes.at(KeychainCodes::label), QByteArray("1"));
}

void TestFileKeychainBody::attributesActAsAMap()
{
    // Rising tags, the first value of a tag kept, wherever the duplicate comes.
    FileKeychainAttributes attributes{{KeychainCodes::type, QByteArray("t")},
                                      {KeychainCodes::account, QByteArray("a")},
                                      {KeychainCodes::type, QByteArray("second")}};
    QVERIFY(!attributes.emplace(KeychainCodes::type, QByteArray("third")).second);
    QVERIFY(attributes.emplace(1, QByteArray("one")).second);
    QVERIFY(attributes == FileKeychainAttributes({{1, QByteArray("one")},
                                                  {KeychainCodes::account, QByteArray("a")},
                                                  {KeychainCodes::type, QByteArray("t")}}));
    QVERIFY(attributes.find(KeychainCodes::label) == attributes.end());
}

QTEST_GUILESS_MAIN(TestFileKeychainBody)
#include "tst_filekeychainbody.moc"
