#pragma once

#include "platform/Clipboard.h"

// The clipboard of the running Qt application.
class QtClipboard final : public Clipboard {
public:
    void setSecretText(const QString& text) override;
    QString text() const override;
};
