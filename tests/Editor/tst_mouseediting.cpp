#include "DocumentTool.h"
#include "EdgeGeometry.h"
#include "ElementItem.h"
#include "GraphicsEdgeItem.h"
#include "GraphicsNodeItem.h"
#include "GraphicsTextBoxItem.h"
#include "GraphicsVoiceGroupItem.h"
#include "QmdKelvoUnits.h"
#include "TestSync.h"
#include "ViewWindow.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QGraphicsSimpleTextItem>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>

#include <memory>

namespace K = QmdKelvoKeys;
using QmdKelvo::TickPoint;

namespace {

constexpr qint64 P = QmdKelvo::TicksPerPrincipal;
// The default division of a new document: four to the principal, 30 pixels at 100 % and 72 dpi.
constexpr qint64 Step = P / 4;
constexpr int StepPixels = 30;

// A window whose viewport is 400 × 300 pixels at 72 dpi, with the origin in its middle, and
// the gestures a user makes on it.
struct Editing : ViewWindow
{
    Editing() { shown = showWithViewport(QSize(400, 300)); }

    QWidget* viewport() const { return view->viewport(); }
    // The viewport point of a tick position.
    QPoint at(qint64 x, qint64 y) const
    {
        return view->mapFromScene(QmdKelvo::toScenePoint(TickPoint {x, y}));
    }
    QPoint at(const QGraphicsItem* item) const
    {
        return view->mapFromScene(item->mapToScene(item->boundingRect().center()));
    }

    void useTool(int tool)
    {
        DocumentTool::requestSet(controller(), tool);
        settle();
    }

    // A text box as a file or a paste brings it: closed, its editor not open.
    QmdItemId addTextBox(qint64 x, qint64 y, const QString& html)
    {
        const QmdItemIdList before = ofType(QmdKelvo::TextBoxElement);
        controller()->requestAddTextBox(TickPoint {x, y}, html);
        settle();
        QmdItemId id = 0;
        for (const QmdItemId box : ofType(QmdKelvo::TextBoxElement))
            id = before.contains(box) ? id : box;
        if (GraphicsTextBoxItem* item = textBox(id))
            item->closeEditor();
        deleteClosedEditors();
        return id;
    }
    // A closed editor goes with the next turn of the event loop.
    static void deleteClosedEditors()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // The text boxes whose editor is open.
    QmdItemIdList editedTextBoxes() const
    {
        QmdItemIdList ids;
        for (const QmdItemId id : ofType(QmdKelvo::TextBoxElement)) {
            if (textBox(id) && textBox(id)->editor())
                ids.append(id);
        }
        return ids;
    }
    GraphicsTextBoxItem* textBox(QmdItemId id) const
    {
        QGraphicsItem* item = itemOf(id);
        return item && item->type() == TextBoxItemType ? static_cast<GraphicsTextBoxItem*>(item)
                                                       : nullptr;
    }
    // Deletes elements as the window's Delete command does.
    void remove(const QmdItemIdList& ids)
    {
        controller()->requestRemove(ids, controller()->index(K::Elements, QmdIndex()),
                                    QmdRequestOptions(QStringLiteral("Delete")));
        settle();
    }
    // Saves the document, which leaves it at its clean state.
    bool save(const QString& path)
    {
        QSignalSpy saved(controller(), &QmdDocController::fileSaved);
        controller()->requestSave(path);
        return saved.wait() || !saved.isEmpty();
    }

    QmdItemIdList ofType(int type) const
    {
        QmdItemIdList ids;
        for (const QmdItemId id : controller()->elements()) {
            if (controller()->elementType(id) == type)
                ids.append(id);
        }
        return ids;
    }
    QVariant get(QmdItemId id, const QString& key) const
    {
        return controller()->data(key, controller()->elementIndex(id));
    }
    TickPoint tickPos(QmdItemId id) const { return get(id, K::TickPos).value<TickPoint>(); }
    QGraphicsItem* itemOf(QmdItemId id) const
    {
        ElementItem* item = scene->elementItem(id);
        return item ? item->graphicsItem() : nullptr;
    }
    // The unbound items that the view shows while a gesture is drawn.
    int previewCount() const
    {
        int count = 0;
        for (QGraphicsItem* item : scene->items()) {
            const auto* element = dynamic_cast<const ElementItem*>(item);
            count += element && element->elementId() == 0 ? 1 : 0;
        }
        return count;
    }
    GraphicsNodeItem* previewNode() const
    {
        for (QGraphicsItem* item : scene->items()) {
            if (item->type() == NodeItemType
                && static_cast<GraphicsNodeItem*>(item)->elementId() == 0)
                return static_cast<GraphicsNodeItem*>(item);
        }
        return nullptr;
    }

    // The left button pressed, moved through the points and released, each as its own event.
    void press(QPoint point, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mousePress(viewport(), Qt::LeftButton, modifiers, point);
    }
    void moveTo(QPoint point)
    {
        QTest::mouseMove(viewport(), point);
        settle();
    }
    void release(QPoint point, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::mouseRelease(viewport(), Qt::LeftButton, modifiers, point);
        settle();
    }
    void click(QPoint point, Qt::KeyboardModifiers modifiers = {})
    {
        press(point, modifiers);
        release(point, modifiers);
    }
    // A click whose hand trembles a little between press and release.
    void shakyClick(QPoint point)
    {
        press(point);
        moveTo(point + QPoint(2, 1));
        moveTo(point + QPoint(3, -2));
        release(point + QPoint(3, -2));
    }
    // A drag in steps of at most a few pixels, as a hand makes it.
    void drag(QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = {})
    {
        press(from, modifiers);
        const QPoint distance = to - from;
        const int steps = std::max(1, distance.manhattanLength() / 7);
        for (int i = 1; i <= steps; ++i)
            moveTo(from + distance * i / steps);
        release(to);
    }

    // Every element's data, to compare before and after a gesture.
    QMap<QmdItemId, QVariantMap> snapshot() const
    {
        QMap<QmdItemId, QVariantMap> all;
        for (const QmdItemId id : controller()->elements()) {
            const QmdIndex element = controller()->elementIndex(id);
            for (const QString& key : controller()->keys(element))
                all[id].insert(key, controller()->data(key, element));
        }
        return all;
    }

    bool shown = false;
};

} // namespace

