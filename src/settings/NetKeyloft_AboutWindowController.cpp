#include "settings/NetKeyloft_AboutWindowController.h"

#include <QWidget>

NetKeyloft_AboutWindowController::NetKeyloft_AboutWindowController() = default;
NetKeyloft_AboutWindowController::~NetKeyloft_AboutWindowController() = default;

void NetKeyloft_AboutWindowController::setAppVersion(const QString&) {}

void NetKeyloft_AboutWindowController::openWindow() {}

QWidget* NetKeyloft_AboutWindowController::window() const
{
    return m_window.get();
}
