#include "app/IdleLock.h"

#include "platform/Clock.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

// How often the idle time is looked at: a lock comes at most this late.
constexpr int checkIntervalMs = 15000;

} // namespace

IdleLock::IdleLock(const Clock& clock, std::function<int()> limitMinutes,
                   std::function<void()> lock, QObject* parent)
    : QObject(parent), m_clock(clock), m_limitMinutes(std::move(limitMinutes)),
      m_lock(std::move(lock)), m_lastUse(clock.nowUtc())
{
    m_timer.setInterval(checkIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &IdleLock::checkIdle);
    m_timer.start();
    QCoreApplication::instance()->installEventFilter(this);
}

IdleLock::~IdleLock()
{
    QCoreApplication::instance()->removeEventFilter(this);
}

void IdleLock::noteUse()
{
    m_lastUse = m_clock.nowUtc();
}

void IdleLock::checkIdle()
{
    const int minutes = m_limitMinutes();
    if (minutes > 0 && m_lastUse.secsTo(m_clock.nowUtc()) >= qint64(minutes) * 60) {
        m_lock();
    }
}

bool IdleLock::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
        noteUse();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
