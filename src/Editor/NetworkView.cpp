#include "NetworkView.h"

#include "DocumentTool.h"
#include "DocumentWindow.h"
#include "GraphicsEdgeItem.h"
#include "GraphicsNodeItem.h"
#include "GraphicsTextBoxItem.h"
#include "GraphicsVoiceGroupItem.h"
#include "NetworkScene.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdKelvoUnits.h"
#include "QwpComboBox.h"
#include "ZoomScale.h"

#include <QApplication>
#include <QGraphicsItem>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <cmath>
#include <memory>

namespace K = QmdKelvoKeys;

namespace {

// The entries of the zoom box: text (not translated) and the "ZoomScale" it stands for.
struct ZoomEntry
{
    const char* text;
    double scale;
};

constexpr ZoomEntry ZoomEntries[] = {
    {"25%", 0.25}, {"50%", 0.5},  {"75%", 0.75}, {"100%", 1.0}, {"125%", 1.25}, {"150%", 1.5},
    {"200%", 2.0}, {"300%", 3.0}, {"400%", 4.0}, {"600%", 6.0}, {"800%", 8.0},
};

constexpr int ZoomComboWidth = 60;
// The zoom box's font is this much smaller than the application's, but no smaller than
// MinimumZoomComboFontSize.
constexpr int ZoomComboFontReduction = 2;
constexpr int MinimumZoomComboFontSize = 7;

// The margin around the contents that the scene rectangle keeps, in scene units.
constexpr qreal SceneMargin = 20;

// The hot spot of the pixmap cursors.
constexpr int CursorHotSpot = 7;

// How previews are drawn: translucent, the new node above everything else, its ring red over a
// node that it would cover, green over the node that a new edge would end at.
constexpr double PreviewOpacity = 0.6;
constexpr double PreviewNodeZ = 10.0;
const QColor PreviewNodeRing(155, 158, 255);
const QColor PreviewNodeBlocked(255, 0, 0);
const QColor PreviewNodeJoins(0, 255, 0);

// A value rounded to the nearest multiple of step (halves away from zero).
QmdKelvo::Ticks snapped(QmdKelvo::Ticks value, QmdKelvo::Ticks step)
{
    return QmdKelvo::Ticks(std::llroundl((long double)value / (long double)step)) * step;
}

QmdKelvo::TickPoint operator+(QmdKelvo::TickPoint a, QmdKelvo::TickPoint b)
{
    return QmdKelvo::TickPoint {a.x + b.x, a.y + b.y};
}

QmdKelvo::TickPoint operator-(QmdKelvo::TickPoint a, QmdKelvo::TickPoint b)
{
    return QmdKelvo::TickPoint {a.x - b.x, a.y - b.y};
}

QCursor pixmapCursor(const char* path)
{
    return QCursor(QPixmap(QString::fromLatin1(path)), CursorHotSpot, CursorHotSpot);
}

// The application's font made smaller for the zoom box, so that the box fits the height of a
// scroll bar.
QFont zoomComboFont()
{
    QFont font = QApplication::font();
    if (font.pointSizeF() > 0)
        font.setPointSizeF(
            std::max<qreal>(MinimumZoomComboFontSize, font.pointSizeF() - ZoomComboFontReduction));
    else if (font.pixelSize() > 0)
        font.setPixelSize(
            std::max(MinimumZoomComboFontSize, font.pixelSize() - ZoomComboFontReduction));
    return font;
}

} // namespace

NetworkView::NetworkView(QWidget* parent)
    : QGraphicsView(parent)
{
    setCacheMode(CacheBackground);
    setFocusPolicy(Qt::WheelFocus);

    // The zoom box sits at the left end of the horizontal scroll bar, in the scroll bar's
    // height: a box of the usual height would widen the whole row.
    zoomCombo = new QwpComboBox(this);
    zoomCombo->setFocusPolicy(Qt::NoFocus);
    zoomCombo->setFont(zoomComboFont());
    for (const ZoomEntry& entry : ZoomEntries)
        zoomCombo->addItem(QIcon(), QString::fromLatin1(entry.text), entry.scale);
    zoomCombo->ensurePolished();
    zoomCombo->setFixedWidth(std::max(ZoomComboWidth, zoomCombo->sizeHint().width()));
    zoomCombo->setMaximumHeight(
        style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, horizontalScrollBar()));
    addScrollBarWidget(zoomCombo, Qt::AlignLeft);

    reset();
}

