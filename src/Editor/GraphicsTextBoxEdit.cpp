#include "GraphicsTextBoxEdit.h"

#include "AppServices.h"
#include "GraphicsTextBoxItem.h"

#include <QAbstractTextDocumentLayout>
#include <QActionGroup>
#include <QApplication>
#include <QFontDatabase>
#include <QGraphicsScene>
#include <QGraphicsSceneContextMenuEvent>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QStyleOptionGraphicsItem>
#include <QTextEdit>

#include <algorithm>

namespace {

// The sizes that the size menu offers beyond the font database's standard sizes.
constexpr int LargeFontSizes[] = {96, 144, 288};

// The font a character format shows: what it leaves unset comes from the document.
QFont shownFont(const QTextCharFormat& format, const QTextDocument* document)
{
    return format.font().resolve(document->defaultFont());
}

} // namespace

GraphicsTextBoxEdit::GraphicsTextBoxEdit(GraphicsTextBoxItem* item, int cursorPosition)
    : QGraphicsProxyWidget(item)
    , m_textEdit(new QTextEdit)
{
    setCacheMode(item->cacheMode());
    QTextDocument* document = item->document();
    savedTextOption = document->defaultTextOption();
    savedTextWidth = document->textWidth();
    savedDefaultFont = document->defaultFont();
    textColor = item->defaultTextColor();

    // No frame, so that the text lies where the item draws it and clicks land on the
    // characters under them.
    m_textEdit->setFrameShape(QFrame::NoFrame);
    m_textEdit->setLineWrapMode(QTextEdit::NoWrap);
    m_textEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_textEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The text edit gives its font to its document: it takes the document's, all of it, so
    // that neither the proxy's font nor the scene's changes the document.
    QFont font = savedDefaultFont;
    font.setResolveMask(QFont::AllPropertiesResolved);
    m_textEdit->setFont(font);
    m_textEdit->setDocument(document);
    setWidget(m_textEdit);
    // As small as the text: the text edit's own minimum is that of a scrolling editor.
    setMinimumSize(0, 0);

    if (QGraphicsScene* itemScene = item->scene())
        itemScene->installEventFilter(this);
    connect(m_textEdit, &QTextEdit::textChanged, this, &GraphicsTextBoxEdit::onTextChanged);
    connect(m_textEdit, &QTextEdit::currentCharFormatChanged, this,
            &GraphicsTextBoxEdit::onCurrentCharFormatChanged);
    onTextChanged();

    m_textEdit->setFocus(Qt::MouseFocusReason);
    QTextCursor cursor(document);
    cursor.setPosition(std::clamp(cursorPosition, 0, document->characterCount() - 1));
    m_textEdit->setTextCursor(cursor);
    onCurrentCharFormatChanged(m_textEdit->currentCharFormat());
}

void GraphicsTextBoxEdit::setTextColor(const QColor& color)
{
    textColor = color;
    update();
}

GraphicsTextBoxEdit::~GraphicsTextBoxEdit()
{
    // The text edit lets go of the item's document and leaves it as it found it.
    QTextDocument* document = m_textEdit->document();
    disconnect(m_textEdit, nullptr, this, nullptr);
    m_textEdit->setDocument(nullptr);
    document->setDefaultTextOption(savedTextOption);
    document->setTextWidth(savedTextWidth);
    document->setDefaultFont(savedDefaultFont);
}

void GraphicsTextBoxEdit::paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*)
{
    // The document with the caret and the selection, on the item's background: the text edit
    // draws nothing of its own.
    const QTextCursor cursor = m_textEdit->textCursor();
    QAbstractTextDocumentLayout::PaintContext context;
    context.cursorPosition = cursor.position();
    context.palette = option->palette;
    context.palette.setColor(QPalette::Text, textColor);
    QAbstractTextDocumentLayout::Selection selection;
    selection.cursor = cursor;
    const QPalette::ColorGroup group
        = option->state & QStyle::State_HasFocus ? QPalette::Active : QPalette::Inactive;
    selection.format.setBackground(option->palette.brush(group, QPalette::Highlight));
    context.selections.append(selection);
    m_textEdit->document()->documentLayout()->draw(painter, context);
}

void GraphicsTextBoxEdit::removeSelectedText()
{
    QTextCursor cursor = m_textEdit->textCursor();
    cursor.removeSelectedText();
    m_textEdit->setTextCursor(cursor);
}

