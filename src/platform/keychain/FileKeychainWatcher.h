#pragma once

#include "platform/keychain/FileKeychainFile.h"
#include "platform/keychain/KeychainWatcher.h"

#include <QFileSystemWatcher>
#include <QString>
#include <QStringList>

#include <functional>

// Watches a keychain file for versions its keychain object has not seen. Every writer
// replaces the file by renaming a new one over it, so the folder is watched (the file's
// own watch ends with the file it named) as well as the file, for a program that writes
// into it in place. An event is a change only when the file's stamp differs from the
// stamp of the version the keychain last read or wrote: the keychain's own writes, the
// temporary copies and the lock file beside it are no change. A sync program's conflict
// copy of the file that appears in the folder is a change as well (it is to be merged);
// one that was there before, and could not be merged, is not told again.
class FileKeychainWatcher final : public KeychainWatcher {
    Q_OBJECT

public:
    // known gives the stamp of the version the keychain holds now.
    FileKeychainWatcher(const QString& filePath, std::function<FileKeychainStamp()> known);

private:
    void look();
    // Whether a conflict copy appeared since the last look (one listing of the folder);
    // tells it when one did.
    bool lookForNewConflictCopies();

    QString m_filePath;
    std::function<FileKeychainStamp()> m_known;
    QStringList m_conflictCopies;
    QFileSystemWatcher m_watcher;
};
