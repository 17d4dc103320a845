#include "AppFixture.h"

#include "app/StatusItem.h"
#include "settings/NetKeyloft_LoginController.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTest>

QAction* actionTitled(const QMenu* menu, const QString& title)
{
    for (QAction* action : menu->actions()) {
        if (action->text() == title) {
            return action;
        }
        if (QAction* found = action->menu() ? actionTitled(action->menu(), title) : nullptr) {
            return found;
        }
    }
    return nullptr;
}

QStringList menuTitles(const QMenu* menu)
{
    QStringList result;
    for (const QAction* action : menu->actions()) {
        result << (action->isSeparator() ? QStringLiteral("---") : action->text());
    }
    return result;
}

QStringList checkedTitles(const QMenu* menu)
{
    QStringList result;
    for (const QAction* action : menu->actions()) {
        if (action->isChecked()) {
            result << action->text();
        }
    }
    return result;
}

QStringList entryTitles(const QMenu* menu)
{
    QStringList result;
    for (const QAction* action : menu->actions()) {
        const QString text = action->text();
        if (action->menu() && text != QStringLiteral("Sort by") &&
            text != QStringLiteral("Preferences") && !text.startsWith(QStringLiteral("more"))) {
            result << text;
        }
    }
    return result;
}

const QString AppFixture::password = QStringLiteral("app password");

namespace {
// One dictionary for all launches of the test program, as one application has.
const SpellCheckerSource sharedSpellChecker = userSpellCheckerOnFirstUse();

// A status item for the offscreen platform, which has no tray.
class OffscreenStatusItem final : public StatusItem {
public:
    void setImage(const QIcon&) override {}
    void setMenu(QMenu*) override {}
    void show() override {}
};
} // namespace

AppFixture::AppFixture()
{
    QDir(m_folder.path()).mkpath(QStringLiteral("bin"));
    QFile program(programPath());
    program.open(QIODevice::WriteOnly);
    program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_autostart =
        std::make_unique<XdgAutostartService>(m_folder.filePath(QStringLiteral("autostart")));
    m_services = std::make_unique<FileKeychainServices>(m_dialogs, FileKeychainKdf::minimum());
    NetKeyloft_Updater::Settings updates =
        NetKeyloft_Updater::bundleSettings([this](const QUrl& url) {
            openedUrls << url;
            return true;
        });
    updates.feedUrl = QUrl();
    m_updater = std::make_unique<NetKeyloft_Updater>(std::move(updates));
    openSettings();
}

void AppFixture::openSettings()
{
    // As a new process would: whatever the last one stored is on disk first.
    if (m_defaults) {
        m_defaults->synchronize();
    }
    m_preferences.reset();
    m_defaultsController.reset();
    m_defaults = std::make_unique<UserDefaults>(m_folder.filePath(QStringLiteral("Keyloft.conf")));
    m_defaultsController = std::make_unique<UserDefaultsController>(*m_defaults);
    m_preferences = std::make_unique<NetKeyloft_Preferences>(*m_defaultsController);
}

void AppFixture::createKeychain(const QStringList& labels)
{
    m_dialogs.queueNewPassword(password);
    std::unique_ptr<Keychain> created;
    QCOMPARE(m_services->create(keychainPath(), created), errSecSuccess);
    m_defaults->setValue(QStringLiteral("NKLPREFS_KeychainPath_Key"), keychainPath());
    QVERIFY(m_defaults->synchronize());
    m_dialogs.queuePassword(password);
    auto list = NetKeyloft_KeychainController::create({*m_services, *m_defaults, m_dialogs});
    QVERIFY(list);
    for (const QString& label : labels) {
        QVERIFY(list->newKeyChainItemWithLabel(label));
    }
}

bool AppFixture::launch()
{
    m_controller.reset();
    openSettings();
    m_dialogs.queuePassword(password);
    m_controller = std::make_unique<NetKeyloft_StatusMenuController>(
        NetKeyloft_StatusMenuController::Environment{
            *m_preferences,
            *m_services,
            m_dialogs,
            otherClipboard ? *otherClipboard : m_clipboard,
            [this] {
                return std::make_unique<NetKeyloft_LoginController>(*m_autostart, programPath());
            },
            [this]() -> std::unique_ptr<StatusItem> {
                ++statusItemsMade;
                if (onStatusItem) {
                    onStatusItem();
                }
                return std::make_unique<OffscreenStatusItem>();
            },
            [this] { return screenHeight; },
            [this](int code) { exitCodes << code; },
            [this] { return trayAvailable; },
            0,
            [this](const QUrl& url) {
                openedUrls << url;
                return true;
            },
            m_updater.get(),
            sharedSpellChecker,
            clock,
        });
    return m_controller->applicationDidFinishLaunching();
}
