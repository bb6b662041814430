#include "GraphicsEdgeItem.h"
#include "SceneFixture.h"

#include <QGraphicsPolygonItem>
#include <QGraphicsSimpleTextItem>
#include <QPainter>
#include <QStyleOptionGraphicsItem>
#include <QTest>

#include <cmath>

namespace K = QmdKelvoKeys;

namespace {

const QColor EdgeColor(10, 20, 30);
const QColor AnnotationColor(200, 100, 0);
const QChar Infinity(0x221E);

// Two nodes one principal apart on a row, joined by an edge, with the document's style.
struct EdgeDocument : SceneFixture
{
    QmdItemId from = 0;
    QmdItemId to = 0;
    QmdItemId edge = 0;
    GraphicsEdgeItem* item = nullptr;

    EdgeDocument()
    {
        setDocumentData(K::StyleEdgesColor, EdgeColor);
        setDocumentData(K::StyleAnnotationColor, AnnotationColor);
        from = addNode(0, 0);
        to = addNode(P, 0);
        edge = addEdge(from, to);
        item = itemOf<GraphicsEdgeItem>(edge);
        select({});
    }
    // Selects exactly the items of these elements.
    void select(const QmdItemIdList& ids)
    {
        scene->clearSelection();
        for (const QmdItemId id : ids)
            scene->elementItem(id)->graphicsItem()->setSelected(true);
        settle();
    }
    void move(QmdItemId node, qint64 x, qint64 y)
    {
        setElementData(node, K::TickPos, QVariant::fromValue(QmdKelvo::TickPoint {x, y}));
    }
};

QString text(const char* latin1)
{
    return QString::fromUtf8(latin1).replace(QLatin1Char('~'), Infinity);
}

} // namespace

