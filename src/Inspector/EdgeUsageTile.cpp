#include "EdgeUsageTile.h"

#include "EdgeUsageListEditor.h"
#include "MarkerPixmap.h"
#include "QmdKelvoUnits.h"

#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionGraphicsItem>
#include <QTimeLine>

#include <cmath>

EdgeUsageTile::EdgeUsageTile(EdgeUsageListEditor* editor, QmdItemId edgeId, int marker, int width,
                             int height)
    : m_editor(editor)
    , m_edgeId(edgeId)
    , m_marker(marker)
    , m_timeLine(new QTimeLine(300, this))
{
    setFlags(ItemIsMovable | ItemIsSelectable | ItemIsFocusable | ItemSendsGeometryChanges);
    setShapeMode(BoundingRectShape);
    setAcceptHoverEvents(true);
    setPixmap(Kelvo::markerPixmap(QmdKelvo::paletteColor(marker), width, height));
    setToolTip(QmdKelvo::paletteColorName(marker));

    m_timeLine->setUpdateInterval(10);
    connect(m_timeLine, &QTimeLine::frameChanged, this, &EdgeUsageTile::onTimeLineFrameChanged);
    connect(m_timeLine, &QTimeLine::finished, this, &EdgeUsageTile::onTimeLineFinished);
    editor->scene()->addItem(this);
}

EdgeUsageTile::~EdgeUsageTile() = default;

void EdgeUsageTile::setCount(int count)
{
    m_count = count;
    update();
}

QString EdgeUsageTile::countText() const
{
    return m_count == 0 ? QString(QChar(0x221E)) : QString::number(m_count);
}

int EdgeUsageTile::index() const
{
    return m_editor ? int(m_editor->tiles().indexOf(const_cast<EdgeUsageTile*>(this))) : -1;
}

void EdgeUsageTile::moveToSlot(bool slide)
{
    const qreal x = slotX(qMax(index(), 0));
    if (slide) {
        slideTo(x);
        return;
    }
    m_timeLine->stop();
    m_atRest = false;
    setPos(x, 0);
    m_atRest = true;
}

void EdgeUsageTile::slideTo(qreal x)
{
    m_timeLine->stop();
    m_timeLine->setFrameRange(int(pos().x()), int(x));
    m_atRest = false;
    m_timeLine->start();
}

bool EdgeUsageTile::isSliding() const
{
    return m_timeLine->state() == QTimeLine::Running;
}

void EdgeUsageTile::onTimeLineFrameChanged(int frame)
{
    setPos(frame, 0);
}

void EdgeUsageTile::onTimeLineFinished()
{
    setPos(m_timeLine->endFrame(), 0);
    m_atRest = true;
}

void EdgeUsageTile::paint(QPainter* painter, const QStyleOptionGraphicsItem* option,
                          QWidget* widget)
{
    // The selection is drawn below, not as the standard outline.
    QStyleOptionGraphicsItem plain(*option);
    plain.state &= ~QStyle::State_Selected;
    QGraphicsPixmapItem::paint(painter, &plain, widget);

    const QRectF bounds = boundingRect();
    if (option->state & QStyle::State_MouseOver) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(255, 255, 255, 95));
        painter->drawRect(bounds);
    }
    if (option->state & QStyle::State_Selected) {
        painter->setPen(
            QPen(QColor(255, 255, 255, 127), 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(bounds.adjusted(3, 3, -3, -3));
    }
    // A faint shadow keeps the white count readable on the light marker colours.
    QFont font = painter->font();
    font.setBold(true);
    painter->setFont(font);
    painter->setPen(QColor(0, 0, 0, 110));
    painter->drawText(bounds.translated(0, 1), Qt::AlignCenter, countText());
    painter->setPen(Qt::white);
    painter->drawText(bounds, Qt::AlignCenter, countText());
}

QVariant EdgeUsageTile::itemChange(GraphicsItemChange change, const QVariant& value)
{
    if (!m_atRest || !scene())
        return QGraphicsPixmapItem::itemChange(change, value);
    if (change == ItemPositionChange) {
        // Dragged sideways only, never left of the first slot.
        const QPointF proposed(qMax(value.toPointF().x(), 0.0), 0);
        const int last = m_editor ? int(m_editor->tiles().size()) - 1 : 0;
        const int slot
            = qBound(0, int(std::floor(proposed.x() / (Width + Gap) + 0.5)), qMax(last, 0));
        if (slot != index())
            emit visualizeMove(this, slot);
        return proposed;
    }
    if (change == ItemSelectedHasChanged)
        setZValue(value.toBool() ? 1.0 : 0.0);
    return QGraphicsPixmapItem::itemChange(change, value);
}

void EdgeUsageTile::keyPressEvent(QKeyEvent* event)
{
    QGraphicsPixmapItem::keyPressEvent(event);
    if (event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) {
        event->accept();
        emit removeTriggered(this);
    }
}

void EdgeUsageTile::mouseDoubleClickEvent(QGraphicsSceneMouseEvent* event)
{
    QGraphicsPixmapItem::mouseDoubleClickEvent(event);
    emit editTriggered(this);
}

void EdgeUsageTile::mouseReleaseEvent(QGraphicsSceneMouseEvent* event)
{
    QGraphicsPixmapItem::mouseReleaseEvent(event);
    emit moveFinished(this);
}
