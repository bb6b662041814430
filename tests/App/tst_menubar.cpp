#include "AbstractSync.h"
#include "AppTestFiles.h"
#include "AppTestMain.h"
#include "DialogAnswerer.h"
#include "DocumentTool.h"
#include "GraphicsTextBoxEdit.h"
#include "GraphicsTextBoxItem.h"
#include "KelvoMenuBar.h"
#include "NetworkScene.h"
#include "PreferenceKeys.h"
#include "QmdKelvoKeys.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGraphicsView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTextEdit>
#include <QWindow>

namespace K = QmdKelvoKeys;

// The menu bar of a document window: the states of its actions while the window is usable and
// while a dialog blocks it, texts that follow the document, the recent files and examples, the
// Help menu, the keys, and the edit commands that go to a text field.
class TestMenuBar : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    KelvoApplication* app() { return KelvoApplication::instance(); }
    QString path(const QString& name) { return m_dir.filePath(name); }

    static QMenu* menu(KelvoWindow* window, const QString& title)
    {
        for (QAction* action : window->kelvoMenuBar()->actions()) {
            if (action->text() == title)
                return action->menu();
        }
        qFatal("no menu %s", qPrintable(title));
        return nullptr;
    }

    // The action of a menu whose text holds `text`.
    static QAction* action(QMenu* menu, const QString& text)
    {
        for (QAction* action : menu->actions()) {
            if (action->text().contains(text))
                return action;
        }
        return nullptr;
    }

    static QAction* action(KelvoWindow* window, const QString& menuTitle, const QString& text)
    {
        QAction* found = action(menu(window, menuTitle), text);
        if (!found)
            qFatal("no action %s", qPrintable(text));
        return found;
    }

    static QStringList texts(QMenu* menu)
    {
        QStringList list;
        for (QAction* action : menu->actions())
            list << (action->isSeparator() ? QStringLiteral("|") : action->text());
        return list;
    }

    static void setRootValue(KelvoWindow* window, const QString& key, const QVariant& value)
    {
        window->controller()->requestSetData(key, value, QmdIndex(),
                                             QmdRequestOptions(Qmd::NotUndoable, QString()));
        settle();
    }

    static void setRecentFiles(const QStringList& paths)
    {
        QSettings settings;
        settings.remove(PreferenceKeys::RecentFiles);
        settings.beginWriteArray(PreferenceKeys::RecentFiles, int(paths.size()));
        for (int i = 0; i < paths.size(); ++i) {
            settings.setArrayIndex(i);
            settings.setValue(PreferenceKeys::RecentFilesPath, paths.at(i));
        }
        settings.endArray();
    }

    static KelvoWindow* activeWindow()
    {
        KelvoWindow* window = KelvoApplication::instance()->newDocument();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window))
            qFatal("the window did not become active");
        return window;
    }

    // The window commands whose state follows whether the window can be used.
    QList<QAction*> windowCommands(KelvoWindow* w)
    {
        return {action(w, "&File", "&Close"),
                action(w, "&File", "&Save"),
                action(w, "&File", "Save &As"),
                action(w, "&File", "Save All"),
                action(w, "&File", "Page Set&up"),
                action(w, "&File", "&Print"),
                menu(w, "&Edit")->menuAction(),
                action(w, "&View", "Actual Size"),
                action(w, "&View", "Zoom &In"),
                action(w, "&View", "Zoom &Out"),
                action(w, "&View", "&Grid"),
                action(w, "&View", "Turn &Snap"),
                action(w, "&View", "Node &Counters"),
                action(w, "&View", "Node &Last"),
                action(w, "&View", "&Edge Signalling"),
                menu(w, "&Control")->menuAction(),
                action(w, "&Control", "Go to &Start"),
                action(w, "&Control", "Play"),
                action(w, "&Control", "MIDI &Triggering"),
                menu(w, "&Tool")->menuAction()};
    }

