#pragma once

#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <functional>

class Clock;

// Locks the keychain after a time without use of the program. Key presses and clicks in
// its windows and menus count as use, and so do commands that reach it from outside
// (noteUse). The time is read from a clock, so a system that slept past the limit locks
// at once on waking.
class IdleLock final : public QObject {
    Q_OBJECT

public:
    // limitMinutes gives the allowed idle time now, 0 for never; lock locks.
    IdleLock(const Clock& clock, std::function<int()> limitMinutes, std::function<void()> lock,
             QObject* parent = nullptr);
    ~IdleLock() override;

    void noteUse();
    // Locks when the time since the last use has reached the limit; the timer runs it.
    void checkIdle();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const Clock& m_clock;
    std::function<int()> m_limitMinutes;
    std::function<void()> m_lock;
    QDateTime m_lastUse;
    QTimer m_timer;
};
