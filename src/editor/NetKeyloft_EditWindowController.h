#pragma once

#include "editor/NetKeyloft_EditController.h"

#include <QObject>

#include <memory>

class ApplicationCommands;
class NetKeyloft_KeychainController;
class QWidget;
class WindowFrameAutosave;

namespace Ui {
class EditWindow;
}

// Owns the edit window: loads it once, keeps it floating above ordinary windows and in
// the place the user left it, hands the item list to the edit controller inside it, and
// stores what the user typed whenever the window closes or stops being the active one.
// Closing the window only hides it.
class NetKeyloft_EditWindowController : public QObject {
    Q_OBJECT

public:
    // Loads the window, hidden, over the application's list.
    NetKeyloft_EditWindowController(NetKeyloft_KeychainController& keychainController,
                                    ApplicationCommands& commands,
                                    NetKeyloft_EditController::Services services);
    ~NetKeyloft_EditWindowController() override;

    QWidget* window() const { return m_window.get(); }
    NetKeyloft_EditController* controller() const { return m_controller; }

    // Shows the window, in view mode, with the list as it is now.
    void openWindow();
    // Saves pending edits, shows the window and starts a new entry.
    void openWindowAndCreateNewPassword();
    void editItemAtIndex(int index);
    void saveAllEditItemInfo();
    void removeObserversToQuit();

    bool windowShouldClose() const { return true; }
    void windowWillClose();
    void windowDidResignKey();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void windowDidLoad();

    NetKeyloft_KeychainController& m_keychainController;
    ApplicationCommands& m_commands;
    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<Ui::EditWindow> m_ui;
    NetKeyloft_EditController* m_controller = nullptr;
    WindowFrameAutosave* m_frame = nullptr;
};
