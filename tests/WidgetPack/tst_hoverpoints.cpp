#include "HoverPoints.h"

#include <QPainter>
#include <QSignalSpy>
#include <QWidget>
#include <QtTest>

#include <memory>

// A widget that fills itself with one colour and counts the events that reach it.
class RecordingWidget : public QWidget
{
public:
    static constexpr QRgb Background = 0xff203c5a;

    RecordingWidget() { resize(265, 80); }

    QHash<QEvent::Type, int> received;

protected:
    bool event(QEvent* event) override
    {
        ++received[event->type()];
        return QWidget::event(event);
    }
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QColor::fromRgba(Background));
    }
};

class TestHoverPoints : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void insertion();
    void emptyBoundsAddNothing();
    void snapToMiddle();
    void locksHoldTheirEdges();
    void rightClicks();
    void currentIndexRange();
    void removeAtCount();
    void edgeTies();
    void disabledPassesThrough();
    void painting();

private:
    void press(const QPoint& pos, Qt::MouseButton button = Qt::LeftButton);
    void drag(const QPoint& from, const QPoint& to);
    QImage render();

    std::unique_ptr<RecordingWidget> m_widget;
    HoverPoints* m_hover = nullptr;
};

// The curve editor's layout: a 265 x 80 widget with points confined to (34, 5, 197, 61), so
// x runs from 34 to 231 and y from 5 to 66, with the middle at y 35.5.
void TestHoverPoints::init()
{
    m_widget = std::make_unique<RecordingWidget>();
    m_hover = new HoverPoints(m_widget.get(), HoverPoints::CircleShape);
    m_hover->setBoundingRect(QRectF(34, 5, 197, 61));
    m_widget->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_widget.get()));
}

void TestHoverPoints::cleanup()
{
    m_widget.reset();
}

void TestHoverPoints::press(const QPoint& pos, Qt::MouseButton button)
{
    QTest::mousePress(m_widget.get(), button, Qt::NoModifier, pos);
    QTest::mouseRelease(m_widget.get(), button, Qt::NoModifier, pos);
}

