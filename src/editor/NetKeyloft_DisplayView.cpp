#include "editor/NetKeyloft_DisplayView.h"

#include <QPaintEvent>
#include <QPainter>

NetKeyloft_DisplayView::NetKeyloft_DisplayView(QWidget* parent) : QWidget(parent) {}

void NetKeyloft_DisplayView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::white);
}
