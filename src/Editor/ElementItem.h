#ifndef ELEMENTITEM_H
#define ELEMENTITEM_H

#include "QmdGlobal.h"
#include "QmdObserver.h"

#include <QGraphicsItem>
#include <QPointer>
#include <QStringList>

class QGraphicsScene;
class QmdKelvoController;

// The values that type() of the element items returns. The scene, the view and the inspector
// tell items apart by them. Voice group and text box are numbered the other way round than in
// the document's element types.
enum ElementItemType {
    EdgeItemType = QGraphicsItem::UserType + 1,
    NodeItemType = QGraphicsItem::UserType + 2,
    VoiceGroupItemType = QGraphicsItem::UserType + 3,
    TextBoxItemType = QGraphicsItem::UserType + 4,
};

// What every item that shows an element of a document has in common: the element's id and the
// controller it belongs to. A preview item, which the view draws while the user places a new
// element, has the id 0 and no controller and ignores every notification.
//
// An item connects to no signal of the controller: the scene forwards the notifications, and
// each item decides by the id whether one concerns it.
class ElementItem : public QmdObserver<QmdKelvoController>
{
public:
    ElementItem(QmdItemId id, QmdKelvoController* controller, QGraphicsScene* scene);
    ~ElementItem() override;

    // The item as a graphics item.
    virtual QGraphicsItem* graphicsItem() = 0;
    // The listed keys of element `id` were set or removed.
    virtual void elementDataEffected(uint id, const QStringList& keys, uint requestId);
    // The listed keys of instrument `id` were set or removed.
    virtual void instrumentDataEffected(uint id, const QStringList& keys, uint requestId);
    // The scene's selection changed.
    virtual void elementSelectionChanged();
    // Whether the element plays no notes (its "DontPlayNote"); false for elements that play.
    virtual bool dontPlayNote() const { return false; }
    // The nodes whose data the item follows besides its own element's (an edge's ends, a voice
    // group's start node), as the item last read them.
    virtual QmdItemIdList followedNodeIds() const { return {}; }

    QmdItemId elementId() const { return m_elementId; }
    QmdKelvoController* elementController() const { return controller; }

protected:
    QmdItemId m_elementId;
    QPointer<QGraphicsScene> m_scene;
    // Cleared while the item applies element data, so that selection changes made meanwhile
    // repaint nothing.
    bool selectionRepaintEnabled = true;
};

// An element item on a Qt graphics item class T (QGraphicsPathItem, QGraphicsEllipseItem or
// QGraphicsTextItem). It adds itself to the scene, is selectable, is drawn through a
// device-coordinate cache, and follows the two keys that every element has: "IsHidden" and
// "TickPos".
template<class T>
class GraphicsElementItem : public T, public ElementItem
{
public:
    // An unbound preview item.
    explicit GraphicsElementItem(QGraphicsScene* scene, QGraphicsItem* parent = nullptr);
    // The item of element `id` of a document.
    GraphicsElementItem(QmdItemId id, QmdKelvoController* controller, QGraphicsScene* scene,
                        QGraphicsItem* parent = nullptr);

    QGraphicsItem* graphicsItem() override { return this; }
    void elementDataEffected(uint id, const QStringList& keys, uint requestId) override;

protected:
    QVariant itemChange(QGraphicsItem::GraphicsItemChange change, const QVariant& value) override;
};

extern template class GraphicsElementItem<QGraphicsEllipseItem>;
extern template class GraphicsElementItem<QGraphicsPathItem>;
extern template class GraphicsElementItem<QGraphicsTextItem>;

#endif // ELEMENTITEM_H
