#pragma once

// Helpers the tests share for secrets and the files they check byte by byte.
#include "platform/SecretBytes.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <sys/stat.h>

inline SecretBytes secretOf(const QByteArray& bytes)
{
    return SecretBytes(bytes.constData(), std::size_t(bytes.size()));
}

// The whole content of a file; empty when it cannot be read.
inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Replaces a file's content; false when it cannot be written.
inline bool writeFileBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// The permission bits of a file (with set-id and sticky bits), or -1 when it is missing.
inline int fileMode(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}
