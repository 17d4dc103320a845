// The tray menu's help, about and update commands, chosen from the real menu of a
// launched application: the windows they open, the update check they start, and the
// edit window they save and close first (or, for the about window, leave open).

#include "AppFixture.h"
#include "LocalHttpServer.h"

#include "app/NetKeyloft_Updater.h"
#include "editor/NetKeyloft_EditWindowController.h"
#include "settings/NetKeyloft_AboutWindowController.h"
#include "settings/NetKeyloft_HelpWindowController.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QNetworkProxy>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>

namespace {

// The visible top-level windows whose text browser shows page.
QList<QWidget*> windowsShowing(const QUrl& page)
{
    QList<QWidget*> result;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        const auto* view = window->findChild<QTextBrowser*>(QStringLiteral("view"));
        if (view && view->source() == page && window->isVisible()) {
            result << window;
        }
    }
    return result;
}

} // namespace

class TestHelpCommands : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void checkForUpdatesAnswersInAnAlert();
    void editWindowSavedAndClosedOrLeftOpen_data();
    void editWindowSavedAndClosedOrLeftOpen();

private:
    std::unique_ptr<AppFixture> m_app;
};

void TestHelpCommands::initTestCase()
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
}

void TestHelpCommands::init()
{
    m_app = std::make_unique<AppFixture>();
    m_app->createKeychain({QStringLiteral("Bank")});
    QVERIFY(m_app->launch());
}

void TestHelpCommands::cleanup()
{
    m_app.reset();
    QCOMPARE(windowsShowing(NetKeyloft_HelpWindowController::userGuidePage()).size(), 0);
}

void TestHelpCommands::checkForUpdatesAnswersInAnAlert()
{
    LocalHttpServer server;
    server.answer(200, "<rss xmlns:keyloft=\"urn:keyloft:update-feed:1\"><channel><item>"
                       "<keyloft:version>999.0</keyloft:version>"
                       "<link>https://127.0.0.1/keyloft/</link>"
                       "</item></channel></rss>");
    NetKeyloft_Updater& updater = m_app->updater();
    updater.settings().feedUrl = server.url();
    QSignalSpy finished(&updater, &NetKeyloft_Updater::checkFinished);

    actionTitled(m_app->controller().menu(), QStringLiteral("Check for updates"))->trigger();
    QVERIFY(finished.wait(10000));
    QCOMPARE(m_app->dialogs().alertMessages(),
             QStringList{QStringLiteral("Keyloft 999.0 is available.")});
    // The first button, "Download", answered the alert.
    QCOMPARE(m_app->openedUrls, QList<QUrl>{QUrl(QStringLiteral("https://127.0.0.1/keyloft/"))});

    // A check still running when the application's controller goes is dropped unanswered.
    server.staySilent();
    m_app->dialogs().clearRecord();
    actionTitled(m_app->controller().menu(), QStringLiteral("Check for updates"))->trigger();
    QVERIFY(updater.isChecking());
    QTRY_COMPARE(server.requestsReceived(), 2);
    QVERIFY(m_app->launch()); // a new controller; the updater outlives it, as in the application
    QVERIFY(!updater.isChecking());
    QCOMPARE(finished.size(), 2);
}

void TestHelpCommands::editWindowSavedAndClosedOrLeftOpen_data()
{
    // guide: the user guide shows, in a window of its own, not the security advice's.
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<bool>("guide");
    QTest::newRow("Help") << "Help" << true << true;
    QTest::newRow("Check for updates") << "Check for updates" << true << false;
    QTest::newRow("About Keyloft") << "About Keyloft" << false << false;
    QTest::newRow("security help") << "" << true << false;
}

void TestHelpCommands::editWindowSavedAndClosedOrLeftOpen()
{
    QFETCH(QString, command);
    QFETCH(bool, closes);
    QFETCH(bool, guide);
    // No update server: the check fails at once, in an alert.
    m_app->controller().openEditWindow();
    QWidget* editWindow = m_app->controller().editWindowController()->window();
    QVERIFY(editWindow->isVisible());

    if (command.isEmpty()) {
        m_app->controller().openDisableAutoLoginForThisMacHelp();
    } else {
        actionTitled(m_app->controller().menu(), command)->trigger();
    }
    QCOMPARE(editWindow->isVisible(), !closes);
    QCOMPARE(windowsShowing(NetKeyloft_HelpWindowController::userGuidePage()).size(), int(guide));
    QCOMPARE(!m_app->controller().helpWindowController(), command != QString());
    QCOMPARE(m_app->controller().showEditWindowMenuItem()->text(),
             closes ? QStringLiteral("Show edit window") : QStringLiteral("Close edit window"));
}

QTEST_MAIN(TestHelpCommands)
#include "tst_helpcommands.moc"
