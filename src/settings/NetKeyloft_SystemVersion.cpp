#include "settings/NetKeyloft_SystemVersion.h"

#include "platform/login/ReadOnlyVolume.h"
#include "platform/login/SystemVersionSource.h"

#include <QCoreApplication>

namespace {

// Above this packed value (10.3.15) the packed form no longer holds the whole
// version, and the three numbers are asked one by one.
constexpr qint32 lastPackedVersion = 0x103F;

const SystemVersionSource& runningSystem()
{
    static const LinuxVersionSource source;
    return source;
}

void store(qint32* target, qint32 value)
{
    if (target != nullptr) {
        *target = value;
    }
}

} // namespace

NetKeyloft_SystemVersion::NetKeyloft_SystemVersion() : m_source(runningSystem()) {}

NetKeyloft_SystemVersion::NetKeyloft_SystemVersion(const SystemVersionSource& source,
                                                   const QString& applicationPath)
    : m_source(source), m_applicationPath(applicationPath)
{}

bool NetKeyloft_SystemVersion::getSystemVersionMajorMinorBugfix(qint32* major, qint32* minor,
                                                                qint32* bugfix) const
{
    store(major, 10);
    store(minor, 0);
    store(bugfix, 0);

    qint32 packed = 0;
    if (m_source.gestalt(gestaltSystemVersion, &packed) != 0) {
        return false;
    }
    if (packed > lastPackedVersion) {
        qint32 numbers[3] = {0, 0, 0};
        const quint32 selectors[3] = {gestaltSystemVersionMajor, gestaltSystemVersionMinor,
                                      gestaltSystemVersionBugFix};
        for (int i = 0; i < 3; ++i) {
            if (m_source.gestalt(selectors[i], &numbers[i]) != 0) {
                return false;
            }
        }
        store(major, numbers[0]);
        store(minor, numbers[1]);
        store(bugfix, numbers[2]);
        return true;
    }
    // Binary-coded decimal: two digits of major, one of minor, one of bug-fix.
    store(major, ((packed & 0xF000) >> 12) * 10 + ((packed & 0x0F00) >> 8));
    store(minor, (packed & 0x00F0) >> 4);
    store(bugfix, packed & 0x000F);
    return true;
}

template <typename MinorCondition>
bool NetKeyloft_SystemVersion::isTenWithMinor(MinorCondition condition) const
{
    qint32 major = 0;
    qint32 minor = 0;
    qint32 bugfix = 0;
    const bool known = getSystemVersionMajorMinorBugfix(&major, &minor, &bugfix);
    return major == 10 && condition(minor) && known;
}

bool NetKeyloft_SystemVersion::isTigerOrLater() const
{
    return isTenWithMinor([](qint32 minor) { return minor >= 4; });
}

bool NetKeyloft_SystemVersion::isLeopardOrLater() const
{
    return isTenWithMinor([](qint32 minor) { return minor >= 5; });
}

bool NetKeyloft_SystemVersion::isSnowLeopardOrLater() const
{
    return isTenWithMinor([](qint32 minor) { return minor >= 6; });
}

bool NetKeyloft_SystemVersion::isTiger() const
{
    return isTenWithMinor([](qint32 minor) { return minor == 4; });
}

bool NetKeyloft_SystemVersion::isLeopard() const
{
    return isTenWithMinor([](qint32 minor) { return minor == 5; });
}

bool NetKeyloft_SystemVersion::isSnowLeopard() const
{
    return isTenWithMinor([](qint32 minor) { return minor == 6; });
}

bool NetKeyloft_SystemVersion::isRunFromReadOnlyVolume() const
{
    const QString path = applicationPath();
    const bool readOnly = isOnReadOnlyVolume(path);
    // A plain text prefix, not a path component: "/VolumesX" matches too.
    const bool removable = path.startsWith(QLatin1String("/Volumes"));
    return readOnly || removable;
}

QString NetKeyloft_SystemVersion::applicationPath() const
{
    if (!m_applicationPath.isEmpty()) {
        return m_applicationPath;
    }
    return QCoreApplication::applicationDirPath();
}
