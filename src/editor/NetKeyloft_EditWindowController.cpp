#include "editor/NetKeyloft_EditWindowController.h"

#include <QWidget>

NetKeyloft_EditWindowController::NetKeyloft_EditWindowController(NetKeyloft_KeychainController&,
                                                                 NetKeyloft_StatusMenuController&)
{}

NetKeyloft_EditWindowController::~NetKeyloft_EditWindowController() = default;

QWidget* NetKeyloft_EditWindowController::window() const
{
    return m_window.get();
}
