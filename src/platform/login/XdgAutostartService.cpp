#include "platform/login/XdgAutostartService.h"

#include "platform/login/DesktopEntryText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace {

const QLatin1String entrySuffix(".desktop");

// A file name made of the program's name, kept to the characters that desktop
// file names commonly use.
QString baseNameForProgram(const QString& path)
{
    QString name = QFileInfo(path).fileName();
    for (QChar& c : name) {
        const bool plain = (c.unicode() < 128 && c.isLetterOrNumber()) || c == QLatin1Char('-') ||
                           c == QLatin1Char('_') || c == QLatin1Char('.');
        if (!plain) {
            c = QLatin1Char('_');
        }
    }
    return name.isEmpty() ? QStringLiteral("login-item") : name;
}

// A program named without a folder is looked up the way the desktop will run it.
QString programPath(const QString& program)
{
    if (program.isEmpty() || program.contains(QLatin1Char('/'))) {
        return program;
    }
    const QString found = QStandardPaths::findExecutable(program);
    return found.isEmpty() ? program : found;
}

} // namespace

XdgAutostartService::XdgAutostartService(const QString& folder, const Clock& clock)
    : m_folder(folder), m_clock(clock)
{}

QString XdgAutostartService::standardFolder()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || QDir::isRelativePath(config)) {
        config = QDir::home().filePath(QStringLiteral(".config"));
    }
    return QDir(config).filePath(QStringLiteral("autostart"));
}

QString XdgAutostartService::folder() const
{
    return m_folder;
}

bool XdgAutostartService::isUsable()
{
    return QDir().mkpath(m_folder) && QFileInfo(m_folder).isDir();
}

qint32 XdgAutostartService::copyItems(QList<LoginItem>* items)
{
    QList<Entry> entries;
    const qint32 status = readEntries(&entries);
    if (status != LoginItemsStatus::noErr) {
        return status;
    }
    items->clear();
    for (const Entry& entry : std::as_const(entries)) {
        items->append(entry.item);
    }
    return LoginItemsStatus::noErr;
}

qint32 XdgAutostartService::appendItem(const LoginItem& item)
{
    if (!QDir().mkpath(m_folder)) {
        return LoginItemsStatus::dirNFErr;
    }
    QList<Entry> entries;
    const qint32 status = readEntries(&entries);
    if (status != LoginItemsStatus::noErr) {
        return status;
    }
    // Time stamps have a granularity coarser than a quick series of writes, so
    // the new entry is stamped explicitly after the newest one.
    QDateTime stamp = m_clock.nowUtc();
    if (!entries.isEmpty() && entries.last().modified >= stamp) {
        stamp = entries.last().modified.addMSecs(1);
    }
    return writeNewEntry(item, stamp);
}

qint32 XdgAutostartService::deleteItemAt(qsizetype position)
{
    QList<Entry> entries;
    const qint32 status = readEntries(&entries);
    if (status != LoginItemsStatus::noErr) {
        return status;
    }
    if (position < 0 || position >= entries.size()) {
        return LoginItemsStatus::errAENoSuchObject;
    }
    QFile file(entries.at(position).filePath);
    if (!file.remove()) {
        return statusForFileError(file.error());
    }
    return LoginItemsStatus::noErr;
}

qint32 XdgAutostartService::readEntries(QList<Entry>* entries) const
{
    const QFileInfo folderInfo(m_folder);
    if (!folderInfo.exists()) {
        return LoginItemsStatus::noErr; // no folder: no items yet
    }
    if (!folderInfo.isDir()) {
        return LoginItemsStatus::dirNFErr;
    }
    if (!folderInfo.isReadable()) {
        return LoginItemsStatus::permErr;
    }
    const QFileInfoList files =
        QDir(m_folder).entryInfoList({QStringLiteral("*.desktop")}, QDir::Files, QDir::Name);
    for (const QFileInfo& info : files) {
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly)) {
            continue; // a file we cannot read is no item we could show or remove
        }
        // An entry without a program (an empty Exec=, as desktop settings tools write to
        // turn a system-wide entry off) starts nothing, so it is no item either.
        const std::optional<LoginItem> item = DesktopEntryText::itemFromEntry(file.readAll());
        if (item && !item->path.isEmpty()) {
            entries->append(
                {info.filePath(), info.lastModified(), {programPath(item->path), item->hidden}});
        }
    }
    // Stable sort: entries of the same time keep their order by name.
    std::stable_sort(entries->begin(), entries->end(),
                     [](const Entry& a, const Entry& b) { return a.modified < b.modified; });
    return LoginItemsStatus::noErr;
}

qint32 XdgAutostartService::writeNewEntry(const LoginItem& item, const QDateTime& stamp)
{
    const QString baseName = baseNameForProgram(item.path);
    const QByteArray text = DesktopEntryText::entryForItem(item);
    for (int number = 1;; ++number) {
        const QString suffix = number == 1 ? QString() : QLatin1Char('-') + QString::number(number);
        QFile file(QDir(m_folder).filePath(baseName + suffix + entrySuffix));
        // NewOnly never replaces an entry, not even one made meanwhile by someone else.
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (file.exists()) {
                continue;
            }
            return statusForFileError(file.error());
        }
        const bool written = file.write(text) == text.size() && file.flush() &&
                             file.setFileTime(stamp, QFileDevice::FileModificationTime);
        if (!written) {
            const qint32 status = statusForFileError(file.error());
            file.remove();
            return status == LoginItemsStatus::noErr ? LoginItemsStatus::ioErr : status;
        }
        return LoginItemsStatus::noErr;
    }
}

qint32 XdgAutostartService::statusForFileError(QFileDevice::FileError error)
{
    switch (error) {
    case QFileDevice::NoError:
        return LoginItemsStatus::noErr;
    case QFileDevice::PermissionsError:
        return LoginItemsStatus::wrPermErr;
    case QFileDevice::ResourceError:
        return LoginItemsStatus::dskFulErr;
    default:
        return LoginItemsStatus::ioErr;
    }
}
