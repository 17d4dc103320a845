#pragma once

#include "platform/keychain/FileKeychainFile.h"
#include "platform/keychain/KeychainWatcher.h"

#include <QFileSystemWatcher>
#include <QString>

#include <functional>

// Watches a keychain file for versions its keychain object has not seen. Every writer
// replaces the file by renaming a new one over it, so the folder is watched (the file's
// own watch ends with the file it named) as well as the file, for a program that writes
// into it in place. An event is a change only when the file's stamp differs from the
// stamp of the version the keychain last read or wrote: the keychain's own writes, the
// temporary copies and the lock file beside it are no change.
class FileKeychainWatcher final : public KeychainWatcher {
    Q_OBJECT

public:
    // known gives the stamp of the version the keychain holds now.
    FileKeychainWatcher(const QString& filePath, std::function<FileKeychainStamp()> known);

private:
    void look();

    QString m_filePath;
    std::function<FileKeychainStamp()> m_known;
    QFileSystemWatcher m_watcher;
};
