#ifndef VERTICALGRAPHICSLISTVIEW_H
#define VERTICALGRAPHICSLISTVIEW_H

#include <QGraphicsView>
#include <QGraphicsWidget>
#include <QPointer>

// A graphics view that shows a vertical list held by one graphics widget: the widget is
// kept as wide as the view's viewport, less the vertical scroll bar while that shows, and
// the scene is fitted to it.
class VerticalGraphicsListView : public QGraphicsView
{
    Q_OBJECT

public:
    explicit VerticalGraphicsListView(QWidget* parent = nullptr);
    ~VerticalGraphicsListView() override;

    // The widget that holds the list; not owned.
    void setListWidget(QGraphicsWidget* widget);
    QGraphicsWidget* listWidget() const { return m_listWidget; }

    // Fits the list widget's width to the viewport and the scene to the list widget.
    void updatePortListRect();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QPointer<QGraphicsWidget> m_listWidget;
};

#endif // VERTICALGRAPHICSLISTVIEW_H
