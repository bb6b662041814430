#include "ControllerCurves.h"

#include <QTranslator>
#include <QtTest>

#include <cmath>

using namespace QmdKelvo;

// Translates one controller name, so that the test sees when and in which context the table
// asks for its texts.
class OneNameTranslator : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char*, int) const override
    {
        if (QByteArray(context) == "CCListEdit"
            && QByteArray(sourceText) == "1 - Modulation Wheel (coarse)")
            return QStringLiteral("1 - Modulationsrad (grob)");
        return QString();
    }
};

class TestControllerCurves : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void table();
    void defaultValues_data();
    void defaultValues();
    void normalizedPoints_data();
    void normalizedPoints();
    void pointListEquality();
    void mappingEdges();
    void mappingRounding();
    void mappingRoundTrip();
    void degenerateRect();

private:
    OneNameTranslator m_translator;
};

static QString pointsText(const QPolygonF& points)
{
    QStringList parts;
    for (const QPointF& p : points)
        parts << QStringLiteral("(%1, %2)").arg(p.x(), 0, 'g', 17).arg(p.y(), 0, 'g', 17);
    return QLatin1Char('[') + parts.join(QStringLiteral(", ")) + QLatin1Char(']');
}

void TestControllerCurves::initTestCase()
{
    QCoreApplication::installTranslator(&m_translator);
}

void TestControllerCurves::table()
{
    // The default value reads the table, which no editor has built yet.
    QCOMPARE(curveDefaultValue(7, NoControllerCode), 16256);

    // The names were translated when the table was built and stay so.
    QCoreApplication::removeTranslator(&m_translator);
    const QVector<ControllerInfo>& table = controllerInfoTable();
    QCOMPARE(table.at(1).name, QStringLiteral("1 - Modulationsrad (grob)"));
    QCOMPARE(&controllerInfoTable(), &table);

    QCOMPARE(table.size(), 128);
    int withoutFine = 0;
    for (int code = 0; code < table.size(); ++code) {
        const ControllerInfo& info = table.at(code);
        QVERIFY2(info.name.startsWith(QString::number(code) + QStringLiteral(" - ")),
                 qPrintable(info.name));
        QCOMPARE(&controllerInfo(code), &info);

        const int reset = code == 7 || code == 39 ? 127 : code == 10 ? 64 : 0;
        QCOMPARE(int(info.defaultValue), reset);

        int fine = NoControllerCode;
        if (code < 32)
            fine = code + 32;
        else if (code == 99)
            fine = 98;
        else if (code == 101)
            fine = 100;
        QCOMPARE(info.lsbCode, fine);
        if (info.lsbCode == NoControllerCode)
            ++withoutFine;
    }
    QCOMPARE(withoutFine, 94);

    QCOMPARE(table.at(0).name, QStringLiteral("0 - Bank Select (coarse)"));
    QCOMPARE(table.at(7).name, QStringLiteral("7 - Channel Volume (coarse)"));
    QCOMPARE(table.at(44).name, QStringLiteral("44 - Effect control 1 (fine)"));
    QCOMPARE(table.at(64).name, QStringLiteral("64 - Damper Pedal On/Off (Sustain)"));
    QCOMPARE(table.at(127).name,
             QStringLiteral("127 - [CMM] Poly Mode On (+ mono off + all notes off)"));

    for (int code : {PitchBendCode, NoControllerCode, 128, 200}) {
        const ControllerInfo& info = controllerInfo(code);
        QVERIFY(info.name.isEmpty());
        QCOMPARE(int(info.defaultValue), 0);
        QCOMPARE(info.lsbCode, NoControllerCode);
    }
}

void TestControllerCurves::defaultValues_data()
{
    QTest::addColumn<int>("msb");
    QTest::addColumn<int>("lsb");
    QTest::addColumn<int>("value");

    QTest::newRow("volume alone") << 7 << -1 << 16256;
    QTest::newRow("volume with its fine part") << 7 << 39 << 16383;
    QTest::newRow("pan") << 10 << 42 << 8192;
    QTest::newRow("modulation") << 1 << 33 << 0;
    QTest::newRow("pitch bend") << -2 << -2 << 8192;
    QTest::newRow("pitch bend msb, volume lsb") << -2 << 39 << 8192;
    QTest::newRow("volume msb, pitch bend lsb") << 7 << -2 << 8192;
    QTest::newRow("no controllers") << -1 << -1 << 0;
    QTest::newRow("fine volume alone") << -1 << 39 << 127;
    QTest::newRow("code beyond the table") << 200 << 39 << 127;
    QTest::newRow("fine code beyond the table") << 7 << 200 << 16256;
}

