#include "GraphicsNodeItem.h"

#include "NetworkScene.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdKelvoUnits.h"

#include <QFontMetricsF>
#include <QGraphicsSimpleTextItem>
#include <QPainter>

#include <cmath>

namespace K = QmdKelvoKeys;

namespace {

// The full circle in the sixteenths of a degree of QPainter::drawPie.
const int FullCircle = 5760;
const double Radius = 10.0;

} // namespace

GraphicsNodeItem::GraphicsNodeItem(QGraphicsScene* scene, QGraphicsItem* parent)
    : GraphicsElementItem(scene, parent)
{
    init();
}

GraphicsNodeItem::GraphicsNodeItem(QmdItemId id, QmdKelvoController* controller,
                                   QGraphicsScene* scene, QGraphicsItem* parent)
    : GraphicsElementItem(id, controller, scene, parent)
{
    init();
}

GraphicsNodeItem::~GraphicsNodeItem() = default;

void GraphicsNodeItem::init()
{
    const double s = QmdKelvo::dpiScaleX;
    const double t = QmdKelvo::dpiScaleY;
    setRect(-Radius * s, -Radius * t, 2 * Radius * s, 2 * Radius * t);

    m_label = new QGraphicsSimpleTextItem(this);
    QFont font;
    font.setPointSize(10);
    m_label->setFont(font);
    m_label->setCacheMode(QGraphicsItem::DeviceCoordinateCache);
    m_label->setVisible(false);
    positionLabel();
    // A click on the label selects the node.
    setHandlesChildEvents(true);

    const auto* networkScene = qobject_cast<const NetworkScene*>(m_scene.data());
    setNodeColor(networkScene ? networkScene->nodesColor() : QColor());
    setLabelColor(networkScene ? networkScene->annotationColor() : QColor());
}

QRectF GraphicsNodeItem::boundingRect() const
{
    // Room for the wide selected ring and for the signalling mark towards the lower right.
    const QRectF r = QGraphicsEllipseItem::boundingRect();
    const double margin = 1.5 * QmdKelvo::dpiScaleX;
    return QRectF(r.x() - margin, r.y() - margin, 1.25 * r.width() + margin,
                  1.25 * r.height() + margin);
}

void GraphicsNodeItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    const double s = QmdKelvo::dpiScaleX;
    QPen ring = pen();
    ring.setCapStyle(Qt::RoundCap);
    const double width = (isSelected() ? 3.0 : 1.0) * s;
    ring.setWidthF(width);
    if (m_dontPlayNote)
        ring.setDashPattern({4.0 / width, 4.0 / width});
    painter->setPen(ring);

    const QRectF circle = rect();
    if (m_segmentCount == 0) {
        painter->setBrush(brush());
        painter->drawEllipse(circle);
    } else {
        const int span = FullCircle / m_segmentCount;
        int start = (m_segmentCount == 2 || m_segmentCount == 4) ? FullCircle / 8 : 0;
        const auto* networkScene = qobject_cast<const NetworkScene*>(m_scene.data());
        for (auto group = m_voiceGroupColors.cbegin(); group != m_voiceGroupColors.cend();
             ++group) {
            // The voice group's own item knows whether it plays notes; no model read here,
            // where voice-group threads may hold the document's lock.
            const ElementItem* groupItem
                = networkScene ? networkScene->elementItem(group.key()) : nullptr;
            const Qt::BrushStyle style
                = groupItem && groupItem->dontPlayNote() ? Qt::FDiagPattern : Qt::SolidPattern;
            for (const QColor& color : group.value()) {
                painter->setBrush(QBrush(color, style));
                if (m_segmentCount == 1) {
                    painter->drawEllipse(circle);
                } else {
                    painter->drawPie(circle, start, span);
                    start += span;
                }
            }
        }
    }

    const double d = circle.width() / 4.0;
    switch (m_signallingMethod) {
    case QmdKelvo::Parallel:
        painter->save();
        painter->rotate(45.0);
        painter->drawLine(QPointF(d, -d / 3.0), QPointF(3.0 * d, -d / 3.0));
        painter->drawLine(QPointF(d, d / 3.0), QPointF(3.0 * d, d / 3.0));
        painter->restore();
        break;
    case QmdKelvo::Random:
        painter->save();
        painter->rotate(45.0);
        painter->translate(2.0 * d, 0.0);
        painter->rotate(30.0);
        painter->drawLine(QPointF(-d, 0.0), QPointF(d, 0.0));
        painter->rotate(115.0);
        painter->drawLine(QPointF(-d, 0.0), QPointF(d, 0.0));
        painter->restore();
        break;
    default:
        break;
    }
}

