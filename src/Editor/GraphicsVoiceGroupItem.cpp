#include "GraphicsVoiceGroupItem.h"

#include "NetworkScene.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdKelvoUnits.h"

#include <QFontMetricsF>
#include <QGraphicsDropShadowEffect>
#include <QGraphicsSimpleTextItem>
#include <QPen>
#include <QStyleOptionGraphicsItem>

namespace K = QmdKelvoKeys;

namespace {

// The node circle's radius, the triangle's length and half its height, in points.
constexpr double NodeRadius = 10.0;
constexpr double MarkerLength = 17.0;
constexpr double MarkerHalfHeight = 12.0;
// The fill's share of the instrument colour's opacity while the group has voices on the
// network, and while it has none.
constexpr double PlayingOpacity = 0.7;
constexpr double IdleOpacity = 0.3;

// The triangle that every voice group draws, built once the tick geometry is known: its tip
// touches the node circle from the left.
const QPainterPath& markerPath()
{
    static QPainterPath path;
    if (path.isEmpty() && QmdKelvo::dpiScaleX > 0) {
        const double sx = QmdKelvo::dpiScaleX;
        const double sy = QmdKelvo::dpiScaleY;
        QPolygonF triangle;
        triangle << QPointF(-MarkerLength * sx, 0)
                 << QPointF(-MarkerLength * sx, -MarkerHalfHeight * sy) << QPointF(0, 0)
                 << QPointF(-MarkerLength * sx, MarkerHalfHeight * sy);
        path.addPolygon(triangle.translated(-NodeRadius * sx, 0));
        path.closeSubpath();
    }
    return path;
}

} // namespace

GraphicsVoiceGroupItem::GraphicsVoiceGroupItem(QGraphicsScene* scene, QGraphicsItem* parent)
    : GraphicsElementItem(scene, parent)
{
    init();
}

GraphicsVoiceGroupItem::GraphicsVoiceGroupItem(QmdItemId id, QmdKelvoController* controller,
                                               QGraphicsScene* scene, QGraphicsItem* parent)
    : GraphicsElementItem(id, controller, scene, parent)
{
    init();
}

GraphicsVoiceGroupItem::~GraphicsVoiceGroupItem() = default;

void GraphicsVoiceGroupItem::init()
{
    const double sx = QmdKelvo::dpiScaleX;
    // Until an instrument is read (a preview never reads one).
    setBrush(QColor(170, 200, 255, 127));
    QPen outline(QColor(44, 101, 169));
    outline.setJoinStyle(Qt::MiterJoin);
    outline.setWidthF(sx);
    outline.setCapStyle(Qt::RoundCap);
    setPen(outline);
    setPath(markerPath());

    QFont alertFont;
    alertFont.setPointSize(16);
    alertFont.setWeight(QFont::Bold);
    auto* shadow = new QGraphicsDropShadowEffect;
    shadow->setBlurRadius(2.0);
    shadow->setColor(QColor(0, 0, 0, 180));
    shadow->setOffset(0, 2.0);
    m_alertLabel = new QGraphicsSimpleTextItem(tr("!"), this);
    m_alertLabel->setFont(alertFont);
    m_alertLabel->setCacheMode(QGraphicsItem::DeviceCoordinateCache);
    m_alertLabel->setGraphicsEffect(shadow);
    // Over the triangle's middle, vertically centred on the node.
    const double alertWidth = m_alertLabel->boundingRect().width();
    m_alertLabel->setPos(-NodeRadius * sx - 10.96774193548387 * sx - alertWidth / 2,
                         -QFontMetricsF(alertFont).height() / 1.9);
    m_alertLabel->setVisible(false);

    QFont triggerFont;
    triggerFont.setPointSize(12);
    m_triggerLabel = new QGraphicsSimpleTextItem(this);
    m_triggerLabel->setFont(triggerFont);
    m_triggerLabel->setCacheMode(QGraphicsItem::DeviceCoordinateCache);
    m_triggerLabel->setVisible(false);

    // A click on a label acts on the voice group.
    setHandlesChildEvents(true);
    const auto* networkScene = qobject_cast<const NetworkScene*>(m_scene.data());
    setLabelColor(networkScene ? networkScene->annotationColor() : QColor());
}

void GraphicsVoiceGroupItem::paint(QPainter* painter, const QStyleOptionGraphicsItem* option,
                                   QWidget* widget)
{
    // The selection shows as the thicker outline, not as a frame.
    QStyleOptionGraphicsItem unselected(*option);
    unselected.state &= ~QStyle::State_Selected;
    QGraphicsPathItem::paint(painter, &unselected, widget);
}

QVariant GraphicsVoiceGroupItem::itemChange(GraphicsItemChange change, const QVariant& value)
{
    const QVariant result = GraphicsElementItem::itemChange(change, value);
    if (change == ItemSelectedChange) {
        QPen outline = pen();
        outline.setWidthF(QmdKelvo::dpiScaleX * (value.toBool() ? 3.0 : 1.0));
        setPen(outline);
        updatePen();
    }
    return result;
}

// ---- Look -----------------------------------------------------------------------------------

void GraphicsVoiceGroupItem::updatePen()
{
    QPen outline = pen();
    QColor color = m_instrumentColor;
    color.setAlphaF(1.0);
    outline.setColor(color);
    if (m_dontPlayNote) {
        // Dashes and gaps of 4 units at any width.
        const double width = outline.widthF();
        outline.setDashPattern({4.0 / width, 4.0 / width});
    } else {
        outline.setStyle(Qt::SolidLine);
    }
    setPen(outline);
}

