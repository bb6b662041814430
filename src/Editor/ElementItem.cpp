#include "ElementItem.h"

#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdKelvoUnits.h"

#include <QGraphicsScene>

namespace K = QmdKelvoKeys;

ElementItem::ElementItem(QmdItemId id, QmdKelvoController* controller, QGraphicsScene* scene)
    : m_elementId(id)
    , m_scene(scene)
{
    setController(controller);
}

ElementItem::~ElementItem() = default;

void ElementItem::elementDataEffected(uint, const QStringList&, uint) { }

void ElementItem::instrumentDataEffected(uint, const QStringList&, uint) { }

void ElementItem::elementSelectionChanged() { }

template<class T>
GraphicsElementItem<T>::GraphicsElementItem(QGraphicsScene* scene, QGraphicsItem* parent)
    : GraphicsElementItem(0, nullptr, scene, parent)
{ }

template<class T>
GraphicsElementItem<T>::GraphicsElementItem(QmdItemId id, QmdKelvoController* controller,
                                            QGraphicsScene* scene, QGraphicsItem* parent)
    : T(parent)
    , ElementItem(id, controller, scene)
{
    // A child of an item in the scene is there already.
    if (scene && T::scene() != scene)
        scene->addItem(this);
    T::setCacheMode(QGraphicsItem::DeviceCoordinateCache);
    T::setFlag(QGraphicsItem::ItemIsSelectable);
}

template<class T>
void GraphicsElementItem<T>::elementDataEffected(uint id, const QStringList& keys, uint)
{
    if (!controller || id != m_elementId)
        return;
    const bool hiddenListed = keys.contains(K::IsHidden);
    const bool posListed = keys.contains(K::TickPos);
    if (!hiddenListed && !posListed)
        return;

    QVariant hidden;
    QVariant pos;
    controller->lockedRead([&] {
        if (hiddenListed)
            hidden = controller->directElementData(id, K::IsHidden);
        if (posListed)
            pos = controller->directElementData(id, K::TickPos);
    });

    selectionRepaintEnabled = false;
    if (hiddenListed)
        T::setVisible(!hidden.toBool());
    if (posListed) {
        const QmdKelvo::TickPoint point
            = pos.metaType() == QMetaType::fromType<QmdKelvo::TickPoint>()
            ? pos.value<QmdKelvo::TickPoint>()
            : QmdKelvo::TickPoint();
        T::setPos(double(point.x) * QmdKelvo::pixelsPerTickX,
                  double(point.y) * QmdKelvo::pixelsPerTickY);
    }
    selectionRepaintEnabled = true;
}

template<class T>
QVariant GraphicsElementItem<T>::itemChange(QGraphicsItem::GraphicsItemChange change,
                                            const QVariant& value)
{
    if (change == QGraphicsItem::ItemSelectedChange && selectionRepaintEnabled)
        T::update();
    return T::itemChange(change, value);
}

template class GraphicsElementItem<QGraphicsEllipseItem>;
template class GraphicsElementItem<QGraphicsPathItem>;
template class GraphicsElementItem<QGraphicsTextItem>;
