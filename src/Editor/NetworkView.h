#ifndef NETWORKVIEW_H
#define NETWORKVIEW_H

#include "QmdGlobal.h"
#include "QmdIndex.h"
#include "QmdKelvoTypes.h"
#include "QmdObserver.h"

#include <QGraphicsView>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QStringList>

class DocumentWindow;
class GraphicsEdgeItem;
class GraphicsNodeItem;
class GraphicsTextBoxItem;
class GraphicsVoiceGroupItem;
class MidiEvent;
class NetworkScene;
class QAction;
class QActionGroup;
class QMenu;
class QmdKelvoController;
class QwpComboBox;

// The editor view of one document window, on the window's scene. It follows the document's
// zoom ("ZoomScale", also shown and set by the zoom box at the left end of the horizontal
// scroll bar) and its current tool ("Tool" in the run-time part), and shows the tool's cursor.
//
// The mouse edits the network with the current tool: the selection tool selects and drags
// nodes and text boxes (and Alt-clicks start and stop voice groups), the zoom tool zooms by
// clicking, and the other tools draw new elements (the text tool also opens the text box it
// clicks for typing). While the button is down the view shows preview items of its own; the
// release makes one request, so that every gesture is one undo step. The view never moves an
// element's item itself: it writes the element's "TickPos" and the item follows the document.
//
// The context menu holds the edit commands and the settings of the selected elements: the
// signalling of nodes, the path and wormhole of edges, muting, and playing or stopping voice
// groups; its check marks are bound to the selection's values, and choosing one writes it to
// every selected element as one undo step. Escape ends a drawing gesture, Delete and Backspace
// delete the selection, Shift flips the path of an edge being drawn, Alt makes the voice groups
// pulse while the transport plays (and the zoom tool zoom out). Notes played on the MIDI-entry
// input while the view has the focus go into the selected nodes and voice groups.
class NetworkView : public QGraphicsView, public QmdObserver<QmdKelvoController>
{
    Q_OBJECT
    // The signalling method and the edge path checked in the context menu; -1 when none is.
    Q_PROPERTY(int contextMenuNodeSigMethod READ contextMenuNodeSigMethod WRITE
                   setContextMenuNodeSigMethod NOTIFY contextMenuNodeSigMethodChanged)
    Q_PROPERTY(int contextMenuEdgePath READ contextMenuEdgePath WRITE setContextMenuEdgePath NOTIFY
                   contextMenuEdgePathChanged)

public:
    // The editing tools, as the run-time document key "Tool" stores them.
    enum Tool {
        SelectionTool = 0,
        ZoomTool = 1,
        NodeAndEdgeTool = 2,
        VoiceGroupTool = 3,
        TextBoxTool = 4,
    };

    explicit NetworkView(QWidget* parent);
    ~NetworkView() override;

    // Shows the scene and follows its contents rectangle; ends any interaction before the
    // scene resets.
    void setScene(NetworkScene* scene);
    // Attaches the view to a document; the view follows its "ZoomScale" and "Tool".
    void setController(QmdKelvoController* controller) override;
    // The object whose slots cut(), copy(), paste(), del() and selectAll() the view's edit
    // commands call (the document window).
    void setActionTarget(QObject* target);
    // The action target as a document window, which also takes the paste position; null for a
    // target of another class or none.
    DocumentWindow* actionWindow() const;

    // The tick position of the centre of the viewport, not snapped to the grid.
    QmdKelvo::TickPoint tickPointAt() const;

    // Makes a tool current (values outside Tool leave the current one) and shows its cursor.
    void setTool(int tool);
    // Whether the zoom tool now zooms out or in; it shows that it cannot when that would
    // leave the zoom range.
    void setZoomDirection(bool zoomOut);

    int contextMenuNodeSigMethod() const;
    // Checks the entry of a value; a value that no entry has checks none.
    void setContextMenuNodeSigMethod(int method);
    int contextMenuEdgePath() const;
    void setContextMenuEdgePath(int path);
    // The context menu, built by setActionTarget.
    QMenu* contextMenu() const { return m_contextMenu; }

