#include "AppTestFiles.h"
#include "AppTestMain.h"
#include "DialogAnswerer.h"
#include "DocumentTool.h"
#include "GraphicsTextBoxItem.h"
#include "NetworkScene.h"
#include "PreferenceKeys.h"
#include "QmdKelvoKeys.h"
#include "QmdKelvoUnits.h"

#include <QFileDialog>
#include <QGraphicsView>
#include <QLineEdit>
#include <QPrinter>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolBar>

#include <cmath>

namespace K = QmdKelvoKeys;

// The document window: its document from the template, saving and loading with their errors,
// the close and undo prompts, the recent files, paste, zoom, tools and printing.
class TestAppWindow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    KelvoApplication* app() { return KelvoApplication::instance(); }
    QString path(const QString& name) { return m_dir.filePath(name); }

    static QStringList recentFiles()
    {
        QSettings settings;
        QStringList paths;
        const int count = settings.beginReadArray(PreferenceKeys::RecentFiles);
        for (int i = 0; i < count; ++i) {
            settings.setArrayIndex(i);
            paths << settings.value(PreferenceKeys::RecentFilesPath).toString();
        }
        settings.endArray();
        return paths;
    }

    static QmdKelvo::TickPoint tickPos(KelvoWindow* window, QmdItemId id)
    {
        QmdKelvoController* c = window->controller();
        return c->data(K::TickPos, c->elementIndex(id)).value<QmdKelvo::TickPoint>();
    }

    static double zoomScale(KelvoWindow* window)
    {
        return window->controller()->data(K::ZoomScale, QmdIndex()).toDouble();
    }

    KelvoWindow* openWindow(const QString& file)
    {
        app()->openDocument(file);
        return app()->windows().isEmpty() ? nullptr : app()->windows().last();
    }

