#include "app/KeyloftApplication.h"

#include "app/ApplicationLifecycle.h"
#include "app/NetKeyloft_StatusMenuController.h"
#include "app/StatusItem.h"
#include "platform/Clipboard.h"
#include "platform/DesktopClipboard.h"
#include "platform/QtDialogs.h"
#include "platform/keychain/FileKeychainServices.h"
#include "platform/secretservice/DesktopKeychainServices.h"
#include "platform/secretservice/SecretServiceKeychainServices.h"
#include "settings/NetKeyloft_LoginController.h"
#include "settings/NetKeyloft_Preferences.h"

#include <QApplication>
#include <QScreen>
#include <QTranslator>

namespace {

int primaryScreenHeight()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? int(screen->geometry().height() * screen->devicePixelRatio()) : 0;
}

} // namespace

int runKeyloft(QApplication& application)
{
    QApplication::setApplicationName(QStringLiteral("Keyloft"));
    QApplication::setApplicationDisplayName(QStringLiteral("Keyloft"));
    QApplication::setDesktopFileName(QStringLiteral("keyloft"));
    // A tray application keeps running with no window open.
    QApplication::setQuitOnLastWindowClosed(false);
    QTranslator texts;
    if (texts.load(QStringLiteral(":/i18n/keyloft_en.qm"))) {
        QApplication::installTranslator(&texts);
    }

    // The preferences register their defaults before anything reads them.
    NetKeyloft_Preferences& preferences = NetKeyloft_Preferences::sharedInstance();
    QtDialogs dialogs;
    // On Wayland a tray command has no focused window, so copies go through wl-copy.
    const std::unique_ptr<Clipboard> clipboard = createDesktopClipboard();
    // Keychain files at the paths the user picks; the desktop's Secret Service as the
    // default keychain.
    FileKeychainServices keychainFiles(dialogs);
    DesktopKeychainServices keychainServices(keychainFiles,
                                             std::make_unique<SecretServiceKeychainServices>());

    NetKeyloft_StatusMenuController controller({
        preferences,
        keychainServices,
        dialogs,
        *clipboard,
        [] { return std::make_unique<NetKeyloft_LoginController>(); },
        &createSystemStatusItem,
        &primaryScreenHeight,
        [](int code) { QCoreApplication::exit(code); },
    });
    TerminationGate gate([&controller] { return controller.applicationShouldTerminate(); });
    application.installEventFilter(&gate);
    TerminationSignals signals([&controller] { controller.terminateForSession(); });
    followSession(application, controller);

    if (!controller.applicationDidFinishLaunching()) {
        return 1;
    }
    return QApplication::exec();
}
