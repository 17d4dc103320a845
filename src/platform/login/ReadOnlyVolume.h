#pragma once

#include <QString>

// Whether the file system that holds path is mounted read-only (statvfs's
// ST_RDONLY flag). False when the file system cannot be asked, for example
// because nothing exists at path.
bool isOnReadOnlyVolume(const QString& path);
