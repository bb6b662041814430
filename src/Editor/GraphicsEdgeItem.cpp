#include "GraphicsEdgeItem.h"

#include "EdgeGeometry.h"
#include "GraphicsNodeItem.h"
#include "NetworkScene.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdKelvoUnits.h"
#include "ZoomScale.h"

#include <QGraphicsPolygonItem>
#include <QGraphicsSimpleTextItem>
#include <QPainter>
#include <QPainterPathStroker>
#include <QPen>
#include <QStyleOptionGraphicsItem>

namespace K = QmdKelvoKeys;

namespace {

// The arrow head, with its shadow drawn as part of it rather than by a graphics effect, so that
// the item's cache holds both and a repaint only copies the cached image (an effect renders
// and blurs its item afresh at every repaint). The shadow lies one device pixel below the
// head, in translucent black, its rim softened by one pixel, at every zoom.
class ArrowHeadItem : public QGraphicsPolygonItem
{
public:
    ArrowHeadItem(const QPolygonF& polygon, QGraphicsItem* parent)
        : QGraphicsPolygonItem(polygon, parent)
    { }

    QRectF boundingRect() const override
    {
        // Room for the shadow's two pixels at the smallest zoom.
        const qreal margin = 2.0 / ZoomScale::Minimum;
        return QGraphicsPolygonItem::boundingRect().adjusted(-margin, -margin, margin, margin);
    }

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override
    {
        const QTransform toItem = painter->worldTransform().inverted();
        const QPointF down = toItem.map(QPointF(0, 1)) - toItem.map(QPointF(0, 0));
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->translate(down);
        QPen rim(QColor(0, 0, 0, 90));
        rim.setCosmetic(true);
        rim.setWidthF(1.0);
        painter->setPen(rim);
        painter->setBrush(QColor(0, 0, 0, 180));
        painter->drawPolygon(polygon());
        painter->restore();
        QGraphicsPolygonItem::paint(painter, option, widget);
    }
};

// The label that a node shows, in the node's coordinates; null when it shows none.
QRectF nodeLabelRect(const NetworkScene* scene, QmdItemId nodeId)
{
    ElementItem* item = nodeId != 0 ? scene->elementItem(nodeId) : nullptr;
    if (!item || item->graphicsItem()->type() != NodeItemType)
        return QRectF();
    return static_cast<const GraphicsNodeItem*>(item->graphicsItem())->labelRect();
}

// The arrow head's size when its edge is selected.
constexpr double SelectedArrowScale = 1.3;
// How far the hit area reaches beyond the drawn line, both sides together, in scene units.
constexpr double HitMargin = 3.5;
const QChar Infinity(0x221E);

// What all edges draw with, built once the tick geometry is known.
struct EdgeShapes
{
    // A triangle pointing along +x with its base on the origin.
    QPolygonF arrow;
    // Dashes of a wormhole, in units of the pen width: the selected pen is three times as
    // wide, so its pattern is a third as long and the dashes keep their drawn length.
    QList<qreal> dashes;
    QList<qreal> selectedDashes;
};

const EdgeShapes& edgeShapes()
{
    static EdgeShapes shapes;
    // Sizes scale with the screen's resolution, unknown until the tick geometry is set.
    if (shapes.arrow.isEmpty() && QmdKelvo::dpiScaleX > 0) {
        const double s = QmdKelvo::dpiScaleX;
        shapes.arrow << QPointF(0, -4.5 * s) << QPointF(9 * s, 0) << QPointF(0, 4.5 * s);
        shapes.dashes = {8 * s, 8 * s};
        shapes.selectedDashes = {8 * s / 3, 8 * s / 3};
    }
    return shapes;
}

QString countText(int count)
{
    return count == 0 ? QString(Infinity) : QString::number(count);
}

} // namespace

