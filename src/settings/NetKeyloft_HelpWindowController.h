#pragma once

#include <QObject>

#include <memory>

class NetKeyloft_StatusMenuController;
class QWidget;

// The help window: advice on securing the computer and the keychain.
class NetKeyloft_HelpWindowController : public QObject {
    Q_OBJECT

public:
    explicit NetKeyloft_HelpWindowController(NetKeyloft_StatusMenuController& statusMenuController);
    ~NetKeyloft_HelpWindowController() override;

    void openWindow();
    QWidget* window() const;

private:
    NetKeyloft_StatusMenuController& m_statusMenuController;
    std::unique_ptr<QWidget> m_window;
};