void GraphicsNodeItem::elementDataEffected(uint id, const QStringList& keys, uint requestId)
{
    GraphicsElementItem::elementDataEffected(id, keys, requestId);
    if (!controller || id != m_elementId)
        return;

    const bool dontPlayNoteListed = keys.contains(K::DontPlayNote);
    const bool notesListed = keys.contains(K::Notes);
    QVariant dontPlayNote;
    QVariant notes;
    QVariant method;
    controller->lockedRead([&] {
        if (dontPlayNoteListed)
            dontPlayNote = controller->directElementData(id, K::DontPlayNote);
        if (notesListed)
            notes = controller->directElementData(id, K::Notes);
        method = controller->directElementData(id, K::SignallingMethod);
    });

    selectionRepaintEnabled = false;
    if (dontPlayNoteListed)
        setDontPlayNote(dontPlayNote.toBool());
    if (notesListed)
        setToolTip(wrappedNotes(notes.toString()));
    setSignallingMethod(method.toInt());
    selectionRepaintEnabled = true;
}

QString GraphicsNodeItem::wrappedNotes(QString notes)
{
    const int width = 30;
    QString wrapped;
    while (notes.size() > width) {
        const qsizetype comma = notes.indexOf(QLatin1Char(','), width);
        if (comma < 0)
            break;
        wrapped += notes.left(comma + 1) + QLatin1Char('\n');
        notes.remove(0, comma + 1);
    }
    return wrapped + notes;
}

void GraphicsNodeItem::setNodeColor(const QColor& color)
{
    setPen(QPen(color));
    QColor fill(color);
    fill.setAlpha(40);
    setBrush(fill);
    update();
}

void GraphicsNodeItem::setLabelColor(const QColor& color)
{
    m_label->setBrush(color);
    m_label->update();
}

void GraphicsNodeItem::setSignallingMethod(int method)
{
    // Every change of the node's data sets it: an unchanged mark keeps the cached drawing.
    if (method == m_signallingMethod)
        return;
    m_signallingMethod = method;
    update();
}

void GraphicsNodeItem::setDontPlayNote(bool dontPlayNote)
{
    m_dontPlayNote = dontPlayNote;
    update();
}

void GraphicsNodeItem::setHitCount(uint count)
{
    m_hitCount = count;
    if (m_showHitCount)
        updateLabel();
}

void GraphicsNodeItem::setShowHitCount(bool show)
{
    if (show == m_showHitCount)
        return;
    m_showHitCount = show;
    updateLabel();
    m_label->setVisible(m_showHitCount || m_showLastNotesSent);
}

void GraphicsNodeItem::setLastNotesSent(const QString& notes)
{
    m_lastNotesSent = notes;
    if (m_showLastNotesSent)
        updateLabel();
}

void GraphicsNodeItem::setShowLastNotesSent(bool show)
{
    if (show == m_showLastNotesSent)
        return;
    m_showLastNotesSent = show;
    updateLabel();
    m_label->setVisible(m_showHitCount || m_showLastNotesSent);
}

void GraphicsNodeItem::updateLabel()
{
    QString text;
    if (m_showHitCount)
        text = QString::number(m_hitCount);
    if (m_showLastNotesSent && !m_lastNotesSent.isEmpty()) {
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += m_lastNotesSent;
    }
    m_label->setText(text);
    positionLabel();
}

QRectF GraphicsNodeItem::labelRect() const
{
    if (!m_label->isVisible() || m_label->text().isEmpty())
        return QRectF();
    return m_label->mapRectToParent(m_label->boundingRect());
}

void GraphicsNodeItem::positionLabel()
{
    // The label's last line ends on the circle at 45 degrees up and to the right; further
    // lines grow upwards.
    const QFontMetricsF metrics(m_label->font());
    const double lines = double(m_label->text().count(QLatin1Char('\n')));
    const double diagonal = std::sqrt(0.5);
    m_label->setPos(Radius * QmdKelvo::dpiScaleX * diagonal,
                    -Radius * QmdKelvo::dpiScaleY * diagonal - metrics.height()
                        - lines * metrics.lineSpacing());
}

void GraphicsNodeItem::setVoiceGroupColor(uint voiceGroupId, uint voiceId, const QColor& color,
                                          bool noUpdate)
{
    m_voiceGroupColors[voiceGroupId][voiceId] = color;
    countVoiceGroupColors();
    if (!noUpdate)
        update();
}

void GraphicsNodeItem::removeVoiceGroupColor(uint voiceGroupId, uint voiceId, bool noUpdate)
{
    auto group = m_voiceGroupColors.find(voiceGroupId);
    if (group != m_voiceGroupColors.end()) {
        group->remove(voiceId);
        if (group->isEmpty())
            m_voiceGroupColors.erase(group);
    }
    countVoiceGroupColors();
    if (!noUpdate)
        update();
}

void GraphicsNodeItem::removeVoiceGroupColors(uint voiceGroupId, bool noUpdate)
{
    m_voiceGroupColors.remove(voiceGroupId);
    countVoiceGroupColors();
    if (!noUpdate)
        update();
}

void GraphicsNodeItem::clearVoiceGroupColors(bool noUpdate)
{
    m_voiceGroupColors.clear();
    countVoiceGroupColors();
    if (!noUpdate)
        update();
}

void GraphicsNodeItem::countVoiceGroupColors()
{
    m_segmentCount = 0;
    for (const auto& colors : std::as_const(m_voiceGroupColors))
        m_segmentCount += int(colors.size());
}