NetworkView::~NetworkView()
{
    cancelInteraction();
}

void NetworkView::setScene(NetworkScene* scene)
{
    if (networkScene) {
        disconnect(networkScene, &NetworkScene::sceneContentsRectChanged, this,
                   &NetworkView::onSceneContentsRectChanged);
        disconnect(networkScene, &NetworkScene::aboutToReset, this,
                   &NetworkView::cancelInteraction);
        disconnect(networkScene, &NetworkScene::burstSettled, this, &NetworkView::onBurstSettled);
    }
    // A gesture on the old scene ends.
    if (gestureInProgress())
        cancelInteraction();
    networkScene = scene;
    if (scene) {
        connect(scene, &NetworkScene::sceneContentsRectChanged, this,
                &NetworkView::onSceneContentsRectChanged);
        // The scene deletes its items at a reset, the previews among them.
        connect(scene, &NetworkScene::aboutToReset, this, &NetworkView::cancelInteraction);
        connect(scene, &NetworkScene::burstSettled, this, &NetworkView::onBurstSettled);
    }
    QGraphicsView::setScene(scene);
}

void NetworkView::setController(QmdKelvoController* controller)
{
    if (this->controller) {
        this->controller->unbind(zoomCombo);
        unbindContextMenu();
        this->controller->disconnect(this);
    }
    QmdObserver<QmdKelvoController>::setController(controller);
    if (controller) {
        connect(controller, &QmdKelvoController::elementsAdded, this,
                &NetworkView::onElementsAdded);
        connect(controller, &QmdKelvoController::elementsRemoved, this,
                &NetworkView::onElementsRemoved);
        using KeysSignal
            = void (QmdController::*)(const QmdIndex&, const QStringList&, QmdRequestId);
        // A removed "ZoomScale" or "Tool" reads as 0 and is applied as such.
        for (KeysSignal signal :
             {KeysSignal(&QmdController::itemsChanged), KeysSignal(&QmdController::itemsRemoved)})
            connect(controller, signal, this, &NetworkView::onItemsChanged);
        connect(controller, &QmdController::modelReset, this, &NetworkView::reset);
        // Also emitted on the thread of a MIDI clock: the view takes it on its own.
        connect(controller, &QmdKelvoController::playbackStateChanged, this,
                &NetworkView::onPlaybackStateChanged);
        // Picking an entry writes its scale to the document without an undo step.
        controller->bind(zoomCombo, "currentKey", SIGNAL(activated(int)), K::ZoomScale, QmdIndex(),
                         QVariant(), QVariant(), QString(), Qmd::NotUndoable);
    }
    reset();
}

DocumentWindow* NetworkView::actionWindow() const
{
    return qobject_cast<DocumentWindow*>(actionTarget.data());
}

QmdKelvo::TickPoint NetworkView::tickPointAt() const
{
    const QPoint centre((viewport()->width() - 1) / 2, (viewport()->height() - 1) / 2);
    return QmdKelvo::toTickPoint(mapToScene(centre));
}

void NetworkView::setTool(int tool)
{
    if (tool >= SelectionTool && tool <= TextBoxTool)
        this->tool = tool;
    updateCursor();
}

void NetworkView::setZoomDirection(bool zoomOut)
{
    const double zoomed = zoomScale() * (zoomOut ? 0.5 : 2.0);
    if (zoomed >= ZoomScale::Minimum && zoomed <= ZoomScale::Maximum)
        zoomDirection = zoomOut ? ZoomingOut : ZoomingIn;
    else
        zoomDirection = CannotZoom;
    updateCursor();
}

void NetworkView::reset()
{
    cancelInteraction();
    resetCachedContent();
    if (controller) {
        applyZoomScale();
        applyTool();
    }
    updateCursor();
}

