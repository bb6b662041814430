#include "NetworkScene.h"

#include "AbstractSync.h"
#include "DocumentWindow.h"
#include "ElementItem.h"
#include "GraphicsEdgeItem.h"
#include "GraphicsNodeItem.h"
#include "GraphicsTextBoxItem.h"
#include "GraphicsVoiceGroupItem.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdKelvoUnits.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGraphicsView>
#include <QPropertyAnimation>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>
#include <utility>

namespace K = QmdKelvoKeys;

namespace {

bool countsForExtent(const QGraphicsItem* item)
{
    return item->type() == NodeItemType || item->type() == TextBoxItemType;
}

// An item's extent in the scene, its children (labels) included.
QRectF extentOf(const QGraphicsItem* item)
{
    return item->mapRectToScene(item->boundingRect() | item->childrenBoundingRect());
}

QEvent::Type settleEventType()
{
    static const auto type = QEvent::Type(QEvent::registerEventType());
    return type;
}

GraphicsNodeItem* asNode(ElementItem* item)
{
    return item && item->graphicsItem()->type() == NodeItemType
        ? static_cast<GraphicsNodeItem*>(item->graphicsItem())
        : nullptr;
}

GraphicsVoiceGroupItem* asVoiceGroup(ElementItem* item)
{
    return item && item->graphicsItem()->type() == VoiceGroupItemType
        ? static_cast<GraphicsVoiceGroupItem*>(item->graphicsItem())
        : nullptr;
}

// A voice colour's key: its voice group and voice.
quint64 segmentKey(uint voiceGroupId, uint voiceId)
{
    return quint64(voiceGroupId) << 32 | voiceId;
}

// The interval of the pulse animation, and the level it reaches halfway through.
constexpr int PulseMs = 500;
constexpr qreal PulseLow = 0.2;
constexpr int FeedbackIntervalMs = 16;

} // namespace

// What one tick of the feedback display changed, and what it read once for all its messages.
struct NetworkScene::FeedbackChanges
{
    QSet<GraphicsNodeItem*> repaint;
    QSet<GraphicsVoiceGroupItem*> voiceCounts;
    QSet<GraphicsVoiceGroupItem*> alerts;
    QHash<quint32, QColor> instrumentColors;
    quint64 minimumSegmentTicks = 0;
    qint64 msecNow = 0;
};

NetworkScene::NetworkScene(QObject* parent)
    : QGraphicsScene(parent)
{
    setItemIndexMethod(QGraphicsScene::BspTreeIndex);
    connect(this, &QGraphicsScene::selectionChanged, this, &NetworkScene::onSelectionChanged);

    feedbackTimer = new QTimer(this);
    feedbackTimer->setInterval(FeedbackIntervalMs);
    connect(feedbackTimer, &QTimer::timeout, this, &NetworkScene::checkFeedbackPipe);
    feedbackBuffer.reserve(FeedbackReadSize);
    QElapsedTimer started;
    started.start();
    msecClock = [started] { return started.elapsed(); };

    pulseAnimation = new QPropertyAnimation(this, "currentVoiceGroupPulseValue", this);
    pulseAnimation->setLoopCount(-1);
    pulseAnimation->setDuration(PulseMs);
    pulseAnimation->setStartValue(1.0);
    pulseAnimation->setKeyValueAt(0.5, PulseLow);
    pulseAnimation->setEndValue(1.0);
    connect(pulseAnimation, &QVariantAnimation::valueChanged, this,
            &NetworkScene::onVoiceGroupPulseValueChanged);

    reset();
}

NetworkScene::~NetworkScene()
{
    // The items go now, while this object can still take the selection change that deleting a
    // selected item reports.
    const QSignalBlocker blocker(this);
    clear();
}

// ---- Controller -----------------------------------------------------------------------------

