#include "DocumentTool.h"
#include "ElementItem.h"
#include "GraphicsEdgeItem.h"
#include "GraphicsVoiceGroupItem.h"
#include "MidiEvent.h"
#include "QmdKelvoUnits.h"
#include "TestSync.h"
#include "ViewWindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>
#include <QRegularExpression>
#include <QTest>

namespace K = QmdKelvoKeys;
using QmdKelvo::TickPoint;

namespace {

constexpr qint64 P = QmdKelvo::TicksPerPrincipal;
constexpr qint64 Step = P / 4;

// A shown window whose viewport is 400 × 300 pixels, with the origin in its middle.
struct Commands : ViewWindow
{
    Commands()
    {
        shown = showWithViewport(QSize(400, 300));
        controller()->requestSetData(K::SyncType, TestSync::staticTypeId(), QmdIndex());
        settle();
    }
    ~Commands()
    {
        if (QMenu* menu = openMenu())
            menu->close();
    }

    QWidget* viewport() const { return view->viewport(); }
    QPoint at(qint64 x, qint64 y) const
    {
        return view->mapFromScene(QmdKelvo::toScenePoint(TickPoint {x, y}));
    }
    QPoint at(QmdItemId id) const
    {
        const QGraphicsItem* item = itemOf(id);
        return view->mapFromScene(item->mapToScene(item->boundingRect().center()));
    }
    QGraphicsItem* itemOf(QmdItemId id) const
    {
        ElementItem* item = scene->elementItem(id);
        return item ? item->graphicsItem() : nullptr;
    }
    void useTool(int tool)
    {
        DocumentTool::requestSet(controller(), tool);
        settle();
    }

    QmdItemId addTextBox(qint64 x, qint64 y)
    {
        const QmdItemIdList before = controller()->elements();
        controller()->requestAddTextBox(TickPoint {x, y});
        settle();
        for (const QmdItemId id : controller()->elements()) {
            if (!before.contains(id))
                return id;
        }
        return 0;
    }
    QVariant get(QmdItemId id, const QString& key) const
    {
        return controller()->data(key, controller()->elementIndex(id));
    }
    void set(QmdItemId id, const QString& key, const QVariant& value)
    {
        controller()->requestSetData(key, value, controller()->elementIndex(id));
        settle();
    }
    void select(const QmdItemIdList& ids)
    {
        scene->clearSelection();
        for (const QmdItemId id : ids)
            itemOf(id)->setSelected(true);
        settle();
    }

    // Opens the context menu at a viewport point, as a right click does.
    QMenu* menuAt(QPoint point)
    {
        QContextMenuEvent event(QContextMenuEvent::Mouse, point, viewport()->mapToGlobal(point));
        QApplication::sendEvent(viewport(), &event);
        return openMenu();
    }
    static QMenu* openMenu() { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }
    // The menu's entries that show, by their texts.
    static QStringList shownEntries(const QMenu* menu)
    {
        QStringList texts;
        for (const QAction* action : menu->actions()) {
            if (action->isVisible() && !action->isSeparator())
                texts << action->text();
        }
        return texts;
    }
    static QAction* entry(const QMenu* menu, const QString& text)
    {
        for (QAction* action : menu->actions()) {
            if (action->text() == text)
                return action;
        }
        return nullptr;
    }
    // Chooses an entry of the open menu and closes it.
    void choose(const QString& text)
    {
        QMenu* menu = openMenu();
        QVERIFY(menu);
        QAction* action = entry(menu, text);
        QVERIFY2(action, qPrintable(text));
        action->trigger();
        menu->close();
        settle();
    }

    // The preview items that a gesture shows.
    GraphicsEdgeItem* previewEdge() const
    {
        for (QGraphicsItem* item : scene->items()) {
            if (item->type() == EdgeItemType
                && static_cast<GraphicsEdgeItem*>(item)->elementId() == 0)
                return static_cast<GraphicsEdgeItem*>(item);
        }
        return nullptr;
    }
    int previewCount() const
    {
        int count = 0;
        for (QGraphicsItem* item : scene->items()) {
            const auto* element = dynamic_cast<const ElementItem*>(item);
            count += element && element->elementId() == 0 ? 1 : 0;
        }
        return count;
    }
    QmdItemIdList ofType(int type) const
    {
        QmdItemIdList ids;
        for (const QmdItemId id : controller()->elements()) {
            if (controller()->elementType(id) == type)
                ids.append(id);
        }
        return ids;
    }

