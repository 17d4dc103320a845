#pragma once

#include "platform/Dialogs.h"

// The dialogs of a running Qt application: message boxes, the file dialog and
// password prompts, each modal.
class QtDialogs final : public Dialogs {
public:
    int runAlert(const Alert& alert) override;
    std::optional<QString> chooseKeychainFile() override;
    std::optional<SecretBytes> askKeychainPassword(const QString& path, int attempt) override;
    std::optional<SecretBytes> askNewKeychainPassword(const QString& path) override;
};