void NetworkView::cancelInteraction()
{
    // The previews are items of the scene: a scene that has gone took them along.
    if (!networkScene) {
        previewEdge = nullptr;
        previewNode = nullptr;
        previewVoiceGroup = nullptr;
        previewTextBox = nullptr;
    }
    deletePreviewNodeAndEdge();
    delete previewVoiceGroup;
    previewVoiceGroup = nullptr;
    delete previewTextBox;
    previewTextBox = nullptr;
    edgeStartNode = QmdIndex();
    targetNode = QmdIndex();
    // The rest of a drag, the mouse still down, moves nothing.
    if (movingItem)
        endDrag();
    if (networkScene)
        networkScene->update();
}

bool NetworkView::gestureInProgress() const
{
    return movingItem || previewNode || previewVoiceGroup || previewTextBox;
}

void NetworkView::deletePreviewNodeAndEdge()
{
    delete previewNode;
    previewNode = nullptr;
    delete previewEdge;
    previewEdge = nullptr;
    pendingNodeRequestId = 0;
}

void NetworkView::endDrag()
{
    if (movingItem && networkScene)
        networkScene->setDragInProgress(false);
    movingItem = nullptr;
    movingElementId = 0;
    dragStarted = false;
    moveRequestId = 0;
    grabOffset = QmdKelvo::TickPoint();
    lastDragTicks = QmdKelvo::TickPoint();
    moveOffsets.clear();
    moveOffsetsPending = false;
    setDragMode(RubberBandDrag);
}

// ---- Snapping and the scene rectangle --------------------------------------------------------

void NetworkView::snapScenePoint(QPointF& point) const
{
    if (!networkScene || !networkScene->snapToGrid)
        return;
    QmdKelvo::TickPoint ticks = QmdKelvo::toTickPoint(point);
    snapTickPoint(ticks);
    point = QmdKelvo::toScenePoint(ticks);
}

void NetworkView::snapTickPoint(QmdKelvo::TickPoint& point) const
{
    if (!networkScene || !networkScene->snapToGrid)
        return;
    // The scene's step is at least one tick whatever the document holds.
    const QmdKelvo::Ticks step = networkScene->tickStep;
    point.x = snapped(point.x, step);
    point.y = snapped(point.y, step);
}

QRectF NetworkView::fittingSceneRect() const
{
    const QTransform matrix = transform();
    const qreal width = viewport()->width() / matrix.m11();
    const qreal height = viewport()->height() / matrix.m22();
    const QRectF onePage(-width / 2, -height / 2, width, height);
    const QRectF contents = networkScene->sceneContentsRect().adjusted(-SceneMargin, -SceneMargin,
                                                                       SceneMargin, SceneMargin);
    return contents.united(onePage);
}

void NetworkView::shrinkOrGrowSceneRect()
{
    if (!networkScene)
        return;
    const QRectF rect = fittingSceneRect();
    if (rect != sceneRect())
        networkScene->setSceneRect(rect);
}

void NetworkView::onSceneContentsRectChanged()
{
    // A request that moves many elements changes the contents once per element.
    sceneRectUpdatePending = true;
    if (networkScene)
        networkScene->settleAfterBurst();
}

void NetworkView::onBurstSettled()
{
    if (!sceneRectUpdatePending)
        return;
    sceneRectUpdatePending = false;
    smartUpdateSceneRect();
}

void NetworkView::smartUpdateSceneRect()
{
    if (!networkScene)
        return;
    const QRectF rect = fittingSceneRect();
    const QRectF current = sceneRect();
    if (current.width() <= 0 || current.height() <= 0) {
        networkScene->setSceneRect(rect);
        return;
    }
    // Wherever the contents went, they stay in reach; the far side waits for the next fit.
    QRectF grown = current.united(rect);
    if (grown == current)
        return;
    if (networkScene->isDragInProgress()) {
        // A drag (in any view of the scene) that leaves the area takes a viewport more on that
        // side: a new scene rectangle redraws the whole viewport, which would otherwise happen
        // at every step.
        const QTransform matrix = transform();
        const qreal width = viewport()->width() / matrix.m11();
        const qreal height = viewport()->height() / matrix.m22();
        if (grown.left() < current.left())
            grown.setLeft(grown.left() - width);
        if (grown.right() > current.right())
            grown.setRight(grown.right() + width);
        if (grown.top() < current.top())
            grown.setTop(grown.top() - height);
        if (grown.bottom() > current.bottom())
            grown.setBottom(grown.bottom() + height);
    }
    networkScene->setSceneRect(grown);
}

