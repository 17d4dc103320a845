#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLabel;
class QWidget;

namespace Ui {
class About;
}

// The about window: the application's version and its copyright line. The window is
// made once, floats above ordinary windows, and is only hidden when the user closes
// it, so that every request shows the same window again.
class NetKeyloft_AboutWindowController : public QObject {
    Q_OBJECT

public:
    NetKeyloft_AboutWindowController();
    ~NetKeyloft_AboutWindowController() override;

    // Replaces the version text.
    void setAppVersion(const QString& version);
    // Centres the window and brings it to the front with the keyboard focus.
    void openWindow();
    QWidget* window() const;
    QLabel* version() const;
    QLabel* copyright() const;

    // The maker's line under the version.
    static QString copyrightLine();

private:
    std::unique_ptr<Ui::About> m_ui;
    std::unique_ptr<QWidget> m_window;
};
