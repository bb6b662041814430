#include "SharedDialogs.h"
#include "TextBoxFixture.h"

#include <QColorDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QMenu>
#include <QScrollBar>

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTimer>

namespace {

const QString Hello = QStringLiteral("<html><body><p>Hello world</p></body></html>");

// Records the key presses that reach a widget, modifier keys aside.
class KeyRecorder : public QObject
{
public:
    explicit KeyRecorder(QObject* target) { target->installEventFilter(this); }
    QList<QKeyCombination> keys;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Control && key->key() != Qt::Key_Shift)
            keys << key->keyCombination();
        return false;
    }
};

// The first installed family with a bold face: the font dialog shows only the styles a family
// has, and which families a machine has first differs from machine to machine.
QString familyWithABoldFace()
{
    for (const QString& family : QFontDatabase::families()) {
        for (const QString& style : QFontDatabase::styles(family)) {
            if (QFontDatabase::bold(family, style))
                return family;
        }
    }
    return {};
}

// One entry of a menu as the user sees it.
struct MenuEntry
{
    QString text;
    bool enabled = false;
    bool checked = false;
    QList<MenuEntry> submenu;
};

QList<MenuEntry> entriesOf(const QMenu* menu)
{
    QList<MenuEntry> entries;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator())
            continue;
        entries.append({action->text(), action->isEnabled(), action->isChecked(),
                        action->menu() ? entriesOf(action->menu()) : QList<MenuEntry>()});
    }
    return entries;
}

const MenuEntry* find(const QList<MenuEntry>& entries, const QString& text)
{
    for (const MenuEntry& entry : entries) {
        if (entry.text == text)
            return &entry;
    }
    return nullptr;
}

} // namespace

// The in-place editor of a text box: its keys, its context menu, the shared dialogs and when
// a focus loss ends editing.
class TestTextBoxEdit : public QObject
{
    Q_OBJECT

private:
    // Opens the context menu of an editor, as a right click in it does, and reads it; then
    // closes it, or triggers the entry `trigger` (a path of texts) when given.
    static QList<MenuEntry> contextMenu(TextBoxWindow& w, GraphicsTextBoxEdit* editor,
                                        const QStringList& trigger = {})
    {
        QList<MenuEntry> entries;
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            seen = true;
            entries = entriesOf(menu);
            QMenu* level = menu;
            for (const QString& text : trigger) {
                for (QAction* action : level->actions()) {
                    if (action->text() != text)
                        continue;
                    if (action->menu())
                        level = action->menu();
                    else
                        action->trigger();
                    break;
                }
            }
            menu->close();
        });
        const QPoint at = w.viewPoint(editor, QPointF(4, 4));
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, w.view->viewport()->mapToGlobal(at));
        QApplication::sendEvent(w.view->viewport(), &event);
        if (!seen)
            qWarning("no context menu");
        return entries;
    }

