#include "platform/keychain/FileKeychainWatcher.h"

#include <QFileInfo>

FileKeychainWatcher::FileKeychainWatcher(const QString& filePath,
                                         std::function<FileKeychainStamp()> known)
    : m_filePath(filePath), m_known(std::move(known))
{
    m_watcher.addPath(QFileInfo(filePath).absolutePath());
    m_watcher.addPath(filePath);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &FileKeychainWatcher::look);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &FileKeychainWatcher::look);
}

void FileKeychainWatcher::look()
{
    // The file that the last watch named may have been replaced: watch the one there now.
    if (!m_watcher.files().contains(m_filePath)) {
        m_watcher.addPath(m_filePath);
    }
    FileKeychainStamp stamp;
    // A file that is gone is a change too: whoever listens finds it cannot be read.
    if (FileKeychainFile::stat(m_filePath, stamp) != errSecSuccess || stamp != m_known()) {
        Q_EMIT changed();
    }
}