class TestEdgeItem : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initTickGeometryAt72Dpi(); }

    // ---- Signalling label -------------------------------------------------------------------

    void signallingTexts_data()
    {
        QTest::addColumn<int>("method");
        QTest::addColumn<QString>("usage");
        QTest::addColumn<QString>("edge5");
        QTest::addColumn<QString>("edge7");
        QTest::newRow("sequential") << 0 << "5=2,7=0,5=1"
                                    << "1(2),3(1)" << text("2(~)");
        QTest::newRow("random") << 2 << "5=2,7=0,5=1"
                                << "3/3" << text("~/3");
        QTest::newRow("parallel") << 1 << "5=2,7=0,5=1" << QString() << QString();
        QTest::newRow("unknown method") << 3 << "5=2,7=0,5=1" << QString() << QString();
        for (const int method : {0, 1, 2})
            QTest::newRow(qPrintable(QStringLiteral("one entry %1").arg(method)))
                << method << "5=1" << QString() << QString();
        // The trailing comma makes a second, empty entry.
        QTest::newRow("trailing comma") << 0 << "5=1,"
                                        << "1(1)" << QString();
        QTest::newRow("trailing comma random") << 2 << "5=1,"
                                               << "1/1" << text("~/1");
        QTest::newRow("empty entries count") << 0 << ",,7=3,5=0" << text("4(~)") << "3(3)";
        QTest::newRow("no counts") << 2 << "5=0,7=0" << text("~/~") << text("~/~");
    }

    void signallingTexts()
    {
        QFETCH(int, method);
        QFETCH(QString, usage);
        QFETCH(QString, edge5);
        QFETCH(QString, edge7);
        QCOMPARE(GraphicsEdgeItem::signallingText(method, usage, 5), edge5);
        QCOMPARE(GraphicsEdgeItem::signallingText(method, usage, 7), edge7);
    }

    void theLabelFollowsTheFromNode()
    {
        EdgeDocument d;
        const QmdItemId other = d.addNode(0, P);
        const QmdItemId second = d.addEdge(d.from, other);
        auto* secondItem = d.itemOf<GraphicsEdgeItem>(second);
        // Each new edge joined the node's usage list.
        QCOMPARE(d.item->signallingLabel()->text(), QStringLiteral("1(1)"));
        QCOMPARE(secondItem->signallingLabel()->text(), QStringLiteral("2(1)"));

        d.setElementData(d.from, K::ArcUsageList,
                         QStringLiteral("%1=2,%2=0,%1=1").arg(d.edge).arg(second));
        QCOMPARE(d.item->signallingLabel()->text(), QStringLiteral("1(2),3(1)"));
        QCOMPARE(secondItem->signallingLabel()->text(), text("2(~)"));
        d.setElementData(d.from, K::SignallingMethod, int(QmdKelvo::Random));
        QCOMPARE(d.item->signallingLabel()->text(), QStringLiteral("3/3"));
        QCOMPARE(secondItem->signallingLabel()->text(), text("~/3"));
        d.setElementData(d.from, K::SignallingMethod, int(QmdKelvo::Parallel));
        QVERIFY(d.item->signallingLabel()->text().isEmpty());

        // A usage list of the to-node is not this edge's.
        d.setElementData(d.from, K::SignallingMethod, int(QmdKelvo::Sequential));
        d.setElementData(d.to, K::ArcUsageList, QStringLiteral("%1=4,%1=4").arg(d.edge));
        QCOMPARE(d.item->signallingLabel()->text(), QStringLiteral("1(2),3(1)"));
    }

    void theLabelIsPlacedForItsText()
    {
        EdgeDocument d;
        // One out-edge: no text, placed as an empty label under the rightward line.
        QVERIFY(d.item->signallingLabel()->text().isEmpty());
        const double middle = (10.0 + (PrincipalUnits - 19.0)) / 2;
        QCOMPARE(d.item->signallingLabel()->pos(), QPointF(middle - 5.0, 4.5));
        d.setElementData(d.from, K::ArcUsageList, QStringLiteral("%1=12,%1=1").arg(d.edge));
        const QRectF label = d.item->signallingLabel()->boundingRect();
        QVERIFY(label.width() > 10.0);
        QCOMPARE(d.item->signallingLabel()->pos().x() + label.width() / 2, middle);
    }

    void theDocumentTogglesTheLabels()
    {
        EdgeDocument d;
        QVERIFY(!d.item->showSignalling());
        QVERIFY(!d.item->signallingLabel()->isVisible());
        d.setDocumentData(K::ShowEdgeSignalling, true);
        QVERIFY(d.item->showSignalling());
        QVERIFY(d.item->signallingLabel()->isVisible());
        // A new edge takes the toggle as it is.
        QVERIFY(
            d.itemOf<GraphicsEdgeItem>(d.addEdge(d.to, d.from))->signallingLabel()->isVisible());
        d.setDocumentData(K::ShowEdgeSignalling, false);
        QVERIFY(!d.item->signallingLabel()->isVisible());
    }

    // ---- Marker, colours and tool tip -------------------------------------------------------

    void theFromNodeAloneMarksItsEdges()
    {
        EdgeDocument d;
        const QmdItemId back = d.addEdge(d.to, d.from);
        auto* backItem = d.itemOf<GraphicsEdgeItem>(back);
        d.select({d.from});
        const int marker = d.controller->edgeMarker(d.from, d.edge);
        QCOMPARE(marker, 0);
        QCOMPARE(d.item->marker(), marker);
        const QColor markerColor = QmdKelvo::paletteColor(marker);
        QCOMPARE(d.item->currentColor(), markerColor);
        QCOMPARE(d.item->pen().color(), markerColor);
        QCOMPARE(d.item->arrowHead()->brush().color(), markerColor);
        QCOMPARE(d.item->signallingLabel()->brush().color(), markerColor);
        QCOMPARE(d.item->zValue(), 1.0);
        QCOMPARE(d.item->signallingLabel()->zValue(), 1.1);
        // The edge into the node is not marked.
        QCOMPARE(backItem->marker(), -1);
        QCOMPARE(backItem->currentColor(), EdgeColor);

        // A second selected element restores the edge's look.
        d.select({d.from, back});
        QCOMPARE(d.item->marker(), -1);
        QCOMPARE(d.item->currentColor(), EdgeColor);
        QCOMPARE(d.item->pen().color(), EdgeColor);
        QCOMPARE(d.item->arrowHead()->brush().color(), EdgeColor);
        QCOMPARE(d.item->signallingLabel()->brush().color(), AnnotationColor);
        QCOMPARE(d.item->zValue(), 0.0);
        QCOMPARE(d.item->signallingLabel()->zValue(), 0.0);

        // So does another node alone, and marks its own edges.
        d.select({d.from});
        d.select({d.to});
        QCOMPARE(d.item->currentColor(), EdgeColor);
        QCOMPARE(backItem->currentColor(), QmdKelvo::paletteColor(0));
    }

    void theMarkerIsTheNodesEntry()
    {
        EdgeDocument d;
        const QmdIndex arcs
            = d.controller->index(K::ArcIdentifiers, d.controller->elementIndex(d.from));
        d.controller->requestSetData(d.edge, 5, arcs);
        settle();
        d.select({d.from});
        QCOMPARE(d.item->marker(), 5);
        QCOMPARE(d.item->currentColor(), QmdKelvo::paletteColor(5));
    }

    void theStyleColoursReachTheEdges()
    {
        EdgeDocument d;
        d.setDocumentData(K::StyleEdgesColor, QColor(Qt::green));
        QCOMPARE(d.item->edgeColor(), QColor(Qt::green));
        QCOMPARE(d.item->pen().color(), QColor(Qt::green));
        d.setDocumentData(K::StyleAnnotationColor, QColor(Qt::blue));
        QCOMPARE(d.item->signallingLabel()->brush().color(), QColor(Qt::blue));
        // While marked the edge keeps the marker's colour and takes the new one afterwards.
        d.select({d.from});
        d.setDocumentData(K::StyleEdgesColor, QColor(Qt::red));
        QCOMPARE(d.item->currentColor(), QmdKelvo::paletteColor(0));
        d.select({});
        QCOMPARE(d.item->currentColor(), QColor(Qt::red));
    }

    void theToolTipGivesNameAndLength()
    {
        EdgeDocument d;
        d.setDocumentData(K::DivsPerPrincipal, 4);
        d.item->updateToolTip();
        QCOMPARE(d.item->toolTip(), QStringLiteral("1 principal = 4 divisions"));
        QCOMPARE(d.item->arrowHead()->toolTip(), d.item->toolTip());

        // The marker's name above it while the marker shows; refreshed as it comes and goes.
        d.select({d.from});
        QCOMPARE(d.item->toolTip(),
                 QmdKelvo::paletteColorName(0) + QStringLiteral("\n1 principal = 4 divisions"));
        d.select({});
        QCOMPARE(d.item->toolTip(), QStringLiteral("1 principal = 4 divisions"));

        d.move(d.to, P + P / 8, 0);
        d.item->updateToolTip();
        QCOMPARE(d.item->toolTip(), QStringLiteral("1.125 principals = 4.5 divisions"));
        d.move(d.to, P / 4, 0);
        d.item->updateToolTip();
        QCOMPARE(d.item->toolTip(), QStringLiteral("0.25 principals = 1 division"));
        d.setDocumentData(K::DivsPerPrincipal, 0);
        d.item->updateToolTip();
        QCOMPARE(d.item->toolTip(), QStringLiteral("0.25 principals = 0 divisions"));
    }

    // ---- Style ------------------------------------------------------------------------------

    void aSelectedWormholeKeepsItsDashes()
    {
        EdgeDocument d;
        QCOMPARE(d.item->pen().style(), Qt::SolidLine);
        d.setElementData(d.edge, K::IsWormhole, true);
        QVERIFY(d.item->isWormhole());
        QCOMPARE(d.item->pen().style(), Qt::CustomDashLine);
        QCOMPARE(d.item->pen().widthF(), 1.0);
        QCOMPARE(d.item->pen().dashPattern(), QList<qreal>({8.0, 8.0}));

        d.select({d.edge});
        QCOMPARE(d.item->pen().style(), Qt::CustomDashLine);
        QCOMPARE(d.item->pen().widthF(), 3.0);
        // Dashes in units of the pen's width: the same drawn length.
        const QList<qreal> dashes = d.item->pen().dashPattern();
        QCOMPARE(dashes.size(), 2);
        QVERIFY(qFuzzyCompare(dashes.at(0) * 3.0, 8.0));
        QVERIFY(qFuzzyCompare(dashes.at(1) * 3.0, 8.0));
        // The arrow grows by 1.3.
        const QPointF base = d.item->arrowHead()->mapToParent(QPointF(0, 0));
        const QPointF tip = d.item->arrowHead()->mapToParent(QPointF(9, 0));
        QVERIFY(qFuzzyCompare(QLineF(base, tip).length(), 9.0 * 1.3));

        d.select({});
        QCOMPARE(d.item->pen().widthF(), 1.0);
        d.setElementData(d.edge, K::IsWormhole, false);
        QCOMPARE(d.item->pen().style(), Qt::SolidLine);
    }

    void selectionDrawsNoFrame()
    {
        EdgeDocument d;
        d.select({d.edge});
        auto picture = [&](QStyle::State state) {
            QImage image(160, 40, QImage::Format_ARGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            painter.translate(0, 20);
            QStyleOptionGraphicsItem option;
            option.state = state;
            d.item->paint(&painter, &option, nullptr);
            return image;
        };
        QCOMPARE(picture(QStyle::State_Selected), picture(QStyle::State_None));
    }

    void theHitAreaFollowsTheLine()
    {
        EdgeDocument d;
        const QmdItemId below = d.addNode(P, P);
        const QmdItemId bent = d.addEdge(d.from, below);
        GraphicsEdgeItem* item = d.itemOf<GraphicsEdgeItem>(bent);
        // Along both legs and a little beside them, but not in the corner between them.
        QVERIFY(item->contains(QPointF(60, 0)));
        QVERIFY(item->contains(QPointF(60, 2)));
        QVERIFY(item->contains(QPointF(120, 60)));
        QVERIFY(!item->contains(QPointF(100, 20)));
        QVERIFY(!item->contains(QPointF(60, 5)));
        QVERIFY(item->boundingRect().contains(item->shape().boundingRect()));
    }

    // ---- Ends -------------------------------------------------------------------------------

    void theEdgeRunsFromNodeToNode()
    {
        EdgeDocument d;
        QCOMPARE(d.item->fromNodeId(), d.from);
        QCOMPARE(d.item->toNodeId(), d.to);
        QCOMPARE(d.item->pos(), QPointF(0, 0));
        QCOMPARE(d.item->toPoint(), QPointF(PrincipalUnits, 0));
        QCOMPARE(d.item->path().currentPosition(), QPointF(PrincipalUnits - 19, 0));

        d.setElementData(d.edge, K::Path, int(QmdKelvo::CityBlockFlipped));
        QCOMPARE(d.item->pathType(), int(QmdKelvo::CityBlockFlipped));
        d.move(d.to, P, P);
        // Down first, then right.
        QCOMPARE(d.item->path().elementAt(1),
                 QPainterPath::Element({0, PrincipalUnits, QPainterPath::LineToElement}));
        QCOMPARE(d.item->arrowAngle(), 0.0);
        QCOMPARE(d.item->arrowHead()->pos(), QPointF(PrincipalUnits - 19, PrincipalUnits));
    }

    void aMissingFromNodeStartsAtTheOrigin()
    {
        EdgeDocument d;
        d.move(d.from, P, P);
        d.move(d.to, 2 * P, P);
        QCOMPARE(d.item->pos(), QPointF(PrincipalUnits, PrincipalUnits));
        d.setElementData(d.edge, K::FromNode, 0u);
        QCOMPARE(d.item->fromNodeId(), QmdItemId(0));
        QCOMPARE(d.item->pos(), QPointF(0, 0));
        QCOMPARE(d.item->fromPoint(), QPointF(0, 0));
        // Its line now starts at the origin's rim and runs to the to-node.
        const QPointF start = d.item->mapToScene(d.item->path().elementAt(0));
        QVERIFY(QLineF(QPointF(0, 0), start).length() < 10.5);
        QCOMPARE(d.item->mapToScene(d.item->arrowHead()->pos()),
                 QPointF(2 * PrincipalUnits, PrincipalUnits - 19));
        // The from-node's moves no longer reach it.
        d.move(d.from, 0, 3 * P);
        QCOMPARE(d.item->pos(), QPointF(0, 0));
    }

    void anOwnTickPosDoesNotMoveTheEdge()
    {
        EdgeDocument d;
        d.move(d.edge, 5 * P, 5 * P);
        QCOMPARE(d.item->pos(), QPointF(0, 0));
        d.setElementData(d.edge, K::IsHidden, true);
        QVERIFY(!d.item->isVisible());
        QCOMPARE(d.item->pos(), QPointF(0, 0));
    }

    // ---- Outside ----------------------------------------------------------------------------

    void previewEdges()
    {
        EdgeDocument d;
        GraphicsEdgeItem preview(d.scene.get());
        QCOMPARE(preview.type(), int(EdgeItemType));
        QCOMPARE(preview.type(), 0x10001);
        QCOMPARE(preview.elementId(), QmdItemId(0));
        QVERIFY(!preview.elementController());
        QCOMPARE(preview.scene(), d.scene.get());
        QVERIFY(preview.flags() & QGraphicsItem::ItemIsSelectable);
        QCOMPARE(preview.cacheMode(), QGraphicsItem::DeviceCoordinateCache);
        QCOMPARE(preview.edgeColor(), EdgeColor);

        preview.setFromPoint(QPointF(240, 120));
        preview.setToPoint(QPointF(340, 170));
        preview.setPathType(QmdKelvo::CityBlock);
        preview.updatePath();
        QCOMPARE(preview.pos(), QPointF(240, 120));
        QCOMPARE(preview.path().currentPosition(), QPointF(100, 31));
        QCOMPARE(preview.arrowAngle(), 90.0);

        // It ignores the document, also notifications for id 0.
        preview.elementDataEffected(0, {K::FromNode, K::ToNode, K::Path, K::IsHidden}, 0);
        preview.elementDataEffected(d.from, {K::TickPos}, 0);
        QCOMPARE(preview.pos(), QPointF(240, 120));
        QVERIFY(preview.isVisible());
        d.select({d.from});
        preview.updateMarker();
        QCOMPARE(preview.marker(), -1);
        QVERIFY(preview.toolTip().isEmpty());

        // A preview may be a child of another item.
        auto* child = new GraphicsEdgeItem(d.scene.get(), &preview);
        QCOMPARE(child->parentItem(), &preview);
        QCOMPARE(child->scene(), d.scene.get());
    }

    void aBoundEdgeOutsideTheScene()
    {
        EdgeDocument d;
        // In a scene that knows nothing of documents or selections.
        QGraphicsScene plain;
        GraphicsEdgeItem& edge = *new GraphicsEdgeItem(d.edge, d.controller.get(), &plain);
        QCOMPARE(edge.scene(), &plain);
        QCOMPARE(edge.elementId(), d.edge);
        QCOMPARE(edge.elementController(), d.controller.get());
        // It takes its state from the first notification with all its keys.
        edge.elementDataEffected(d.edge, {K::FromNode, K::ToNode, K::Path}, 0);
        QCOMPARE(edge.toPoint(), QPointF(PrincipalUnits, 0));
        edge.setSelected(true);
        edge.updateMarker();
        QCOMPARE(edge.marker(), -1);
        // A controller that goes leaves it as it was.
        d.scene->setController(nullptr);
        d.controller.reset();
        QVERIFY(!edge.elementController());
        edge.elementDataEffected(d.edge, {K::ToNode}, 0);
        edge.updateToolTip();
        QCOMPARE(edge.toPoint(), QPointF(PrincipalUnits, 0));
    }
};

QTEST_MAIN(TestEdgeItem)
#include "tst_edgeitem.moc"
