#include "cli/CliSession.h"

#include "cli/Terminal.h"
#include "platform/UserDefaults.h"
#include "platform/UserDefaultsController.h"
#include "platform/keychain/ConflictCopies.h"
#include "platform/keychain/FileKeychainServices.h"
#include "platform/secretservice/DesktopKeychainServices.h"
#include "platform/secretservice/SecretServiceKeychainServices.h"
#include "settings/NetKeyloft_Preferences.h"
#include "store/ConflictCopyText.h"

#include <QDir>
#include <QStandardPaths>

#include <cstring>

namespace {

// How long a command waits for the Secret Service's unlock prompt when nobody may be
// at the screen to answer it: run from a script or a timer, it fails soon instead.
constexpr int unattendedPromptMs = 10 * 1000;

SecretServiceTimeouts secretServiceTimeouts()
{
    SecretServiceTimeouts timeouts;
    if (!Terminal::isAvailable()) {
        timeouts.promptMs = unattendedPromptMs;
    }
    return timeouts;
}

// The lock of changes to a keychain that is no file: one for the user's session.
QString changeLockBase()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QDir::tempPath();
    }
    return QDir(folder).filePath(QStringLiteral("keyloft-cli"));
}

// The system's words for error, as a terminal shows them: "no space left on device".
QString systemWords(int error)
{
    QString words = QString::fromLocal8Bit(std::strerror(error));
    if (!words.isEmpty()) {
        words[0] = words[0].toLower();
    }
    return words;
}

} // namespace

CliSession::CliSession(const CliGlobalOptions& options)
    : m_options(options), m_dialogs(options.passwordFd)
{
    m_controller = std::make_unique<UserDefaultsController>(UserDefaults::standardUserDefaults());
    m_preferences = std::make_unique<NetKeyloft_Preferences>(*m_controller);
    m_fileServices = std::make_unique<FileKeychainServices>(m_dialogs);
    m_services = std::make_unique<DesktopKeychainServices>(
        *m_fileServices, std::make_unique<SecretServiceKeychainServices>(secretServiceTimeouts()));
}

CliSession::~CliSession() = default;

UserDefaults& CliSession::userDefaults()
{
    return m_controller->defaults();
}

NetKeyloft_Keychain::Environment CliSession::storeEnvironment()
{
    // A keychain named on the command line is used for this run alone.
    const QString named = m_options.keychainPath
                              ? QDir::current().absoluteFilePath(*m_options.keychainPath)
                              : QString();
    return {*m_services, userDefaults(), m_dialogs, Clock::system(), named};
}

NetKeyloft_KeychainController& CliSession::list(Access access)
{
    if (m_list) {
        return *m_list;
    }
    if (m_options.keychainPath) {
        openNamedKeychainCheck(*m_options.keychainPath);
    }
    auto keychain = std::make_unique<NetKeyloft_Keychain>(storeEnvironment());
    keychain->setErrorPresenter([this](const NetKeyloft_Error& error) {
        const QString provider = error.providerMessage();
        m_keychainMessages.append(
            describe(error.code) +
            (provider.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(provider)));
    });
    if (!keychain->initKeychain()) {
        failOperation(QStringLiteral("no keychain could be opened."));
    }
    // Unlocks the keychain before anything is read from it: the list would take a
    // keychain it cannot read for an empty one.
    checkReadable(*keychain->keychain());
    mergeConflictCopies(*keychain->keychain());
    if (access != Access::Read) {
        const OSStatus status = lockForChanges(*keychain->keychain());
        if (status != errSecSuccess && access == Access::Change) {
            failOperation(
                QStringLiteral("cannot lock the keychain for changes: %1").arg(describe(status)));
        }
    }
    if (access != Access::Read) {
        // Followed from before the first read, a keychain answers the reads a change
        // repeats (is a new label taken?) from what it has read, not by reading it all
        // again.
        m_watcher = keychain->keychain()->watch();
    }
    m_list = std::make_unique<NetKeyloft_KeychainController>(std::move(keychain));
    return *m_list;
}

void CliSession::openNamedKeychainCheck(const QString& path)
{
    std::unique_ptr<Keychain> keychain;
    const OSStatus status = m_services->open(path, keychain);
    if (status != errSecSuccess) {
        failOperation(
            QStringLiteral("cannot open the keychain %1: %2").arg(path, describe(status)));
    }
}