GraphicsEdgeItem::GraphicsEdgeItem(QGraphicsScene* scene, QGraphicsItem* parent)
    : GraphicsElementItem(scene, parent)
{
    initShapes();
}

GraphicsEdgeItem::GraphicsEdgeItem(QmdItemId id, QmdKelvoController* controller,
                                   QGraphicsScene* scene, QGraphicsItem* parent)
    : GraphicsElementItem(id, controller, scene, parent)
{
    initShapes();
}

GraphicsEdgeItem::~GraphicsEdgeItem() = default;

void GraphicsEdgeItem::initShapes()
{
    const auto* networkScene = qobject_cast<const NetworkScene*>(m_scene.data());
    m_edgeColor = networkScene ? networkScene->edgesColor() : QColor();
    m_currentColor = m_edgeColor;

    m_arrowHead = new ArrowHeadItem(edgeShapes().arrow, this);
    m_arrowHead->setPen(Qt::NoPen);
    m_arrowHead->setAcceptHoverEvents(true);
    m_arrowHead->setCacheMode(QGraphicsItem::DeviceCoordinateCache);

    m_signallingLabel = new QGraphicsSimpleTextItem(this);
    QFont font;
    font.setPointSize(10);
    m_signallingLabel->setFont(font);
    m_signallingLabel->setCacheMode(QGraphicsItem::DeviceCoordinateCache);

    setAcceptHoverEvents(true);
    // A click on the arrow head or the label selects the edge.
    setHandlesChildEvents(true);

    m_annotationColor = networkScene ? networkScene->annotationColor() : QColor();
    updateMarker();
    updatePath();
}

// ---- Geometry -------------------------------------------------------------------------------

void GraphicsEdgeItem::setFromPoint(QPointF point)
{
    m_fromPoint = point;
    setPos(point);
}

void GraphicsEdgeItem::setToPoint(QPointF point)
{
    m_toPoint = point;
}

void GraphicsEdgeItem::setPathType(int pathType)
{
    m_pathType = pathType;
}

void GraphicsEdgeItem::updatePath()
{
    // The signalling label keeps clear of the end nodes' labels, where they show.
    QRectF fromLabel;
    QRectF toLabel;
    if (m_signallingLabel->isVisible()) {
        if (const auto* networkScene = qobject_cast<const NetworkScene*>(m_scene.data())) {
            fromLabel = nodeLabelRect(networkScene, m_fromNodeId);
            toLabel = nodeLabelRect(networkScene, m_toNodeId);
        }
    }
    const EdgeGeometry geometry
        = EdgeGeometry::compute(m_fromPoint, m_toPoint, m_pathType,
                                m_signallingLabel->boundingRect().size(), fromLabel, toLabel);
    m_shape = QPainterPath();
    setPath(geometry.path);
    m_arrowAngle = geometry.arrowAngle;
    m_arrowHead->setPos(geometry.arrowPos);
    updateStyle(isSelected());
    m_signallingLabel->setPos(geometry.labelPos);
}

QRectF GraphicsEdgeItem::boundingRect() const
{
    const double margin = HitMargin / 2;
    return QGraphicsPathItem::boundingRect().adjusted(-margin, -margin, margin, margin);
}

QPainterPath GraphicsEdgeItem::shape() const
{
    // The line as drawn, a little wider, so that a thin edge is easy to hit; the corner
    // between two legs is not part of it.
    if (m_shape.isEmpty()) {
        QPainterPathStroker stroker;
        stroker.setWidth(pen().widthF() + HitMargin);
        m_shape = stroker.createStroke(path());
    }
    return m_shape;
}

void GraphicsEdgeItem::paint(QPainter* painter, const QStyleOptionGraphicsItem* option,
                             QWidget* widget)
{
    // The selection shows as the wider line and the larger arrow, not as a frame.
    QStyleOptionGraphicsItem unselected(*option);
    unselected.state &= ~QStyle::State_Selected;
    QGraphicsPathItem::paint(painter, &unselected, widget);
}

