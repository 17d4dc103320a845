#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <optional>

class Clipboard;
class Clock;

// Takes a secret off the clipboard a while after it was copied, but only while the
// clipboard still holds it: whatever the user copied since stays. It keeps no copy of
// the secret, only a digest to recognise it by.
class ClipboardClearer : public QObject {
    Q_OBJECT

public:
    // clipboard is the one the copies went to; the deadline is read from clock.
    ClipboardClearer(Clipboard& clipboard, const Clock& clock, QObject* parent = nullptr);

    // text has just been copied to the clipboard: clear it after delay, or never when
    // there is none. Either way an earlier copy is no longer looked after.
    void copied(const QString& text, std::optional<std::chrono::milliseconds> delay);

    // Clears the clipboard now if the last copy looked after is still on it (at quit).
    void clearNow();

    // Clears the clipboard if the deadline has passed, else waits on. The timer calls
    // it; tests call it after setting their clock.
    void checkDeadline();

    // When the clipboard will be cleared, if it will be.
    std::optional<QDateTime> deadline() const;

private:
    void forget();

    Clipboard& m_clipboard;
    const Clock& m_clock;
    QTimer m_timer;
    QByteArray m_digest;
    QDateTime m_deadline;
};