void GraphicsVoiceGroupItem::updateBrush()
{
    QColor color = m_instrumentColor;
    color.setAlphaF(float(color.alphaF() * m_pulseValue
                          * (m_activeVoiceCount != 0 ? PlayingOpacity : IdleOpacity)));
    setBrush(QBrush(color, m_dontPlayNote ? Qt::FDiagPattern : Qt::SolidPattern));
}

void GraphicsVoiceGroupItem::setPlaying(int activeVoices)
{
    m_activeVoiceCount = activeVoices;
    updateBrush();
    update();
}

void GraphicsVoiceGroupItem::setAlertLabelVisible(bool visible)
{
    m_alertLabel->setVisible(visible);
}

bool GraphicsVoiceGroupItem::isAlertLabelVisible() const
{
    return m_alertLabel->isVisibleTo(this);
}

void GraphicsVoiceGroupItem::setPulseValue(double value)
{
    m_pulseValue = value;
    updateBrush();
    update();
}

void GraphicsVoiceGroupItem::setDontPlayNote(bool dontPlayNote)
{
    m_dontPlayNote = dontPlayNote;
    updatePen();
    updateBrush();
    update();
}

void GraphicsVoiceGroupItem::setLabelColor(const QColor& color)
{
    m_alertLabel->setBrush(Qt::white);
    m_triggerLabel->setBrush(color);
    m_alertLabel->update();
    m_triggerLabel->update();
}

void GraphicsVoiceGroupItem::setTriggerPitches(const QString& text)
{
    m_triggerLabel->setVisible(!text.isEmpty());
    m_triggerLabel->setText(text);
    // Centred over the triangle, its bottom above the triangle's top.
    const double sx = QmdKelvo::dpiScaleX;
    const double sy = QmdKelvo::dpiScaleY;
    const double width = m_triggerLabel->boundingRect().width();
    const double height = QFontMetricsF(m_triggerLabel->font()).height();
    m_triggerLabel->setPos(-NodeRadius * sx - MarkerLength / 2 * sx - width / 2,
                           -2 * MarkerHalfHeight * sy * 0.7 - height);
}

// ---- Following the document -----------------------------------------------------------------

QmdItemIdList GraphicsVoiceGroupItem::followedNodeIds() const
{
    return m_toNode != 0 ? QmdItemIdList {m_toNode} : QmdItemIdList();
}

void GraphicsVoiceGroupItem::updateInstrument(QmdItemId instrumentId)
{
    if (!controller)
        return;
    QVariant color;
    QVariant label;
    controller->lockedRead([&] {
        const QmdIndex instrument = controller->instrumentIndex(instrumentId);
        color = controller->directData(K::Color, instrument);
        label = controller->directData(K::Label, instrument);
    });
    // A colour read from a file is its name ("#e0402b"); anything else that names no colour
    // gives none.
    m_instrumentColor = color.value<QColor>();
    updatePen();
    updateBrush();
    update();
    setToolTip(label.toString());
}

void GraphicsVoiceGroupItem::elementDataEffected(uint id, const QStringList& keys, uint requestId)
{
    const bool own = id == m_elementId;
    // The position comes from the start node, never from a "TickPos" of the group itself.
    if (own && keys.contains(K::IsHidden))
        GraphicsElementItem::elementDataEffected(id, {K::IsHidden}, requestId);
    if (!controller)
        return;

    const bool toNodeListed = own && keys.contains(K::ToNode);
    const bool instrumentListed = own && keys.contains(K::InitialInstrument);
    const bool dontPlayNoteListed = own && keys.contains(K::DontPlayNote);
    const bool pitchesListed = own && keys.contains(K::TriggeringMidiPitchList);
    const bool nodeMoved = !own && id == m_toNode && keys.contains(K::TickPos);
    if (!toNodeListed && !instrumentListed && !dontPlayNoteListed && !pitchesListed && !nodeMoved)
        return;

    uint toNode = m_toNode;
    QVariant pos;
    QmdItemId instrument = 0;
    QVariant dontPlayNote;
    QVariant pitches;
    controller->lockedRead([&] {
        if (toNodeListed)
            toNode = controller->directElementData(id, K::ToNode).toUInt();
        if (toNodeListed || nodeMoved)
            pos = controller->directElementData(toNode, K::TickPos);
        if (instrumentListed)
            instrument = controller->directElementData(id, K::InitialInstrument).toUInt();
        if (dontPlayNoteListed)
            dontPlayNote = controller->directElementData(id, K::DontPlayNote);
        if (pitchesListed)
            pitches = controller->directElementData(id, K::TriggeringMidiPitchList);
    });

    selectionRepaintEnabled = false;
    m_toNode = toNode;
    if (toNodeListed || nodeMoved) {
        const QmdKelvo::TickPoint point
            = pos.metaType() == QMetaType::fromType<QmdKelvo::TickPoint>()
            ? pos.value<QmdKelvo::TickPoint>()
            : QmdKelvo::TickPoint();
        setPos(double(point.x) * QmdKelvo::pixelsPerTickX,
               double(point.y) * QmdKelvo::pixelsPerTickY);
    }
    if (instrumentListed)
        updateInstrument(instrument);
    if (dontPlayNoteListed)
        setDontPlayNote(dontPlayNote.toBool());
    if (pitchesListed)
        setTriggerPitches(pitches.toString());
    selectionRepaintEnabled = true;
}

void GraphicsVoiceGroupItem::instrumentDataEffected(uint id, const QStringList& keys, uint)
{
    if (!controller || !(keys.contains(K::Color) || keys.contains(K::Label)))
        return;
    const uint instrument
        = controller->data(K::InitialInstrument, controller->elementIndex(m_elementId)).toUInt();
    if (instrument != id)
        return;
    selectionRepaintEnabled = false;
    updateInstrument(instrument);
    selectionRepaintEnabled = true;
}
