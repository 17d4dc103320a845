#include "app/StatusWindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QToolButton>
#include <QVBoxLayout>

StatusWindow::StatusWindow(QMenu* statusMenu, std::function<void()> onClose)
    : m_onClose(std::move(onClose))
{
    setWindowTitle(QStringLiteral("Keyloft"));
    const QIcon key(QStringLiteral(":/key.png"));
    setWindowIcon(key);
    auto* layout = new QVBoxLayout(this);
    auto* button = new QToolButton(this);
    button->setObjectName(QStringLiteral("statusMenuButton"));
    button->setText(tr("Passwords and commands"));
    button->setIcon(key);
    button->setIconSize(QSize(32, 32));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setMenu(statusMenu);
    layout->addWidget(button);
    auto* hint = new QLabel(trayHint(qEnvironmentVariable("XDG_CURRENT_DESKTOP")), this);
    hint->setObjectName(QStringLiteral("trayHintLabel"));
    hint->setWordWrap(true);
    layout->addWidget(hint);
    resize(sizeHint().expandedTo(QSize(420, 0)));
}

QString StatusWindow::trayHint(const QString& currentDesktop)
{
    const QString intro = tr("This desktop shows no system tray, so Keyloft keeps its menu in "
                             "this window. Closing the window quits Keyloft.");
    if (currentDesktop.split(QLatin1Char(':')).contains(QStringLiteral("GNOME"))) {
        return intro + QLatin1Char('\n') +
               tr("To get Keyloft's icon in the top bar, install the AppIndicator extension "
                  "(package gnome-shell-extension-appindicator), turn it on in the Extensions "
                  "app and start Keyloft again.");
    }
    return intro + QLatin1Char('\n') +
           tr("To get Keyloft's icon in your panel, add a system tray (notification area or "
              "status notifier) to the panel and start Keyloft again.");
}

void StatusWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    m_onClose();
}