// ---- Style ----------------------------------------------------------------------------------

void GraphicsEdgeItem::updateStyle(bool selected)
{
    const EdgeShapes& shapes = edgeShapes();
    QPen linePen = pen();
    linePen.setColor(m_currentColor);
    linePen.setJoinStyle(Qt::MiterJoin);
    linePen.setWidthF((selected ? 3.0 : 1.0) * QmdKelvo::dpiScaleX);
    linePen.setDashPattern(selected ? shapes.selectedDashes : shapes.dashes);
    // A solid pen drops the pattern.
    linePen.setStyle(m_isWormhole ? Qt::CustomDashLine : Qt::SolidLine);
    if (linePen != pen()) {
        m_shape = QPainterPath();
        setPen(linePen);
    }

    m_arrowHead->setBrush(m_currentColor);
    const double scale = selected ? SelectedArrowScale : 1.0;
    m_arrowHead->setTransform(QTransform().rotate(m_arrowAngle).scale(scale, scale));
    m_arrowHead->update();
    update();
}

void GraphicsEdgeItem::setEdgeColor(const QColor& color)
{
    m_edgeColor = color;
    updateMarker();
}

void GraphicsEdgeItem::setAnnotationColor(const QColor& color)
{
    m_annotationColor = color;
    updateMarker();
}

void GraphicsEdgeItem::setCurrentColor(const QColor& color)
{
    m_currentColor = color;
    QPen linePen = pen();
    linePen.setColor(color);
    setPen(linePen);
    m_arrowHead->setBrush(color);
    m_arrowHead->update();
    update();
}

void GraphicsEdgeItem::setSignallingColor(const QColor& color)
{
    m_signallingColor = color;
    m_signallingLabel->setBrush(color);
    m_signallingLabel->update();
}

void GraphicsEdgeItem::setIsWormhole(bool isWormhole)
{
    m_isWormhole = isWormhole;
    updateStyle(isSelected());
}

void GraphicsEdgeItem::setSignallingText(const QString& text)
{
    if (text == m_signallingLabel->text())
        return;
    m_signallingLabel->setText(text);
    // The label's place depends on its size.
    updatePath();
}

void GraphicsEdgeItem::setShowSignalling(bool show)
{
    const bool changed = show != m_signallingLabel->isVisible();
    m_showSignalling = show;
    m_signallingLabel->setVisible(show);
    // A shown label keeps clear of the nodes' labels.
    if (changed && (m_fromNodeId != 0 || m_toNodeId != 0))
        updatePath();
}

QVariant GraphicsEdgeItem::itemChange(GraphicsItemChange change, const QVariant& value)
{
    if (change == ItemSelectedChange)
        updateStyle(value.toBool());
    return GraphicsElementItem::itemChange(change, value);
}

// ---- Marker and tool tip --------------------------------------------------------------------

void GraphicsEdgeItem::elementSelectionChanged()
{
    updateMarker();
}

void GraphicsEdgeItem::updateMarker()
{
    const int oldMarker = m_marker;
    bool marked = false;
    QColor color = m_edgeColor;
    const auto* networkScene = qobject_cast<const NetworkScene*>(m_scene.data());
    if (controller && networkScene && m_fromNodeId != 0) {
        const QmdItemIdSet& selected = networkScene->selectedElementIds();
        marked = selected.size() == 1 && *selected.cbegin() == m_fromNodeId;
    }
    if (marked) {
        m_marker = controller->edgeMarker(m_fromNodeId, m_elementId);
        color = QmdKelvo::paletteColor(m_marker);
    } else {
        m_marker = -1;
    }

    if (m_currentColor != color)
        setCurrentColor(color);
    const QColor labelColor = marked ? color : m_annotationColor;
    if (labelColor != m_signallingColor)
        setSignallingColor(labelColor);
    setZValue(marked ? 1.0 : 0.0);
    m_signallingLabel->setZValue(marked ? 1.1 : 0.0);
    if (m_marker != oldMarker)
        updateToolTip();
}