    void press(QPoint point) { QTest::mousePress(viewport(), Qt::LeftButton, {}, point); }
    void moveTo(QPoint point)
    {
        QTest::mouseMove(viewport(), point);
        settle();
    }
    void release(QPoint point)
    {
        QTest::mouseRelease(viewport(), Qt::LeftButton, {}, point);
        settle();
    }
    void key(QEvent::Type type, Qt::Key key)
    {
        QKeyEvent event(type, key, Qt::NoModifier);
        QApplication::sendEvent(view, &event);
        settle();
    }

    // A MIDI-entry message, as the application sends it to the focus widget.
    void midi(const QVector<uchar>& bytes, Qt::KeyboardModifiers modifiers = {})
    {
        MidiEvent event(modifiers, 0.0, bytes);
        QApplication::sendEvent(view, &event);
        settle();
    }
    void noteOn(uchar pitch, uchar velocity = 96, Qt::KeyboardModifiers modifiers = {})
    {
        midi({0x90, pitch, velocity}, modifiers);
    }
    void noteOff(uchar pitch) { midi({0x80, pitch, 0}); }

    bool shown = false;
};

const QString Old = QStringLiteral("D3:80:50%");
const QString C3 = QStringLiteral("C3:96:100%");
const QString E3 = QStringLiteral("E3:96:100%");

} // namespace

class TestViewCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        ViewWindow::initTickGeometryAt72();
        TestSync::registerType();
    }

    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect"))); }

    // ---- Context menu -------------------------------------------------------------------

    void menuShowsTheEntriesOfTheSelection()
    {
        Commands c;
        QVERIFY(c.shown);
        const QmdItemId a = c.addNode(0, 0);
        const QmdItemId b = c.addNode(4 * Step, 0);
        const QmdItemId edge = c.addEdge(a, b);
        const QmdItemId group = c.addVoiceGroup(a);
        const QmdItemId text = c.addTextBox(0, 4 * Step);
        // The new text box opened for typing, which takes the context menu: it closes.
        QVERIFY(c.scene->focusItem());
        c.scene->setFocusItem(nullptr);
        ViewWindow::settle();
        QVERIFY(!c.scene->focusItem());
        const QPoint empty = c.at(-4 * Step, -4 * Step);
        const QStringList edit {QStringLiteral("Cu&t"), QStringLiteral("&Copy"),
                                QStringLiteral("&Paste"), QStringLiteral("&Delete"),
                                QStringLiteral("Select A&ll")};
        const QStringList signalling {QStringLiteral("&Sequential"), QStringLiteral("Para&llel"),
                                      QStringLiteral("&Random")};
        const QStringList paths {QStringLiteral("City &Block"),
                                 QStringLiteral("City Block &Flipped"), QStringLiteral("Direc&t")};

        c.select({});
        QMenu* menu = c.menuAt(empty);
        QVERIFY(menu);
        QCOMPARE(Commands::shownEntries(menu), edit);
        QVERIFY(!Commands::entry(menu, QStringLiteral("Cu&t"))->isEnabled());
        QVERIFY(!Commands::entry(menu, QStringLiteral("&Delete"))->isEnabled());
        QVERIFY(Commands::entry(menu, QStringLiteral("Select A&ll"))->isEnabled());
        menu->close();

        c.select({a, b});
        menu = c.menuAt(empty);
        QCOMPARE(Commands::shownEntries(menu), edit + signalling + QStringList {"&Mute"});
        QVERIFY(Commands::entry(menu, QStringLiteral("Cu&t"))->isEnabled());
        menu->close();

        c.select({edge});
        menu = c.menuAt(empty);
        QCOMPARE(Commands::shownEntries(menu), edit + paths + QStringList {"&Wormhole"});
        menu->close();

        c.select({group});
        menu = c.menuAt(empty);
        QCOMPARE(Commands::shownEntries(menu), edit + QStringList({"&Play", "&Mute"}));
        menu->close();

        // Text boxes have no entries of their own.
        c.select({text});
        menu = c.menuAt(empty);
        QCOMPARE(Commands::shownEntries(menu), edit);
        QVERIFY(Commands::entry(menu, QStringLiteral("&Delete"))->isEnabled());
        menu->close();

        // On a selected element the selection's entries; on one that is not, the edit
        // entries only.
        c.select({a, b});
        menu = c.menuAt(c.at(a));
        QCOMPARE(Commands::shownEntries(menu), edit + signalling + QStringList {"&Mute"});
        menu->close();
        c.select({a});
        menu = c.menuAt(c.at(b));
        QCOMPARE(Commands::shownEntries(menu), edit);
        QVERIFY(Commands::entry(menu, QStringLiteral("&Copy"))->isEnabled());
        menu->close();
        // The right click left the selection as it was.
        QCOMPARE(c.scene->selectedElementIds(), QmdItemIdSet {a});
    }

    void editEntriesCallTheWindow()
    {
        Commands c;
        const QmdItemId a = c.addNode(0, 0);
        c.select({a});
        for (const char* text : {"Cu&t", "&Copy", "&Delete", "Select A&ll"}) {
            QVERIFY(c.menuAt(c.at(a)));
            c.choose(QString::fromLatin1(text));
        }
        QCOMPARE(c.window.calls, (QStringList {"cut", "copy", "del", "selectAll"}));
    }

    void signallingOfTwoNodesIsOneStep()
    {
        Commands c;
        const QmdItemId a = c.addNode(0, 0);
        const QmdItemId b = c.addNode(4 * Step, 0);
        c.set(b, K::SignallingMethod, int(QmdKelvo::Parallel));
        c.select({a, b});
        QMenu* menu = c.menuAt(c.at(-4 * Step, -4 * Step));
        // They differ: no method is checked.
        for (const char* text : {"&Sequential", "Para&llel", "&Random"})
            QVERIFY(!Commands::entry(menu, QString::fromLatin1(text))->isChecked());
        c.choose(QStringLiteral("&Random"));
        QCOMPARE(c.get(a, K::SignallingMethod).toInt(), int(QmdKelvo::Random));
        QCOMPARE(c.get(b, K::SignallingMethod).toInt(), int(QmdKelvo::Random));
        QCOMPARE(c.controller()->undoText(), QStringLiteral("Signalling"));

        // Opened again, the menu shows their common method.
        menu = c.menuAt(c.at(-4 * Step, -4 * Step));
        QVERIFY(Commands::entry(menu, QStringLiteral("&Random"))->isChecked());
        menu->close();

        c.controller()->requestUndo();
        ViewWindow::settle();
        QCOMPARE(c.get(a, K::SignallingMethod).toInt(), int(QmdKelvo::Sequential));
        QCOMPARE(c.get(b, K::SignallingMethod).toInt(), int(QmdKelvo::Parallel));
    }

    void muteOfANodeAndAVoiceGroupIsOneStep()
    {
        Commands c;
        const QmdItemId a = c.addNode(0, 0);
        const QmdItemId group = c.addVoiceGroup(a);
        c.select({a, group});
        QVERIFY(c.menuAt(c.at(-4 * Step, -4 * Step)));
        QVERIFY(!Commands::entry(Commands::openMenu(), QStringLiteral("&Mute"))->isChecked());
        c.choose(QStringLiteral("&Mute"));
        QCOMPARE(c.get(a, K::DontPlayNote).toBool(), true);
        QCOMPARE(c.get(group, K::DontPlayNote).toBool(), true);
        QCOMPARE(c.controller()->undoText(), QStringLiteral("Mute"));
        c.controller()->requestUndo();
        ViewWindow::settle();
        QCOMPARE(c.get(a, K::DontPlayNote).toBool(), false);
        QCOMPARE(c.get(group, K::DontPlayNote).toBool(), false);
    }

    void pathAndWormholeOfEdgesAreOneStepEach()
    {
        Commands c;
        const QmdItemId a = c.addNode(0, 0);
        const QmdItemId b = c.addNode(4 * Step, 0);
        const QmdItemId ab = c.addEdge(a, b);
        const QmdItemId ba = c.addEdge(b, a);
        c.set(ba, K::Path, int(QmdKelvo::CityBlockFlipped));
        const QPoint empty = c.at(-4 * Step, -4 * Step);
        c.select({ab, ba});

        // Paths that differ show "City Block" checked.
        QMenu* menu = c.menuAt(empty);
        QVERIFY(Commands::entry(menu, QStringLiteral("City &Block"))->isChecked());
        QVERIFY(!Commands::entry(menu, QStringLiteral("City Block &Flipped"))->isChecked());
        QVERIFY(!Commands::entry(menu, QStringLiteral("Direc&t"))->isChecked());
        c.choose(QStringLiteral("Direc&t"));
        QCOMPARE(c.get(ab, K::Path).toInt(), int(QmdKelvo::Direct));
        QCOMPARE(c.get(ba, K::Path).toInt(), int(QmdKelvo::Direct));
        QCOMPARE(c.controller()->undoText(), QStringLiteral("Path"));

        QVERIFY(c.menuAt(empty));
        c.choose(QStringLiteral("&Wormhole"));
        QCOMPARE(c.get(ab, K::IsWormhole).toBool(), true);
        QCOMPARE(c.get(ba, K::IsWormhole).toBool(), true);
        QCOMPARE(c.controller()->undoText(), QStringLiteral("Wormhole"));
        c.controller()->requestUndo();
        ViewWindow::settle();
        QCOMPARE(c.get(ab, K::IsWormhole).toBool(), false);
        QCOMPARE(c.get(ba, K::Path).toInt(), int(QmdKelvo::Direct));
        c.controller()->requestUndo();
        ViewWindow::settle();
        QCOMPARE(c.get(ab, K::Path).toInt(), int(QmdKelvo::CityBlock));
        QCOMPARE(c.get(ba, K::Path).toInt(), int(QmdKelvo::CityBlockFlipped));
    }

    void pasteNeedsElementsOnTheClipboard()
    {
        Commands c;
        const QmdItemId a = c.addNode(0, 0);
        QApplication::clipboard()->setText(QStringLiteral("C3:96:100%"));
        QMenu* menu = c.menuAt(c.at(-4 * Step, -4 * Step));
        QVERIFY(!Commands::entry(menu, QStringLiteral("&Paste"))->isEnabled());
        menu->close();

        c.controller()->requestCopy({a});
        menu = c.menuAt(c.at(-4 * Step, -4 * Step));
        QVERIFY(Commands::entry(menu, QStringLiteral("&Paste"))->isEnabled());
        c.choose(QStringLiteral("&Paste"));
        QCOMPARE(c.window.calls, QStringList {"paste"});
    }

    void playStopEntryFollowsTheSelectedVoiceGroups()
    {
        Commands c;
        QmdKelvoController* controller = c.controller();
        // The voices travel an edge that the test clock, standing at 0, never lets them
        // finish: a started group plays until it is stopped.
        const QmdItemId a = c.addNode(0, 0);
        c.addEdge(a, c.addNode(4 * Step, 0));
        const QmdItemId running = c.addVoiceGroup(a);
        const QmdItemId idle = c.addVoiceGroup(a);
        const QPoint empty = c.at(-4 * Step, -4 * Step);

        // Disabled while the transport stands.
        c.select({idle});
        QMenu* menu = c.menuAt(empty);
        QVERIFY(!Commands::entry(menu, QStringLiteral("&Play"))->isEnabled());
        menu->close();

        controller->requestPlay();
        controller->requestStopVoiceGroups({idle});
        QVERIFY(controller->isVoiceGroupIterating(running));
        QVERIFY(!controller->isVoiceGroupIterating(idle));
        menu = c.menuAt(empty);
        QVERIFY(Commands::entry(menu, QStringLiteral("&Play"))->isEnabled());
        menu->close();
        c.select({running});
        menu = c.menuAt(empty);
        QVERIFY(Commands::shownEntries(menu).contains(QStringLiteral("&Stop")));
        menu->close();

        // Both: one stops, the other starts.
        c.select({running, idle});
        QVERIFY(c.menuAt(empty));
        c.choose(QStringLiteral("&Toggle Play / Stop"));
        QVERIFY(!controller->isVoiceGroupIterating(running));
        QVERIFY(controller->isVoiceGroupIterating(idle));
        controller->requestPause();
    }

    void playStopEntryDoesWhatItShowed()
    {
        Commands c;
        QmdKelvoController* controller = c.controller();
        auto* clock = qobject_cast<TestSync*>(controller->sync());
        QVERIFY(clock);
        const QmdItemId a = c.addNode(0, 0);
        c.addEdge(a, c.addNode(4 * Step, 0));
        const QmdItemId group = c.addVoiceGroup(a);
        controller->requestPlay();
        QVERIFY(controller->isVoiceGroupIterating(group));
        c.select({group});
        QVERIFY(Commands::shownEntries(c.menuAt(c.at(-4 * Step, -4 * Step)))
                    .contains(QStringLiteral("&Stop")));

        // While the menu is open the voice reaches the end of the edge, where nothing leads
        // on, and the group stops by itself. "Stop" still stops: it does not start it again.
        clock->setTicksElapsed(10 * P);
        QTRY_VERIFY_WITH_TIMEOUT(!controller->isVoiceGroupIterating(group), 20000);
        c.choose(QStringLiteral("&Stop"));
        QVERIFY(!controller->isVoiceGroupIterating(group));
        controller->requestPause();
    }

    // ---- Keys ---------------------------------------------------------------------------

    void escapeEndsADrawingGesture()
    {
        Commands c;
        c.useTool(NetworkView::NodeAndEdgeTool);
        const int before = int(c.controller()->elements().size());
        c.press(c.at(0, 0));
        c.moveTo(c.at(Step, 0));
        QVERIFY(c.previewCount() > 0);
        c.key(QEvent::KeyPress, Qt::Key_Escape);
        QCOMPARE(c.previewCount(), 0);
        // The rest of the drag draws and adds nothing.
        c.moveTo(c.at(2 * Step, Step));
        QCOMPARE(c.previewCount(), 0);
        c.release(c.at(2 * Step, Step));
        QCOMPARE(int(c.controller()->elements().size()), before);
    }

    void escapeEndsAnEdgeBeingDrawn()
    {
        Commands c;
        c.useTool(NetworkView::NodeAndEdgeTool);
        const QmdItemId a = c.addNode(0, 0);
        c.press(c.at(a));
        c.moveTo(c.at(2 * Step, Step));
        QVERIFY(c.previewEdge());
        c.key(QEvent::KeyPress, Qt::Key_Escape);
        QVERIFY(!c.previewEdge());
        c.release(c.at(2 * Step, Step));
        QCOMPARE(c.controller()->elements(), QmdItemIdList {a});
    }

    void deleteAndBackspaceDeleteTheSelection()
    {
        Commands c;
        c.key(QEvent::KeyPress, Qt::Key_Delete);
        c.key(QEvent::KeyPress, Qt::Key_Backspace);
        QCOMPARE(c.window.calls, (QStringList {"del", "del"}));
    }

    void shiftFlipsThePathOfTheEdgeBeingDrawn()
    {
        Commands c;
        c.useTool(NetworkView::NodeAndEdgeTool);
        const QmdItemId a = c.addNode(0, 0);
        c.press(c.at(a));
        c.moveTo(c.at(4 * Step, 2 * Step));
        QVERIFY(c.previewEdge());
        QCOMPARE(c.previewEdge()->pathType(), int(QmdKelvo::CityBlock));
        c.key(QEvent::KeyPress, Qt::Key_Shift);
        QCOMPARE(c.previewEdge()->pathType(), int(QmdKelvo::CityBlockFlipped));
        c.key(QEvent::KeyRelease, Qt::Key_Shift);
        QCOMPARE(c.previewEdge()->pathType(), int(QmdKelvo::CityBlock));

        // Held at the release, the new edge takes the flipped path.
        c.key(QEvent::KeyPress, Qt::Key_Shift);
        c.release(c.at(4 * Step, 2 * Step));
        const QmdItemIdList edges = c.ofType(QmdKelvo::EdgeElement);
        QCOMPARE(edges.size(), 1);
        QCOMPARE(c.get(edges.first(), K::Path).toInt(), int(QmdKelvo::CityBlockFlipped));
        c.key(QEvent::KeyRelease, Qt::Key_Shift);
    }

    void altMakesTheVoiceGroupsPulseWhilePlaying()
    {
        Commands c;
        const QmdItemId a = c.addNode(0, 0);
        const QmdItemId group = c.addVoiceGroup(a);
        auto* item = static_cast<GraphicsVoiceGroupItem*>(c.itemOf(group));
        c.useTool(NetworkView::SelectionTool);

        c.key(QEvent::KeyPress, Qt::Key_Alt);
        QVERIFY(!c.scene->isVoiceGroupPulseRunning());
        c.key(QEvent::KeyRelease, Qt::Key_Alt);

        c.controller()->requestPlay();
        c.key(QEvent::KeyPress, Qt::Key_Alt);
        QVERIFY(c.scene->isVoiceGroupPulseRunning());
        QTRY_VERIFY(item->pulseValue() < 0.9);
        c.key(QEvent::KeyRelease, Qt::Key_Alt);
        QVERIFY(!c.scene->isVoiceGroupPulseRunning());
        QCOMPARE(item->pulseValue(), 1.0);

        // The transport stopping ends the pulse.
        c.key(QEvent::KeyPress, Qt::Key_Alt);
        QVERIFY(c.scene->isVoiceGroupPulseRunning());
        c.controller()->requestPause();
        ViewWindow::settle();
        QVERIFY(!c.scene->isVoiceGroupPulseRunning());
        QCOMPARE(item->pulseValue(), 1.0);
        c.key(QEvent::KeyRelease, Qt::Key_Alt);
    }

    void altMakesTheZoomToolZoomOut()
    {
        Commands c;
        c.useTool(NetworkView::ZoomTool);
        c.key(QEvent::KeyPress, Qt::Key_Alt);
        QTest::mouseClick(c.viewport(), Qt::LeftButton, {}, c.at(0, 0));
        ViewWindow::settle();
        QCOMPARE(c.controller()->data(K::ZoomScale, QmdIndex()).toDouble(), 0.5);
        c.key(QEvent::KeyRelease, Qt::Key_Alt);
        QTest::mouseClick(c.viewport(), Qt::LeftButton, {}, c.at(0, 0));
        ViewWindow::settle();
        QCOMPARE(c.controller()->data(K::ZoomScale, QmdIndex()).toDouble(), 1.0);
    }

    void doubleClickReachesTheItemsWithTheSelectionToolOnly()
    {
        Commands c;
        const QmdItemId a = c.addNode(0, 0);
        auto doubleClick = [&] {
            c.select({});
            const QPoint point = c.at(a);
            QMouseEvent event(QEvent::MouseButtonDblClick, point, c.viewport()->mapToGlobal(point),
                              Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(c.viewport(), &event);
            QTest::mouseRelease(c.viewport(), Qt::LeftButton, {}, point);
            ViewWindow::settle();
        };
        c.useTool(NetworkView::ZoomTool);
        doubleClick();
        QVERIFY(c.scene->selectedElementIds().isEmpty());
        QCOMPARE(c.controller()->data(K::ZoomScale, QmdIndex()).toDouble(), 1.0);
        c.useTool(NetworkView::SelectionTool);
        doubleClick();
        QCOMPARE(c.scene->selectedElementIds(), QmdItemIdSet {a});
    }

    // ---- MIDI entry ---------------------------------------------------------------------

    void noteGoesIntoTheSelectedNode()
    {
        Commands c;
        const QmdItemId a = c.addNode(0, 0);
        c.set(a, K::Notes, Old);
        c.select({a});
        c.noteOn(60);
        QCOMPARE(c.get(a, K::Notes).toString(), C3);
        QCOMPARE(c.controller()->undoText(), QStringLiteral("MIDI Entry"));
        c.noteOff(60);

        // With Shift, after the notes there were.
        c.set(a, K::Notes, Old);
        c.noteOn(60, 96, Qt::ShiftModifier);
        QCOMPARE(c.get(a, K::Notes).toString(), Old + "\n" + C3);
    }

    void heldNotesMakeAChord()
    {
        Commands c;
        const QmdItemId a = c.addNode(0, 0);
        c.set(a, K::Notes, Old);
        c.select({a});
        c.noteOn(60);
        c.noteOn(64);
        QCOMPARE(c.get(a, K::Notes).toString(), "[\n " + C3 + "\n " + E3 + "\n]");
        c.noteOff(60);

        c.set(a, K::Notes, Old);
        c.noteOn(60, 96, Qt::ShiftModifier);
        c.noteOn(64, 96, Qt::ShiftModifier);
        QCOMPARE(c.get(a, K::Notes).toString(), Old + "\n[\n " + C3 + "\n " + E3 + "\n]");

        // A note-off, or a note-on of velocity 0, ends the chord.
        c.midi({0x90, 64, 0});
        c.noteOn(62);
        QCOMPARE(c.get(a, K::Notes).toString(), QStringLiteral("D3:96:100%"));
        c.noteOff(62);
        c.noteOn(60);
        c.noteOff(60);
        c.noteOn(64);
        QCOMPARE(c.get(a, K::Notes).toString(), E3);
    }

    void eachNoteIsOneStepAcrossNodesAndVoiceGroups()
    {
        Commands c;
        const QmdItemId a = c.addNode(0, 0);
        const QmdItemId b = c.addNode(4 * Step, 0);
        const QmdItemId group = c.addVoiceGroup(a);
        const QmdItemId edge = c.addEdge(a, b);
        const QVariant edgeNotes = c.get(edge, K::Notes);
        c.select({a, b, group, edge});
        c.noteOn(62);
        c.noteOff(62);
        c.noteOn(64, 100);
        QCOMPARE(c.get(a, K::Notes).toString(), QStringLiteral("E3:100:100%"));
        QCOMPARE(c.get(b, K::Notes).toString(), QStringLiteral("E3:100:100%"));
        QCOMPARE(c.get(group, K::InitialPitch).toString(), QStringLiteral("E3"));
        QCOMPARE(c.get(group, K::InitialVelocity).toString(), QStringLiteral("100"));
        QCOMPARE(c.get(edge, K::Notes), edgeNotes);

        c.controller()->requestUndo();
        ViewWindow::settle();
        QCOMPARE(c.get(a, K::Notes).toString(), QStringLiteral("D3:96:100%"));
        QCOMPARE(c.get(b, K::Notes).toString(), QStringLiteral("D3:96:100%"));
        QCOMPARE(c.get(group, K::InitialPitch).toString(), QStringLiteral("D3"));
        QCOMPARE(c.get(group, K::InitialVelocity).toString(), QStringLiteral("96"));
        c.controller()->requestUndo();
        ViewWindow::settle();
        QCOMPARE(c.get(a, K::Notes).toString(), K::DefaultNotes);
        QCOMPARE(c.get(group, K::InitialVelocity).toString(), K::DefaultInitialVelocity);
    }

    void otherMessagesChangeNothing()
    {
        Commands c;
        const QmdItemId a = c.addNode(0, 0);
        c.set(a, K::Notes, Old);
        c.select({a});
        const QString undo = c.controller()->undoText();
        c.midi({0x90, 60});
        c.midi({0x90, 60, 96, 0});
        // A data byte of 0x80 or above is no note.
        c.midi({0x90, 200, 96});
        c.midi({0x90, 60, 0x80});
        c.midi({0xB0, 7, 100});
        QCOMPARE(c.get(a, K::Notes).toString(), Old);
        QCOMPARE(c.controller()->undoText(), undo);

        // They leave a chord as it was.
        c.noteOn(60);
        c.midi({0x80, 60});
        c.midi({0x80, 60, 0, 0});
        c.noteOn(64);
        QCOMPARE(c.get(a, K::Notes).toString(), "[\n " + C3 + "\n " + E3 + "\n]");
    }

    void chordEndsWhenTheViewLosesTheFocus()
    {
        Commands c;
        const QmdItemId a = c.addNode(0, 0);
        c.select({a});
        c.noteOn(60);
        QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
        QApplication::sendEvent(c.view, &out);
        c.noteOn(64);
        QCOMPARE(c.get(a, K::Notes).toString(), E3);
    }
};

QTEST_MAIN(TestViewCommands)
#include "tst_viewcommands.moc"
