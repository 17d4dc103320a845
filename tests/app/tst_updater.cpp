// Release numbers, the reading of the update feed, and the update check against a real
// HTTP server on 127.0.0.1, answered through scripted dialogs, with its progress window on
// the offscreen platform.

#include "LocalHttpServer.h"
#include "ScriptedDialogs.h"

#include "app/NetKeyloft_Updater.h"
#include "app/UpdateFeed.h"

#include <QNetworkProxy>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;
using Kind = UpdateCheckOutcome::Kind;
Q_DECLARE_METATYPE(UpdateCheckOutcome::Kind)

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

// An updater over the server's feed whose links go into opened.
struct CheckRig {
    explicit CheckRig(const QUrl& feedUrl, std::chrono::milliseconds timeout = 5s)
        : updater({feedUrl, QStringLiteral("1.0.0"), timeout, 1024 * 1024, [this](const QUrl& url) {
                       opened << url;
                       return true;
                   }})
    {}

    // Runs one check to its end and returns what it found.
    UpdateCheckOutcome run()
    {
        QSignalSpy finished(&updater, &NetKeyloft_Updater::checkFinished);
        updater.checkForUpdates(dialogs, sender);
        if (finished.isEmpty() && !finished.wait(20000)) {
            return {Kind::Failed, {}, {}, QStringLiteral("the check never finished")};
        }
        return finished.first().first().value<UpdateCheckOutcome>();
    }

    ScriptedDialogs dialogs;
    QObject sender;
    QList<QUrl> opened;
    NetKeyloft_Updater updater;
};

} // namespace

class TestUpdater : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void versionsCompare_data();
    void versionsCompare();
    void newestRelease_data();
    void newestRelease();
    void unusableFeeds_data();
    void unusableFeeds();
    void answers_data();
    void answers();
    void silentServerTimesOutOnce();
    void cancelFromTheProgressWindow();
    void noAnswer_data();
    void noAnswer();
};

void TestUpdater::initTestCase()
{
    qRegisterMetaType<UpdateCheckOutcome>();
    // The server is on this machine: no proxy of the environment stands in between.
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
}

void TestUpdater::versionsCompare_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<int>("order");
    QTest::newRow("missing parts count as zero") << "1.2"
                                                 << "1.2.0.0" << 0;
    QTest::newRow("first part decides") << "2"
                                        << "1.99.99" << 1;
    QTest::newRow("fourth part decides") << "1.0.0.1"
                                         << "1" << 1;
    QTest::newRow("leading zeros are numbers") << "1.02"
                                               << "1.2" << 0;
}

void TestUpdater::versionsCompare()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(int, order);
    const std::optional<AppVersion> a = AppVersion::parse(first);
    const std::optional<AppVersion> b = AppVersion::parse(second);
    QVERIFY(a && b);
    QCOMPARE(a->compare(*b), order);
    QCOMPARE(b->compare(*a), -order);
}

void TestUpdater::newestRelease_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("link");
    QTest::newRow("newest, not first or last") << feed({{"1.9.5", "https://example.org/a"},
                                                        {"1.10.0", "https://example.org/b"},
                                                        {"1.2", "https://example.org/c"}})
                                               << "1.10.0"
                                               << "https://example.org/b";
    // Which links count as web addresses is the help window's rule, tested there.
    QTest::newRow("items with a bad version or link passed over")
        << feed({{"9.9-rc1", "https://example.org/rc"},
                 {"9.0", "javascript:alert(1)"},
                 {"1.1", "http://example.org/1.1"}})
        << "1.1"
        << "http://example.org/1.1";
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

void TestUpdater::newestRelease()
{
    QFETCH(QByteArray, document);
    QFETCH(QString, version);
    QFETCH(QString, link);
    QString error;
    const std::optional<UpdateRelease> newest = UpdateFeed::newestRelease(document, &error);
    QVERIFY2(newest, qPrintable(error));
    QCOMPARE(newest->version.toString(), version);
    QCOMPARE(newest->link, QUrl(link));
}

