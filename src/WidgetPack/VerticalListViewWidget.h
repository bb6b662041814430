#ifndef VERTICALLISTVIEWWIDGET_H
#define VERTICALLISTVIEWWIDGET_H

#include <QWidget>

class QAbstractScrollArea;
class QScrollArea;
class QVBoxLayout;

// The widget of a scroll area that holds a vertical list: its width always equals the width
// of the area's viewport, less the vertical scroll bar while that shows, so that the list
// grows only downwards. Items go into `layout()`.
class VerticalListViewWidget : public QWidget
{
    Q_OBJECT

public:
    explicit VerticalListViewWidget(QWidget* parent = nullptr);
    ~VerticalListViewWidget() override;

    QVBoxLayout* listLayout() const { return m_layout; }
    // The scroll area that shows this widget (the scroll area's setWidget places it in the
    // area's viewport); null while there is none.
    QScrollArea* scrollArea() const;

    // The width that a list in a scroll area may take: the width of the area's viewport with
    // the vertical scroll bar, while that shows, left out.
    static int availableWidth(const QAbstractScrollArea* area);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitWidth();

    QVBoxLayout* m_layout;
};

#endif // VERTICALLISTVIEWWIDGET_H
