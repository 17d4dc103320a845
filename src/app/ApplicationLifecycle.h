#pragma once

#include <QObject>

#include <functional>

class NetKeyloft_StatusMenuController;
class QGuiApplication;
class QSocketNotifier;

// Follows the session: a request for the application's data, which the session manager
// sends at a log-out that the user may still cancel and at every checkpoint, saves what
// the user was editing and the application keeps running; the toolkit quitting ends it.
void followSession(QGuiApplication& application, NetKeyloft_StatusMenuController& controller);

// Refuses every request to quit that reaches the application through the toolkit
// unless the application has decided to end.
class TerminationGate final : public QObject {
    Q_OBJECT

public:
    explicit TerminationGate(std::function<bool()> mayQuit, QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<bool()> m_mayQuit;
};

// Turns SIGTERM, SIGINT and SIGHUP into a call on the main thread, where the
// application can save what the user was editing before it ends.
class TerminationSignals final : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    ~TerminationSignals() override;

private:
    static void handle(int signal);
    static int s_writeFd;
    int m_fds[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
    std::function<void()> m_onSignal;
};
