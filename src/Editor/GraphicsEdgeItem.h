#ifndef GRAPHICSEDGEITEM_H
#define GRAPHICSEDGEITEM_H

#include "ElementItem.h"

#include <QColor>
#include <QCoreApplication>
#include <QGraphicsPathItem>

class QGraphicsPolygonItem;
class QGraphicsSimpleTextItem;

// One edge of the network: a line from its from-node to its to-node along the edge's path
// type, with an arrow head at the to-node and a small label that tells how the from-node's
// edge-usage list uses the edge. A wormhole is dashed. While its from-node is the only
// selected element, the edge and its label take the colour of the edge's marker, so that it
// can be matched to the node's edge-usage editor; the tool tip names that colour and gives the
// edge's length in principals and divisions.
//
// The item's position is the from-node's centre. The view moves the ends of a preview edge
// with setFromPoint, setToPoint and setPathType, then updatePath.
class GraphicsEdgeItem : public GraphicsElementItem<QGraphicsPathItem>
{
    Q_DECLARE_TR_FUNCTIONS(GraphicsEdgeItem)

public:
    explicit GraphicsEdgeItem(QGraphicsScene* scene, QGraphicsItem* parent = nullptr);
    GraphicsEdgeItem(QmdItemId id, QmdKelvoController* controller, QGraphicsScene* scene,
                     QGraphicsItem* parent = nullptr);
    ~GraphicsEdgeItem() override;

    QRectF boundingRect() const override;
    QPainterPath shape() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option,
               QWidget* widget = nullptr) override;
    int type() const override { return EdgeItemType; }
    void elementDataEffected(uint id, const QStringList& keys, uint requestId) override;
    void elementSelectionChanged() override;
    QmdItemIdList followedNodeIds() const override;

    // The ends (node centres, in scene coordinates) and the path type (QmdKelvo::EdgePath).
    void setFromPoint(QPointF point);
    QPointF fromPoint() const { return m_fromPoint; }
    void setToPoint(QPointF point);
    QPointF toPoint() const { return m_toPoint; }
    void setPathType(int pathType);
    int pathType() const { return m_pathType; }
    // Rebuilds line, arrow head and label position from the ends and the path type.
    void updatePath();

    void setEdgeColor(const QColor& color);
    QColor edgeColor() const { return m_edgeColor; }
    void setAnnotationColor(const QColor& color);
    // The colour of line and arrow head: the edge colour, or the marker's colour.
    void setCurrentColor(const QColor& color);
    QColor currentColor() const { return m_currentColor; }
    void setSignallingColor(const QColor& color);
    QColor signallingColor() const { return m_signallingColor; }
    void setIsWormhole(bool isWormhole);
    bool isWormhole() const { return m_isWormhole; }
    // Sets the label's text and places the label for its new size.
    void setSignallingText(const QString& text);
    void setShowSignalling(bool show);
    bool showSignalling() const { return m_showSignalling; }

    // Pen and arrow head for the selection state.
    void updateStyle(bool selected);
    // The marker colouring, after a change of the selection or of the colours.
    void updateMarker();
    // The label from the from-node's signalling method and edge-usage list.
    void updateSignalling(int signallingMethod, const QString& arcUsageList);
    void updateToolTip();

    // The label text for edge `edgeId` of a usage list ("id=count,..."): the positions and
    // counts of its entries for a sequential node ("1(2),3(∞)"), its share of all counts for a
    // random one ("2/5"), nothing for a parallel one or a list of one entry.
    static QString signallingText(int signallingMethod, const QString& arcUsageList,
                                  QmdItemId edgeId);

    QmdItemId fromNodeId() const { return m_fromNodeId; }
    QmdItemId toNodeId() const { return m_toNodeId; }
    // The edge's marker while its from-node is the only selected element, else -1.
    int marker() const { return m_marker; }
    double arrowAngle() const { return m_arrowAngle; }
    QGraphicsPolygonItem* arrowHead() const { return m_arrowHead; }
    QGraphicsSimpleTextItem* signallingLabel() const { return m_signallingLabel; }

protected:
    void hoverEnterEvent(QGraphicsSceneHoverEvent* event) override;
    QVariant itemChange(GraphicsItemChange change, const QVariant& value) override;

private:
    void initShapes();

    QPointF m_fromPoint;
    QPointF m_toPoint;
    int m_pathType = 0;
    QColor m_edgeColor;
    QColor m_currentColor;
    bool m_isWormhole = false;
    QGraphicsPolygonItem* m_arrowHead = nullptr;
    double m_arrowAngle = 0;
    QGraphicsSimpleTextItem* m_signallingLabel = nullptr;
    bool m_showSignalling = true;
    QColor m_annotationColor;
    QColor m_signallingColor;
    QmdItemId m_fromNodeId = 0;
    QmdItemId m_toNodeId = 0;
    int m_marker = -1;
    // The hit area, made when first asked for after the line or the pen changed.
    mutable QPainterPath m_shape;
};

#endif // GRAPHICSEDGEITEM_H
