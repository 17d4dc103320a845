#pragma once

#include <QIcon>
#include <QObject>

#include <memory>

class QMenu;

// The application's item in the desktop's tray: an icon whose click opens the menu.
class StatusItem : public QObject {
    Q_OBJECT

public:
    virtual void setImage(const QIcon& image) = 0;
    virtual void setMenu(QMenu* menu) = 0;
    virtual void show() = 0;
};

// The tray item of the running desktop.
std::unique_ptr<StatusItem> createSystemStatusItem();