void TestControllerCurves::defaultValues()
{
    QFETCH(int, msb);
    QFETCH(int, lsb);
    QFETCH(int, value);
    QCOMPARE(curveDefaultValue(msb, lsb), value);
}

void TestControllerCurves::normalizedPoints_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("msb");
    QTest::addColumn<int>("lsb");
    QTest::addColumn<QPolygonF>("points");
    QTest::addColumn<QPolygonF>("expected");

    const QPolygonF none;
    const QPolygonF twoPoints {{0.3, 500}, {0.8, 900}};
    QTest::newRow("single, empty") << int(SingleCurve) << 7 << -1 << none << QPolygonF {{0, 16256}};
    QTest::newRow("single, late start")
        << int(SingleCurve) << 1 << -1 << twoPoints << QPolygonF {{0, 500}, {0.8, 900}};
    QTest::newRow("single, at 0") << int(SingleCurve) << 1 << -1 << QPolygonF {{0, 12}, {0.5, 9}}
                                  << QPolygonF {{0, 12}, {0.5, 9}};
    QTest::newRow("linear, empty")
        << int(LinearCurve) << 10 << 42 << none << QPolygonF {{0, 8192}, {1, 8192}};
    QTest::newRow("cubic, empty pitch bend")
        << int(CubicCurve) << -2 << -1 << none << QPolygonF {{0, 8192}, {1, 8192}};
    QTest::newRow("linear, one point")
        << int(LinearCurve) << 1 << 33 << QPolygonF {{0, 700}} << QPolygonF {{0, 700}, {1, 700}};
    QTest::newRow("cubic, one point")
        << int(CubicCurve) << 7 << 39 << QPolygonF {{0, 700}} << QPolygonF {{0, 700}, {1, 700}};
    QTest::newRow("linear, complete")
        << int(LinearCurve) << 1 << -1 << QPolygonF {{0, 700}, {1, 20}}
        << QPolygonF {{0, 700}, {1, 20}};
    QTest::newRow("linear, late start")
        << int(LinearCurve) << 7 << -1 << QPolygonF {{0.4, 300}, {0.7, 900}}
        << QPolygonF {{0, 300}, {0.4, 300}, {0.7, 900}, {1, 300}};
    QTest::newRow("cubic, late start, ends at 1")
        << int(CubicCurve) << 7 << -1 << QPolygonF {{0.4, 300}, {1, 900}}
        << QPolygonF {{0, 300}, {0.4, 300}, {1, 900}};
    QTest::newRow("none") << int(NoCurve) << 7 << -1 << twoPoints << twoPoints;
    QTest::newRow("none, empty") << int(NoCurve) << 7 << -1 << none << none;
    QTest::newRow("unknown type") << 4 << 7 << -1 << twoPoints << twoPoints;
}

void TestControllerCurves::normalizedPoints()
{
    QFETCH(int, type);
    QFETCH(int, msb);
    QFETCH(int, lsb);
    QFETCH(QPolygonF, points);
    QFETCH(QPolygonF, expected);

    const QPolygonF result = normalizedCurvePoints(ControllerCurveType(type), msb, lsb, points);
    QVERIFY2(curvePointsEqual(result, expected),
             qPrintable(pointsText(result) + QStringLiteral(" != ") + pointsText(expected)));
    // A list that needs nothing comes back as it was, data shared.
    if (expected == points && !points.isEmpty())
        QCOMPARE(result.constData(), points.constData());

    if (type == LinearCurve || type == CubicCurve) {
        QCOMPARE(result.constFirst().x(), 0.0);
        QCOMPARE(result.constLast().x(), 1.0);
    }
}

