#include "GraphicsTextBoxItem.h"

#include "DocumentWindow.h"
#include "GraphicsTextBoxEdit.h"
#include "NetworkScene.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdKelvoTypes.h"
#include "TextBoxDocument.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QGraphicsSceneMouseEvent>
#include <QTextEdit>

namespace K = QmdKelvoKeys;

namespace {

// No colour: text that sets none is drawn in the item's default text colour, which follows
// the style of the network.
const char* const DefaultStyleSheet
    = "body { font-family:'Arial'; font-size:12pt; font-style:normal; }";

// The colour of text that sets none, readable on a style: its annotation colour, opaque; white
// without a style.
QColor readableTextColor(const QColor& annotationColor)
{
    if (!annotationColor.isValid())
        return Qt::white;
    QColor color = annotationColor;
    color.setAlpha(255);
    return color;
}

} // namespace

GraphicsTextBoxItem::GraphicsTextBoxItem(QGraphicsScene* scene, QGraphicsItem* parent)
    : GraphicsElementItem(scene, parent)
{
    init();
}

GraphicsTextBoxItem::GraphicsTextBoxItem(QmdItemId id, QmdKelvoController* controller,
                                         QGraphicsScene* scene, QGraphicsItem* parent)
    : GraphicsElementItem(id, controller, scene, parent)
{
    init();
}

GraphicsTextBoxItem::~GraphicsTextBoxItem()
{
    // The editor goes first, while this item is whole; the focus it loses on the way must not
    // reach the item, and nothing is written.
    if (m_editor) {
        disconnect(m_editor, nullptr, this, nullptr);
        delete m_editor;
    }
}

void GraphicsTextBoxItem::init()
{
    // The text is drawn afresh each time: a cached image of it would blur when zoomed.
    setCacheMode(QGraphicsItem::NoCache);
    auto* textDocument = new TextBoxDocument(this);
    textDocument->setDefaultStyleSheet(QString::fromLatin1(DefaultStyleSheet));
    textDocument->setUseDesignMetrics(true);
    setDocument(textDocument);
    const auto* networkScene = qobject_cast<const NetworkScene*>(scene());
    setAnnotationColor(networkScene ? networkScene->annotationColor() : QColor());
}

void GraphicsTextBoxItem::setAnnotationColor(const QColor& color)
{
    const QColor textColor = readableTextColor(color);
    if (textColor == defaultTextColor())
        return;
    setDefaultTextColor(textColor);
    if (m_editor)
        m_editor->setTextColor(textColor);
}

void GraphicsTextBoxItem::paint(QPainter* painter, const QStyleOptionGraphicsItem* option,
                                QWidget* widget)
{
    // The open editor draws the same document.
    if (!m_editor)
        QGraphicsTextItem::paint(painter, option, widget);
}

void GraphicsTextBoxItem::elementDataEffected(uint id, const QStringList& keys, uint requestId)
{
    GraphicsElementItem::elementDataEffected(id, keys, requestId);
    if (!controller || id != m_elementId || !keys.contains(K::Text))
        return;
    const QString text
        = controller->lockedRead([&] { return controller->directElementData(id, K::Text); })
              .toString();
    selectionRepaintEnabled = false;
    applyText(text);
    selectionRepaintEnabled = true;
}

void GraphicsTextBoxItem::applyText(const QString& text)
{
    // Setting the HTML anew would reset an open editor's cursor.
    if (text == appliedText)
        return;
    appliedText = text;
    if (text == toHtml()) {
        appliedHtml = text;
        return;
    }
    setHtml(text);
    appliedHtml = toHtml();
}

void GraphicsTextBoxItem::mousePressEvent(QGraphicsSceneMouseEvent* event)
{
    wasSelectedAtPress = isSelected();
    QGraphicsTextItem::mousePressEvent(event);
}

void GraphicsTextBoxItem::mouseReleaseEvent(QGraphicsSceneMouseEvent* event)
{
    QGraphicsTextItem::mouseReleaseEvent(event);
    // The first click selects the text box, the next one edits it; dragging it (the view
    // moves it) is no click.
    const QPoint travel = event->screenPos() - event->buttonDownScreenPos(event->button());
    const bool click = travel.manhattanLength() < QApplication::startDragDistance();
    if (wasSelectedAtPress && click && !m_editor)
        openEditor(event->pos());
    wasSelectedAtPress = false;
}

void GraphicsTextBoxItem::openEditor(QPointF cursorPos)
{
    if (m_editor)
        return;
    const int position
        = std::max(0, document()->documentLayout()->hitTest(cursorPos, Qt::FuzzyHit));
    m_editor = new GraphicsTextBoxEdit(this, position);
    connect(m_editor, &GraphicsTextBoxEdit::editingFinished, this,
            &GraphicsTextBoxItem::closeEditor);
    update();

    // Saving the document first commits the edit.
    const auto* networkScene = qobject_cast<const NetworkScene*>(scene());
    if (DocumentWindow* window = networkScene ? networkScene->documentWindow() : nullptr)
        saveConnection = connect(window, &DocumentWindow::saveRequested, this,
                                 &GraphicsTextBoxItem::closeEditor);
}

void GraphicsTextBoxItem::closeEditor()
{
    // The window may be on its way out: the connection is dropped without looking at it.
    disconnect(saveConnection);
    if (!m_editor)
        return;
    disconnect(m_editor, nullptr, this, nullptr);

    const QString html = toHtml();
    if (controller && selectionRepaintEnabled && html != appliedHtml) {
        // The index of a removed element stays valid: a removed text box takes no text.
        bool isTextBox = false;
        QString storedText;
        controller->lockedRead([&] {
            isTextBox = controller->directElementData(m_elementId, K::Type).toUInt()
                == QmdKelvo::TextBoxElement;
            storedText = controller->directElementData(m_elementId, K::Text).toString();
        });
        if (isTextBox && html != storedText) {
            appliedText = html;
            appliedHtml = html;
            controller->requestSetData(K::Text, html, controller->elementIndex(m_elementId),
                                       QmdRequestOptions(tr("Text")));
        }
    }
    m_editor->deleteLater();
}

void GraphicsTextBoxItem::selectAll()
{
    if (m_editor)
        m_editor->textEdit()->selectAll();
}
