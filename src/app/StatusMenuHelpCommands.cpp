// The status menu's commands that open the help and about windows and start the
// update check.

#include "app/NetKeyloft_BundleInfo.h"
#include "app/NetKeyloft_StatusMenuController.h"
#include "app/NetKeyloft_Updater.h"
#include "settings/NetKeyloft_AboutWindowController.h"
#include "settings/NetKeyloft_HelpWindowController.h"

void NetKeyloft_StatusMenuController::toggleCheckForUpdates()
{
    saveAndCloseEditWindow();
    if (m_env.updater) {
        m_env.updater->checkForUpdates(m_env.dialogs, *this);
    }
}

void NetKeyloft_StatusMenuController::openHelp()
{
    saveAndCloseEditWindow();
    showHelp();
}

void NetKeyloft_StatusMenuController::showHelp()
{
    if (!m_userGuideWindowController) {
        m_userGuideWindowController = std::make_unique<NetKeyloft_HelpWindowController>(
            m_env.openUrl, NetKeyloft_HelpWindowController::userGuidePage());
    }
    m_userGuideWindowController->openWindow();
}

void NetKeyloft_StatusMenuController::openDisableAutoLoginForThisMacHelp()
{
    saveAndCloseEditWindow();
    if (!m_helpWindowController) {
        m_helpWindowController = std::make_unique<NetKeyloft_HelpWindowController>(m_env.openUrl);
    }
    m_helpWindowController->openWindow();
}

QString NetKeyloft_StatusMenuController::appVersionText()
{
    return QStringLiteral("version %1 ( %2 )")
        .arg(NetKeyloft_BundleInfo::value(QStringLiteral("CFBundleShortVersionString")),
             NetKeyloft_BundleInfo::value(QStringLiteral("BrenmoorBuildString")));
}

void NetKeyloft_StatusMenuController::aboutMenuAction()
{
    const QString version = appVersionText();
    if (!m_aboutWindowController) {
        m_aboutWindowController = std::make_unique<NetKeyloft_AboutWindowController>();
    }
    m_aboutWindowController->setAppVersion(version);
    m_aboutWindowController->openWindow();
}
