#include "VerticalGraphicsListView.h"

#include "VerticalListViewWidget.h"

#include <QGraphicsScene>
#include <QGraphicsWidget>

VerticalGraphicsListView::VerticalGraphicsListView(QWidget* parent)
    : QGraphicsView(parent)
{ }

VerticalGraphicsListView::~VerticalGraphicsListView() = default;

void VerticalGraphicsListView::setListWidget(QGraphicsWidget* widget)
{
    m_listWidget = widget;
    updatePortListRect();
}

void VerticalGraphicsListView::updatePortListRect()
{
    if (!m_listWidget)
        return;
    m_listWidget->adjustSize();
    const qreal width = VerticalListViewWidget::availableWidth(this) - 4;
    m_listWidget->setMinimumWidth(width);
    m_listWidget->setMaximumWidth(width);
    const QRectF rect(0, 0, m_listWidget->size().width(), m_listWidget->size().height());
    if (QGraphicsScene* listScene = scene())
        listScene->setSceneRect(rect);
    else
        setSceneRect(rect);
}

void VerticalGraphicsListView::resizeEvent(QResizeEvent* event)
{
    QGraphicsView::resizeEvent(event);
    updatePortListRect();
}
