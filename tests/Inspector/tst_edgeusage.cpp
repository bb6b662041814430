#include "EdgeUsageListEditor.h"
#include "EdgeUsageTile.h"
#include "MarkerPixmap.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdKelvoUnits.h"
#include "QmdMemModel.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include <memory>

namespace K = QmdKelvoKeys;

// The edge-usage editor over a node A with edges to B, C and D, and a node D without edges.
class TestEdgeUsage : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QmdMemModel> model;
    std::unique_ptr<QmdKelvoController> c;
    std::unique_ptr<EdgeUsageListEditor> editor;
    QmdItemId nodeA = 0;
    QmdItemId nodeD = 0;
    QmdItemIdList edges;

    QmdItemId addNode(qint64 x)
    {
        QmdItemId id = 0;
        c->requestAddNode(QmdKelvo::TickPoint {x, 0}, QmdKelvo::NoCreationFlags,
                          QmdRequestOptions(QStringLiteral("Node")), &id);
        return id;
    }

    QString stored() const { return c->data(K::ArcUsageList, c->elementIndex(nodeA)).toString(); }

    void store(const QString& list)
    {
        c->requestSetData(K::ArcUsageList, list, c->elementIndex(nodeA),
                          QmdRequestOptions(QStringLiteral("Set")));
    }

    QString entry(int edge, int count) const
    {
        return QStringLiteral("%1=%2").arg(edges.at(edge)).arg(count);
    }

    EdgeUsageTile* tile(int i) const { return editor->tiles().at(i); }
    QList<QmdItemId> tileEdges() const
    {
        QList<QmdItemId> ids;
        for (const EdgeUsageTile* t : editor->tiles())
            ids << t->edgeId();
        return ids;
    }
    QPoint tileCentre(int i) const
    {
        return editor->mapFromScene(tile(i)->sceneBoundingRect().center());
    }

