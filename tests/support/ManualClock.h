#pragma once

#include "platform/Clock.h"

// A clock that stands still until the test moves it.
class ManualClock final : public Clock {
public:
    explicit ManualClock(QDateTime start = QDateTime(QDate(2026, 1, 1), QTime(12, 0),
                                                     Qt::UTC))
        : m_now(std::move(start))
    {}

    QDateTime nowUtc() const override { return m_now; }
    void advance(qint64 milliseconds) { m_now = m_now.addMSecs(milliseconds); }
    void set(QDateTime now) { m_now = std::move(now); }

private:
    QDateTime m_now;
};
