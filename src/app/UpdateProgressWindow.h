#pragma once

#include <QWidget>

// The small window that shows while an update check waits for the network; its Cancel
// button and its close button both ask to stop the check.
class UpdateProgressWindow : public QWidget {
    Q_OBJECT

public:
    UpdateProgressWindow();

Q_SIGNALS:
    void cancelRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
};
