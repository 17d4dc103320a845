#include "app/UpdateProgressWindow.h"

#include "platform/FloatingWindow.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

UpdateProgressWindow::UpdateProgressWindow()
{
    setObjectName(QStringLiteral("updateProgress"));
    setWindowTitle(tr("Check for updates"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Checking for updates…"), this));
    // A bar without a range: the request gives no useful measure of progress.
    auto* bar = new QProgressBar(this);
    bar->setRange(0, 0);
    bar->setTextVisible(false);
    bar->setMinimumWidth(280);
    layout->addWidget(bar);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &UpdateProgressWindow::cancelRequested);
    layout->addWidget(buttons);
    FloatingWindow::configure(*this);
}

void UpdateProgressWindow::closeEvent(QCloseEvent* event)
{
    // Closing the window hides it; the check itself is stopped by whoever listens.
    QWidget::closeEvent(event);
    if (event->isAccepted()) {
        Q_EMIT cancelRequested();
    }
}
