#pragma once

#include "platform/Clipboard.h"

// The clipboard of a Wayland session, reached through wl-copy and wl-paste
// (Debian's wl-clipboard). A Wayland compositor ignores a clipboard write from a
// program without a focused window, which a tray menu's command always is;
// wl-copy obtains the focus it needs by itself and keeps serving the text after
// it returns, until another program takes the clipboard.
class WaylandClipboard final : public Clipboard {
public:
    // Whether wl-copy and wl-paste are installed.
    static bool isAvailable();

    // Copies text and tells whether the clipboard now holds it; a failure is
    // written to the log (never the text). wl-copy offers a single MIME type, so
    // the text goes out as plain text only: the hint for clipboard managers
    // cannot travel with it on this path.
    bool setSecretText(const QString& text) override;
    QString text() const override;
    // Copies an empty text: the clipboard then offers nothing to paste.
    bool clear() override;
};
