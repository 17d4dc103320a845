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
    void encodedAttributes();
    void parseAttributes_data();
    void parseAttributes();
    void uuidsAreCanonicalAndFresh();
    void stringWithData_data();
    void stringWithData();
    void localizedErrorShowsKeyWithoutText();
};

void TestItem::placeholdersReplaceEmptyTexts()
{
    auto item = NetKeyloft_Item::initWithLabelUserNamePasswordCommentsIndex(
        QStringLiteral("Mail"), QString(), QString(), QLatin1String(""), 4);
    QCOMPARE(item.userName(), QStringLiteral("User account not entered yet."));
    QCOMPARE(item.password(), QStringLiteral("Password not entered yet."));
    QCOMPARE(item.comments(), QStringLiteral("Notes:"));
    QVERIFY(item.hasDefaultUserName() && item.hasDefaultPassword() && item.hasDefaultComments());
    // The comparison is literal: another case is not the placeholder.
    item.setComments(QStringLiteral("notes:"));
    QVERIFY(!item.hasDefaultComments());
}

void TestItem::encodedAttributes()
{
    auto item = NetKeyloft_Item::initWithLabelIndex(QStringLiteral("x"), INT32_MIN);
    item.setCountUsed(INT32_MAX);
    QCOMPARE(item.encodedAttributes(),
             item.uuid() + QStringLiteral("<<NKL>>-2147483648<<NKL>>2147483647"));
    // Reading the text back gives the same numbers.
    auto copy = NetKeyloft_Item::initWithLabelIndex(QStringLiteral("y"), 0);
    copy.parseAttributes(item.encodedAttributes());
    QCOMPARE(copy.index(), INT32_MIN);
    QCOMPARE(copy.countUsed(), INT32_MAX);
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
    QTest::newRow("white space before, letters after")
        << QStringLiteral("U<<NKL>>\t\n 7<<NKL>>12ab") << 7 << 12 << QStringLiteral("U");
    QTest::newRow("lone and double sign")
        << QStringLiteral("U<<NKL>>-<<NKL>>--3") << 0 << 0 << QStringLiteral("U");
    QTest::newRow("limits") << QStringLiteral("U<<NKL>>-2147483648<<NKL>>2147483648")
                            << int(INT32_MIN) << int(INT32_MAX) << QStringLiteral("U");
    QTest::newRow("far below the limit, foreign digit")
        << QStringLiteral("U<<NKL>>-000099999999999999999999<<NKL>>+\u0663") << int(INT32_MIN) << 0
        << QStringLiteral("U");
    QTest::newRow("one separator") << QStringLiteral("U<<NKL>>3") << 50 << 60 << QString();
    QTest::newRow("three separators")
        << QStringLiteral("U<<NKL>>3<<NKL>>4<<NKL>>5") << 50 << 60 << QString();
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

// A null text stands for bytes that are not UTF-8.
void TestItem::stringWithData_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QByteArray() << QString(QLatin1String(""));
    QTest::newRow("umlaut and emoji")
        << QByteArray("M\xc3\xa4il \xf0\x9f\x94\x91") << QStringLiteral("M\u00e4il \U0001F511");
    QTest::newRow("zulu time with NUL")
        << QByteArray("20100305140709Z\0", 16) << QStringLiteral("20100305140709Z") + QChar(u'\0');
    QTest::newRow("byte order mark kept")
        << QByteArray("\xef\xbb\xbfx") << QStringLiteral("\ufeffx");
    QTest::newRow("latin-1 byte") << QByteArray("caf\xe9") << QString();
    QTest::newRow("truncated sequence") << QByteArray("ab\xe2\x82") << QString();
}

void TestItem::stringWithData()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    const QString decoded =
        NetKeyloftStringUtils::stringWithData(bytes.constData(), std::size_t(bytes.size()));
    QCOMPARE(decoded.isNull(), text.isNull());
    QCOMPARE(decoded, text);
}

void TestItem::localizedErrorShowsKeyWithoutText()
{
    ScriptedDialogs dialogs;
    NetKeyloftStringUtils::toErrorMessageLocalized(QStringLiteral("NoSuchKeyAnywhere"), dialogs);
    QCOMPARE(dialogs.alertMessages(), QStringList{QStringLiteral("NoSuchKeyAnywhere")});
}

QTEST_MAIN(TestItem)
#include "tst_item.moc"
