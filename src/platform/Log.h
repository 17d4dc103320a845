#pragma once

#include <QString>

// Writes one line to standard error, where the desktop session's journal keeps it.
// Never pass a secret.
void logLine(const QString& line);
