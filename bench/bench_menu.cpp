// Times the tray application over keychain files of 1,000 and 10,000 entries: launch
// up to a filled menu, a full rebuild of the menu, the edit window's common steps and
// the search box (opening it, and each keystroke of a search). Key derivation runs at
// its cheapest cost. Prints the median of several runs in milliseconds.

#include "BenchSupport.h"

#include "app/NetKeyloft_StatusMenuController.h"
#include "app/QuickSearchBox.h"
#include "app/StatusItem.h"
#include "editor/NetKeyloft_EditController.h"
#include "editor/NetKeyloft_EditWindowController.h"
#include "platform/QtClipboard.h"
#include "platform/UserDefaults.h"
#include "platform/UserDefaultsController.h"
#include "platform/keychain/FileKeychainServices.h"
#include "platform/login/XdgAutostartService.h"
#include "settings/NetKeyloft_LoginController.h"
#include "settings/NetKeyloft_Preferences.h"
#include "store/ItemSearchIndex.h"

#include <QLineEdit>
#include <QTemporaryDir>

#include <cstdio>

namespace {

using namespace Bench;

// Stands in for the tray, which the offscreen platform does not have.
class BenchStatusItem final : public StatusItem {
public:
    void setImage(const QIcon&) override {}
    void setMenu(QMenu*) override {}
    void show() override {}
};

void benchmark(int count, int runs)
{
    ProgramKeychainFile keychain(count);
    if (!keychain.written) {
        return;
    }
    QtClipboard clipboard;
    XdgAutostartService autostart(keychain.folder.filePath(QStringLiteral("autostart")));
    UserDefaultsController controller(keychain.defaults);
    NetKeyloft_Preferences preferences(controller);
    preferences.setSortByMenuItem(1);

    Timings times;
    for (int run = 0; run < runs; ++run) {
        NetKeyloft_StatusMenuController app({
            preferences,
            keychain.services,
            keychain.dialogs,
            clipboard,
            [&] { return std::make_unique<NetKeyloft_LoginController>(autostart, keychain.path); },
            [] { return std::make_unique<BenchStatusItem>(); },
            [] { return 1080; },
            [](int) {},
            [] { return true; },
            0,
            {},
            nullptr,
            userSpellCheckerOnFirstUse(),
        });
        times.time("launch to a filled menu", [&] { app.applicationDidFinishLaunching(); });
        times.time("populateMenu", [&] { app.populateMenu(); });
        times.time("sort by name (menu rebuilt)", [&] { app.sortByMenuItemTag(1); });
        times.time("edit window: first opening", [&] { app.openEditWindow(); });
        NetKeyloft_EditController& editor = *app.editWindowController()->controller();
        times.time("edit window: open an entry", [&] { editor.editItemAtIndex(count / 2); });
        times.time("edit window: header click (sort, menu rebuilt)",
                   [&] { editor.sortItemsAscending(!preferences.sortAscending()); });
        times.time("edit window: add an entry", [&] { editor.addItemButtonAction(); });
        times.time("edit window: close and reopen", [&] {
            app.closeEditWindow();
            app.openEditWindow();
        });
        app.closeEditWindow();
        times.time("search box: first opening", [&] { app.findAction(); });
        QuickSearchBox& box = *app.quickSearchBox();
        auto* field = box.findChild<QLineEdit*>(QStringLiteral("searchField"));
        // Typing "entry 42" one letter at a time: the first letters match nearly every
        // entry, the later ones few.
        const QString typed = QStringLiteral("entry 42");
        for (qsizetype length = 1; length <= typed.size(); ++length) {
            const double ms = millisecondsOf([&] { field->setText(typed.left(length)); });
            times.add("search: a keystroke (median of all)", ms);
            if (length == 1) {
                times.add("search: first keystroke (all entries match)", ms);
            }
        }
        box.close();
        times.time("search box: opening again", [&] { app.findAction(); });
        box.close();
        // Made once at launch, included in the launch's time.
        times.time("search index: built from the list",
                   [&] { ItemSearchIndex index(*app.keychainController()); });
    }
    times.print(qPrintable(QStringLiteral("%1 entries, %2 runs").arg(count).arg(runs)));
}

} // namespace

int main(int argc, char** argv)
{
    return Bench::runBenchmarks(argc, argv, &benchmark);
}