void GraphicsEdgeItem::updateToolTip()
{
    if (!controller)
        return;
    QString text;
    if (m_marker != -1)
        text = QmdKelvo::paletteColorName(m_marker);

    bool ok = false;
    const QmdKelvo::Ticks ticks = controller->edgeLength(m_elementId, &ok);
    if (ok) {
        const double divsPerPrincipal
            = controller->data(K::DivsPerPrincipal, QmdIndex()).toDouble();
        const double perPrincipal = double(QmdKelvo::TicksPerPrincipal);
        const double principals = double(ticks) / perPrincipal;
        const double divisions
            = divsPerPrincipal == 0 ? 0.0 : double(ticks) / (perPrincipal / divsPerPrincipal);
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += QStringLiteral("%1 %2 = %3 %4")
                    .arg(QString::number(principals, 'g'),
                         principals == 1.0 ? tr("principal") : tr("principals"),
                         QString::number(divisions, 'g'),
                         divisions == 1.0 ? tr("division") : tr("divisions"));
    }
    setToolTip(text);
    m_arrowHead->setToolTip(text);
}

void GraphicsEdgeItem::hoverEnterEvent(QGraphicsSceneHoverEvent* event)
{
    updateToolTip();
    GraphicsElementItem::hoverEnterEvent(event);
}

// ---- Signalling -----------------------------------------------------------------------------

void GraphicsEdgeItem::updateSignalling(int signallingMethod, const QString& arcUsageList)
{
    setSignallingText(signallingText(signallingMethod, arcUsageList, m_elementId));
}

QString GraphicsEdgeItem::signallingText(int signallingMethod, const QString& arcUsageList,
                                         QmdItemId edgeId)
{
    const QStringList entries = arcUsageList.split(QLatin1Char(','), Qt::KeepEmptyParts);
    if (entries.size() < 2)
        return QString();
    auto edgeOf
        = [](const QString& entry) { return entry.section(QLatin1Char('='), 0, 0).toUInt(); };
    auto countOf = [](const QString& entry) { return entry.section(QLatin1Char('='), 1).toInt(); };

    QString text;
    switch (signallingMethod) {
    case QmdKelvo::Sequential:
        // Every entry counts towards the positions, also empty ones and other edges'.
        for (int i = 0; i < entries.size(); ++i) {
            if (edgeOf(entries.at(i)) != edgeId)
                continue;
            if (!text.isEmpty())
                text += QLatin1Char(',');
            text += QStringLiteral("%1(%2)").arg(i + 1).arg(countText(countOf(entries.at(i))));
        }
        break;
    case QmdKelvo::Random: {
        int mine = 0;
        int total = 0;
        for (const QString& entry : entries) {
            const int count = countOf(entry);
            total += count;
            if (edgeOf(entry) == edgeId)
                mine += count;
        }
        text = countText(mine) + QLatin1Char('/') + countText(total);
        break;
    }
    default:
        break;
    }
    return text;
}

// ---- Following the document -----------------------------------------------------------------

QmdItemIdList GraphicsEdgeItem::followedNodeIds() const
{
    QmdItemIdList nodes;
    if (m_fromNodeId != 0)
        nodes.append(m_fromNodeId);
    if (m_toNodeId != 0 && m_toNodeId != m_fromNodeId)
        nodes.append(m_toNodeId);
    return nodes;
}

