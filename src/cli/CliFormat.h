#pragma once

#include <QDateTime>
#include <QString>

// How keyloft-cli writes entries' fields as text.
namespace CliFormat {

// A field for a tab-separated line: backslash, tab, line feed and carriage return
// become \\, \t, \n and \r, so that every entry stays one line of four columns.
QString escapeField(const QString& field);

// A date in UTC, ISO 8601 ("2024-05-01T12:30:00Z"); "-" for a date that could not be read.
QString date(const QDateTime& date);

} // namespace CliFormat
