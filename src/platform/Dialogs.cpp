#include "platform/Dialogs.h"

#include <QFileInfo>

bool keychainFileDialogShows(const QString& path)
{
    const QFileInfo info(path);
    const QString extension = info.suffix();
    if (!extension.isEmpty()) {
        return extension == QStringLiteral("keychain");
    }
    return info.isDir();
}