    // Snap a scene point or a tick position to the nearest point of the document's division
    // grid, when the document snaps; otherwise they stay as they are.
    void snapScenePoint(QPointF& point) const;
    void snapTickPoint(QmdKelvo::TickPoint& point) const;
    // The item as the node item of an element; null for other items and for previews.
    static GraphicsNodeItem* asNodeItem(QGraphicsItem* item);

public slots:
    // Ends the interaction in progress and reads zoom and tool afresh.
    void reset();
    // Ends a drawing gesture: its preview items go.
    void cancelInteraction();
    // Fits the scene rectangle to the contents and one viewport about the origin, growing or
    // shrinking it.
    void shrinkOrGrowSceneRect();
    // The same, but only growing it, so that it holds the contents wherever they go and
    // never shrinks while they change during an edit.
    void smartUpdateSceneRect();
    // Stops the selected voice groups that play and starts those that do not.
    void toggleSelectedVoiceGroupsPlayStop();
    void shuffleNodeNotesInSelection();

signals:
    // The user chose a signalling method or an edge path in the context menu.
    void contextMenuNodeSigMethodChanged();
    void contextMenuEdgePathChanged();

protected:
    void customEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private slots:
    void onItemsChanged(const QmdIndex& parent, const QStringList& keys);
    void onElementsAdded(const QmdItemIdList& idList, QmdRequestId rid);
    void onElementsRemoved(const QmdItemIdList& idList, QmdRequestId rid);
    // The contents changed: the scene rectangle follows once the burst of changes is done.
    void onSceneContentsRectChanged();
    void onBurstSettled();
    void onPlaybackStateChanged(bool playing);

private:
    enum ZoomDirection { ZoomingIn = 0, ZoomingOut = 1, CannotZoom = 2 };

    // The element item at a point of the viewport (the item itself for a click on its label);
    // null on empty grid.
    QGraphicsItem* elementItemAt(QPoint viewPoint) const;
    // The press of each tool.
    void pressWithSelectionTool(Qt::KeyboardModifiers modifiers, QGraphicsItem* hit,
                                QPointF scenePos);
    void pressWithZoomTool();
    void pressWithNodeAndEdgeTool(QGraphicsItem* pressItem, const QmdIndex& pressNode,
                                  QPointF snapped);
    void pressWithVoiceGroupTool(const QmdIndex& pressNode);
    void pressWithTextBoxTool(QGraphicsItem* pressItem, QPointF scenePos);
    // Takes a preview item into the scene as the view shows previews.
    void preparePreview(QGraphicsItem* item, bool translucent) const;
    // The offset of every selected node and text box from the dragged item, once per drag.
    void buildMoveOffsets();
    // The dragged item's new place for the mouse at scenePos: a preview moves, the selection
    // is moved by a request.
    void dragTo(QPointF scenePos);
    // The preview node and edge follow the node under the mouse.
    void followTargetNode(QPointF scenePos);
    // The requests that end a drawing gesture at the release.
    void finishGesture();
    // Whether a gesture has previews or a drag (or left previews waiting for a new node).
    bool gestureInProgress() const;
    void deletePreviewNodeAndEdge();
    // Forgets the drag; the view goes back to selecting with a rubber band.
    void endDrag();
    // Elements left the document: a gesture that starts or ends at one of them ends without a
    // request, and a drag leaves them behind (ending when nothing is left to move).
    void forgetRemovedElements(const QmdItemIdList& idList);
    // The node item that stands exactly at a scene point; null when none does.
    GraphicsNodeItem* nodeStandingAt(QPointF scenePos) const;

    // The document's zoom as the view applies it (see ZoomScale::effective).
    double zoomScale() const;
    void applyZoomScale();
    void applyTool();
    void updateCursor();
    // The rectangle that holds the scene's contents with a margin and one viewport centred
    // on the origin.
    QRectF fittingSceneRect() const;

