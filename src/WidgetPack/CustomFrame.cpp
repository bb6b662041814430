#include "CustomFrame.h"

#include <QPainter>

CustomFrame::CustomFrame(QWidget* parent, Qt::WindowFlags flags)
    : QFrame(parent, flags)
{ }

CustomFrame::~CustomFrame() = default;

void CustomFrame::paintEvent(QPaintEvent* event)
{
    // The frame itself is not drawn.
    QWidget::paintEvent(event);
    if (showPixmap) {
        QPainter painter(this);
        painter.drawPixmap(0, 0, pixmap);
    }
}
