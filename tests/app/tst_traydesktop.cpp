// The real program on an X display with a window manager, whose tray comes up only
// after the program has started, as panels often do at login: an XEmbed tray
// (trayer) or a StatusNotifierItem host (a watcher on the test's session bus).

#include "DisplayServers.h"
#include "ScopedEnvironment.h"
#include "StatusNotifierWatcher.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

namespace {

constexpr int startTimeoutMs = 20000;

QDBusMessage callItem(const QString& service, const QString& path, const QString& interface,
                      const QString& method, const QVariantList& arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call);
}

QVariant itemProperty(const QString& service, const QString& name)
{
    const QDBusMessage reply =
        callItem(service, QStringLiteral("/StatusNotifierItem"),
                 QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                 {QStringLiteral("org.kde.StatusNotifierItem"), name});
    return reply.arguments().isEmpty()
               ? QVariant()
               : qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant();
}

// Whether the first picture of an item's IconPixmap (ARGB32 pixels in network byte
// order) is the key icon at that size.
bool showsTheKey(const QVariant& pixmaps)
{
    const auto list = qvariant_cast<QDBusArgument>(pixmaps);
    int width = 0;
    int height = 0;
    QByteArray bytes;
    list.beginArray();
    list.beginStructure();
    list >> width >> height >> bytes;
    // Each level read is closed, or its reader stays allocated.
    list.endStructure();
    list.endArray();
    const QImage key = QIcon(QStringLiteral(":/key.png"))
                           .pixmap(width, height)
                           .toImage()
                           .convertToFormat(QImage::Format_ARGB32);
    if (width <= 0 || key.size() != QSize(width, height) || bytes.size() != key.sizeInBytes()) {
        return false;
    }
    QByteArray expected(bytes.size(), '\0');
    qToBigEndian<quint32>(key.constBits(), qsizetype(width) * height, expected.data());
    return bytes == expected;
}

// The labels of the top level of an item's menu, read from its layout as gdbus prints it
// (separators have none).
QStringList menuLabels(const QString& service, const QString& menuPath)
{
    const QString layout = QString::fromUtf8(
        runClient(QStringLiteral("gdbus call --session --dest %1 --object-path %2 --method "
                                 "com.canonical.dbusmenu.GetLayout 0 1 []")
                      .arg(service, menuPath)));
    QStringList labels;
    static const QRegularExpression label(QStringLiteral("'label': <'([^']*)'>"));
    for (const QRegularExpressionMatch& match : label.globalMatch(layout)) {
        labels << match.captured(1);
    }
    return labels;
}

} // namespace

class TestTrayDesktop : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void trayAppearingLaterGetsTheIcon_data();
    void trayAppearingLaterGetsTheIcon();
};

void TestTrayDesktop::trayAppearingLaterGetsTheIcon_data()
{
    QTest::addColumn<bool>("statusNotifier");
    QTest::newRow("XEmbed tray") << false;
    QTest::newRow("StatusNotifierItem host") << true;
}

void TestTrayDesktop::trayAppearingLaterGetsTheIcon()
{
    QFETCH(bool, statusNotifier);
    QVERIFY(programsInstalled({QStringLiteral("Xvfb"), QStringLiteral("openbox"),
                               QStringLiteral("trayer"), QStringLiteral("xwininfo")}));
    XvfbServer display;
    QVERIFY2(display.start(), qPrintable(display.error()));
    // Every program started below runs on that display.
    const ScopedEnvironment onDisplay("DISPLAY", display.display());
    const ScopedEnvironment onX("QT_QPA_PLATFORM", "xcb");
    QProcess windowManager;
    windowManager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});

    // Started at login with its own settings; its keychain is the session's keyring.
    QTemporaryDir config;
    const ScopedEnvironment ownSettings("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QProcess keyloft;
    keyloft.start(QStringLiteral(KEYLOFT_PROGRAM), {QStringLiteral("--login")});
    QByteArray log;
    QTRY_VERIFY_WITH_TIMEOUT((log += keyloft.readAllStandardError()).contains("No system tray yet"),
                             startTimeoutMs);

    StatusNotifierWatcher watcher;
    QProcess tray;
    if (statusNotifier) {
        QVERIFY(watcher.start());
        QTRY_VERIFY_WITH_TIMEOUT(!watcher.registeredItems().isEmpty(), startTimeoutMs);
        const QString item = watcher.registeredItems().constFirst();
        QVERIFY(showsTheKey(itemProperty(item, QStringLiteral("IconPixmap"))));
        const QString menu =
            qvariant_cast<QDBusObjectPath>(itemProperty(item, QStringLiteral("Menu"))).path();
        // The tray shows the application's whole menu, from its first item to its last.
        const QStringList labels = menuLabels(item, menu);
        QVERIFY(labels.size() > 5);
        QCOMPARE(labels.first(), QStringLiteral("New Password"));
        QCOMPARE(labels.last(), QStringLiteral("Quit Keyloft"));
    } else {
        tray.start(QStringLiteral("trayer"), {QStringLiteral("--edge"), QStringLiteral("top")});
        // A window of the program inside trayer's panel: the tray has taken the icon in.
        QTRY_VERIFY_WITH_TIMEOUT(runClient(QStringLiteral("xwininfo -name panel -tree"))
                                     .contains("(\"Keyloft\" \"Keyloft\")"),
                                 startTimeoutMs);
    }
    QCOMPARE(keyloft.state(), QProcess::Running);

    callItem(QStringLiteral("org.keyloft.Keyloft"), QStringLiteral("/org/keyloft/Keyloft"),
             QStringLiteral("org.keyloft.Keyloft"), QStringLiteral("Quit"), {});
    QTRY_COMPARE_WITH_TIMEOUT(keyloft.state(), QProcess::NotRunning, startTimeoutMs);
    QCOMPARE(keyloft.exitCode(), 0);
}

QTEST_MAIN(TestTrayDesktop)
#include "tst_traydesktop.moc"
