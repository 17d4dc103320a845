#include "editor/NetKeyloft_PreferencesWindowController.h"

#include <QWidget>

NetKeyloft_PreferencesWindowController::NetKeyloft_PreferencesWindowController(
    NetKeyloft_StatusMenuController&, NetKeyloft_Preferences&)
{}

NetKeyloft_PreferencesWindowController::~NetKeyloft_PreferencesWindowController() = default;

void NetKeyloft_PreferencesWindowController::showWindow() {}

QWidget* NetKeyloft_PreferencesWindowController::window() const
{
    return m_window.get();
}
