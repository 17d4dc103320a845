// The keychain file body: what it reads back, what it refuses, and its time stamps.
#include "platform/keychain/FileKeychainBody.h"

#include <QTest>

class TestFileKeychainFormat : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void bodyRoundTrip();
    void bodyRejects_data();
    void bodyRejects();
    void timeStamp_data();
    void timeStamp();
};

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
    const auto fields = [](const FileKeychainItem& item) {
        return std::tie(item.id, item.itemClass, item.attributes, item.secret, item.created,
                        item.modified);
    };
    for (std::size_t i = 0; i < content.items.size(); ++i) {
        QVERIFY(fields(read->items[i]) == fields(content.items[i]));
    }
}

// A first version's body, in hex: the next id 5 and the item 3 with class 0, no
// attributes, an empty secret and both times 0. Each row spoils it in one way.
static const char* const validBody = "a2 0005 0181 a6 0003 0100 02a0 0340 0400 0500";

void TestFileKeychainFormat::bodyRejects_data()
{
    QTest::addColumn<QString>("body");
    QTest::newRow("nothing") << "";
    QTest::newRow("not a map") << "82 05 80";
    QTest::newRow("no next id") << "a1 0180";
    QTest::newRow("unknown body key") << "a3 0005 0180 0380";
    QTest::newRow("duplicate body key") << "a3 0005 0180 0006";
    QTest::newRow("items not an array") << "a2 0005 01a0";
    QTest::newRow("reserved head length 28") << "a2 001c 00000000000000000000000000000000 0180";
    QTest::newRow("negative next id") << "a2 0024 0180";
    QTest::newRow("bytes after the body") << "a2 0005 0181 a6 0003 0100 02a0 0340 0400 0500 00";
    QTest::newRow("last byte cut") << "a2 0005 0181 a6 0003 0100 02a0 0340 0400 05";
    QTest::newRow("item without modification time") << "a2 0005 0181 a5 0003 0100 02a0 0340 0400";
    QTest::newRow("id not below next id") << "a2 0005 0181 a6 0005 0100 02a0 0340 0400 0500";
    QTest::newRow("duplicate ids") << "a2 0005 0182 a6 0003 0100 02a0 0340 0400 0500"
                                      "a6 0003 0100 02a0 0340 0400 0500";
    QTest::newRow("falling ids") << "a2 0005 0182 a6 0004 0100 02a0 0340 0400 0500"
                                    "a6 0003 0100 02a0 0340 0400 0500";
    QTest::newRow("class beyond 32 bits") << "a2 0005 0181 a6 0003 011b0000000100000000 02a0 0340 "
                                             "0400 0500";
    QTest::newRow("secret as text") << "a2 0005 0181 a6 0003 0100 02a0 0362 7077 0400 0500";
    QTest::newRow("attributes as array") << "a2 0005 0181 a6 0003 0100 0280 0340 0400 0500";
    QTest::newRow("attribute under cdat")
        << "a2 0005 0181 a6 0003 0100 02a1 1a63646174 4178 0340 0400 0500";
    QTest::newRow("attribute under mdat")
        << "a2 0005 0181 a6 0003 0100 02a1 1a6d646174 40 0340 0400 0500";
    // Found by fuzzing: an attribute stored under an alias could never be read back by
    // that tag.
    QTest::newRow("attribute under the label alias 7")
        << "a20005 0181 a6 0003 011a67656e70 02a2 074141 084142 0342 7077 041903e8 051907d0";
    QTest::newRow("time after year 9999")
        << "a2 0005 0181 a6 0003 0100 02a0 0340 0400 051b0000003afff44180";
    QTest::newRow("duplicate attribute tag")
        << "a2 0005 0181 a6 0003 0100 02a2 1a6c61626c 4141 1a6c61626c 4142 0340 0400 0500";
    QTest::newRow("deleted item without its time") << "a3 0005 0180 0281 a1 004141";
    // Found by fuzzing: secrets declaring far more bytes than the body holds.
    QTest::newRow("secret chunk longer than the body")
        << "bf0005019fa6000301 1a67656e70 02a1 1a6c61626c 5f4177ff 035b41704177ff040005 0400 "
           "05ff00ff";
    QTest::newRow("secret longer than the body")
        << "a20005 0181 a6 0003 011a67656e70 02a0 035b7fffffffffffffff 0400 0500";
}

void TestFileKeychainFormat::bodyRejects()
{
    QFETCH(QString, body);
    QVERIFY(parseFileKeychainBody(QByteArray::fromHex(validBody), 1));
    const QByteArray bytes = QByteArray::fromHex(body.toLatin1());
    QVERIFY(!parseFileKeychainBody(bytes, 1));
    QVERIFY(!parseFileKeychainBody(bytes, 2));
}

void TestFileKeychainFormat::timeStamp_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("end of the first day") << qint64(86399) << QByteArray("19700101235959Z");
    QTest::newRow("leap day 2000") << qint64(951782400) << QByteArray("20000229000000Z");
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