void NetworkScene::setController(QmdKelvoController* newController)
{
    if (controller) {
        disconnect(controller, nullptr, this, nullptr);
        controller->unbind(this);
    }
    QmdObserver<QmdKelvoController>::setController(newController);

    if (controller) {
        QmdKelvoController* c = controller;
        connect(c, &QmdElementDocController::elementsAdded, this, &NetworkScene::onElementsAdded);
        connect(c, &QmdElementDocController::elementsRemoved, this,
                &NetworkScene::onElementsRemoved);
        connect(c, &QmdElementDocController::elementDataChanged, this,
                &NetworkScene::onElementDataEffected);
        connect(c, &QmdElementDocController::elementDataRemoved, this,
                &NetworkScene::onElementDataEffected);
        connect(c, &QmdKelvoController::instrumentDataEffected, this,
                &NetworkScene::onInstrumentDataEffected);
        connect(c,
                qOverload<const QmdIndex&, const QStringList&, QmdRequestId>(
                    &QmdController::itemsChanged),
                this, &NetworkScene::onItemsChanged);
        connect(c, &QmdController::modelReset, this, &NetworkScene::reset);
        // Also emitted on the thread of a MIDI clock: the scene takes it on its own.
        connect(c, &QmdKelvoController::playbackJogged, this, &NetworkScene::onPlaybackJogged);
        connect(c, &QmdKelvoController::playbackStateChanged, this,
                &NetworkScene::onPlaybackStateChanged);

        const std::pair<const char*, const QString&> colors[] = {
            {"backgroundColor", K::StyleBackgroundColor},
            {"principalLinesColor", K::StylePrincipalLinesColor},
            {"principalPointsColor", K::StylePrincipalPointsColor},
            {"divisionLinesColor", K::StyleDivisionLinesColor},
            {"divisionPointsColor", K::StyleDivisionPointsColor},
            {"annotationColor", K::StyleAnnotationColor},
            {"nodesColor", K::StyleNodesColor},
            {"edgesColor", K::StyleEdgesColor},
        };
        for (const auto& [property, key] : colors)
            c->bind(this, property, nullptr, key, QmdIndex(), QVariant(), QVariant(), QString());
    }
    reset();
}

void NetworkScene::reset()
{
    feedbackTimer->stop();
    emit aboutToReset();

    lastRequestId = 0;
    addedTextBoxId = 0;
    addedTextBoxRequestId = 0;
    selectedIdsDirty = true;
    selectedIds.clear();
    snapToGrid = true;
    tickStep = QmdKelvo::TicksPerPrincipal;
    showNodeCounters = false;
    showNodeLastNotesSent = false;
    showEdgeSignalling = false;
    gridDivisions = 1;
    showGrid = true;
    m_sceneContentsRect = QRectF();
    leftmostItem = rightmostItem = topmostItem = bottommostItem = nullptr;
    sceneContentsRecomputePending = false;
    elementItems.clear();
    followers.clear();
    followedNodes.clear();
    pendingPaths.clear();
    clearFeedbackState();

    clearSelectionQuietly();
    {
        const QSignalBlocker blocker(this);
        clear();
    }

    if (!controller) {
        update();
        return;
    }
    onItemsChanged(QmdIndex(),
                   {K::DivsPerPrincipal, K::ShowGrid, K::SnapToGrid, K::ShowNodeCounters,
                    K::ShowNodeLastNotesSent, K::ShowEdgeSignalling});
    onElementsAdded(controller->elements(), ResetRequestId);
    const AbstractSync* clock = controller->sync();
    onPlaybackStateChanged(clock && clock->isPlaying());
    update();
}

// ---- Style ----------------------------------------------------------------------------------

void NetworkScene::setBackgroundColor(const QColor& color)
{
    m_backgroundColor = color;
    resetCachedContentOfViews();
}

void NetworkScene::setPrincipalLinesColor(const QColor& color)
{
    m_principalLinesColor = color;
    resetCachedContentOfViews();
}

void NetworkScene::setPrincipalPointsColor(const QColor& color)
{
    m_principalPointsColor = color;
    resetCachedContentOfViews();
}

void NetworkScene::setDivisionLinesColor(const QColor& color)
{
    m_divisionLinesColor = color;
    resetCachedContentOfViews();
}

void NetworkScene::setDivisionPointsColor(const QColor& color)
{
    m_divisionPointsColor = color;
    resetCachedContentOfViews();
}

void NetworkScene::setAnnotationColor(const QColor& color)
{
    m_annotationColor = color;
    applyAnnotationColor();
}

void NetworkScene::setNodesColor(const QColor& color)
{
    m_nodesColor = color;
    applyNodesColor();
}

void NetworkScene::setEdgesColor(const QColor& color)
{
    m_edgesColor = color;
    applyEdgesColor();
}

void NetworkScene::resetCachedContentOfViews()
{
    for (QGraphicsView* view : views()) {
        view->resetCachedContent();
        view->viewport()->update();
    }
}

void NetworkScene::applyAnnotationColor()
{
    for (QGraphicsItem* item : items()) {
        switch (item->type()) {
        case EdgeItemType:
            static_cast<GraphicsEdgeItem*>(item)->setAnnotationColor(m_annotationColor);
            break;
        case NodeItemType:
            static_cast<GraphicsNodeItem*>(item)->setLabelColor(m_annotationColor);
            break;
        case VoiceGroupItemType:
            static_cast<GraphicsVoiceGroupItem*>(item)->setLabelColor(m_annotationColor);
            break;
        case TextBoxItemType:
            static_cast<GraphicsTextBoxItem*>(item)->setAnnotationColor(m_annotationColor);
            break;
        default:
            break;
        }
    }
}

