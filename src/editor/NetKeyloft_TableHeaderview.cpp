#include "editor/NetKeyloft_TableHeaderview.h"

#include "editor/NetKeyloft_EditController.h"
#include "settings/NetKeyloft_Preferences.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>

NetKeyloft_TableHeaderview::NetKeyloft_TableHeaderview(QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent)
{
    setSectionsClickable(false);
    setSectionsMovable(false);
    setHighlightSections(false);
    setSortIndicatorShown(true);
    setStretchLastSection(true);
}

bool NetKeyloft_TableHeaderview::listIsEmpty() const
{
    return !m_controller || !m_controller->keychainController() ||
           m_controller->keychainController()->countOfKeychainItems() == 0;
}

void NetKeyloft_TableHeaderview::mousePressEvent(QMouseEvent* event)
{
    // The whole header is one button: no section selection, resizing or dragging.
    event->accept();
    if (event->button() != Qt::LeftButton || listIsEmpty()) {
        return;
    }
    m_controller->saveAllEditItemInfo();
    m_controller->sortItemsAscending(!m_controller->preferences().sortAscending());
}

void NetKeyloft_TableHeaderview::mouseReleaseEvent(QMouseEvent* event)
{
    event->accept();
}

void NetKeyloft_TableHeaderview::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A double click is two clicks: each reverses the order once.
    mousePressEvent(event);
}

QMenu* NetKeyloft_TableHeaderview::menuForEvent()
{
    if (listIsEmpty()) {
        return nullptr;
    }
    m_controller->saveAllEditItemInfo();
    return m_controller->tableHeaderMenu();
}

void NetKeyloft_TableHeaderview::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    if (QMenu* menu = menuForEvent()) {
        menu->popup(event->globalPos());
    }
}
