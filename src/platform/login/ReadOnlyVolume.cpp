#include "platform/login/ReadOnlyVolume.h"

#include <QFile>

#include <sys/statvfs.h>

bool isOnReadOnlyVolume(const QString& path)
{
    struct statvfs info {};
    if (::statvfs(QFile::encodeName(path).constData(), &info) != 0) {
        return false;
    }
    return (info.f_flag & ST_RDONLY) != 0;
}
