#include "cli/TerminalDialogs.h"

#include "cli/Terminal.h"

TerminalDialogs::TerminalDialogs(std::optional<int> passwordFd) : m_passwordFd(passwordFd) {}

int TerminalDialogs::runAlert(const Alert& alert)
{
    // After the chooser said why no file can be picked here, the store's own notice that
    // none was chosen (written for the application) would only repeat it less clearly.
    if (m_chooserDeclined) {
        m_chooserDeclined = false;
        return 0;
    }
    QString text = QStringLiteral("keyloft-cli: ") + alert.message + QLatin1Char('\n');
    if (!alert.informativeText.isEmpty()) {
        text += QStringLiteral("  ") + alert.informativeText + QLatin1Char('\n');
    }
    Terminal::writeErr(text);
    // Alerts here only inform: the first button is the plain acknowledgement, and where
    // an alert offers a choice the last, most cautious one is taken (a command never
    // makes a keychain the user did not ask for).
    return alert.buttons.size() > 1 ? int(alert.buttons.size()) - 1 : 0;
}

std::optional<QString> TerminalDialogs::chooseKeychainFile()
{
    Terminal::writeErr(QStringLiteral(
        "keyloft-cli: no keychain file can be picked here. Name one with --keychain PATH, "
        "or make one with \"keyloft-cli create-keychain PATH --set-default\".\n"));
    m_chooserDeclined = true;
    return std::nullopt;
}

std::optional<SecretBytes> TerminalDialogs::passwordFromDescriptor()
{
    // A descriptor holds one password: when it was wrong there is no second one to try.
    if (m_descriptorRead) {
        return std::nullopt;
    }
    m_descriptorRead = true;
    std::optional<SecretBytes> password = Terminal::readLineFromDescriptor(*m_passwordFd);
    m_unreadableDescriptor = !password;
    return password;
}

std::optional<SecretBytes> TerminalDialogs::askKeychainPassword(const QString& path, int attempt)
{
    ++m_passwordRequests;
    if (m_passwordFd) {
        return passwordFromDescriptor();
    }
    if (!Terminal::isAvailable()) {
        m_lackedTerminal = true;
        return std::nullopt;
    }
    if (attempt > 1) {
        Terminal::writeErr(QStringLiteral("keyloft-cli: wrong password, try again.\n"));
    }
    return Terminal::readSecret(QStringLiteral("Password of keychain %1: ").arg(path));
}

std::optional<SecretBytes> TerminalDialogs::askNewKeychainPassword(const QString& path)
{
    if (m_passwordFd) {
        return passwordFromDescriptor();
    }
    if (!Terminal::isAvailable()) {
        m_lackedTerminal = true;
        return std::nullopt;
    }
    return Terminal::readNewSecret(QStringLiteral("Password for the new keychain %1: ").arg(path));
}
