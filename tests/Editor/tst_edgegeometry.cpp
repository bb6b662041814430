#include "EdgeGeometry.h"
#include "QmdKelvoTypes.h"
#include "SceneFixture.h"

#include <QTest>

#include <cmath>

namespace {

// The path's points in order.
QList<QPointF> pointsOf(const QPainterPath& path)
{
    QList<QPointF> points;
    for (int i = 0; i < path.elementCount(); ++i)
        points << QPointF(path.elementAt(i));
    return points;
}

bool near(QPointF a, QPointF b)
{
    return std::abs(a.x() - b.x()) < 1e-9 && std::abs(a.y() - b.y()) < 1e-9;
}

// Where the arrow's tip lies: 9 units beyond its base along its direction.
QPointF tipOf(const EdgeGeometry& g)
{
    const double a = g.arrowAngle * M_PI / 180.0;
    return g.arrowPos + QPointF(9.0 * std::cos(a), 9.0 * std::sin(a));
}

const QSizeF Label(20, 12);
const double Gap = 4.5;

} // namespace

class TestEdgeGeometry : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initTickGeometryAt72Dpi(); }

    void bendsAndArrows_data()
    {
        QTest::addColumn<QPointF>("to");
        QTest::addColumn<int>("pathType");
        QTest::addColumn<QList<QPointF>>("points");
        QTest::addColumn<double>("angle");
        QTest::addColumn<QPointF>("tip");
        // Horizontal leg first, then down into the node.
        QTest::newRow("city block")
            << QPointF(100, 50) << int(QmdKelvo::CityBlock)
            << QList<QPointF> {{10, 0}, {100, 0}, {100, 31}} << 90.0 << QPointF(100, 40);
        // Vertical leg first, then right into the node.
        QTest::newRow("flipped") << QPointF(100, 50) << int(QmdKelvo::CityBlockFlipped)
                                 << QList<QPointF> {{0, 10}, {0, 50}, {81, 50}} << 0.0
                                 << QPointF(90, 50);
        // The vertical leg is shorter than the arrow: the bend moves back and the arrow
        // enters horizontally.
        QTest::newRow("short second leg")
            << QPointF(100, 10) << int(QmdKelvo::CityBlock)
            << QList<QPointF> {{10, 0}, {81, 0}, {81, 10}} << 0.0 << QPointF(90, 10);
        QTest::newRow("short flipped leg")
            << QPointF(-10, -100) << int(QmdKelvo::CityBlockFlipped)
            << QList<QPointF> {{0, -10}, {0, -81}, {-10, -81}} << -90.0 << QPointF(-10, -90);
        // A direct edge is one segment from rim to rim.
        QTest::newRow("direct") << QPointF(30, 40) << int(QmdKelvo::Direct)
                                << QList<QPointF> {{6, 8}, {30 - 19 * 0.6, 40 - 19 * 0.8}}
                                << std::atan2(40.0, 30.0) * 180.0 / M_PI << QPointF(24, 32);
        // One row or one column is straight whatever the path type.
        for (const int type : {0, 1, 2}) {
            QTest::newRow(qPrintable(QStringLiteral("row %1").arg(type)))
                << QPointF(-120, 0) << type << QList<QPointF> {{-10, 0}, {-101, 0}} << 180.0
                << QPointF(-110, 0);
            QTest::newRow(qPrintable(QStringLiteral("column %1").arg(type)))
                << QPointF(0, 120) << type << QList<QPointF> {{0, 10}, {0, 101}} << 90.0
                << QPointF(0, 110);
        }
    }

    void bendsAndArrows()
    {
        QFETCH(QPointF, to);
        QFETCH(int, pathType);
        QFETCH(QList<QPointF>, points);
        QFETCH(double, angle);
        QFETCH(QPointF, tip);
        // Only the difference of the ends counts.
        const QPointF from(240, -360);
        const EdgeGeometry g = EdgeGeometry::compute(from, from + to, pathType, Label);
        const QList<QPointF> drawn = pointsOf(g.path);
        QCOMPARE(drawn.size(), points.size());
        for (int i = 0; i < points.size(); ++i)
            QVERIFY2(near(drawn.at(i), points.at(i)),
                     qPrintable(QStringLiteral("point %1: %2, %3")
                                    .arg(i)
                                    .arg(drawn.at(i).x())
                                    .arg(drawn.at(i).y())));
        QVERIFY(qFuzzyCompare(g.arrowAngle, angle));
        QVERIFY(near(g.arrowPos, drawn.last()));
        // The tip touches the to-node's circle.
        QVERIFY(near(tipOf(g), tip));
    }

    void aRowsLabelIsCentredAboveOrBelow()
    {
        // Rightward: centred under the line's middle.
        EdgeGeometry g = EdgeGeometry::compute({0, 0}, {240, 0}, QmdKelvo::CityBlock, Label);
        QCOMPARE(g.labelPos.x() + Label.width() / 2, (10.0 + 221.0) / 2);
        QCOMPARE(g.labelPos.y(), Gap);
        // Leftward: centred over it.
        g = EdgeGeometry::compute({0, 0}, {-240, 0}, QmdKelvo::CityBlockFlipped, Label);
        QVERIFY(qFuzzyCompare(g.labelPos.x() + Label.width() / 2, (-10.0 - 221.0) / 2));
        QVERIFY(qFuzzyCompare(g.labelPos.y(), -Gap - Label.height()));
        // A column: beside the line at the gap, centred on its middle.
        g = EdgeGeometry::compute({0, 0}, {0, 240}, QmdKelvo::CityBlock, Label);
        QVERIFY(qFuzzyCompare(g.labelPos.x(), Gap));
        QVERIFY(qFuzzyCompare(g.labelPos.y() + Label.height() / 2, (10.0 + 221.0) / 2));
        // A small label counts as 10 units.
        g = EdgeGeometry::compute({0, 0}, {240, 0}, QmdKelvo::CityBlock, QSizeF(2, 3));
        QCOMPARE(g.labelPos, QPointF(115.5 - 5, Gap));
    }

    void aLabelBesideABend()
    {
        // Right and down: below the bend, right of the vertical leg.
        EdgeGeometry g = EdgeGeometry::compute({0, 0}, {100, 50}, QmdKelvo::CityBlock, Label);
        QCOMPARE(g.labelPos, QPointF(100 + Gap, Gap));
        // Right and up: above the bend.
        g = EdgeGeometry::compute({0, 0}, {100, -50}, QmdKelvo::CityBlock, Label);
        QCOMPARE(g.labelPos, QPointF(100 + Gap, -Gap - Label.height()));
        // Left and up, flipped: below the bend, right of the vertical leg.
        g = EdgeGeometry::compute({0, 0}, {-100, -50}, QmdKelvo::CityBlockFlipped, Label);
        QCOMPARE(g.labelPos, QPointF(Gap, -50 + Gap));
        // Right and down, flipped: below the bend, on it.
        g = EdgeGeometry::compute({0, 0}, {100, 50}, QmdKelvo::CityBlockFlipped, Label);
        QCOMPARE(g.labelPos, QPointF(0, 50 + Gap));
    }

    void aLabelIsMovedClearOfTheNodes()
    {
        // Under a short rightward line it would cover the from-node: it goes to that node's
        // left.
        EdgeGeometry g = EdgeGeometry::compute({0, 0}, {40, 0}, QmdKelvo::CityBlock, Label);
        QCOMPARE(g.labelPos, QPointF(-10 - Label.width() - Gap, Gap));
        // Leftward it would then cover the to-node: it goes to that node's left.
        g = EdgeGeometry::compute({0, 0}, {-40, 0}, QmdKelvo::CityBlock, Label);
        QCOMPARE(g.labelPos, QPointF(-40 - 10 - Label.width() - Gap, -Gap - Label.height()));
        // The height stays.
        g = EdgeGeometry::compute({0, 0}, {0, 35}, QmdKelvo::CityBlock, Label);
        QCOMPARE(g.labelPos, QPointF(-10 - Label.width() - Gap, 13 - Label.height() / 2));
    }

    void endsThatMeetGiveAFiniteLabel()
    {
        // 29 units apart, the line's start and end coincide.
        const EdgeGeometry g
            = EdgeGeometry::compute({0, 0}, {29, 0}, QmdKelvo::CityBlock, QSizeF(10, 10));
        QVERIFY(near(pointsOf(g.path).first(), pointsOf(g.path).last()));
        QVERIFY(std::isfinite(g.labelPos.x()) && std::isfinite(g.labelPos.y()));
        // Placed as for a rightward row line, above it, then clear of the from-node.
        QCOMPARE(g.labelPos, QPointF(-24.5, -14.5));
        QVERIFY(near(tipOf(g), {19, 0}));
    }
};

QTEST_MAIN(TestEdgeGeometry)
#include "tst_edgegeometry.moc"
