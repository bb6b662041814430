#ifndef NETWORKSCENE_H
#define NETWORKSCENE_H

#include "FeedbackMsg.h"
#include "NetworkGrid.h"
#include "QmdGlobal.h"
#include "QmdIndex.h"
#include "QmdKelvoTypes.h"
#include "QmdObserver.h"

#include <QColor>
#include <QGraphicsScene>
#include <QHash>
#include <QRectF>
#include <QSet>
#include <QStringList>
#include <QVector>

#include <functional>
#include <limits>

class DocumentWindow;
class ElementItem;
class GraphicsEdgeItem;
class GraphicsNodeItem;
class GraphicsVoiceGroupItem;
class QPropertyAnimation;
class QTimer;
class QmdKelvoController;

// The graphics scene of one document window. It holds one item per element of the document
// and keeps the items in step with the controller: it builds them all at every reset, creates,
// refreshes and deletes them as the controller reports changes, and selects what a request has
// just added. It carries the document's style colours and display toggles, the grid step for
// snapping, paints the grid and keeps the extent of its contents. It never writes the
// document.
//
// The selection changes that the scene makes itself (building, removal, reset) are quiet: the
// scene's selectionChanged() is emitted once for each burst of them, after the burst.
//
// While the transport plays, the scene shows what the voice groups report through the
// controller's feedback pipe: every 16 ms it takes the messages that have come due and lights
// the nodes in the colours of the voices sounding at them, tells the voice groups how many of
// their voices are on the network and shows a group's "!" for two seconds after it ran out of
// voices. A jump of the playback position clears all of it.
class NetworkScene : public QGraphicsScene, public QmdObserver<QmdKelvoController>
{
    Q_OBJECT
    Q_PROPERTY(QColor backgroundColor READ backgroundColor WRITE setBackgroundColor)
    Q_PROPERTY(QColor principalLinesColor READ principalLinesColor WRITE setPrincipalLinesColor)
    Q_PROPERTY(QColor principalPointsColor READ principalPointsColor WRITE setPrincipalPointsColor)
    Q_PROPERTY(QColor divisionLinesColor READ divisionLinesColor WRITE setDivisionLinesColor)
    Q_PROPERTY(QColor divisionPointsColor READ divisionPointsColor WRITE setDivisionPointsColor)
    Q_PROPERTY(QColor annotationColor READ annotationColor WRITE setAnnotationColor)
    Q_PROPERTY(QColor nodesColor READ nodesColor WRITE setNodesColor)
    Q_PROPERTY(QColor edgesColor READ edgesColor WRITE setEdgesColor)
    Q_PROPERTY(qreal currentVoiceGroupPulseValue READ currentVoiceGroupPulseValue WRITE
                   setCurrentVoiceGroupPulseValue)

public:
    // The request id of the elements built by a reset.
    static constexpr QmdRequestId ResetRequestId = 0xFFFFFFFF;

    explicit NetworkScene(QObject* parent);
    ~NetworkScene() override;

    // Attaches the scene to a document (or detaches it, with null) and rebuilds it.
    void setController(QmdKelvoController* controller) override;

    // The element ids of the selected items.
    const QmdItemIdSet& selectedElementIds() const;
    // The document window that shows the scene (the window of its first view); null while no
    // view of a document window shows it.
    DocumentWindow* documentWindow() const;
    // The item of an element; null when it has none.
    ElementItem* elementItem(QmdItemId id) const { return elementItems.value(id); }
    // Makes, registers and fills in the item of an element, selected unless rid is
    // ResetRequestId; null, and nothing registered, for an element without an item.
    ElementItem* createElementItem(QmdItemId id, QmdRequestId rid);

    // The rectangle that encloses all nodes and text boxes (with their labels), in scene
    // coordinates; null while nothing has defined it.
    QRectF sceneContentsRect() const { return m_sceneContentsRect; }
    // Takes one item's extent into the contents rectangle.
    void updateSceneContentsRect(ElementItem* item);
    // Whether a view of the scene drags items (its own or previews) with the mouse.
    void setDragInProgress(bool dragging) { dragInProgress = dragging; }
    bool isDragInProgress() const { return dragInProgress; }

    // Rebuilds an edge's path once the burst of changes now being handled is done, so that an
    // edge whose two ends one request moves is rebuilt once.
    void updatePathLater(GraphicsEdgeItem* edge);
    // Emits burstSettled() once the burst of change signals now being delivered is done (all
    // of a request's, say), ahead of the repaint that they cause; once however often it is
    // asked for meanwhile.
    void settleAfterBurst();

