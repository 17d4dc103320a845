// The item layout over Secret Service items: which tag lives where, which texts can
// be stored, and the time stamp form.
#include "platform/secretservice/SecretServiceItemLayout.h"

#include <QTest>

using SecretServiceItemLayout::Slot;

Q_DECLARE_METATYPE(Slot)

class TestSecretServiceItemLayout : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void slotForTag_data();
    void slotForTag();
    void attributeNameIsTheFourCharacters();
    void storableText_data();
    void storableText();
    void zuluTimeStamp_data();
    void zuluTimeStamp();
};

void TestSecretServiceItemLayout::slotForTag_data()
{
    QTest::addColumn<FourCharCode>("tag");
    QTest::addColumn<Slot>("slot");
    QTest::newRow("labl is the label") << KeychainCodes::label << Slot::Label;
    QTest::newRow("tag 7 is the label") << FourCharCode(7) << Slot::Label;
    QTest::newRow("gena") << KeychainCodes::generic << Slot::Attribute;
    QTest::newRow("acct") << KeychainCodes::account << Slot::Attribute;
    QTest::newRow("icmt") << KeychainCodes::comment << Slot::Attribute;
    QTest::newRow("desc") << KeychainCodes::description << Slot::Attribute;
    QTest::newRow("svce") << KeychainCodes::service << Slot::Attribute;
    QTest::newRow("crtr") << KeychainCodes::creator << Slot::Attribute;
    QTest::newRow("type") << KeychainCodes::type << Slot::Attribute;
    QTest::newRow("cdat is the created time") << KeychainCodes::creationDate << Slot::Created;
    QTest::newRow("mdat is the modified time") << KeychainCodes::modificationDate << Slot::Modified;
    QTest::newRow("an attribute of internet passwords") << fourCharCode("srvr") << Slot::Unknown;
    QTest::newRow("tag 8 is no alias") << FourCharCode(8) << Slot::Unknown;
    QTest::newRow("the class code is no attribute")
        << KeychainCodes::genericPasswordClass << Slot::Unknown;
}

void TestSecretServiceItemLayout::slotForTag()
{
    QFETCH(FourCharCode, tag);
    QFETCH(Slot, slot);
    QCOMPARE(SecretServiceItemLayout::slotForTag(tag), slot);
}

void TestSecretServiceItemLayout::attributeNameIsTheFourCharacters()
{
    QCOMPARE(SecretServiceItemLayout::attributeName(KeychainCodes::service), QByteArray("svce"));
    QCOMPARE(SecretServiceItemLayout::attributeName(KeychainCodes::generic), QByteArray("gena"));
}

void TestSecretServiceItemLayout::storableText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("storable");
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("ascii") << QByteArray("Klft") << true;
    QTest::newRow("utf-8 umlaut and emoji") << QString::fromUtf8("Grüße 🔑").toUtf8() << true;
    QTest::newRow("nul inside") << QByteArray("a\0b", 3) << false;
    QTest::newRow("latin-1 byte") << QByteArray("caf\xe9") << false;
    QTest::newRow("cut multibyte sequence") << QByteArray("\xe2\x82") << false;
}

void TestSecretServiceItemLayout::storableText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, storable);
    QCOMPARE(SecretServiceItemLayout::isStorableText(bytes), storable);
}

void TestSecretServiceItemLayout::zuluTimeStamp_data()
{
    QTest::addColumn<quint64>("seconds");
    QTest::addColumn<QByteArray>("stamp");
    QTest::newRow("epoch") << quint64(0) << QByteArray("19700101000000Z\0", 16);
    QTest::newRow("2010-03-05 14:07:09 UTC")
        << quint64(1267798029) << QByteArray("20100305140709Z\0", 16);
    QTest::newRow("leap day") << quint64(1709208000) << QByteArray("20240229120000Z\0", 16);
}

void TestSecretServiceItemLayout::zuluTimeStamp()
{
    QFETCH(quint64, seconds);
    QFETCH(QByteArray, stamp);
    const QByteArray made = SecretServiceItemLayout::zuluTimeStamp(seconds);
    QCOMPARE(made.size(), 16);
    QCOMPARE(made, stamp);
}

QTEST_GUILESS_MAIN(TestSecretServiceItemLayout)
#include "tst_secretserviceitemlayout.moc"
