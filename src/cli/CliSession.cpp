#include "cli/CliSession.h"

#include "cli/Terminal.h"
#include "platform/UserDefaults.h"
#include "platform/UserDefaultsController.h"
#include "platform/keychain/FileKeychainServices.h"
#include "platform/secretservice/DesktopKeychainServices.h"
#include "platform/secretservice/SecretServiceKeychainServices.h"
#include "settings/NetKeyloft_Preferences.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace {

// Set only by the benchmark (bench/bench_cli.sh): keychain files made in this run use
// the cheapest key derivation, so that timings show per-entry costs. Never for real use.
const char* const minimumKdfVariable = "KEYLOFT_CLI_BENCH_MINIMUM_KDF";

FileKeychainKdf kdfForNewKeychains()
{
    return qEnvironmentVariableIsSet(minimumKdfVariable) ? FileKeychainKdf::minimum()
                                                         : FileKeychainKdf::standard();
}

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

// How long a change waits for another keyloft-cli process that is changing entries.
constexpr int changeLockWaitMs = 120 * 1000;

QString changeLockPath()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QDir::tempPath();
    }
    return QDir(folder).filePath(QStringLiteral("keyloft-cli.lock"));
}

} // namespace

CliSession::CliSession(const CliGlobalOptions& options)
    : m_options(options), m_dialogs(options.passwordFd)
{
    m_controller = std::make_unique<UserDefaultsController>(UserDefaults::standardUserDefaults());
    m_preferences = std::make_unique<NetKeyloft_Preferences>(*m_controller);
    m_fileServices = std::make_unique<FileKeychainServices>(m_dialogs, kdfForNewKeychains());
    m_services = std::make_unique<DesktopKeychainServices>(
        *m_fileServices, std::make_unique<SecretServiceKeychainServices>(secretServiceTimeouts()));
}

CliSession::~CliSession()
{
    if (!m_namedFolder) {
        return;
    }
    // The settings of this run go first (they may write their file as they go), then
    // the folder: its few known files by name, which costs far less than
    // QTemporaryDir's walk through the folder. Anything else left there is walked.
    m_list.reset();
    m_namedDefaults.reset();
    const QDir folder(m_namedFolder->path());
    for (const char* name : {"keyloft-cli.conf", "keyloft-cli.conf.lock"}) {
        QFile::remove(folder.filePath(QString::fromLatin1(name)));
    }
    if (QDir().rmdir(folder.path())) {
        m_namedFolder->setAutoRemove(false);
    }
}

UserDefaults& CliSession::userDefaults()
{
    return m_controller->defaults();
}

NetKeyloft_Keychain::Environment CliSession::storeEnvironment()
{
    if (!m_options.keychainPath) {
        return {*m_services, userDefaults(), m_dialogs};
    }
    m_namedFolder = std::make_unique<QTemporaryDir>();
    m_namedDefaults =
        std::make_unique<UserDefaults>(m_namedFolder->filePath(QStringLiteral("keyloft-cli.conf")));
    m_namedDefaults->registerDefaults(
        {{NetKeyloft_Keychain::keychainPathKey,
          QDir::current().absoluteFilePath(*m_options.keychainPath)}});
    return {*m_services, *m_namedDefaults, m_dialogs};
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
        m_keychainMessages.append(error.localizedDescription());
    });
    if (!keychain->initKeychain()) {
        failOperation(QStringLiteral("no keychain could be opened."));
    }
    // Unlocks the keychain before anything is read from it: the list would take a
    // keychain it cannot read for an empty one.
    checkReadable(*keychain->keychain());
    if (access == Access::Change) {
        lockForChanges();
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

void CliSession::lockForChanges()
{
    m_changeLock = std::make_unique<QLockFile>(changeLockPath());
    // An import may hold the lock for long, so age alone never makes it stale; a lock
    // whose process has died is still taken over, by its process id.
    m_changeLock->setStaleLockTime(0);
    if (!m_changeLock->tryLock(changeLockWaitMs)) {
        failOperation(QStringLiteral("another keyloft-cli has been changing entries for too long "
                                     "(lock file %1).")
                          .arg(changeLockPath()));
    }
}

QString CliSession::describe(OSStatus status) const
{
    switch (status) {
    case errSecAuthFailed:
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
    case errSecInteractionRequired:
        return QStringLiteral("the keyring program (GNOME Keyring, KWallet or KeePassXC) asks "
                              "for the keychain to be unlocked in its own window, and nobody "
                              "answered in time; unlock it there and try again.");
    default:
        return keychainError(status).localizedDescription();
    }
}

void CliSession::failKeychainOperation(const QString& message)
{
    QString text = message;
    for (const QString& keychainMessage : std::as_const(m_keychainMessages)) {
        text += QStringLiteral("\n  ") + keychainMessage;
    }
    m_keychainMessages.clear();
    failOperation(text);
}
