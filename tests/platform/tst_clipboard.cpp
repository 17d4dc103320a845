#include "DisplayServers.h"

#include "ManualClock.h"
#include "platform/ClipboardClearer.h"
#include "platform/DesktopClipboard.h"
#include "platform/QtClipboard.h"
#include "platform/WaylandClipboard.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTest>

#include <cstdio>

// The desktop's clipboards on a private X server, each checked from another client: Qt's
// clipboard with xclip, and the Wayland clipboard with wl-paste on a weston compositor
// shown on that server. The server must exist before the application connects to it, so
// main() starts it. This program opens no window at all, like a tray menu's command, so
// a copy that only a focused client could make would fail here.
class TestClipboards : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void copiedTextReachesOtherClients_data();
    void copiedTextReachesOtherClients();
    void x11CopyIsQtsWithTheSecretHint();
    void waylandCopyIsPlainTextOnNoCommandLine();
    void clearerTakesOnlyItsOwnCopy_data();
    void clearerTakesOnlyItsOwnCopy();

private:
    // A clipboard and the commands by which another client copies to it and pastes from it.
    struct Desktop {
        Clipboard& clipboard;
        QString copy;
        QString paste;
    };
    Desktop desktop(bool wayland);

    WestonCompositor m_weston;
    QtClipboard m_x11;
    WaylandClipboard m_wayland;
};

void TestClipboards::initTestCase()
{
    if (!programsInstalled({QStringLiteral("xclip"), QStringLiteral("weston"),
                            QStringLiteral("wl-copy"), QStringLiteral("wl-paste")})) {
        QSKIP("xclip, weston or wl-clipboard is not installed");
    }
    QVERIFY2(m_weston.start(qgetenv("DISPLAY")), qPrintable(m_weston.error()));
    // The Wayland clipboard's tools and wl-paste find the compositor through these.
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_weston.runtimeDir()));
    qputenv("WAYLAND_DISPLAY", m_weston.socketName().toUtf8());
}

TestClipboards::Desktop TestClipboards::desktop(bool wayland)
{
    if (wayland) {
        return {m_wayland, QStringLiteral("wl-copy"), QStringLiteral("wl-paste --no-newline")};
    }
    return {m_x11, QStringLiteral("xclip -i -selection clipboard"),
            QStringLiteral("xclip -o -selection clipboard -t UTF8_STRING")};
}

void TestClipboards::copiedTextReachesOtherClients_data()
{
    QTest::addColumn<bool>("wayland");
    QTest::addColumn<QString>("text");
    for (const bool wayland : {false, true}) {
        const char* name = wayland ? "Wayland" : "X11";
        QTest::addRow("%s: accents and umlauts", name) << wayland << QStringLiteral("pässwörd-é");
        QTest::addRow("%s: cjk and emoji", name) << wayland << QStringLiteral("密码🔑キー");
        QTest::addRow("%s: newlines and tab", name)
            << wayland << QStringLiteral("one\ntwo\tthree\n");
        QTest::addRow("%s: shell metacharacters", name)
            << wayland << QStringLiteral("$(id) `id` ; | & \"' *");
    }
}

void TestClipboards::copiedTextReachesOtherClients()
{
    QFETCH(bool, wayland);
    QFETCH(QString, text);
    const Desktop desktop = this->desktop(wayland);
    QVERIFY(desktop.clipboard.setSecretText(text));
    bool ok = false;
    QCOMPARE(QString::fromUtf8(runClient(desktop.paste, {}, &ok)), text);
    QVERIFY(ok);
}

void TestClipboards::x11CopyIsQtsWithTheSecretHint()
{
    QVERIFY(dynamic_cast<QtClipboard*>(createDesktopClipboard().get()) != nullptr);
    QVERIFY(m_x11.setSecretText(QStringLiteral("hinted")));
    QCOMPARE(
        runClient(QStringLiteral("xclip -o -selection clipboard -t x-kde-passwordManagerHint")),
        QByteArray("secret"));
}

void TestClipboards::waylandCopyIsPlainTextOnNoCommandLine()
{
    // Text that wl-copy would take for XML if it guessed the type.
    const QByteArray secret = "<?xml version=\"1.0\"?> unmistakable-secret-7f3a9c";
    QVERIFY(m_wayland.setSecretText(QString::fromLatin1(secret)));
    const QByteArrayList types = runClient(QStringLiteral("wl-paste --list-types")).split('\n');
    QVERIFY2(types.contains("text/plain;charset=utf-8") && !types.contains("application/xml"),
             types.join(' ').constData());
    // The wl-copy that serves the text is still running: its command line, like
    // every process's, must not show the text.
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& pid : processes) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (cmdline.open(QIODevice::ReadOnly)) {
            QVERIFY2(!cmdline.readAll().contains("unmistakable-secret"), qPrintable(pid));
        }
    }
    // Without a compositor the copy fails, and says so.
    const QByteArray socket = qgetenv("WAYLAND_DISPLAY");
    qputenv("WAYLAND_DISPLAY", "no-such-compositor");
    const bool copied = m_wayland.setSecretText(QStringLiteral("lost"));
    qputenv("WAYLAND_DISPLAY", socket);
    QVERIFY(!copied);
}

// A secret copied through a real clipboard is taken off it once the test's clock reaches
// the delay, unless there is none or another client has copied something of its own
// since (which the clipboard must read back). The clock's boundaries are the menu's test.
void TestClipboards::clearerTakesOnlyItsOwnCopy_data()
{
    QTest::addColumn<bool>("wayland");
    QTest::addColumn<int>("delaySeconds"); // -1: never
    QTest::addColumn<bool>("copiedElsewhere");
    QTest::addColumn<bool>("cleared");
    for (const bool wayland : {false, true}) {
        const char* name = wayland ? "Wayland" : "X11";
        QTest::addRow("%s: deadline reached", name) << wayland << 30 << false << true;
        QTest::addRow("%s: never", name) << wayland << -1 << false << false;
        QTest::addRow("%s: another client copied since", name) << wayland << 30 << true << false;
    }
}

void TestClipboards::clearerTakesOnlyItsOwnCopy()
{
    QFETCH(bool, wayland);
    QFETCH(int, delaySeconds);
    QFETCH(bool, copiedElsewhere);
    QFETCH(bool, cleared);
    const Desktop desktop = this->desktop(wayland);
    ManualClock clock;
    ClipboardClearer clearer(desktop.clipboard, clock);
    QString expected = QStringLiteral("clear me 🔑");
    QVERIFY(desktop.clipboard.setSecretText(expected));
    clearer.copied(expected, delaySeconds < 0 ? std::nullopt
                                              : std::optional(std::chrono::seconds(delaySeconds)));
    if (copiedElsewhere) {
        expected = QStringLiteral("someone else's");
        runClient(desktop.copy, expected.toUtf8());
        QTRY_COMPARE(desktop.clipboard.text(), expected);
    }
    clock.advance(30000);
    clearer.checkDeadline();
    // An emptied Wayland clipboard has nothing to paste, which reads as no text.
    QCOMPARE(QString::fromUtf8(runClient(desktop.paste)), cleared ? QString() : expected);
}

int main(int argc, char** argv)
{
    XvfbServer xvfb;
    if (!xvfb.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(xvfb.error()));
        return 1;
    }
    qputenv("DISPLAY", xvfb.display());
    qputenv("QT_QPA_PLATFORM", "xcb");
    qunsetenv("WAYLAND_DISPLAY");
    QApplication app(argc, argv);
    TestClipboards test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_clipboard.moc"
