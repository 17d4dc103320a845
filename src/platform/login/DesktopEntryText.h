#pragma once

#include "platform/login/LoginItemsService.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Reading and writing the desktop entries (freedesktop.org Desktop Entry files)
// that stand for login items.
namespace DesktopEntryText {

// The text of a desktop entry that starts the program at item.path, named after
// the program's file name.
QByteArray entryForItem(const LoginItem& item);

// The login item that an entry's text describes: the program of its Exec line
// and its hidden flag. Nothing when the text has no [Desktop Entry] group or
// no Exec key, since such a file starts nothing.
std::optional<LoginItem> itemFromEntry(const QByteArray& text);

// The Exec value that runs the program at path with no arguments, quoted and
// escaped as desktop entries require.
QString execValueForProgram(const QString& path);

// The program (first argument) of an Exec value, unquoted and unescaped.
QString programFromExecValue(const QString& value);

} // namespace DesktopEntryText
