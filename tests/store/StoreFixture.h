#pragma once

#include "platform/UserDefaults.h"
#include "platform/keychain/KeychainServices.h"
#include "store/NetKeyloft_KeychainController.h"

#include "ScriptedDialogs.h"

#include <QTemporaryDir>

#include <memory>

class SecretServiceFixture;

// A fresh, empty keychain of one backend for a store test, with the settings file
// and dialogs a store needs. The store finds the keychain as it would at start-up.
class StoreFixture {
public:
    enum class Backend { File, SecretService };
    static const QString password;

    // secretService gives the default keychain of the SecretService backend; it must
    // outlive the fixture and is not used for the file backend.
    explicit StoreFixture(Backend backend, SecretServiceFixture* secretService = nullptr);

    ScriptedDialogs& dialogs() { return m_dialogs; }
    UserDefaults& defaults() { return *m_defaults; }
    KeychainServices& services() { return *m_services; }
    NetKeyloft_Keychain::Environment environment();
    const QTemporaryDir& folder() const { return m_folder; }
    QString keychainPath() const;

    // The item list as the application opens it, with errors collected in errors().
    std::unique_ptr<NetKeyloft_KeychainController> openList();
    const std::vector<NetKeyloft_Error>& errors() const { return m_errors; }

    // Writes a generic-password item directly, bypassing the store.
    void addRawItem(const KeychainAttributeList& attributes, const QByteArray& secret);
    // An attribute of the item whose service attribute is uuid; "<missing>" when there
    // is no such item.
    QByteArray rawAttribute(const QString& uuid, FourCharCode tag);
    // The secret of that item, or nothing.
    std::optional<QByteArray> rawSecret(const QString& uuid);

private:
    // Another view of the same keychain, as a second process would have it.
    std::unique_ptr<Keychain> openRaw();
    std::unique_ptr<KeychainItemRef> findRaw(Keychain& keychain, const QString& uuid);

    Backend m_backend;
    QTemporaryDir m_folder;
    ScriptedDialogs m_dialogs;
    ScriptedDialogs m_rawDialogs;
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<KeychainServices> m_fileServices;
    std::unique_ptr<KeychainServices> m_services;
    std::unique_ptr<KeychainServices> m_rawFileServices;
    KeychainServices* m_rawServices = nullptr;
    std::vector<NetKeyloft_Error> m_errors;
};

// The labels of the list's entries in its order.
QStringList labelsOf(const NetKeyloft_KeychainController& list);