    // The grid as the document shows it.
    NetworkGrid::Style gridStyle() const;

    QColor backgroundColor() const { return m_backgroundColor; }
    QColor principalLinesColor() const { return m_principalLinesColor; }
    QColor principalPointsColor() const { return m_principalPointsColor; }
    QColor divisionLinesColor() const { return m_divisionLinesColor; }
    QColor divisionPointsColor() const { return m_divisionPointsColor; }
    QColor annotationColor() const { return m_annotationColor; }
    QColor nodesColor() const { return m_nodesColor; }
    QColor edgesColor() const { return m_edgesColor; }
    void setBackgroundColor(const QColor& color);
    void setPrincipalLinesColor(const QColor& color);
    void setPrincipalPointsColor(const QColor& color);
    void setDivisionLinesColor(const QColor& color);
    void setDivisionPointsColor(const QColor& color);
    void setAnnotationColor(const QColor& color);
    void setNodesColor(const QColor& color);
    void setEdgesColor(const QColor& color);

    // The pulse level of every voice group, which the pulse animation drives.
    qreal currentVoiceGroupPulseValue() const { return m_currentVoiceGroupPulseValue; }
    void setCurrentVoiceGroupPulseValue(qreal value) { m_currentVoiceGroupPulseValue = value; }
    // Starts every voice group pulsing, or stops them all at full level.
    void setVoiceGroupPulseRunning(bool running);
    bool isVoiceGroupPulseRunning() const;

    // The node items that show at least one voice colour.
    const QSet<GraphicsNodeItem*>& litNodeItems() const { return litNodes; }
    // Replaces the monotonic clock, in milliseconds, that alert labels expire by and that
    // limits the reads of one tick (tests).
    void setMillisecondClock(std::function<qint64()> clock) { msecClock = std::move(clock); }

    // At most this many feedback messages are read at once, and reading stops for the tick
    // once the tick's reads have taken FeedbackBudgetMs.
    static constexpr int FeedbackReadSize = 32;
    static constexpr qint64 FeedbackBudgetMs = 4;
    // How long a group's alert label shows after it ran out of voices.
    static constexpr qint64 AlertLabelMs = 2000;
    // A node's voice colour goes by itself this long after its note at the latest.
    static constexpr quint64 MinimumSegmentNs = 100'000'000;

    // The document's "SnapToGrid" and its division length in ticks, for snapping.
    bool snapToGrid = true;
    QmdKelvo::Ticks tickStep = 665280;
    // The document's display toggles "ShowNodeCounters", "ShowNodeLastNotesSent" and
    // "ShowEdgeSignalling".
    bool showNodeCounters = false;
    bool showNodeLastNotesSent = false;
    bool showEdgeSignalling = false;

public slots:
    // Deletes every item and builds the items of the controller's document anew.
    void reset();
    void setSceneContentsRect(const QRectF& rect);
    void onSelectionChanged();
    void onElementsAdded(const QmdItemIdList& idList, QmdRequestId rid);
    void onElementsRemoved(const QmdItemIdList& idList, QmdRequestId rid);
    void onElementDataEffected(QmdItemId id, const QStringList& keys, QmdRequestId rid);
    void onInstrumentDataEffected(QmdItemId id, const QStringList& keys, QmdRequestId rid);
    void onItemsChanged(const QmdIndex& parent, const QStringList& keys);
    // Shows the playback feedback that has come due.
    void checkFeedbackPipe();
    // The feedback is looked for only while the transport plays: while it stands nothing
    // comes due.
    void onPlaybackStateChanged(bool playing);
    // The playback position jumped: no node is lit, no group has voices or an alert.
    void onPlaybackJogged();
    // Gives every voice group the current pulse level.
    void onVoiceGroupPulseValueChanged();

signals:
    // Emitted by reset() before any item goes, so that a view drops what it keeps of them.
    void aboutToReset();
    // The burst of changes that settleAfterBurst() waited for is done; the edges it moved
    // have their paths.
    void burstSettled();
    void sceneContentsRectChanged(const QRectF& rect);

protected:
    bool event(QEvent* event) override;
    void drawBackground(QPainter* painter, const QRectF& rect) override;

private:
    // Makes the view redraw their (cached) backgrounds.
    void resetCachedContentOfViews();
    void applyAnnotationColor();
    void applyNodesColor();
    void applyEdgesColor();

