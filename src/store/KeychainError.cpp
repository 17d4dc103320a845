#include "store/KeychainError.h"

#include "platform/Log.h"
#include "store/NetKeyloftStringUtils.h"

const QString NetKeyloft_Error::keychainErrorDomain = QStringLiteral("Brenmoor_Error_Domain");
const QString NetKeyloft_Error::localizedDescriptionKey = QStringLiteral("NSLocalizedDescription");
const QString NetKeyloft_Error::quitAfterErrorKey = QStringLiteral("Tfw7XnBKRLaMzQHe");
const QString NetKeyloft_Error::providerMessageKey = QStringLiteral("KeyloftProviderMessage");

QString NetKeyloft_Error::localizedDescription() const
{
    return userInfo.value(localizedDescriptionKey).toString();
}

bool NetKeyloft_Error::quitAfterError() const
{
    return userInfo.value(quitAfterErrorKey, false).toBool();
}

QString NetKeyloft_Error::providerMessage() const
{
    return userInfo.value(providerMessageKey).toString();
}

namespace {

// What went wrong, for the statuses whose cause a person can act on; empty for others.
QString causeOf(OSStatus status)
{
    switch (status) {
    case errSecDiskFull:
        return QStringLiteral("There is no space left on the disk for your keychain.");
    case errSecWrPerm:
        return QStringLiteral("You do not have permission to change your keychain file.");
    case errSecReadOnly:
        return QStringLiteral("Your keychain is on a disk that cannot be written to.");
    case errSecIO:
        return QStringLiteral("Your keychain file could not be read or written: the disk "
                              "failed, or a symbolic link on its way points in a loop.");
    default:
        return QString();
    }
}

} // namespace

NetKeyloft_Error keychainError(OSStatus status, const QString& providerMessage)
{
    NetKeyloft_Error error;
    error.domain = NetKeyloft_Error::keychainErrorDomain;
    error.code = status;
    if (status == errSecAuthFailed) {
        error.userInfo.insert(
            NetKeyloft_Error::localizedDescriptionKey,
            NetKeyloftStringUtils::localizedString(QStringLiteral("KLOFT_errSecAuthFailed")));
    } else if (const QString cause = causeOf(status); !cause.isEmpty()) {
        error.userInfo.insert(NetKeyloft_Error::localizedDescriptionKey,
                              QStringLiteral("%1 Error %2").arg(cause).arg(status));
    } else {
        error.userInfo.insert(
            NetKeyloft_Error::localizedDescriptionKey,
            QStringLiteral("There was an error communicating with your Keychain. Error %1")
                .arg(status));
    }
    error.userInfo.insert(NetKeyloft_Error::quitAfterErrorKey, false);
    if (!providerMessage.isEmpty()) {
        error.userInfo.insert(NetKeyloft_Error::providerMessageKey, providerMessage);
    }
    return error;
}

void reportKeychainError(OSStatus status, const ErrorPresenter& presenter,
                         const QString& providerMessage)
{
    logLine(QStringLiteral("Error communicating with system keychain: %1 ").arg(status));
    if (presenter) {
        presenter(keychainError(status, providerMessage));
    }
}
