#include "Clock.h"

namespace {

class SystemClock final : public Clock {
public:
    QDateTime nowUtc() const override { return QDateTime::currentDateTimeUtc(); }
};

} // namespace

const Clock& Clock::system()
{
    static const SystemClock clock;
    return clock;
}
