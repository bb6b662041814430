#include "ElementItem.h"
#include "GraphicsEdgeItem.h"
#include "GraphicsNodeItem.h"
#include "GraphicsVoiceGroupItem.h"
#include "SceneFixture.h"

#include <QGraphicsEllipseItem>
#include <QGraphicsSimpleTextItem>
#include <QSignalSpy>
#include <QTest>

namespace K = QmdKelvoKeys;

namespace {

int nodeItemCount(const QGraphicsScene& scene)
{
    int count = 0;
    for (QGraphicsItem* item : scene.items())
        count += item->type() == NodeItemType ? 1 : 0;
    return count;
}

GraphicsNodeItem* nodeItem(const NetworkScene& scene, QmdItemId id)
{
    ElementItem* item = scene.elementItem(id);
    return item && item->graphicsItem()->type() == NodeItemType
        ? static_cast<GraphicsNodeItem*>(item->graphicsItem())
        : nullptr;
}

void moveNode(SceneFixture& f, QmdItemId node, qint64 x, qint64 y)
{
    f.setElementData(node, K::TickPos, QVariant::fromValue(QmdKelvo::TickPoint {x, y}));
}

// Where an edge's line starts and ends, in scene coordinates.
QLineF lineOf(const GraphicsEdgeItem* edge)
{
    const QPainterPath& path = edge->path();
    return QLineF(edge->mapToScene(path.elementAt(0)),
                  edge->mapToScene(path.elementAt(path.elementCount() - 1)));
}

QRectF extentOf(const NetworkScene& scene, QmdItemId id)
{
    const QGraphicsItem* item = scene.elementItem(id)->graphicsItem();
    return item->mapRectToScene(item->boundingRect() | item->childrenBoundingRect());
}

} // namespace