private slots:
    void init()
    {
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect")));
        app()->settings()->remove(PreferenceKeys::TemplateFile);
        qunsetenv("KELVO_RESOURCES");
    }

    void cleanup() { deleteAllWindows(); }

    void statesFollowTheWindowAndItsDialogs()
    {
        KelvoWindow* window = app()->newDocument();
        for (QAction* command : windowCommands(window))
            QVERIFY2(command->isEnabled(), qPrintable(command->text()));
        // Nothing to undo or redo yet.
        QVERIFY(!action(window, "&Edit", "&Undo")->isEnabled());
        QVERIFY(!action(window, "&Edit", "&Redo")->isEnabled());
        QCOMPARE(action(window, "&Edit", "&Undo")->text(), QStringLiteral("&Undo "));

        // A dialog of the window blocks its commands until it ends.
        window->beginBlockByDialog();
        for (QAction* command : windowCommands(window))
            QVERIFY2(!command->isEnabled(), qPrintable(command->text()));
        // The application's commands stay.
        QVERIFY(action(window, "&File", "&New")->isEnabled());
        QVERIFY(action(window, "&File", "E&xit")->isEnabled());
        QVERIFY(action(window, "&View", "Hide &Inspector")->isEnabled());
        window->endBlockByDialog();
        for (QAction* command : windowCommands(window))
            QVERIFY2(command->isEnabled(), qPrintable(command->text()));

        // Save All waits for every window's dialog; the window's own saving does not.
        KelvoWindow* other = app()->newDocument();
        other->beginBlockByDialog();
        QVERIFY(!action(window, "&File", "Save All")->isEnabled());
        QVERIFY(action(window, "&File", "&Save")->isEnabled());
        other->endBlockByDialog();
        QVERIFY(action(window, "&File", "Save All")->isEnabled());

        // Undo and its text follow the document.
        window->controller()->requestAddNode(QmdKelvo::TickPoint {0, 0});
        settle();
        QAction* undo = action(window, "&Edit", "&Undo");
        QVERIFY(undo->isEnabled());
        QCOMPARE(undo->text(), QStringLiteral("&Undo ") + window->controller()->undoText());
        QVERIFY(undo->text().size() > 6);
        window->beginBlockByDialog();
        QVERIFY(!undo->isEnabled());
        window->endBlockByDialog();
        QVERIFY(undo->isEnabled());

        // Zoom In stops at the largest scale.
        window->zoom(8.0);
        settle();
        QVERIFY(!action(window, "&View", "Zoom &In")->isEnabled());
        QVERIFY(action(window, "&View", "Zoom &Out")->isEnabled());
    }

    void textsFollowTheDocument()
    {
        // The template shows the grid and snaps to it.
        KelvoWindow* window = app()->newDocument();
        QAction* grid = action(window, "&View", "&Grid");
        QCOMPARE(grid->text(), QStringLiteral("Hide &Grid"));
        grid->trigger();
        settle();
        QVERIFY(!window->controller()->data(K::ShowGrid, QmdIndex()).toBool());
        QCOMPARE(grid->text(), QStringLiteral("Show &Grid"));
        grid->trigger();
        settle();
        QCOMPARE(grid->text(), QStringLiteral("Hide &Grid"));
        QAction* snap = action(window, "&View", "Turn &Snap");
        QCOMPARE(snap->text(), QStringLiteral("Turn &Snap to Grid Off"));
        setRootValue(window, K::SnapToGrid, false);
        QCOMPARE(snap->text(), QStringLiteral("Turn &Snap to Grid On"));
        QAction* counters = action(window, "&View", "Node &Counters");
        QCOMPARE(counters->text(), QStringLiteral("Show Node &Counters"));
        counters->trigger();
        settle();
        QCOMPARE(counters->text(), QStringLiteral("Hide Node &Counters"));
        setRootValue(window, K::ShowNodeLastNotesSent, true);
        QCOMPARE(action(window, "&View", "Node &Last")->text(),
                 QStringLiteral("Hide Node &Last Note(s) Sent"));
        setRootValue(window, K::ShowEdgeSignalling, true);
        QCOMPARE(action(window, "&View", "&Edge Signalling")->text(),
                 QStringLiteral("Hide &Edge Signalling"));
        QAction* triggering = action(window, "&Control", "MIDI &Triggering");
        QCOMPARE(triggering->text(), QStringLiteral("Enable MIDI &Triggering"));
        triggering->trigger();
        settle();
        QCOMPARE(triggering->text(), QStringLiteral("Disable MIDI &Triggering"));

        // A document opens with the texts of its own settings.
        window->controller()->requestSave(path("grid.kvd"));
        settle();
        deleteAllWindows();
        app()->openDocument(path("grid.kvd"));
        KelvoWindow* opened = app()->windows().last();
        QCOMPARE(action(opened, "&View", "&Grid")->text(), QStringLiteral("Hide &Grid"));
        QCOMPARE(action(opened, "&View", "Node &Counters")->text(),
                 QStringLiteral("Hide Node &Counters"));
        QCOMPARE(action(opened, "&View", "Turn &Snap")->text(),
                 QStringLiteral("Turn &Snap to Grid On"));

        // Play and pause name the space bar, which does the work.
        QAction* play = action(opened, "&Control", "Play");
        QCOMPARE(play->text(), QStringLiteral("Play\tSpace"));
        QVERIFY(play->shortcut().isEmpty());
        play->trigger();
        settle();
        QCOMPARE(play->text(), QStringLiteral("Pause\tSpace"));
        opened->controller()->requestSetPlayback(false);
        settle();
        QCOMPARE(play->text(), QStringLiteral("Play\tSpace"));
    }

    void toolChoiceLeavesTheUndoText()
    {
        KelvoWindow* window = app()->newDocument();
        window->controller()->requestAddNode(QmdKelvo::TickPoint {0, 0});
        settle();
        QAction* undo = action(window, "&Edit", "&Undo");
        const QString undoText = undo->text();
        QAction* zoom = action(window, "&Tool", "   &Zoom");
        zoom->trigger();
        settle();
        QCOMPARE(DocumentTool::current(window->controller()), 1);
        QVERIFY(zoom->isChecked());
        QCOMPARE(undo->text(), undoText);
        // The window's chooser follows as well.
        QVERIFY(window->findChild<QAction*>(QStringLiteral("actionZoomTool"))->isChecked());

        // A choice made in the window checks the menu's tool.
        window->findChild<QAction*>(QStringLiteral("actionTextBoxTool"))->trigger();
        settle();
        QVERIFY(action(window, "&Tool", "   &Text Box")->isChecked());
        // A value that names no tool goes back to the selection tool.
        DocumentTool::requestSet(window->controller(), 9);
        settle();
        QVERIFY(action(window, "&Tool", "   &Selection")->isChecked());
        QVERIFY(!action(window, "&Tool", "General")->isEnabled());
    }

    void recentFiles()
    {
        QDir().mkpath(path("a"));
        QDir().mkpath(path("b"));
        QDir().mkpath(path("c"));
        setRecentFiles({writeNetwork(path("a/Song.kvd")), path("gone/Missing.kvd"),
                        writeNetwork(path("b/Song.kvd")), writeNetwork(path("c/Other.kvd"), 2)});
        KelvoWindow* window = app()->newDocument();
        QMenu* recent = action(window, "&File", "Open &Recent")->menu();
        emit recent->aboutToShow();
        QCOMPARE(texts(recent),
                 QStringList({QStringLiteral("Song — a"), QStringLiteral("Song — b"),
                              QStringLiteral("Other"), QStringLiteral("|"),
                              QStringLiteral("&Clear Menu")}));
        QVERIFY(action(recent, "&Clear Menu")->isEnabled());
        QCOMPARE(action(recent, "Song — b")->data().toString(), path("b/Song.kvd"));

        // Opening one: its file in a window of its own.
        action(recent, "Other")->trigger();
        settle();
        QCOMPARE(app()->windows().size(), 2);
        QCOMPARE(app()->windows().last()->controller()->fileName(), path("c/Other.kvd"));
        QCOMPARE(elementCount(app()->windows().last()), 2);

        // The missing file stays stored until the list is cleared.
        QSettings settings;
        QCOMPARE(settings.beginReadArray(PreferenceKeys::RecentFiles), 4);
        settings.endArray();
        emit recent->aboutToShow();
        action(recent, "&Clear Menu")->trigger();
        QCOMPARE(settings.beginReadArray(PreferenceKeys::RecentFiles), 0);
        settings.endArray();
        emit recent->aboutToShow();
        QCOMPARE(texts(recent), QStringList({QStringLiteral("&Clear Menu")}));
        QVERIFY(!action(recent, "&Clear Menu")->isEnabled());
    }

    void examples()
    {
        QDir().mkpath(path("bundle/Examples/Folder.kvd"));
        writeNetwork(path("bundle/Examples/Walk.kvd"), 3);
        writeNetwork(path("bundle/Examples/Canon.kvd"), 1);
        writeNetwork(path("bundle/Examples/bass Line.kvd"), 1);
        writeText(path("bundle/Examples/Readme.txt"), "not a network");
        qputenv("KELVO_RESOURCES", path("bundle").toLocal8Bit());
        KelvoWindow* window = app()->newDocument();
        QMenu* examples = action(window, "&File", "Open &Example")->menu();
        emit examples->aboutToShow();
        QCOMPARE(texts(examples),
                 QStringList({QStringLiteral("bass Line"), QStringLiteral("Canon"),
                              QStringLiteral("Walk")}));
        QVERIFY(!action(examples, "Walk")->icon().isNull());

        // An example opens as a new untitled document.
        action(examples, "Walk")->trigger();
        settle();
        QCOMPARE(app()->windows().size(), 2);
        KelvoWindow* opened = app()->windows().last();
        QVERIFY(opened->controller()->fileName().isEmpty());
        QCOMPARE(elementCount(opened), 3);

        qputenv("KELVO_RESOURCES", path("empty-bundle").toLocal8Bit());
        emit examples->aboutToShow();
        QCOMPARE(texts(examples), QStringList({QStringLiteral("(Empty)")}));
        QVERIFY(!examples->actions().first()->isEnabled());
    }

    void menusTextsAndHelp()
    {
        KelvoWindow* window = app()->newDocument();
        QList<QAction*> menus = window->kelvoMenuBar()->actions();
        QStringList titles;
        for (QAction* menuAction : menus)
            titles << menuAction->text();
        QCOMPARE(titles, QStringList({"&File", "&Edit", "&View", "&Control", "&Tool", "&Help"}));

        // Three full stops show as one ellipsis.
        const QString ellipsis(QChar(0x2026));
        for (const auto& [menuTitle, text] :
             {std::pair {"&File", "&Open"}, std::pair {"&File", "Save &As"},
              std::pair {"&File", "Page Set&up"}, std::pair {"&File", "&Print"},
              std::pair {"&Edit", "&Preferences"}})
            QCOMPARE(action(window, menuTitle, text)->text(), QString(text) + ellipsis);
        for (QAction* each : window->kelvoMenuBar()->findChildren<QAction*>())
            QVERIFY2(!each->text().contains(QStringLiteral("...")), qPrintable(each->text()));

        // The help links are offered while their preferences name them.
        QMenu* help = menu(window, "&Help");
        app()->settings()->remove(PreferenceKeys::WebsiteUrl);
        app()->settings()->remove(PreferenceKeys::SupportMailAddress);
        emit help->aboutToShow();
        QVERIFY(action(help, "&About Kelvo")->isEnabled());
        QVERIFY(action(help, "Kelvo &Manual")->isEnabled());
        QVERIFY(!action(help, "Kelvo &Website")->isEnabled());
        QVERIFY(!action(help, "Kelvo &Community")->isEnabled());
        QVERIFY(!action(help, "Contact &Support")->isEnabled());
        app()->settings()->setValue(PreferenceKeys::WebsiteUrl, QStringLiteral("example.org"));
        emit help->aboutToShow();
        QVERIFY(action(help, "Kelvo &Website")->isEnabled());
        QVERIFY(action(help, "Kelvo &Community")->isEnabled());
        QVERIFY(!action(help, "Contact &Support")->isEnabled());
        app()->settings()->setValue(PreferenceKeys::SupportMailAddress,
                                    QStringLiteral("help@example.org"));
        emit help->aboutToShow();
        QVERIFY(action(help, "Contact &Support")->isEnabled());
        app()->settings()->remove(PreferenceKeys::WebsiteUrl);
        app()->settings()->remove(PreferenceKeys::SupportMailAddress);

        // The inspector's and the synthesizer's entries follow their windows.
        QAction* inspector = action(window, "&View", "Hide &Inspector");
        inspector->trigger();
        QCOMPARE(inspector->text(), QStringLiteral("Show &Inspector"));
        inspector->trigger();
        QCOMPARE(inspector->text(), QStringLiteral("Hide &Inspector"));
        QAction* synth = action(window, "&View", "Show &Synthesizer");
        synth->trigger();
        QCOMPARE(synth->text(), QStringLiteral("Hide &Synthesizer"));
        synth->trigger();
        QTRY_COMPARE(synth->text(), QStringLiteral("Show &Synthesizer"));
    }

    void keys()
    {
        KelvoWindow* window = activeWindow();
        QWidget* view = window->findChild<QWidget*>(QStringLiteral("networkView"));
        view->setFocus();
        const QList<Qt::Key> digits {Qt::Key_1, Qt::Key_2, Qt::Key_3, Qt::Key_4, Qt::Key_5};
        for (int tool : {2, 4, 1, 3, 0}) {
            QTest::keyClick(view, digits.at(tool), Qt::ControlModifier);
            settle();
            QCOMPARE(DocumentTool::current(window->controller()), tool);
        }

        // Standard keys as the platform's scheme gives them.
        window->controller()->requestAddNode(QmdKelvo::TickPoint {0, 0});
        settle();
        QCOMPARE(elementCount(window), 1);
        const QKeySequence undo = action(window, "&Edit", "&Undo")->shortcuts().value(0);
        QVERIFY(!undo.isEmpty());
        QTest::keySequence(view, undo);
        settle();
        QCOMPARE(elementCount(window), 0);

        // Space in a check box ticks it and leaves the transport alone.
        auto* box = new QCheckBox(QStringLiteral("Box"), window);
        box->show();
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Space);
        QVERIFY(box->isChecked());
        QVERIFY(!window->controller()->sync()->isPlaying());

        // Ctrl+Q quits: the unsaved window asks, and Cancel stops the quit.
        modify(window);
        view->setFocus();
        DialogAnswerer answerer;
        answerer.clickButton(QMessageBox::Cancel);
        QTest::keyClick(view, Qt::Key_Q, Qt::ControlModifier);
        settle();
        QCOMPARE(answerer.answered(), 1);
        QVERIFY(!app()->isQuitting());
        QCOMPARE(app()->windows().size(), 1);
    }

    void saveAsHasItsKeyEverywhere()
    {
        KelvoWindow* window = activeWindow();
        QCOMPARE(action(window, "&File", "Save &As")->shortcut(),
                 QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
        DialogAnswerer answerer;
        const QString file = path("by-key.kvd");
        answerer.chooseFile(file);
        QWidget* view = window->findChild<QWidget*>(QStringLiteral("networkView"));
        view->setFocus();
        QTest::keyClick(view, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_COMPARE(window->controller()->fileName(), file);
    }

    void editCommandsReachTheFocusedField()
    {
        KelvoWindow* window = activeWindow();
        QmdKelvoController* controller = window->controller();
        controller->requestAddNode(QmdKelvo::TickPoint {0, 0});
        settle();
        window->selectAll();
        QCOMPARE(window->selectedElementIds().size(), 1);

        // Copy in a text field copies its text.
        auto* field = new QLineEdit(QStringLiteral("some words"), window);
        field->show();
        field->setFocus();
        field->selectAll();
        QApplication::clipboard()->clear();
        action(window, "&Edit", "&Copy")->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("some words"));
        QVERIFY(!QmdKelvoController::canPaste());

        // Delete, which text fields have no slot for, always reaches the window.
        action(window, "&Edit", "&Delete")->trigger();
        settle();
        QCOMPARE(elementCount(window), 0);
        QCOMPARE(field->text(), QStringLiteral("some words"));

        // Copy while a text box is being edited copies its text.
        controller->requestAddTextBox(QmdKelvo::TickPoint {0, 0}, QStringLiteral("boxed text"));
        settle();
        auto* view = window->findChild<QGraphicsView*>(QStringLiteral("networkView"));
        view->setFocus();
        auto* editor = dynamic_cast<GraphicsTextBoxEdit*>(view->scene()->focusItem());
        QVERIFY(editor);
        editor->textEdit()->selectAll();
        QApplication::clipboard()->clear();
        action(window, "&Edit", "&Copy")->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("boxed text"));
        QVERIFY(!QmdKelvoController::canPaste());
    }

    // After Alt the menu bar has the focus; the edit keys then reach the window's document.
    void editKeysAfterAlt()
    {
        KelvoWindow* window = activeWindow();
        QmdKelvoController* controller = window->controller();
        controller->requestAddNode(QmdKelvo::TickPoint {0, 0});
        controller->requestAddNode(QmdKelvo::TickPoint {665280, 0});
        settle();
        auto* view = window->findChild<QGraphicsView*>(QStringLiteral("networkView"));
        view->setFocus();
        QApplication::clipboard()->clear();
        // Alt pressed and released alone hands the focus to the menu bar (a second Alt
        // takes it back).
        QWindow* handle = window->windowHandle();
        const auto pressAlt = [handle] {
            if (!qobject_cast<QMenuBar*>(QApplication::focusWidget()))
                QTest::keyClick(handle, Qt::Key_Alt);
            QTRY_VERIFY(qobject_cast<QMenuBar*>(QApplication::focusWidget()));
        };
        const auto altThen = [&](Qt::Key key) {
            pressAlt();
            QTest::keyClick(handle, key, Qt::ControlModifier);
            settle();
        };

        altThen(Qt::Key_A);
        QCOMPARE(window->selectedElementIds().size(), 2);
        altThen(Qt::Key_C);
        QVERIFY(QmdKelvoController::canPaste());
        altThen(Qt::Key_X);
        QCOMPARE(elementCount(window), 0);
        altThen(Qt::Key_V);
        QCOMPARE(elementCount(window), 2);
        // Edit > Select All from the menu while the bar has the focus.
        window->scene()->clearSelection();
        pressAlt();
        action(window, "&Edit", "Select A&ll")->trigger();
        QCOMPARE(window->selectedElementIds().size(), 2);
    }
};

KELVO_APP_TEST_MAIN(TestMenuBar)
#include "tst_menubar.moc"