class TestMouseEditing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        ViewWindow::initTickGeometryAt72();
        TestSync::registerType();
    }

    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect"))); }

    // ---- Snapping -----------------------------------------------------------------------

    void snappingRoundsToTheDivision_data()
    {
        QTest::addColumn<QVariant>("divisions");
        QTest::addColumn<qint64>("step");
        QTest::newRow("4") << QVariant(4u) << P / 4;
        QTest::newRow("7") << QVariant(7u) << P / 7;
        QTest::newRow("0 is a whole principal") << QVariant(0u) << P;
        QTest::newRow("negative is a whole principal") << QVariant(-4) << P;
    }

    void snappingRoundsToTheDivision()
    {
        QFETCH(QVariant, divisions);
        QFETCH(qint64, step);
        Editing e;
        e.controller()->requestSetData(K::DivsPerPrincipal, divisions, QmdIndex());
        e.settle();
        QCOMPARE(e.scene->tickStep, step);

        // Halves away from zero, on both sides of the origin.
        TickPoint point {step / 2, -step / 2};
        e.view->snapTickPoint(point);
        QCOMPARE(point, (TickPoint {step, -step}));
        point = {3 * step + step / 2 - 1, -2 * step - 1};
        e.view->snapTickPoint(point);
        QCOMPARE(point, (TickPoint {3 * step, -2 * step}));

        // A scene point lands on a whole number of ticks that is a multiple of the step.
        QPointF scenePoint(1000.3, -7.7);
        e.view->snapScenePoint(scenePoint);
        const TickPoint ticks = QmdKelvo::toTickPoint(scenePoint);
        QCOMPARE(ticks.x % step, qint64(0));
        QCOMPARE(ticks.y % step, qint64(0));
        QVERIFY(std::abs(scenePoint.x() - 1000.3) <= 60.0 * double(step) / double(P));
        QVERIFY(std::abs(QmdKelvo::toScenePoint(ticks).x() - scenePoint.x()) < 1e-9);
    }

    void withoutSnapPointsStayAsTheyAre()
    {
        Editing e;
        e.controller()->requestSetData(K::SnapToGrid, false, QmdIndex());
        e.settle();
        QPointF scenePoint(12.3456, -7.891);
        e.view->snapScenePoint(scenePoint);
        QCOMPARE(scenePoint, QPointF(12.3456, -7.891));
        TickPoint point {12345, -6789};
        e.view->snapTickPoint(point);
        QCOMPARE(point, (TickPoint {12345, -6789}));

        // A node drawn then stands where the user clicked.
        const QPoint click = e.at(0, 0) + QPoint(7, 4);
        e.click(click);
        QCOMPARE(e.ofType(QmdKelvo::NodeElement).size(), 1);
        QCOMPARE(e.tickPos(e.ofType(QmdKelvo::NodeElement).first()),
                 QmdKelvo::toTickPoint(e.view->mapToScene(click)));
    }

    // ---- Node and edge tool -------------------------------------------------------------

    void clickOnEmptyGridAddsOneSnappedNode()
    {
        Editing e;
        QVERIFY(e.shown);
        QCOMPARE(DocumentTool::current(e.controller()), int(NetworkView::NodeAndEdgeTool));
        e.click(e.at(Step, -2 * Step) + QPoint(StepPixels / 2 - 1, -(StepPixels / 2 - 1)));

        const QmdItemIdList nodes = e.ofType(QmdKelvo::NodeElement);
        QCOMPARE(e.controller()->elements().size(), 1);
        QCOMPARE(nodes.size(), 1);
        QCOMPARE(e.tickPos(nodes.first()), (TickPoint {Step, -2 * Step}));
        QCOMPARE(e.controller()->undoText(), QStringLiteral("Node"));
        QCOMPARE(e.previewCount(), 0);
        QCOMPARE(e.scene->selectedElementIds(), QmdItemIdSet {nodes.first()});
    }

    void clickOnANodeSelectsItAndAddsNothing()
    {
        Editing e;
        const QmdItemId start = e.addNode(0, 0);
        e.addNode(4 * Step, 0);
        const auto before = e.snapshot();
        const QString undoText = e.controller()->undoText();
        // A click, and a click whose hand trembles: no node on top of the clicked one.
        e.click(e.at(0, 0) + QPoint(3, 2));
        QCOMPARE(e.snapshot(), before);
        QCOMPARE(e.controller()->undoText(), undoText);
        QCOMPARE(e.previewCount(), 0);
        QCOMPARE(e.scene->selectedElementIds(), QmdItemIdSet {start});
        e.shakyClick(e.at(0, 0));
        QCOMPARE(e.snapshot(), before);
        QCOMPARE(e.previewCount(), 0);
    }

    void nodeAndEdgeNeverStackANodeOnANode()
    {
        Editing e;
        e.controller()->requestSetData(K::SnapToGrid, false, QmdIndex());
        e.settle();
        const QmdItemId start = e.addNode(0, 0);
        // Away from the node and back onto its very centre: an edge to itself, no new node.
        e.press(e.at(0, 0));
        e.moveTo(e.at(3 * Step, Step));
        e.moveTo(e.at(0, 0));
        e.release(e.at(0, 0));
        QCOMPARE(e.ofType(QmdKelvo::NodeElement), QmdItemIdList {start});
        for (const QmdItemId edge : e.ofType(QmdKelvo::EdgeElement))
            QCOMPARE(e.get(edge, K::ToNode).toUInt(), start);
    }

    void dragFromANodeAddsANodeAndAnEdgeWhereReleased()
    {
        Editing e;
        const QmdItemId start = e.addNode(0, 0);
        e.drag(e.at(0, 0), e.at(2 * Step, Step) + QPoint(4, -3));
        QCOMPARE(e.ofType(QmdKelvo::NodeElement).size(), 2);
        QCOMPARE(e.ofType(QmdKelvo::EdgeElement).size(), 1);
        const QmdItemId added = e.controller()->elements().at(1);
        QCOMPARE(e.tickPos(added), (TickPoint {2 * Step, Step}));
        QCOMPARE(e.get(e.ofType(QmdKelvo::EdgeElement).first(), K::FromNode).toUInt(), start);
        QCOMPARE(e.controller()->undoText(), QStringLiteral("Node && Edge"));
    }

    void dragFromNodeToNodeAddsOneEdge()
    {
        Editing e;
        const QmdItemId from = e.addNode(0, 0);
        const QmdItemId to = e.addNode(3 * Step, 2 * Step);
        e.press(e.at(0, 0));
        e.moveTo(e.at(Step, Step));
        GraphicsNodeItem* preview = e.previewNode();
        QVERIFY(preview);
        QCOMPARE(preview->opacity(), 0.6);
        QCOMPARE(preview->pen().color(), QColor(155, 158, 255));
        // Over the end node the preview turns green and sits on it.
        e.moveTo(e.at(3 * Step, 2 * Step) + QPoint(5, 5));
        QCOMPARE(preview->pen().color(), QColor(0, 255, 0));
        QCOMPARE(preview->pos(), e.itemOf(to)->pos());
        e.release(e.at(3 * Step, 2 * Step) + QPoint(5, 5));

        QCOMPARE(e.ofType(QmdKelvo::NodeElement).size(), 2);
        const QmdItemIdList edges = e.ofType(QmdKelvo::EdgeElement);
        QCOMPARE(edges.size(), 1);
        QCOMPARE(e.get(edges.first(), K::FromNode).toUInt(), from);
        QCOMPARE(e.get(edges.first(), K::ToNode).toUInt(), to);
        QCOMPARE(e.get(edges.first(), K::Path).toInt(), int(QmdKelvo::CityBlock));
        QCOMPARE(e.controller()->undoText(), QStringLiteral("Edge"));
        QCOMPARE(e.previewCount(), 0);
    }

    void newNodeDroppedOnANodeAddsNothing()
    {
        Editing e;
        e.addNode(2 * Step, 0);
        const auto before = e.snapshot();
        const QString undoText = e.controller()->undoText();
        e.press(e.at(-2 * Step, 0));
        e.moveTo(e.at(0, 0));
        QCOMPARE(e.previewNode()->pen().color(), QColor(155, 158, 255));
        e.moveTo(e.at(2 * Step, 0) + QPoint(-4, 3));
        QCOMPARE(e.previewNode()->pen().color(), QColor(255, 0, 0));
        e.release(e.at(2 * Step, 0) + QPoint(-4, 3));

        QCOMPARE(e.snapshot(), before);
        QCOMPARE(e.controller()->undoText(), undoText);
        QCOMPARE(e.previewCount(), 0);
    }

    void otherButtonsLeaveTheGestureGoingOn()
    {
        Editing e;
        e.press(e.at(0, 0));
        e.moveTo(e.at(Step, 0));
        QTest::mouseClick(e.viewport(), Qt::RightButton, {}, e.at(Step, 0));
        e.settle();
        QCOMPARE(e.controller()->elements().size(), 0);
        QCOMPARE(e.previewCount(), 1);
        e.moveTo(e.at(2 * Step, 0));
        e.release(e.at(2 * Step, 0));
        QCOMPARE(e.ofType(QmdKelvo::NodeElement).size(), 1);
        QCOMPARE(e.tickPos(e.ofType(QmdKelvo::NodeElement).first()), (TickPoint {2 * Step, 0}));
    }

    void clickBesideANodeAddsNoNodeOnIt()
    {
        Editing e;
        e.addNode(0, 0);
        const auto before = e.snapshot();
        // Outside the node's circle, but nearer its grid point than any other.
        const QPoint beside = e.at(0, 0) + QPoint(12, 9);
        QVERIFY(!NetworkView::asNodeItem(e.view->itemAt(beside)));
        e.press(beside);
        QCOMPARE(e.previewNode()->pen().color(), QColor(255, 0, 0));
        e.release(beside);
        QCOMPARE(e.snapshot(), before);
    }

    void previewFollowsTheMouseBackToWhereItStarted()
    {
        Editing e;
        // Dragged away and back to the grid point of the press: the node lands there.
        e.press(e.at(0, 0));
        e.moveTo(e.at(3 * Step, Step));
        e.moveTo(e.at(0, 0));
        e.release(e.at(0, 0));
        QCOMPARE(e.tickPos(e.ofType(QmdKelvo::NodeElement).value(0)), (TickPoint {0, 0}));
    }

    // ---- Voice group tool ---------------------------------------------------------------

    void voiceGroupGoesOnAPressedNodeOnly()
    {
        Editing e;
        const QmdItemId node = e.addNode(0, 0);
        e.useTool(NetworkView::VoiceGroupTool);
        const auto before = e.snapshot();
        e.drag(e.at(2 * Step, 0), e.at(0, 0));
        QCOMPARE(e.snapshot(), before);
        QCOMPARE(e.previewCount(), 0);

        // Pressed on the node, the group stays there wherever the mouse goes.
        e.press(e.at(0, 0) + QPoint(2, 2));
        QCOMPARE(e.previewCount(), 1);
        e.moveTo(e.at(3 * Step, 3 * Step));
        e.release(e.at(3 * Step, 3 * Step));
        const QmdItemIdList groups = e.ofType(QmdKelvo::VoiceGroupElement);
        QCOMPARE(groups.size(), 1);
        QCOMPARE(e.get(groups.first(), K::ToNode).toUInt(), node);
        QCOMPARE(e.controller()->undoText(), QStringLiteral("Voice Group"));
        QCOMPARE(e.previewCount(), 0);
    }

    // ---- Text tool ----------------------------------------------------------------------

    void textToolClickAddsATextBoxToTypeIn()
    {
        Editing e;
        e.useTool(NetworkView::TextBoxTool);
        // The new text box's size, as its preview shows it.
        GraphicsTextBoxItem probe(e.scene);
        probe.setHtml(QStringLiteral("<html><body>Text</body></html>"));
        const QSizeF size = probe.boundingRect().size();
        e.scene->removeItem(&probe);

        const QPoint point = e.at(Step, -Step) + QPoint(7, 5);
        e.press(point);
        QCOMPARE(e.previewCount(), 1);
        e.release(point);
        QCOMPARE(e.previewCount(), 0);
        const QmdItemIdList boxes = e.ofType(QmdKelvo::TextBoxElement);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(e.controller()->elements().size(), 1);
        QCOMPARE(e.controller()->undoText(), QStringLiteral("Text Box"));
        // Centred on the click, its top-left corner on the grid.
        TickPoint topLeft = QmdKelvo::toTickPoint(e.view->mapToScene(point)
                                                  - QPointF(size.width(), size.height()) / 2);
        e.view->snapTickPoint(topLeft);
        QCOMPARE(e.tickPos(boxes.first()), topLeft);

        // It opens for typing with its text selected, and typing replaces it.
        GraphicsTextBoxItem* box = e.textBox(boxes.first());
        QVERIFY(box->editor());
        QCOMPARE(box->editor()->textEdit()->textCursor().selectedText(), QStringLiteral("Text"));
        QTest::keyClicks(e.view, QStringLiteral("Intro"));
        // A click elsewhere ends the typing and makes no second text box.
        e.click(e.at(-3 * Step, 3 * Step));
        e.deleteClosedEditors();
        QVERIFY(!box->editor());
        QCOMPARE(e.controller()->elements().size(), 1);
        QCOMPARE(e.controller()->undoText(), QStringLiteral("Text"));
        QCOMPARE(box->toPlainText(), QStringLiteral("Intro"));

        e.controller()->requestUndo();
        e.settle();
        QCOMPARE(box->toPlainText(), QStringLiteral("Text"));
        e.controller()->requestUndo();
        e.settle();
        QVERIFY(e.controller()->elements().isEmpty());

        // Now that nothing is edited, the next click makes the next text box.
        e.click(e.at(-3 * Step, 3 * Step));
        QCOMPARE(e.ofType(QmdKelvo::TextBoxElement).size(), 1);
    }

    void textToolDragPlacesTheTopLeftCorner()
    {
        Editing e;
        e.useTool(NetworkView::TextBoxTool);
        e.press(e.at(0, 0));
        e.moveTo(e.at(Step, Step));
        e.moveTo(e.at(2 * Step, Step) + QPoint(4, -6));
        // The preview shows where the text box goes.
        QGraphicsItem* preview = nullptr;
        for (QGraphicsItem* item : e.scene->items()) {
            if (item->type() == TextBoxItemType)
                preview = item;
        }
        QVERIFY(preview);
        QCOMPARE(preview->pos(), QmdKelvo::toScenePoint(TickPoint {2 * Step, Step}));
        QVERIFY(preview->opacity() < 1.0);
        e.release(e.at(2 * Step, Step) + QPoint(4, -6));
        const QmdItemIdList boxes = e.ofType(QmdKelvo::TextBoxElement);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(e.tickPos(boxes.first()), (TickPoint {2 * Step, Step}));
        QCOMPARE(e.previewCount(), 0);
        QCOMPARE(e.editedTextBoxes(), boxes);
    }

    void textToolClickOnATextBoxEditsItAtTheCharacter()
    {
        Editing e;
        const QmdItemId box = e.addTextBox(0, 0, QStringLiteral("<p>Verse and chorus</p>"));
        e.scene->clearSelection();
        e.useTool(NetworkView::TextBoxTool);
        const QString undoText = e.controller()->undoText();
        const auto before = e.snapshot();

        // Near the end of the text: the cursor goes there, not to the middle.
        GraphicsTextBoxItem* item = e.textBox(box);
        QTextDocument* document = item->document();
        const QRectF line = document->documentLayout()->blockBoundingRect(document->begin());
        const QPointF nearEnd(line.right() - 10, line.center().y());
        const int expected = document->documentLayout()->hitTest(nearEnd, Qt::FuzzyHit);
        QVERIFY(expected > QStringLiteral("Verse and chorus").size() / 2 + 2);
        e.click(e.view->mapFromScene(item->mapToScene(nearEnd)));
        QVERIFY(item->editor());
        QCOMPARE(item->editor()->textEdit()->textCursor().position(), expected);
        QCOMPARE(e.controller()->elements().size(), 1);
        QCOMPARE(e.previewCount(), 0);

        // Closed without typing: nothing changed.
        e.click(e.at(4 * Step, 4 * Step));
        e.deleteClosedEditors();
        QVERIFY(!item->editor());
        QCOMPARE(e.controller()->elements().size(), 1);
        QCOMPARE(e.controller()->undoText(), undoText);
        QCOMPARE(e.snapshot(), before);
    }

    void drawingOnASelectedTextBoxLeavesItClosed()
    {
        Editing e;
        const QmdItemId box = e.addTextBox(0, 0, QStringLiteral("<p>Outro</p>"));
        e.itemOf(box)->setSelected(true);
        // A node drawn on the text box: the click is the node's, not the text box's.
        e.useTool(NetworkView::NodeAndEdgeTool);
        const QPoint point = e.at(e.itemOf(box));
        e.click(point);
        QCOMPARE(e.ofType(QmdKelvo::NodeElement).size(), 1);
        QVERIFY(e.editedTextBoxes().isEmpty());

        // A voice group on that node, over the text box.
        e.itemOf(box)->setSelected(true);
        e.useTool(NetworkView::VoiceGroupTool);
        const QmdItemId node = e.ofType(QmdKelvo::NodeElement).first();
        e.click(e.at(e.itemOf(node)));
        QCOMPARE(e.ofType(QmdKelvo::VoiceGroupElement).size(), 1);
        QVERIFY(e.editedTextBoxes().isEmpty());
    }

    void deleteKeysEditTheTextNotTheNetwork()
    {
        Editing e;
        QApplication::setActiveWindow(&e.window);
        // The window's own Delete command, as its menu gives it.
        QAction deleteAction(&e.window);
        deleteAction.setShortcuts(
            {QKeySequence(QKeySequence::Delete), QKeySequence(Qt::Key_Backspace)});
        e.window.addAction(&deleteAction);
        connect(&deleteAction, &QAction::triggered, &e.window, &TestDocumentWindow::del);

        e.useTool(NetworkView::TextBoxTool);
        e.click(e.at(0, 0));
        const QmdItemIdList boxes = e.ofType(QmdKelvo::TextBoxElement);
        QCOMPARE(e.editedTextBoxes(), boxes);
        GraphicsTextBoxItem* box = e.textBox(boxes.value(0));
        QTest::keyClicks(e.view, QStringLiteral("Coda"));
        QTest::keyClick(e.view, Qt::Key_Backspace);
        QTest::keyClick(e.view, Qt::Key_Left);
        QTest::keyClick(e.view, Qt::Key_Left);
        QTest::keyClick(e.view, Qt::Key_Delete);
        QCOMPARE(box->toPlainText(), QStringLiteral("Cd"));
        QCOMPARE(e.window.calls, QStringList());
        QCOMPARE(e.scene->selectedElementIds(), QmdItemIdSet(boxes.cbegin(), boxes.cend()));

        // Once the typing has ended, Delete is the window's again.
        e.click(e.at(-4 * Step, 4 * Step));
        e.deleteClosedEditors();
        QCOMPARE(e.controller()->undoText(), QStringLiteral("Text"));
        e.itemOf(boxes.value(0))->setSelected(true);
        QTest::keyClick(e.view, Qt::Key_Delete);
        QCOMPARE(e.window.calls, QStringList {QStringLiteral("del")});
    }

    // ---- Zoom tool ----------------------------------------------------------------------

    void zoomClick_data()
    {
        QTest::addColumn<QVariant>("zoom");
        QTest::addColumn<bool>("zoomOut");
        QTest::addColumn<double>("applied");
        QTest::addColumn<QVariant>("stored");
        QTest::newRow("in from 100%") << QVariant(1.0) << false << 2.0 << QVariant(2.0);
        QTest::newRow("out from 100%") << QVariant(1.0) << true << 0.5 << QVariant(0.5);
        QTest::newRow("in at 800%") << QVariant(8.0) << false << 8.0 << QVariant(8.0);
        QTest::newRow("out at 25%") << QVariant(0.25) << true << 0.25 << QVariant(0.25);
        // A document that holds no usable zoom shows actual size and zooms from there.
        QTest::newRow("in from nothing") << QVariant() << false << 2.0 << QVariant(2.0);
        QTest::newRow("out from 0") << QVariant(0.0) << true << 0.5 << QVariant(0.5);
    }

    void zoomClick()
    {
        QFETCH(QVariant, zoom);
        QFETCH(bool, zoomOut);
        QFETCH(double, applied);
        QFETCH(QVariant, stored);
        Editing e;
        e.addNode(0, 0);
        if (zoom.isValid())
            e.setZoomScale(zoom);
        else
            e.controller()->requestRemove(K::ZoomScale, QmdIndex());
        e.useTool(NetworkView::ZoomTool);
        e.view->setZoomDirection(zoomOut);
        const QString undoText = e.controller()->undoText();
        const auto before = e.snapshot();

        e.click(e.at(0, 0));
        QTRY_COMPARE(e.view->transform().m11(), applied);
        QCOMPARE(e.controller()->data(K::ZoomScale, QmdIndex()).toDouble(), stored.toDouble());
        // Neither an undo step nor a change to the network.
        QCOMPARE(e.controller()->undoText(), undoText);
        QCOMPARE(e.snapshot(), before);
    }

    // ---- Moving -------------------------------------------------------------------------

    void dragMovesTheSelectionAsOneStep()
    {
        Editing e;
        e.useTool(NetworkView::SelectionTool);
        const QmdItemId a = e.addNode(0, 0);
        const QmdItemId b = e.addNode(2 * Step, Step);
        // Off the grid: it keeps its offset.
        const QmdItemId c = e.addNode(-3 * Step + 17, 4 * Step - 5);
        const QmdItemId other = e.addNode(-4 * Step, -4 * Step);
        const QmdItemId box = e.addTextBox(Step, -3 * Step + 11, QStringLiteral("<p>Fine</p>"));
        e.scene->clearSelection();
        for (const QmdItemId id : {a, b, c, box})
            e.itemOf(id)->setSelected(true);

        // Grabbed off its centre, the node still lands on the grid.
        e.drag(e.at(0, 0) + QPoint(3, -2), e.at(2 * Step, -Step) + QPoint(9, -5));
        QCOMPARE(e.tickPos(a), (TickPoint {2 * Step, -Step}));
        QCOMPARE(e.tickPos(b), (TickPoint {4 * Step, 0}));
        QCOMPARE(e.tickPos(c), (TickPoint {-Step + 17, 3 * Step - 5}));
        QCOMPARE(e.tickPos(box), (TickPoint {3 * Step, -4 * Step + 11}));
        QCOMPARE(e.tickPos(other), (TickPoint {-4 * Step, -4 * Step}));
        QCOMPARE(e.controller()->undoText(), QStringLiteral("Move"));
        // The items follow the document.
        QCOMPARE(e.itemOf(b)->pos(), QmdKelvo::toScenePoint(TickPoint {4 * Step, 0}));
        QCOMPARE(e.itemOf(box)->pos(),
                 QmdKelvo::toScenePoint(TickPoint {3 * Step, -4 * Step + 11}));
        QCOMPARE(e.scene->selectedElementIds(), (QmdItemIdSet {a, b, c, box}));

        e.controller()->requestUndo();
        e.settle();
        QCOMPARE(e.tickPos(a), (TickPoint {0, 0}));
        QCOMPARE(e.tickPos(b), (TickPoint {2 * Step, Step}));
        QCOMPARE(e.tickPos(c), (TickPoint {-3 * Step + 17, 4 * Step - 5}));
        QCOMPARE(e.tickPos(box), (TickPoint {Step, -3 * Step + 11}));
        QCOMPARE(e.controller()->undoText(), QStringLiteral("Text Box"));
    }

    void movedNodeTakesItsEdgesAndVoiceGroups()
    {
        Editing e;
        e.useTool(NetworkView::SelectionTool);
        const QmdItemId a = e.addNode(0, 0);
        const QmdItemId b = e.addNode(4 * Step, 0);
        const QmdItemId c = e.addNode(4 * Step, 4 * Step);
        QmdItemId ab = 0;
        QmdItemId bc = 0;
        e.controller()->requestAddEdge(
            e.controller()->elementIndex(a), e.controller()->elementIndex(b), QmdKelvo::Direct,
            QmdKelvo::NoCreationFlags, QmdRequestOptions(QStringLiteral("Edge")), &ab);
        e.controller()->requestAddEdge(
            e.controller()->elementIndex(b), e.controller()->elementIndex(c), QmdKelvo::Direct,
            QmdKelvo::NoCreationFlags, QmdRequestOptions(QStringLiteral("Edge")), &bc);
        const QmdItemId group = e.addVoiceGroup(b);
        e.settle();
        e.itemOf(a)->setSelected(true);
        e.itemOf(b)->setSelected(true);

        e.drag(e.at(4 * Step, 0), e.at(4 * Step, -2 * Step));
        auto* edgeAb = static_cast<GraphicsEdgeItem*>(e.itemOf(ab));
        auto* edgeBc = static_cast<GraphicsEdgeItem*>(e.itemOf(bc));
        const QPointF newA = QmdKelvo::toScenePoint(TickPoint {0, -2 * Step});
        const QPointF newB = QmdKelvo::toScenePoint(TickPoint {4 * Step, -2 * Step});
        // Both ends moved: the line runs between their new places.
        QCOMPARE(edgeAb->fromPoint(), newA);
        QCOMPARE(edgeAb->toPoint(), newB);
        QCOMPARE(edgeBc->fromPoint(), newB);
        for (GraphicsEdgeItem* edge : {edgeAb, edgeBc}) {
            const EdgeGeometry geometry
                = EdgeGeometry::compute(edge->fromPoint(), edge->toPoint(), edge->pathType(),
                                        edge->signallingLabel()->boundingRect().size());
            QCOMPARE(edge->path(), geometry.path);
            QCOMPARE(edge->pos(), edge->fromPoint());
        }
        QCOMPARE(e.itemOf(group)->pos(), newB);
    }

    void halfStepsSendNothing()
    {
        Editing e;
        e.useTool(NetworkView::SelectionTool);
        const QmdItemId node = e.addNode(0, 0);
        const QString undoText = e.controller()->undoText();
        QSignalSpy changes(e.controller(), &QmdElementDocController::elementDataChanged);
        e.press(e.at(0, 0));
        for (int x = 1; x < StepPixels / 2; x += 3)
            e.moveTo(e.at(0, 0) + QPoint(x, -x / 2));
        QCOMPARE(changes.count(), 0);
        e.release(e.at(0, 0) + QPoint(StepPixels / 2 - 1, 0));
        QCOMPARE(changes.count(), 0);
        QCOMPARE(e.controller()->undoText(), undoText);
        QCOMPARE(e.tickPos(node), (TickPoint {0, 0}));

        // Over the half step it moves one, and once only however many moves stay there.
        e.press(e.at(0, 0));
        e.moveTo(e.at(0, 0) + QPoint(StepPixels / 2 + 1, 0));
        e.moveTo(e.at(0, 0) + QPoint(StepPixels / 2 + 3, 2));
        e.moveTo(e.at(0, 0) + QPoint(StepPixels, -3));
        e.release(e.at(0, 0) + QPoint(StepPixels, -3));
        QCOMPARE(changes.count(), 1);
        QCOMPARE(e.tickPos(node), (TickPoint {Step, 0}));
        QCOMPARE(e.controller()->undoText(), QStringLiteral("Move"));
    }

    void negativeDivisionsMoveByWholePrincipals()
    {
        Editing e;
        e.useTool(NetworkView::SelectionTool);
        e.controller()->requestSetData(K::DivsPerPrincipal, -4, QmdIndex());
        const QmdItemId node = e.addNode(0, 0);
        // A little over half a principal.
        e.drag(e.at(0, 0), e.at(0, 0) + QPoint(65, -20));
        QCOMPARE(e.tickPos(node), (TickPoint {P, 0}));
    }

    void modifierPressDeselectsAndTheRestMoves_data()
    {
        QTest::addColumn<Qt::KeyboardModifiers>("modifier");
        QTest::newRow("Ctrl") << Qt::KeyboardModifiers(Qt::ControlModifier);
        QTest::newRow("Shift") << Qt::KeyboardModifiers(Qt::ShiftModifier);
    }

    void modifierPressDeselectsAndTheRestMoves()
    {
        QFETCH(Qt::KeyboardModifiers, modifier);
        Editing e;
        e.useTool(NetworkView::SelectionTool);
        const QmdItemId a = e.addNode(0, 0);
        const QmdItemId b = e.addNode(2 * Step, 0);
        const QmdItemId c = e.addNode(0, 2 * Step);
        for (const QmdItemId id : {a, b, c})
            e.itemOf(id)->setSelected(true);

        e.press(e.at(0, 0), modifier);
        QCOMPARE(e.scene->selectedElementIds(), (QmdItemIdSet {b, c}));
        e.moveTo(e.at(Step, -Step));
        e.release(e.at(Step, -Step), modifier);
        QCOMPARE(e.tickPos(a), (TickPoint {0, 0}));
        QCOMPARE(e.tickPos(b), (TickPoint {3 * Step, -Step}));
        QCOMPARE(e.tickPos(c), (TickPoint {Step, Step}));
        // The release toggles nothing more.
        QCOMPARE(e.scene->selectedElementIds(), (QmdItemIdSet {b, c}));

        // Pressed again, it joins the selection.
        e.click(e.at(0, 0), modifier);
        QCOMPARE(e.scene->selectedElementIds(), (QmdItemIdSet {a, b, c}));
    }

    void rightOrModifiedPressesLeaveTheSelectionToTheView()
    {
        Editing e;
        e.useTool(NetworkView::SelectionTool);
        const QmdItemId a = e.addNode(0, 0);
        const QmdItemId b = e.addNode(3 * Step, 0);
        QCOMPARE(e.scene->selectedElementIds(), QmdItemIdSet {b});
        QTest::mouseClick(e.viewport(), Qt::RightButton, {}, e.at(0, 0));
        e.click(e.at(0, 0), Qt::AltModifier);
        QCOMPARE(e.scene->selectedElementIds(), QmdItemIdSet {b});
        // Nor does a press on empty grid with a modifier clear it.
        e.click(e.at(-3 * Step, -3 * Step), Qt::AltModifier);
        QCOMPARE(e.scene->selectedElementIds(), QmdItemIdSet {b});
        e.click(e.at(0, 0));
        QCOMPARE(e.scene->selectedElementIds(), QmdItemIdSet {a});
    }

    void pressOnEmptyGridSetsThePastePoint()
    {
        Editing e;
        e.useTool(NetworkView::SelectionTool);
        e.addNode(0, 0);
        const QPoint point = e.at(Step, Step) + QPoint(7, -4);
        e.click(point);
        QCOMPARE(e.window.calls, QStringList {QStringLiteral("setPasteTickPoint")});
        QCOMPARE(e.window.pasteTickPoints.value(0),
                 QmdKelvo::toTickPoint(e.view->mapToScene(point)));
        // Not on the grid.
        QVERIFY(e.window.pasteTickPoints.value(0).x % Step != 0);

        // A press on an element leaves it.
        e.click(e.at(0, 0));
        QCOMPARE(e.window.pasteTickPoints.size(), 1);
        // Other tools never set it.
        e.useTool(NetworkView::VoiceGroupTool);
        e.click(point);
        QCOMPARE(e.window.pasteTickPoints.size(), 1);
    }

    void releaseWithAModifierEndsTheGrabAndTheRubberBand()
    {
        Editing e;
        e.useTool(NetworkView::SelectionTool);
        const QmdItemId node = e.addNode(0, 0);
        e.press(e.at(0, 0));
        QCOMPARE(e.scene->mouseGrabberItem(), e.itemOf(node));
        e.moveTo(e.at(0, 0) + QPoint(2, 2));
        e.release(e.at(0, 0) + QPoint(2, 2), Qt::ShiftModifier);
        QVERIFY(!e.scene->mouseGrabberItem());
        QCOMPARE(e.scene->selectedElementIds(), QmdItemIdSet {node});

        // The rubber band from empty grid.
        e.press(e.at(3 * Step, 3 * Step));
        e.moveTo(e.at(-Step, -Step));
        QVERIFY(!e.view->rubberBandRect().isEmpty());
        QCOMPARE(e.scene->selectedElementIds(), QmdItemIdSet {node});
        e.release(e.at(-Step, -Step), Qt::ControlModifier);
        QVERIFY(e.view->rubberBandRect().isEmpty());
        QVERIFY(!e.scene->mouseGrabberItem());
        QCOMPARE(e.scene->selectedElementIds(), QmdItemIdSet {node});
    }

    void shakyClicksMoveNothingOffTheGrid()
    {
        QTemporaryDir dir;
        Editing e;
        e.useTool(NetworkView::SelectionTool);
        // Off the grid, as a paste at the clicked point or an older file leaves them.
        const TickPoint nodeAt {Step + 1234, -Step - 567};
        const TickPoint boxAt {-3 * Step + 89, Step + 1011};
        const QmdItemId node = e.addNode(nodeAt.x, nodeAt.y);
        const QmdItemId box = e.addTextBox(boxAt.x, boxAt.y, QStringLiteral("<p>Chorus</p>"));
        QVERIFY(e.save(dir.filePath(QStringLiteral("clean.kvd"))));
        QVERIFY(e.controller()->atCleanState());
        e.scene->clearSelection();
        QSignalSpy changes(e.controller(), &QmdElementDocController::elementDataChanged);

        e.shakyClick(e.at(e.itemOf(node)));
        QCOMPARE(e.scene->selectedElementIds(), QmdItemIdSet {node});
        // The first click selects the text box, the second opens its editor.
        e.shakyClick(e.at(e.itemOf(box)));
        QCOMPARE(e.scene->selectedElementIds(), QmdItemIdSet {box});
        QVERIFY(!e.textBox(box)->editor());
        e.shakyClick(e.at(e.itemOf(box)));
        QVERIFY(e.textBox(box)->editor());
        e.click(e.at(4 * Step, 4 * Step));
        QVERIFY(!e.textBox(box)->editor());

        QCOMPARE(changes.count(), 0);
        QVERIFY(e.controller()->atCleanState());
        QVERIFY(e.controller()->canUndo());
        QCOMPARE(e.tickPos(node), nodeAt);
        QCOMPARE(e.tickPos(box), boxAt);
    }

    void draggedTextBoxMovesAndStaysClosed()
    {
        Editing e;
        e.useTool(NetworkView::SelectionTool);
        const QmdItemId box = e.addTextBox(0, 0, QStringLiteral("<p>Bridge</p>"));
        e.itemOf(box)->setSelected(true);

        // Already selected, the text box moves; the release opens no editor.
        const QPoint grip = e.at(e.itemOf(box));
        e.drag(grip, grip + QPoint(2 * StepPixels, StepPixels));
        QCOMPARE(e.tickPos(box), (TickPoint {2 * Step, Step}));
        QCOMPARE(e.controller()->undoText(), QStringLiteral("Move"));
        QVERIFY(!e.textBox(box)->editor());
        QCOMPARE(e.scene->selectedElementIds(), QmdItemIdSet {box});
    }

    void elementWithoutAPositionStaysAndNothingElseChanges()
    {
        Editing e;
        e.useTool(NetworkView::SelectionTool);
        const QmdItemId a = e.addNode(0, 0);
        const QmdItemId b = e.addNode(3 * Step, 0);
        e.controller()->requestRemove(K::TickPos, e.controller()->elementIndex(b));
        e.settle();
        e.itemOf(a)->setSelected(true);
        e.itemOf(b)->setSelected(true);
        auto expected = e.snapshot();
        expected[a][K::TickPos] = QVariant::fromValue(TickPoint {Step, Step});

        e.drag(e.at(0, 0), e.at(Step, Step));
        QCOMPARE(e.snapshot(), expected);
        QVERIFY(!e.get(b, K::TickPos).isValid());
    }

    void nothingMovableSelectedMakesNoStep()
    {
        Editing e;
        e.useTool(NetworkView::SelectionTool);
        const QmdItemId node = e.addNode(0, 0);
        const QmdItemId group = e.addVoiceGroup(node);
        e.itemOf(node)->setSelected(true);
        e.itemOf(group)->setSelected(true);
        const QString undoText = e.controller()->undoText();
        QSignalSpy changes(e.controller(), &QmdElementDocController::elementDataChanged);
        // The node leaves the selection; the voice group follows its node only.
        e.press(e.at(0, 0), Qt::ControlModifier);
        e.moveTo(e.at(2 * Step, 0));
        e.release(e.at(2 * Step, 0));
        QCOMPARE(changes.count(), 0);
        QCOMPARE(e.controller()->undoText(), undoText);
        QCOMPARE(e.scene->selectedElementIds(), QmdItemIdSet {group});
    }

    void resetDuringADragEndsIt_data()
    {
        QTest::addColumn<int>("tool");
        QTest::addColumn<bool>("document");
        QTest::newRow("move, scene reset") << int(NetworkView::SelectionTool) << false;
        QTest::newRow("move, document reset") << int(NetworkView::SelectionTool) << true;
        QTest::newRow("new node, scene reset") << int(NetworkView::NodeAndEdgeTool) << false;
        QTest::newRow("new edge, document reset") << int(NetworkView::NodeAndEdgeTool) << true;
        QTest::newRow("voice group, scene reset") << int(NetworkView::VoiceGroupTool) << false;
        QTest::newRow("text box, scene reset") << int(NetworkView::TextBoxTool) << false;
        QTest::newRow("text box, document reset") << int(NetworkView::TextBoxTool) << true;
    }

    void resetDuringADragEndsIt()
    {
        QFETCH(int, tool);
        QFETCH(bool, document);
        Editing e;
        e.useTool(tool);
        const QmdItemId node = e.addNode(0, 0);
        e.itemOf(node)->setSelected(true);
        e.press(e.at(0, 0));
        e.moveTo(e.at(Step, 0));
        if (document)
            e.controller()->reset();
        else
            e.scene->reset();
        e.settle();
        QCOMPARE(e.previewCount(), 0);
        const auto before = e.snapshot();
        for (int i = 2; i < 5; ++i)
            e.moveTo(e.at(i * Step, Step));
        e.release(e.at(4 * Step, Step));
        QCOMPARE(e.snapshot(), before);
        QCOMPARE(e.previewCount(), 0);

        // The next gesture works as ever.
        e.useTool(NetworkView::NodeAndEdgeTool);
        const int count = e.controller()->elements().size();
        e.click(e.at(-3 * Step, -3 * Step));
        QCOMPARE(e.controller()->elements().size(), count + 1);
    }

    // ---- Starting and stopping voice groups ---------------------------------------------

    void altClickStartsAndStopsVoiceGroups()
    {
        Editing e;
        e.useTool(NetworkView::SelectionTool);
        QmdKelvoController* c = e.controller();
        c->requestSetData(K::SyncType, TestSync::staticTypeId(), QmdIndex());
        const QmdItemId a = e.addNode(0, 0);
        const QmdItemId b = e.addNode(4 * Step, 0);
        const QmdItemId clicked = e.addVoiceGroup(a);
        const QmdItemId selected = e.addVoiceGroup(b);
        const QmdItemId other = e.addVoiceGroup(b);
        QVERIFY(clicked && selected && other);
        c->requestPlay();
        c->requestStopVoiceGroups({clicked, selected, other});
        QVERIFY(!c->isVoiceGroupIterating(clicked));
        e.scene->clearSelection();
        e.itemOf(selected)->setSelected(true);
        e.itemOf(b)->setSelected(true);

        const QPoint onGroup = e.at(e.itemOf(clicked));
        QCOMPARE(e.view->itemAt(onGroup), e.itemOf(clicked));
        e.click(onGroup, Qt::AltModifier);
        QVERIFY(c->isVoiceGroupIterating(clicked));
        QVERIFY(c->isVoiceGroupIterating(selected));
        QVERIFY(!c->isVoiceGroupIterating(other));
        // The selection stays as it was.
        QCOMPARE(e.scene->selectedElementIds(), (QmdItemIdSet {selected, b}));

        e.click(onGroup, Qt::AltModifier);
        QVERIFY(!c->isVoiceGroupIterating(clicked));
        QVERIFY(!c->isVoiceGroupIterating(selected));
        c->requestPause();
    }

    // ---- Scene rectangle ----------------------------------------------------------------

    void sceneGrowsDuringADragAndShrinksAtTheRelease()
    {
        Editing e;
        e.useTool(NetworkView::SelectionTool);
        const QRectF onePage(-200, -150, 400, 300);
        // One node beyond the left edge of the page: dragged right with the other, the left
        // side of the contents comes in while the right side goes out.
        const QmdItemId left = e.addNode(-3 * P, 0);
        const QmdItemId node = e.addNode(0, 0);
        e.itemOf(left)->setSelected(true);
        auto fitted = [&] {
            return onePage.united(e.scene->sceneContentsRect().adjusted(-20, -20, 20, 20));
        };
        QCOMPARE(e.scene->sceneRect(), fitted());
        const QRectF before = e.scene->sceneRect();

        const QPoint start = e.at(0, 0);
        e.press(start);
        QSignalSpy rectSet(e.scene, &QGraphicsScene::sceneRectChanged);
        for (int x = 20; x <= 260; x += 20) {
            e.moveTo(start + QPoint(x, 0));
            // Both nodes stay in reach at every step.
            QVERIFY(e.scene->sceneRect().contains(e.scene->sceneContentsRect()));
        }
        // The area grows ahead of the drag: not at every step, each of which would repaint
        // the whole view.
        QVERIFY2(rectSet.count() <= 2, QByteArray::number(rectSet.count()).constData());
        QVERIFY(e.itemOf(node)->sceneBoundingRect().right() > onePage.right());
        const QRectF grown = e.scene->sceneRect();
        QVERIFY(grown.contains(before));

        for (int x = 240; x >= 0; x -= 20)
            e.moveTo(start + QPoint(x, 0));
        QVERIFY(e.itemOf(node)->sceneBoundingRect().right() < onePage.right());
        QCOMPARE(e.scene->sceneRect(), grown);
        e.release(start);
        QCOMPARE(e.tickPos(left), (TickPoint {-3 * P, 0}));
        QCOMPARE(e.scene->sceneRect(), fitted());
        QCOMPARE(e.scene->sceneRect(), before);
    }

    // ---- Elements that leave the document during a gesture -----------------------------

    void gestureWhoseNodeGoesEndsWithoutARequest_data()
    {
        QTest::addColumn<int>("tool");
        QTest::addColumn<bool>("removeTarget");
        QTest::addColumn<bool>("byUndo");
        QTest::newRow("edge start, undo") << int(NetworkView::NodeAndEdgeTool) << false << true;
        QTest::newRow("edge start, delete") << int(NetworkView::NodeAndEdgeTool) << false << false;
        QTest::newRow("edge target, undo") << int(NetworkView::NodeAndEdgeTool) << true << true;
        QTest::newRow("voice group node, undo")
            << int(NetworkView::VoiceGroupTool) << false << true;
        QTest::newRow("voice group node, delete")
            << int(NetworkView::VoiceGroupTool) << false << false;
    }

    void gestureWhoseNodeGoesEndsWithoutARequest()
    {
        QFETCH(int, tool);
        QFETCH(bool, removeTarget);
        QFETCH(bool, byUndo);
        Editing e;
        const QmdItemId other = e.addNode(0, 0);
        const QmdItemId node = e.addNode(4 * Step, 0);
        e.useTool(tool);
        const QPoint from = e.at(removeTarget ? 0 : 4 * Step, 0);
        const QPoint to = removeTarget ? e.at(4 * Step, 0) : e.at(2 * Step, 2 * Step);
        e.press(from);
        e.moveTo((from + to) / 2);
        e.moveTo(to);
        QVERIFY(e.previewCount() > 0);

        // While the button is held, the node goes (the last step undone, or deleted).
        if (byUndo)
            e.controller()->requestUndo();
        else
            e.remove({node});
        e.settle();
        QCOMPARE(e.controller()->elements(), QmdItemIdList {other});
        QCOMPARE(e.previewCount(), 0);
        const auto before = e.snapshot();
        const QString undoText = e.controller()->undoText();

        e.moveTo(to + QPoint(StepPixels, 0));
        e.release(to + QPoint(StepPixels, 0));
        QCOMPARE(e.snapshot(), before);
        QCOMPARE(e.controller()->undoText(), undoText);
        QCOMPARE(e.previewCount(), 0);
    }

    void draggedNodeThatGoesLeavesTheDrag()
    {
        Editing e;
        e.useTool(NetworkView::SelectionTool);
        const QmdItemId dragged = e.addNode(0, 0);
        const QmdItemId other = e.addNode(0, 2 * Step);
        e.itemOf(dragged)->setSelected(true);
        e.itemOf(other)->setSelected(true);
        e.press(e.at(0, 0));
        e.moveTo(e.at(0, 0) + QPoint(StepPixels / 2, 0));
        e.moveTo(e.at(Step, 0));
        QCOMPARE(e.tickPos(other), (TickPoint {Step, 2 * Step}));

        // The dragged node goes; the other one goes on moving, as a step of its own.
        e.remove(QmdItemIdList {dragged});
        e.settle();
        e.moveTo(e.at(3 * Step, 0));
        QCOMPARE(e.tickPos(other), (TickPoint {3 * Step, 2 * Step}));
        e.remove(QmdItemIdList {other});
        e.settle();

        // Nothing is left to move: the rest of the drag makes no step.
        e.moveTo(e.at(5 * Step, 0));
        e.release(e.at(5 * Step, 0));
        QCOMPARE(e.controller()->undoText(), QStringLiteral("Delete"));
        // Each undo shows its change: the other node back, moved back, the dragged one back.
        e.controller()->requestUndo();
        e.settle();
        QCOMPARE(e.controller()->elements(), QmdItemIdList {other});
        QCOMPARE(e.itemOf(other)->pos(), QmdKelvo::toScenePoint(TickPoint {3 * Step, 2 * Step}));
        QCOMPARE(e.controller()->undoText(), QStringLiteral("Move"));
        e.controller()->requestUndo();
        e.settle();
        QCOMPARE(e.tickPos(other), (TickPoint {Step, 2 * Step}));
        QCOMPARE(e.controller()->undoText(), QStringLiteral("Delete"));
        e.controller()->requestUndo();
        e.settle();
        QCOMPARE(e.tickPos(dragged), (TickPoint {Step, 0}));
    }

    void sceneShrinksWhenFarElementsGo()
    {
        Editing e;
        const QRectF onePage(-200, -150, 400, 300);
        e.addNode(0, 0);
        const QmdItemId far = e.addNode(40 * P, 0);
        QVERIFY(e.scene->sceneRect().right() > 3000);
        e.remove(QmdItemIdList {far});
        e.settle();
        QCOMPARE(e.scene->sceneRect(), onePage);

        // Undone, the far node is in reach again.
        e.controller()->requestUndo();
        e.settle();
        QVERIFY(e.scene->sceneRect().right() > 3000);
    }

    // ---- What the user sees -------------------------------------------------------------

    void textBoxesAreReadableOnEveryStyle()
    {
        Editing e;
        e.controller()->requestLoadStylePreset(QStringLiteral("Light"));
        e.settle();
        const QmdItemId plain = e.addTextBox(-4 * Step, -3 * Step,
                                             QStringLiteral("<html><body>Welcome</body></html>"));
        const QmdItemId red = e.addTextBox(
            -4 * Step, 2 * Step,
            QStringLiteral("<html><body><span style=\"color:#ff0000;\">Red</span></body></html>"));
        // One drawn with the text tool and typed into.
        e.useTool(NetworkView::TextBoxTool);
        e.click(e.at(2 * Step, -2 * Step));
        QTest::keyClicks(e.view, QStringLiteral("Typed"));
        e.useTool(NetworkView::SelectionTool);
        e.click(e.at(4 * Step, 4 * Step));
        Editing::deleteClosedEditors();
        QmdItemIdList boxes = e.ofType(QmdKelvo::TextBoxElement);
        boxes.removeAll(plain);
        boxes.removeAll(red);
        QCOMPARE(boxes.size(), 1);
        const QmdItemId typed = boxes.first();

        // The pixels of a text box that stand out from the background.
        auto standingOut = [&](QmdItemId id, const QColor& background) {
            const QImage shot = e.viewport()->grab().toImage();
            const QRect area = e.view->mapFromScene(e.itemOf(id)->sceneBoundingRect())
                                   .boundingRect()
                                   .intersected(shot.rect());
            int count = 0;
            for (int y = area.top(); y <= area.bottom(); ++y) {
                for (int x = area.left(); x <= area.right(); ++x) {
                    const QColor pixel = shot.pixelColor(x, y);
                    count += std::abs(pixel.red() - background.red())
                                + std::abs(pixel.green() - background.green())
                                + std::abs(pixel.blue() - background.blue())
                            > 200
                        ? 1
                        : 0;
                }
            }
            return count;
        };
        for (const QString& style : {QStringLiteral("Light"), QStringLiteral("Dark")}) {
            e.controller()->requestLoadStylePreset(style);
            e.settle();
            const QColor background = e.scene->backgroundColor();
            QVERIFY2(standingOut(plain, background) > 40, qPrintable(style));
            QVERIFY2(standingOut(typed, background) > 40, qPrintable(style));
            QVERIFY2(standingOut(red, background) > 20, qPrintable(style));
            // A colour of its own stays.
            QCOMPARE(e.textBox(red)->document()->toPlainText(), QStringLiteral("Red"));
            QVERIFY(e.get(red, K::Text).toString().contains(QStringLiteral("#ff0000")));
        }
        // The colour that follows the style is not written into the text.
        QVERIFY(!e.get(typed, K::Text).toString().contains(QStringLiteral("color")));
    }

    void labelsOfAPlayingNetworkNeverOverlap()
    {
        Editing e;
        // A node with edges one division away in four directions, its counter and last notes
        // and every edge's signalling shown, as while the network plays.
        const QmdItemId hub = e.addNode(0, 0);
        const QList<TickPoint> ends {{0, -Step}, {Step, -Step}, {Step, 0}, {-Step, -Step}};
        QmdItemIdList edges;
        for (const TickPoint& end : ends)
            edges.append(e.addEdge(hub, e.addNode(end.x, end.y)));
        e.controller()->requestSetData(K::Path, int(QmdKelvo::Direct),
                                       e.controller()->elementIndex(edges.at(1)));
        e.controller()->requestSetData(K::SignallingMethod, int(QmdKelvo::Random),
                                       e.controller()->elementIndex(hub));
        for (const QString& key :
             {K::ShowNodeCounters, K::ShowNodeLastNotesSent, K::ShowEdgeSignalling})
            e.controller()->requestSetData(key, true, QmdIndex());
        e.settle();
        auto setState = [&](const QString& key, const QVariant& value) {
            e.controller()->requestSetData(
                key, value, e.controller()->index(hub, e.controller()->elementStatesRoot()),
                QmdRequestOptions(Qmd::NotUndoable, QString()));
            e.settle();
        };
        setState(K::HitCount, 4u);
        setState(K::LastNotesSent, QStringLiteral("E4:85"));

        auto labels = [&] {
            QList<const QGraphicsSimpleTextItem*> shown;
            for (const QGraphicsItem* item : e.scene->items()) {
                const auto* label = dynamic_cast<const QGraphicsSimpleTextItem*>(item);
                if (label && label->isVisible() && !label->text().isEmpty())
                    shown.append(label);
            }
            return shown;
        };
        auto checkNoOverlap = [&](const char* when) {
            const QList<const QGraphicsSimpleTextItem*> shown = labels();
            QCOMPARE(shown.size(), 1 + 2 * edges.size());
            // No edge's signalling covers a node's counter and last notes.
            for (int i = 0; i < shown.size(); ++i) {
                if (shown[i]->parentItem()->type() != NodeItemType)
                    continue;
                for (int j = 0; j < shown.size(); ++j) {
                    if (shown[j]->parentItem()->type() != EdgeItemType)
                        continue;
                    const QRect a
                        = e.view->mapFromScene(shown[i]->sceneBoundingRect()).boundingRect();
                    const QRect b
                        = e.view->mapFromScene(shown[j]->sceneBoundingRect()).boundingRect();
                    QVERIFY2(!a.intersects(b),
                             qPrintable(QStringLiteral("%1: \"%2\" covers \"%3\"")
                                            .arg(QLatin1String(when), shown[i]->text(),
                                                 shown[j]->text())));
                }
            }
        };
        for (const double zoom : {0.25, 1.0, 3.0, 8.0}) {
            e.setZoomScale(zoom);
            e.settle();
            checkNoOverlap(qPrintable(QStringLiteral("zoom %1").arg(zoom)));
        }
        // A longer text as the network plays on.
        setState(K::HitCount, 1234u);
        setState(K::LastNotesSent, QStringLiteral("C#4:100 E4:85 G4:90"));
        e.setZoomScale(1.0);
        e.settle();
        checkNoOverlap("longer texts");
    }

    // ---- What the document holds --------------------------------------------------------

    void drawnNetworkIsSavedOnTheGrid()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("drawn.kvd"));
        {
            Editing e;
            // Three nodes in a row, an edge back from the last to the first, a voice group,
            // then the middle one moved; clicks a little off the grid.
            e.click(e.at(-2 * Step, 0) + QPoint(4, 6));
            e.drag(e.at(-2 * Step, 0), e.at(0, Step) + QPoint(-5, 3));
            e.drag(e.at(0, Step), e.at(2 * Step, 0) + QPoint(6, -2));
            e.drag(e.at(2 * Step, 0), e.at(-2 * Step, 0) + QPoint(2, 2));
            e.useTool(NetworkView::VoiceGroupTool);
            e.click(e.at(-2 * Step, 0));
            e.useTool(NetworkView::SelectionTool);
            e.click(e.at(0, Step));
            e.drag(e.at(0, Step), e.at(Step, 3 * Step) + QPoint(8, 8));

            QSignalSpy saved(e.controller(), &QmdDocController::fileSaved);
            e.controller()->requestSave(path);
            QTRY_COMPARE(saved.count(), 1);
        }

        TestDocumentWindow reader;
        QSignalSpy loaded(reader.controller(), &QmdDocController::fileLoaded);
        reader.controller()->requestLoad(path);
        QTRY_COMPARE(loaded.count(), 1);
        QmdKelvoController* c = reader.controller();
        QMap<int, int> counts;
        QList<TickPoint> positions;
        for (const QmdItemId id : c->elements()) {
            ++counts[c->elementType(id)];
            if (c->elementType(id) == QmdKelvo::NodeElement)
                positions.append(c->data(K::TickPos, c->elementIndex(id)).value<TickPoint>());
        }
        QCOMPARE(counts.value(QmdKelvo::NodeElement), 3);
        QCOMPARE(counts.value(QmdKelvo::EdgeElement), 3);
        QCOMPARE(counts.value(QmdKelvo::VoiceGroupElement), 1);
        for (const TickPoint& pos : std::as_const(positions)) {
            QCOMPARE(pos.x % Step, qint64(0));
            QCOMPARE(pos.y % Step, qint64(0));
        }
        QVERIFY(positions.contains(TickPoint {Step, 3 * Step}));
    }
};

QTEST_MAIN(TestMouseEditing)
#include "tst_mouseediting.moc"
