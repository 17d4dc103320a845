#pragma once

#include <QString>

// The desktop's clipboard.
class Clipboard {
public:
    virtual ~Clipboard() = default;

    // Makes text the clipboard's only content, marked as a secret so that
    // clipboard managers do not keep it in their history; false when the
    // clipboard did not take it.
    virtual bool setSecretText(const QString& text) = 0;

    // The clipboard's current plain text.
    virtual QString text() const = 0;

    // Empties the clipboard, whoever filled it; false when the clipboard could not be
    // reached.
    virtual bool clear() = 0;
};