    // Changes the selection without the scene's signal; selectionChanged() follows once,
    // queued, for all such changes up to then.
    void setItemSelectedQuietly(QGraphicsItem* item, bool selected);
    void clearSelectionQuietly();
    void noteQuietSelectionChange();
    void emitQuietSelectionChange();

    // Opens the editor of the text box that a request added on its own.
    void openAddedTextBox();
    // Unregisters and deletes the item of an element, and forgets every reference to it.
    void deleteElementItem(QmdItemId id);
    // The items that follow an element's data besides its own: the edges from and to a node
    // and the voice groups that start at it.
    void updateFollowedNodes(ElementItem* item);
    void forgetFollowedNodes(ElementItem* item);
    // Takes one item's extent into the contents rectangle; true when the rectangle changed.
    bool fitSceneContentsRect(ElementItem* item);
    // Once per burst of removals that took an extreme item: every item's extent again.
    void recomputeSceneContentsRect();
    // Pushes the hit counts or last notes sent of every node item (under the document's lock
    // only for the reading).
    void refreshNodeStates(bool hitCounts, bool lastNotesSent);
    // The edges at a node whose label changed lay their own labels out again.
    void layOutEdgeLabelsAt(QmdItemId nodeId);

    // The display state of one feedback message; the items touched go into the sets.
    struct FeedbackChanges;
    void showFeedback(const FeedbackMsg& msg, FeedbackChanges& changes);
    // The voice colour of a note: the instrument's colour, saturated by the velocity and
    // translucent. Instrument colours are read once per instrument and tick.
    QColor voiceColor(const FeedbackMsg& msg, FeedbackChanges& changes) const;
    // Ends the voice colours whose note-ended message is overdue.
    void expireSegments(quint64 now, FeedbackChanges& changes);
    void removeSegment(GraphicsNodeItem* node, uint voiceGroupId, uint voiceId);
    // Forgets the feedback display state of an item that goes.
    void forgetFeedback(QGraphicsItem* item);
    void clearFeedbackState();

    QColor m_backgroundColor;
    QColor m_principalLinesColor;
    QColor m_principalPointsColor;
    QColor m_divisionLinesColor;
    QColor m_divisionPointsColor;
    QColor m_annotationColor;
    QColor m_nodesColor;
    QColor m_edgesColor;

    QHash<QmdItemId, ElementItem*> elementItems;
    // Node id to the items that follow it, and each such item to the node ids it follows.
    QHash<QmdItemId, QSet<ElementItem*>> followers;
    QHash<ElementItem*, QmdItemIdList> followedNodes;
    // Edges whose path is to be rebuilt after the current burst.
    QSet<GraphicsEdgeItem*> pendingPaths;
    bool settlePending = false;

    QRectF m_sceneContentsRect;
    ElementItem* leftmostItem = nullptr;
    ElementItem* rightmostItem = nullptr;
    ElementItem* topmostItem = nullptr;
    ElementItem* bottommostItem = nullptr;
    bool sceneContentsRecomputePending = false;
    bool dragInProgress = false;

    QmdRequestId lastRequestId = 0;
    // The text box that opens for typing once the rest of its request has arrived, if any.
    QmdItemId addedTextBoxId = 0;
    QmdRequestId addedTextBoxRequestId = 0;
    bool quietSelectionChangePending = false;
    mutable bool selectedIdsDirty = true;
    mutable QmdItemIdSet selectedIds;

    // The document's "DivsPerPrincipal" and "ShowGrid", as the grid draws them.
    qint64 gridDivisions = 1;
    bool showGrid = true;
    NetworkGrid grid;

    // Playback feedback.
    QTimer* feedbackTimer = nullptr;
    QVector<FeedbackMsg> feedbackBuffer;
    QSet<GraphicsNodeItem*> litNodes;
    // Per lit node, the tick by which each voice colour (by voice group and voice, in one key)
    // ends at the latest, and the earliest of all those ticks.
    QHash<GraphicsNodeItem*, QHash<quint64, quint64>> segmentEnds;
    quint64 nextSegmentEnd = std::numeric_limits<quint64>::max();
    QHash<GraphicsVoiceGroupItem*, QSet<uint>> voiceGroupVoices;
    // Per voice group, the time of msecClock until which its alert label shows.
    QHash<GraphicsVoiceGroupItem*, qint64> voiceGroupPulseUntil;
    std::function<qint64()> msecClock;
    qreal m_currentVoiceGroupPulseValue = 1.0;
    QPropertyAnimation* pulseAnimation = nullptr;
};

#endif // NETWORKSCENE_H
