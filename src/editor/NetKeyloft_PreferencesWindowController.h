#pragma once

#include <QObject>

#include <memory>

class NetKeyloft_Preferences;
class NetKeyloft_StatusMenuController;
class QWidget;

// The preferences window: spell checking, start at login and the sort order.
class NetKeyloft_PreferencesWindowController : public QObject {
    Q_OBJECT

public:
    NetKeyloft_PreferencesWindowController(NetKeyloft_StatusMenuController& statusMenuController,
                                           NetKeyloft_Preferences& preferences);
    ~NetKeyloft_PreferencesWindowController() override;

    void showWindow();
    QWidget* window() const;

private:
    std::unique_ptr<QWidget> m_window;
};
