#ifndef GRAPHICSVOICEGROUPITEM_H
#define GRAPHICSVOICEGROUPITEM_H

#include "ElementItem.h"

#include <QColor>
#include <QCoreApplication>
#include <QGraphicsPathItem>

class QGraphicsSimpleTextItem;

// One voice group of the network: a small triangle on its start node (its "ToNode") that
// points at the node's circle from the left, in the colour of the group's initial instrument.
// The fill grows stronger while the group has voices on the network and follows the scene's
// pulse; a group that plays no notes ("DontPlayNote") is hatched with a dashed outline. A bold
// "!" above the triangle's middle shows for a while after a group pulse, and a label above the
// triangle shows the group's MIDI trigger pitches. The tool tip is the instrument's label.
class GraphicsVoiceGroupItem : public GraphicsElementItem<QGraphicsPathItem>
{
    Q_DECLARE_TR_FUNCTIONS(GraphicsVoiceGroupItem)

public:
    explicit GraphicsVoiceGroupItem(QGraphicsScene* scene, QGraphicsItem* parent = nullptr);
    GraphicsVoiceGroupItem(QmdItemId id, QmdKelvoController* controller, QGraphicsScene* scene,
                           QGraphicsItem* parent = nullptr);
    ~GraphicsVoiceGroupItem() override;

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option,
               QWidget* widget = nullptr) override;
    int type() const override { return VoiceGroupItemType; }
    void elementDataEffected(uint id, const QStringList& keys, uint requestId) override;
    void instrumentDataEffected(uint id, const QStringList& keys, uint requestId) override;
    bool dontPlayNote() const override { return m_dontPlayNote; }
    QmdItemIdList followedNodeIds() const override;

    // The number of the group's voices on the network; more than 0 strengthens the fill.
    void setPlaying(int activeVoices);
    int activeVoiceCount() const { return m_activeVoiceCount; }
    void setAlertLabelVisible(bool visible);
    bool isAlertLabelVisible() const;
    // The factor of the fill's opacity, set by the scene's pulse animation.
    void setPulseValue(double value);
    double pulseValue() const { return m_pulseValue; }
    void setDontPlayNote(bool dontPlayNote);
    // The trigger label's colour; the "!" is always white.
    void setLabelColor(const QColor& color);
    // The start node, as last read from the element's "ToNode".
    uint toNode() const { return m_toNode; }
    // Takes colour and label of an instrument.
    void updateInstrument(QmdItemId instrumentId);
    // The "Color" of the group's initial instrument; invalid while there is none.
    QColor instrumentColor() const { return m_instrumentColor; }

    QGraphicsSimpleTextItem* alertLabel() const { return m_alertLabel; }
    QGraphicsSimpleTextItem* triggerLabel() const { return m_triggerLabel; }

protected:
    QVariant itemChange(GraphicsItemChange change, const QVariant& value) override;

private:
    void init();
    void updatePen();
    void updateBrush();
    void setTriggerPitches(const QString& text);

    QGraphicsSimpleTextItem* m_alertLabel = nullptr;
    QGraphicsSimpleTextItem* m_triggerLabel = nullptr;
    double m_pulseValue = 1.0;
    int m_activeVoiceCount = 0;
    QColor m_instrumentColor;
    bool m_dontPlayNote = false;
    uint m_toNode = 0;
};

#endif // GRAPHICSVOICEGROUPITEM_H