void NetworkView::resizeEvent(QResizeEvent* event)
{
    QGraphicsView::resizeEvent(event);
    shrinkOrGrowSceneRect();
}

// ---- Mouse editing ---------------------------------------------------------------------------

GraphicsNodeItem* NetworkView::asNodeItem(QGraphicsItem* item)
{
    if (!item || item->type() != NodeItemType)
        return nullptr;
    auto* node = static_cast<GraphicsNodeItem*>(item);
    return node->elementId() != 0 ? node : nullptr;
}

QGraphicsItem* NetworkView::elementItemAt(QPoint viewPoint) const
{
    for (QGraphicsItem* item = itemAt(viewPoint); item; item = item->parentItem()) {
        if (dynamic_cast<ElementItem*>(item))
            return item;
    }
    return nullptr;
}

void NetworkView::preparePreview(QGraphicsItem* item, bool translucent) const
{
    // A preview takes no clicks and is never selected: presses reach the items below it.
    item->setFlag(QGraphicsItem::ItemIsSelectable, false);
    item->setAcceptedMouseButtons(Qt::NoButton);
    item->setAcceptHoverEvents(false);
    if (translucent)
        item->setOpacity(PreviewOpacity);
}

void NetworkView::mousePressEvent(QMouseEvent* event)
{
    const QPoint viewPoint = event->position().toPoint();
    mousePressed = true;
    pressPoint = viewPoint;
    pressRect = QRect(viewPoint, viewPoint);
    // A text box being edited takes the mouse itself.
    if (networkScene && networkScene->focusItem()) {
        QGraphicsView::mousePressEvent(event);
        return;
    }

    bool consumed = false;
    if (networkScene && controller && event->button() == Qt::LeftButton) {
        // What an earlier gesture left (a node whose edge never came) goes.
        if (gestureInProgress())
            cancelInteraction();
        const QPointF scenePos = mapToScene(viewPoint);
        QGraphicsItem* pressItem = elementItemAt(viewPoint);
        const GraphicsNodeItem* node = asNodeItem(pressItem);
        const QmdIndex pressNode = node ? controller->elementIndex(node->elementId()) : QmdIndex();
        QPointF snappedPos = scenePos;
        snapScenePoint(snappedPos);

        switch (tool) {
        case SelectionTool:
            pressWithSelectionTool(event->modifiers(), pressItem, scenePos);
            break;
        case ZoomTool:
            pressWithZoomTool();
            consumed = true;
            break;
        case NodeAndEdgeTool:
            pressWithNodeAndEdgeTool(pressItem, pressNode, snappedPos);
            break;
        case VoiceGroupTool:
            pressWithVoiceGroupTool(pressNode);
            break;
        case TextBoxTool:
            pressWithTextBoxTool(pressItem, scenePos);
            break;
        default:
            break;
        }
        if (movingItem) {
            dragStarted = false;
            moveRequestId = 0;
            moveOffsets.clear();
            moveOffsetsPending = true;
        }
    }

    if (movingItem) {
        setDragMode(NoDrag);
        networkScene->setDragInProgress(true);
        event->accept();
    }
    // A press with a modifier has been handled above: the base handler would change the
    // selection once more. A press that draws a new element is the gesture's alone: a text box
    // under it would take it for a click that edits it.
    const bool drawing = previewNode || previewVoiceGroup || previewTextBox;
    if (!consumed && !drawing && event->button() != Qt::RightButton
        && event->modifiers() == Qt::NoModifier)
        QGraphicsView::mousePressEvent(event);
}

