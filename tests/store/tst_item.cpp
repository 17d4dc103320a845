// The entry record, its encoded attribute string and the string helpers.

#include "store/NetKeyloftStringUtils.h"
#include "store/NetKeyloft_Item.h"

#include "ScriptedDialogs.h"

#include <QGuiApplication>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

class TestItem : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void placeholdersReplaceEmptyTexts();
    void newItemsStartCounted();
    void encodedAttributes_data();
    void encodedAttributes();
    void parseAttributes_data();
    void parseAttributes();
    void leadingIntValue_data();
    void leadingIntValue();
    void uuidsAreCanonicalAndFresh();
    void stringWithData_data();
    void stringWithData();
    void localizedErrorShowsKeyWithoutText();
};

void TestItem::placeholdersReplaceEmptyTexts()
{
    const auto item = NetKeyloft_Item::initWithLabelUserNamePasswordCommentsIndex(
        QStringLiteral("Mail"), QString(), QString(), QLatin1String(""), 4);
    QCOMPARE(item.userName(), QStringLiteral("User account not entered yet."));
    QCOMPARE(item.password(), QStringLiteral("Password not entered yet."));
    QCOMPARE(item.comments(), QStringLiteral("Notes:"));
    QVERIFY(item.hasDefaultUserName());
    QVERIFY(item.hasDefaultPassword());
    QVERIFY(item.hasDefaultComments());

    auto filled = NetKeyloft_Item::initWithLabelUserNamePasswordCommentsIndex(
        QStringLiteral("Bank"), QStringLiteral("ann"), QStringLiteral("s3cret"),
        QStringLiteral("pin 1234"), 2);
    QCOMPARE(filled.userName(), QStringLiteral("ann"));
    QCOMPARE(filled.password(), QStringLiteral("s3cret"));
    QVERIFY(!filled.hasDefaultUserName());
    QVERIFY(!filled.hasDefaultPassword());
    QVERIFY(!filled.hasDefaultComments());
    // The comparison is literal: an empty field is not its placeholder, nor is another case.
    filled.setUserName(QLatin1String(""));
    QVERIFY(!filled.hasDefaultUserName());
    filled.setComments(QStringLiteral("notes:"));
    QVERIFY(!filled.hasDefaultComments());
}

void TestItem::newItemsStartCounted()
{
    const QDateTime before = QDateTime::currentDateTimeUtc();
    const auto item = NetKeyloft_Item::initWithLabelIndex(QStringLiteral("Web"), 9);
    QCOMPARE(item.countUsed(), 1);
    QCOMPARE(item.index(), 9);
    QVERIFY(item.dateCreated() >= before.addSecs(-1));
    QCOMPARE(item.dateModified(), item.dateCreated());

    auto counted = item;
    counted.setCountUsedPlus1();
    QCOMPARE(counted.countUsed(), 2);
    QCOMPARE(counted.dateModified(), item.dateModified());
}

void TestItem::encodedAttributes_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("countUsed");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("first entry") << 0 << 1 << QStringLiteral("<<NKL>>0<<NKL>>1");
    QTest::newRow("negative index") << -2 << 5 << QStringLiteral("<<NKL>>-2<<NKL>>5");
    QTest::newRow("extremes") << int(INT32_MIN) << int(INT32_MAX)
                              << QStringLiteral("<<NKL>>-2147483648<<NKL>>2147483647");
}

void TestItem::encodedAttributes()
{
    QFETCH(int, index);
    QFETCH(int, countUsed);
    QFETCH(QString, suffix);
    auto item = NetKeyloft_Item::initWithLabelIndex(QStringLiteral("x"), index);
    item.setCountUsed(countUsed);
    QCOMPARE(item.encodedAttributes(), item.uuid() + suffix);

    // Reading the text back gives the same numbers.
    auto copy = NetKeyloft_Item::initWithLabelIndex(QStringLiteral("y"), 0);
    copy.parseAttributes(item.encodedAttributes());
    QCOMPARE(copy.index(), index);
    QCOMPARE(copy.countUsed(), countUsed);
    QCOMPARE(NetKeyloft_Item::uuidFromAttributes(item.encodedAttributes()), item.uuid());
}

