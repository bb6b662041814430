#include "NetworkGrid.h"
#include "SceneFixture.h"

#include <QGraphicsView>
#include <QPainter>
#include <QTest>

#include <cmath>

namespace K = QmdKelvoKeys;

namespace {

const QColor Background(0, 0, 0);
const QColor DivisionLines(0, 0, 255);
const QColor PrincipalLines(0, 255, 0);
const QColor DivisionPoints(255, 0, 0);
const QColor PrincipalPoints(255, 255, 255);
const QColor Untouched(Qt::magenta);

// The scene's background painting, open to the test.
class BackgroundScene : public NetworkScene
{
public:
    using NetworkScene::drawBackground;
    using NetworkScene::NetworkScene;
};

// A picture of the background of `scene` at a scale, with tick 0 at `origin`.
QImage background(BackgroundScene& scene, double scale, QPointF origin,
                  QSize size = QSize(400, 300))
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Untouched);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setTransform(QTransform(scale, 0, 0, scale, origin.x(), origin.y()));
    scene.drawBackground(&painter, painter.transform().inverted().mapRect(QRectF(image.rect())));
    return image;
}

QImage paintGrid(NetworkGrid& grid, const NetworkGrid::Style& style, double scale, QPointF origin,
                 bool direct)
{
    QImage image(500, 400, QImage::Format_ARGB32_Premultiplied);
    image.fill(Untouched);
    QPainter painter(&image);
    painter.setTransform(QTransform(scale, 0, 0, scale, origin.x(), origin.y()));
    const QRectF exposed = painter.transform().inverted().mapRect(QRectF(image.rect()));
    if (direct)
        grid.paintDirect(&painter, exposed, style);
    else
        grid.paint(&painter, exposed, style);
    return image;
}

QColor at(const QImage& image, int x, int y)
{
    return image.pixelColor(x, y);
}

NetworkGrid::Style testStyle(qint64 divisions)
{
    NetworkGrid::Style style;
    style.background = Background;
    style.principalLines = PrincipalLines;
    style.principalPoints = PrincipalPoints;
    style.divisionLines = DivisionLines;
    style.divisionPoints = DivisionPoints;
    style.divisions = divisions;
    return style;
}

} // namespace

class TestNetworkGrid : public QObject
{
    Q_OBJECT

    struct Document : SceneFixture
    {
        Document()
        {
            scene = std::make_unique<BackgroundScene>(nullptr);
            scene->setController(controller.get());
            setDocumentData(K::StyleBackgroundColor, Background);
            setDocumentData(K::StyleDivisionLinesColor, DivisionLines);
            setDocumentData(K::StylePrincipalLinesColor, PrincipalLines);
            setDocumentData(K::StyleDivisionPointsColor, DivisionPoints);
            setDocumentData(K::StylePrincipalPointsColor, PrincipalPoints);
            setDocumentData(K::DivsPerPrincipal, 4);
        }
        BackgroundScene& backgroundScene() { return static_cast<BackgroundScene&>(*scene); }
    };

private slots:
    void initTestCase() { initTickGeometryAt72Dpi(); }