void GraphicsTextBoxEdit::setFontBold(bool bold)
{
    m_textEdit->setFontWeight(bold ? QFont::Bold : QFont::Normal);
}

void GraphicsTextBoxEdit::setFontBigger()
{
    const QFont font = shownFont(m_textEdit->currentCharFormat(), m_textEdit->document());
    m_textEdit->setFontPointSize(font.pointSizeF() + 1.0);
}

void GraphicsTextBoxEdit::setFontSmaller()
{
    const QFont font = shownFont(m_textEdit->currentCharFormat(), m_textEdit->document());
    m_textEdit->setFontPointSize(std::max(1.0, font.pointSizeF() - 1.0));
}

bool GraphicsTextBoxEdit::isFormatKey(const QKeyEvent* event)
{
    return event->modifiers() == Qt::ControlModifier
        && (event->key() == Qt::Key_B || event->key() == Qt::Key_I || event->key() == Qt::Key_U);
}

bool GraphicsTextBoxEdit::event(QEvent* event)
{
    // The format keys are the editor's even where the window has shortcuts on them.
    if (event->type() == QEvent::ShortcutOverride && isFormatKey(static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QGraphicsProxyWidget::event(event);
}

void GraphicsTextBoxEdit::keyPressEvent(QKeyEvent* event)
{
    if (!isFormatKey(event)) {
        QGraphicsProxyWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_U:
        m_textEdit->setFontUnderline(!m_textEdit->fontUnderline());
        break;
    case Qt::Key_I:
        m_textEdit->setFontItalic(!m_textEdit->fontItalic());
        break;
    default:
        setFontBold(m_textEdit->fontWeight() < QFont::Medium);
        break;
    }
    event->accept();
}

void GraphicsTextBoxEdit::mousePressEvent(QGraphicsSceneMouseEvent* event)
{
    QGraphicsProxyWidget::mousePressEvent(event);
    connectSharedDialogs();
}

void GraphicsTextBoxEdit::connectSharedDialogs()
{
    AppServices* services = AppServices::instance();
    if (!services)
        return;
    services->connectAppFontDialog(m_textEdit, SLOT(setCurrentFont(QFont)));
    services->connectAppColorDialog(m_textEdit, SLOT(setTextColor(QColor)));
}

void GraphicsTextBoxEdit::showColorDialog()
{
    // The dialog chosen from this editor's menu works for this editor.
    connectSharedDialogs();
    if (AppServices* services = AppServices::instance())
        services->showAppColorDialog();
}

bool GraphicsTextBoxEdit::editsWithoutFocus() const
{
    // The context menu takes the focus while it is open.
    if (menu)
        return true;
    const AppServices* services = AppServices::instance();
    if (!services)
        return false;
    return (services->isAppFontDialogVisible() && services->appFontDialogReceiver() == m_textEdit)
        || (services->isAppColorDialogVisible()
            && services->appColorDialogReceiver() == m_textEdit);
}

void GraphicsTextBoxEdit::focusOutEvent(QFocusEvent* event)
{
    QGraphicsProxyWidget::focusOutEvent(event);
    if (!editsWithoutFocus())
        emit editingFinished();
}

bool GraphicsTextBoxEdit::eventFilter(QObject* watched, QEvent* event)
{
    // Once the focus went to a shared dialog, the window may get it back without giving it to
    // the editor: a press elsewhere in the scene then ends editing as a focus loss would.
    if (watched == scene() && event->type() == QEvent::GraphicsSceneMousePress && !hasFocus()) {
        const auto* press = static_cast<QGraphicsSceneMouseEvent*>(event);
        if (!sceneBoundingRect().contains(press->scenePos()) && !editsWithoutFocus())
            emit editingFinished();
    }
    return QGraphicsProxyWidget::eventFilter(watched, event);
}

void GraphicsTextBoxEdit::contextMenuEvent(QGraphicsSceneContextMenuEvent* event)
{
    if (m_textEdit->isReadOnly())
        return;
    const QPointer<GraphicsTextBoxEdit> alive(this);
    const QPointer<QMenu> contextMenu = new QMenu;
    menu = contextMenu;

    const bool hasSelection = m_textEdit->textCursor().hasSelection();
    contextMenu->addAction(tr("Cu&t"), m_textEdit, &QTextEdit::cut)->setEnabled(hasSelection);
    contextMenu->addAction(tr("&Copy"), m_textEdit, &QTextEdit::copy)->setEnabled(hasSelection);
    contextMenu->addAction(tr("&Paste"), m_textEdit, &QTextEdit::paste)
        ->setEnabled(m_textEdit->canPaste());
    contextMenu->addAction(tr("&Delete"), this, &GraphicsTextBoxEdit::removeSelectedText)
        ->setEnabled(hasSelection);
    contextMenu->addAction(tr("Select A&ll"), m_textEdit, &QTextEdit::selectAll);
    contextMenu->addSeparator();

    const QTextCharFormat format = m_textEdit->currentCharFormat();
    const QFont font = shownFont(format, m_textEdit->document());
    QMenu* fontMenu = contextMenu->addMenu(tr("&Font"));

    QMenu* familyMenu = fontMenu->addMenu(tr("&Family"));
    auto* families = new QActionGroup(familyMenu);
    families->setExclusive(true);
    for (const QString& family : QFontDatabase::families()) {
        // The family itself rides in the action's data: its text shows "&" doubled.
        QAction* action = familyMenu->addAction(QString(family).replace('&', "&&"));
        action->setData(family);
        action->setCheckable(true);
        action->setChecked(family == font.family());
        families->addAction(action);
    }
    connect(families, &QActionGroup::triggered, this,
            &GraphicsTextBoxEdit::onFontFamilyActionTriggered);

    QMenu* sizeMenu = fontMenu->addMenu(tr("&Size"));
    auto* sizes = new QActionGroup(sizeMenu);
    sizes->setExclusive(true);
    QList<int> sizeList = QFontDatabase::standardSizes();
    sizeList.append(QList<int>(std::begin(LargeFontSizes), std::end(LargeFontSizes)));
    for (const int size : std::as_const(sizeList)) {
        QAction* action = sizeMenu->addAction(QString::number(size));
        action->setCheckable(true);
        action->setChecked(size == font.pointSizeF());
        sizes->addAction(action);
    }
    connect(sizes, &QActionGroup::triggered, this, &GraphicsTextBoxEdit::onFontSizeActionTriggered);

    QAction* bold = fontMenu->addAction(tr("&Bold"));
    bold->setCheckable(true);
    bold->setChecked(format.fontWeight() > QFont::Normal);
    connect(bold, &QAction::toggled, this, &GraphicsTextBoxEdit::setFontBold);
    QAction* italic = fontMenu->addAction(tr("&Italic"));
    italic->setCheckable(true);
    italic->setChecked(format.fontItalic());
    connect(italic, &QAction::toggled, m_textEdit, &QTextEdit::setFontItalic);
    QAction* underline = fontMenu->addAction(tr("&Underline"));
    underline->setCheckable(true);
    underline->setChecked(format.fontUnderline());
    connect(underline, &QAction::toggled, m_textEdit, &QTextEdit::setFontUnderline);
    fontMenu->addSeparator();
    fontMenu->addAction(tr("Show &Colors"), this, &GraphicsTextBoxEdit::showColorDialog);

    contextMenu->exec(event->screenPos());
    delete contextMenu;
    if (!alive)
        return;
    event->accept();
    takeFocusBack();
}

void GraphicsTextBoxEdit::takeFocusBack()
{
    // A closing menu may leave no window active, or give the view the focus without giving it
    // to this editor; without the focus, a click elsewhere would not end editing.
    const QList<QGraphicsView*> views = scene() ? scene()->views() : QList<QGraphicsView*>();
    if (!QApplication::activeWindow() && !views.isEmpty())
        views.first()->activateWindow();
    m_textEdit->setFocus(Qt::PopupFocusReason);
}

void GraphicsTextBoxEdit::onCurrentCharFormatChanged(const QTextCharFormat& format)
{
    AppServices* services = AppServices::instance();
    if (!services)
        return;
    services->updateAppFontDialog(shownFont(format, m_textEdit->document()));
    const QBrush foreground = format.foreground();
    services->updateAppColorDialog(foreground.style() == Qt::NoBrush ? textColor
                                                                     : foreground.color());
}

void GraphicsTextBoxEdit::onFontFamilyActionTriggered(QAction* action)
{
    m_textEdit->setFontFamily(action->data().toString());
}

void GraphicsTextBoxEdit::onFontSizeActionTriggered(QAction* action)
{
    m_textEdit->setFontPointSize(action->text().toDouble());
}

void GraphicsTextBoxEdit::onTextChanged()
{
    resize(m_textEdit->document()->size());
}
