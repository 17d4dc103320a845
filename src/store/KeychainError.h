#pragma once

#include "platform/keychain/KeychainStatus.h"

#include <QString>
#include <QVariantMap>

#include <functional>

// An error handed to the application's error presentation: a domain, a code and
// a table of user information holding the message and whether to quit after it.
struct NetKeyloft_Error {
    static const QString keychainErrorDomain;
    static const QString localizedDescriptionKey;
    static const QString quitAfterErrorKey;
    static const QString providerMessageKey;

    QString domain;
    int code = 0;
    QVariantMap userInfo;

    QString localizedDescription() const;
    // False when the user information does not say.
    bool quitAfterError() const;
    // What the keychain's provider said of the failure in its own words; may be empty.
    QString providerMessage() const;
};

// Shows an error to the user; installed by the application.
using ErrorPresenter = std::function<void(const NetKeyloft_Error&)>;

// The error object for a failed keychain operation with the given status, and what
// the provider said of it where it said more.
NetKeyloft_Error keychainError(OSStatus status, const QString& providerMessage = QString());

// Logs a failed keychain operation and hands its error to the presenter; with no
// presenter installed the log line is all that happens.
void reportKeychainError(OSStatus status, const ErrorPresenter& presenter,
                         const QString& providerMessage = QString());
