#include "ScopedEnvironment.h"

#include "platform/DesktopClipboard.h"
#include "platform/QtClipboard.h"
#include "platform/WaylandClipboard.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Which clipboard the application gets for each Qt platform.
class TestDesktopClipboard : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void choiceFollowsPlatform_data();
    void choiceFollowsPlatform();
    void waylandWithoutWlClipboardFallsBackToQt();
};

void TestDesktopClipboard::choiceFollowsPlatform_data()
{
    QTest::addColumn<QString>("platform");
    QTest::addColumn<bool>("wayland");
    QTest::newRow("wayland") << QStringLiteral("wayland") << true;
    QTest::newRow("wayland-egl") << QStringLiteral("wayland-egl") << true;
    QTest::newRow("xcb") << QStringLiteral("xcb") << false;
    QTest::newRow("offscreen") << QStringLiteral("offscreen") << false;
    QTest::newRow("no platform") << QString() << false;
}

void TestDesktopClipboard::choiceFollowsPlatform()
{
    QFETCH(QString, platform);
    QFETCH(bool, wayland);
    if (wayland && !WaylandClipboard::isAvailable()) {
        QSKIP("wl-clipboard is not installed");
    }
    const std::unique_ptr<Clipboard> clipboard = createClipboardForPlatform(platform);
    QCOMPARE(dynamic_cast<WaylandClipboard*>(clipboard.get()) != nullptr, wayland);
    QCOMPARE(dynamic_cast<QtClipboard*>(clipboard.get()) != nullptr, !wayland);
}

void TestDesktopClipboard::waylandWithoutWlClipboardFallsBackToQt()
{
    QTemporaryDir emptyFolder;
    std::optional<ScopedEnvironment> path(std::in_place, "PATH",
                                          QFile::encodeName(emptyFolder.path()));
    const std::unique_ptr<Clipboard> clipboard =
        createClipboardForPlatform(QStringLiteral("wayland"));
    path.reset();
    QVERIFY(dynamic_cast<QtClipboard*>(clipboard.get()) != nullptr);
}

QTEST_GUILESS_MAIN(TestDesktopClipboard)
#include "tst_desktopclipboard.moc"
