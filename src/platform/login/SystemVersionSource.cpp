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

LinuxVersionSource::LinuxVersionSource() : LinuxVersionSource(QSysInfo::kernelVersion()) {}

LinuxVersionSource::LinuxVersionSource(const QString& release)
{
    // fromString reads the leading numbers and stops at a suffix such as "-amd64".
    const QVersionNumber version = QVersionNumber::fromString(release);
    m_valid = !version.isNull();
    m_major = version.majorVersion();
    m_minor = version.minorVersion();
    m_bugFix = version.microVersion();
}

qint16 LinuxVersionSource::gestalt(quint32 selector, qint32* response) const
{
    if (!m_valid) {
        return gestaltUnknownErr;
    }
    switch (selector) {
    case gestaltSystemVersion:
        *response = packedVersion(m_major, m_minor, m_bugFix);
        return 0;
    case gestaltSystemVersionMajor:
        *response = m_major;
        return 0;
    case gestaltSystemVersionMinor:
        *response = m_minor;
        return 0;
    case gestaltSystemVersionBugFix:
        *response = m_bugFix;
        return 0;
    default:
        return gestaltUndefSelectorErr;
    }
}
