// The help and about windows on the offscreen platform: made once, shown again as the
// user left them and centred; links in the help pages.

#include "settings/NetKeyloft_AboutWindowController.h"
#include "settings/NetKeyloft_HelpWindowController.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>
#include <QTextCursor>

using LinkAction = NetKeyloft_HelpWindowController::LinkAction;
Q_DECLARE_METATYPE(NetKeyloft_HelpWindowController::LinkAction)

namespace {

// Whether window stands in the middle of its screen. Before a window is first shown its
// frame is not known, so the first centring may be off by the frame's width.
bool isCentred(const QWidget& window)
{
    const QPoint offset =
        window.frameGeometry().center() - window.screen()->availableGeometry().center();
    const QSize frame = window.frameGeometry().size() - window.geometry().size();
    return std::abs(offset.x()) <= frame.width() + 1 && std::abs(offset.y()) <= frame.height() + 1;
}

} // namespace

class TestHelpWindows : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aboutWindowShownTwice();
    void helpWindowKeepsItsPage();
    void linkActions_data();
    void linkActions();
    void followingLinks();
    void linkFromTheKeyboard();
};

void TestHelpWindows::aboutWindowShownTwice()
{
    NetKeyloft_AboutWindowController about;
    // Closing hides the window; it is not deleted.
    const QPointer<QWidget> window = about.window();
    QVERIFY(window && !window->isVisible());

    about.setAppVersion(QStringLiteral("version 1.0 ( 1 )"));
    about.openWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));

    window->close();
    window->move(0, 0);
    about.setAppVersion(QStringLiteral("version 1.2 ( 345 )"));
    about.openWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QCOMPARE(about.window(), window.data());
    QVERIFY(isCentred(*window));
    QCOMPARE(about.version()->text(), QStringLiteral("version 1.2 ( 345 )"));
    // The window is as wide as its longest line needs, not cut off.
    QVERIFY(about.version()->width() >=
            about.version()->fontMetrics().horizontalAdvance(about.version()->text()));
}

void TestHelpWindows::helpWindowKeepsItsPage()
{
    NetKeyloft_HelpWindowController help({});
    const QPointer<QWidget> window = help.window();
    QTextBrowser* view = help.view();
    QCOMPARE(view->source(), NetKeyloft_HelpWindowController::secureKeyloftPage());
    QCOMPARE(window->windowTitle(), QStringLiteral("Securing your computer for Keyloft"));

    // A window smaller than the page, scrolled half-way, with a mark typed into the page:
    // a reload would lose both.
    window->resize(420, 300);
    help.openWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QScrollBar* scroll = view->verticalScrollBar();
    QVERIFY(scroll->maximum() > 0);
    scroll->setValue(scroll->maximum() / 2);
    const int scrolled = scroll->value();
    QTextCursor(view->document()).insertText(QStringLiteral("MARK "));

    window->close();
    window->move(0, 0);
    help.openWindow();
    QCOMPARE(help.window(), window.data());
    QVERIFY(QTest::qWaitForWindowActive(window));
    QVERIFY(isCentred(*window));
    QCOMPARE(view->source(), NetKeyloft_HelpWindowController::secureKeyloftPage());
    QCOMPARE(scroll->value(), scrolled);
    QVERIFY(view->toPlainText().startsWith(QStringLiteral("MARK ")));
}

void TestHelpWindows::linkActions_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<LinkAction>("action");
    QTest::newRow("help page") << "qrc:/help/KeyloftHelp.html" << LinkAction::ShowInWindow;
    QTest::newRow("place in a help page")
        << "qrc:/help/SecureKeyloft.html#locking" << LinkAction::ShowInWindow;
    QTest::newRow("other resource") << "qrc:/key.png" << LinkAction::Ignore;
    QTest::newRow("climbing out of the help")
        << "qrc:/help/../i18n/keyloft_en.qm" << LinkAction::Ignore;
    QTest::newRow("https") << "https://help.gnome.org/users/" << LinkAction::OpenInBrowser;
    QTest::newRow("http") << "http://example.org/page" << LinkAction::OpenInBrowser;
    QTest::newRow("user name before the host")
        << "https://help.gnome.org@evil.example/" << LinkAction::Ignore;
    QTest::newRow("local file") << "file:///etc/passwd" << LinkAction::Ignore;
    QTest::newRow("script") << "javascript:alert(1)" << LinkAction::Ignore;
    QTest::newRow("mail") << "mailto:someone@example.org" << LinkAction::Ignore;
    QTest::newRow("other program") << "ftp://example.org/" << LinkAction::Ignore;
    QTest::newRow("no host") << "https:page.html" << LinkAction::Ignore;
}

void TestHelpWindows::linkActions()
{
    QFETCH(QString, link);
    QFETCH(LinkAction, action);
    QCOMPARE(NetKeyloft_HelpWindowController::actionForLink(QUrl(link)), action);
}

void TestHelpWindows::followingLinks()
{
    QList<QUrl> opened;
    NetKeyloft_HelpWindowController guide(
        [&opened](const QUrl& url) {
            opened << url;
            return true;
        },
        NetKeyloft_HelpWindowController::userGuidePage());
    QTextBrowser* view = guide.view();
    QCOMPARE(guide.window()->windowTitle(), QStringLiteral("Keyloft Help"));
    QVERIFY(view->toPlainText().contains(QStringLiteral("Copy password")));

    // A web link goes to the browser; the page stays.
    Q_EMIT view->anchorClicked(QUrl(QStringLiteral("https://help.gnome.org/users/")));
    QCOMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("https://help.gnome.org/users/"))});
    QCOMPARE(view->source(), NetKeyloft_HelpWindowController::userGuidePage());

    // A link to another help page, relative to this one, is followed in the window.
    Q_EMIT view->anchorClicked(QUrl(QStringLiteral("SecureKeyloft.html")));
    QCOMPARE(view->source(), NetKeyloft_HelpWindowController::secureKeyloftPage());
    QCOMPARE(guide.window()->windowTitle(), QStringLiteral("Securing your computer for Keyloft"));
    QVERIFY(view->isBackwardAvailable());
    QCOMPARE(opened.size(), 1);
}

void TestHelpWindows::linkFromTheKeyboard()
{
    QList<QUrl> opened;
    NetKeyloft_HelpWindowController help([&opened](const QUrl& url) {
        opened << url;
        return true;
    });
    help.window()->resize(420, 300);
    help.openWindow();
    QVERIFY(QTest::qWaitForWindowActive(help.window()));
    QTextBrowser* view = help.view();
    view->setFocus();
    QTRY_VERIFY(view->hasFocus());
    // The first link of the page leads to its part on automatic login, further down.
    QTest::keyClick(view, Qt::Key_Tab);
    QTest::keyClick(view, Qt::Key_Return);
    QVERIFY(opened.isEmpty());
    QCOMPARE(view->source().fragment(), QStringLiteral("autologin"));
    QVERIFY(view->verticalScrollBar()->value() > 0);
}

QTEST_MAIN(TestHelpWindows)
#include "tst_helpwindows.moc"