private slots:
    void initTestCase() { initTickGeometryAt72Dpi(); }
    // A connection by name that does not resolve would only print a warning.
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect"))); }

    void controlLettersToggleTheFormat()
    {
        TextBoxWindow w;
        GraphicsTextBoxItem* item = w.addTextBox({P, P}, Hello, false);
        QTextEdit* edit = item->editor()->textEdit();
        QCOMPARE(edit->textCursor().selectedText(), QStringLiteral("Hello world"));
        KeyRecorder reaching(edit);

        QTest::keyClick(w.view, Qt::Key_B, Qt::ControlModifier);
        QCOMPARE(edit->fontWeight(), int(QFont::Bold));
        QTest::keyClick(w.view, Qt::Key_B, Qt::ControlModifier);
        QCOMPARE(edit->fontWeight(), int(QFont::Normal));
        QTest::keyClick(w.view, Qt::Key_I, Qt::ControlModifier);
        QVERIFY(edit->fontItalic());
        QTest::keyClick(w.view, Qt::Key_U, Qt::ControlModifier);
        QVERIFY(edit->fontUnderline());
        QTest::keyClick(w.view, Qt::Key_U, Qt::ControlModifier);
        QVERIFY(!edit->fontUnderline());
        // The editor takes these keys itself.
        QVERIFY(reaching.keys.isEmpty());

        // Weights between normal and medium count as not bold; above, as bold.
        edit->setFontWeight(QFont::Normal + 50);
        QTest::keyClick(w.view, Qt::Key_B, Qt::ControlModifier);
        QCOMPARE(edit->fontWeight(), int(QFont::Bold));
        edit->setFontWeight(QFont::Medium);
        QTest::keyClick(w.view, Qt::Key_B, Qt::ControlModifier);
        QCOMPARE(edit->fontWeight(), int(QFont::Normal));

        // With Shift the key is the text edit's, and changes no format.
        QTest::keyClick(w.view, Qt::Key_B, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(reaching.keys.size(), 1);
        QCOMPARE(reaching.keys.first(),
                 QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_B));
        QCOMPARE(edit->fontWeight(), int(QFont::Normal));
        QVERIFY(item->editor());
    }

    void formatKeysWinOverTheWindowsShortcuts()
    {
        TextBoxWindow w;
        QAction shortcut(QStringLiteral("Inspector"), &w.window);
        shortcut.setShortcut(QKeySequence(Qt::ControlModifier | Qt::Key_I));
        w.window.addAction(&shortcut);
        QSignalSpy triggered(&shortcut, &QAction::triggered);
        GraphicsTextBoxItem* item = w.addTextBox({P, P}, Hello, false);
        QTest::keyClick(w.view, Qt::Key_I, Qt::ControlModifier);
        QVERIFY(item->editor()->textEdit()->fontItalic());
        QCOMPARE(triggered.count(), 0);

        // Without an editor the shortcut is the window's.
        item->closeEditor();
        w.settle();
        QTest::keyClick(w.view, Qt::Key_I, Qt::ControlModifier);
        QCOMPARE(triggered.count(), 1);
    }

    void fontSlots()
    {
        TextBoxWindow w;
        GraphicsTextBoxItem* item = w.addTextBox({P, P}, Hello, false);
        GraphicsTextBoxEdit* editor = item->editor();
        QTextEdit* edit = editor->textEdit();
        editor->setFontBold(true);
        QCOMPARE(edit->fontWeight(), int(QFont::Bold));
        editor->setFontBold(false);
        QCOMPARE(edit->fontWeight(), int(QFont::Normal));

        // The default style sheet's 12 points, one up and two down.
        QCOMPARE(edit->currentCharFormat().fontPointSize(), 12.0);
        editor->setFontBigger();
        QCOMPARE(edit->fontPointSize(), 13.0);
        editor->setFontSmaller();
        editor->setFontSmaller();
        QCOMPARE(edit->fontPointSize(), 11.0);
        // Never below one point.
        edit->setFontPointSize(1.5);
        editor->setFontSmaller();
        QCOMPARE(edit->fontPointSize(), 1.0);

        editor->removeSelectedText();
        QCOMPARE(item->toPlainText(), QString());
    }

    void contextMenuOffersTheEditCommandsAndFonts()
    {
        TextBoxWindow w;
        GraphicsTextBoxItem* item = w.addTextBox({P, P}, Hello, false);
        GraphicsTextBoxEdit* editor = item->editor();
        QTextCursor cursor = editor->textEdit()->textCursor();
        cursor.setPosition(2);
        editor->textEdit()->setTextCursor(cursor);
        QSignalSpy finished(editor, &GraphicsTextBoxEdit::editingFinished);

        const QList<MenuEntry> entries = contextMenu(w, editor);
        QStringList texts;
        for (const MenuEntry& entry : entries)
            texts << entry.text;
        QCOMPARE(texts,
                 (QStringList {"Cu&t", "&Copy", "&Paste", "&Delete", "Select A&ll", "&Font"}));
        // Without a selection.
        QVERIFY(!find(entries, "Cu&t")->enabled);
        QVERIFY(!find(entries, "&Copy")->enabled);
        QVERIFY(!find(entries, "&Delete")->enabled);
        QVERIFY(find(entries, "Select A&ll")->enabled);

        const QList<MenuEntry>& font = find(entries, "&Font")->submenu;
        QStringList fontTexts;
        for (const MenuEntry& entry : font)
            fontTexts << entry.text;
        QCOMPARE(
            fontTexts,
            (QStringList {"&Family", "&Size", "&Bold", "&Italic", "&Underline", "Show &Colors"}));
        const QList<MenuEntry>& sizes = find(font, "&Size")->submenu;
        QVERIFY(sizes.size() > 3);
        QCOMPARE(sizes.at(sizes.size() - 3).text, QStringLiteral("96"));
        QCOMPARE(sizes.at(sizes.size() - 2).text, QStringLiteral("144"));
        QCOMPARE(sizes.last().text, QStringLiteral("288"));
        // The default style sheet's size is checked, and only that one.
        int checkedSizes = 0;
        for (const MenuEntry& size : sizes)
            checkedSizes += size.checked ? 1 : 0;
        QCOMPARE(checkedSizes, 1);
        QVERIFY(find(sizes, "12")->checked);
        QCOMPARE(find(font, "&Family")->submenu.size(), QFontDatabase::families().size());
        QVERIFY(!find(font, "&Bold")->checked);

        // The menu leaves the edit open.
        w.settle();
        QVERIFY(item->editor());
        QCOMPARE(finished.count(), 0);

        // With a selection, and a size that is not listed.
        editor->textEdit()->selectAll();
        editor->textEdit()->setFontPointSize(12.5);
        editor->setFontBold(true);
        const QList<MenuEntry> selected = contextMenu(w, editor);
        QVERIFY(find(selected, "Cu&t")->enabled);
        QVERIFY(find(selected, "&Copy")->enabled);
        QVERIFY(find(selected, "&Delete")->enabled);
        const QList<MenuEntry>& selectedFont = find(selected, "&Font")->submenu;
        QVERIFY(find(selectedFont, "&Bold")->checked);
        for (const MenuEntry& size : find(selectedFont, "&Size")->submenu)
            QVERIFY2(!size.checked, qPrintable(size.text));

        // After the menu the editor has the keyboard again, and a click elsewhere ends it.
        w.settle();
        QVERIFY(editor->hasFocus());
        QTest::keyClicks(w.view, QStringLiteral("After"));
        QCOMPARE(item->toPlainText(), QStringLiteral("After"));
        w.clickElsewhere();
        w.settle();
        QVERIFY(!item->editor());
        QCOMPARE(finished.count(), 1);
    }

    void contextMenuEntriesApply()
    {
        TextBoxWindow w;
        GraphicsTextBoxItem* item = w.addTextBox({P, P}, Hello, false);
        GraphicsTextBoxEdit* editor = item->editor();
        QTextEdit* edit = editor->textEdit();

        contextMenu(w, editor, {"&Font", "&Size", "144"});
        QCOMPARE(edit->fontPointSize(), 144.0);
        contextMenu(w, editor, {"&Font", "&Italic"});
        QVERIFY(edit->fontItalic());
        contextMenu(w, editor, {"&Font", "&Bold"});
        QCOMPARE(edit->fontWeight(), int(QFont::Bold));
        const QString family = QFontDatabase::families().value(0);
        contextMenu(w, editor, {"&Font", "&Family", QString(family).replace('&', "&&")});
        QCOMPARE(edit->currentCharFormat().fontFamilies().toStringList(), QStringList {family});
        contextMenu(w, editor, {"&Delete"});
        QCOMPARE(item->toPlainText(), QString());
        QVERIFY(item->editor());
    }

    void showColorsOpensTheColorDialogForThisEditor()
    {
        TextBoxWindow w;
        GraphicsTextBoxItem* item = w.addTextBox({P, P}, Hello, false);
        GraphicsTextBoxEdit* editor = item->editor();
        QVERIFY(!w.services.isAppColorDialogVisible());
        contextMenu(w, editor, {"&Font", "Show &Colors"});
        QVERIFY(w.services.isAppColorDialogVisible());
        QCOMPARE(w.services.appColorDialogReceiver(), editor->textEdit());
        w.settle();
        QVERIFY(item->editor());

        // A colour chosen there colours the selection.
        w.services.sharedDialogs()->colorDialog()->setCurrentColor(QColor(200, 30, 40));
        QCOMPARE(editor->textEdit()->textColor(), QColor(200, 30, 40));
        w.services.setAppColorDialogVisible(false);
    }

    void aClickMakesTheSharedDialogsWorkForTheEditor()
    {
        TextBoxWindow w;
        GraphicsTextBoxItem* item = w.addTextBox({P, P}, Hello, false);
        GraphicsTextBoxEdit* editor = item->editor();
        QCOMPARE(w.services.appFontDialogReceiver(), nullptr);
        w.click(w.viewPoint(editor, QPointF(4, 4)));
        QCOMPARE(w.services.appFontDialogReceiver(), editor->textEdit());
        QCOMPARE(w.services.appColorDialogReceiver(), editor->textEdit());

        // The dialogs show the format at the cursor, without calling the editor back.
        editor->textEdit()->selectAll();
        const QString family = familyWithABoldFace();
        QVERIFY2(!family.isEmpty(), "no installed font family has a bold face");
        editor->textEdit()->setFontFamily(family);
        editor->setFontBold(true);
        QTextCursor cursor = editor->textEdit()->textCursor();
        cursor.setPosition(3);
        editor->textEdit()->setTextCursor(cursor);
        QCOMPARE(w.services.sharedDialogs()->fontDialog()->currentFont().family(), family);
        QVERIFY(w.services.sharedDialogs()->fontDialog()->currentFont().bold());
        QCOMPARE(w.services.sharedDialogs()->colorDialog()->currentColor(), QColor(Qt::white));

        // A font chosen there applies to the selection.
        editor->textEdit()->selectAll();
        QFont font = editor->textEdit()->currentFont();
        font.setItalic(true);
        w.services.sharedDialogs()->fontDialog()->setCurrentFont(font);
        QVERIFY(editor->textEdit()->fontItalic());

        // The editor's end drops it as their receiver.
        item->closeEditor();
        w.settle();
        QCOMPARE(w.services.appFontDialogReceiver(), nullptr);
        QCOMPARE(w.services.appColorDialogReceiver(), nullptr);
    }

    void focusLossEndsEditingUnlessADialogWorksForIt_data()
    {
        QTest::addColumn<bool>("fontDialog");
        QTest::addColumn<bool>("colorDialog");
        QTest::addColumn<bool>("clickedFirst");
        QTest::addColumn<bool>("goesOn");
        QTest::newRow("no dialog") << false << false << true << false;
        QTest::newRow("font dialog") << true << false << true << true;
        QTest::newRow("colour dialog") << false << true << true << true;
        QTest::newRow("both dialogs") << true << true << true << true;
        QTest::newRow("colour dialog for another") << false << true << false << false;
        QTest::newRow("font dialog for another") << true << false << false << false;
    }

    void focusLossEndsEditingUnlessADialogWorksForIt()
    {
        QFETCH(bool, fontDialog);
        QFETCH(bool, colorDialog);
        QFETCH(bool, clickedFirst);
        QFETCH(bool, goesOn);
        TextBoxWindow w;
        GraphicsTextBoxItem* item = w.addTextBox({P, P}, Hello, false);
        if (clickedFirst)
            w.click(w.viewPoint(item->editor(), QPointF(4, 4)));
        QTest::keyClicks(w.view, QStringLiteral("Typed"));

        // The user turns to a dialog: the window loses the focus.
        w.services.setAppFontDialogVisible(fontDialog);
        w.services.setAppColorDialogVisible(colorDialog);
        QWidget* dialog = colorDialog
            ? static_cast<QWidget*>(w.services.sharedDialogs()->colorDialog())
            : static_cast<QWidget*>(w.services.sharedDialogs()->fontDialog());
        if (fontDialog || colorDialog) {
            QApplication::setActiveWindow(dialog);
            w.settle();
            QCOMPARE(bool(item->editor()), goesOn);
        }

        // Then clicks elsewhere in the document, which may or may not have the focus again.
        w.clickElsewhere();
        w.settle();
        QCOMPARE(bool(item->editor()), goesOn);
        QCOMPARE(w.storedText(item->elementId()).contains(QStringLiteral("Typed")), !goesOn);
        if (goesOn) {
            // A click in the editor goes on too.
            w.click(w.viewPoint(item->editor(), QPointF(4, 4)));
            w.settle();
            QVERIFY(item->editor());
        }

        // Once the dialogs are hidden, the next click elsewhere ends it.
        w.services.setAppFontDialogVisible(false);
        w.services.setAppColorDialogVisible(false);
        w.clickElsewhere();
        w.settle();
        QVERIFY(!item->editor());
        QVERIFY(w.storedText(item->elementId()).contains(QStringLiteral("Typed")));
    }

    void focusComesBackAfterADialog()
    {
        TextBoxWindow w;
        GraphicsTextBoxItem* item = w.addTextBox({P, P}, Hello, false);
        w.click(w.viewPoint(item->editor(), QPointF(4, 4)));
        w.services.setAppColorDialogVisible(true);
        QApplication::setActiveWindow(w.services.sharedDialogs()->colorDialog());
        w.settle();
        QVERIFY(!item->editor()->hasFocus());
        QApplication::setActiveWindow(&w.window);
        w.settle();
        QTest::keyClicks(w.view, QStringLiteral("Back"));
        QVERIFY(item->toPlainText().startsWith(QStringLiteral("Back")));
        w.services.setAppColorDialogVisible(false);
    }

    void typingGrowsTheEditor()
    {
        TextBoxWindow w;
        GraphicsTextBoxItem* item = w.addTextBox({P, P}, Hello, false);
        GraphicsTextBoxEdit* editor = item->editor();
        const QSizeF before = editor->size();
        QCOMPARE(before, item->document()->size());
        QTest::keyClick(w.view, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(w.view, QStringLiteral(" and a much longer line of text"));
        QVERIFY(editor->size().width() > before.width() + 50);
        QCOMPARE(editor->size().height(), before.height());
        QTest::keyClick(w.view, Qt::Key_Return);
        QTest::keyClicks(w.view, QStringLiteral("second"));
        QVERIFY(editor->size().height() > before.height() + 5);
        QCOMPARE(editor->size(), item->document()->size());
        // No scrolling: the text stays where the item draws it.
        QCOMPARE(editor->textEdit()->horizontalScrollBar()->value(), 0);
        QCOMPARE(editor->textEdit()->verticalScrollBar()->value(), 0);
        QCOMPARE(editor->textEdit()->viewport()->size(), editor->size().toSize());
    }
};

QTEST_MAIN(TestTextBoxEdit)
#include "tst_textboxedit.moc"
