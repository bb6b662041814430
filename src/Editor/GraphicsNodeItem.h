#ifndef GRAPHICSNODEITEM_H
#define GRAPHICSNODEITEM_H

#include "ElementItem.h"

#include <QColor>
#include <QGraphicsEllipseItem>
#include <QHash>

class QGraphicsSimpleTextItem;

// One node of the network: a small circle in the style's node colour with a thicker ring when
// selected, a dashed ring when the node plays no notes, a mark for its signalling method (two
// parallel strokes for parallel, two crossing strokes for random) and a label up and to the
// right with the hit counter and the last notes sent, each when the document shows it. While
// voices sound at the node, the circle is divided into one pie segment per voice in the colour
// of its instrument; segments of voice groups that play no notes are hatched. The tool tip is
// the node's notes text.
class GraphicsNodeItem : public GraphicsElementItem<QGraphicsEllipseItem>
{
public:
    explicit GraphicsNodeItem(QGraphicsScene* scene, QGraphicsItem* parent = nullptr);
    GraphicsNodeItem(QmdItemId id, QmdKelvoController* controller, QGraphicsScene* scene,
                     QGraphicsItem* parent = nullptr);
    ~GraphicsNodeItem() override;

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option,
               QWidget* widget = nullptr) override;
    int type() const override { return NodeItemType; }
    void elementDataEffected(uint id, const QStringList& keys, uint requestId) override;
    bool dontPlayNote() const override { return m_dontPlayNote; }

    void setNodeColor(const QColor& color);
    void setLabelColor(const QColor& color);
    void setSignallingMethod(int method);
    int signallingMethod() const { return m_signallingMethod; }
    void setDontPlayNote(bool dontPlayNote);

    void setHitCount(uint count);
    void setShowHitCount(bool show);
    bool showHitCount() const { return m_showHitCount; }
    void setLastNotesSent(const QString& notes);
    void setShowLastNotesSent(bool show);
    bool showLastNotesSent() const { return m_showLastNotesSent; }
    QGraphicsSimpleTextItem* label() const { return m_label; }
    // The label's rectangle in the node's coordinates; null while the label does not show.
    QRectF labelRect() const;

    // The colours of the voices sounding at the node, by voice group and voice: one pie
    // segment each. With noUpdate the node is not repainted (the caller repaints once for many
    // changes).
    void setVoiceGroupColor(uint voiceGroupId, uint voiceId, const QColor& color, bool noUpdate);
    void removeVoiceGroupColor(uint voiceGroupId, uint voiceId, bool noUpdate);
    void removeVoiceGroupColors(uint voiceGroupId, bool noUpdate);
    void clearVoiceGroupColors(bool noUpdate);
    int segmentCount() const { return m_segmentCount; }
    // The colour of one voice; invalid when the voice shows none here.
    QColor voiceGroupColor(uint voiceGroupId, uint voiceId) const
    {
        return m_voiceGroupColors.value(voiceGroupId).value(voiceId);
    }

    // The notes text as the tool tip shows it: broken after the first comma at or beyond
    // position 30 of what remains, while more than 30 characters remain.
    static QString wrappedNotes(QString notes);

private:
    void init();
    void updateLabel();
    void positionLabel();
    void countVoiceGroupColors();

    QGraphicsSimpleTextItem* m_label = nullptr;
    int m_signallingMethod = 0;
    bool m_dontPlayNote = false;
    bool m_showHitCount = false;
    bool m_showLastNotesSent = false;
    uint m_hitCount = 0;
    QString m_lastNotesSent;
    QHash<uint, QHash<uint, QColor>> m_voiceGroupColors;
    int m_segmentCount = 0;
};

#endif // GRAPHICSNODEITEM_H