void GraphicsEdgeItem::elementDataEffected(uint id, const QStringList& keys, uint requestId)
{
    const bool own = id == m_elementId;
    // The position comes from the from-node, never from a "TickPos" of the edge itself.
    if (own && keys.contains(K::IsHidden))
        GraphicsElementItem::elementDataEffected(id, {K::IsHidden}, requestId);
    if (!controller)
        return;

    const bool pathListed = own && keys.contains(K::Path);
    const bool fromListed = own && keys.contains(K::FromNode);
    const bool toListed = own && keys.contains(K::ToNode);
    const bool wormholeListed = own && keys.contains(K::IsWormhole);
    const bool endsChanged = fromListed || toListed;
    const bool posListed = keys.contains(K::TickPos);
    const bool usageListed = keys.contains(K::SignallingMethod) || keys.contains(K::ArcUsageList);
    // What the end nodes' data is needed for depends on the ends, which may be read here.
    const bool mayReadFrom = endsChanged || (!own && (posListed || usageListed));
    const bool mayReadTo = endsChanged || (!own && posListed);
    if (!pathListed && !wormholeListed && !mayReadFrom && !mayReadTo)
        return;

    QVariant pathType;
    QVariant wormhole;
    QmdItemId fromNode = m_fromNodeId;
    QmdItemId toNode = m_toNodeId;
    bool readFromPos = false;
    bool readSignalling = false;
    bool readToPos = false;
    QVariant fromPos;
    QVariant signallingMethod;
    QVariant arcUsageList;
    QVariant toPos;
    controller->lockedRead([&] {
        if (pathListed)
            pathType = controller->directElementData(id, K::Path);
        if (wormholeListed)
            wormhole = controller->directElementData(id, K::IsWormhole);
        if (fromListed)
            fromNode = controller->directElementData(id, K::FromNode).toUInt();
        if (toListed)
            toNode = controller->directElementData(id, K::ToNode).toUInt();
        if (fromNode != 0 && (id == fromNode || endsChanged)) {
            readFromPos = posListed || endsChanged;
            readSignalling = usageListed || endsChanged;
            if (readFromPos)
                fromPos = controller->directElementData(fromNode, K::TickPos);
            if (readSignalling) {
                signallingMethod = controller->directElementData(fromNode, K::SignallingMethod);
                arcUsageList = controller->directElementData(fromNode, K::ArcUsageList);
            }
        }
        readToPos = toNode != 0 && (id == toNode || endsChanged) && (posListed || endsChanged);
        if (readToPos)
            toPos = controller->directElementData(toNode, K::TickPos);
    });

    auto scenePoint = [](const QVariant& value) {
        const QmdKelvo::TickPoint point
            = value.metaType() == QMetaType::fromType<QmdKelvo::TickPoint>()
            ? value.value<QmdKelvo::TickPoint>()
            : QmdKelvo::TickPoint();
        return QPointF(double(point.x) * QmdKelvo::pixelsPerTickX,
                       double(point.y) * QmdKelvo::pixelsPerTickY);
    };

    selectionRepaintEnabled = false;
    bool geometryChanged = false;
    if (pathListed) {
        m_pathType = pathType.toInt();
        geometryChanged = true;
    }
    if (fromListed) {
        m_fromNodeId = fromNode;
        if (fromNode == 0) {
            setFromPoint(QPointF());
            geometryChanged = true;
        }
    }
    if (toListed) {
        m_toNodeId = toNode;
        if (toNode == 0) {
            setToPoint(QPointF());
            geometryChanged = true;
        }
    }
    if (wormholeListed)
        setIsWormhole(wormhole.toBool());
    if (readFromPos) {
        setFromPoint(scenePoint(fromPos));
        geometryChanged = true;
    }
    if (readSignalling)
        updateSignalling(signallingMethod.toInt(), arcUsageList.toString());
    if (readToPos) {
        setToPoint(scenePoint(toPos));
        geometryChanged = true;
    }
    if (geometryChanged) {
        // A node that moved: one request may move both ends, and the path is rebuilt once.
        auto* networkScene = qobject_cast<NetworkScene*>(m_scene.data());
        if (!own && networkScene)
            networkScene->updatePathLater(this);
        else
            updatePath();
    }
    selectionRepaintEnabled = true;
}
