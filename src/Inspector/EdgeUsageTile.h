#ifndef EDGEUSAGETILE_H
#define EDGEUSAGETILE_H

#include "QmdGlobal.h"

#include <QGraphicsPixmapItem>
#include <QObject>
#include <QPointer>

class EdgeUsageListEditor;
class QTimeLine;

// One entry of a node's edge-usage list in the edge-usage editor: a tile in the colour of the
// edge's marker, labelled with the number of uses (∞ for 0). It is dragged sideways to
// another slot, removed with Delete or Backspace and its count edited on a double click; the
// editor does the work on its signals.
class EdgeUsageTile : public QObject, public QGraphicsPixmapItem
{
    Q_OBJECT

public:
    // Tiles stand side by side, Width wide with a gap of Gap.
    static constexpr int Width = 30;
    static constexpr int Gap = 1;

    // Adds itself to the editor's scene.
    EdgeUsageTile(EdgeUsageListEditor* editor, QmdItemId edgeId, int marker, int width, int height);
    ~EdgeUsageTile() override;

    EdgeUsageListEditor* editor() const { return m_editor; }
    QmdItemId edgeId() const { return m_edgeId; }
    int marker() const { return m_marker; }
    int count() const { return m_count; }
    void setCount(int count);
    // The count as shown: the number, or ∞ for 0.
    QString countText() const;

    // The tile's place in the editor's list; -1 when it has none.
    int index() const;
    static qreal slotX(int index) { return (Width + Gap) * index; }
    // Places the tile at the slot of its index, at once or sliding there.
    void moveToSlot(bool slide);
    void slideTo(qreal x);
    bool isSliding() const;

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

signals:
    void editTriggered(EdgeUsageTile* tile);
    void visualizeMove(EdgeUsageTile* tile, int slot);
    void moveFinished(EdgeUsageTile* tile);
    void removeTriggered(EdgeUsageTile* tile);

public slots:
    void onTimeLineFrameChanged(int frame);
    void onTimeLineFinished();

protected:
    QVariant itemChange(GraphicsItemChange change, const QVariant& value) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;

private:
    QPointer<EdgeUsageListEditor> m_editor;
    QmdItemId m_edgeId;
    int m_marker;
    int m_count = 1;
    QTimeLine* m_timeLine;
    // False while the program places the tile or slides it: its moves are then not drags.
    bool m_atRest = true;
};

#endif // EDGEUSAGETILE_H
