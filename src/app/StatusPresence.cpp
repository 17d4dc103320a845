// Where the status menu appears: in the desktop's tray, which may come up after the
// program at login, or in a window of its own on a desktop without a tray.

#include "app/NetKeyloft_StatusMenuController.h"

#include "app/StatusItem.h"
#include "app/StatusWindow.h"
#include "platform/Log.h"

#include <QDeadlineTimer>
#include <QMenu>
#include <QTimer>

namespace {

// How often to look for a tray while waiting for one.
constexpr int trayPollMs = 250;

} // namespace

void NetKeyloft_StatusMenuController::presentStatusMenu()
{
    if (m_env.trayPresent()) {
        showStatusItem();
        return;
    }
    // At login the panel often starts after the program; the tray icon is made only
    // once the tray is there, so that the toolkit picks the protocol that tray speaks.
    logLine(QStringLiteral("No system tray yet; waiting up to %1 seconds for one.")
                .arg(m_env.trayWaitMs / 1000.0));
    auto* poll = new QTimer(this);
    poll->setInterval(trayPollMs);
    connect(poll, &QTimer::timeout, this,
            [this, poll, deadline = QDeadlineTimer(m_env.trayWaitMs)] {
                const bool present = m_env.trayPresent();
                if (present || deadline.hasExpired()) {
                    poll->deleteLater();
                    poll->stop();
                    if (present) {
                        showStatusItem();
                    } else {
                        showStatusWindow();
                    }
                }
            });
    poll->start();
}

void NetKeyloft_StatusMenuController::showStatusItem()
{
    m_statusItem = m_env.statusItem();
    m_statusItem->setImage(QIcon(QStringLiteral(":/key.png")));
    m_statusItem->setMenu(m_menu.get());
    m_statusItem->show();
}

void NetKeyloft_StatusMenuController::showStatusWindow()
{
    logLine(QStringLiteral("No system tray appeared; showing the Keyloft window instead."));
    m_statusWindow = std::make_unique<StatusWindow>(m_menu.get(), [this] { quitAction(); });
    m_statusWindow->show();
    m_statusWindow->raise();
    m_statusWindow->activateWindow();
}
