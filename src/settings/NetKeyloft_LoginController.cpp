#include "settings/NetKeyloft_LoginController.h"

#include "platform/login/XdgAutostartService.h"
#include "settings/NetKeyloft_LoginItemsAE.h"

#include <QCoreApplication>
#include <QFileInfo>

using namespace NetKeyloft_LoginItemsAE;

NetKeyloft_LoginController::NetKeyloft_LoginController()
    : m_ownedService(std::make_unique<XdgAutostartService>()), m_service(*m_ownedService),
      m_appPath(QCoreApplication::applicationFilePath())
{}

NetKeyloft_LoginController::NetKeyloft_LoginController(LoginItemsService& service,
                                                       const QString& appPath)
    : m_service(service), m_appPath(appPath)
{}

NetKeyloft_LoginController::~NetKeyloft_LoginController() = default;

QString NetKeyloft_LoginController::pathForAppSelf() const
{
    return m_appPath;
}

void NetKeyloft_LoginController::loadAppAtStartup(bool load)
{
    if (load) {
        addAppToLoginItemsOnTiger();
    } else {
        removeAppFromLoginItemsOnTiger();
    }
}

bool NetKeyloft_LoginController::appExistsInLoginItems()
{
    return firstPositionOfApp() >= 0;
}

void NetKeyloft_LoginController::addAppToLoginItemsOnTiger()
{
    if (!m_service.isUsable()) {
        return;
    }
    // Made from the path itself rather than parsed as URL text, so that a
    // path with a space or '#' is added as it is.
    const QUrl url = QUrl::fromLocalFile(pathForAppSelf());
    appendLoginItemForURL(m_service, &url, false);
}

void NetKeyloft_LoginController::removeAppFromLoginItemsOnTiger()
{
    if (!m_service.isUsable()) {
        return;
    }
    std::optional<LoginItemList> items;
    if (copyLoginItemList(m_service, &items) != LoginItemsStatus::noErr) {
        return;
    }
    qsizetype matches = 0;
    qsizetype firstMatch = -1;
    for (qsizetype i = 0; i < items->size(); ++i) {
        if (belongsToApp(items->at(i))) {
            firstMatch = matches == 0 ? i : firstMatch;
            ++matches;
        }
    }
    if (matches == 1) {
        deleteLoginItemAtIndex(m_service, firstMatch);
        return;
    }
    // Every deletion moves the items behind it, so each pass reads the list
    // afresh and removes only the first item of the application.
    for (qsizetype pass = 0; pass < matches; ++pass) {
        const qsizetype position = firstPositionOfApp();
        if (position >= 0) {
            deleteLoginItemAtIndex(m_service, position);
        }
    }
}

bool NetKeyloft_LoginController::belongsToApp(const LoginItemEntry& entry) const
{
    // An item that runs this very program is ours whatever the program is called.
    if (entry.url.isLocalFile() && !m_appPath.isEmpty()) {
        const QFileInfo program(entry.url.toLocalFile());
        const QFileInfo self(m_appPath);
        if (program.absoluteFilePath() == self.absoluteFilePath() ||
            (program.exists() && program.canonicalFilePath() == self.canonicalFilePath())) {
            return true;
        }
    }
    QString text = entry.url.toString(QUrl::FullyEncoded);
    while (text.endsWith(QLatin1Char('/'))) {
        text.chop(1);
    }
    const QString lastComponent = text.mid(text.lastIndexOf(QLatin1Char('/')) + 1);
    return lastComponent.startsWith(m_appName);
}

qsizetype NetKeyloft_LoginController::firstPositionOfApp()
{
    if (!m_service.isUsable()) {
        return -1;
    }
    std::optional<LoginItemList> items;
    if (copyLoginItemList(m_service, &items) != LoginItemsStatus::noErr) {
        return -1;
    }
    for (qsizetype i = 0; i < items->size(); ++i) {
        if (belongsToApp(items->at(i))) {
            return i;
        }
    }
    return -1;
}