void TestControllerCurves::pointListEquality()
{
    const QPolygonF a {{0.5, 0}, {1, 16383}};
    QVERIFY(curvePointsEqual(a, QPolygonF {{0.5 + 1e-12, 1e-12}, {1, 16383}}));
    QVERIFY(!curvePointsEqual(a, QPolygonF {{0.5 + 3e-12, 0}, {1, 16383}}));
    QVERIFY(!curvePointsEqual(a, QPolygonF {{0.5, 0}, {1, 16383 - 1e-9}}));
    QVERIFY(!curvePointsEqual(a, QPolygonF {{0.5, 0}}));
    QVERIFY(!curvePointsEqual(a, QPolygonF {{1, 16383}, {0.5, 0}}));
    QVERIFY(curvePointsEqual(QPolygonF(), QPolygonF()));

    // Shared data is equal even where the values themselves cannot be compared.
    const QPolygonF odd {{0, std::nan("")}};
    const QPolygonF copy = odd;
    QVERIFY(curvePointsEqual(odd, copy));
    QVERIFY(!curvePointsEqual(odd, QPolygonF {{0, std::nan("")}}));
}

// The drawing rectangle of the curve editor.
static const QRectF editRect(34, 5, 197, 61);

void TestControllerCurves::mappingEdges()
{
    QCOMPARE(curvePointToWidget(QPointF(0, 16383), editRect), QPointF(34, 5));
    QCOMPARE(curvePointToWidget(QPointF(1, 0), editRect), QPointF(231, 66));
    QCOMPARE(widgetToCurvePoint(QPointF(34, 5), editRect), QPointF(0, 16383));
    QCOMPARE(widgetToCurvePoint(QPointF(231, 66), editRect), QPointF(1, 0));
    QCOMPARE(widgetToCurvePoint(QPointF(130.5, 20), editRect).y(), 12354.0);

    // Neither axis is confined to the rectangle.
    const QPointF outside = widgetToCurvePoint(QPointF(231 + 197, 66 + 61), editRect);
    QCOMPARE(outside, QPointF(2, -16383));
}

void TestControllerCurves::mappingRounding()
{
    // 35.5 lies at 8191.5, half a unit above 8191.
    QCOMPARE(widgetToCurvePoint(QPointF(34, 35.5), editRect).y(), 8192.0);
    // 8192.5 rounds up too, not to the even neighbour.
    const double at8192AndAHalf = 5 + 61 * (1 - 8192.5 / 16383);
    QCOMPARE(widgetToCurvePoint(QPointF(34, at8192AndAHalf), editRect).y(), 8193.0);
    // Below the rectangle, -8191.5 rounds towards positive infinity as well.
    QCOMPARE(widgetToCurvePoint(QPointF(34, 96.5), editRect).y(), -8191.0);
    // Just below a half goes down.
    QCOMPARE(widgetToCurvePoint(QPointF(34, 35.5003), editRect).y(), 8191.0);
}

void TestControllerCurves::mappingRoundTrip()
{
    const QRectF rects[] = {editRect, QRectF(0, 0, 1, 1), QRectF(-20, 300, 1000, 4000)};
    for (const QRectF& rect : rects) {
        for (int value = 0; value <= CurveValueMax; ++value) {
            const double x = (value % 101) / 100.0;
            const QPointF back
                = widgetToCurvePoint(curvePointToWidget({x, double(value)}, rect), rect);
            if (back.y() != value || std::abs(back.x() - x) > 1e-12)
                QFAIL(qPrintable(QStringLiteral("value %1 at x %2 came back as (%3, %4)")
                                     .arg(value)
                                     .arg(x)
                                     .arg(back.x(), 0, 'g', 17)
                                     .arg(back.y(), 0, 'g', 17)));
        }
    }
}

void TestControllerCurves::degenerateRect()
{
    const QRectF rects[] = {QRectF(), QRectF(34, 5, 0, 61), QRectF(34, 5, 197, 0),
                            QRectF(34, 5, -197, 61), QRectF(34, 5, 197, -61)};
    for (const QRectF& rect : rects) {
        QCOMPARE(widgetToCurvePoint(QPointF(100, 30), rect), QPointF(0, 0));
        const QPointF p = curvePointToWidget(QPointF(0.5, 8192), rect);
        QVERIFY(std::isfinite(p.x()) && std::isfinite(p.y()));
    }
}

QTEST_GUILESS_MAIN(TestControllerCurves)
#include "tst_controllercurves.moc"