void TestHoverPoints::drag(const QPoint& from, const QPoint& to)
{
    QTest::mousePress(m_widget.get(), Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(m_widget.get(), to);
    QTest::mouseRelease(m_widget.get(), Qt::LeftButton, Qt::NoModifier, to);
}

void TestHoverPoints::insertion()
{
    m_hover->setSortType(HoverPoints::XSort);
    m_hover->setPoints(QPolygonF {{34, 35}, {231, 35}});
    QSignalSpy points(m_hover, &HoverPoints::pointsChanged);
    QSignalSpy current(m_hover, &HoverPoints::currentIndexChanged);

    // Between the two points.
    press({100, 20});
    QCOMPARE(m_hover->points(), (QPolygonF {{34, 35}, {100, 20}, {231, 35}}));
    QCOMPARE(m_hover->currentIndex(), 1);
    QCOMPARE(points.count(), 1);
    QCOMPARE(points.at(0).at(0).value<QPolygonF>(), m_hover->points());
    QCOMPARE(current.last().at(0).toInt(), 1);
    QCOMPARE(m_hover->locks(), (QVector<uint> {0, 0, 0}));

    // Right of every point (level with the last, outside its circle).
    press({231, 60});
    QCOMPARE(m_hover->points().size(), 4);
    QCOMPARE(m_hover->points().at(3), QPointF(231, 60));
    QCOMPARE(m_hover->currentIndex(), 3);
    QCOMPARE(points.count(), 2);

    // Sorting by y.
    m_hover->setSortType(HoverPoints::YSort);
    m_hover->setPoints(QPolygonF {{50, 10}, {60, 30}, {70, 60}});
    press({200, 40});
    QCOMPARE(m_hover->points().at(2), QPointF(200, 40));
    QCOMPARE(m_hover->currentIndex(), 2);

    // Without sorting a new point goes first.
    m_hover->setSortType(HoverPoints::NoSort);
    m_hover->setPoints(QPolygonF {{50, 10}, {150, 30}});
    press({200, 40});
    QCOMPARE(m_hover->points(), (QPolygonF {{200, 40}, {50, 10}, {150, 30}}));
    QCOMPARE(m_hover->currentIndex(), 0);
    QCOMPARE(current.last().at(0).toInt(), 0);

    // Not editable, and outside the bounds: nothing is added and the widget gets the click.
    m_hover->setEditable(false);
    press({100, 50});
    m_hover->setEditable(true);
    press({20, 50});
    press({100, 70});
    QCOMPARE(m_hover->points().size(), 3);
    QCOMPARE(m_widget->received.value(QEvent::MouseButtonPress), 3);
}

void TestHoverPoints::emptyBoundsAddNothing()
{
    m_hover->setBoundingRect(QRectF());
    m_hover->setPoints(QPolygonF {{50, 50}, {400, -30}});
    // Without bounds the widget's rectangle confines the points.
    QCOMPARE(m_hover->points().at(1), QPointF(265, 0));

    for (const QPoint& pos : {QPoint(100, 20), QPoint(0, 0), QPoint(264, 79), QPoint(130, 40)})
        press(pos);
    QCOMPARE(m_hover->points().size(), 2);

    drag({50, 50}, {300, 90});
    QCOMPARE(m_hover->points().at(0), QPointF(265, 80));
}

void TestHoverPoints::snapToMiddle()
{
    m_hover->setPoints(QPolygonF {{100, 10}});

    QTest::mousePress(m_widget.get(), Qt::LeftButton, Qt::NoModifier, {100, 10});
    QTest::mouseMove(m_widget.get(), {120, 33});
    QCOMPARE(m_hover->points().at(0), QPointF(120, 35.5));
    QTest::mouseMove(m_widget.get(), {121, 39});
    QCOMPARE(m_hover->points().at(0), QPointF(121, 35.5));
    QTest::mouseMove(m_widget.get(), {122, 40});
    QCOMPARE(m_hover->points().at(0), QPointF(122, 40));
    QTest::mouseRelease(m_widget.get(), Qt::LeftButton, Qt::NoModifier, {122, 40});

    // Less than 4 away snaps; exactly 4 does not.
    m_hover->movePoint(0, {100, 31.6}, true, false);
    QCOMPARE(m_hover->points().at(0).y(), 35.5);
    m_hover->movePoint(0, {100, 31.5}, true, false);
    QCOMPARE(m_hover->points().at(0).y(), 31.5);

    m_hover->setCurrentIndex(0);
    QSignalSpy points(m_hover, &HoverPoints::pointsChanged);
    m_hover->moveCurrentPoint({90, 34});
    QCOMPARE(m_hover->points().at(0), QPointF(90, 34));
    QCOMPARE(points.count(), 1);

    // A release ends the drag: moves without a press move nothing.
    QTest::mousePress(m_widget.get(), Qt::LeftButton, Qt::NoModifier, {20, 75});
    QTest::mouseMove(m_widget.get(), {150, 20});
    QTest::mouseRelease(m_widget.get(), Qt::LeftButton, Qt::NoModifier, {150, 20});
    QCOMPARE(m_hover->points().at(0), QPointF(90, 34));
}

void TestHoverPoints::locksHoldTheirEdges()
{
    m_hover->setPoints(QPolygonF {{60, 20}, {100, 20}, {140, 20}, {180, 20}});
    m_hover->setLocks({HoverPoints::LockToLeft, HoverPoints::LockToRight, HoverPoints::LockToTop,
                       HoverPoints::LockToBottom});

    drag({60, 20}, {150, 45});
    QCOMPARE(m_hover->points().at(0), QPointF(34, 45));
    drag({34, 45}, {10, 50});
    QCOMPARE(m_hover->points().at(0), QPointF(34, 50));

    drag({100, 20}, {150, 45});
    QCOMPARE(m_hover->points().at(1), QPointF(231, 45));

    drag({140, 20}, {150, 45});
    QCOMPARE(m_hover->points().at(2), QPointF(150, 5));

    drag({180, 20}, {160, 45});
    QCOMPARE(m_hover->points().at(3), QPointF(160, 66));

    // Typed-in moves keep the locks too.
    m_hover->setCurrentIndex(1);
    m_hover->moveCurrentPoint({40, 10});
    QCOMPARE(m_hover->points().at(1), QPointF(231, 10));
    QCOMPARE(m_hover->locks().size(), 4);
}

void TestHoverPoints::rightClicks()
{
    m_hover->setSortType(HoverPoints::XSort);
    m_hover->setPoints(QPolygonF {{34, 35}, {130, 20}, {231, 35}});
    m_hover->setPointLock(0, HoverPoints::LockToLeft);
    m_hover->setPointLock(2, HoverPoints::LockToRight);
    QSignalSpy current(m_hover, &HoverPoints::currentIndexChanged);

    // A free point goes; the click does not reach the widget.
    press({130, 20}, Qt::RightButton);
    QCOMPARE(m_hover->points(), (QPolygonF {{34, 35}, {231, 35}}));
    QCOMPARE(m_hover->locks(), (QVector<uint> {HoverPoints::LockToLeft, HoverPoints::LockToRight}));
    QCOMPARE(m_widget->received.value(QEvent::MouseButtonPress), 0);

    // A locked point stays, but is no longer current.
    press({34, 35});
    QCOMPARE(m_hover->currentIndex(), 0);
    press({34, 35}, Qt::RightButton);
    QCOMPARE(m_hover->points().size(), 2);
    QCOMPARE(m_hover->currentIndex(), -1);
    QCOMPARE(current.last().at(0).toInt(), -1);
    QCOMPARE(m_widget->received.value(QEvent::MouseButtonPress), 0);

    // Beside every point, or while not editable, the right click is the widget's.
    press({130, 50}, Qt::RightButton);
    m_hover->setEditable(false);
    press({231, 35}, Qt::RightButton);
    QCOMPARE(m_hover->points().size(), 2);
    QCOMPARE(m_widget->received.value(QEvent::MouseButtonPress), 2);
}

void TestHoverPoints::currentIndexRange()
{
    m_hover->setPoints(QPolygonF {{50, 20}, {100, 20}, {150, 20}});
    QSignalSpy current(m_hover, &HoverPoints::currentIndexChanged);

    m_hover->setCurrentIndex(-5);
    QCOMPARE(m_hover->currentIndex(), 0);
    m_hover->setCurrentIndex(7);
    QCOMPARE(m_hover->currentIndex(), 3);
    QCOMPARE(current.count(), 2);
    QCOMPARE(current.at(1).at(0).toInt(), 3);

    // Index 3 designates no point: a drag that started on one moves nothing once it is set.
    QTest::mousePress(m_widget.get(), Qt::LeftButton, Qt::NoModifier, {100, 20});
    m_hover->setCurrentIndex(3);
    QTest::mouseMove(m_widget.get(), {120, 50});
    QTest::mouseRelease(m_widget.get(), Qt::LeftButton, Qt::NoModifier, {120, 50});
    m_hover->moveCurrentPoint({10, 10});
    QCOMPARE(m_hover->points(), (QPolygonF {{50, 20}, {100, 20}, {150, 20}}));

    m_hover->setPoints(QPolygonF());
    m_hover->setCurrentIndex(-1);
    QCOMPARE(m_hover->currentIndex(), 0);
}

void TestHoverPoints::removeAtCount()
{
    m_hover->setPoints(QPolygonF {{50, 20}, {100, 20}, {150, 20}});
    m_hover->setCurrentIndex(3);
    QSignalSpy points(m_hover, &HoverPoints::pointsChanged);
    QSignalSpy current(m_hover, &HoverPoints::currentIndexChanged);

    // What the Delete key passes on when no point is selected.
    m_hover->removeAt(m_hover->currentIndex());
    m_hover->removeAt(10);
    m_hover->removeAt(-1);
    QCOMPARE(m_hover->points().size(), 3);
    QCOMPARE(points.count(), 0);
    QCOMPARE(current.count(), 0);

    m_hover->removeAt(2);
    QCOMPARE(m_hover->points(), (QPolygonF {{50, 20}, {100, 20}}));
    QCOMPARE(points.count(), 1);
    QCOMPARE(m_hover->currentIndex(), 3);
    QCOMPARE(m_hover->locks().size(), 2);
}

void TestHoverPoints::edgeTies()
{
    m_hover->setSortType(HoverPoints::XSort);
    m_hover->setPoints(QPolygonF {{34, 15}, {130, 20}, {231, 50}});
    m_hover->setLocks({HoverPoints::LockToLeft, 0, HoverPoints::LockToRight});

    // Dragged onto the right edge, the free point ties with the last one, which stays last.
    QTest::mousePress(m_widget.get(), Qt::LeftButton, Qt::NoModifier, {130, 20});
    QTest::mouseMove(m_widget.get(), {300, 20});
    QCOMPARE(m_hover->points(), (QPolygonF {{34, 15}, {231, 20}, {231, 50}}));
    QCOMPARE(m_hover->currentIndex(), 1);
    // The drag goes on with the same point.
    QTest::mouseMove(m_widget.get(), {200, 25});
    QTest::mouseRelease(m_widget.get(), Qt::LeftButton, Qt::NoModifier, {200, 25});
    QCOMPARE(m_hover->points(), (QPolygonF {{34, 15}, {200, 25}, {231, 50}}));
    QCOMPARE(m_hover->locks(),
             (QVector<uint> {HoverPoints::LockToLeft, 0, HoverPoints::LockToRight}));

    // The end point still holds the right edge.
    drag({231, 50}, {100, 60});
    QCOMPARE(m_hover->points().at(2), QPointF(231, 60));

    // Onto the left edge, at the very spot of the first point: the locked point stays first
    // and the dragged one stays current.
    drag({200, 25}, {0, 15});
    QCOMPARE(m_hover->points(), (QPolygonF {{34, 15}, {34, 15}, {231, 60}}));
    QCOMPARE(m_hover->currentIndex(), 1);
    QCOMPARE(m_hover->locks(),
             (QVector<uint> {HoverPoints::LockToLeft, 0, HoverPoints::LockToRight}));
    m_hover->moveCurrentPoint({90, 10});
    QCOMPARE(m_hover->points(), (QPolygonF {{34, 15}, {90, 10}, {231, 60}}));

    // A click on the right edge adds a point beyond the end point, which sorting puts back
    // last; the new point stays current.
    press({231, 30});
    QCOMPARE(m_hover->points(), (QPolygonF {{34, 15}, {90, 10}, {231, 30}, {231, 60}}));
    QCOMPARE(m_hover->currentIndex(), 2);
    QCOMPARE(m_hover->locks(),
             (QVector<uint> {HoverPoints::LockToLeft, 0, 0, HoverPoints::LockToRight}));
}

void TestHoverPoints::disabledPassesThrough()
{
    m_hover->setPoints(QPolygonF {{100, 20}});
    QSignalSpy points(m_hover, &HoverPoints::pointsChanged);
    QSignalSpy pressed(m_hover, &HoverPoints::mouseButtonPressed);
    m_hover->setDisabled(true);
    QVERIFY(!m_hover->isEnabled());

    drag({100, 20}, {150, 40});
    press({60, 50});
    press({100, 20}, Qt::RightButton);
    QCOMPARE(m_widget->received.value(QEvent::MouseButtonPress), 3);
    QCOMPARE(m_widget->received.value(QEvent::MouseButtonRelease), 3);
    QCOMPARE(m_widget->received.value(QEvent::MouseMove), 1);
    QCOMPARE(m_hover->points(), (QPolygonF {{100, 20}}));
    QCOMPARE(points.count(), 0);
    QCOMPARE(pressed.count(), 0);

    m_hover->setEnabled(true);
    press({100, 20});
    QCOMPARE(m_widget->received.value(QEvent::MouseButtonPress), 3);
    QCOMPARE(pressed.count(), 1);
}

QImage TestHoverPoints::render()
{
    QImage image(m_widget->size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    m_widget->received.clear();
    m_widget->render(&image);
    return image;
}

// Whether a pixel within one of pos has the colour.
static bool colorNear(const QImage& image, const QPoint& pos, QRgb color)
{
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            if (image.pixel(pos + QPoint(dx, dy)) == color)
                return true;
        }
    }
    return false;
}