void NetworkScene::applyNodesColor()
{
    for (QGraphicsItem* item : items()) {
        if (item->type() == NodeItemType)
            static_cast<GraphicsNodeItem*>(item)->setNodeColor(m_nodesColor);
    }
}

void NetworkScene::applyEdgesColor()
{
    for (QGraphicsItem* item : items()) {
        if (item->type() == EdgeItemType)
            static_cast<GraphicsEdgeItem*>(item)->setEdgeColor(m_edgesColor);
    }
}

NetworkGrid::Style NetworkScene::gridStyle() const
{
    NetworkGrid::Style style;
    style.background = m_backgroundColor;
    style.principalLines = m_principalLinesColor;
    style.principalPoints = m_principalPointsColor;
    style.divisionLines = m_divisionLinesColor;
    style.divisionPoints = m_divisionPointsColor;
    style.divisions = gridDivisions;
    style.visible = showGrid;
    return style;
}

void NetworkScene::drawBackground(QPainter* painter, const QRectF& rect)
{
    if (controller)
        grid.paint(painter, rect, gridStyle());
}

// ---- Items ----------------------------------------------------------------------------------

ElementItem* NetworkScene::createElementItem(QmdItemId id, QmdRequestId rid)
{
    if (!controller)
        return nullptr;
    // A repeated id replaces the element's item.
    deleteElementItem(id);

    uint type = QmdKelvo::InvalidElement;
    QStringList keys;
    controller->lockedRead([&] {
        const QmdIndex element = controller->directIndex(id, controller->directElementsRoot());
        if (!element.isValid())
            return;
        type = controller->directData(K::Type, element).toUInt();
        keys = controller->directKeys(element);
    });

    ElementItem* item = nullptr;
    switch (type) {
    case QmdKelvo::EdgeElement: {
        auto* edge = new GraphicsEdgeItem(id, controller, this);
        edge->setZValue(1.0);
        edge->setShowSignalling(showEdgeSignalling);
        item = edge;
        break;
    }
    case QmdKelvo::NodeElement: {
        auto* node = new GraphicsNodeItem(id, controller, this);
        node->setShowHitCount(showNodeCounters);
        node->setShowLastNotesSent(showNodeLastNotesSent);
        item = node;
        break;
    }
    case QmdKelvo::VoiceGroupElement:
        item = new GraphicsVoiceGroupItem(id, controller, this);
        break;
    case QmdKelvo::TextBoxElement:
        item = new GraphicsTextBoxItem(id, controller, this);
        break;
    default:
        return nullptr;
    }

    elementItems.insert(id, item);
    item->elementDataEffected(id, keys, rid);
    updateFollowedNodes(item);
    // Edges that came before their node lay their labels out around the node's label.
    if (const GraphicsNodeItem* node = asNode(item); node && !node->labelRect().isNull())
        layOutEdgeLabelsAt(id);
    if (rid != ResetRequestId)
        setItemSelectedQuietly(item->graphicsItem(), true);
    updateSceneContentsRect(item);
    return item;
}

void NetworkScene::deleteElementItem(QmdItemId id)
{
    ElementItem* item = elementItems.take(id);
    if (!item)
        return;
    bool extremeLost = false;
    for (ElementItem** extreme : {&leftmostItem, &rightmostItem, &topmostItem, &bottommostItem}) {
        if (*extreme == item) {
            *extreme = nullptr;
            extremeLost = true;
        }
    }
    forgetFollowedNodes(item);

    QGraphicsItem* graphicsItem = item->graphicsItem();
    if (graphicsItem->type() == EdgeItemType)
        pendingPaths.remove(static_cast<GraphicsEdgeItem*>(graphicsItem));
    forgetFeedback(graphicsItem);
    const bool wasSelected = graphicsItem->isSelected();
    {
        const QSignalBlocker blocker(this);
        delete graphicsItem;
    }
    if (wasSelected)
        noteQuietSelectionChange();

    if (extremeLost && !sceneContentsRecomputePending) {
        sceneContentsRecomputePending = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (sceneContentsRecomputePending)
                    recomputeSceneContentsRect();
            },
            Qt::QueuedConnection);
    }
}

