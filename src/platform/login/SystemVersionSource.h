#pragma once

#include "platform/FourCharCode.h"

#include <QString>
#include <QtGlobal>

// Version selectors: 'sysv' the version packed as four binary-coded-decimal
// digits (10.3.9 is 0x1039), 'sys1' to 'sys3' the major, minor and bug-fix
// numbers as plain integers.
inline constexpr quint32 gestaltSystemVersion = fourCharCode("sysv");
inline constexpr quint32 gestaltSystemVersionMajor = fourCharCode("sys1");
inline constexpr quint32 gestaltSystemVersionMinor = fourCharCode("sys2");
inline constexpr quint32 gestaltSystemVersionBugFix = fourCharCode("sys3");

inline constexpr qint16 gestaltUnknownErr = -5550;
inline constexpr qint16 gestaltUndefSelectorErr = -5551;

// Answers the version selectors about the running operating system.
class SystemVersionSource {
public:
    virtual ~SystemVersionSource() = default;

    // Status 0 and *response set, or a non-zero status and *response untouched.
    virtual qint16 gestalt(quint32 selector, qint32* response) const = 0;
};

// The running Linux system's version: the kernel release ("6.1.0-18-amd64"
// is 6.1.0), read at every question. 'sysv' packs the numbers when each fits
// its digits and otherwise answers 0xFFFF, which sends readers to 'sys1' to 'sys3'.
class LinuxVersionSource : public SystemVersionSource {
public:
    // The running kernel's release.
    LinuxVersionSource() = default;
    // A given release text, for tests.
    explicit LinuxVersionSource(const QString& release);

    qint16 gestalt(quint32 selector, qint32* response) const override;

private:
    QString release() const;

    QString m_release; // empty: ask the running kernel
};