private slots:
    void init()
    {
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect")));
        app()->settings()->remove(PreferenceKeys::TemplateFile);
        qunsetenv("KELVO_RESOURCES");
    }

    void cleanup() { deleteAllWindows(); }

    void templateFallbackAndNone()
    {
        deleteAllWindows();
        // The preference's template, as an untitled copy.
        app()->settings()->setValue(PreferenceKeys::TemplateFile,
                                    writeNetwork(path("template-pref.kvd"), 2));
        KelvoWindow* fromPreference = app()->newDocument();
        QCOMPARE(elementCount(fromPreference), 2);
        QVERIFY(fromPreference->controller()->fileName().isEmpty());
        QCOMPARE(fromPreference->windowTitle(), QStringLiteral("Untitled[*]"));
        QVERIFY(!fromPreference->isWindowModified());

        // A preference naming no file falls back to the bundle's template.
        QDir().mkpath(path("bundle"));
        writeNetwork(path("bundle/template.kvd"), 3);
        qputenv("KELVO_RESOURCES", path("bundle").toLocal8Bit());
        app()->settings()->setValue(PreferenceKeys::TemplateFile, path("missing.kvd"));
        QCOMPARE(elementCount(app()->newDocument()), 3);

        // Without either, the document's defaults.
        qputenv("KELVO_RESOURCES", path("empty-bundle").toLocal8Bit());
        KelvoWindow* plain = app()->newDocument();
        QCOMPARE(elementCount(plain), 0);
        QCOMPARE(DocumentTool::current(plain->controller()), 2);
    }

    void saveAsProposesUntitledAndAddsTheSuffix()
    {
        KelvoWindow* window = app()->newDocument();
        QSignalSpy saves(window, &DocumentWindow::saveRequested);
        QString proposed;
        DialogAnswerer answerer;
        answerer.answer([&](QWidget* widget) {
            auto* dialog = qobject_cast<QFileDialog*>(widget);
            QVERIFY(dialog);
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            proposed = name->text();
            name->setText(path("song"));
            QMetaObject::invokeMethod(dialog, "accept");
        });
        window->save();
        QCOMPARE(proposed, QStringLiteral("Untitled.kvd"));
        QCOMPARE(saves.count(), 2);
        QVERIFY(QFileInfo::exists(path("song.kvd")));
        QCOMPARE(window->controller()->fileName(), path("song.kvd"));
        QCOMPARE(window->windowTitle(), QStringLiteral("song[*]"));
        QCOMPARE(window->windowFilePath(), path("song.kvd"));
        QCOMPARE(recentFiles().first(), path("song.kvd"));

        // The dialog's geometry and state are kept for the next time.
        QVERIFY(
            !app()->settings()->value(PreferenceKeys::SaveAsDialogState).toByteArray().isEmpty());
    }

    void cancelledSaveAsDuringAQuitKeepsTheWindow()
    {
        KelvoWindow* window = app()->newDocument();
        modify(window);
        app()->setQuitting(true);
        DialogAnswerer answerer;
        answerer.clickButton(QMessageBox::Save);
        answerer.chooseFile(QString());
        QVERIFY(!window->close());
        settle();
        QCOMPARE(answerer.answered(), 2);
        QVERIFY(!app()->isQuitting());
        QVERIFY(app()->windows().contains(window));
        QVERIFY(window->isWindowModified());
    }

    void saveErrors_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("text");
        QTest::newRow("missing folder")
            << "no-such-folder/x.kvd"
            << "The network could not be saved as “x.kvd”. You may not have have permission. / "
               "To view or change permissions, open the item's properties in your file manager.";
        QTest::newRow("read-only file")
            << "read-only.kvd"
            << "The network could not be saved as “read-only.kvd”. You may not have have "
               "permission. / To view or change permissions, open the item's properties in your "
               "file manager.";
    }

    void saveErrors()
    {
        QFETCH(QString, file);
        QFETCH(QString, text);
        const QString target = path(file);
        if (file == QStringLiteral("read-only.kvd")) {
            writeNetwork(target);
            QFile::setPermissions(target, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        }
        KelvoWindow* window = app()->newDocument();
        modify(window);
        DialogAnswerer answerer;
        answerer.clickButton(QMessageBox::Ok);
        window->controller()->requestSave(target);
        QTRY_COMPARE(answerer.answered(), 1);
        QCOMPARE(answerer.messages(), QStringList({text}));
        QVERIFY(window->isWindowModified());
        QVERIFY(window->controller()->fileName().isEmpty());
    }

    void loadErrors_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::newRow("folder") << true;
        QTest::newRow("bad XML") << false;
    }

    void loadErrors()
    {
        QFETCH(bool, folder);
        KelvoWindow* keep = app()->newDocument();
        const QString file = folder ? path("folder.kvd") : path("bad.kvd");
        if (folder)
            QDir().mkpath(file);
        else
            writeText(file, "<?xml version=\"1.0\"?><plist><dict><key>Elements");
        DialogAnswerer answerer;
        answerer.clickButton(QMessageBox::Ok);
        app()->openDocument(file);
        settle();
        QCOMPARE(answerer.answered(), 1);
        const QString name = folder ? QStringLiteral("folder.kvd") : QStringLiteral("bad.kvd");
        QVERIFY2(answerer.messages().first().startsWith("The network “" + name
                                                        + "” could not be opened."),
                 qPrintable(answerer.messages().first()));
        // A file that can be read is not a matter of permissions.
        QVERIFY(answerer.messages().first().contains("An unknown error occured. / Code: "));
        // The window made for the file is gone; the others stay, and none takes its place.
        QCOMPARE(app()->windows(), QList<KelvoWindow*>({keep}));
    }

    void failingSaveFromTheClosePromptKeepsTheWindow()
    {
        const QString target = writeNetwork(path("locked.kvd"));
        KelvoWindow* window = openWindow(target);
        modify(window);
        QFile::setPermissions(target, QFile::ReadOwner);
        DialogAnswerer answerer;
        answerer.clickButton(QMessageBox::Save);
        answerer.clickButton(QMessageBox::Ok);
        QVERIFY(!window->close());
        QTRY_COMPARE(answerer.answered(), 2);
        settle();
        QVERIFY(app()->windows().contains(window));

        // A later save that works does not close the window.
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
        window->save();
        settle();
        QVERIFY(window->controller()->atCleanState());
        QVERIFY(app()->windows().contains(window));
        QVERIFY(window->isVisible());
    }

    void closePromptAnswers()
    {
        KelvoWindow* window = app()->newDocument();
        modify(window);
        QSignalSpy saves(window, &DocumentWindow::saveRequested);
        DialogAnswerer answerer;
        answerer.clickButton(QMessageBox::Cancel);
        QVERIFY(!window->close());
        QCOMPARE(saves.count(), 1);
        QVERIFY(answerer.messages().first().startsWith(
            "Do you want to save the changes you made to the network “Untitled”?"));

        // Save with a name closes the window once the file is written.
        const QPointer<KelvoWindow> guard(window);
        answerer.clickButton(QMessageBox::Save);
        answerer.chooseFile(path("closed.kvd"));
        window->close();
        QTRY_VERIFY(!guard);
        QVERIFY2(QFileInfo::exists(path("closed.kvd")), qPrintable(recentFiles().value(0)));

        KelvoWindow* discarded = app()->newDocument();
        modify(discarded);
        const QPointer<KelvoWindow> discardedGuard(discarded);
        answerer.clickButton(QMessageBox::Discard);
        QVERIFY(discarded->close());
        settle();
        QVERIFY(!discardedGuard);

        // A clean window closes without asking, after giving editors the chance to commit.
        KelvoWindow* clean = app()->newDocument();
        QSignalSpy cleanSaves(clean, &DocumentWindow::saveRequested);
        QVERIFY(clean->close());
        QCOMPARE(cleanSaves.count(), 1);
        QCOMPARE(answerer.answered(), 4);
    }

    void typingInATextBoxReachesSavesAndTheClosePrompt()
    {
        KelvoWindow* window = app()->newDocument();
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QGraphicsView* view = window->scene()->views().first();

        // A new text box opens for typing; the document is clean before anything is typed.
        QmdKelvoController* c = window->controller();
        c->requestAddTextBox(QmdKelvo::TickPoint {0, 0});
        settle();
        const QmdItemId id = c->elements().last();
        c->requestMarkAsCleanState();
        settle();
        QTest::keyClicks(view, QStringLiteral("Typed"));
        QVERIFY(c->atCleanState());

        // The save finds the text.
        DialogAnswerer answerer;
        answerer.chooseFile(path("typed.kvd"));
        window->save();
        settle();
        QVERIFY(c->data(K::Text, c->elementIndex(id)).toString().contains("Typed"));
        QFile saved(path("typed.kvd"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY(saved.readAll().contains("Typed"));

        // Typing again, then closing: the prompt sees the change.
        auto* textBox = dynamic_cast<GraphicsTextBoxItem*>(window->scene()->elementItem(id));
        QVERIFY(textBox);
        textBox->openEditor(QPointF(0, 0));
        QTest::keyClicks(view, QStringLiteral("More "));
        QVERIFY(c->atCleanState());
        answerer.clickButton(QMessageBox::Cancel);
        QVERIFY(!window->close());
        QCOMPARE(answerer.answered(), 2);
        QVERIFY(c->data(K::Text, c->elementIndex(id)).toString().contains("More Typed"));
    }

    void undoPastTheSavedStateAsks()
    {
        KelvoWindow* window = openWindow(writeNetwork(path("undo.kvd"), 1));
        modify(window);
        window->save();
        settle();
        QVERIFY(window->controller()->atCleanState());
        modify(window);

        // Away from the saved state, undo does not ask.
        DialogAnswerer answerer;
        window->undo();
        settle();
        QCOMPARE(elementCount(window), 2);
        QVERIFY(window->controller()->atCleanState());

        answerer.clickButton(QStringLiteral("&Don't Undo"));
        window->undo();
        settle();
        QCOMPARE(answerer.answered(), 1);
        QCOMPARE(answerer.messages().first(),
                 QStringLiteral("Warning / You are about to undo past the last point that this "
                                "file was saved. Do you want to do this?"));
        QCOMPARE(elementCount(window), 2);

        answerer.clickButton(QStringLiteral("&Undo"));
        window->undo();
        settle();
        QCOMPARE(elementCount(window), 1);
        // Redo never asks.
        window->redo();
        settle();
        QCOMPARE(elementCount(window), 2);
        QCOMPARE(answerer.answered(), 2);
        QCOMPARE(answerer.pending(), 0);
    }

    void recentFilesList()
    {
        QSettings().remove(PreferenceKeys::RecentFiles);
        KelvoWindow* window = app()->newDocument();
        const QString a = path("recent-a.kvd");
        const QString b = path("recent-b.kvd");
        window->controller()->requestSave(a);
        window->controller()->requestSave(b);
        window->controller()->requestSave(a);
        QCOMPARE(recentFiles(), QStringList({a, b}));
        window->controller()->requestSave(a);
        QCOMPARE(recentFiles(), QStringList({a, b}));

        for (int i = 0; i < 12; ++i)
            window->controller()->requestSave(path(QStringLiteral("recent-%1.kvd").arg(i)));
        QCOMPARE(recentFiles().size(), 10);
        QCOMPARE(recentFiles().first(), path("recent-11.kvd"));

        // Relative names go in as absolute paths.
        const QString previous = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        KelvoWindow::addToRecentFiles(QStringLiteral("relative.kvd"));
        QDir::setCurrent(previous);
        QCOMPARE(recentFiles().first(), path("relative.kvd"));
    }

    void openingSetsTheSelectionTool()
    {
        KelvoWindow* window = openWindow(writeNetwork(path("tool.kvd")));
        settle();
        QCOMPARE(DocumentTool::current(window->controller()), 0);
        QVERIFY(window->findChild<QAction*>(QStringLiteral("actionSelectionTool"))->isChecked());

        // The tool actions write the run-time key without an undo step.
        const QString undoText = window->controller()->undoText();
        window->findChild<QAction*>(QStringLiteral("actionVoiceGroupTool"))->trigger();
        settle();
        QCOMPARE(DocumentTool::current(window->controller()), 3);
        QCOMPARE(window->controller()->undoText(), undoText);

        // A value that names no tool is set back to the selection tool.
        DocumentTool::requestSet(window->controller(), 7);
        settle();
        QCOMPARE(DocumentTool::current(window->controller()), 0);
        QVERIFY(window->findChild<QAction*>(QStringLiteral("actionSelectionTool"))->isChecked());
    }

    void repeatedPasteStepsOneDivision()
    {
        KelvoWindow* window = app()->newDocument();
        QmdKelvoController* c = window->controller();
        QmdItemId node = 0;
        c->requestAddNode(QmdKelvo::TickPoint {0, 0}, QmdKelvo::NoCreationFlags,
                          QmdRequestOptions(QStringLiteral("Node")), &node);
        c->requestCopy({node});
        QCOMPARE(c->data(K::DivsPerPrincipal, QmdIndex()).toInt(), 4);

        window->setPasteTickPoint(QmdKelvo::TickPoint {665280, 1330560});
        window->paste();
        window->paste();
        settle();
        const QmdItemIdList ids = c->elements();
        QCOMPARE(ids.size(), 3);
        const QmdKelvo::TickPoint first = tickPos(window, ids.at(1));
        const QmdKelvo::TickPoint second = tickPos(window, ids.at(2));
        QCOMPARE(first, QmdKelvo::TickPoint({665280, 1330560}));
        QCOMPARE(second.x - first.x, 166320);
        QCOMPARE(second.y - first.y, 166320);

        // A new point from the view starts again there.
        window->setPasteTickPoint(QmdKelvo::TickPoint {0, 665280});
        window->paste();
        settle();
        QCOMPARE(tickPos(window, c->elements().last()), QmdKelvo::TickPoint({0, 665280}));
    }

    void zoomIsClampedAndNotUndoable()
    {
        KelvoWindow* window = app()->newDocument();
        const QString undoText = window->controller()->undoText();
        QSignalSpy canZoomIn(window, &KelvoWindow::canZoomInChanged);
        window->zoom(100);
        settle();
        QCOMPARE(zoomScale(window), 8.0);
        QVERIFY(!window->canZoomIn());
        QVERIFY(window->canZoomOut());
        QVERIFY(canZoomIn.count() > 0);
        QCOMPARE(canZoomIn.last().first().toBool(), false);
        window->zoomIn();
        QCOMPARE(zoomScale(window), 8.0);
        window->zoom(0.1);
        QCOMPARE(zoomScale(window), 0.25);
        QVERIFY(!window->canZoomOut());
        window->zoomOut();
        QCOMPARE(zoomScale(window), 0.25);
        window->zoomIn();
        QCOMPARE(zoomScale(window), 0.5);
        // Values without a meaning stand for actual size.
        for (double meaningless : {0.0, -2.0, std::nan(""), HUGE_VAL}) {
            window->zoom(meaningless);
            QCOMPARE(zoomScale(window), 1.0);
        }
        window->zoom(3);
        window->zoomActualSize();
        QCOMPARE(zoomScale(window), 1.0);
        QCOMPARE(window->controller()->undoText(), undoText);
    }

    void printsTheNetworkToPdf()
    {
        KelvoWindow* window = app()->newDocument();
        modify(window);
        QPrinter* printer = window->printer();
        QCOMPARE(printer->pageLayout().orientation(), QPageLayout::Landscape);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(path("network.pdf"));
        window->onPrintAccepted();
        QVERIFY(QFileInfo(path("network.pdf")).size() > 0);
        QVERIFY(!window->isBlockedByDialog());
    }

    void titleFollowsTheFileAndTheCleanState()
    {
        KelvoWindow* window = openWindow(writeNetwork(path("My Song.v2.kvd")));
        QCOMPARE(window->windowTitle(), QStringLiteral("My Song.v2[*]"));
        QCOMPARE(window->documentTitle(), QStringLiteral("My Song.v2"));
        QVERIFY(!window->isWindowModified());
        modify(window);
        QVERIFY(window->isWindowModified());
    }
};

KELVO_APP_TEST_MAIN(TestAppWindow)
#include "tst_appwindow.moc"
