// The status menu's commands that open the help and about windows and start the
// update check.

#include "app/NetKeyloft_BundleInfo.h"
#include "app/NetKeyloft_StatusMenuController.h"

#include "platform/Log.h"

void NetKeyloft_StatusMenuController::toggleCheckForUpdates()
{
    notYetAvailable("toggleCheckForUpdates");
}

void NetKeyloft_StatusMenuController::openHelp()
{
    notYetAvailable("openHelp");
}

void NetKeyloft_StatusMenuController::openDisableAutoLoginForThisMacHelp()
{
    notYetAvailable("openDisableAutoLoginForThisMacHelp");
}

QString NetKeyloft_StatusMenuController::appVersionText()
{
    return QStringLiteral("version %1 ( %2 )")
        .arg(NetKeyloft_BundleInfo::value(QStringLiteral("CFBundleShortVersionString")),
             NetKeyloft_BundleInfo::value(QStringLiteral("BrenmoorBuildString")));
}

void NetKeyloft_StatusMenuController::aboutMenuAction()
{
    logLine(QStringLiteral("Keyloft ") + appVersionText());
    notYetAvailable("aboutMenuAction");
}

void NetKeyloft_StatusMenuController::showHelp()
{
    notYetAvailable("showHelp");
}