void TestUpdater::unusableFeeds_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("root other than rss")
        << feed({{"2.0", "https://example.org/"}}).replace("rss", "feed");
    QTest::newRow("no item") << feed({});
    QTest::newRow("link not to the web") << feed({{"2.0", "ftp://example.org/"}});
    // Release numbers: one to four parts of one to six digits.
    for (const char* version : {"", "latest", "1.", ".1", "1..2", "v1.2", "1.2-beta", "1.2.3.4.5",
                                "1234567", "-1", "1.2 3", "\u0661.\u0662"}) {
        QTest::addRow("version \"%s\"", version) << feed({{version, "https://example.org/"}});
    }
    QTest::newRow("version outside the feed's namespace")
        << QByteArray("<rss><channel><item><version>2.0</version>"
                      "<link>https://example.org/</link></item></channel></rss>");
    QTest::newRow("cut off after an item") << feed({{"2.0", "https://example.org/"}}).chopped(10);
    QTest::newRow("entity declarations")
        << QByteArray("<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY a \"aaaaaaaa\">"
                      "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;\">]>"
                      "<rss xmlns:keyloft=\"urn:keyloft:update-feed:1\"><channel><item>"
                      "<keyloft:version>2.0</keyloft:version><link>https://example.org/&b;</link>"
                      "</item></channel></rss>");
    QTest::newRow("markup inside the version")
        << QByteArray("<rss xmlns:keyloft=\"urn:keyloft:update-feed:1\"><channel><item>"
                      "<keyloft:version><b>2.0</b></keyloft:version>"
                      "<link>https://example.org/</link></item></channel></rss>");
}

void TestUpdater::unusableFeeds()
{
    QFETCH(QByteArray, document);
    QString error;
    QVERIFY(!UpdateFeed::newestRelease(document, &error));
    QVERIFY(!error.isEmpty());
}

void TestUpdater::answers_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("informative");
    // Links are offered only as https addresses on the feed's host.
    const QByteArray link = "https://127.0.0.1/keyloft/1.2.0/";
    QTest::newRow("newer version")
        << 200 << feed({{"1.2.0", link}}) << Kind::UpdateAvailable << "Keyloft 1.2.0 is available."
        << "You have version 1.0.0. The new version is at\nhttps://127.0.0.1/keyloft/1.2.0/";
    QTest::newRow("link to another host")
        << 200 << feed({{"1.2.0", "https://downloads.example.org/keyloft/1.2.0/"}})
        << Kind::UpdateAvailable << "Keyloft 1.2.0 is available."
        << "You have version 1.0.0.";
    QTest::newRow("plain http link") << 200 << feed({{"1.2.0", "http://127.0.0.1/keyloft/1.2.0/"}})
                                     << Kind::UpdateAvailable << "Keyloft 1.2.0 is available."
                                     << "You have version 1.0.0.";
    QTest::newRow("same version") << 200 << feed({{"1.0", link}}) << Kind::UpToDate
                                  << "Keyloft is up to date."
                                  << "You have version 1.0.0; the newest version available "
                                     "is 1.0.";
    // The parser's messages quote the feed; the alert says the same for any broken feed.
    QTest::newRow("undeclared prefix")
        << 200 << QByteArray("<rss><channel><evil:item>Call 555-0100</evil:item></channel></rss>")
        << Kind::Failed << "Keyloft could not check for updates."
        << "The update information is not valid.";
    QTest::newRow("not found") << 404 << QByteArray("<b>gone</b>") << Kind::Failed
                               << "Keyloft could not check for updates."
                               << "The update server answered with HTTP status 404.";
    QTest::newRow("success without content")
        << 204 << QByteArray() << Kind::Failed << "Keyloft could not check for updates."
        << "The update server answered with HTTP status 204.";
    // A usable feed padded past the limit: it is refused, not read.
    QTest::newRow("oversized") << 200 << feed({{"9.0", link}}) + QByteArray(1024 * 1024, '\n')
                               << Kind::Failed << "Keyloft could not check for updates."
                               << "The update information is larger than 1024 KiB.";
}

