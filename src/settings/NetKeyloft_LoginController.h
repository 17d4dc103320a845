#pragma once

#include <QString>

#include <memory>

class LoginItemsService;

namespace NetKeyloft_LoginItemsAE {
struct LoginItemEntry;
}

// Puts the application into the user's login items and takes it out again.
// A login item belongs to the application when it runs the application's program
// (by its path, links followed), or when the last component of its URL begins with
// "Keyloft" (case-sensitive). Failures are not reported: the operations do
// nothing instead, and appExistsInLoginItems() answers false.
class NetKeyloft_LoginController {
public:
    // The user's autostart entries; the application is this process's executable.
    NetKeyloft_LoginController();
    // service and the application's program path are given, for tests.
    NetKeyloft_LoginController(LoginItemsService& service, const QString& appPath);
    ~NetKeyloft_LoginController();
    NetKeyloft_LoginController(const NetKeyloft_LoginController&) = delete;
    NetKeyloft_LoginController& operator=(const NetKeyloft_LoginController&) = delete;

    // The application's program path.
    QString pathForAppSelf() const;

    // true adds the application at the end of the login items, false removes
    // every item that belongs to it.
    void loadAppAtStartup(bool load);

    bool appExistsInLoginItems();

    // Adds the application, visible, after every other login item.
    void addAppToLoginItemsOnTiger();
    // Removes every login item that belongs to the application.
    void removeAppFromLoginItemsOnTiger();

private:
    bool belongsToApp(const NetKeyloft_LoginItemsAE::LoginItemEntry& entry) const;
    // The position of the first item of the application in a fresh list, or -1.
    qsizetype firstPositionOfApp();

    std::unique_ptr<LoginItemsService> m_ownedService;
    LoginItemsService& m_service;
    QString m_appPath;
    const QString m_appName = QStringLiteral("Keyloft");
};
