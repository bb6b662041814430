#include "TextBoxFixture.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QPainter>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStyleOptionGraphicsItem>
#include <QTemporaryDir>
#include <QTextBlock>

namespace K = QmdKelvoKeys;

namespace {

const QString Hello = QStringLiteral("<html><body><p>Hello world</p></body></html>");

// A text box's HTML as an older version of the program wrote it into its files.
const QString OlderHtml = QStringLiteral(
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0//EN\" "
    "\"http://www.w3.org/TR/REC-html40/strict.dtd\">\n"
    "<html><head><meta name=\"qrichtext\" content=\"1\" /><style type=\"text/css\">\n"
    "p, li { white-space: pre-wrap; }\n"
    "</style></head><body style=\" font-family:'Lucida Grande'; font-size:13pt; "
    "font-weight:400; font-style:normal;\">\n"
    "<p style=\" margin-top:0px; margin-bottom:0px; margin-left:0px; margin-right:0px; "
    "-qt-block-indent:0; text-indent:0px;\"><span style=\" font-size:18pt; "
    "font-weight:600;\">Verse</span> and chorus</p></body></html>");

} // namespace

// Text boxes in a document window's view: editing in place, what reaches the document and
// when, and the item's life with an editor open.
class TestTextBoxItem : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initTickGeometryAt72Dpi(); }
    // A connection by name that does not resolve would only print a warning.
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect"))); }

    void firstClickSelectsSecondEditsAtTheCharacter()
    {
        TextBoxWindow w;
        GraphicsTextBoxItem* item = w.addTextBox({P, P}, Hello);
        QVERIFY(item && !item->editor());
        // A text box that a request added is selected.
        QVERIFY(item->isSelected());
        w.scene->clearSelection();

        // A point inside "Hello", between the "e" and the first "l" or near it.
        QTextDocument* document = item->document();
        const QRectF first = document->documentLayout()->blockBoundingRect(document->begin());
        const QPointF inside(first.left() + 0.3 * first.width() / 2.2, first.center().y());
        const int expected = document->documentLayout()->hitTest(inside, Qt::FuzzyHit);
        QVERIFY(expected > 0);

        w.click(w.viewPoint(item, inside));
        w.settle();
        QVERIFY(item->isSelected());
        QVERIFY(!item->editor());

        w.click(w.viewPoint(item, inside));
        w.settle();
        QVERIFY(item->editor());
        QCOMPARE(item->editor()->textEdit()->textCursor().position(), expected);
        QVERIFY(!item->editor()->textEdit()->textCursor().hasSelection());
        QVERIFY(item->editor()->textEdit()->hasFocus());
    }

    void typingThenClickingElsewhereIsOneTextStep()
    {
        TextBoxWindow w;
        GraphicsTextBoxItem* item = w.addTextBox({P, P}, Hello);
        const QmdItemId id = item->elementId();
        const QString before = item->toHtml();
        QCOMPARE(w.controller()->undoText(), QStringLiteral("Text Box"));

        item->openEditor(QPointF(0, 0));
        QVERIFY(item->editor());
        QTest::keyClicks(w.view, QStringLiteral("Big "));
        QCOMPARE(item->toPlainText(), QStringLiteral("Big Hello world"));
        // Nothing reaches the document while typing.
        QCOMPARE(w.storedText(id), Hello);

        QSignalSpy changes(w.controller(), &QmdElementDocController::elementDataChanged);
        w.clickElsewhere();
        w.settle();
        QVERIFY(!item->editor());
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.first().at(1).toStringList(), QStringList {K::Text});
        QCOMPARE(w.controller()->undoText(), QStringLiteral("Text"));
        QCOMPARE(w.storedText(id), item->toHtml());
        QVERIFY(w.storedText(id).contains(QStringLiteral("Big Hello world")));

        w.controller()->requestUndo();
        w.settle();
        QCOMPARE(item->toPlainText(), QStringLiteral("Hello world"));
        QCOMPARE(item->toHtml(), before);
        QCOMPARE(w.controller()->undoText(), QStringLiteral("Text Box"));
        w.controller()->requestRedo();
        w.settle();
        QCOMPARE(item->toPlainText(), QStringLiteral("Big Hello world"));
    }

    void closingWithoutTypingWritesNothing()
    {
        TextBoxWindow w;
        GraphicsTextBoxItem* item = w.addTextBox({P, P}, Hello);
        QSignalSpy steps(w.controller(), &QmdController::undoTextChanged);
        QSignalSpy changes(w.controller(), &QmdElementDocController::elementDataChanged);
        item->openEditor(QPointF(5, 5));
        QVERIFY(item->editor());
        // Moving the cursor and selecting change nothing.
        QTest::keyClick(w.view, Qt::Key_Right, Qt::ShiftModifier);
        item->closeEditor();
        w.settle();
        QVERIFY(!item->editor());
        QCOMPARE(changes.count(), 0);
        QCOMPARE(steps.count(), 0);
        QCOMPARE(w.storedText(item->elementId()), Hello);
    }

    void olderHtmlFromAFileOpensAndClosesWithoutAStep()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("older.kvd"));
        {
            TextBoxWindow writer;
            writer.addTextBox({P, P}, OlderHtml);
            QSignalSpy saved(writer.controller(), &QmdDocController::fileSaved);
            writer.controller()->requestSave(path);
            QTRY_COMPARE(saved.count(), 1);
        }

        TextBoxWindow w;
        QVERIFY(w.load(path));
        QCOMPARE(w.controller()->elements().size(), 1);
        const QmdItemId id = w.controller()->elements().first();
        GraphicsTextBoxItem* item = w.textBox(id);
        QVERIFY(item);
        // A loaded text box does not open by itself.
        QVERIFY(!item->editor());
        QCOMPARE(item->toPlainText(), QStringLiteral("Verse and chorus"));
        // Qt writes this HTML differently.
        QVERIFY(item->toHtml() != OlderHtml);

        // Selected, then clicked: the editor opens; a click elsewhere closes it.
        const QPoint inside = w.viewPoint(item, item->boundingRect().center());
        w.click(inside);
        w.click(inside);
        w.settle();
        QVERIFY(item->editor());
        w.clickElsewhere();
        w.settle();
        QVERIFY(!item->editor());
        QVERIFY(w.controller()->atCleanState());
        QVERIFY(!w.controller()->canUndo());
        QCOMPARE(w.storedText(id), OlderHtml);

        // Typing in it is a change like any other.
        item->openEditor(QPointF(0, 0));
        QTest::keyClicks(w.view, QStringLiteral("1 "));
        item->closeEditor();
        w.settle();
        QCOMPARE(w.controller()->undoText(), QStringLiteral("Text"));
        QVERIFY(w.storedText(id).contains(QStringLiteral("1 Verse")));
    }

    void saveRequestCommitsTheEditFirst()
    {
        TextBoxWindow w;
        GraphicsTextBoxItem* item = w.addTextBox({P, P}, Hello);
        const QmdItemId id = item->elementId();
        item->openEditor(QPointF(0, 0));
        QTest::keyClicks(w.view, QStringLiteral("Saved "));

        // The text is in the document as soon as the signal returns.
        w.window.emitSaveRequested();
        QVERIFY(w.storedText(id).contains(QStringLiteral("Saved Hello")));
        w.settle();
        QVERIFY(!item->editor());
        QCOMPARE(w.controller()->undoText(), QStringLiteral("Text"));

        // A later save finds no edit, and a later editor is committed again.
        w.window.emitSaveRequested();
        QCOMPARE(w.controller()->undoText(), QStringLiteral("Text"));
        item->openEditor(QPointF(0, 0));
        QTest::keyClicks(w.view, QStringLiteral("Again "));
        QSignalSpy changes(w.controller(), &QmdElementDocController::elementDataChanged);
        w.window.emitSaveRequested();
        w.settle();
        QCOMPARE(changes.count(), 1);
        QVERIFY(w.storedText(id).contains(QStringLiteral("Again Saved Hello")));
    }

    void textEqualToTheShownHtmlKeepsTheCursor()
    {
        TextBoxWindow w;
        GraphicsTextBoxItem* item = w.addTextBox({P, P}, Hello);
        item->openEditor(QPointF(0, 0));
        QTextEdit* edit = item->editor()->textEdit();
        QTextCursor cursor = edit->textCursor();
        cursor.setPosition(3);
        cursor.setPosition(7, QTextCursor::KeepAnchor);
        edit->setTextCursor(cursor);

        // The same text as shown, written by another editor of the document.
        w.setElementText(item->elementId(), item->toHtml());
        QVERIFY(item->editor());
        QCOMPARE(edit->textCursor().anchor(), 3);
        QCOMPARE(edit->textCursor().position(), 7);

        // Another text replaces the shown one.
        w.setElementText(item->elementId(), QStringLiteral("<p>Bye</p>"));
        QCOMPARE(item->toPlainText(), QStringLiteral("Bye"));
        item->closeEditor();
        w.settle();
        QCOMPARE(w.storedText(item->elementId()), QStringLiteral("<p>Bye</p>"));
    }

    void addedTextBoxOpensWithItsTextSelected()
    {
        TextBoxWindow w;
        GraphicsTextBoxItem* item = w.addTextBox({P, P}, Hello, false);
        QVERIFY(item && item->editor());
        QVERIFY(item->isSelected());
        QCOMPARE(item->editor()->textEdit()->textCursor().selectedText(),
                 QStringLiteral("Hello world"));
        // Typing replaces it.
        QTest::keyClicks(w.view, QStringLiteral("Intro"));
        QCOMPARE(item->toPlainText(), QStringLiteral("Intro"));
        w.clickElsewhere();
        w.settle();
        QVERIFY(w.storedText(item->elementId()).contains(QStringLiteral("Intro")));

        // Undone and redone, the text box comes back closed.
        w.controller()->requestUndo();
        w.controller()->requestUndo();
        w.settle();
        QVERIFY(w.controller()->elements().isEmpty());
        w.controller()->requestRedo();
        w.settle();
        QCOMPARE(w.controller()->elements().size(), 1);
        GraphicsTextBoxItem* restored = w.textBox(w.controller()->elements().first());
        QVERIFY(restored && !restored->editor());
        QCOMPARE(restored->toPlainText(), QStringLiteral("Hello world"));
    }

    void pastedTextBoxesOpenOnlyAlone()
    {
        TextBoxWindow w;
        GraphicsTextBoxItem* item = w.addTextBox({P, P}, Hello);
        const QmdItemId node = w.addNode(3 * P, P);

        // Pasted with a node: closed.
        w.controller()->requestCopy(QmdItemIdSet {item->elementId(), node});
        QmdItemIdList before = w.controller()->elements();
        w.controller()->requestPaste(QmdKelvo::TickPoint {P, 3 * P});
        w.settle();
        int opened = 0;
        int pasted = 0;
        for (const QmdItemId id : w.controller()->elements()) {
            if (before.contains(id))
                continue;
            ++pasted;
            if (GraphicsTextBoxItem* copy = w.textBox(id))
                opened += copy->editor() ? 1 : 0;
        }
        QCOMPARE(pasted, 2);
        QCOMPARE(opened, 0);

        // Pasted alone: a text box added by a request like any other.
        w.controller()->requestCopy(QmdItemIdSet {item->elementId()});
        before = w.controller()->elements();
        w.controller()->requestPaste(QmdKelvo::TickPoint {P, 5 * P});
        w.settle();
        const QmdItemIdList after = w.controller()->elements();
        QCOMPARE(after.size(), before.size() + 1);
        QVERIFY(w.textBox(after.last())->editor());
    }

    void undoOfTheAdditionWhileEditingWritesNothing()
    {
        TextBoxWindow w;
        GraphicsTextBoxItem* item = w.addTextBox({P, P}, Hello, false);
        QVERIFY(item->editor());
        QTest::keyClicks(w.view, QStringLiteral("Lost"));
        QSignalSpy changes(w.controller(), &QmdElementDocController::elementDataChanged);

        // The element goes at once; its item goes when the scene hears of it.
        w.controller()->requestUndo();
        w.settle();
        QVERIFY(w.controller()->elements().isEmpty());
        QCOMPARE(w.scene->items().size(), 0);
        QCOMPARE(changes.count(), 0);
        QVERIFY(!w.controller()->canUndo());
        QCOMPARE(w.controller()->redoText(), QStringLiteral("Text Box"));
        // A save finds no editor.
        w.window.emitSaveRequested();
        QVERIFY(!w.controller()->canUndo());
    }

    void removedElementTakesNoText()
    {
        TextBoxWindow w;
        GraphicsTextBoxItem* item = w.addTextBox({P, P}, Hello, false);
        QTest::keyClicks(w.view, QStringLiteral("Gone"));
        // The element is removed, but the scene has not heard of it yet.
        w.controller()->requestUndo();
        QVERIFY(w.controller()->elements().isEmpty());
        item->closeEditor();
        w.settle();
        QVERIFY(!w.controller()->canUndo());
        QCOMPARE(w.controller()->redoText(), QStringLiteral("Text Box"));
    }

    void resetWhileEditingWritesNothing()
    {
        TextBoxWindow w;
        GraphicsTextBoxItem* item = w.addTextBox({P, P}, Hello, false);
        QTest::keyClicks(w.view, QStringLiteral("Reset"));
        QCOMPARE(item->toPlainText(), QStringLiteral("Reset"));
        const QString undoText = w.controller()->undoText();
        w.scene->reset();
        w.settle();
        QCOMPARE(w.controller()->undoText(), undoText);
        GraphicsTextBoxItem* rebuilt = w.textBox(w.controller()->elements().first());
        QVERIFY(rebuilt && !rebuilt->editor());
        QCOMPARE(rebuilt->toPlainText(), QStringLiteral("Hello world"));
    }

    void itemDrawsNothingWhileEditing()
    {
        TextBoxWindow w;
        GraphicsTextBoxItem* item = w.addTextBox({P, P}, Hello);
        auto painted = [&](QGraphicsItem* graphicsItem) {
            QImage image(item->boundingRect().size().toSize() + QSize(2, 2),
                         QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::black);
            QPainter painter(&image);
            QStyleOptionGraphicsItem option;
            option.palette = w.view->palette();
            graphicsItem->paint(&painter, &option, nullptr);
            painter.end();
            int lit = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x)
                    lit += qGray(image.pixel(x, y)) > 128 ? 1 : 0;
            }
            return lit;
        };
        // White text.
        const int shown = painted(item);
        QVERIFY(shown > 20);
        item->openEditor(QPointF(0, 0));
        QCOMPARE(painted(item), 0);
        // The editor draws the same text, and its caret.
        QVERIFY(painted(item->editor()) >= shown);
        item->closeEditor();
        w.settle();
        QCOMPARE(painted(item), shown);
    }

    void previewItemEditsWithoutADocument()
    {
        TextBoxWindow w;
        GraphicsTextBoxItem preview(w.scene);
        QCOMPARE(preview.elementId(), QmdItemId(0));
        QCOMPARE(preview.type(), int(TextBoxItemType));
        preview.setHtml(Hello);
        // Nothing to select without an editor.
        preview.selectAll();
        preview.openEditor(QPointF(0, 0));
        QVERIFY(preview.editor());
        preview.selectAll();
        QCOMPARE(preview.editor()->textEdit()->textCursor().selectedText(),
                 QStringLiteral("Hello world"));
        QTest::keyClicks(w.view, QStringLiteral("Draft"));
        QSignalSpy steps(w.controller(), &QmdController::undoTextChanged);
        preview.closeEditor();
        w.settle();
        QVERIFY(!preview.editor());
        QCOMPARE(preview.toPlainText(), QStringLiteral("Draft"));
        QCOMPARE(steps.count(), 0);
        // A notification for id 0 is no concern of a preview.
        preview.elementDataEffected(0, {K::Text}, 1);
        QCOMPARE(preview.toPlainText(), QStringLiteral("Draft"));

        // A preview as a child of another item.
        GraphicsTextBoxItem child(w.scene, &preview);
        QCOMPARE(child.parentItem(), &preview);
        QCOMPARE(child.cacheMode(), QGraphicsItem::NoCache);
    }

    void editorKeepsTheDocumentAsItFoundIt()
    {
        TextBoxWindow w;
        GraphicsTextBoxItem* item = w.addTextBox({P, P}, Hello);
        const QSizeF size = item->boundingRect().size();
        const QFont font = item->document()->defaultFont();
        const qreal width = item->document()->textWidth();
        item->openEditor(QPointF(0, 0));
        QCOMPARE(item->editor()->size(), item->document()->size());
        item->closeEditor();
        w.settle();
        QCOMPARE(item->document()->defaultFont(), font);
        QCOMPARE(item->document()->textWidth(), width);
        QCOMPARE(item->boundingRect().size(), size);
    }

    void editorOfAnotherTextBoxClosesTheFirst()
    {
        TextBoxWindow w;
        GraphicsTextBoxItem* first = w.addTextBox({P, P}, Hello);
        GraphicsTextBoxItem* second = w.addTextBox({P, 3 * P}, Hello);
        first->openEditor(QPointF(0, 0));
        QTest::keyClicks(w.view, QStringLiteral("One "));
        second->openEditor(QPointF(0, 0));
        w.settle();
        QVERIFY(!first->editor());
        QVERIFY(second->editor());
        QVERIFY(w.storedText(first->elementId()).contains(QStringLiteral("One Hello")));
    }
};

QTEST_MAIN(TestTextBoxItem)
#include "tst_textboxitem.moc"