void TestItem::parseAttributes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("countUsed");
    QTest::addColumn<QString>("uuid");
    // Rows that change nothing keep the starting values 50 and 60.
    QTest::newRow("well formed") << QStringLiteral("U<<NKL>>3<<NKL>>12") << 3 << 12
                                 << QStringLiteral("U");
    QTest::newRow("non-numeric pieces")
        << QStringLiteral("U<<NKL>>x<<NKL>>") << 0 << 0 << QStringLiteral("U");
    QTest::newRow("blank then digits, digits then letters")
        << QStringLiteral("U<<NKL>> 7<<NKL>>12ab") << 7 << 12 << QStringLiteral("U");
    QTest::newRow("signs") << QStringLiteral("U<<NKL>>-4<<NKL>>+9") << -4 << 9
                           << QStringLiteral("U");
    QTest::newRow("clamped") << QStringLiteral("U<<NKL>>99999999999<<NKL>>-99999999999")
                             << int(INT32_MAX) << int(INT32_MIN) << QStringLiteral("U");
    QTest::newRow("one separator") << QStringLiteral("U<<NKL>>3") << 50 << 60 << QString();
    QTest::newRow("three separators")
        << QStringLiteral("U<<NKL>>3<<NKL>>4<<NKL>>5") << 50 << 60 << QString();
    QTest::newRow("empty") << QString() << 50 << 60 << QString();
    QTest::newRow("adjacent separators")
        << QStringLiteral("U<<NKL>><<NKL>>") << 0 << 0 << QStringLiteral("U");
    QTest::newRow("separators inside angle brackets")
        << QStringLiteral("U<<<NKL>>3<<NKL>>>4") << 3 << 0 << QStringLiteral("U<");
    QTest::newRow("separator at the very end")
        << QStringLiteral("<<NKL>>5<<NKL>>") << 5 << 0 << QString(QLatin1String(""));
    QTest::newRow("cut separator") << QStringLiteral("U<<NKL>>3<<NKL") << 50 << 60 << QString();
}

void TestItem::parseAttributes()
{
    QFETCH(QString, text);
    QFETCH(int, index);
    QFETCH(int, countUsed);
    QFETCH(QString, uuid);
    auto item = NetKeyloft_Item::initWithLabelIndex(QStringLiteral("x"), 50);
    item.setCountUsed(60);
    const QString ownUuid = item.uuid();
    item.parseAttributes(text);
    QCOMPARE(item.index(), index);
    QCOMPARE(item.countUsed(), countUsed);
    QCOMPARE(item.uuid(), ownUuid);
    QCOMPARE(NetKeyloft_Item::uuidFromAttributes(text), uuid.isNull() ? QLatin1String("") : uuid);
}

void TestItem::leadingIntValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << QStringLiteral("42") << 42;
    QTest::newRow("tabs and newline") << QStringLiteral("\t\n 8x") << 8;
    QTest::newRow("sign alone") << QStringLiteral("-") << 0;
    QTest::newRow("double sign") << QStringLiteral("--3") << 0;
    QTest::newRow("letters first") << QStringLiteral("a1") << 0;
    QTest::newRow("max") << QStringLiteral("2147483647") << int(INT32_MAX);
    QTest::newRow("just over max") << QStringLiteral("2147483648") << int(INT32_MAX);
    QTest::newRow("min") << QStringLiteral("-2147483648") << int(INT32_MIN);
    QTest::newRow("far below min") << QStringLiteral("-000099999999999999999999") << int(INT32_MIN);
    QTest::newRow("arabic-indic digit") << QStringLiteral("\u0663") << 0;
}

void TestItem::leadingIntValue()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(::leadingIntValue(text), value);
}

void TestItem::uuidsAreCanonicalAndFresh()
{
    static const QRegularExpression shape(
        QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
    QSet<QString> seen;
    for (int i = 0; i < 1000; ++i) {
        const QString uuid = NetKeyloftStringUtils::uuid();
        QVERIFY2(shape.match(uuid).hasMatch(), qPrintable(uuid));
        seen.insert(uuid);
    }
    QCOMPARE(seen.size(), 1000);
}

void TestItem::stringWithData_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("text");
    QTest::newRow("ascii") << QByteArray("Mail") << true << QStringLiteral("Mail");
    QTest::newRow("empty") << QByteArray() << true << QString();
    QTest::newRow("umlaut and emoji") << QByteArray("M\xc3\xa4il \xf0\x9f\x94\x91") << true
                                      << QStringLiteral("M\u00e4il \U0001F511");
    QTest::newRow("zulu time with NUL") << QByteArray("20100305140709Z\0", 16) << true
                                        << QStringLiteral("20100305140709Z") + QChar(u'\0');
    QTest::newRow("byte order mark kept")
        << QByteArray("\xef\xbb\xbfx") << true << QStringLiteral("\ufeffx");
    QTest::newRow("latin-1 byte") << QByteArray("caf\xe9") << false << QString();
    QTest::newRow("truncated sequence") << QByteArray("ab\xe2\x82") << false << QString();
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << false << QString();
    QTest::newRow("encoded surrogate") << QByteArray("\xed\xa0\x80") << false << QString();
}

void TestItem::stringWithData()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, valid);
    QFETCH(QString, text);
    const QString decoded =
        NetKeyloftStringUtils::stringWithData(bytes.constData(), std::size_t(bytes.size()));
    QCOMPARE(decoded.isNull(), !valid);
    if (valid) {
        QCOMPARE(decoded, text.isNull() ? QLatin1String("") : text);
        QCOMPARE(decoded.size(), text.size());
    }
}

void TestItem::localizedErrorShowsKeyWithoutText()
{
    ScriptedDialogs dialogs;
    NetKeyloftStringUtils::toErrorMessageLocalized(QStringLiteral("NoSuchKeyAnywhere"), dialogs);
    QCOMPARE(dialogs.alertMessages(), QStringList{QStringLiteral("NoSuchKeyAnywhere")});
}

QTEST_MAIN(TestItem)
#include "tst_item.moc"
