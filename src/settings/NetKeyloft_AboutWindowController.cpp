#include "settings/NetKeyloft_AboutWindowController.h"

#include "platform/FloatingWindow.h"

#include "ui_About.h"

#include <QIcon>
#include <QWidget>

NetKeyloft_AboutWindowController::NetKeyloft_AboutWindowController()
    : m_ui(std::make_unique<Ui::About>()), m_window(std::make_unique<QWidget>())
{
    m_ui->setupUi(m_window.get());
    FloatingWindow::configure(*m_window);
    const QIcon key(QStringLiteral(":/key.png"));
    m_window->setWindowIcon(key);
    m_ui->icon->setPixmap(key.pixmap(64, 64));
    m_ui->copyright->setText(copyrightLine());
}

NetKeyloft_AboutWindowController::~NetKeyloft_AboutWindowController() = default;

QString NetKeyloft_AboutWindowController::copyrightLine()
{
    return tr("Copyright © 2026 Brenmoor. All rights reserved.");
}

void NetKeyloft_AboutWindowController::setAppVersion(const QString& version)
{
    m_ui->version->setText(version);
}

void NetKeyloft_AboutWindowController::openWindow()
{
    // A new version text may change the window's size: centre it at the size it will have.
    m_window->adjustSize();
    FloatingWindow::centre(*m_window);
    FloatingWindow::bringToFront(*m_window);
}

QWidget* NetKeyloft_AboutWindowController::window() const
{
    return m_window.get();
}

QLabel* NetKeyloft_AboutWindowController::version() const
{
    return m_ui->version;
}

QLabel* NetKeyloft_AboutWindowController::copyright() const
{
    return m_ui->copyright;
}
