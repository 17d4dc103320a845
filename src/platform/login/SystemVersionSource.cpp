#include "platform/login/SystemVersionSource.h"

#include <QSysInfo>
#include <QVersionNumber>

namespace {

// Packed form of a version whose major number has at most two decimal digits
// and whose minor and bug-fix numbers have one each.
qint32 packedVersion(qint32 major, qint32 minor, qint32 bugFix)
{
    if (major > 99 || minor > 9 || bugFix > 9) {
        return 0xFFFF;
    }
    return ((major / 10) << 12) | ((major % 10) << 8) | (minor << 4) | bugFix;
}

} // namespace

LinuxVersionSource::LinuxVersionSource(const QString& release) : m_release(release) {}

QString LinuxVersionSource::release() const
{
    return m_release.isEmpty() ? QSysInfo::kernelVersion() : m_release;
}

qint16 LinuxVersionSource::gestalt(quint32 selector, qint32* response) const
{
    // fromString reads the leading numbers and stops at a suffix such as "-amd64".
    const QVersionNumber version = QVersionNumber::fromString(release());
    if (version.isNull()) {
        return gestaltUnknownErr;
    }
    switch (selector) {
    case gestaltSystemVersion:
        *response =
            packedVersion(version.majorVersion(), version.minorVersion(), version.microVersion());
        return 0;
    case gestaltSystemVersionMajor:
        *response = version.majorVersion();
        return 0;
    case gestaltSystemVersionMinor:
        *response = version.minorVersion();
        return 0;
    case gestaltSystemVersionBugFix:
        *response = version.microVersion();
        return 0;
    default:
        return gestaltUndefSelectorErr;
    }
}
