// The update check against a real HTTP server on 127.0.0.1, answered through scripted
// dialogs, with its progress window on the offscreen platform.

#include "LocalHttpServer.h"
#include "ScriptedDialogs.h"

#include "app/NetKeyloft_Updater.h"

#include <QNetworkProxy>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;
using Kind = UpdateCheckOutcome::Kind;
Q_DECLARE_METATYPE(UpdateCheckOutcome::Kind)

namespace {

QByteArray feedOf(const QByteArray& version, const QByteArray& link)
{
    return "<?xml version=\"1.0\"?><rss version=\"2.0\" "
           "xmlns:keyloft=\"urn:keyloft:update-feed:1\"><channel><item>"
           "<title>Keyloft</title><keyloft:version>" +
           version + "</keyloft:version><link>" + link + "</link></item></channel></rss>";
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
    void answers_data();
    void answers();
    void silentServerTimesOut();
    void unreachableServer();
    void oversizedFeed();
    void cancelFromTheProgressWindow();
    void oneCheckAtATime();
    void feedAddressRequired_data();
    void feedAddressRequired();
};

void TestUpdater::initTestCase()
{
    qRegisterMetaType<UpdateCheckOutcome>();
    // The server is on this machine: no proxy of the environment stands in between.
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
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
        << 200 << feedOf("1.2.0", link) << Kind::UpdateAvailable << "Keyloft 1.2.0 is available."
        << "You have version 1.0.0. The new version is at\nhttps://127.0.0.1/keyloft/1.2.0/";
    QTest::newRow("link to another host")
        << 200 << feedOf("1.2.0", "https://downloads.example.org/keyloft/1.2.0/")
        << Kind::UpdateAvailable << "Keyloft 1.2.0 is available."
        << "You have version 1.0.0.";
    QTest::newRow("plain http link") << 200 << feedOf("1.2.0", "http://127.0.0.1/keyloft/1.2.0/")
                                     << Kind::UpdateAvailable << "Keyloft 1.2.0 is available."
                                     << "You have version 1.0.0.";
    QTest::newRow("same version") << 200 << feedOf("1.0", link) << Kind::UpToDate
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
    QCOMPARE(server.lastRequestLine(), QByteArray("GET /appcast.xml HTTP/1.1"));
    QVERIFY(rig.opened.isEmpty());
    QVERIFY(!rig.updater.isChecking());
}

void TestUpdater::silentServerTimesOut()
{
    LocalHttpServer server;
    server.staySilent();
    CheckRig rig(server.url(), 400ms);

    const UpdateCheckOutcome outcome = rig.run();
    QCOMPARE(outcome.kind, Kind::Failed);
    QCOMPARE(outcome.reason,
             QStringLiteral("The update server did not answer within 0.4 seconds."));
    QCOMPARE(rig.dialogs.alerts().size(), std::size_t(1));
    QCOMPARE(server.requestsReceived(), 1);
    QVERIFY(!rig.updater.progressWindow());
}

void TestUpdater::unreachableServer()
{
    QUrl address;
    {
        LocalHttpServer closed;
        address = closed.url();
    }
    CheckRig rig(address);
    const UpdateCheckOutcome outcome = rig.run();
    QCOMPARE(outcome.kind, Kind::Failed);
    QVERIFY2(outcome.reason.startsWith(QStringLiteral("The update server could not be reached.")),
             qPrintable(outcome.reason));
    QCOMPARE(rig.dialogs.alertMessages(),
             QStringList{QStringLiteral("Keyloft could not check for updates.")});
}

void TestUpdater::oversizedFeed()
{
    LocalHttpServer server;
    // A usable feed padded past the limit: it is refused, not read.
    QByteArray body = feedOf("9.0", "https://example.org/");
    body.insert(body.indexOf("<channel>"), QByteArray(4096, ' '));
    server.answer(200, body);
    CheckRig rig(server.url());
    rig.updater.settings().maxFeedBytes = 2048;
    const UpdateCheckOutcome outcome = rig.run();
    QCOMPARE(outcome.kind, Kind::Failed);
    QCOMPARE(outcome.reason, QStringLiteral("The update information is larger than 2 KiB."));
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

void TestUpdater::oneCheckAtATime()
{
    LocalHttpServer server;
    server.staySilent();
    CheckRig rig(server.url(), 600ms);
    QSignalSpy finished(&rig.updater, &NetKeyloft_Updater::checkFinished);
    rig.updater.checkForUpdates(rig.dialogs, rig.sender);
    rig.updater.checkForUpdates(rig.dialogs, rig.sender);
    rig.updater.checkForUpdates(rig.dialogs, rig.sender);
    QVERIFY(finished.wait(5000));
    QTest::qWait(100);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(server.requestsReceived(), 1);
    QCOMPARE(rig.dialogs.alerts().size(), std::size_t(1));
}

void TestUpdater::feedAddressRequired_data()
{
    QTest::addColumn<QUrl>("address");
    QTest::addColumn<QString>("reason");
    QTest::newRow("none") << QUrl()
                          << "This copy of Keyloft was built without an address for update "
                             "information.";
    QTest::newRow("file") << QUrl(QStringLiteral("file:///tmp/appcast.xml"))
                          << "The address of the update information is not a web address.";
}

void TestUpdater::feedAddressRequired()
{
    QFETCH(QUrl, address);
    QFETCH(QString, reason);
    CheckRig rig(address);
    const UpdateCheckOutcome outcome = rig.run();
    QCOMPARE(outcome.kind, Kind::Failed);
    QCOMPARE(outcome.reason, reason);
    QCOMPARE(rig.dialogs.alerts().size(), std::size_t(1));
    QVERIFY(!rig.updater.isChecking());
}

QTEST_MAIN(TestUpdater)
#include "tst_updater.moc"
