#pragma once

#include <QWidget>

#include <functional>

class QMenu;

// The program's window on a desktop without a tray: the status menu behind a button,
// and a line telling how to get a tray on this desktop. A program without a tray icon
// has nothing else on screen, so closing the window quits it.
class StatusWindow final : public QWidget {
    Q_OBJECT

public:
    StatusWindow(QMenu* statusMenu, std::function<void()> onClose);

    // How to get a tray on the desktop named by XDG_CURRENT_DESKTOP.
    static QString trayHint(const QString& currentDesktop);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::function<void()> m_onClose;
};
