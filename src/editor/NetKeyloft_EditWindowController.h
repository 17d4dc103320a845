#pragma once

#include <QObject>

#include <memory>

class NetKeyloft_KeychainController;
class NetKeyloft_StatusMenuController;
class QWidget;

// The edit window.
class NetKeyloft_EditWindowController : public QObject {
    Q_OBJECT

public:
    NetKeyloft_EditWindowController(NetKeyloft_KeychainController& keychainController,
                                    NetKeyloft_StatusMenuController& statusMenuController);
    ~NetKeyloft_EditWindowController() override;

    QWidget* window() const;

private:
    std::unique_ptr<QWidget> m_window;
};
