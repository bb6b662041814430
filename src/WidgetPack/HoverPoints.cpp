#include "HoverPoints.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

// v confined to [low, high]; a value that is not a number goes to low.
double confine(double v, double low, double high)
{
    if (!(v >= low))
        return low;
    return v > high ? high : v;
}

} // namespace

HoverPoints::HoverPoints(QWidget* widget, int shape)
    : QObject(widget)
    , m_widget(widget)
    , m_shape(shape)
    , m_connectionPen(QColor(255, 255, 255, 127), 2.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin)
    , m_pointPen(QColor(200, 200, 200, 191), 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin)
    , m_pointBrush(QColor(150, 150, 150, 127))
    , m_currentPointPen(QColor(255, 255, 255, 191), 1.0, Qt::SolidLine, Qt::SquareCap,
                        Qt::BevelJoin)
    , m_currentPointBrush(QColor(191, 191, 191, 127))
{
    widget->installEventFilter(this);
    connect(this, &HoverPoints::pointsChanged, widget, qOverload<>(&QWidget::update));
    connect(this, &HoverPoints::currentIndexChanged, widget, qOverload<>(&QWidget::update));
}

bool HoverPoints::eventFilter(QObject* object, QEvent* event)
{
    if (!m_widget || object != m_widget || !m_enabled)
        return false;

    switch (event->type()) {
    case QEvent::Paint: {
        // The widget paints itself first; with the field cleared, this filter lets that
        // nested delivery through.
        QPointer<QWidget> widget = m_widget;
        m_widget.clear();
        QCoreApplication::sendEvent(widget, event);
        m_widget = widget;
        if (m_widget)
            paintPoints();
        return true;
    }
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        return mousePress(mouse->position(), mouse->button());
    }
    case QEvent::MouseButtonRelease:
        m_dragging = false;
        emit mouseButtonReleased();
        return false;
    case QEvent::MouseMove:
        if (m_dragging && m_currentIndex >= 0 && m_currentIndex < m_points.size())
            movePoint(m_currentIndex, static_cast<QMouseEvent*>(event)->position(), true, true);
        return false;
    default:
        return false;
    }
}

bool HoverPoints::mousePress(const QPointF& position, Qt::MouseButton button)
{
    emit mouseButtonPressed();
    const int index = pointAt(position);

    if (button == Qt::LeftButton) {
        if (index >= 0) {
            m_currentIndex = index;
            emit currentIndexChanged(m_currentIndex);
            m_dragging = true;
            return true;
        }
        // New points go only inside the bounds as set, never into the widget's fallback.
        if (!m_editable || !m_bounds.contains(position))
            return false;
        int insertAt = 0;
        if (m_sortType == XSort || m_sortType == YSort) {
            const auto beyond = [this, &position](const QPointF& p) {
                return m_sortType == XSort ? p.x() > position.x() : p.y() > position.y();
            };
            insertAt
                = int(std::find_if(m_points.cbegin(), m_points.cend(), beyond) - m_points.cbegin());
        }
        m_points.insert(insertAt, position);
        m_locks.insert(insertAt, 0);
        m_currentIndex = insertAt;
        firePointChange();
        emit currentIndexChanged(m_currentIndex);
        m_dragging = true;
        return true;
    }

    if (button == Qt::RightButton && index >= 0 && m_editable) {
        removeAt(index);
        return true;
    }
    return false;
}

int HoverPoints::pointAt(const QPointF& position) const
{
    const double halfWidth = m_pointSize.width() / 2;
    const double halfHeight = m_pointSize.height() / 2;
    if (!(halfWidth > 0 && halfHeight > 0))
        return -1;
    for (int i = 0; i < m_points.size(); ++i) {
        const double dx = position.x() - m_points.at(i).x();
        const double dy = position.y() - m_points.at(i).y();
        const bool inside = m_shape == CircleShape
            ? (dx * dx) / (halfWidth * halfWidth) + (dy * dy) / (halfHeight * halfHeight) <= 1.0
            : std::abs(dx) <= halfWidth && std::abs(dy) <= halfHeight;
        if (inside)
            return i;
    }
    return -1;
}

QRectF HoverPoints::confiningRect() const
{
    if (m_bounds.width() > 0 && m_bounds.height() > 0)
        return m_bounds;
    return m_widget ? QRectF(0, 0, m_widget->width(), m_widget->height()) : QRectF();
}

void HoverPoints::setPoints(const QPolygonF& points)
{
    const QRectF rect = confiningRect();
    m_points.clear();
    m_points.reserve(points.size());
    for (const QPointF& p : points)
        m_points.append(QPointF(confine(p.x(), rect.left(), rect.right()),
                                confine(p.y(), rect.top(), rect.bottom())));
    m_locks.fill(0, m_points.size());
    repaint();
}

void HoverPoints::setLocks(const QVector<uint>& locks)
{
    m_locks = locks;
    m_locks.resize(m_points.size());
}

void HoverPoints::setPointLock(int index, uint lock)
{
    if (index >= 0 && index < m_locks.size())
        m_locks[index] = lock;
}

