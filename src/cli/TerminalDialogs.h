#pragma once

#include "platform/Dialogs.h"

#include <optional>

// The dialogs of the command line. Alerts are printed to standard error. Keychain
// passwords are read from a descriptor the caller names (for scripts) or asked on the
// terminal without echo. Nobody can pick a file in a dialog from a script, so the
// keychain file chooser always answers "no" and says how to name a keychain instead.
class TerminalDialogs final : public Dialogs {
public:
    // passwordFd: where keychain passwords come from; no value to ask on the terminal.
    explicit TerminalDialogs(std::optional<int> passwordFd);

    int runAlert(const Alert& alert) override;
    std::optional<QString> chooseKeychainFile() override;
    std::optional<SecretBytes> askKeychainPassword(const QString& path, int attempt) override;
    std::optional<SecretBytes> askNewKeychainPassword(const QString& path) override;

    // How many times a keychain password was asked for, and whether asking failed for
    // want of a terminal: lets the caller explain a refused unlock.
    int passwordRequests() const { return m_passwordRequests; }
    bool lackedTerminal() const { return m_lackedTerminal; }
    // Whether the password descriptor could not be read (not open, or not for reading).
    bool unreadableDescriptor() const { return m_unreadableDescriptor; }

private:
    std::optional<SecretBytes> passwordFromDescriptor();

    std::optional<int> m_passwordFd;
    bool m_descriptorRead = false;
    int m_passwordRequests = 0;
    bool m_lackedTerminal = false;
    bool m_unreadableDescriptor = false;
    bool m_chooserDeclined = false;
};
