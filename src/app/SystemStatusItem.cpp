#include "app/StatusItem.h"

#include <QCursor>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>

namespace {

// The desktop's tray icon. A click with either button opens the menu.
class SystemStatusItem final : public StatusItem {
public:
    SystemStatusItem()
    {
        m_icon.setToolTip(QStringLiteral("Keyloft"));
        connect(&m_icon, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (m_menu && (reason == QSystemTrayIcon::Trigger ||
                                   reason == QSystemTrayIcon::DoubleClick)) {
                        m_menu->popup(QCursor::pos());
                    }
                });
    }

    void setImage(const QIcon& image) override { m_icon.setIcon(image); }
    void setMenu(QMenu* menu) override
    {
        m_menu = menu;
        m_icon.setContextMenu(menu);
    }
    void show() override { m_icon.show(); }

private:
    QSystemTrayIcon m_icon;
    QPointer<QMenu> m_menu;
};

} // namespace

std::unique_ptr<StatusItem> createSystemStatusItem()
{
    return std::make_unique<SystemStatusItem>();
}
