#pragma once

#include <QObject>

// Tells when the desktop locks the screen: the screen saver's ActiveChanged(true) on
// the session bus (org.freedesktop.ScreenSaver, and GNOME's org.gnome.ScreenSaver), and
// logind's Lock signal for this process's session on the system bus, where there is one.
// Without either bus it never tells.
class ScreenLockSignals final : public QObject {
    Q_OBJECT

public:
    explicit ScreenLockSignals(QObject* parent = nullptr);

Q_SIGNALS:
    void screenLocked();

private Q_SLOTS:
    // Slots by name: Qt's D-Bus signal connections take no function pointers.
    void screenSaverActiveChanged(bool active);
    void sessionLocked();

private:
    void followLogindSession();
};
