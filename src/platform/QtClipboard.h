#pragma once

#include "platform/Clipboard.h"

// The clipboard of the running Qt application.
class QtClipboard final : public Clipboard {
public:
    bool setSecretText(const QString& text) override;
    QString text() const override;
    bool clear() override;
};
