#pragma once

#include <QDateTime>

// Where the program reads the time of day. The application and keyloft-cli use the
// system's clock; tests hand in a clock they set, so that nothing waits for time to pass.
class Clock {
public:
    virtual ~Clock() = default;

    virtual QDateTime nowUtc() const = 0;

    // The system's clock, shared by everything that is not given another one.
    static const Clock& system();
};
