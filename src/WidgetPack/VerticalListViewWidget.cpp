#include "VerticalListViewWidget.h"

#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

VerticalListViewWidget::VerticalListViewWidget(QWidget* parent)
    : QWidget(parent)
    , m_layout(new QVBoxLayout(this))
{
    m_layout->setContentsMargins(5, 5, 0, 0);
    m_layout->setSpacing(8);
    m_layout->setAlignment(Qt::AlignTop);
}

VerticalListViewWidget::~VerticalListViewWidget() = default;

QScrollArea* VerticalListViewWidget::scrollArea() const
{
    QWidget* viewport = parentWidget();
    return viewport ? qobject_cast<QScrollArea*>(viewport->parentWidget()) : nullptr;
}

int VerticalListViewWidget::availableWidth(const QAbstractScrollArea* area)
{
    // The maximum viewport size already leaves out a bar that is always on.
    int width = area->maximumViewportSize().width();
    const QScrollBar* bar = area->verticalScrollBar();
    if (bar && bar->isVisible() && area->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOn)
        width -= bar->width();
    return width;
}

void VerticalListViewWidget::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    fitWidth();
}

void VerticalListViewWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitWidth();
}

void VerticalListViewWidget::fitWidth()
{
    adjustSize();
    const QScrollArea* area = scrollArea();
    if (!area)
        return;
    // Only a change is set: setting the same widths again would schedule another paint.
    const int width = availableWidth(area);
    if (minimumWidth() != width)
        setMinimumWidth(width);
    if (maximumWidth() != width)
        setMaximumWidth(width);
}
