#pragma once

#include <QStringList>

// Runs keyloft-cli with the given arguments (the program name first) and returns its
// exit status: 0 on success, 1 when an operation failed, 2 for a usage error.
int runCli(const QStringList& arguments);
