#include "AppServices.h"
#include "AppTestFiles.h"
#include "AppTestMain.h"
#include "DialogAnswerer.h"
#include "DocumentTool.h"
#include "Inspector.h"
#include "MidiSynthDialog.h"
#include "SharedDialogs.h"
#include "WindowPlacement.h"

#include <QAbstractButton>
#include <QColorDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolBar>
#include <QWindow>

#include <algorithm>

#include "AbstractSync.h"

// A receiver of the shared colour dialog.
class ColorReceiver : public QObject
{
    Q_OBJECT
public:
    int calls = 0;
public slots:
    void onColor(const QColor&) { ++calls; }
};

// Documents and windows: opening, placement, the focus window, the Space key and quitting.
class TestAppDocuments : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    KelvoApplication* app() { return KelvoApplication::instance(); }

    QString network(const QString& name, int nodes = 1)
    {
        return writeNetwork(m_dir.filePath(name), nodes);
    }

    static bool isPlaying(KelvoWindow* window) { return window->controller()->sync()->isPlaying(); }

    void activate(KelvoWindow* window)
    {
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        settle();
    }

private slots:
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect"))); }

    // Runs first, on the untitled window of start-up.
    void startWindowIsReusedOnlyWhileUnchanged()
    {
        QCOMPARE(app()->windows().size(), 1);
        KelvoWindow* start = app()->windows().first();
        QCOMPARE(app()->replaceableWindow(), start);
        modify(start);
        app()->openDocument(network("after-edit.kvd"));
        QCOMPARE(app()->windows().size(), 2);
        QVERIFY(start->controller()->fileName().isEmpty());
        QCOMPARE(app()->replaceableWindow(), nullptr);
        deleteAllWindows();

        // A window that closes on a file it cannot read leaves an untitled window, which the
        // next file opened takes while it is unchanged.
        DialogAnswerer answerer;
        answerer.clickButton(QMessageBox::Ok);
        app()->openDocument(writeText(m_dir.filePath("broken.kvd"), "not a network"));
        settle();
        QCOMPARE(answerer.answered(), 1);
        QCOMPARE(app()->windows().size(), 1);
        KelvoWindow* replacement = app()->windows().first();
        QCOMPARE(app()->replaceableWindow(), replacement);
        const QString file = network("into-start.kvd", 3);
        app()->openDocument(file);
        QCOMPARE(app()->windows().size(), 1);
        QCOMPARE(app()->windows().first(), replacement);
        QCOMPARE(replacement->controller()->fileName(), file);
        QCOMPARE(elementCount(replacement), 3);
        QCOMPARE(app()->replaceableWindow(), nullptr);
        deleteAllWindows();
    }

    void oneFileByThreePathsOpensOnce()
    {
        const QString file = network("once.kvd");
        QVERIFY(QFile::link(file, m_dir.filePath("link.kvd")));
        app()->openDocument(file);
        QCOMPARE(app()->windows().size(), 1);
        KelvoWindow* window = app()->windows().first();
        window->showMinimized();
        settle();

        const QString previous = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        app()->openDocuments({QStringLiteral("once.kvd"), QStringLiteral("./sub/../once.kvd"),
                              m_dir.filePath("link.kvd")});
        QDir::setCurrent(previous);
        QCOMPARE(app()->windows().size(), 1);
        QVERIFY(!window->isMinimized());

        // Two names of one file in one call open one window; the path loaded is absolute.
        deleteAllWindows();
        QDir::setCurrent(m_dir.path());
        app()->openDocuments({QStringLiteral("once.kvd"), m_dir.filePath("link.kvd")});
        QDir::setCurrent(previous);
        QCOMPARE(app()->windows().size(), 1);
        QCOMPARE(app()->windows().first()->controller()->fileName(), file);
        deleteAllWindows();
    }

    void missingFilesAreSkipped()
    {
        app()->openDocuments({m_dir.filePath("no-such.kvd")});
        QCOMPARE(app()->windows().size(), 0);
    }

    void placementBesideTheInspector_data()
    {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("inspector");
        QTest::addColumn<QRect>("region");
        const QRect screen(0, 0, 1280, 800);
        QTest::newRow("inspector right")
            << screen << QRect(990, 0, 290, 400) << QRect(0, 0, 985, 800);
        QTest::newRow("inspector left")
            << screen << QRect(0, 0, 290, 400) << QRect(295, 0, 985, 800);
        QTest::newRow("inspector near the left")
            << screen << QRect(49, 0, 290, 400) << QRect(344, 0, 936, 800);
        QTest::newRow("inspector in the middle") << screen << QRect(500, 0, 290, 400) << QRect();
        QTest::newRow("offset area, inspector right")
            << QRect(1920, 32, 1280, 768) << QRect(2910, 32, 290, 400) << QRect(1920, 32, 985, 768);
        QTest::newRow("offset area, inspector left")
            << QRect(1920, 32, 1280, 768) << QRect(1920, 32, 290, 400) << QRect(2215, 32, 985, 768);
        QTest::newRow("offset area, inspector at the desktop's left")
            << QRect(1920, 32, 1280, 768) << QRect(0, 32, 290, 400) << QRect();
    }

    void placementBesideTheInspector()
    {
        QFETCH(QRect, available);
        QFETCH(QRect, inspector);
        QFETCH(QRect, region);
        QCOMPARE(WindowPlacement::besideInspector(available, inspector), region);
    }

    void centringAddsTheAreasOrigin()
    {
        QCOMPARE(WindowPlacement::centred(QRect(0, 0, 1280, 800), QSize(600, 360)),
                 QPoint(340, 220));
        QCOMPARE(WindowPlacement::centred(QRect(1920, 32, 1280, 768), QSize(601, 361)),
                 QPoint(2260, 236));
    }

    void cascadeStaysOnTheArea_data()
    {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("previous");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRect>("frame");
        const QRect offset(1920, 32, 1280, 768);
        QTest::newRow("first") << offset << QRect() << QSize(800, 600) << QRect(1920, 32, 800, 600);
        QTest::newRow("a step on")
            << offset << QRect(1920, 32, 800, 600) << QSize(800, 600) << QRect(1948, 60, 800, 600);
        QTest::newRow("back to the left") << offset << QRect(2390, 100, 800, 600) << QSize(800, 600)
                                          << QRect(1920, 128, 800, 600);
        QTest::newRow("back to the top")
            << offset << QRect(2000, 180, 800, 600) << QSize(800, 600) << QRect(2028, 32, 800, 600);
        QTest::newRow("larger than the area") << offset << QRect(1920, 32, 1280, 768)
                                              << QSize(2000, 2000) << QRect(1948, 60, 1252, 740);
        QTest::newRow("as tall as the area") << offset << QRect(1920, 32, 1000, 768)
                                             << QSize(1000, 768) << QRect(1948, 32, 1000, 768);
        QTest::newRow("previous off the area")
            << offset << QRect(0, 0, 400, 300) << QSize(400, 300) << QRect(1920, 32, 400, 300);
    }

    void cascadeStaysOnTheArea()
    {
        QFETCH(QRect, available);
        QFETCH(QRect, previous);
        QFETCH(QSize, size);
        QFETCH(QRect, frame);
        QCOMPARE(WindowPlacement::cascaded(available, previous, size), frame);
        QRect last = previous;
        for (int i = 0; i < 100; ++i) {
            last = WindowPlacement::cascaded(available, last, size);
            QVERIFY(available.contains(last));
        }
    }

    // The placement waits for the window manager's frame however long it takes.
    void placementWaitsForTheFrame()
    {
        QWidget window;
        window.show();
        QElapsedTimer clock;
        clock.start();
        int placed = 0;
        WindowPlacement::whenFramed(
            &window, [&] { ++placed; }, [&] { return clock.elapsed() > 2500; });
        QCOMPARE(placed, 0);
        QTRY_COMPARE_WITH_TIMEOUT(placed, 1, 30000);
        QVERIFY(clock.elapsed() > 2500);
        QTest::qWait(100);
        QCOMPARE(placed, 1);
    }

    void firstWindowIsPlacedByTheInspector()
    {
        deleteAllWindows();
        Inspector* inspector = app()->inspector();
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        const QPoint home = inspector->pos();

        inspector->move(available.right() - inspector->frameGeometry().width() + 1, available.y());
        KelvoWindow* first = app()->newDocument();
        // Never narrower than its tool bar, even on a small screen.
        const int least
            = first->minimumWidth() + first->frameGeometry().width() - first->geometry().width();
        QCOMPARE(first->frameGeometry().left(), available.left());
        QCOMPARE(first->frameGeometry().right(),
                 std::max(inspector->frameGeometry().left() - 6, available.left() + least - 1));
        QCOMPARE(first->frameGeometry().height(), available.height());
        // Further windows take the first one's size, each a step right of and below the last
        // where the area has room for the step, and never off the area.
        KelvoWindow* previous = first;
        for (int i = 0; i < 12; ++i) {
            KelvoWindow* next = app()->newDocument();
            QVERIFY(next->isVisible());
            QVERIFY(!next->isMaximized());
            const QRect frame = next->frameGeometry();
            QVERIFY2(available.contains(frame), qPrintable(QString::number(i)));
            QCOMPARE(frame.size(), first->frameGeometry().size());
            QVERIFY(frame.topLeft() != previous->frameGeometry().topLeft());
            previous = next;
        }
        deleteAllWindows();

        inspector->move(available.x(), available.y());
        KelvoWindow* left = app()->newDocument();
        QCOMPARE(left->frameGeometry().left(), inspector->frameGeometry().right() + 6);
        QCOMPARE(left->frameGeometry().right(),
                 std::max(available.right(), left->frameGeometry().left() + least - 1));
        deleteAllWindows();

        inspector->move(available.center().x() - 100, available.y() + 50);
        KelvoWindow* middle = app()->newDocument();
        QVERIFY(middle->isMaximized());
        deleteAllWindows();

        inspector->hide();
        KelvoWindow* unplaced = app()->newDocument();
        QVERIFY(unplaced->isVisible());
        QVERIFY(!unplaced->isMaximized());
        deleteAllWindows();
        inspector->move(home);
        inspector->show();
    }

    void focusWindowAndTransientParents()
    {
        QSignalSpy changes(app(), &KelvoApplication::kelvoFocusWindowChanged);
        QSignalSpy servicesChanges(app()->services(), &AppServices::focusWindowChanged);
        KelvoWindow* a = app()->newDocument();
        KelvoWindow* b = app()->newDocument();
        activate(a);
        QCOMPARE(app()->focusWindow(), a);
        QCOMPARE(app()->services()->focusWindow(), a);
        // The tool windows are tool windows of the whole application, transient for no
        // document window (their stacking under a window manager: tst_toolstacking); on this
        // screen, which has no X11 display, for nothing at all.
        const auto isTool = [](QWidget* tool) {
            return (tool->windowFlags() & Qt::WindowType_Mask) == Qt::Tool
                && tool->windowHandle()->transientParent() == nullptr;
        };
        QVERIFY(isTool(app()->inspector()));
        activate(b);
        QCOMPARE(app()->focusWindow(), b);
        QCOMPARE(app()->inspector()->kelvoWindow(), b);
        QVERIFY(isTool(app()->inspector()));

        app()->setSynthDialogOpen(true);
        QVERIFY(app()->synthDialog());
        QCOMPARE(app()->synthDialog()->synth(), app()->synth());
        QVERIFY(isTool(app()->synthDialog()));
        activate(a);
        app()->setSynthDialogOpen(false);
        QTRY_VERIFY(!app()->synthDialog());

        // Focus going to the inspector keeps the document as the focus window.
        app()->inspector()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(app()->inspector()));
        QCOMPARE(app()->focusWindow(), a);

        // Destroying the focus window leaves none.
        changes.clear();
        servicesChanges.clear();
        delete a;
        QCOMPARE(app()->focusWindow(), nullptr);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.first().first().value<KelvoWindow*>(), nullptr);
        QCOMPARE(servicesChanges.count(), 1);
        QCOMPARE(app()->inspector()->kelvoWindow(), nullptr);
        deleteAllWindows();
    }

    void sharedDialogsServeOneReceiverAtATime()
    {
        AppServices* services = app()->services();
        QVERIFY(
            app()->sharedDialogs()->colorDialog()->testOption(QColorDialog::DontUseNativeDialog));
        ColorReceiver first;
        auto* second = new ColorReceiver;
        services->connectAppColorDialog(&first, SLOT(onColor(QColor)));
        services->connectAppColorDialog(second, SLOT(onColor(QColor)));
        QCOMPARE(services->appColorDialogReceiver(), second);
        app()->sharedDialogs()->colorDialog()->setCurrentColor(Qt::red);
        QCOMPARE(first.calls, 0);
        QCOMPARE(second->calls, 1);
        services->updateAppColorDialog(Qt::green);
        QCOMPARE(second->calls, 1);
        services->showAppColorDialog();
        QVERIFY(services->isAppColorDialogVisible());
        delete second;
        QCOMPARE(services->appColorDialogReceiver(), nullptr);
        app()->sharedDialogs()->colorDialog()->hide();
    }

    void spaceTogglesPlaybackWhereNoWidgetTakesIt()
    {
        KelvoWindow* window = app()->newDocument();
        activate(window);
        QWidget* view = window->centralWidget()->findChild<QWidget*>(QStringLiteral("networkView"));
        QVERIFY(view);
        QVERIFY(!isPlaying(window));
        QTest::keyClick(view, Qt::Key_Space);
        QVERIFY(isPlaying(window));

        // A key held down repeats without toggling again.
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "),
                         true);
        QApplication::sendEvent(view, &repeat);
        QVERIFY(isPlaying(window));

        // A text field takes the key.
        auto* field = new QLineEdit;
        window->findChild<QToolBar*>()->addWidget(field);
        field->setFocus();
        QTest::keyClick(field, Qt::Key_Space);
        QCOMPARE(field->text(), QStringLiteral(" "));
        QVERIFY(isPlaying(window));

        // In the inspector and in the synthesizer dialog, Space plays and pauses the focus
        // document.
        QTest::keyClick(app()->inspector(), Qt::Key_Space);
        QVERIFY(!isPlaying(window));
        app()->setSynthDialogOpen(true);
        QTest::keyClick(app()->synthDialog(), Qt::Key_Space);
        QVERIFY(isPlaying(window));
        app()->setSynthDialogOpen(false);
        QTRY_VERIFY(!app()->synthDialog());
        window->controller()->requestSetPlayback(false);
        deleteAllWindows();
    }

    void inspectorAndSynthesizerDialogToggle()
    {
        QSignalSpy inspectorToggles(app(), &KelvoApplication::mac_inspectorVisibilityToggled);
        QSignalSpy synthToggles(app(), &KelvoApplication::synthDialogToggled);
        QVERIFY(app()->inspector()->isVisible());
        app()->mac_toggleInspector();
        QVERIFY(!app()->inspector()->isVisible());
        QVERIFY(inspectorToggles.count() >= 1);
        app()->mac_setInspectorVisible(true);
        QVERIFY(app()->inspector()->isVisible());

        app()->toggleSynthDialog();
        QVERIFY(app()->isSynthDialogOpen());
        QCOMPARE(synthToggles.count(), 1);
        app()->setSynthDialogOpen(true);
        QCOMPARE(synthToggles.count(), 1);
        app()->toggleSynthDialog();
        QTRY_VERIFY(!app()->isSynthDialogOpen());
        QCOMPARE(synthToggles.count(), 2);
    }

    // The Open dialog belongs to no window: one that goes while it is up takes nothing along.
    void windowGoesWhileTheOpenDialogIsUp()
    {
        KelvoWindow* stays = app()->newDocument();
        KelvoWindow* goes = app()->newDocument();
        activate(goes);
        QCOMPARE(app()->focusWindow(), goes);
        const QPointer<KelvoWindow> guard(goes);
        DialogAnswerer answerer;
        bool parentless = false;
        answerer.answer([&](QWidget* dialog) {
            parentless = qobject_cast<QFileDialog*>(dialog) && !dialog->parentWidget();
            goes->close();
            QTRY_VERIFY(!guard);
            QMetaObject::invokeMethod(dialog, "reject");
        });
        app()->openDocuments();
        QCOMPARE(answerer.answered(), 1);
        QVERIFY(parentless);
        QCOMPARE(app()->windows(), QList<KelvoWindow*>({stays}));
        deleteAllWindows();
    }

    // The start window is given to an opened file or example only while it is untitled and
    // was never changed; an example always opens untitled, with the selection tool.
    void savedOrChangedStartWindowIsKept()
    {
        deleteAllWindows();
        const QString broken = writeText(m_dir.filePath("unreadable.kvd"), "not a network");
        const QString example = network("example.kvd", 3);
        const auto startWindow = [&] {
            DialogAnswerer answerer;
            answerer.clickButton(QMessageBox::Ok);
            app()->openDocument(broken);
            settle();
            KelvoWindow* window = app()->replaceableWindow();
            if (!window || app()->windows() != QList<KelvoWindow*>({window}))
                qFatal("no untitled start window");
            return window;
        };

        KelvoWindow* saved = startWindow();
        const QString mine = m_dir.filePath("mine.kvd");
        saved->controller()->requestSave(mine);
        settle();
        app()->openDocument(example, true);
        QCOMPARE(app()->windows().size(), 2);
        QCOMPARE(saved->controller()->fileName(), mine);
        QCOMPARE(elementCount(saved), 0);
        KelvoWindow* copy = app()->windows().last();
        QVERIFY(copy->controller()->fileName().isEmpty());
        QCOMPARE(elementCount(copy), 3);
        QCOMPARE(DocumentTool::current(copy->controller()), 0);
        QVERIFY(copy->controller()->atCleanState());
        // Open after a save also opens a window of its own.
        app()->openDocument(network("other.kvd", 2));
        QCOMPARE(app()->windows().size(), 3);
        QCOMPARE(saved->controller()->fileName(), mine);
        deleteAllWindows();

        // A change undone still counts.
        KelvoWindow* changed = startWindow();
        modify(changed);
        changed->controller()->requestUndo();
        settle();
        QVERIFY(changed->controller()->atCleanState());
        app()->openDocument(example, true);
        QCOMPARE(app()->windows().size(), 2);
        QCOMPARE(elementCount(changed), 0);
        deleteAllWindows();

        // The untouched one takes the example, which stays untitled.
        KelvoWindow* untouched = startWindow();
        app()->openDocument(example, true);
        QCOMPARE(app()->windows(), QList<KelvoWindow*>({untouched}));
        QCOMPARE(elementCount(untouched), 3);
        QVERIFY(untouched->controller()->fileName().isEmpty());
        QCOMPARE(DocumentTool::current(untouched->controller()), 0);
        deleteAllWindows();
    }

    // The focus document's commands work while the inspector or the synthesizer dialog is the
    // active window.
    void documentKeysFromTheToolWindows()
    {
        KelvoWindow* window = app()->newDocument();
        activate(window);
        window->controller()->requestSave(m_dir.filePath("keys.kvd"));
        modify(window);
        Inspector* inspector = app()->inspector();
        inspector->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(inspector));
        QCOMPARE(app()->focusWindow(), window);
        QTest::keyClick(inspector, Qt::Key_S, Qt::ControlModifier);
        settle();
        QVERIFY(window->controller()->atCleanState());

        modify(window);
        const int count = elementCount(window);
        app()->setSynthDialogOpen(true);
        QWidget* synth = app()->synthDialog();
        QVERIFY(QTest::qWaitForWindowActive(synth));
        QTest::keyClick(synth, Qt::Key_Z, Qt::ControlModifier);
        settle();
        QCOMPARE(elementCount(window), count - 1);

        // Save As, from the inspector.
        DialogAnswerer answerer;
        const QString copy = m_dir.filePath("keys-copy.kvd");
        answerer.chooseFile(copy);
        inspector->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(inspector));
        QTest::keyClick(inspector, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_COMPARE(window->controller()->fileName(), copy);
        app()->setSynthDialogOpen(false);
        QTRY_VERIFY(!app()->synthDialog());
        deleteAllWindows();
    }

    void cancelledQuitLeavesTheRestOpen()
    {
        KelvoWindow* first = app()->newDocument();
        KelvoWindow* second = app()->newDocument();
        KelvoWindow* third = app()->newDocument();
        for (KelvoWindow* window : {first, second, third})
            modify(window);
        const QPointer<KelvoWindow> firstGuard(first);
        DialogAnswerer answerer;
        answerer.clickButton(QMessageBox::Discard);
        answerer.clickButton(QMessageBox::Cancel);
        answerer.clickButton(QMessageBox::Discard);
        app()->appQuit();
        settle();
        QCOMPARE(answerer.answered(), 2);
        QVERIFY(!firstGuard);
        QCOMPARE(app()->windows(), QList<KelvoWindow*>({second, third}));
        QVERIFY(!app()->isQuitting());
        deleteAllWindows();
    }

    void closeDuringTheWindowsOwnPrompt()
    {
        KelvoWindow* window = app()->newDocument();
        modify(window);

        // A close that arrives while the close prompt is up opens no second prompt.
        app()->setQuitting(true);
        DialogAnswerer answerer;
        answerer.answer([&](QWidget* box) {
            window->close();
            qobject_cast<QMessageBox*>(box)->button(QMessageBox::Cancel)->click();
        });
        QVERIFY(!window->close());
        settle();
        QCOMPARE(answerer.answered(), 1);
        QVERIFY(!app()->isQuitting());
        QVERIFY(app()->windows().contains(window));

        // One that arrives while a dialog the user opened is up waits for it: the quit then
        // goes on and asks.
        app()->setQuitting(true);
        bool closed = true;
        answerer.answer([&](QWidget* dialog) {
            closed = window->close();
            QMetaObject::invokeMethod(dialog, "reject");
        });
        answerer.clickButton(QMessageBox::Cancel);
        window->saveAs();
        QTRY_COMPARE(answerer.answered(), 3);
        settle();
        QVERIFY(!closed);
        QVERIFY(!app()->isQuitting());
        QVERIFY(app()->windows().contains(window));
        QVERIFY(window->isVisible());

        // The same while the undo prompt is up: the document, at its saved state, then closes.
        window->controller()->requestSave(m_dir.filePath("prompted.kvd"));
        modify(window);
        window->controller()->requestUndo();
        settle();
        QVERIFY(window->controller()->atCleanState());
        const QPointer<KelvoWindow> guard(window);
        answerer.answer([&](QWidget* box) {
            app()->appQuit();
            qobject_cast<QMessageBox*>(box)->escapeButton()->click();
        });
        window->undo();
        QTRY_VERIFY(!guard);
        QCOMPARE(answerer.answered(), 4);
    }

    // A save that fails on the way to closing ends the quit: the window stays, modified, and
    // the next quit asks again.
    void failedSaveEndsTheQuit()
    {
        KelvoWindow* window = app()->newDocument();
        const QString locked = m_dir.filePath("locked.kvd");
        window->controller()->requestSave(locked);
        modify(window);
        QFile::setPermissions(locked, QFile::ReadOwner);
        QSignalSpy ended(app(), &KelvoApplication::quitEnded);
        DialogAnswerer answerer;
        answerer.clickButton(QMessageBox::Save);
        answerer.clickButton(QMessageBox::Ok);
        app()->appQuit();
        QTRY_COMPARE(answerer.answered(), 2);
        QVERIFY(!app()->isQuitting());
        QCOMPARE(ended.count(), 1);
        QVERIFY(app()->windows().contains(window));
        QVERIFY(!window->controller()->atCleanState());

        answerer.clickButton(QMessageBox::Cancel);
        app()->appQuit();
        QTRY_COMPARE(answerer.answered(), 3);
        QVERIFY(app()->windows().contains(window));
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner);
        deleteAllWindows();
    }

    void saveAllSavesEveryWindow()
    {
        app()->openDocument(network("all-a.kvd"));
        app()->openDocument(network("all-b.kvd"));
        for (KelvoWindow* window : app()->windows())
            modify(window);
        app()->saveAllDocuments();
        settle();
        for (KelvoWindow* window : app()->windows())
            QVERIFY(window->controller()->atCleanState());
        deleteAllWindows();
    }
};

KELVO_APP_TEST_MAIN(TestAppDocuments)
#include "tst_appdocuments.moc"
