#include "DisplayServers.h"

#include "platform/WaylandClipboard.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <memory>

// The Wayland clipboard on a real weston compositor, checked from another client
// with wl-paste. This program opens no window at all, like a tray menu's command,
// so a copy that only a focused client could make would fail here.
class TestWaylandClipboard : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void copiedTextReachesOtherClients_data();
    void copiedTextReachesOtherClients();
    void copyIsOfferedAsPlainText();
    void copiedTextIsOnNoCommandLine();
    void copyWithoutCompositorFails();
    void clearerTakesOnlyItsOwnCopy_data() { addClearerRows(); }
    void clearerTakesOnlyItsOwnCopy();

private:
    static QString pasted(bool* ok = nullptr);

    XvfbServer m_xvfb;
    std::unique_ptr<WestonCompositor> m_weston;
    WaylandClipboard m_clipboard;
};

void TestWaylandClipboard::initTestCase()
{
    if (!programsInstalled({QStringLiteral("weston"), QStringLiteral("wl-copy"),
                            QStringLiteral("wl-paste"), QStringLiteral("Xvfb")})) {
        QSKIP("weston, wl-clipboard or Xvfb is not installed");
    }
    QVERIFY2(m_xvfb.start(), qPrintable(m_xvfb.error()));
    m_weston = std::make_unique<WestonCompositor>();
    QVERIFY2(m_weston->start(m_xvfb.display()), qPrintable(m_weston->error()));
    // The clipboard's tools and wl-paste below find the compositor through these.
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_weston->runtimeDir()));
    qputenv("WAYLAND_DISPLAY", m_weston->socketName().toUtf8());
    qunsetenv("DISPLAY");
    QVERIFY(WaylandClipboard::isAvailable());
}

void TestWaylandClipboard::cleanupTestCase()
{
    m_weston.reset();
}

QString TestWaylandClipboard::pasted(bool* ok)
{
    return QString::fromUtf8(
        runClient(QStringLiteral("wl-paste"), {QStringLiteral("--no-newline")}, {}, ok));
}

void TestWaylandClipboard::copiedTextReachesOtherClients_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("accents and umlauts") << QStringLiteral("pässwörd-é");
    QTest::newRow("cjk and emoji") << QStringLiteral("密码🔑キー");
    QTest::newRow("inner newline and tab") << QStringLiteral("line one\nline\ttwo");
    QTest::newRow("shell metacharacters") << QStringLiteral("$(id) `id` ; | & \"' *");
}

void TestWaylandClipboard::copiedTextReachesOtherClients()
{
    QFETCH(QString, text);
    QVERIFY(m_clipboard.setSecretText(text));
    bool ok = false;
    QCOMPARE(pasted(&ok), text);
    QVERIFY(ok);
}

void TestWaylandClipboard::copyIsOfferedAsPlainText()
{
    QVERIFY(m_clipboard.setSecretText(QStringLiteral("<?xml version=\"1.0\"?>")));
    const QByteArrayList types =
        runClient(QStringLiteral("wl-paste"), {QStringLiteral("--list-types")}).split('\n');
    QVERIFY2(types.contains("text/plain"), types.join(' ').constData());
    QVERIFY(types.contains("text/plain;charset=utf-8"));
}

void TestWaylandClipboard::copiedTextIsOnNoCommandLine()
{
    const QByteArray secret = "unmistakable-secret-7f3a9c";
    QVERIFY(m_clipboard.setSecretText(QString::fromLatin1(secret)));
    QCOMPARE(pasted(), QString::fromLatin1(secret));
    // The wl-copy that serves the text is still running: its command line, like
    // every process's, must not show the text.
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& pid : processes) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (cmdline.open(QIODevice::ReadOnly)) {
            QVERIFY2(!cmdline.readAll().contains(secret), qPrintable(pid));
        }
    }
}

void TestWaylandClipboard::copyWithoutCompositorFails()
{
    const QByteArray socket = qgetenv("WAYLAND_DISPLAY");
    qputenv("WAYLAND_DISPLAY", "no-such-compositor");
    const bool copied = m_clipboard.setSecretText(QStringLiteral("lost"));
    qputenv("WAYLAND_DISPLAY", socket);
    QVERIFY(!copied);
}

void TestWaylandClipboard::clearerTakesOnlyItsOwnCopy()
{
    // After wl-copy --clear there is no selection, which wl-paste reads as no text.
    checkClearerRow(
        m_clipboard,
        [](const QString& text) { runClient(QStringLiteral("wl-copy"), {}, text.toUtf8()); },
        [] { return pasted(); });
}

QTEST_GUILESS_MAIN(TestWaylandClipboard)
#include "tst_waylandclipboard.moc"
