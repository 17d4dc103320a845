#include "DisplayServers.h"

#include "platform/DesktopClipboard.h"
#include "platform/QtClipboard.h"

#include <QApplication>
#include <QTest>

#include <cstdio>

// Qt's clipboard on a real X server, checked from another client with xclip.
// The server must exist before the application connects to it, so main() starts
// it; this program opens no window.
class TestX11Clipboard : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void copiedTextReachesOtherClients_data();
    void copiedTextReachesOtherClients();
    void copyCarriesTheSecretHint();
    void desktopClipboardIsQtsOnX11();
    void clearerTakesOnlyItsOwnCopy_data() { addClearerRows(); }
    void clearerTakesOnlyItsOwnCopy();

private:
    static QByteArray xclipOut(const QString& target, bool* ok = nullptr);

    QtClipboard m_clipboard;
};

void TestX11Clipboard::initTestCase()
{
    if (!programsInstalled({QStringLiteral("xclip")})) {
        QSKIP("xclip is not installed");
    }
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
}

QByteArray TestX11Clipboard::xclipOut(const QString& target, bool* ok)
{
    return runClient(QStringLiteral("xclip"),
                     {QStringLiteral("-o"), QStringLiteral("-selection"),
                      QStringLiteral("clipboard"), QStringLiteral("-t"), target},
                     {}, ok);
}

void TestX11Clipboard::copiedTextReachesOtherClients_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("accents and umlauts") << QStringLiteral("pässwörd-é");
    QTest::newRow("cjk and emoji") << QStringLiteral("密码🔑キー");
    QTest::newRow("trailing newline") << QStringLiteral("line one\n");
    QTest::newRow("empty") << QString();
}

void TestX11Clipboard::copiedTextReachesOtherClients()
{
    QFETCH(QString, text);
    m_clipboard.setSecretText(QStringLiteral("something before"));
    m_clipboard.setSecretText(text);
    bool ok = false;
    QCOMPARE(QString::fromUtf8(xclipOut(QStringLiteral("UTF8_STRING"), &ok)), text);
    QVERIFY(ok);
}

void TestX11Clipboard::copyCarriesTheSecretHint()
{
    m_clipboard.setSecretText(QStringLiteral("hinted"));
    const QByteArrayList targets = xclipOut(QStringLiteral("TARGETS")).split('\n');
    QVERIFY2(targets.contains("x-kde-passwordManagerHint"), targets.join(' ').constData());
    QCOMPARE(xclipOut(QStringLiteral("x-kde-passwordManagerHint")), QByteArray("secret"));
}

void TestX11Clipboard::desktopClipboardIsQtsOnX11()
{
    const std::unique_ptr<Clipboard> clipboard = createDesktopClipboard();
    QVERIFY(dynamic_cast<QtClipboard*>(clipboard.get()) != nullptr);
}

void TestX11Clipboard::clearerTakesOnlyItsOwnCopy()
{
    checkClearerRow(
        m_clipboard,
        [](const QString& text) {
            runClient(
                QStringLiteral("xclip"),
                {QStringLiteral("-i"), QStringLiteral("-selection"), QStringLiteral("clipboard")},
                text.toUtf8());
        },
        [] { return QString::fromUtf8(xclipOut(QStringLiteral("UTF8_STRING"))); });
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
    TestX11Clipboard test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_x11clipboard.moc"