// The search names a service no entry has (entries' services are UUIDs), so it
// unlocks the keychain without reading any entry: the list reads them next.
void CliSession::checkReadable(Keychain& keychain)
{
    std::unique_ptr<KeychainSearch> search;
    const OSStatus status = keychain.searchCreateFromAttributes(
        KeychainCodes::genericPasswordClass,
        {{KeychainCodes::creator, QByteArrayLiteral("Klft")},
         {KeychainCodes::service, QByteArrayLiteral("keyloft-cli unlock check")}},
        search);
    if (status != errSecSuccess) {
        failOperation(QStringLiteral("cannot read the keychain: %1").arg(describe(status)));
    }
}

// Conflict copies that a sync program left beside the keychain file are merged before
// the command reads anything; what they brought in is told on standard error.
void CliSession::mergeConflictCopies(Keychain& keychain)
{
    ConflictCopyMerger merger;
    const ConflictCopyReport report = merger.mergeConflictCopies(keychain);
    for (const QString& line : ConflictCopyText::describe(report)) {
        Terminal::writeErr(QStringLiteral("keyloft-cli: %1.\n").arg(line));
    }
    if (report.status != errSecSuccess) {
        Terminal::writeErr(QStringLiteral("keyloft-cli: a copy made by the sync program could "
                                          "not be merged: %1\n")
                               .arg(describe(report.status)));
    }
}

OSStatus CliSession::lockForChanges(Keychain& keychain)
{
    // A keychain file holds its own lock; another keychain has one for the session.
    const OSStatus status = keychain.holdChanges(m_changeHold);
    if (status != errSecSuccess || m_changeHold) {
        return status;
    }
    return FileKeychainFile::Lock::acquire(changeLockBase(), m_changeLock);
}

QString CliSession::describe(OSStatus status) const
{
    const FileKeychainFile::Failure& failure = FileKeychainFile::lastFailure();
    if (failure.error != 0 && FileKeychainFile::statusForErrno(failure.error) == status &&
        status != errSecNoSuchKeychain) {
        return QStringLiteral("cannot %1 %2: %3.")
            .arg(failure.writing ? QStringLiteral("write") : QStringLiteral("read"), failure.path,
                 systemWords(failure.error));
    }
    switch (status) {
    case errSecAuthFailed:
        if (m_dialogs.unreadableDescriptor()) {
            return QStringLiteral("the password was to come from descriptor %1, which is not "
                                  "open for reading.")
                .arg(*m_options.passwordFd);
        }
        if (m_dialogs.lackedTerminal()) {
            return QStringLiteral("its password is needed, but there is no terminal to ask it "
                                  "on; give it with --password-fd N.");
        }
        return m_dialogs.passwordRequests() > 0 ? QStringLiteral("wrong password.")
                                                : QStringLiteral("access was refused.");
    case errSecNoSuchKeychain:
        return QStringLiteral("there is no such file.");
    case errSecInvalidKeychain:
        return QStringLiteral("it is not a keychain file, or it is damaged.");
    case errSecUserCanceled:
        return QStringLiteral("no password was given.");
    case errSecDuplicateKeychain:
        return QStringLiteral("the file exists already.");
    case errSecDiskFull:
        return QStringLiteral("no space left on device.");
    case errSecWrPerm:
        return QStringLiteral("permission denied.");
    case errSecReadOnly:
        return QStringLiteral("read-only file system.");
    case errSecIO:
        return QStringLiteral("input/output error.");
    case errSecInteractionRequired:
        return QStringLiteral("the keyring program (GNOME Keyring, KWallet or KeePassXC) asks "
                              "for the keychain to be unlocked in its own window, and nobody "
                              "answered in time; unlock it there and try again.");
    default:
        return QStringLiteral("the keychain failed with status %1.").arg(status);
    }
}

QString CliSession::takeKeychainMessages()
{
    QString text;
    for (const QString& keychainMessage : std::as_const(m_keychainMessages)) {
        text += QStringLiteral("\n  ") + keychainMessage;
    }
    m_keychainMessages.clear();
    return text;
}

void CliSession::failKeychainOperation(const QString& message)
{
    failOperation(message + takeKeychainMessages());
}
