#include "settings/NetKeyloft_HelpWindowController.h"

#include <QWidget>

NetKeyloft_HelpWindowController::NetKeyloft_HelpWindowController(
    NetKeyloft_StatusMenuController& statusMenuController)
    : m_statusMenuController(statusMenuController)
{}

NetKeyloft_HelpWindowController::~NetKeyloft_HelpWindowController() = default;

void NetKeyloft_HelpWindowController::openWindow() {}

QWidget* NetKeyloft_HelpWindowController::window() const
{
    return m_window.get();
}
