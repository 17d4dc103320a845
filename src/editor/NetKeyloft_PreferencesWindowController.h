#pragma once

#include <QObject>

#include <memory>

class ApplicationCommands;
class NetKeyloft_Preferences;
class PreferenceBindings;
class QWidget;

namespace Ui {
class Preferences;
}

// The preferences window: the sort order of the entries, spell checking of the
// notes, clearing the clipboard, the password generator start at login and when a keychain file
// locks. Its controls show the preference values and follow changes made elsewhere (the tray menu,
// the edit window's header); a change made here goes through the same commands as the tray menu's.
class NetKeyloft_PreferencesWindowController : public QObject {
    Q_OBJECT

public:
    // Loads the window and shows it at once, in front, where it was last left.
    NetKeyloft_PreferencesWindowController(ApplicationCommands& commands,
                                           NetKeyloft_Preferences& preferences);
    ~NetKeyloft_PreferencesWindowController() override;

    // Shows the window again and brings it to the front.
    void showWindow();
    QWidget* window() const;

private:
    void connectControls();
    void observePreferences();
    void showPreferenceValues();
    void showSortBy();
    void showSortAscending();
    void showUseSpellChecker();
    void showLoadAtStartup();
    // The texts of the lock setting, which go through the translation ids.
    void setLockTexts();
    void sortByChosen(int index);
    void useSpellCheckerChosen(bool use);
    void loadAtStartupChosen(bool load);
    // The clipboard's and the password generator's controls.
    void bindClipboardAndGenerator();

    ApplicationCommands& m_commands;
    NetKeyloft_Preferences& m_preferences;
    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<Ui::Preferences> m_ui;
    PreferenceBindings* m_bindings = nullptr;
};