void NetworkScene::updateFollowedNodes(ElementItem* item)
{
    forgetFollowedNodes(item);
    const QmdItemIdList nodes = item->followedNodeIds();
    if (nodes.isEmpty())
        return;
    for (const QmdItemId node : nodes)
        followers[node].insert(item);
    followedNodes.insert(item, nodes);
}

void NetworkScene::forgetFollowedNodes(ElementItem* item)
{
    const QmdItemIdList nodes = followedNodes.take(item);
    for (const QmdItemId node : nodes) {
        auto entry = followers.find(node);
        if (entry == followers.end())
            continue;
        entry->remove(item);
        if (entry->isEmpty())
            followers.erase(entry);
    }
}

void NetworkScene::updatePathLater(GraphicsEdgeItem* edge)
{
    pendingPaths.insert(edge);
    settleAfterBurst();
}

void NetworkScene::settleAfterBurst()
{
    if (settlePending)
        return;
    settlePending = true;
    // Ahead of the scene's own pass over its changed items, which every item that moved has
    // asked for already: the views then repaint once, with the settled edges.
    QCoreApplication::postEvent(this, new QEvent(settleEventType()), Qt::HighEventPriority);
}

bool NetworkScene::event(QEvent* event)
{
    if (event->type() != settleEventType())
        return QGraphicsScene::event(event);
    settlePending = false;
    const QSet<GraphicsEdgeItem*> edges = std::exchange(pendingPaths, {});
    for (GraphicsEdgeItem* edge : edges)
        edge->updatePath();
    emit burstSettled();
    return true;
}

// ---- Controller notifications ---------------------------------------------------------------

void NetworkScene::onElementsAdded(const QmdItemIdList& idList, QmdRequestId rid)
{
    if (!controller)
        return;
    // The elements of one request are selected together; a new request replaces the
    // selection.
    if (rid != lastRequestId)
        clearSelectionQuietly();
    for (const QmdItemId id : idList)
        createElementItem(id, rid);
    lastRequestId = rid;

    // A text box that a request made on its own opens for typing, its text selected; not one
    // that comes back by undo or redo, nor one of a document loaded. A request reports its
    // elements in several signals, all queued before the first arrives: the text box opens
    // after them, unless one of them held more.
    if (rid == addedTextBoxRequestId) {
        addedTextBoxId = 0;
        return;
    }
    if (idList.size() != 1 || rid == ResetRequestId
        || controller->unfinishedUndoRedoRequests().contains(rid))
        return;
    ElementItem* item = elementItems.value(idList.first());
    if (!item || item->graphicsItem()->type() != TextBoxItemType)
        return;
    addedTextBoxId = idList.first();
    addedTextBoxRequestId = rid;
    QMetaObject::invokeMethod(this, &NetworkScene::openAddedTextBox, Qt::QueuedConnection);
}

void NetworkScene::openAddedTextBox()
{
    const QmdItemId id = std::exchange(addedTextBoxId, 0);
    addedTextBoxRequestId = 0;
    ElementItem* item = elementItems.value(id);
    if (!item || item->graphicsItem()->type() != TextBoxItemType)
        return;
    auto* textBox = static_cast<GraphicsTextBoxItem*>(item->graphicsItem());
    textBox->openEditor(textBox->boundingRect().center());
    textBox->selectAll();
}

void NetworkScene::onElementsRemoved(const QmdItemIdList& idList, QmdRequestId)
{
    for (const QmdItemId id : idList)
        deleteElementItem(id);
    // The contents shrink at once, so that a view fitting its scene rectangle to them after
    // the removal fits it to what is left.
    if (sceneContentsRecomputePending)
        recomputeSceneContentsRect();
    update();
}

void NetworkScene::onElementDataEffected(QmdItemId id, const QStringList& keys, QmdRequestId rid)
{
    ElementItem* own = elementItems.value(id);
    if (own)
        own->elementDataEffected(id, keys, rid);
    const auto following = followers.constFind(id);
    if (following != followers.cend()) {
        for (ElementItem* item : *following)
            item->elementDataEffected(id, keys, rid);
    }
    if (!own)
        return;
    if (keys.contains(K::FromNode) || keys.contains(K::ToNode))
        updateFollowedNodes(own);
    updateSceneContentsRect(own);
}

void NetworkScene::onInstrumentDataEffected(QmdItemId id, const QStringList& keys, QmdRequestId rid)
{
    for (ElementItem* item : std::as_const(elementItems)) {
        if (item->graphicsItem()->type() == VoiceGroupItemType)
            item->instrumentDataEffected(id, keys, rid);
    }
}