void HoverPoints::movePoint(int index, const QPointF& point, bool snapToMiddle, bool emitChange)
{
    if (index < 0 || index >= m_points.size())
        return;
    const QRectF rect = confiningRect();
    const uint lock = m_locks.at(index);

    double x = confine(point.x(), rect.left(), rect.right());
    if (lock & LockToLeft)
        x = rect.left();
    else if (lock & LockToRight)
        x = rect.right();

    double y = confine(point.y(), rect.top(), rect.bottom());
    if (lock & LockToTop)
        y = rect.top();
    else if (lock & LockToBottom)
        y = rect.bottom();

    const double middle = rect.top() + rect.height() * 0.5;
    if (snapToMiddle && std::abs(y - middle) < 4.0)
        y = middle;

    m_points[index] = QPointF(x, y);
    if (emitChange)
        firePointChange();
}

void HoverPoints::firePointChange()
{
    const int oldCurrent = m_currentIndex;
    if (m_sortType == XSort || m_sortType == YSort)
        sortPoints();
    emit pointsChanged(m_points);
    if (m_currentIndex != oldCurrent)
        emit currentIndexChanged(m_currentIndex);
}

void HoverPoints::sortPoints()
{
    // Points are sorted with their locks, stably. On a tie a point locked to the near edge
    // comes first and one locked to the far edge last, so that the edge points stay the ends.
    const bool byX = m_sortType == XSort;
    const uint nearEdge = byX ? LockToLeft : LockToTop;
    const uint farEdge = byX ? LockToRight : LockToBottom;
    const auto coordinate
        = [this, byX](int i) { return byX ? m_points.at(i).x() : m_points.at(i).y(); };
    const auto tieRank = [this, nearEdge, farEdge](int i) {
        const uint lock = m_locks.at(i);
        return (lock & farEdge ? 1 : 0) - (lock & nearEdge ? 1 : 0);
    };

    QVector<int> order(m_points.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const double ca = coordinate(a);
        const double cb = coordinate(b);
        return ca < cb || (ca == cb && tieRank(a) < tieRank(b));
    });

    QPolygonF points;
    QVector<uint> locks;
    points.reserve(order.size());
    locks.reserve(order.size());
    int current = m_currentIndex;
    for (int i = 0; i < order.size(); ++i) {
        points.append(m_points.at(order.at(i)));
        locks.append(m_locks.at(order.at(i)));
        if (order.at(i) == m_currentIndex)
            current = i;
    }
    m_points = points;
    m_locks = locks;
    m_currentIndex = current;
}

void HoverPoints::setEnabled(bool enabled)
{
    if (m_enabled == enabled)
        return;
    m_enabled = enabled;
    m_dragging = false;
    repaint();
}

void HoverPoints::removeAt(int index)
{
    if (index < 0 || index >= m_points.size())
        return;
    if (m_locks.at(index) == 0) {
        m_points.remove(index);
        m_locks.remove(index);
    }
    if (index == m_currentIndex)
        m_currentIndex = -1;
    firePointChange();
    emit currentIndexChanged(m_currentIndex);
}

void HoverPoints::setCurrentIndex(int index)
{
    m_currentIndex = std::clamp(index, 0, int(m_points.size()));
    repaint();
    emit currentIndexChanged(m_currentIndex);
}

void HoverPoints::moveCurrentPoint(const QPointF& point)
{
    if (m_currentIndex >= 0 && m_currentIndex < m_points.size())
        movePoint(m_currentIndex, point, false, true);
}

void HoverPoints::repaint()
{
    if (m_widget)
        m_widget->update();
}

void HoverPoints::paintPoints()
{
    if (m_points.isEmpty())
        return;
    QPainter painter(m_widget);
    painter.setRenderHint(QPainter::Antialiasing);

    if (m_connectionPen.style() != Qt::NoPen && m_connectionType != NoConnection) {
        painter.setPen(m_connectionPen);
        painter.setBrush(Qt::NoBrush);
        if (m_connectionType == CurveConnection) {
            QPainterPath path(m_points.at(0));
            for (int i = 1; i < m_points.size(); ++i) {
                const QPointF p1 = m_points.at(i - 1);
                const QPointF p2 = m_points.at(i);
                const double mx = p1.x() + (p2.x() - p1.x()) * 0.5;
                path.cubicTo(QPointF(mx, p1.y()), QPointF(mx, p2.y()), p2);
            }
            painter.drawPath(path);
        } else if (m_connectionType == LineConnection) {
            painter.drawPolyline(m_points);
        }
    }

    for (int i = 0; i < m_points.size(); ++i) {
        const bool current = i == m_currentIndex;
        painter.setPen(current ? m_currentPointPen : m_pointPen);
        painter.setBrush(current ? m_currentPointBrush : m_pointBrush);
        const QRectF shape(m_points.at(i).x() - m_pointSize.width() / 2,
                           m_points.at(i).y() - m_pointSize.height() / 2, m_pointSize.width(),
                           m_pointSize.height());
        if (m_shape == CircleShape)
            painter.drawEllipse(shape);
        else
            painter.drawRect(shape);
    }
}
