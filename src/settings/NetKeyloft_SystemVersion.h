#pragma once

#include <QString>
#include <QtGlobal>

class SystemVersionSource;

// Questions about the running operating system: its version as three numbers,
// whether it is at least (or exactly) version 10.4, 10.5 or 10.6, and whether
// the application runs from a read-only or removable volume. Every query asks
// afresh; nothing is cached.
class NetKeyloft_SystemVersion {
public:
    // Asks the running system; the application's folder is the executable's.
    NetKeyloft_SystemVersion();
    // Asks source; applicationPath stands for the application's folder.
    NetKeyloft_SystemVersion(const SystemVersionSource& source, const QString& applicationPath);

    // Fills the non-null targets and answers true; answers false when the
    // version cannot be asked, leaving the targets at 10, 0 and 0.
    bool getSystemVersionMajorMinorBugfix(qint32* major, qint32* minor, qint32* bugfix) const;

    // Each is false unless the major number is exactly 10.
    bool isTigerOrLater() const;
    bool isLeopardOrLater() const;
    bool isSnowLeopardOrLater() const;
    bool isTiger() const;
    bool isLeopard() const;
    bool isSnowLeopard() const;

    // True when the application's folder is on a read-only volume or its path
    // begins with "/Volumes".
    bool isRunFromReadOnlyVolume() const;

private:
    template <typename MinorCondition> bool isTenWithMinor(MinorCondition condition) const;

    QString applicationPath() const;

    const SystemVersionSource& m_source;
    QString m_applicationPath;
};