    // Principal lines and points every principal from tick 0, four divisions between, all on
    // whole pixels: at 100 % and 25 % through the cell, at 33 % (a principal of 39.6 pixels)
    // drawn directly.
    void theGridLiesOnTheTicks_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<int>("principal");
        QTest::addColumn<int>("division");
        QTest::addColumn<int>("between");
        QTest::newRow("100 %") << 1.0 << 120 << 30 << 15;
        QTest::newRow("25 %") << 0.25 << 30 << 8 << 4;
        QTest::newRow("33 %, direct") << 0.33 << 40 << 10 << 5;
    }

    void theGridLiesOnTheTicks()
    {
        QFETCH(double, scale);
        QFETCH(int, principal);
        QFETCH(int, division);
        QFETCH(int, between);
        Document d;
        const int ox = 10;
        const int oy = 130;
        const QImage image = background(d.backgroundScene(), scale, QPointF(ox, oy));
        QCOMPARE(at(image, ox, oy), PrincipalPoints);
        QCOMPARE(at(image, ox + principal, oy + principal), PrincipalPoints);
        QCOMPARE(at(image, ox + principal, oy - principal), PrincipalPoints);
        QCOMPARE(at(image, ox + division, oy + division), DivisionPoints);
        QCOMPARE(at(image, ox + principal, oy + between), PrincipalLines);
        QCOMPARE(at(image, ox + between, oy + principal), PrincipalLines);
        QCOMPARE(at(image, ox + division, oy + between), DivisionLines);
        QCOMPARE(at(image, ox + between, oy + between), Background);
        QCOMPARE(at(image, 0, 0).alpha(), 255);
        QCOMPARE(at(image, 399, 299).alpha(), 255);
    }

    void theCellAndTheDirectDrawingAgree_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<qint64>("divisions");
        QTest::addColumn<QPointF>("origin");
        QTest::newRow("100 %, 4") << 1.0 << qint64(4) << QPointF(7, 13);
        QTest::newRow("25 %, 7") << 0.25 << qint64(7) << QPointF(-3, 2);
        QTest::newRow("75 %, 16, half pixels") << 0.75 << qint64(16) << QPointF(10.5, 3.49);
        QTest::newRow("400 %, 64") << 4.0 << qint64(64) << QPointF(-1000, -700);
        QTest::newRow("800 %, 100") << 8.0 << qint64(100) << QPointF(0, 0);
    }

    void theCellAndTheDirectDrawingAgree()
    {
        QFETCH(double, scale);
        QFETCH(qint64, divisions);
        QFETCH(QPointF, origin);
        NetworkGrid grid;
        NetworkGrid::Style style = testStyle(divisions);
        const QImage cached = paintGrid(grid, style, scale, origin, false);
        QCOMPARE(cached, paintGrid(grid, style, scale, origin, true));
        // Translucent layers too, and again after a change of style.
        style.divisionLines = QColor(0, 0, 255, 100);
        style.principalPoints = QColor(255, 255, 255, 128);
        QCOMPARE(paintGrid(grid, style, scale, origin, false),
                 paintGrid(grid, style, scale, origin, true));
    }

    void withoutTheGridOnlyTheBackgroundShows()
    {
        Document d;
        d.setDocumentData(K::ShowGrid, false);
        const QImage image = background(d.backgroundScene(), 1.0, QPointF(10, 20));
        for (const QPoint p : {QPoint(10, 20), QPoint(40, 50), QPoint(130, 35), QPoint(399, 299)})
            QCOMPARE(at(image, p.x(), p.y()), Background);
        d.setDocumentData(K::ShowGrid, true);
        QCOMPARE(at(background(d.backgroundScene(), 1.0, QPointF(10, 20)), 10, 20),
                 PrincipalPoints);
    }

    void aTransparentLayerHidesOnlyItself()
    {
        Document d;
        d.setDocumentData(K::StyleDivisionPointsColor, QColor(255, 0, 0, 0));
        const QImage image = background(d.backgroundScene(), 1.0, QPointF(10, 20));
        QCOMPARE(at(image, 40, 50), DivisionLines);
        QCOMPARE(at(image, 130, 140), PrincipalPoints);
        QCOMPARE(at(image, 130, 35), PrincipalLines);
    }

    void oddDivisionCountsStayBounded()
    {
        Document d;
        // Fewer than one division: the divisions fall on the principals.
        for (const qint64 divisions : {qint64(0), qint64(-3)}) {
            d.setDocumentData(K::DivsPerPrincipal, divisions);
            const QImage image = background(d.backgroundScene(), 1.0, QPointF(10, 20));
            QCOMPARE(at(image, 40, 50), Background);
            QCOMPARE(at(image, 130, 140), PrincipalPoints);
            QCOMPARE(at(image, 130, 50), PrincipalLines);
        }
        // Divisions narrower than a pixel are left out, also when drawn directly.
        for (const double scale : {1.0, 0.33}) {
            d.setDocumentData(K::DivsPerPrincipal, 1000000);
            const QImage image = background(d.backgroundScene(), scale, QPointF(10, 20));
            QCOMPARE(at(image, 11, 21), Background);
            QCOMPARE(at(image, 10, 20), PrincipalPoints);
        }
        // Dense divisions that are a pixel or more wide are drawn.
        d.setDocumentData(K::DivsPerPrincipal, 100);
        const QImage image = background(d.backgroundScene(), 4.0, QPointF(0, 0));
        QCOMPARE(at(image, 5, 5), DivisionPoints);
        QCOMPARE(at(image, 5, 7), DivisionLines);
    }

    void theGridFollowsDevicePixels()
    {
        Document d;
        QImage image(480, 480, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(2.0);
        image.fill(Untouched);
        QPainter painter(&image);
        d.backgroundScene().drawBackground(&painter, QRectF(0, 0, 240, 240));
        painter.end();
        QCOMPARE(at(image, 240, 240), PrincipalPoints);
        QCOMPARE(at(image, 60, 60), DivisionPoints);
        QCOMPARE(at(image, 61, 30), Background);
        QCOMPARE(at(image, 240, 30), PrincipalLines);
    }

    // A view below another widget paints through its window at an offset; the grid fills
    // the whole viewport all the same.
    void theGridFillsAViewInsideAWindow()
    {
        Document d;
        QWidget window;
        window.resize(300, 240);
        auto* view = new QGraphicsView(d.scene.get(), &window);
        view->setFrameShape(QFrame::NoFrame);
        view->setGeometry(0, 40, 300, 200);
        QPalette palette = view->viewport()->palette();
        palette.setColor(QPalette::Base, Untouched);
        view->viewport()->setPalette(palette);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QImage shot = window.grab().toImage();
        int untouched = 0;
        for (int y = 40; y < 240; ++y) {
            for (int x = 0; x < 300; ++x)
                untouched += shot.pixelColor(x, y) == Untouched ? 1 : 0;
        }
        QCOMPARE(untouched, 0);
    }

    void aSceneWithoutDocumentDrawsNoBackground()
    {
        BackgroundScene scene(nullptr);
        const QImage image = background(scene, 1.0, QPointF(0, 0));
        QCOMPARE(at(image, 0, 0), Untouched);
        QCOMPARE(at(image, 200, 150), Untouched);
    }
};

QTEST_MAIN(TestNetworkGrid)
#include "tst_networkgrid.moc"
