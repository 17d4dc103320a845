#include "platform/ClipboardClearer.h"

#include "platform/Clipboard.h"
#include "platform/Clock.h"
#include "platform/SecretBytes.h"

namespace {

// The timer only wakes the clearer, which then compares the deadline with the clock:
// a timer's clock stands still while the computer sleeps, so a long single wait would
// leave a password on the clipboard for that long after waking. A short tick clears it
// within a second of the deadline whatever happened meanwhile.
constexpr std::chrono::milliseconds tick{1000};

QByteArray digestOf(const QString& text)
{
    return SecretBytes::fromUtf8(text).digest();
}

} // namespace

ClipboardClearer::ClipboardClearer(Clipboard& clipboard, const Clock& clock, QObject* parent)
    : QObject(parent), m_clipboard(clipboard), m_clock(clock)
{
    connect(&m_timer, &QTimer::timeout, this, &ClipboardClearer::checkDeadline);
}

void ClipboardClearer::copied(const QString& text, std::optional<std::chrono::milliseconds> delay)
{
    forget();
    if (!delay) {
        return;
    }
    m_digest = digestOf(text);
    m_deadline = m_clock.nowUtc().addMSecs(delay->count());
    m_timer.start(std::min(*delay, tick));
}

void ClipboardClearer::clearNow()
{
    if (!m_digest.isEmpty() && digestOf(m_clipboard.text()) == m_digest) {
        m_clipboard.clear();
    }
    forget();
}

void ClipboardClearer::checkDeadline()
{
    if (m_digest.isEmpty()) {
        return;
    }
    const qint64 left = m_clock.nowUtc().msecsTo(m_deadline);
    if (left <= 0) {
        clearNow();
    } else {
        m_timer.start(std::min(std::chrono::milliseconds(left), tick));
    }
}

std::optional<QDateTime> ClipboardClearer::deadline() const
{
    return m_digest.isEmpty() ? std::nullopt : std::optional<QDateTime>(m_deadline);
}

void ClipboardClearer::forget()
{
    m_timer.stop();
    m_digest.clear();
    m_deadline = QDateTime();
}
