#pragma once

#include "cli/CliCommand.h"
#include "cli/TerminalDialogs.h"
#include "store/NetKeyloft_KeychainController.h"

#include "platform/keychain/FileKeychainFile.h"
#include "platform/keychain/KeychainWatcher.h"

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
    // How the item list is wanted: for reading only, for changes, or for reading and
    // then counting a use. A change holds the keychain file's own lock from before the
    // list is read until the command ends, so every process that writes the file (other
    // keyloft-cli processes, whatever their runtime folder, and the application) waits
    // for it, and labels stay unique. A keychain that is no file is changed one
    // keyloft-cli process at a time, under a lock in the runtime folder. Count takes the
    // lock where it can, and reads without it where it cannot (a read-only folder).
    enum class Access { Read, Change, Count };

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
    // The keychain's failures reported since the last call, one a line, and forgets them.
    QString takeKeychainMessages();

    // What a keychain status means, in the terminal's words, naming the file and the
    // system's reason where a file operation failed.
    QString describe(OSStatus status) const;

private:
    NetKeyloft_Keychain::Environment storeEnvironment();
    void openNamedKeychainCheck(const QString& path);
    void checkReadable(Keychain& keychain);
    void mergeConflictCopies(Keychain& keychain);
    OSStatus lockForChanges(Keychain& keychain);

    CliGlobalOptions m_options;
    TerminalDialogs m_dialogs;
    std::unique_ptr<UserDefaultsController> m_controller;
    std::unique_ptr<NetKeyloft_Preferences> m_preferences;
    std::unique_ptr<KeychainServices> m_fileServices;
    std::unique_ptr<KeychainServices> m_services;
    std::unique_ptr<KeychainChangeHold> m_changeHold;
    std::unique_ptr<FileKeychainFile::Lock> m_changeLock;
    std::unique_ptr<NetKeyloft_KeychainController> m_list;
    // Declared after the list so that it goes first: it follows the list's keychain.
    std::unique_ptr<KeychainWatcher> m_watcher;
    QStringList m_keychainMessages;
};