void NetworkScene::onItemsChanged(const QmdIndex& parent, const QStringList& keys)
{
    if (!controller)
        return;

    if (parent == QmdIndex()) {
        const bool divisionsListed = keys.contains(K::DivsPerPrincipal);
        const bool snapListed = keys.contains(K::SnapToGrid);
        const bool gridListed = keys.contains(K::ShowGrid);
        const bool countersListed = keys.contains(K::ShowNodeCounters);
        const bool lastNotesListed = keys.contains(K::ShowNodeLastNotesSent);
        const bool signallingListed = keys.contains(K::ShowEdgeSignalling);
        if (!(divisionsListed || snapListed || gridListed || countersListed || lastNotesListed
              || signallingListed))
            return;

        QHash<QString, QVariant> values;
        controller->lockedRead([&] {
            for (const QString& key : keys)
                values.insert(key, controller->directData(key, QmdIndex()));
        });
        if (divisionsListed) {
            gridDivisions = values.value(K::DivsPerPrincipal).toLongLong();
            tickStep = QmdKelvo::ticksPerDivision(gridDivisions);
        }
        if (snapListed)
            snapToGrid = values.value(K::SnapToGrid).toBool();
        if (gridListed)
            showGrid = values.value(K::ShowGrid).toBool();
        if (gridListed || divisionsListed)
            resetCachedContentOfViews();
        if (countersListed)
            showNodeCounters = values.value(K::ShowNodeCounters).toBool();
        if (lastNotesListed)
            showNodeLastNotesSent = values.value(K::ShowNodeLastNotesSent).toBool();
        if (countersListed || lastNotesListed)
            refreshNodeStates(countersListed, lastNotesListed);
        if (signallingListed) {
            showEdgeSignalling = values.value(K::ShowEdgeSignalling).toBool();
            for (ElementItem* item : std::as_const(elementItems)) {
                if (item->graphicsItem()->type() == EdgeItemType)
                    static_cast<GraphicsEdgeItem*>(item->graphicsItem())
                        ->setShowSignalling(showEdgeSignalling);
            }
        }
        return;
    }

    // The run-time state of one element, which voice-group threads write.
    const bool hitCountShown = showNodeCounters && keys.contains(K::HitCount);
    const bool lastNotesShown = showNodeLastNotesSent && keys.contains(K::LastNotesSent);
    if (!hitCountShown && !lastNotesShown)
        return;
    GraphicsNodeItem* node = asNode(elementItems.value(parent.itemId()));
    if (!node)
        return;
    bool isState = false;
    QVariant hitCount;
    QVariant lastNotes;
    controller->lockedRead([&] {
        isState = controller->isElementState(parent);
        if (!isState)
            return;
        if (hitCountShown)
            hitCount = controller->directData(K::HitCount, parent);
        if (lastNotesShown)
            lastNotes = controller->directData(K::LastNotesSent, parent);
    });
    if (!isState)
        return;
    const QRectF label = node->labelRect();
    if (hitCountShown)
        node->setHitCount(hitCount.toUInt());
    if (lastNotesShown)
        node->setLastNotesSent(lastNotes.toString());
    if (node->labelRect() != label)
        layOutEdgeLabelsAt(parent.itemId());
}

void NetworkScene::layOutEdgeLabelsAt(QmdItemId nodeId)
{
    const auto following = followers.constFind(nodeId);
    if (following == followers.cend())
        return;
    for (ElementItem* item : *following) {
        if (item->graphicsItem()->type() == EdgeItemType)
            updatePathLater(static_cast<GraphicsEdgeItem*>(item->graphicsItem()));
    }
}

void NetworkScene::refreshNodeStates(bool hitCounts, bool lastNotesSent)
{
    struct NodeState
    {
        QmdItemId id;
        GraphicsNodeItem* node;
        uint hitCount;
        QString lastNotes;
    };
    QVector<NodeState> states;
    controller->lockedRead([&] {
        const QmdIndex statesRoot = controller->elementStatesRoot();
        for (auto it = elementItems.cbegin(); it != elementItems.cend(); ++it) {
            GraphicsNodeItem* node = asNode(it.value());
            if (!node)
                continue;
            const QmdIndex state = controller->directIndex(it.key(), statesRoot);
            states.append({it.key(), node, controller->directData(K::HitCount, state).toUInt(),
                           controller->directData(K::LastNotesSent, state).toString()});
        }
    });
    for (const NodeState& state : std::as_const(states)) {
        const QRectF label = state.node->labelRect();
        if (hitCounts) {
            state.node->setHitCount(state.hitCount);
            state.node->setShowHitCount(showNodeCounters);
        }
        if (lastNotesSent) {
            state.node->setLastNotesSent(state.lastNotes);
            state.node->setShowLastNotesSent(showNodeLastNotesSent);
        }
        if (state.node->labelRect() != label)
            layOutEdgeLabelsAt(state.id);
    }
}