private slots:
    void init()
    {
        model = std::make_unique<QmdMemModel>();
        c = std::make_unique<QmdKelvoController>();
        c->setModel(model.get());
        nodeA = addNode(0);
        edges.clear();
        for (int i = 1; i <= 3; ++i) {
            const QmdItemId to = addNode(665280 * i);
            QmdItemId edge = 0;
            c->requestAddEdge(c->elementIndex(nodeA), c->elementIndex(to), QmdKelvo::CityBlock,
                              QmdKelvo::NoCreationFlags, QmdRequestOptions(QStringLiteral("Edge")),
                              &edge);
            edges << edge;
            nodeD = to;
        }
        QCoreApplication::processEvents();

        editor = std::make_unique<EdgeUsageListEditor>();
        editor->resize(200, 44);
        editor->show();
        QVERIFY(QTest::qWaitForWindowExposed(editor.get()));
        editor->setController(c.get());
        editor->setNode(nodeA);
    }

    void cleanup()
    {
        editor.reset();
        c.reset();
        model.reset();
    }

    void tilesShowTheList()
    {
        QCOMPARE(stored(), entry(0, 1) + ',' + entry(1, 1) + ',' + entry(2, 1));
        QCOMPARE(tileEdges(), (QList<QmdItemId> {edges.at(0), edges.at(1), edges.at(2)}));
        QCOMPARE(editor->scene()->sceneRect().width(), 92.0);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(tile(i)->pos(), QPointF(31 * i, 0));
            QCOMPARE(tile(i)->count(), 1);
            const int marker = c->edgeMarker(nodeA, edges.at(i));
            QCOMPARE(tile(i)->marker(), marker);
            QCOMPARE(tile(i)->toolTip(), QmdKelvo::paletteColorName(marker));
            QCOMPARE(tile(i)->pixmap().height(), editor->maximumViewportSize().height() - 1);
        }

        store(QString());
        QTRY_VERIFY(editor->tiles().isEmpty());
        QCOMPARE(editor->scene()->sceneRect().width(), 0.0);

        store(entry(0, 2) + QStringLiteral(",,") + entry(2, 0) + ',');
        QTRY_COMPARE(editor->tiles().size(), 2);
        QCOMPARE(tile(0)->count(), 2);
        QCOMPARE(tile(1)->count(), 0);
        QCOMPARE(tile(1)->countText(), QString(QChar(0x221E)));
        QCOMPARE(editor->scene()->sceneRect().width(), 61.0);
    }

    void addMenuListsTheOutgoingEdges()
    {
        const QList<QAction*> actions = editor->addMenu()->actions();
        QCOMPARE(actions.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(actions.at(i)->data().toUInt(), uint(edges.at(i)));
            QCOMPARE(actions.at(i)->text(),
                     QmdKelvo::paletteColorName(c->edgeMarker(nodeA, edges.at(i))));
            QVERIFY(!actions.at(i)->icon().isNull());
        }

        store(entry(0, 2));
        QTRY_COMPARE(editor->tiles().size(), 1);
        actions.at(2)->trigger();
        QCOMPARE(stored(), entry(0, 2) + ',' + entry(2, 1));
        QCOMPARE(editor->tiles().size(), 2);
        QCOMPARE(c->undoText(), QStringLiteral("Edge Usage"));
        // The same edge may be listed again.
        actions.at(2)->trigger();
        QCOMPARE(stored(), entry(0, 2) + ',' + entry(2, 1) + ',' + entry(2, 1));

        store(QString());
        QTRY_VERIFY(editor->tiles().isEmpty());
        actions.at(1)->trigger();
        QCOMPARE(stored(), entry(1, 1));
    }

    void noEdgesNoNode()
    {
        editor->setNode(nodeD);
        QVERIFY(editor->tiles().isEmpty());
        QList<QAction*> actions = editor->addMenu()->actions();
        QCOMPARE(actions.size(), 1);
        QCOMPARE(actions.at(0)->text(), QStringLiteral("(no edges)"));
        QVERIFY(!actions.at(0)->isEnabled());

        editor->setController(nullptr);
        editor->setNode(nodeA);
        QVERIFY(!editor->node().isValid());
        QVERIFY(editor->tiles().isEmpty());
        actions = editor->addMenu()->actions();
        QCOMPARE(actions.size(), 1);
        QVERIFY(!actions.at(0)->isEnabled());
    }

    void draggingReorders()
    {
        const QPointer<EdgeUsageTile> first = tile(0);
        const QPointer<EdgeUsageTile> second = tile(1);
        QSignalSpy finished(c.get(), &QmdController::requestFinished);
        QTest::mousePress(editor->viewport(), Qt::LeftButton, {}, tileCentre(0));
        // Past the middle of the second slot: the second tile makes room at once.
        QTest::mouseMove(editor->viewport(), tileCentre(0) + QPoint(20, 3));
        QCOMPARE(tileEdges(), (QList<QmdItemId> {edges.at(1), edges.at(0), edges.at(2)}));
        QVERIFY(second->isSliding());
        QCOMPARE(first->y(), 0.0);
        QCOMPARE(stored(), entry(0, 1) + ',' + entry(1, 1) + ',' + entry(2, 1));
        QTest::mouseRelease(editor->viewport(), Qt::LeftButton, {}, tileCentre(0) + QPoint(20, 3));
        QCOMPARE(stored(), entry(1, 1) + ',' + entry(0, 1) + ',' + entry(2, 1));
        QCOMPARE(first->pos(), QPointF(31, 0));
        QCOMPARE(c->undoText(), QStringLiteral("Edge Usage"));
        QTRY_COMPARE(finished.size(), 1);

        // The document's report of the editor's own write leaves the tiles, and the slide,
        // alone.
        QVERIFY(second && second->isSliding());
        QTRY_VERIFY(!second->isSliding());
        QCOMPARE(second->pos(), QPointF(0, 0));
        QCOMPARE(tile(1), first.data());

        // Never left of the first slot.
        QTest::mousePress(editor->viewport(), Qt::LeftButton, {}, tileCentre(1));
        QTest::mouseMove(editor->viewport(), tileCentre(1) - QPoint(80, 0));
        QCOMPARE(first->x(), 0.0);
        QTest::mouseRelease(editor->viewport(), Qt::LeftButton, {}, tileCentre(0));
        QCOMPARE(stored(), entry(0, 1) + ',' + entry(1, 1) + ',' + entry(2, 1));
    }

    void gesturesThatChangeNothingWriteNothing()
    {
        QSignalSpy finished(c.get(), &QmdController::requestFinished);
        // A click, and a drag that ends on the tile's own slot.
        QTest::mouseClick(editor->viewport(), Qt::LeftButton, {}, tileCentre(1));
        QTest::mousePress(editor->viewport(), Qt::LeftButton, {}, tileCentre(2));
        QTest::mouseMove(editor->viewport(), tileCentre(2) + QPoint(10, 0));
        QTest::mouseRelease(editor->viewport(), Qt::LeftButton, {}, tileCentre(2) + QPoint(10, 0));
        QCOMPARE(tile(2)->pos(), QPointF(62, 0));
        // The same count again.
        editor->onEditTriggered(tile(0));
        QTest::keyClick(editor->countEditor(), Qt::Key_Return);
        QVERIFY(!editor->countEditor()->isVisible());
        QTest::qWait(20);
        QCOMPARE(finished.size(), 0);
    }

    void editingACount()
    {
        QTest::mouseDClick(editor->viewport(), Qt::LeftButton, {}, tileCentre(1));
        QSpinBox* count = editor->countEditor();
        QVERIFY(count->isVisible());
        QCOMPARE(count->value(), 1);
        QCOMPARE(count->x(), editor->mapFromScene(QPointF(31, 0)).x() + 1);
        count->selectAll();
        QTest::keyClicks(count, QStringLiteral("0"));
        QTest::keyClick(count, Qt::Key_Return);
        QVERIFY(!count->isVisible());
        QCOMPARE(tile(1)->count(), 0);
        QCOMPARE(tile(1)->countText(), QString(QChar(0x221E)));
        QCOMPARE(stored(), entry(0, 1) + ',' + entry(1, 0) + ',' + entry(2, 1));
        QCOMPARE(c->undoText(), QStringLiteral("Edge Usage"));

        // Undone, the tiles show the document again.
        c->requestUndo();
        QTRY_COMPARE(tile(1)->count(), 1);
        c->requestRedo();
        QTRY_COMPARE(tile(1)->count(), 0);

        // An editor closed while a count is edited reports nothing more.
        QTest::mouseDClick(editor->viewport(), Qt::LeftButton, {}, tileCentre(2));
        QVERIFY(count->hasFocus());
        editor.reset();
    }

    void removingATile()
    {
        tile(0)->setSelected(true);
        editor->scene()->setFocusItem(tile(0));
        editor->setFocus();
        QTest::keyClick(editor->viewport(), Qt::Key_Delete);
        QCOMPARE(editor->tiles().size(), 2);
        QCOMPARE(stored(), entry(1, 1) + ',' + entry(2, 1));
        QCOMPARE(c->undoText(), QStringLiteral("Edge Usage"));
        QCOMPARE(editor->scene()->sceneRect().width(), 61.0);
        QTRY_COMPARE(tile(0)->pos(), QPointF(0, 0));

        c->requestUndo();
        QTRY_COMPARE(editor->tiles().size(), 3);
    }

    void removedEdgeLeavesTheTiles()
    {
        c->requestRemove(QmdItemIdList {edges.at(1)}, c->index(K::Elements, QmdIndex()),
                         QmdRequestOptions(QStringLiteral("Remove")));
        QTRY_COMPARE(tileEdges(), (QList<QmdItemId> {edges.at(0), edges.at(2)}));
        QCOMPARE(editor->addMenu()->actions().size(), 2);
        // A tile gesture now writes the list without the edge.
        QTest::mouseClick(editor->viewport(), Qt::LeftButton, {}, tileCentre(0));
        QCOMPARE(stored(), entry(0, 1) + ',' + entry(2, 1));

        c->requestUndo();
        QTRY_COMPARE(editor->tiles().size(), 3);
        QTRY_COMPARE(editor->addMenu()->actions().size(), 3);
    }

    void markerColoursFollowTheDocument()
    {
        const QmdIndex arcs = c->index(K::ArcIdentifiers, c->elementIndex(nodeA));
        c->requestSetData(edges.at(0), 7, arcs);
        QTRY_COMPARE(tile(0)->marker(), 7);
        QCOMPARE(tile(0)->toolTip(), QmdKelvo::paletteColorName(7));
        QCOMPARE(editor->addMenu()->actions().at(0)->text(), QmdKelvo::paletteColorName(7));
    }

    void markerPixmap()
    {
        const QImage overlay(QStringLiteral(":/images/EdgeTileAlpha.png"));
        QCOMPARE(overlay.size(), QSize(30, 36));
        QCOMPARE(qAlpha(overlay.pixel(15, 20)), 0);
        QVERIFY(qAlpha(overlay.pixel(15, 0)) > 0);
        QCOMPARE(qRed(overlay.pixel(15, 0)), 255);
        QVERIFY(qAlpha(overlay.pixel(15, 35)) > 0);
        QCOMPARE(qRed(overlay.pixel(15, 35)), 0);

        const QColor colour(40, 80, 160);
        const QImage tile = Kelvo::markerPixmap(colour, 30, 50).toImage();
        QCOMPARE(tile.size(), QSize(30, 50));
        QCOMPARE(tile.pixelColor(15, 30), colour);
        QVERIFY(tile.pixelColor(15, 0).lightness() > colour.lightness());
        QVERIFY(tile.pixelColor(15, 49).lightness() < colour.lightness());
        QCOMPARE(Kelvo::markerPixmap(colour, 16, 22).size(), QSize(16, 22));
    }
};

QTEST_MAIN(TestEdgeUsage)
#include "tst_edgeusage.moc"
