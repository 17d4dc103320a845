#pragma once

#include "store/SortKey.h"

// What the edit and preferences windows ask of the running application. The
// application implements it; the windows know nothing else of it, so they can be
// built and tested without the tray.
class ApplicationCommands {
public:
    virtual ~ApplicationCommands() = default;

    // Shows the user guide; the edit window stays as it is.
    virtual void showHelp() = 0;
    // Saves and closes the edit window, then shows the preferences window.
    virtual void openPreferencesWindow() = 0;
    // Saves and closes the edit window, then shows the help on start at login.
    virtual void openDisableAutoLoginForThisMacHelp() = 0;

    // Sorts the list by key in the stored direction and stores the key.
    virtual void sortBy(SortKey key) = 0;
    // Sorts the list by the stored key in the given direction and stores it.
    virtual void sortItemsAscending(bool ascending) = 0;
    // Starts the application at login, or stops doing so, and stores the choice.
    virtual void setStartAtLogin(bool start) = 0;

    // The edit window has closed.
    virtual void editWindowDidClose() = 0;

protected:
    ApplicationCommands() = default;
    ApplicationCommands(const ApplicationCommands&) = default;
    ApplicationCommands& operator=(const ApplicationCommands&) = default;
};
