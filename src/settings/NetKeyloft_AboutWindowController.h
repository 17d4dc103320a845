#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QWidget;

// The about window: the application's version and its copyright line.
class NetKeyloft_AboutWindowController : public QObject {
    Q_OBJECT

public:
    NetKeyloft_AboutWindowController();
    ~NetKeyloft_AboutWindowController() override;

    void setAppVersion(const QString& version);
    void openWindow();
    QWidget* window() const;

private:
    std::unique_ptr<QWidget> m_window;
};
