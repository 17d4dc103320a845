// Release numbers and the reading of the update feed.

#include "app/UpdateFeed.h"

#include <QTest>

namespace {

// A feed with the given items, each a (version, link) pair written as they come.
QByteArray feed(const QList<QPair<QByteArray, QByteArray>>& items)
{
    QByteArray document = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                          "<rss version=\"2.0\" xmlns:keyloft=\"urn:keyloft:update-feed:1\">"
                          "<channel><title>Keyloft releases</title>";
    for (const auto& [version, link] : items) {
        document += "<item><title>Keyloft " + version + "</title><keyloft:version>" + version +
                    "</keyloft:version><link>" + link + "</link></item>";
    }
    return document + "</channel></rss>";
}

} // namespace

class TestUpdateFeed : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void versionsCompare_data();
    void versionsCompare();
    void versionsRefused_data();
    void versionsRefused();
    void newestRelease_data();
    void newestRelease();
    void unusableFeeds_data();
    void unusableFeeds();
};

void TestUpdateFeed::versionsCompare_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<int>("order");
    QTest::newRow("same") << "1.0.0"
                          << "1.0.0" << 0;
    QTest::newRow("missing parts count as zero") << "1.2"
                                                 << "1.2.0.0" << 0;
    QTest::newRow("numbers, not letters: 10 after 9") << "1.10"
                                                      << "1.9" << 1;
    QTest::newRow("first part decides") << "2"
                                        << "1.99.99" << 1;
    QTest::newRow("last part decides") << "1.0.0"
                                       << "1.0.1" << -1;
    QTest::newRow("four parts") << "0.9.9.9"
                                << "1" << -1;
    QTest::newRow("leading zeros are numbers") << "1.02"
                                               << "1.2" << 0;
    QTest::newRow("white space around") << " 1.2.3\n"
                                        << "1.2.3" << 0;
}

void TestUpdateFeed::versionsCompare()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(int, order);
    const std::optional<AppVersion> a = AppVersion::parse(first);
    const std::optional<AppVersion> b = AppVersion::parse(second);
    QVERIFY(a && b);
    QCOMPARE(a->compare(*b), order);
    QCOMPARE(b->compare(*a), -order);
    QCOMPARE(*a < *b, order < 0);
}

void TestUpdateFeed::versionsRefused_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("trailing dot") << "1.";
    QTest::newRow("leading dot") << ".1";
    QTest::newRow("empty part") << "1..2";
    QTest::newRow("prefix") << "v1.2";
    QTest::newRow("suffix") << "1.2-beta";
    QTest::newRow("five parts") << "1.2.3.4.5";
    QTest::newRow("seven digits") << "1234567";
    QTest::newRow("sign") << "-1";
    QTest::newRow("inner space") << "1.2 3";
    QTest::newRow("other digits") << QStringLiteral("\u0661.\u0662");
}

void TestUpdateFeed::versionsRefused()
{
    QFETCH(QString, text);
    QVERIFY(!AppVersion::parse(text));
}

void TestUpdateFeed::newestRelease_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("link");
    QTest::newRow("one item") << feed({{"1.2.0", "https://example.org/1.2.0"}}) << "1.2.0"
                              << "https://example.org/1.2.0";
    QTest::newRow("newest, not first or last") << feed({{"1.9.5", "https://example.org/a"},
                                                        {"1.10.0", "https://example.org/b"},
                                                        {"1.2", "https://example.org/c"}})
                                               << "1.10.0"
                                               << "https://example.org/b";
    QTest::newRow("item with a bad version passed over")
        << feed({{"9.9-rc1", "https://example.org/rc"}, {"1.1", "http://example.org/1.1"}}) << "1.1"
        << "http://example.org/1.1";
    // Which links count as web addresses is the help window's rule, tested there.
    QTest::newRow("script link passed over")
        << feed({{"9.0", "javascript:alert(1)"}, {"1.1", "https://example.org/1.1"}}) << "1.1"
        << "https://example.org/1.1";
    QTest::newRow("escaped text and white space")
        << feed({{" 2.0 ", "\n  https://example.org/get?a=1&amp;b=2  \n"}}) << "2.0"
        << "https://example.org/get?a=1&b=2";
    QTest::newRow("other elements and namespaces ignored")
        << QByteArray("<rss xmlns:keyloft=\"urn:keyloft:update-feed:1\" "
                      "xmlns:x=\"urn:other\"><channel><x:version>7.0</x:version><item>"
                      "<description><p>notes</p></description><x:version>8.0</x:version>"
                      "<keyloft:version>1.3</keyloft:version>"
                      "<link>https://example.org/1.3</link></item></channel></rss>")
        << "1.3"
        << "https://example.org/1.3";
}

void TestUpdateFeed::newestRelease()
{
    QFETCH(QByteArray, document);
    QFETCH(QString, version);
    QFETCH(QString, link);
    QString error;
    const std::optional<UpdateRelease> newest = UpdateFeed::newestRelease(document, &error);
    QVERIFY2(newest, qPrintable(error));
    QCOMPARE(newest->version.toString(), AppVersion::parse(version)->toString());
    QCOMPARE(newest->link, QUrl(link));
}

void TestUpdateFeed::unusableFeeds_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not XML") << QByteArray("<html><body>Moved</body>");
    QTest::newRow("HTML page") << QByteArray("<html><body>Not a feed</body></html>");
    QTest::newRow("no item") << feed({});
    QTest::newRow("only unusable items")
        << feed({{"latest", "https://example.org/"}, {"2.0", "ftp://example.org/"}});
    QTest::newRow("version outside the feed's namespace")
        << QByteArray("<rss><channel><item><version>2.0</version>"
                      "<link>https://example.org/</link></item></channel></rss>");
    QTest::newRow("cut off after an item")
        << feed({{"2.0", "https://example.org/"}})
               .left(feed({{"2.0", "https://example.org/"}}).size() - 10);
    QTest::newRow("entity declarations")
        << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY a \"aaaaaaaa\">"
                      "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">]>"
                      "<rss xmlns:keyloft=\"urn:keyloft:update-feed:1\"><channel><item>"
                      "<keyloft:version>2.0</keyloft:version><link>https://example.org/&b;</link>"
                      "</item></channel></rss>");
    QTest::newRow("external entity")
        << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY x SYSTEM "
                      "\"file:///etc/passwd\">]><rss><channel><title>&x;</title></channel></rss>");
    QTest::newRow("undeclared entity")
        << QByteArray("<rss><channel><title>&x;</title></channel></rss>");
    QTest::newRow("markup inside the version")
        << QByteArray("<rss xmlns:keyloft=\"urn:keyloft:update-feed:1\"><channel><item>"
                      "<keyloft:version><b>2.0</b></keyloft:version>"
                      "<link>https://example.org/</link></item></channel></rss>");
}

void TestUpdateFeed::unusableFeeds()
{
    QFETCH(QByteArray, document);
    QString error;
    QVERIFY(!UpdateFeed::newestRelease(document, &error));
    QVERIFY(!error.isEmpty());
}

QTEST_GUILESS_MAIN(TestUpdateFeed)
#include "tst_updatefeed.moc"
