#ifndef EDGEUSAGELISTEDITOR_H
#define EDGEUSAGELISTEDITOR_H

#include "QmdIndex.h"
#include "QmdObserver.h"

#include <QGraphicsView>
#include <QPointer>
#include <QVector>

class EdgeUsageTile;
class QAction;
class QMenu;
class QmdKelvoController;
class QSpinBox;

// The editor of a node's edge-usage list ("ArcUsageList": entries "edge=count" joined by ","),
// a row of tiles in the colours of the edges' markers. Tiles are reordered by dragging,
// removed with Delete or Backspace and their counts edited on a double click; entries are
// added from the add menu of the node's outgoing edges, which the node page attaches to its
// add button. Every change is one request "Edge Usage". The editor follows the document: an
// undo, a redo or an edge's removal shows at once.
class EdgeUsageListEditor : public QGraphicsView, public QmdObserver<QmdKelvoController>
{
    Q_OBJECT

public:
    explicit EdgeUsageListEditor(QWidget* parent = nullptr);
    ~EdgeUsageListEditor() override;

    void setController(QmdKelvoController* controller) override;

    const QVector<EdgeUsageTile*>& tiles() const { return m_tiles; }
    QMenu* addMenu() const { return m_addMenu; }
    QSpinBox* countEditor() const { return m_countEditor; }
    QmdIndex node() const { return m_node; }
    // The list text of the tiles, in their order.
    QString tilesText() const;

public slots:
    void setNode(QmdItemId nodeId);
    // Rebuilds the tiles and the add menu from the document.
    void sync();
    void onEditTriggered(EdgeUsageTile* tile);
    void onEditingFinished();
    void onVisualizeTileMove(EdgeUsageTile* tile, int to);
    void onTileMoveFinished(EdgeUsageTile* tile);
    void onRemoveTriggered(EdgeUsageTile* tile);
    void onItemsChangedOrRemoved(const QmdIndex& parent);
    void onAddActionTriggered(QAction* action);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void onNodeKeysChanged(const QmdIndex& parent, const QStringList& keys);
    void onModelReset();
    void rebuildTiles();
    void rebuildAddMenu();
    // Writes the tiles' list to the node; nothing when the document holds it already.
    void writeList();
    bool canEdit() const;
    QString storedText() const;
    int tileHeight() const;
    void updateSceneWidth();

    QmdItemId m_nodeId = 0;
    QmdIndex m_node;
    QVector<EdgeUsageTile*> m_tiles;
    QPointer<EdgeUsageTile> m_editedTile;
    QSpinBox* m_countEditor;
    QMenu* m_addMenu;
};

#endif // EDGEUSAGELISTEDITOR_H
