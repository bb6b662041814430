#ifndef HOVERPOINTS_H
#define HOVERPOINTS_H

#include <QBrush>
#include <QObject>
#include <QPen>
#include <QPointer>
#include <QPolygonF>
#include <QRectF>
#include <QSizeF>
#include <QVector>

class QWidget;

// Turns a widget into an editor of control points: it filters the widget's events, paints the
// points (and the line or curve through them) over the widget's own painting, and lets the
// user select and drag points with the left button, add them with a left click beside every
// point and remove them with a right click. Points are confined to a rectangle, may be locked
// to its edges and may be kept sorted along x or y; a point's lock stays with it when sorting
// reorders the points.
class HoverPoints : public QObject
{
    Q_OBJECT

public:
    enum PointShape { CircleShape = 0, RectangleShape = 1 };
    enum SortType { NoSort = 0, XSort = 1, YSort = 2 };
    enum ConnectionType { NoConnection = 0, LineConnection = 1, CurveConnection = 2 };
    enum LockType { LockToLeft = 0x01, LockToRight = 0x02, LockToTop = 0x04, LockToBottom = 0x08 };

    // Watches and paints on widget, which also becomes this object's parent. A shape other
    // than CircleShape draws the points as rectangles.
    HoverPoints(QWidget* widget, int shape);

    bool eventFilter(QObject* object, QEvent* event) override;

    // The rectangle points are confined to, in widget coordinates. Clicks add points only
    // inside it; while it has no area the widget's own rectangle confines them instead.
    QRectF boundingRect() const { return m_bounds; }
    void setBoundingRect(const QRectF& bounds) { m_bounds = bounds; }

    QPolygonF points() const { return m_points; }
    // Replaces the points, each confined to the rectangle, and frees them all. Emits nothing.
    void setPoints(const QPolygonF& points);

    QSizeF pointSize() const { return m_pointSize; }
    void setPointSize(const QSizeF& size) { m_pointSize = size; }

    int sortType() const { return m_sortType; }
    void setSortType(int sortType) { m_sortType = sortType; }

    int connectionType() const { return m_connectionType; }
    void setConnectionType(int connectionType) { m_connectionType = connectionType; }

    // One mask of LockType bits per point; 0 leaves a point free.
    QVector<uint> locks() const { return m_locks; }
    // Sets the masks of the first points; points beyond the list given are freed.
    void setLocks(const QVector<uint>& locks);
    void setPointLock(int index, uint lock);

    // Whether points may be added and removed with the mouse.
    bool editable() const { return m_editable; }
    void setEditable(bool editable) { m_editable = editable; }

    bool isEnabled() const { return m_enabled; }

    QPen connectionPen() const { return m_connectionPen; }
    void setConnectionPen(const QPen& pen) { m_connectionPen = pen; }
    QPen pointPen() const { return m_pointPen; }
    void setPointPen(const QPen& pen) { m_pointPen = pen; }
    QBrush pointBrush() const { return m_pointBrush; }
    void setPointBrush(const QBrush& brush) { m_pointBrush = brush; }
    QPen currentPointPen() const { return m_currentPointPen; }
    void setCurrentPointPen(const QPen& pen) { m_currentPointPen = pen; }
    QBrush currentPointBrush() const { return m_currentPointBrush; }
    void setCurrentPointBrush(const QBrush& brush) { m_currentPointBrush = brush; }

    // The selected point; -1 for none. It may equal the number of points, which selects none.
    int currentIndex() const { return m_currentIndex; }

    // Moves point index to point, confined to the rectangle and held at the edges it is locked
    // to. With snapToMiddle a y within 4 of the rectangle's vertical middle goes to the middle;
    // with emitChange the change is reported as firePointChange() does.
    void movePoint(int index, const QPointF& point, bool snapToMiddle, bool emitChange);
    // Sorts the points when a sort type is set, keeping the current point selected, and emits
    // pointsChanged(), and currentIndexChanged() when the current index moved.
    void firePointChange();

public slots:
    void setEnabled(bool enabled);
    void setDisabled(bool disabled) { setEnabled(!disabled); }
    // Removes a free point; a locked point stays. The current point, removed or not, is no
    // longer current. An index outside the points is ignored.
    void removeAt(int index);
    // Selects a point; the index is clamped to 0 up to the number of points.
    void setCurrentIndex(int index);
    // Moves the current point, if there is one, without snapping.
    void moveCurrentPoint(const QPointF& point);

signals:
    void mouseButtonPressed();
    void mouseButtonReleased();
    void pointsChanged(const QPolygonF& points);
    void currentIndexChanged(int index);

private:
    QRectF confiningRect() const;
    int pointAt(const QPointF& position) const;
    bool mousePress(const QPointF& position, Qt::MouseButton button);
    void sortPoints();
    void paintPoints();
    void repaint();

    QPointer<QWidget> m_widget;
    QPolygonF m_points;
    QRectF m_bounds;
    int m_shape;
    int m_sortType = NoSort;
    int m_connectionType = CurveConnection;
    QVector<uint> m_locks;
    QSizeF m_pointSize = QSizeF(11, 11);
    int m_currentIndex = -1;
    bool m_dragging = false;
    bool m_editable = true;
    bool m_enabled = true;
    QPen m_connectionPen;
    QPen m_pointPen;
    QBrush m_pointBrush;
    QPen m_currentPointPen;
    QBrush m_currentPointBrush;
};

#endif // HOVERPOINTS_H
