#include "AutostartFolder.h"
#include "TestFiles.h"

#include "platform/login/XdgAutostartService.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

AutostartFolder::AutostartFolder()
{
    QDir().mkpath(autostart());
    QDir().mkpath(path(QStringLiteral("bin")));
    m_configHome.emplace("XDG_CONFIG_HOME", configHome().toUtf8());
}

QString AutostartFolder::configHome() const
{
    return m_dir.filePath(QStringLiteral("config"));
}

QString AutostartFolder::autostart() const
{
    return m_dir.filePath(QStringLiteral("config/autostart"));
}

QString AutostartFolder::path(const QString& relative) const
{
    return m_dir.filePath(relative);
}

QString AutostartFolder::makeProgram(const QString& relativePath) const
{
    const QString program = path(QStringLiteral("bin/") + relativePath);
    QDir().mkpath(QFileInfo(program).path());
    QFile file(program);
    if (file.open(QIODevice::WriteOnly)) {
        // Reports how it was started, so a launch through an entry can be checked.
        file.write("#!/bin/sh\nprintf '%s' \"$0\" > '" + startedMarker().toUtf8() + "'\n");
        file.close();
    }
    file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    return program;
}

void AutostartFolder::writeEntry(const QString& fileName, const QByteArray& text,
                                 const QDateTime& modified) const
{
    QFile file(QDir(autostart()).filePath(fileName));
    if (!file.open(QIODevice::WriteOnly)) {
        return;
    }
    file.write(text);
    file.flush(); // a later flush would change the time again
    if (modified.isValid()) {
        file.setFileTime(modified, QFileDevice::FileModificationTime);
    }
}

void AutostartFolder::writeEntryFor(const QString& fileName, const QString& program,
                                    const QDateTime& modified) const
{
    writeEntry(fileName,
               "[Desktop Entry]\nType=Application\nName=" + QFileInfo(program).fileName().toUtf8() +
                   "\nExec=" + program.toUtf8() + "\n",
               modified);
}

QStringList AutostartFolder::snapshot() const
{
    QStringList lines;
    const QFileInfoList files = QDir(autostart()).entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo& info : files) {
        lines.append(info.fileName() + QLatin1Char(' ') +
                     info.lastModified().toString(Qt::ISODateWithMs) + QLatin1Char(' ') +
                     QString::fromUtf8(readEntry(info.fileName()).toBase64()));
    }
    return lines;
}

QStringList AutostartFolder::entryFileNames() const
{
    return QDir(autostart()).entryList(QDir::Files, QDir::Name);
}

QByteArray AutostartFolder::readEntry(const QString& fileName) const
{
    return fileBytes(QDir(autostart()).filePath(fileName));
}

QStringList AutostartFolder::listedPrograms() const
{
    XdgAutostartService service(autostart());
    QList<LoginItem> items;
    service.copyItems(&items);
    QStringList programs;
    for (const LoginItem& item : std::as_const(items)) {
        programs.append(item.path);
    }
    return programs;
}

std::optional<bool> AutostartFolder::dexWouldStart(const QString& program) const
{
    const QString dex = QStandardPaths::findExecutable(QStringLiteral("dex"));
    if (dex.isEmpty()) {
        return std::nullopt;
    }
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome());
    environment.insert(QStringLiteral("XDG_CONFIG_DIRS"), path(QStringLiteral("no-system-dirs")));
    process.setProcessEnvironment(environment);
    process.start(dex, {QStringLiteral("--autostart"), QStringLiteral("--dry-run"),
                        QStringLiteral("--environment"), QStringLiteral("GNOME")});
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        return false;
    }
    const QString output =
        QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    // dex reports each program it would run as "Executing command: <command line>".
    const QStringList lines = output.split(QLatin1Char('\n'));
    return std::any_of(lines.cbegin(), lines.cend(), [&](const QString& line) {
        return line == QStringLiteral("Executing command: ") + program;
    });
}

QString AutostartFolder::startedMarker() const
{
    return path(QStringLiteral("started"));
}

std::optional<QString> AutostartFolder::launchWithGio(const QString& fileName) const
{
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (gio.isEmpty()) {
        return std::nullopt;
    }
    QFile::remove(startedMarker());
    QProcess process;
    process.start(gio, {QStringLiteral("launch"), QDir(autostart()).filePath(fileName)});
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        return QString::fromUtf8(process.readAllStandardError());
    }
    // The program runs detached; wait for its report.
    QFile marker(startedMarker());
    for (int i = 0; i < 200 && !marker.exists(); ++i) {
        QThread::msleep(50);
    }
    QThread::msleep(50);
    return marker.open(QIODevice::ReadOnly) ? QString::fromUtf8(marker.readAll()) : QString();
}

std::optional<QString> AutostartFolder::validate(const QString& fileName) const
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (tool.isEmpty()) {
        return std::nullopt;
    }
    QProcess process;
    process.start(tool, {QDir(autostart()).filePath(fileName)});
    if (!process.waitForFinished(30000)) {
        return QStringLiteral("desktop-file-validate did not finish");
    }
    const QString output =
        QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    if (process.exitCode() != 0 && output.isEmpty()) {
        return QStringLiteral("desktop-file-validate failed");
    }
    return output.trimmed();
}