// ---- Playback feedback ----------------------------------------------------------------------

void NetworkScene::checkFeedbackPipe()
{
    // The clock is replaced when the document's sync type changes: never kept.
    AbstractSync* clock = controller ? controller->sync() : nullptr;
    if (!clock)
        return;
    const quint64 now = clock->ticksElapsed();
    FeedbackChanges changes;

    // While the transport stands, messages wait in the pipe and alerts stay.
    if (clock->isPlaying()) {
        changes.msecNow = msecClock();
        for (auto it = voiceGroupPulseUntil.begin(); it != voiceGroupPulseUntil.end();) {
            if (it.value() <= changes.msecNow) {
                changes.alerts.insert(it.key());
                it = voiceGroupPulseUntil.erase(it);
            } else {
                ++it;
            }
        }
        changes.minimumSegmentTicks = clock->nanosToTicks(MinimumSegmentNs);

        // Every due message, a few at a time, unless the reads take too long: the pipe also
        // holds the note ends still to come, and a full pipe drops what the groups write. The
        // budget runs on the scene's own clock, which a test can hold still.
        do {
            feedbackBuffer.clear();
            controller->feedbackPipe.tryReadIfReady(feedbackBuffer, FeedbackReadSize, now);
            for (const FeedbackMsg& msg : std::as_const(feedbackBuffer))
                showFeedback(msg, changes);
        } while (feedbackBuffer.size() == FeedbackReadSize
                 && msecClock() - changes.msecNow < FeedbackBudgetMs);
        feedbackBuffer.clear();
        expireSegments(now, changes);
    }

    for (GraphicsNodeItem* node : std::as_const(changes.repaint))
        node->update();
    for (GraphicsVoiceGroupItem* group : std::as_const(changes.voiceCounts)) {
        const auto voices = voiceGroupVoices.find(group);
        const int count = voices == voiceGroupVoices.end() ? 0 : int(voices->size());
        group->setPlaying(count);
        if (count < 1 && voices != voiceGroupVoices.end())
            voiceGroupVoices.erase(voices);
    }
    for (GraphicsVoiceGroupItem* group : std::as_const(changes.alerts))
        group->setAlertLabelVisible(voiceGroupPulseUntil.contains(group));
}

void NetworkScene::onPlaybackStateChanged(bool playing)
{
    if (playing)
        feedbackTimer->start();
    else
        feedbackTimer->stop();
}

void NetworkScene::showFeedback(const FeedbackMsg& msg, FeedbackChanges& changes)
{
    switch (msg.kind) {
    case FeedbackMsg::NoteSounded:
    case FeedbackMsg::NoteEnded: {
        GraphicsNodeItem* node = msg.nodeId != 0 ? asNode(elementItems.value(msg.nodeId)) : nullptr;
        if (!node)
            return;
        if (msg.kind == FeedbackMsg::NoteSounded) {
            node->setVoiceGroupColor(msg.voiceGroupId, msg.voiceId, voiceColor(msg, changes), true);
            litNodes.insert(node);
            // Should its note-ended message have been lost, the colour goes when the note
            // has ended all the same.
            const quint64 length = std::max(msg.duration, changes.minimumSegmentTicks);
            const quint64 end = msg.time > std::numeric_limits<quint64>::max() - length
                ? std::numeric_limits<quint64>::max()
                : msg.time + length;
            segmentEnds[node][segmentKey(msg.voiceGroupId, msg.voiceId)] = end;
            nextSegmentEnd = std::min(nextSegmentEnd, end);
        } else {
            removeSegment(node, msg.voiceGroupId, msg.voiceId);
        }
        changes.repaint.insert(node);
        return;
    }
    case FeedbackMsg::VoiceDeparted:
    case FeedbackMsg::VoiceFreed:
    case FeedbackMsg::VoicesExhausted: {
        GraphicsVoiceGroupItem* group = asVoiceGroup(elementItems.value(msg.voiceGroupId));
        if (!group)
            return;
        if (msg.kind == FeedbackMsg::VoicesExhausted) {
            voiceGroupPulseUntil.insert(group, changes.msecNow + AlertLabelMs);
            changes.alerts.insert(group);
            return;
        }
        if (msg.kind == FeedbackMsg::VoiceDeparted)
            voiceGroupVoices[group].insert(msg.voiceId);
        else if (const auto voices = voiceGroupVoices.find(group); voices != voiceGroupVoices.end())
            voices->remove(msg.voiceId);
        changes.voiceCounts.insert(group);
        return;
    }
    default:
        return;
    }
}

