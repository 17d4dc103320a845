#pragma once

#include "platform/Clock.h"
#include "platform/login/LoginItemsService.h"

#include <QDateTime>
#include <QFileDevice>
#include <QList>
#include <QString>

// Login items kept as the user's XDG autostart entries: one desktop entry file
// per item in $XDG_CONFIG_HOME/autostart (by default ~/.config/autostart), which
// every desktop following the freedesktop.org autostart rules starts at login.
//
// The list holds every *.desktop file with an Exec key, oldest first (by time of
// last change, then by file name); a new entry is stamped later than all others
// so that it stands at the end.
class XdgAutostartService : public LoginItemsService {
public:
    // The entries in folder; new entries are stamped by clock.
    explicit XdgAutostartService(const QString& folder = standardFolder(),
                                 const Clock& clock = Clock::system());

    // $XDG_CONFIG_HOME/autostart when that variable holds an absolute path,
    // else ~/.config/autostart.
    static QString standardFolder();

    QString folder() const;

    bool isUsable() override;
    qint32 copyItems(QList<LoginItem>* items) override;
    // Writes <program file name>.desktop, or -2, -3 ... when that name is taken.
    qint32 appendItem(const LoginItem& item) override;
    qint32 deleteItemAt(qsizetype position) override;

private:
    struct Entry {
        QString filePath;
        QDateTime modified;
        LoginItem item;
    };

    qint32 readEntries(QList<Entry>* entries) const;
    qint32 writeNewEntry(const LoginItem& item, const QDateTime& stamp);

    // The one place where errors of writing or removing an entry become statuses.
    static qint32 statusForFileError(QFileDevice::FileError error);

    QString m_folder;
    const Clock& m_clock;
};