void NetworkView::pressWithSelectionTool(Qt::KeyboardModifiers modifiers, QGraphicsItem* hit,
                                         QPointF scenePos)
{
    if (hit && (hit->type() == NodeItemType || hit->type() == TextBoxItemType)) {
        movingItem = hit;
        movingElementId = dynamic_cast<ElementItem*>(hit)->elementId();
        lastDragTicks = QmdKelvo::toTickPoint(hit->pos());
        grabOffset = lastDragTicks - QmdKelvo::toTickPoint(scenePos);
    }

    if (hit && (modifiers == Qt::ShiftModifier || modifiers == Qt::ControlModifier))
        hit->setSelected(!hit->isSelected());

    if (!hit) {
        // The next paste lands where the user clicked last.
        if (DocumentWindow* window = actionWindow())
            window->setPasteTickPoint(QmdKelvo::toTickPoint(scenePos));
        return;
    }

    // Alt-click on a voice group starts it, with the selected ones, or stops them.
    if (modifiers == Qt::AltModifier && hit->type() == VoiceGroupItemType) {
        const QmdItemId clicked = dynamic_cast<ElementItem*>(hit)->elementId();
        QmdItemIdList groups {clicked};
        for (const QmdItemId id : networkScene->selectedElementIds()) {
            if (controller->elementType(id) == QmdKelvo::VoiceGroupElement)
                groups.append(id);
        }
        if (controller->isVoiceGroupIterating(clicked))
            controller->requestStopVoiceGroups(groups);
        else
            controller->requestStartVoiceGroups(groups, 1.0);
    }
}

void NetworkView::pressWithZoomTool()
{
    if (zoomDirection == CannotZoom)
        return;
    // From the zoom as applied: a document without a usable "ZoomScale" shows actual size.
    const double zoomed = zoomScale() * (zoomDirection == ZoomingOut ? 0.5 : 2.0);
    zoomClickRequestId = controller->requestSetData(
        K::ZoomScale, zoomed, QmdIndex(), QmdRequestOptions(Qmd::NotUndoable, tr("Zoom")));
}

void NetworkView::pressWithNodeAndEdgeTool(QGraphicsItem* pressItem, const QmdIndex& pressNode,
                                           QPointF snapped)
{
    previewNode = new GraphicsNodeItem(networkScene);
    preparePreview(previewNode, true);
    previewNode->setPen(QPen(PreviewNodeRing));
    previewNode->setPos(snapped);
    previewNode->setZValue(PreviewNodeZ);
    if (pressNode.isValid()) {
        // A new node with an edge from the pressed one.
        networkScene->clearSelection();
        edgeStartNode = pressNode;
        pendingNodeRequestId = 0;
        previewEdge = new GraphicsEdgeItem(networkScene);
        preparePreview(previewEdge, true);
        previewEdge->setFromPoint(pressItem->pos());
        previewEdge->setToPoint(previewNode->pos());
        previewEdge->updatePath();
    } else {
        // A press beside a node may snap onto it: a click there adds no node on top of it.
        followTargetNode(snapped);
    }
    movingItem = previewNode;
    lastDragTicks = QmdKelvo::toTickPoint(snapped);
}

void NetworkView::pressWithVoiceGroupTool(const QmdIndex& pressNode)
{
    // A voice group starts at a node; elsewhere the press makes none.
    if (!pressNode.isValid())
        return;
    targetNode = pressNode;
    previewVoiceGroup = new GraphicsVoiceGroupItem(networkScene);
    preparePreview(previewVoiceGroup, false);
    previewVoiceGroup->setPos(QmdKelvo::toScenePoint(
        controller->data(K::TickPos, targetNode).value<QmdKelvo::TickPoint>()));
}

void NetworkView::pressWithTextBoxTool(QGraphicsItem* pressItem, QPointF scenePos)
{
    // A click on a text box edits it; the base press that follows reaches the editor and puts
    // the cursor at the clicked character.
    if (pressItem && pressItem->type() == TextBoxItemType) {
        auto* textBox = static_cast<GraphicsTextBoxItem*>(pressItem);
        textBox->openEditor(textBox->boundingRect().center());
        return;
    }
    // A new text box, centred on a click; a drag takes its top-left corner along.
    previewTextBox = new GraphicsTextBoxItem(networkScene);
    preparePreview(previewTextBox, true);
    previewTextBox->setHtml(QStringLiteral("<html><body>Text</body></html>"));
    const QRectF bounds = previewTextBox->boundingRect();
    QPointF topLeft = scenePos - QPointF(bounds.width() / 2, bounds.height() / 2);
    snapScenePoint(topLeft);
    previewTextBox->setPos(topLeft);
    movingItem = previewTextBox;
    lastDragTicks = QmdKelvo::toTickPoint(topLeft);
}

