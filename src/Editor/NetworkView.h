#ifndef NETWORKVIEW_H
#define NETWORKVIEW_H

#include "QmdGlobal.h"
#include "QmdIndex.h"
#include "QmdKelvoTypes.h"
#include "QmdObserver.h"

#include <QGraphicsView>
#include <QPointer>

class DocumentWindow;
class NetworkScene;
class QmdKelvoController;
class QwpComboBox;

// The editor view of one document window, on the window's scene. It follows the document's
// zoom ("ZoomScale", also shown and set by the zoom box at the left end of the horizontal
// scroll bar) and its current tool ("Tool" in the run-time part), and shows the tool's cursor.
class NetworkView : public QGraphicsView, public QmdObserver<QmdKelvoController>
{
    Q_OBJECT

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

public slots:
    // Ends the interaction in progress and reads zoom and tool afresh.
    void reset();
    // Ends a drawing gesture: its preview items go.
    void cancelInteraction();
    // Fits the scene rectangle to the contents and one viewport about the origin, growing or
    // shrinking it.
    void shrinkOrGrowSceneRect();
    // The same, but never shrinking it (while the contents change during an edit).
    void smartUpdateSceneRect();

protected:
    void resizeEvent(QResizeEvent* event) override;

private slots:
    void onItemsChanged(const QmdIndex& parent, const QStringList& keys);
    void onElementsAdded(const QmdItemIdList& idList, QmdRequestId rid);
    void onElementsRemoved(const QmdItemIdList& idList, QmdRequestId rid);

private:
    enum ZoomDirection { ZoomingIn = 0, ZoomingOut = 1, CannotZoom = 2 };

    // The document's zoom as the view applies it (see ZoomScale::effective).
    double zoomScale() const;
    void applyZoomScale();
    void applyTool();
    void updateCursor();
    // The rectangle that holds the scene's contents with a margin and one viewport centred
    // on the origin.
    QRectF fittingSceneRect() const;

    QPointer<QObject> actionTarget;
    QPointer<NetworkScene> networkScene;
    int tool = SelectionTool;
    ZoomDirection zoomDirection = ZoomingIn;
    // The request of a zoom-tool click not yet applied, 0 when none: that zoom keeps the point
    // under the mouse in place instead of the centre.
    QmdRequestId zoomClickRequestId = 0;
    QwpComboBox* zoomCombo = nullptr;

    // A drawing gesture in progress: its preview items, owned by the view, and the nodes it
    // joins.
    QGraphicsItem* previewEdge = nullptr;
    QGraphicsItem* previewNode = nullptr;
    QGraphicsItem* previewVoiceGroup = nullptr;
    QGraphicsItem* previewTextBox = nullptr;
    QmdIndex edgeStartNode;
    QmdIndex targetNode;
    QmdRequestId pendingNodeRequestId = 0;
};

#endif // NETWORKVIEW_H
