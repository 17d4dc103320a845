#pragma once

#include "ScopedEnvironment.h"
#include "platform/login/LoginItemsService.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

// A temporary XDG configuration folder with its autostart folder, made the
// process's XDG_CONFIG_HOME while it exists, and a folder for programs.
class AutostartFolder {
public:
    AutostartFolder();
    AutostartFolder(const AutostartFolder&) = delete;
    AutostartFolder& operator=(const AutostartFolder&) = delete;

    QString configHome() const;
    QString autostart() const;
    QString path(const QString& relative) const;

    // An executable file at bin/<relativePath> (folders are made as needed)
    // that, when run, writes the path it was started as to startedMarker().
    QString makeProgram(const QString& relativePath) const;

    // Writes autostart/<fileName>, last changed at modified when it is valid.
    void writeEntry(const QString& fileName, const QByteArray& text,
                    const QDateTime& modified = QDateTime()) const;
    // A minimal entry that starts program.
    void writeEntryFor(const QString& fileName, const QString& program,
                       const QDateTime& modified = QDateTime()) const;

    // File name -> contents and time of last change of every file in autostart.
    QStringList snapshot() const;
    QStringList entryFileNames() const;
    QByteArray readEntry(const QString& fileName) const;

    // The programs of the listed items, through the real service.
    QStringList listedPrograms() const;

    // Whether dex (an XDG autostart runner) would start program at login;
    // nothing when dex is not installed.
    std::optional<bool> dexWouldStart(const QString& program) const;

    // Launches autostart/<fileName> the way GNOME does (GLib's desktop-entry
    // launcher, through gio) and answers the path the program reports, empty
    // when it did not start; the launcher's complaint when it failed; nothing
    // when gio is not installed.
    std::optional<QString> launchWithGio(const QString& fileName) const;

    // desktop-file-validate's complaints about fileName, empty when it is valid;
    // nothing when the tool is not installed.
    std::optional<QString> validate(const QString& fileName) const;

private:
    QString startedMarker() const;

    QTemporaryDir m_dir;
    std::optional<ScopedEnvironment> m_configHome;
};