void NetworkView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint viewPoint = event->position().toPoint();
    if (mousePressed && tool == SelectionTool) {
        // The area swept since the press is drawn again (what a rubber band leaves); items
        // that a drag moves repaint where they were themselves.
        pressRect = pressRect.united(QRect(viewPoint, viewPoint));
        if (!movingItem)
            viewport()->update(pressRect);
    }
    if (movingItem && moveOffsetsPending && !previewNode && !previewTextBox)
        buildMoveOffsets();
    QGraphicsView::mouseMoveEvent(event);
    // A text box being edited takes the mouse itself.
    if (!networkScene || networkScene->focusItem() || !controller
        || event->buttons() != Qt::LeftButton || tool == ZoomTool)
        return;
    const QPointF scenePos = mapToScene(viewPoint);
    // The dragged item stays put until the mouse has left the press point as far as the
    // desktop asks of a drag: a click that trembles neither moves nor snaps it.
    if (movingItem && !dragStarted)
        dragStarted
            = (viewPoint - pressPoint).manhattanLength() >= QApplication::startDragDistance();
    if (movingItem && dragStarted)
        dragTo(scenePos);
    if (previewNode && pendingNodeRequestId == 0)
        followTargetNode(scenePos);
    // A new voice group stays on the pressed node.
    if (previewVoiceGroup && targetNode.isValid())
        previewVoiceGroup->setPos(QmdKelvo::toScenePoint(
            controller->data(K::TickPos, targetNode).value<QmdKelvo::TickPoint>()));
}

void NetworkView::buildMoveOffsets()
{
    moveOffsetsPending = false;
    if (!controller || !networkScene)
        return;
    // The selection after the press, the base handler's change included.
    for (const QmdItemId id : networkScene->selectedElementIds()) {
        const int type = controller->elementType(id);
        if (type != QmdKelvo::NodeElement && type != QmdKelvo::TextBoxElement)
            continue;
        const QmdIndex pos = controller->index(K::TickPos, controller->elementIndex(id));
        const QVariant value = controller->data(pos);
        // An element without a position (a file may lack it) stays where it is.
        if (!pos.isValid() || value.metaType() != QMetaType::fromType<QmdKelvo::TickPoint>())
            continue;
        moveOffsets.insert(id, {pos, value.value<QmdKelvo::TickPoint>() - lastDragTicks});
    }
}

void NetworkView::dragTo(QPointF scenePos)
{
    QmdKelvo::TickPoint ticks = QmdKelvo::toTickPoint(scenePos) + grabOffset;
    snapTickPoint(ticks);
    if (ticks == lastDragTicks)
        return;
    lastDragTicks = ticks;
    if (movingItem == previewNode || movingItem == previewTextBox) {
        movingItem->setPos(QmdKelvo::toScenePoint(ticks));
        return;
    }
    // Nothing movable selected: no request, so no empty undo step.
    if (moveOffsets.isEmpty())
        return;
    QHash<QmdIndex, QVariant> positions;
    positions.reserve(moveOffsets.size());
    for (auto it = moveOffsets.cbegin(); it != moveOffsets.cend(); ++it)
        positions.insert(it->tickPos, QVariant::fromValue(it->offset + ticks));
    QmdRequestOptions options {tr("Move")};
    options.id = moveRequestId;
    moveRequestId = controller->requestSetData(positions, options);
}

void NetworkView::followTargetNode(QPointF scenePos)
{
    QPointF point = scenePos;
    snapScenePoint(point);
    GraphicsNodeItem* found = nullptr;
    for (QGraphicsItem* item : networkScene->items(point)) {
        if ((found = asNodeItem(item)))
            break;
    }

    if (found) {
        targetNode = controller->elementIndex(found->elementId());
        previewNode->setPos(found->pos());
        previewNode->setPen(QPen(previewEdge ? PreviewNodeJoins : PreviewNodeBlocked));
    } else {
        targetNode = QmdIndex();
        previewNode->setPen(QPen(PreviewNodeRing));
    }
    if (previewEdge) {
        previewEdge->setToPoint(previewNode->pos());
        previewEdge->updatePath();
    }
    viewport()->update();
}

