#include "platform/keychain/FileKeychainWatcher.h"

#include "platform/keychain/ConflictCopies.h"

#include <QFileInfo>

#include <algorithm>

FileKeychainWatcher::FileKeychainWatcher(const QString& filePath,
                                         std::function<FileKeychainStamp()> known)
    : m_filePath(filePath), m_known(std::move(known)),
      m_conflictCopies(ConflictCopyMerger::conflictCopies(filePath))
{
    m_watcher.addPath(QFileInfo(filePath).absolutePath());
    m_watcher.addPath(filePath);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (!lookForNewConflictCopies()) {
            look();
        }
    });
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &FileKeychainWatcher::look);
}

bool FileKeychainWatcher::lookForNewConflictCopies()
{
    const QStringList copies = ConflictCopyMerger::conflictCopies(m_filePath);
    const bool appeared = std::any_of(copies.begin(), copies.end(), [this](const QString& name) {
        return !m_conflictCopies.contains(name);
    });
    m_conflictCopies = copies;
    if (appeared) {
        Q_EMIT changed();
    }
    return appeared;
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