void TestHoverPoints::painting()
{
    const QRgb line = qRgb(0, 255, 0);
    const QRgb point = qRgb(255, 0, 0);
    const QRgb currentPoint = qRgb(0, 0, 255);
    m_hover->setConnectionPen(QPen(QColor(line), 3));
    m_hover->setPointPen(Qt::NoPen);
    m_hover->setPointBrush(QColor(point));
    m_hover->setCurrentPointPen(Qt::NoPen);
    m_hover->setCurrentPointBrush(QColor(currentPoint));
    m_hover->setPoints(QPolygonF {{40, 10}, {220, 60}});
    m_hover->setCurrentIndex(1);

    // On the curve a quarter of the way along (t = 0.25) the path is near (93.4, 17.8); the
    // straight line passes x 93.4 at y 24.8.
    const QPoint onCurve(93, 18);
    const QPoint onLine(93, 25);

    QImage image = render();
    QCOMPARE(m_widget->received.value(QEvent::Paint), 1);
    QCOMPARE(image.pixel(250, 75), RecordingWidget::Background);
    QCOMPARE(image.pixel(40, 10), point);
    QCOMPARE(image.pixel(220, 60), currentPoint);
    QVERIFY(colorNear(image, onCurve, line));
    QVERIFY(!colorNear(image, onLine, line));
    QCOMPARE(image.pixel(onLine), RecordingWidget::Background);

    m_hover->setConnectionType(HoverPoints::LineConnection);
    image = render();
    QVERIFY(colorNear(image, onLine, line));
    QVERIFY(!colorNear(image, onCurve, line));

    m_hover->setConnectionType(HoverPoints::NoConnection);
    image = render();
    QCOMPARE(image.pixel(onLine), RecordingWidget::Background);
    QCOMPARE(image.pixel(onCurve), RecordingWidget::Background);
    QCOMPARE(image.pixel(40, 10), point);

    // Rectangles fill their corners, circles do not.
    m_hover->setPointSize(QSizeF(21, 21));
    image = render();
    QCOMPARE(image.pixel(48, 18), RecordingWidget::Background);
    HoverPoints squares(m_widget.get(), HoverPoints::RectangleShape);
    m_hover->setEnabled(false);
    squares.setPointPen(Qt::NoPen);
    squares.setPointBrush(QColor(point));
    squares.setPointSize(QSizeF(21, 21));
    squares.setPoints(QPolygonF {{40, 20}});
    image = render();
    QCOMPARE(image.pixel(49, 29), point);
    QCOMPARE(m_widget->received.value(QEvent::Paint), 1);

    // Disabled, or with no points, the widget paints alone.
    squares.setEnabled(false);
    image = render();
    QCOMPARE(m_widget->received.value(QEvent::Paint), 1);
    QCOMPARE(image.pixel(40, 10), RecordingWidget::Background);
    QCOMPARE(image.pixel(220, 60), RecordingWidget::Background);
    m_hover->setEnabled(true);
    m_hover->setPoints(QPolygonF());
    image = render();
    QCOMPARE(m_widget->received.value(QEvent::Paint), 1);
    QCOMPARE(image.pixel(220, 60), RecordingWidget::Background);
}

QTEST_MAIN(TestHoverPoints)
#include "tst_hoverpoints.moc"