class TestNetworkScene : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initTickGeometryAt72Dpi(); }

    // ---- Registry ---------------------------------------------------------------------------

    void nodeItemsFollowTheirElements()
    {
        SceneFixture f;
        const QmdItemId id = f.addNode(P, 0);
        GraphicsNodeItem* node = nodeItem(*f.scene, id);
        QVERIFY(node);
        QCOMPARE(node->type(), 0x10002);
        QCOMPARE(node->elementId(), id);
        QCOMPARE(node->pos(), QPointF(PrincipalUnits, 0));

        f.setElementData(id, K::IsHidden, true);
        QVERIFY(!node->isVisible());
        f.setElementData(id, K::TickPos, QVariant::fromValue(QmdKelvo::TickPoint {2 * P, -P}));
        QVERIFY(!node->isVisible());
        QCOMPARE(node->pos(), QPointF(2 * PrincipalUnits, -PrincipalUnits));
        f.setElementData(id, K::IsHidden, false);
        QVERIFY(node->isVisible());

        // A position of another type is the origin.
        f.setElementData(id, K::TickPos, QStringLiteral("{1, 2}"));
        QCOMPARE(node->pos(), QPointF(0, 0));
    }

    void itemsIgnoreOtherElementsAndPreviewsIgnoreAll()
    {
        SceneFixture f;
        const QmdItemId a = f.addNode(0, 0);
        const QmdItemId b = f.addNode(P, P);
        f.setElementData(b, K::IsHidden, true);
        GraphicsNodeItem* nodeA = nodeItem(*f.scene, a);
        nodeA->elementDataEffected(b, {K::TickPos, K::IsHidden}, 0);
        QCOMPARE(nodeA->pos(), QPointF(0, 0));
        QVERIFY(nodeA->isVisible());

        GraphicsNodeItem preview(f.scene.get());
        QCOMPARE(preview.elementId(), 0u);
        QVERIFY(!preview.elementController());
        preview.elementDataEffected(0, {K::TickPos, K::IsHidden, K::Notes}, 0);
        preview.elementDataEffected(b, {K::TickPos, K::IsHidden}, 0);
        QCOMPARE(preview.pos(), QPointF(0, 0));
        QVERIFY(preview.isVisible());
        // A preview is no element: selecting it selects no id.
        preview.setSelected(true);
        QVERIFY(!f.scene->selectedElementIds().contains(0));
    }

    void aRepeatedIdReplacesTheItem()
    {
        SceneFixture f;
        const QmdItemId left = f.addNode(-P, 0);
        const QmdItemId right = f.addNode(P, 0);
        const QRectF before = f.scene->sceneContentsRect();

        f.scene->onElementsAdded({left}, 1000);
        settle();
        // One item for the element, none left over.
        QCOMPARE(nodeItemCount(*f.scene), 2);
        QCOMPARE(f.scene->selectedElementIds(), QmdItemIdSet({left}));
        QCOMPARE(f.scene->sceneContentsRect(), before);
        // The extent follows the new item, not the deleted one.
        f.setElementData(left, K::TickPos, QVariant::fromValue(QmdKelvo::TickPoint {0, 0}));
        QCOMPARE(f.scene->sceneContentsRect().left(), extentOf(*f.scene, left).left());
        QCOMPARE(f.scene->sceneContentsRect().right(), extentOf(*f.scene, right).right());
    }

    void elementsOfOtherTypesGetNoItem()
    {
        SceneFixture f;
        const int before = int(f.scene->items().size());
        for (uint type : {0u, 5u}) {
            QmdItemId id = 0;
            f.controller->requestAddElement(
                type, {{K::TickPos, QVariant::fromValue(QmdKelvo::TickPoint {0, 0})}}, {},
                QmdRequestOptions(QStringLiteral("Element")), &id);
            settle();
            QVERIFY(id != 0);
            QVERIFY(!f.scene->elementItem(id));
        }
        QCOMPARE(int(f.scene->items().size()), before);
    }

    // ---- Selection --------------------------------------------------------------------------

    void aResetSelectsNothing()
    {
        SceneFixture f;
        f.addNode(0, 0);
        f.addNode(P, 0);
        QCOMPARE(f.scene->selectedElementIds().size(), 1);
        QSignalSpy changed(f.scene.get(), &QGraphicsScene::selectionChanged);
        f.scene->reset();
        settle();
        QCOMPARE(nodeItemCount(*f.scene), 2);
        QVERIFY(f.scene->selectedItems().isEmpty());
        QVERIFY(f.scene->selectedElementIds().isEmpty());
        // The selection was cleared once.
        QCOMPARE(changed.count(), 1);
    }

    void oneRequestBuildsOneSelection()
    {
        SceneFixture f;
        const QmdItemId a = f.addNode(0, 0);
        const QmdItemId b = f.addNode(P, 0);
        const QmdItemId c = f.addNode(2 * P, 0);
        f.scene->onElementsAdded({a}, 500);
        f.scene->onElementsAdded({b}, 500);
        QCOMPARE(f.scene->selectedElementIds(), QmdItemIdSet({a, b}));
        f.scene->onElementsAdded({c}, 501);
        QCOMPARE(f.scene->selectedElementIds(), QmdItemIdSet({c}));
    }

    void aPasteSelectsItsElementsWithOneSignal()
    {
        SceneFixture f;
        QmdItemIdSet originals;
        for (int i = 0; i < 500; ++i)
            originals.insert(f.addNode(P * (i % 25), P * (i / 25)));
        f.controller->requestCopy(originals);
        QSignalSpy changed(f.scene.get(), &QGraphicsScene::selectionChanged);
        f.controller->requestPaste(QmdKelvo::TickPoint {100 * P, 0});
        settle();
        QCOMPARE(changed.count(), 1);
        const QmdItemIdSet selected = f.scene->selectedElementIds();
        QCOMPARE(selected.size(), 500);
        QVERIFY(!selected.intersects(originals));

        // Their removal is one change too.
        f.controller->requestUndo();
        settle();
        QCOMPARE(changed.count(), 2);
        QVERIFY(f.scene->selectedElementIds().isEmpty());
        QCOMPARE(nodeItemCount(*f.scene), 500);
    }

    void theSelectedIdsFollowAQuietChangeAtOnce()
    {
        SceneFixture f;
        const QmdItemId a = f.addNode(0, 0);
        const QmdItemId b = f.addNode(P, 0);
        QCOMPARE(f.scene->selectedElementIds(), QmdItemIdSet({b}));
        QSignalSpy changed(f.scene.get(), &QGraphicsScene::selectionChanged);
        f.scene->onElementsAdded({a}, 900);
        // Right away, before the signal.
        QCOMPARE(f.scene->selectedElementIds(), QmdItemIdSet({a}));
        QCOMPARE(changed.count(), 0);
        settle();
        QCOMPARE(changed.count(), 1);
    }

    // ---- Document settings ------------------------------------------------------------------

    void theTickStepFollowsTheDivisions()
    {
        SceneFixture f;
        QCOMPARE(f.scene->tickStep, 166320); // the default 4 divisions
        const QList<QPair<qint64, qint64>> cases {
            {0, 665280}, {4, 166320}, {-4, 665280}, {10000000, 1}, {7, 95040}};
        for (const auto& [divisions, step] : cases) {
            f.setDocumentData(K::DivsPerPrincipal, divisions);
            QCOMPARE(f.scene->tickStep, step);
        }
        f.setDocumentData(K::SnapToGrid, false);
        QVERIFY(!f.scene->snapToGrid);
    }

    void nodeCountersArePushedOnlyWhileShown()
    {
        SceneFixture f;
        const QmdItemId id = f.addNode(0, 0);
        GraphicsNodeItem* node = nodeItem(*f.scene, id);
        f.setElementState(id, K::HitCount, 5u);
        f.setElementState(id, K::LastNotesSent, QStringLiteral("C3 E3"));
        QVERIFY(!node->label()->isVisible());
        QCOMPARE(node->label()->text(), QString());

        f.controller->requestToggleShowNodeCounters();
        settle();
        QVERIFY(f.scene->showNodeCounters);
        QVERIFY(node->label()->isVisible());
        QCOMPARE(node->label()->text(), QStringLiteral("5"));
        f.setElementState(id, K::HitCount, 6u);
        QCOMPARE(node->label()->text(), QStringLiteral("6"));
        // Last notes stay out while their display is off.
        f.setElementState(id, K::LastNotesSent, QStringLiteral("D3"));
        QCOMPARE(node->label()->text(), QStringLiteral("6"));

        f.controller->requestToggleShowNodeLastNotesSent();
        settle();
        QCOMPARE(node->label()->text(), QStringLiteral("6\nD3"));

        f.controller->requestToggleShowNodeCounters();
        f.controller->requestToggleShowNodeLastNotesSent();
        settle();
        QVERIFY(!node->label()->isVisible());

        // A node made while the counters show shows its counter.
        f.controller->requestToggleShowNodeCounters();
        settle();
        const QmdItemId second = f.addNode(P, 0);
        QVERIFY(nodeItem(*f.scene, second)->label()->isVisible());
    }

    void theColoursAreBoundByName()
    {
        SceneFixture f;
        const QList<QPair<const char*, QString>> properties {
            {"backgroundColor", K::StyleBackgroundColor},
            {"principalLinesColor", K::StylePrincipalLinesColor},
            {"principalPointsColor", K::StylePrincipalPointsColor},
            {"divisionLinesColor", K::StyleDivisionLinesColor},
            {"divisionPointsColor", K::StyleDivisionPointsColor},
            {"annotationColor", K::StyleAnnotationColor},
            {"nodesColor", K::StyleNodesColor},
            {"edgesColor", K::StyleEdgesColor},
        };
        for (const QString& preset : {QStringLiteral("Dark"), QStringLiteral("Light")}) {
            f.controller->requestLoadStylePreset(preset);
            settle();
            for (const auto& [property, key] : properties) {
                const QColor expected = f.controller->data(key, QmdIndex()).value<QColor>();
                QVERIFY2(expected.isValid(), property);
                QCOMPARE(f.scene->property(property).value<QColor>(), expected);
            }
        }
        QVERIFY(f.scene->setProperty("edgesColor", QColor(Qt::red)));
        QCOMPARE(f.scene->edgesColor(), QColor(Qt::red));
    }

    void theNodesColourTouchesNodeItemsOnly()
    {
        SceneFixture f;
        const QmdItemId id = f.addNode(0, 0);
        auto* other = f.scene->addEllipse(QRectF(0, 0, 10, 10), QPen(Qt::green));
        f.setDocumentData(K::StyleNodesColor, QColor(10, 20, 30));
        GraphicsNodeItem* node = nodeItem(*f.scene, id);
        QCOMPARE(node->pen().color(), QColor(10, 20, 30));
        QCOMPARE(node->brush().color(), QColor(10, 20, 30, 40));
        QCOMPARE(other->pen().color(), QColor(Qt::green));

        f.setDocumentData(K::StyleAnnotationColor, QColor(1, 2, 3));
        QCOMPARE(node->label()->brush().color(), QColor(1, 2, 3));
        // A new node takes the colours at once.
        QCOMPARE(nodeItem(*f.scene, f.addNode(P, 0))->pen().color(), QColor(10, 20, 30));
    }

    // ---- Lifecycle and connections ----------------------------------------------------------

    void aboutToResetComesBeforeTheItemsGo()
    {
        SceneFixture f;
        const QmdItemId id = f.addNode(0, 0);
        QList<bool> itemAlive;
        connect(f.scene.get(), &NetworkScene::aboutToReset, this,
                [&] { itemAlive << (f.scene->elementItem(id) && nodeItemCount(*f.scene) == 1); });
        f.scene->reset();
        QCOMPARE(itemAlive, QList<bool>({true}));
        // A document loaded resets the scene through the controller.
        f.controller->reset();
        settle();
        QCOMPARE(itemAlive.size(), 2);
        QVERIFY(nodeItem(*f.scene, id));
    }

    void theSlotsTakeStringConnections()
    {
        SceneFixture f;
        QmdKelvoController* c = f.controller.get();
        NetworkScene* s = f.scene.get();
        QVERIFY(connect(c, SIGNAL(elementsAdded(QmdItemIdList, QmdRequestId)), s,
                        SLOT(onElementsAdded(QmdItemIdList, QmdRequestId))));
        QVERIFY(connect(c, SIGNAL(elementsRemoved(QmdItemIdList, QmdRequestId)), s,
                        SLOT(onElementsRemoved(QmdItemIdList, QmdRequestId))));
        QVERIFY(connect(c, SIGNAL(elementDataChanged(QmdItemId, QStringList, QmdRequestId)), s,
                        SLOT(onElementDataEffected(QmdItemId, QStringList, QmdRequestId))));
        QVERIFY(connect(c, SIGNAL(instrumentDataEffected(QmdItemId, QStringList, QmdRequestId)), s,
                        SLOT(onInstrumentDataEffected(QmdItemId, QStringList, QmdRequestId))));
        QVERIFY(connect(c, SIGNAL(itemsChanged(QmdIndex, QStringList, QmdRequestId)), s,
                        SLOT(onItemsChanged(QmdIndex, QStringList))));
        QVERIFY(connect(c, SIGNAL(modelReset()), s, SLOT(reset())));
        disconnect(c, nullptr, s, nullptr);
        const QMetaObject* meta = s->metaObject();
        QVERIFY(meta->indexOfSlot("onSelectionChanged()") >= 0);
        QVERIFY(meta->indexOfSlot("setSceneContentsRect(QRectF)") >= 0);
        QVERIFY(meta->indexOfSignal("sceneContentsRectChanged(QRectF)") >= 0);
        QVERIFY(meta->indexOfSignal("aboutToReset()") >= 0);
    }

    void aSceneWithoutControllerStaysEmpty()
    {
        SceneFixture f;
        f.addNode(0, 0);
        f.scene->setController(nullptr);
        QVERIFY(f.scene->items().isEmpty());
        f.addNode(P, 0);
        QVERIFY(f.scene->items().isEmpty());
        f.scene->setController(f.controller.get());
        QCOMPARE(nodeItemCount(*f.scene), 2);
        // Setting the same controller again connects once.
        f.scene->setController(f.controller.get());
        QSignalSpy changed(f.scene.get(), &NetworkScene::sceneContentsRectChanged);
        f.addNode(3 * P, 0);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(nodeItemCount(*f.scene), 3);
    }

    // ---- Extent -----------------------------------------------------------------------------

    void theFirstNodeDefinesTheExtent()
    {
        SceneFixture f;
        QVERIFY(f.scene->sceneContentsRect().isNull());
        QSignalSpy changed(f.scene.get(), &NetworkScene::sceneContentsRectChanged);
        const QmdItemId id = f.addNode(P, P);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(f.scene->sceneContentsRect(), extentOf(*f.scene, id));
        QCOMPARE(changed.last().at(0).toRectF(), f.scene->sceneContentsRect());
        // An edge and a voice group never count.
        const QmdItemId other = f.addNode(P, P);
        QCOMPARE(changed.count(), 1);
        f.controller->requestAddEdge(f.controller->elementIndex(id),
                                     f.controller->elementIndex(other));
        f.controller->requestAddVoiceGroup(f.controller->elementIndex(id));
        settle();
        QCOMPARE(changed.count(), 1);
    }

    void nodesGrowAndShrinkTheExtent()
    {
        SceneFixture f;
        const QmdItemId left = f.addNode(0, 0);
        const QmdItemId middle = f.addNode(2 * P, P);
        const QmdItemId right = f.addNode(4 * P, -P);
        QRectF extent = f.scene->sceneContentsRect();
        QCOMPARE(extent.left(), extentOf(*f.scene, left).left());
        QCOMPARE(extent.right(), extentOf(*f.scene, right).right());
        QCOMPARE(extent.top(), extentOf(*f.scene, right).top());
        QCOMPARE(extent.bottom(), extentOf(*f.scene, middle).bottom());

        // The rightmost node moved left: the extent shrinks to the next rightmost node.
        QSignalSpy changed(f.scene.get(), &NetworkScene::sceneContentsRectChanged);
        f.setElementData(right, K::TickPos, QVariant::fromValue(QmdKelvo::TickPoint {P, 0}));
        QCOMPARE(changed.count(), 1);
        extent = f.scene->sceneContentsRect();
        QCOMPARE(extent.right(), extentOf(*f.scene, middle).right());
        QCOMPARE(extent.top(), extentOf(*f.scene, left).top());
        // ... or to its own new edge while it is still the rightmost.
        f.setElementData(middle, K::TickPos, QVariant::fromValue(QmdKelvo::TickPoint {3 * P, P}));
        f.setElementData(middle, K::TickPos,
                         QVariant::fromValue(QmdKelvo::TickPoint {5 * P / 2, P}));
        QCOMPARE(f.scene->sceneContentsRect().right(), extentOf(*f.scene, middle).right());
        // A node on the edge changes nothing.
        const int emitted = int(changed.count());
        f.addNode(0, P);
        QCOMPARE(int(changed.count()), emitted);
    }

    void removingAnExtremeNodeShrinksOnce()
    {
        SceneFixture f;
        const QmdItemId a = f.addNode(0, 0);
        const QmdItemId b = f.addNode(P, 0);
        const QmdItemId c = f.addNode(5 * P, 3 * P);
        QSignalSpy changed(f.scene.get(), &NetworkScene::sceneContentsRectChanged);
        f.controller->requestRemove(QmdItemIdList {c}, f.controller->elementsRoot());
        settle();
        QCOMPARE(changed.count(), 1);
        QCOMPARE(f.scene->sceneContentsRect(), extentOf(*f.scene, a) | extentOf(*f.scene, b));

        // With every node gone the extent stays as it was.
        const QRectF last = f.scene->sceneContentsRect();
        f.controller->requestRemove(QmdItemIdList {a, b}, f.controller->elementsRoot());
        settle();
        QCOMPARE(changed.count(), 1);
        QCOMPARE(f.scene->sceneContentsRect(), last);
        QCOMPARE(nodeItemCount(*f.scene), 0);
    }

    // ---- Following nodes ----------------------------------------------------------------------

    void aMovedNodeTakesItsEdgesAndGroupsAlong()
    {
        SceneFixture f;
        const QmdItemId a = f.addNode(0, 0);
        const QmdItemId b = f.addNode(2 * P, 0);
        const QmdItemId c = f.addNode(2 * P, 2 * P);
        const QmdItemId ab = f.addEdge(a, b);
        const QmdItemId bc = f.addEdge(b, c);
        const QmdItemId ca = f.addEdge(c, a, QmdKelvo::Direct);
        const QmdItemId onB = f.addVoiceGroup(b);
        const QmdItemId onC = f.addVoiceGroup(c);
        auto* abItem = f.itemOf<GraphicsEdgeItem>(ab);
        auto* bcItem = f.itemOf<GraphicsEdgeItem>(bc);
        auto* caItem = f.itemOf<GraphicsEdgeItem>(ca);
        auto* onBItem = f.itemOf<GraphicsVoiceGroupItem>(onB);
        auto* onCItem = f.itemOf<GraphicsVoiceGroupItem>(onC);
        QCOMPARE(onBItem->pos(), QPointF(2 * PrincipalUnits, 0));
        const QLineF caBefore = lineOf(caItem);
        const QLineF abBefore = lineOf(abItem);
        const QLineF bcBefore = lineOf(bcItem);

        // b one principal down: the edges into and out of it bend to its new place.
        moveNode(f, b, 2 * P, P);
        QCOMPARE(lineOf(abItem).p2(), QPointF(2 * PrincipalUnits, PrincipalUnits - 19));
        QCOMPARE(lineOf(bcItem).p1(), QPointF(2 * PrincipalUnits, PrincipalUnits + 10));
        QCOMPARE(onBItem->pos(), QPointF(2 * PrincipalUnits, PrincipalUnits));
        QCOMPARE(lineOf(caItem), caBefore);
        QCOMPARE(onCItem->pos(), QPointF(2 * PrincipalUnits, 2 * PrincipalUnits));

        // Undone, all is back.
        f.controller->requestUndo();
        settle();
        QCOMPARE(lineOf(abItem), abBefore);
        QCOMPARE(lineOf(bcItem), bcBefore);
        QCOMPARE(onBItem->pos(), QPointF(2 * PrincipalUnits, 0));
        f.controller->requestRedo();
        settle();
        QCOMPARE(onBItem->pos(), QPointF(2 * PrincipalUnits, PrincipalUnits));
    }

    void edgesSettleOnceAfterTheRequestThatMovedThem()
    {
        SceneFixture f;
        const QmdItemId a = f.addNode(0, 0);
        const QmdItemId b = f.addNode(2 * P, 0);
        const QmdItemId c = f.addNode(0, 2 * P);
        auto* ab = f.itemOf<GraphicsEdgeItem>(f.addEdge(a, b));
        const QmdItemId bc = f.addEdge(b, c);
        QSignalSpy settled(f.scene.get(), &NetworkScene::burstSettled);

        // Both ends of ab and one of bc in one request; bc goes in the same burst.
        QHash<QmdIndex, QVariant> positions;
        for (const auto& [node, x, y] :
             {std::tuple(a, 0ll, P), std::tuple(b, 3 * P, P), std::tuple(c, P, 3 * P)})
            positions.insert(f.controller->index(K::TickPos, f.controller->elementIndex(node)),
                             QVariant::fromValue(QmdKelvo::TickPoint {x, y}));
        f.controller->requestSetData(positions, QmdRequestOptions(QStringLiteral("Move")));
        f.controller->requestRemove(QmdItemIdList {bc}, f.controller->elementsRoot());
        settle();
        QCOMPARE(settled.count(), 1);
        QVERIFY(!f.scene->elementItem(bc));
        QCOMPARE(ab->pos(), QPointF(0, PrincipalUnits));
        QCOMPARE(lineOf(ab).p2(), QPointF(3 * PrincipalUnits - 19, PrincipalUnits));
    }

    void newEndsAreFollowedAndOldOnesForgotten()
    {
        SceneFixture f;
        const QmdItemId a = f.addNode(0, 0);
        const QmdItemId b = f.addNode(P, 0);
        const QmdItemId c = f.addNode(0, P);
        const QmdItemId ab = f.addEdge(a, b);
        const QmdItemId group = f.addVoiceGroup(a);
        auto* edge = f.itemOf<GraphicsEdgeItem>(ab);
        auto* groupItem = f.itemOf<GraphicsVoiceGroupItem>(group);

        // The group moves to c: it follows c now, and no longer a.
        f.setElementData(group, K::ToNode, uint(c));
        QCOMPARE(groupItem->toNode(), uint(c));
        QCOMPARE(groupItem->pos(), QPointF(0, PrincipalUnits));
        moveNode(f, a, 3 * P, 3 * P);
        QCOMPARE(groupItem->pos(), QPointF(0, PrincipalUnits));
        moveNode(f, c, P, P);
        QCOMPARE(groupItem->pos(), QPointF(PrincipalUnits, PrincipalUnits));

        // The edge's end moves to c likewise.
        f.setElementData(ab, K::ToNode, uint(c));
        QCOMPARE(edge->toNodeId(), c);
        QCOMPARE(edge->toPoint(), QPointF(PrincipalUnits, PrincipalUnits));
        moveNode(f, b, 5 * P, 0);
        QCOMPARE(edge->toPoint(), QPointF(PrincipalUnits, PrincipalUnits));
        moveNode(f, c, 2 * P, P);
        QCOMPARE(edge->toPoint(), QPointF(2 * PrincipalUnits, PrincipalUnits));
        QCOMPARE(edge->pos(), QPointF(3 * PrincipalUnits, 3 * PrincipalUnits));
    }

    void removedFollowersAreForgotten()
    {
        SceneFixture f;
        const QmdItemId a = f.addNode(0, 0);
        const QmdItemId b = f.addNode(P, 0);
        const QmdItemId ab = f.addEdge(a, b);
        const QmdItemId group = f.addVoiceGroup(a);
        f.controller->requestRemove(QmdItemIdList {ab, group}, f.controller->elementsRoot());
        settle();
        QVERIFY(!f.scene->elementItem(ab));
        QVERIFY(!f.scene->elementItem(group));
        // The nodes' changes reach no deleted item (the sanitizers watch this).
        moveNode(f, a, 0, P);
        moveNode(f, b, P, P);
        f.setElementData(a, K::ArcUsageList, QString());

        // Back through undo (of the three changes and the removal), they follow their nodes
        // again.
        for (int i = 0; i < 4; ++i) {
            f.controller->requestUndo();
            settle();
        }
        auto* edge = f.itemOf<GraphicsEdgeItem>(ab);
        QVERIFY(edge);
        QCOMPARE(edge->pos(), QPointF(0, 0));
        moveNode(f, a, 0, P);
        QCOMPARE(edge->pos(), QPointF(0, PrincipalUnits));
        QCOMPARE(f.itemOf<GraphicsVoiceGroupItem>(group)->pos(), QPointF(0, PrincipalUnits));
    }

    void aNodesLabelCounts()
    {
        SceneFixture f;
        f.controller->requestToggleShowNodeCounters();
        settle();
        const QmdItemId id = f.addNode(0, 0);
        GraphicsNodeItem* node = nodeItem(*f.scene, id);
        QVERIFY(node->label()->isVisible());
        const QRectF circle = node->mapRectToScene(node->boundingRect());
        const QRectF extent = f.scene->sceneContentsRect();
        QVERIFY(extent.top() < circle.top());
        QCOMPARE(extent.top(), node->label()->mapRectToScene(node->label()->boundingRect()).top());
    }
};

QTEST_MAIN(TestNetworkScene)
#include "tst_networkscene.moc"
