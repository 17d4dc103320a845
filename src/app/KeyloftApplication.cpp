#include "app/KeyloftApplication.h"

#include "app/ApplicationBus.h"
#include "app/ApplicationLifecycle.h"
#include "app/NetKeyloft_StatusMenuController.h"
#include "app/NetKeyloft_Updater.h"
#include "app/StatusItem.h"
#include "platform/Clipboard.h"
#include "platform/Clock.h"
#include "platform/DesktopClipboard.h"
#include "platform/DesktopShell.h"
#include "platform/Log.h"
#include "platform/QtDialogs.h"
#include "platform/keychain/FileKeychainServices.h"
#include "platform/secretservice/DesktopKeychainServices.h"
#include "platform/secretservice/SecretServiceKeychainServices.h"
#include "settings/NetKeyloft_LoginController.h"
#include "settings/NetKeyloft_Preferences.h"
#include "settings/WebLinks.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTranslator>

namespace {

// How long a start waits for a tray to appear before it shows its window instead: at
// login the panel may come up well after the program; started by hand, the desktop is
// already complete.
constexpr int loginTrayWaitMs = 30000;
constexpr int handTrayWaitMs = 4000;

struct StartOptions {
    ApplicationBus::Request request = ApplicationBus::Request::None;
    bool atLogin = false;
};

StartOptions parseArguments(const QApplication& application)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QApplication::translate("main", "Keeps passwords in the system tray."));
    parser.addHelpOption();
    const QCommandLineOption showEditWindow(
        QStringLiteral("show-edit-window"),
        QApplication::translate("main", "Open the edit window (of the running Keyloft)."));
    const QCommandLineOption newPassword(
        QStringLiteral("new-password"),
        QApplication::translate("main", "Open the edit window on a new entry."));
    const QCommandLineOption find(
        QStringLiteral("find"),
        QApplication::translate("main", "Open the search box (of the running Keyloft)."));
    const QCommandLineOption login(
        QStringLiteral("login"),
        QApplication::translate("main", "Started at login: wait longer for the tray."));
    parser.addOptions({showEditWindow, newPassword, find, login});
    parser.process(application);
    StartOptions options;
    if (parser.isSet(find)) {
        options.request = ApplicationBus::Request::Find;
    } else if (parser.isSet(newPassword)) {
        options.request = ApplicationBus::Request::NewPassword;
    } else if (parser.isSet(showEditWindow)) {
        options.request = ApplicationBus::Request::ShowEditWindow;
    }
    options.atLogin = parser.isSet(login) || startedBySessionAtLogin();
    return options;
}

int runLaunched(QApplication& application, const StartOptions& options, ApplicationBus& bus)
{
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

    // Everything the application reaches outside itself is made here and handed down.
    const std::function<bool(const QUrl&)> openUrl = &WebLinks::openInBrowser;
    NetKeyloft_Updater updater(NetKeyloft_Updater::bundleSettings(openUrl));

    NetKeyloft_StatusMenuController controller({
        preferences,
        keychainServices,
        dialogs,
        *clipboard,
        [] { return std::make_unique<NetKeyloft_LoginController>(); },
        &createSystemStatusItem,
        &primaryScreenHeight,
        [](int code) { QCoreApplication::exit(code); },
        &trayIsPresent,
        options.atLogin ? loginTrayWaitMs : handTrayWaitMs,
        openUrl,
        &updater,
        userSpellCheckerOnFirstUse(),
        Clock::system(),
    });
    TerminationGate gate([&controller] { return controller.applicationShouldTerminate(); });
    application.installEventFilter(&gate);
    TerminationSignals signals([&controller] { controller.terminateForSession(); });
    followSession(application, controller);

    if (!controller.applicationDidFinishLaunching()) {
        return 1;
    }
    bus.setController(&controller);
    if (options.request == ApplicationBus::Request::NewPassword) {
        controller.openEditWindowCreateNewPassword();
    } else if (options.request == ApplicationBus::Request::ShowEditWindow) {
        controller.openEditWindow();
    } else if (options.request == ApplicationBus::Request::Find) {
        controller.findAction();
    }
    const int code = QApplication::exec();
    bus.setController(nullptr);
    return code;
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
    const StartOptions options = parseArguments(application);

    // One instance per session: a second start hands its request to the first before
    // it reads any setting or opens the keychain.
    ApplicationBus bus;
    if (bus.claim() == ApplicationBus::Claim::AlreadyRunning) {
        // A second login start (a duplicate autostart entry) opens no window.
        if (options.atLogin && options.request == ApplicationBus::Request::None) {
            return 0;
        }
        QString error;
        if (ApplicationBus::forward(options.request, &error)) {
            return 0;
        }
        logLine(QStringLiteral("Keyloft is already running but did not answer: %1").arg(error));
        return 1;
    }
    return runLaunched(application, options, bus);
}
