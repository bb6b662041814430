#ifndef GRAPHICSTEXTBOXEDIT_H
#define GRAPHICSTEXTBOXEDIT_H

#include <QColor>
#include <QFont>
#include <QGraphicsProxyWidget>
#include <QPointer>
#include <QTextOption>

class GraphicsTextBoxItem;
class QMenu;
class QTextCharFormat;
class QTextEdit;

// The in-place editor of a text box: a QTextEdit on the text box item's own document, embedded
// in the scene as a child of the item and drawn by this proxy (the document with its caret and
// selection, no frame or background). Every keystroke changes the item's document; the item
// writes the HTML to the document's model when editing ends.
//
// Control+B, +I and +U toggle bold, italic and underline; the context menu holds the edit
// commands and a font menu. After a click in it, the editor is the target of the
// application's shared font and colour dialogs. It ends editing (editingFinished()) when it
// loses the focus, except to its own context menu or to a shared dialog working for it.
class GraphicsTextBoxEdit : public QGraphicsProxyWidget
{
    Q_OBJECT

public:
    // Opens over `item`, with the text cursor at `cursorPosition`, and takes the focus.
    GraphicsTextBoxEdit(GraphicsTextBoxItem* item, int cursorPosition);
    ~GraphicsTextBoxEdit() override;

    QTextEdit* textEdit() const { return m_textEdit; }
    // The colour of text that sets none, and of the caret.
    void setTextColor(const QColor& color);

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option,
               QWidget* widget = nullptr) override;

public slots:
    void removeSelectedText();
    // Bold or normal weight for the selection or the text typed next.
    void setFontBold(bool bold);
    // One point larger or smaller.
    void setFontBigger();
    void setFontSmaller();

signals:
    void editingFinished();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void contextMenuEvent(QGraphicsSceneContextMenuEvent* event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void onCurrentCharFormatChanged(const QTextCharFormat& format);
    void onFontFamilyActionTriggered(QAction* action);
    void onFontSizeActionTriggered(QAction* action);
    void onTextChanged();
    // Makes the shared font and colour dialogs work on this editor.
    void connectSharedDialogs();
    void showColorDialog();

private:
    // Whether editing goes on without the focus: while the context menu is open, or while a
    // shared dialog that works for this editor is shown.
    bool editsWithoutFocus() const;
    // Gives the focus back to the text after the context menu.
    void takeFocusBack();
    // The character format keys that the editor takes itself.
    static bool isFormatKey(const QKeyEvent* event);

    QTextEdit* m_textEdit;
    QPointer<QMenu> menu;
    // What the text edit changes of the item's document while it works on it.
    QTextOption savedTextOption;
    qreal savedTextWidth;
    QFont savedDefaultFont;
    // The colour of text that sets none, and of the caret.
    QColor textColor;
};

#endif // GRAPHICSTEXTBOXEDIT_H
