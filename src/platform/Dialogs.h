#pragma once

#include "platform/SecretBytes.h"

#include <QString>
#include <QStringList>

#include <optional>

// A modal alert: a message, an optional informative text and its buttons,
// the first button being the default one.
struct Alert {
    enum class Style { Informational, Warning, Critical };
    QString message;
    QString informativeText;
    // Shown on request under the alert: what a program outside ours said, say.
    QString detailedText;
    QStringList buttons{QStringLiteral("OK")};
    Style style = Style::Informational;
};

// Everything modal that the program asks of the user goes through this interface,
// so that tests can answer it without running a modal event loop.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Brings the application in front, shows the alert and waits until the user
    // answers it. Returns the position of the pressed button in alert.buttons.
    virtual int runAlert(const Alert& alert) = 0;

    // Lets the user pick an existing keychain file or name a new one.
    // No value when the user cancels.
    virtual std::optional<QString> chooseKeychainFile() = 0;

    // Asks for the password of the keychain file at path; attempt counts from 1.
    // No value when the user refuses.
    virtual std::optional<SecretBytes> askKeychainPassword(const QString& path, int attempt) = 0;

    // Asks for the password of a new keychain file at path, entered twice.
    // No value when the user refuses.
    virtual std::optional<SecretBytes> askNewKeychainPassword(const QString& path) = 0;
};

// Which paths the keychain file dialog offers: folders to move through and
// files ending in ".keychain". A folder with an extension (a bundle) is hidden.
bool keychainFileDialogShows(const QString& path);
