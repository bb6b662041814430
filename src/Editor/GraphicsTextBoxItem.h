#ifndef GRAPHICSTEXTBOXITEM_H
#define GRAPHICSTEXTBOXITEM_H

#include "ElementItem.h"
#include "GraphicsTextBoxEdit.h"
#include "QmdKelvoController.h"

#include <QGraphicsTextItem>
#include <QPointer>

// One text box of the network: its rich text ("Text", HTML) on the grid, white unless the text
// says otherwise. It is edited in place: a click on the text box when it is already selected
// opens a GraphicsTextBoxEdit over it, at the clicked character, which works on the item's own
// document. When editing ends (the editor lost the focus, or the window is about to save),
// the item writes the HTML back in one request, "Text", if it changed.
//
// Qt writes HTML differently from the HTML that files hold, so "changed" is measured against
// what the item made of the last "Text" it applied: opening and closing a text box without
// typing writes nothing.
class GraphicsTextBoxItem : public GraphicsElementItem<QGraphicsTextItem>
{
    Q_OBJECT

public:
    explicit GraphicsTextBoxItem(QGraphicsScene* scene, QGraphicsItem* parent = nullptr);
    GraphicsTextBoxItem(QmdItemId id, QmdKelvoController* controller, QGraphicsScene* scene,
                        QGraphicsItem* parent = nullptr);
    ~GraphicsTextBoxItem() override;

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option,
               QWidget* widget = nullptr) override;
    int type() const override { return TextBoxItemType; }
    void elementDataEffected(uint id, const QStringList& keys, uint requestId) override;

    // Text without a colour of its own is drawn in a colour readable on the style whose
    // annotation colour this is.
    void setAnnotationColor(const QColor& color);

    // The open editor; null when none is open.
    GraphicsTextBoxEdit* editor() const { return m_editor; }

public slots:
    // Opens the editor with the text cursor at the character nearest to `cursorPos` (item
    // coordinates), unless one is open.
    void openEditor(QPointF cursorPos);
    // Ends editing: writes "Text" when the text changed, and deletes the editor.
    void closeEditor();
    // Selects all text of the open editor; nothing without one.
    void selectAll();

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;

private:
    void init();
    // Shows `text` unless it is what the item shows already.
    void applyText(const QString& text);

    QPointer<GraphicsTextBoxEdit> m_editor;
    // The connection through which the window's saves end the open edit.
    QMetaObject::Connection saveConnection;
    bool wasSelectedAtPress = false;
    // The "Text" last applied, and the HTML the document gave for it right after.
    QString appliedText;
    QString appliedHtml;
};

#endif // GRAPHICSTEXTBOXITEM_H