    // Builds the context menu and its actions.
    void createActions();
    // The selected elements of a type, each with `key`: the items of a menu binding.
    QHash<QmdIndex, QSet<QString>> selectedItemsOfType(int elementType, const QString& key) const;
    // Drops the menu's bindings to the document.
    void unbindContextMenu();
    // The text of the play/stop entry after the selected voice groups; hidden with none.
    // Remembers which groups played and which did not, for the entry to act on.
    void updatePlayStopAction();
    // The play/stop entry was chosen: stops the groups that played when the menu opened and
    // starts those that did not, as the entry said, whatever they did since.
    void playStopEntryChosen();
    // Writes a note of a MIDI-entry message into the selected elements.
    void enterMidiEvent(const MidiEvent& event);
    void endMidiEntryChord();

    QPointer<QObject> actionTarget;
    QPointer<NetworkScene> networkScene;
    int tool = SelectionTool;
    ZoomDirection zoomDirection = ZoomingIn;
    // The request of a zoom-tool click not yet applied, 0 when none: that zoom keeps the point
    // under the mouse in place instead of the centre.
    QmdRequestId zoomClickRequestId = 0;
    QwpComboBox* zoomCombo = nullptr;

    // The drag in progress: the item that follows the mouse (a preview, or the node or text
    // box pressed with the selection tool), the request that every step of the drag joins, the
    // dragged item's position at the last step and the distance from the mouse to it.
    QGraphicsItem* movingItem = nullptr;
    // The element of movingItem when it is an element's item (0 for a preview): the drag
    // forgets the item when the element leaves the document.
    QmdItemId movingElementId = 0;
    // Whether the mouse has gone far enough from the press for a drag: a hand's tremble in a
    // click moves nothing.
    bool dragStarted = false;
    QmdRequestId moveRequestId = 0;
    QmdKelvo::TickPoint lastDragTicks;
    QmdKelvo::TickPoint grabOffset;

    // A drawing gesture in progress: its preview items, owned by the view, and the nodes it
    // joins. A new node with an edge to it waits for the node's request to add the edge.
    GraphicsEdgeItem* previewEdge = nullptr;
    GraphicsNodeItem* previewNode = nullptr;
    GraphicsVoiceGroupItem* previewVoiceGroup = nullptr;
    GraphicsTextBoxItem* previewTextBox = nullptr;
    QmdIndex edgeStartNode;
    QmdIndex targetNode;
    QmdRequestId pendingNodeRequestId = 0;

    bool mousePressed = false;
    QPoint pressPoint;
    // The viewport rectangle that the mouse has swept since the press.
    QRect pressRect;
    // The "TickPos" of every node and text box that a drag moves, by element, with its offset
    // from the dragged item; built at the first step of the drag.
    struct MovedPosition
    {
        QmdIndex tickPos;
        QmdKelvo::TickPoint offset;
    };
    QHash<QmdItemId, MovedPosition> moveOffsets;
    bool moveOffsetsPending = true;
    bool sceneRectUpdatePending = false;

    // MIDI entry: whether a chord is being entered (a note-on came and no note-off since), the
    // note texts entered since it began and each node's notes from before it.
    bool midiEntryChordStarted = false;
    QStringList midiEntryChordNotes;
    QHash<uint, QString> midiEntryBaseTexts;

    // The context menu and its actions, children of the menu.
    QMenu* m_contextMenu = nullptr;
    QAction* cutAction = nullptr;
    QAction* copyAction = nullptr;
    QAction* pasteAction = nullptr;
    QAction* deleteAction = nullptr;
    QAction* selectAllAction = nullptr;
    QActionGroup* sigMethodGroup = nullptr;
    QAction* shuffleAction = nullptr;
    QAction* playStopAction = nullptr;
    QAction* muteAction = nullptr;
    QActionGroup* edgePathGroup = nullptr;
    QAction* wormholeAction = nullptr;
    QString playStopToggleText;
    // The selected voice groups that played, and those that did not, when the menu opened.
    QmdItemIdList playStopPlaying;
    QmdItemIdList playStopIdle;
    QString playText;
    QString stopText;
};

#endif // NETWORKVIEW_H
