#include "platform/DesktopClipboard.h"

#include "platform/QtClipboard.h"
#include "platform/WaylandClipboard.h"

#include <QGuiApplication>

std::unique_ptr<Clipboard> createDesktopClipboard()
{
    return createClipboardForPlatform(QGuiApplication::platformName());
}

std::unique_ptr<Clipboard> createClipboardForPlatform(const QString& platformName)
{
    // Qt's own Wayland clipboard needs a focused window of the program, so it is
    // used only where nothing better is installed. An X11 session, including a Qt
    // program on XWayland, keeps Qt's clipboard, which also carries the secret hint.
    if (platformName.startsWith(QStringLiteral("wayland")) && WaylandClipboard::isAvailable()) {
        return std::make_unique<WaylandClipboard>();
    }
    return std::make_unique<QtClipboard>();
}
