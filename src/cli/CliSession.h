#pragma once

#include "cli/CliCommand.h"
#include "cli/TerminalDialogs.h"
#include "store/NetKeyloft_KeychainController.h"

#include <QLockFile>
#include <QTemporaryDir>

#include <memory>

class KeychainServices;
class NetKeyloft_Preferences;
class UserDefaults;
class UserDefaultsController;

// Everything a command works with: the settings, the keychain services, the dialogs of
// the terminal and, once asked for, the item list over the chosen keychain. The
// keychain is chosen as the application chooses it (the stored keychain path, then the
// default keychain), unless the command line names a keychain file.
class CliSession {
public:
    // How the item list is wanted: for reading only, or for changes. Changes of
    // keyloft-cli processes are made one process at a time, each over a list read after
    // the previous process finished, so that labels stay unique among them.
    enum class Access { Read, Change };

    explicit CliSession(const CliGlobalOptions& options);
    ~CliSession();
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    // The item list over the open keychain; fails the command when none can be opened.
    NetKeyloft_KeychainController& list(Access access);
    NetKeyloft_Preferences& preferences() { return *m_preferences; }
    UserDefaults& userDefaults();
    KeychainServices& services() { return *m_services; }
    TerminalDialogs& dialogs() { return m_dialogs; }

    // Fails the command with message, followed by the keychain's own message when the
    // keychain reported one since the last call.
    [[noreturn]] void failKeychainOperation(const QString& message);
    // Whether the keychain reported a failure since the last failKeychainOperation.
    bool keychainReportedFailure() const { return !m_keychainMessages.isEmpty(); }

private:
    NetKeyloft_Keychain::Environment storeEnvironment();
    void openNamedKeychainCheck(const QString& path);
    void checkReadable(Keychain& keychain);
    void lockForChanges();
    QString describe(OSStatus status) const;

    CliGlobalOptions m_options;
    TerminalDialogs m_dialogs;
    std::unique_ptr<UserDefaultsController> m_controller;
    std::unique_ptr<NetKeyloft_Preferences> m_preferences;
    std::unique_ptr<KeychainServices> m_fileServices;
    std::unique_ptr<KeychainServices> m_services;
    // With --keychain, the store reads the path from defaults of this run alone, so
    // the stored choice of the application is neither used nor changed.
    std::unique_ptr<QTemporaryDir> m_namedFolder;
    std::unique_ptr<UserDefaults> m_namedDefaults;
    std::unique_ptr<QLockFile> m_changeLock;
    std::unique_ptr<NetKeyloft_KeychainController> m_list;
    QStringList m_keychainMessages;
};
