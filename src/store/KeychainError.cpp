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

NetKeyloft_Error keychainError(OSStatus status, const QString& providerMessage)
{
    NetKeyloft_Error error;
    error.domain = NetKeyloft_Error::keychainErrorDomain;
    error.code = status;
    if (status == errSecAuthFailed) {
        error.userInfo.insert(
            NetKeyloft_Error::localizedDescriptionKey,
            NetKeyloftStringUtils::localizedString(QStringLiteral("KLOFT_errSecAuthFailed")));
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