void TestUpdater::answers()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(Kind, kind);
    QFETCH(QString, message);
    QFETCH(QString, informative);
    LocalHttpServer server;
    server.answer(status, body);
    CheckRig rig(server.url());
    rig.dialogs.queueAlertAnswer(1);

    const UpdateCheckOutcome outcome = rig.run();
    QCOMPARE(outcome.kind, kind);
    QCOMPARE(rig.dialogs.alertMessages(), QStringList{message});
    const Alert& alert = rig.dialogs.alerts().front();
    QCOMPARE(alert.informativeText, informative);
    QCOMPARE(alert.buttons.contains(QStringLiteral("Download")),
             informative.contains(QStringLiteral("https:")));
    QCOMPARE(alert.style,
             kind == Kind::Failed ? Alert::Style::Warning : Alert::Style::Informational);
    QCOMPARE(server.requestsReceived(), 1);
    QVERIFY(rig.opened.isEmpty());
    QVERIFY(!rig.updater.isChecking());
}

void TestUpdater::silentServerTimesOutOnce()
{
    LocalHttpServer server;
    server.staySilent();
    CheckRig rig(server.url(), 400ms);
    // Asking again while the check runs sends no second request.
    rig.updater.checkForUpdates(rig.dialogs, rig.sender);
    rig.updater.checkForUpdates(rig.dialogs, rig.sender);

    const UpdateCheckOutcome outcome = rig.run();
    QCOMPARE(outcome.kind, Kind::Failed);
    QCOMPARE(outcome.reason,
             QStringLiteral("The update server did not answer within 0.4 seconds."));
    QCOMPARE(rig.dialogs.alerts().size(), std::size_t(1));
    QCOMPARE(server.requestsReceived(), 1);
}

void TestUpdater::cancelFromTheProgressWindow()
{
    LocalHttpServer server;
    server.staySilent();
    CheckRig rig(server.url());
    QSignalSpy finished(&rig.updater, &NetKeyloft_Updater::checkFinished);
    rig.updater.checkForUpdates(rig.dialogs, rig.sender);
    QWidget* progress = rig.updater.progressWindow();
    QVERIFY(progress && progress->isVisible());
    QVERIFY(progress->windowFlags() & Qt::WindowStaysOnTopHint);
    QTRY_COMPARE(server.requestsReceived(), 1);

    auto* cancel = progress->findChild<QPushButton*>();
    QVERIFY(cancel);
    QTest::mouseClick(cancel, Qt::LeftButton);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().value<UpdateCheckOutcome>().kind, Kind::Cancelled);
    QVERIFY(!progress->isVisible());
    QVERIFY(!rig.updater.isChecking());
    QVERIFY(rig.dialogs.alerts().empty());

    // Closing the progress window also stops the check.
    rig.updater.checkForUpdates(rig.dialogs, rig.sender);
    QVERIFY(rig.updater.isChecking());
    rig.updater.progressWindow()->close();
    QCOMPARE(finished.size(), 2);
    QVERIFY(!rig.updater.isChecking());
    QVERIFY(rig.dialogs.alerts().empty());
}

void TestUpdater::noAnswer_data()
{
    QTest::addColumn<QString>("address"); // "stopped": where a test server listened
    QTest::addColumn<QString>("reason");
    QTest::newRow("none") << QString()
                          << "This copy of Keyloft was built without an address for update "
                             "information.";
    QTest::newRow("file") << "file:///tmp/appcast.xml"
                          << "The address of the update information is not a web address.";
    QTest::newRow("server stopped") << "stopped"
                                    << "The update server could not be reached. Check that this "
                                       "computer is connected to the network.";
}

void TestUpdater::noAnswer()
{
    QFETCH(QString, address);
    QFETCH(QString, reason);
    LocalHttpServer server;
    const QUrl stopped = server.url();
    server.close();
    CheckRig rig(address == QStringLiteral("stopped") ? stopped : QUrl(address));
    const UpdateCheckOutcome outcome = rig.run();
    QCOMPARE(outcome.kind, Kind::Failed);
    QCOMPARE(outcome.reason, reason);
    QCOMPARE(rig.dialogs.alertMessages(),
             QStringList{QStringLiteral("Keyloft could not check for updates.")});
}

QTEST_MAIN(TestUpdater)
#include "tst_updater.moc"
