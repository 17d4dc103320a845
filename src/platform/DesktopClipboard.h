#pragma once

#include "platform/Clipboard.h"

#include <QString>

#include <memory>

// The clipboard that reaches the user's desktop from a program without a focused
// window: on a Wayland session (Qt's platform "wayland" or "wayland-egl") the
// Wayland clipboard when wl-copy and wl-paste are installed, otherwise the clipboard
// of the running Qt application.
std::unique_ptr<Clipboard> createDesktopClipboard();

// The same choice for the Qt platform named platformName.
std::unique_ptr<Clipboard> createClipboardForPlatform(const QString& platformName);