void NetworkView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton) {
        // Another button let go while the left one is held: the gesture goes on.
        QGraphicsView::mouseReleaseEvent(event);
        return;
    }
    mousePressed = false;
    if (networkScene && networkScene->focusItem()) {
        QGraphicsView::mouseReleaseEvent(event);
        return;
    }
    // The base handler always ends the rubber band and the scene's mouse grab; a modifier held
    // at the release would make it toggle the selection once more.
    if (event->modifiers() == Qt::NoModifier) {
        QGraphicsView::mouseReleaseEvent(event);
    } else {
        const std::unique_ptr<QMouseEvent> plain(static_cast<QMouseEvent*>(event->clone()));
        plain->setModifiers(Qt::NoModifier);
        QGraphicsView::mouseReleaseEvent(plain.get());
    }
    if (networkScene && controller)
        finishGesture();
    endDrag();
    updateCursor();
}

void NetworkView::finishGesture()
{
    if (previewEdge && !dragStarted && pendingNodeRequestId == 0) {
        // A click on a node selects it: a node and edge need a drag away from it.
        if (ElementItem* start = networkScene->elementItem(edgeStartNode.itemId()))
            start->graphicsItem()->setSelected(true);
        deletePreviewNodeAndEdge();
        edgeStartNode = QmdIndex();
        targetNode = QmdIndex();
    }
    if (previewEdge && targetNode.isValid()) {
        // Dragged from one node to another: only an edge.
        controller->requestAddEdge(edgeStartNode, targetNode,
                                   QmdKelvo::EdgePath(previewEdge->pathType()),
                                   QmdKelvo::NoCreationFlags, QmdRequestOptions(tr("Edge")));
        deletePreviewNodeAndEdge();
        targetNode = QmdIndex();
    }
    if (previewNode) {
        // A new node never covers an existing one.
        if (!targetNode.isValid() && !nodeStandingAt(previewNode->pos()))
            pendingNodeRequestId = controller->requestAddNode(
                QmdKelvo::toTickPoint(previewNode->pos()), QmdKelvo::NoCreationFlags,
                QmdRequestOptions(previewEdge ? tr("Node && Edge") : tr("Node")));
        targetNode = QmdIndex();
        // With an edge, both previews stay until the node has come (onElementsAdded).
        if (!previewEdge || pendingNodeRequestId == 0)
            deletePreviewNodeAndEdge();
    }
    if (previewVoiceGroup) {
        controller->requestAddVoiceGroup(targetNode, QmdKelvo::NoCreationFlags,
                                         QmdRequestOptions(tr("Voice Group")));
        delete previewVoiceGroup;
        previewVoiceGroup = nullptr;
        targetNode = QmdIndex();
    }
    if (previewTextBox) {
        // The scene opens the new text box for typing, its text selected.
        controller->requestAddTextBox(QmdKelvo::toTickPoint(previewTextBox->pos()),
                                      previewTextBox->toHtml(), QmdKelvo::NoCreationFlags,
                                      QmdRequestOptions(tr("Text Box")));
        delete previewTextBox;
        previewTextBox = nullptr;
    }
    shrinkOrGrowSceneRect();
    networkScene->update();
}

void NetworkView::onItemsChanged(const QmdIndex& parent, const QStringList& keys)
{
    if (!controller)
        return;
    if (parent == QmdIndex() && keys.contains(K::ZoomScale))
        applyZoomScale();
    if (keys.contains(K::Tool)) {
        // "Temp" is made anew at every reset, so its index is looked up each time.
        const QmdIndex toolParent = DocumentTool::parentIndex(controller);
        if (toolParent.isValid() && parent == toolParent)
            applyTool();
    }
}