QColor NetworkScene::voiceColor(const FeedbackMsg& msg, FeedbackChanges& changes) const
{
    auto known = changes.instrumentColors.constFind(msg.instrumentId);
    if (known == changes.instrumentColors.cend()) {
        const QVariant value = controller->lockedRead([&] {
            const QmdIndex instrument = controller->instrumentIndex(msg.instrumentId);
            return instrument.isValid() ? controller->directData(K::Color, instrument) : QVariant();
        });
        known = changes.instrumentColors.insert(
            msg.instrumentId, value.canConvert<QColor>() ? value.value<QColor>() : QColor());
    }
    QColor color = *known;
    float hue = 0;
    float saturation = 0;
    float value = 0;
    float alpha = 0;
    color.getHsvF(&hue, &saturation, &value, &alpha);
    color.setHsvF(hue, float(msg.velocity / 127.0 * 0.7 + 0.3), value, alpha * 0.6f);
    return color;
}

void NetworkScene::removeSegment(GraphicsNodeItem* node, uint voiceGroupId, uint voiceId)
{
    node->removeVoiceGroupColor(voiceGroupId, voiceId, true);
    const auto ends = segmentEnds.find(node);
    if (ends != segmentEnds.end()) {
        ends->remove(segmentKey(voiceGroupId, voiceId));
        if (ends->isEmpty())
            segmentEnds.erase(ends);
    }
    if (node->segmentCount() == 0)
        litNodes.remove(node);
}

void NetworkScene::expireSegments(quint64 now, FeedbackChanges& changes)
{
    if (now < nextSegmentEnd)
        return;
    nextSegmentEnd = std::numeric_limits<quint64>::max();
    for (auto node = segmentEnds.begin(); node != segmentEnds.end();) {
        GraphicsNodeItem* item = node.key();
        for (auto end = node->begin(); end != node->end();) {
            if (end.value() > now) {
                nextSegmentEnd = std::min(nextSegmentEnd, end.value());
                ++end;
                continue;
            }
            item->removeVoiceGroupColor(uint(end.key() >> 32), uint(end.key()), true);
            changes.repaint.insert(item);
            end = node->erase(end);
        }
        if (item->segmentCount() == 0)
            litNodes.remove(item);
        node = node->isEmpty() ? segmentEnds.erase(node) : std::next(node);
    }
}

void NetworkScene::onPlaybackJogged()
{
    for (GraphicsNodeItem* node : std::as_const(litNodes))
        node->clearVoiceGroupColors(false);
    litNodes.clear();
    segmentEnds.clear();
    nextSegmentEnd = std::numeric_limits<quint64>::max();
    for (auto it = voiceGroupVoices.cbegin(); it != voiceGroupVoices.cend(); ++it)
        it.key()->setPlaying(0);
    voiceGroupVoices.clear();
    for (auto it = voiceGroupPulseUntil.cbegin(); it != voiceGroupPulseUntil.cend(); ++it)
        it.key()->setAlertLabelVisible(false);
    voiceGroupPulseUntil.clear();
}

void NetworkScene::forgetFeedback(QGraphicsItem* item)
{
    if (item->type() == NodeItemType) {
        auto* node = static_cast<GraphicsNodeItem*>(item);
        litNodes.remove(node);
        segmentEnds.remove(node);
    } else if (item->type() == VoiceGroupItemType) {
        auto* group = static_cast<GraphicsVoiceGroupItem*>(item);
        voiceGroupVoices.remove(group);
        voiceGroupPulseUntil.remove(group);
    }
}

void NetworkScene::clearFeedbackState()
{
    litNodes.clear();
    segmentEnds.clear();
    nextSegmentEnd = std::numeric_limits<quint64>::max();
    voiceGroupVoices.clear();
    voiceGroupPulseUntil.clear();
}

void NetworkScene::setVoiceGroupPulseRunning(bool running)
{
    if (running) {
        pulseAnimation->start();
        return;
    }
    pulseAnimation->stop();
    m_currentVoiceGroupPulseValue = 1.0;
    onVoiceGroupPulseValueChanged();
}

bool NetworkScene::isVoiceGroupPulseRunning() const
{
    return pulseAnimation->state() == QAbstractAnimation::Running;
}

void NetworkScene::onVoiceGroupPulseValueChanged()
{
    for (ElementItem* item : std::as_const(elementItems)) {
        if (GraphicsVoiceGroupItem* group = asVoiceGroup(item))
            group->setPulseValue(m_currentVoiceGroupPulseValue);
    }
}

