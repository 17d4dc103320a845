#include "editor/NetKeyloft_EditWindowController.h"

#include "editor/ApplicationCommands.h"
#include "platform/FloatingWindow.h"
#include "settings/NetKeyloft_Preferences.h"

#include "ui_EditWindow.h"

#include <QCloseEvent>

namespace {

const QString editWindowFrameName = QStringLiteral("NKL_EDIT_WINDOW_FRAME");

} // namespace

NetKeyloft_EditWindowController::NetKeyloft_EditWindowController(
    NetKeyloft_KeychainController& keychainController, ApplicationCommands& commands,
    NetKeyloft_EditController::Services services)
    : m_keychainController(keychainController), m_commands(commands),
      m_window(std::make_unique<QWidget>()), m_ui(std::make_unique<Ui::EditWindow>())
{
    m_ui->setupUi(m_window.get());
    m_controller = new NetKeyloft_EditController(*m_ui, *m_window, services);
    m_controller->awakeFromNib();
    FloatingWindow::configure(*m_window);
    m_frame = new WindowFrameAutosave(*m_window, services.preferences.userDefaults(),
                                      editWindowFrameName);
    m_window->installEventFilter(this);
    windowDidLoad();
}

NetKeyloft_EditWindowController::~NetKeyloft_EditWindowController()
{
    m_window->removeEventFilter(this);
    // The controller lets go of the window's controls before they go.
    delete m_controller;
    m_controller = nullptr;
    m_window.reset();
}

void NetKeyloft_EditWindowController::windowDidLoad()
{
    m_frame->restore();
    m_controller->setKeychainController(&m_keychainController);
    m_controller->setApplicationCommands(&m_commands);
    m_controller->awakeFromController();
}

void NetKeyloft_EditWindowController::openWindow()
{
    FloatingWindow::bringToFront(*m_window);
    m_controller->awakeFromController();
}

void NetKeyloft_EditWindowController::openWindowAndCreateNewPassword()
{
    m_controller->saveAllEditItemInfo();
    openWindow();
    m_controller->addItemButtonAction();
}

void NetKeyloft_EditWindowController::editItemAtIndex(int index)
{
    m_controller->editItemAtIndex(index);
}

void NetKeyloft_EditWindowController::saveAllEditItemInfo()
{
    m_controller->saveAllEditItemInfo();
}

void NetKeyloft_EditWindowController::removeObserversToQuit()
{
    m_controller->removeObserversToQuit();
}

void NetKeyloft_EditWindowController::windowWillClose()
{
    m_controller->saveAllEditItemInfo();
    m_commands.editWindowDidClose();
}

void NetKeyloft_EditWindowController::windowDidResignKey()
{
    m_controller->saveAllEditItemInfo();
}

bool NetKeyloft_EditWindowController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window.get()) {
        if (event->type() == QEvent::Close && m_window->isVisible()) {
            if (!windowShouldClose()) {
                event->ignore();
                return true;
            }
            windowWillClose();
        } else if (event->type() == QEvent::WindowDeactivate) {
            windowDidResignKey();
        }
    }
    return QObject::eventFilter(watched, event);
}