void NetworkView::onElementsAdded(const QmdItemIdList& idList, QmdRequestId rid)
{
    // The node of a node-and-edge gesture has come: its edge joins the node's request, so
    // that both undo as one step.
    if (controller && networkScene && previewEdge && pendingNodeRequestId != 0
        && rid == pendingNodeRequestId && !idList.isEmpty()) {
        QmdRequestOptions options {QString()};
        options.id = rid;
        controller->requestAddEdge(edgeStartNode, controller->elementIndex(idList.first()),
                                   QmdKelvo::EdgePath(previewEdge->pathType()),
                                   QmdKelvo::NoCreationFlags, options);
        deletePreviewNodeAndEdge();
        edgeStartNode = QmdIndex();
        targetNode = QmdIndex();
    }
    shrinkOrGrowSceneRect();
}

void NetworkView::onElementsRemoved(const QmdItemIdList& idList, QmdRequestId)
{
    forgetRemovedElements(idList);
    // After the scene has taken the removed items out of its contents, whichever of the two
    // hears of the removal first.
    QMetaObject::invokeMethod(this, &NetworkView::shrinkOrGrowSceneRect, Qt::QueuedConnection);
}

void NetworkView::forgetRemovedElements(const QmdItemIdList& idList)
{
    const auto removed
        = [&](const QmdIndex& index) { return index.isValid() && idList.contains(index.itemId()); };
    // A drawing gesture whose start or target went: no request at the release, no previews.
    if (removed(edgeStartNode) || removed(targetNode)) {
        cancelInteraction();
        return;
    }
    if (!movingItem || movingElementId == 0)
        return;
    bool changed = false;
    for (const QmdItemId id : idList)
        changed = moveOffsets.remove(id) || changed;
    const bool draggedGone = idList.contains(movingElementId);
    if (!changed && !draggedGone)
        return;
    // What is left moves on as a step of its own: the step so far holds the removed elements.
    moveRequestId = 0;
    if (moveOffsets.isEmpty()) {
        endDrag();
        return;
    }
    if (draggedGone) {
        // Another moved element takes the grab; the offsets keep every position in step.
        movingElementId = moveOffsets.cbegin().key();
        ElementItem* item = networkScene ? networkScene->elementItem(movingElementId) : nullptr;
        if (!item) {
            endDrag();
            return;
        }
        movingItem = item->graphicsItem();
    }
}

GraphicsNodeItem* NetworkView::nodeStandingAt(QPointF scenePos) const
{
    if (!networkScene)
        return nullptr;
    for (QGraphicsItem* item : networkScene->items(scenePos)) {
        GraphicsNodeItem* node = asNodeItem(item);
        if (node && node->pos() == scenePos)
            return node;
    }
    return nullptr;
}

double NetworkView::zoomScale() const
{
    if (!controller)
        return 1.0;
    return ZoomScale::effective(controller->data(K::ZoomScale, QmdIndex()).toDouble());
}

void NetworkView::applyZoomScale()
{
    const double scale = zoomScale();
    if (zoomClickRequestId != 0)
        setTransformationAnchor(AnchorUnderMouse);
    setTransform(QTransform::fromScale(scale, scale));
    setTransformationAnchor(AnchorViewCenter);
    zoomClickRequestId = 0;
    setZoomDirection(zoomDirection == ZoomingOut);
    shrinkOrGrowSceneRect();
}

void NetworkView::applyTool()
{
    setTool(DocumentTool::current(controller));
}

void NetworkView::updateCursor()
{
    QCursor cursor;
    switch (tool) {
    case SelectionTool:
        cursor = QCursor(Qt::ArrowCursor);
        break;
    case ZoomTool:
        if (zoomDirection == ZoomingIn)
            cursor = pixmapCursor(":/images/Cursors/ZoomIn.png");
        else if (zoomDirection == ZoomingOut)
            cursor = pixmapCursor(":/images/Cursors/ZoomOut.png");
        else
            cursor = pixmapCursor(":/images/Cursors/ZoomNone.png");
        break;
    case TextBoxTool:
        cursor = QCursor(Qt::IBeamCursor);
        break;
    default:
        cursor = pixmapCursor(":/images/Cursors/Crosshair.png");
        break;
    }
    setCursor(cursor);
    viewport()->setCursor(cursor);
}