// ---- Selection ------------------------------------------------------------------------------

void NetworkScene::onSelectionChanged()
{
    selectedIdsDirty = true;
    selectedIds.clear();
    for (ElementItem* item : std::as_const(elementItems))
        item->elementSelectionChanged();
}

const QmdItemIdSet& NetworkScene::selectedElementIds() const
{
    if (selectedIdsDirty) {
        selectedIds.clear();
        for (QGraphicsItem* item : selectedItems()) {
            const auto* element = dynamic_cast<const ElementItem*>(item);
            if (element && element->elementId() != 0)
                selectedIds.insert(element->elementId());
        }
        selectedIdsDirty = false;
    }
    return selectedIds;
}

DocumentWindow* NetworkScene::documentWindow() const
{
    const QList<QGraphicsView*> shownIn = views();
    return shownIn.isEmpty() ? nullptr : qobject_cast<DocumentWindow*>(shownIn.first()->window());
}

void NetworkScene::setItemSelectedQuietly(QGraphicsItem* item, bool selected)
{
    if (item->isSelected() == selected)
        return;
    {
        const QSignalBlocker blocker(this);
        item->setSelected(selected);
    }
    // A hidden item cannot be selected.
    if (item->isSelected() == selected)
        noteQuietSelectionChange();
}

void NetworkScene::clearSelectionQuietly()
{
    if (selectedItems().isEmpty())
        return;
    {
        const QSignalBlocker blocker(this);
        clearSelection();
    }
    noteQuietSelectionChange();
}

void NetworkScene::noteQuietSelectionChange()
{
    selectedIdsDirty = true;
    if (quietSelectionChangePending)
        return;
    quietSelectionChangePending = true;
    QMetaObject::invokeMethod(this, &NetworkScene::emitQuietSelectionChange, Qt::QueuedConnection);
}

void NetworkScene::emitQuietSelectionChange()
{
    quietSelectionChangePending = false;
    emit selectionChanged();
}

// ---- Extent ---------------------------------------------------------------------------------

void NetworkScene::setSceneContentsRect(const QRectF& rect)
{
    m_sceneContentsRect = rect;
    emit sceneContentsRectChanged(m_sceneContentsRect);
}

void NetworkScene::updateSceneContentsRect(ElementItem* item)
{
    if (fitSceneContentsRect(item))
        emit sceneContentsRectChanged(m_sceneContentsRect);
}

void NetworkScene::recomputeSceneContentsRect()
{
    sceneContentsRecomputePending = false;
    bool changed = false;
    for (ElementItem* item : std::as_const(elementItems))
        changed = fitSceneContentsRect(item) || changed;
    if (changed)
        emit sceneContentsRectChanged(m_sceneContentsRect);
}

bool NetworkScene::fitSceneContentsRect(ElementItem* item)
{
    const QGraphicsItem* graphicsItem = item->graphicsItem();
    if (!countsForExtent(graphicsItem))
        return false;
    const QRectF extent = extentOf(graphicsItem);
    double left = m_sceneContentsRect.left();
    double top = m_sceneContentsRect.top();
    double right = m_sceneContentsRect.right();
    double bottom = m_sceneContentsRect.bottom();

    // Each side follows the item when the item lies beyond it, or when the item defined that
    // side and moved inwards; then whichever item now lies furthest out defines it.
    auto fitSide = [&](ElementItem*& extreme, double& side, qreal (QRectF::*edge)() const,
                       bool outwardIsLess) {
        auto beyond = [outwardIsLess](double a, double b) { return outwardIsLess ? a < b : a > b; };
        const double itemSide = (extent.*edge)();
        if (!extreme || beyond(itemSide, side)) {
            extreme = item;
            side = itemSide;
        } else if (extreme == item && beyond(side, itemSide)) {
            side = itemSide;
            for (ElementItem* other : std::as_const(elementItems)) {
                if (other == item || !countsForExtent(other->graphicsItem()))
                    continue;
                const double otherSide = (extentOf(other->graphicsItem()).*edge)();
                if (beyond(otherSide, side)) {
                    extreme = other;
                    side = otherSide;
                }
            }
        }
    };
    fitSide(leftmostItem, left, &QRectF::left, true);
    fitSide(rightmostItem, right, &QRectF::right, false);
    fitSide(topmostItem, top, &QRectF::top, true);
    fitSide(bottommostItem, bottom, &QRectF::bottom, false);

    const QRectF fitted(QPointF(left, top), QPointF(right, bottom));
    if (fitted == m_sceneContentsRect)
        return false;
    m_sceneContentsRect = fitted;
    return true;
}
