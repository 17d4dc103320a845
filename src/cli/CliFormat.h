#pragma once

#include <QDateTime>
#include <QString>

// How keyloft-cli writes entries' fields as text.
namespace CliFormat {

// A field for a tab-separated line: backslash, tab, line feed and carriage return
// become \\, \t, \n and \r, so that every entry stays one line of four columns; any other
// control character (C0, DEL, C1) becomes \xHH or \u00HH, so that a field cannot
// steer the terminal.
QString escapeField(const QString& field);

// Text for a terminal that keeps its line feeds and tabs: the other control characters
// become \r, \xHH or \u00HH as in escapeField.
QString escapeText(const QString& text);

// A date in UTC, ISO 8601 ("2024-05-01T12:30:00Z"); "-" for a date that could not be read.
QString date(const QDateTime& date);

} // namespace CliFormat
