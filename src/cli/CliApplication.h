#pragma once

#include <QByteArrayList>

// Runs keyloft-cli with the given arguments as the system gave them (the program name
// first) and returns its exit status: 0 on success, 1 when an operation failed, 2 for a
// usage error, which includes an argument that is not UTF-8.
int runCli(const QByteArrayList& arguments);
