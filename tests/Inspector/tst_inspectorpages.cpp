#include "CCItemEdit.h"
#include "CCListEdit.h"
#include "ColorChooserButton.h"
#include "Inspector.h"
#include "InspectorTestDocument.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "SqueezedText.h"
#include "TestAppServices.h"
#include "TestDocumentWindow.h"
#include "VerticalListViewWidget.h"

#include <QBitArray>
#include <QItemSelectionModel>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeLine>

#include <functional>
#include <memory>

namespace K = QmdKelvoKeys;
using InspectorTestDocument::settle;

namespace {

// A window that counts how often its selection is read.
class CountingWindow : public TestDocumentWindow
{
public:
    QmdItemIdSet selectedElementIds() const override
    {
        ++reads;
        return TestDocumentWindow::selectedElementIds();
    }
    mutable int reads = 0;
};

// Changes a bound widget the way the user does, so that its change signal fires: a check box
// toggles, a chooser takes its next tab, a combo box is activated on another row, a text field
// takes `text` and reports its edit finished.
void changeLikeTheUser(QWidget* widget, const QString& text)
{
    if (auto* box = qobject_cast<QAbstractButton*>(widget)) {
        box->toggle();
    } else if (auto* chooser = qobject_cast<QTabBar*>(widget)) {
        chooser->setCurrentIndex((chooser->currentIndex() + 1) % chooser->count());
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        const int row = combo->currentIndex() == 1 ? 0 : 1;
        combo->setCurrentIndex(row);
        QMetaObject::invokeMethod(combo, "activated", Q_ARG(int, row));
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(text);
        QMetaObject::invokeMethod(edit, "editingFinished");
    } else if (auto* notes = qobject_cast<QPlainTextEdit*>(widget)) {
        notes->setPlainText(text);
    }
}

// The texts of a MIDI sync list, in order.
QStringList syncListTexts(const VerticalListViewWidget* list)
{
    QStringList texts;
    for (int i = 0; i < list->listLayout()->count(); ++i) {
        const QWidget* box = list->listLayout()->itemAt(i)->widget();
        if (const auto* squeezed = qobject_cast<const SqueezedTextCheckBox*>(box))
            texts << squeezed->fullText();
    }
    return texts;
}

SqueezedTextCheckBox* syncBox(const VerticalListViewWidget* list, const QString& name)
{
    for (int i = 0; i < list->listLayout()->count(); ++i) {
        auto* box = qobject_cast<SqueezedTextCheckBox*>(list->listLayout()->itemAt(i)->widget());
        if (box && box->fullText().startsWith(name + QLatin1Char(' ')))
            return box;
    }
    return nullptr;
}

} // namespace

// The inspector's pages bound to the document: the element pages to the focus window's
// selection, the document page with its MIDI sync ports, and the instrument page.
class TestInspectorPages : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestAppServices> services;
    std::unique_ptr<CountingWindow> window;
    QmdKelvoController* c = nullptr;
    InspectorTestDocument::Elements elements;
    std::unique_ptr<Inspector> inspector;

    void select(const QmdItemIdSet& ids)
    {
        window->setSelectedElementIds(ids);
        settle();
    }

    QmdIndex element(QmdItemId id) const { return c->elementIndex(id); }

    bool pageEnabled(Inspector::Page page) const
    {
        return inspector->pageStack()->widget(page)->isEnabled();
    }

    // The page that is in front once the switch under way has ended.
    int frontPage() const
    {
        QTimeLine* line = inspector->findChild<QTimeLine*>();
        if (!QTest::qWaitFor([line] { return line->state() == QTimeLine::NotRunning; }))
            return -1;
        return inspector->pageStack()->currentIndex();
    }

    // Selects instruments in the instrument page's list by their rows.
    void selectInstruments(const QList<int>& rows)
    {
        QAbstractItemView* list = inspector->instrumentForm().listView;
        list->selectionModel()->clearSelection();
        for (int row : rows)
            list->selectionModel()->select(list->model()->index(row, 0),
                                           QItemSelectionModel::Select);
        settle();
    }

    QmdItemId instrumentAt(int row) const
    {
        const QAbstractItemModel* model = inspector->instrumentForm().listView->model();
        return model->index(row, 0).data(Qt::UserRole).toUInt();
    }

private slots:
    void init()
    {
        // A binding whose change signal is misspelt only warns and then writes nothing.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect")));
        services = std::make_unique<TestAppServices>();
        window = std::make_unique<CountingWindow>();
        c = window->controller();
        elements = InspectorTestDocument::fill(c);
        inspector = std::make_unique<Inspector>();
        services->setFocusWindow(window.get());
        settle();
    }

    void cleanup()
    {
        inspector.reset();
        window.reset();
        services.reset();
    }

    // ---- Element pages ----

    void selectionChoosesAndEnablesPages()
    {
        QVERIFY(!pageEnabled(Inspector::EdgePage));
        QVERIFY(!pageEnabled(Inspector::NodePage));
        QVERIFY(!pageEnabled(Inspector::VoiceGroupPage));

        select({elements.nodes.at(0), elements.edges.at(0)});
        QVERIFY(pageEnabled(Inspector::EdgePage));
        QVERIFY(pageEnabled(Inspector::NodePage));
        QVERIFY(!pageEnabled(Inspector::VoiceGroupPage));
        const int front = frontPage();
        QVERIFY(front == Inspector::EdgePage || front == Inspector::NodePage);

        // Two edges: the page, but not the curve list of one edge.
        select({elements.edges.at(0), elements.edges.at(1)});
        QCOMPARE(frontPage(), int(Inspector::EdgePage));
        QVERIFY(!pageEnabled(Inspector::NodePage));
        const Ui_InspectEdgeForm& edge = inspector->edgeForm();
        QVERIFY(!edge.ccListEdit->isEnabled());
        QCOMPARE(edge.ccListEdit->findChildren<CCItemEdit*>().size(), 0);
        select({elements.edges.at(0)});
        QVERIFY(edge.ccListEdit->isEnabled());
        QVERIFY(c->index(K::ContinuousControllers, element(elements.edges.at(0))).isValid());

        // One node: its edge-usage list and add button.
        const Ui_InspectNodeForm& node = inspector->nodeForm();
        select({elements.nodes.at(0), elements.nodes.at(1)});
        QCOMPARE(frontPage(), int(Inspector::NodePage));
        QVERIFY(!node.edgeUsageList->isEnabled());
        QVERIFY(!node.addEdgeUsageButton->isEnabled());
        select({elements.nodes.at(0)});
        QVERIFY(node.edgeUsageList->isEnabled());
        QVERIFY(node.addEdgeUsageButton->isEnabled());

        // Text boxes alone change no page.
        select(QmdItemIdSet(elements.textBoxes.cbegin(), elements.textBoxes.cend()));
        QCOMPARE(frontPage(), int(Inspector::NodePage));
        QVERIFY(!pageEnabled(Inspector::NodePage));
        QVERIFY(!inspector->pageButton(Inspector::EdgePage)->isChecked());
    }

    // Looking at a saved document leaves it saved.
    void selectingKeepsASavedDocumentClean()
    {
        QTemporaryDir dir;
        QSignalSpy saved(c, &QmdDocController::fileSaved);
        c->requestSave(dir.filePath(QStringLiteral("clean.kvd")));
        QTRY_COMPARE(saved.size(), 1);
        settle();
        QVERIFY(c->atCleanState());
        select({elements.edges.at(0)});
        select({elements.nodes.at(0)});
        select(QmdItemIdSet(elements.voiceGroups.cbegin(), elements.voiceGroups.cend()));
        selectInstruments({0, 1});
        services->setMidiInputPorts({QStringLiteral("Port 1")});
        settle();
        QVERIFY(c->atCleanState());
    }

    void deselectingShowsAbsentValuesWithoutRequests()
    {
        c->requestSetData(K::IsWormhole, true, element(elements.edges.at(0)));
        c->requestSetData(K::Path, int(QmdKelvo::Direct), element(elements.edges.at(0)));
        c->requestSetData(K::DontPlayNote, true, element(elements.nodes.at(0)));
        settle();
        select({elements.nodes.at(0), elements.edges.at(0)});
        const Ui_InspectEdgeForm& edge = inspector->edgeForm();
        const Ui_InspectNodeForm& node = inspector->nodeForm();
        QVERIFY(edge.wormholeCheckBox->isChecked());
        QCOMPARE(edge.pathChooser->currentIndex(), int(QmdKelvo::Direct));
        QVERIFY(node.muteCheckBox->isChecked());
        QCOMPARE(node.noteListEdit->toPlainText(),
                 c->data(K::Notes, element(elements.nodes.at(0))).toString());
        const int front = frontPage();

        QSignalSpy requests(c, &QmdController::requestFinished);
        select({});
        QCOMPARE(requests.size(), 0);
        QVERIFY(!pageEnabled(Inspector::EdgePage));
        QVERIFY(!pageEnabled(Inspector::NodePage));
        QVERIFY(!edge.wormholeCheckBox->isChecked());
        QCOMPARE(edge.pathChooser->currentIndex(), 0);
        QVERIFY(!node.muteCheckBox->isChecked());
        QVERIFY(node.noteListEdit->toPlainText().isEmpty());
        QCOMPARE(frontPage(), front);
        // The document kept its values.
        QVERIFY(c->data(K::IsWormhole, element(elements.edges.at(0))).toBool());
    }

    void differingValuesShowTheTablesValue()
    {
        const QmdItemId a = elements.nodes.at(0);
        const QmdItemId b = elements.nodes.at(1);
        c->requestSetData(K::Notes, QStringLiteral("C3"), element(a));
        c->requestSetData(K::Notes, QStringLiteral("D3"), element(b));
        c->requestSetData(K::Path, int(QmdKelvo::Direct), element(elements.edges.at(1)));
        c->requestAddVoiceGroup(element(b));
        settle();
        QmdItemIdSet groups;
        for (const QmdItemId id : c->elements()) {
            if (c->elementType(id) == QmdKelvo::VoiceGroupElement)
                groups.insert(id);
        }
        QCOMPARE(groups.size(), 2);
        c->requestSetData(K::InitialPitch, QStringLiteral("E3"), element(*groups.cbegin()));
        settle();

        select({a, b});
        QVERIFY(inspector->nodeForm().noteListEdit->toPlainText().isEmpty());
        select({elements.edges.at(0), elements.edges.at(1)});
        QCOMPARE(inspector->edgeForm().pathChooser->currentIndex(), int(QmdKelvo::CityBlock));
        select(groups);
        QVERIFY(inspector->voiceGroupForm().pitchEdit->text().isEmpty());
        // One of them alone shows its own.
        select({*groups.cbegin()});
        QCOMPARE(inspector->voiceGroupForm().pitchEdit->text(), QStringLiteral("E3"));
    }

    void documentPageComesBackToTheEdges()
    {
        select({elements.edges.at(0), elements.edges.at(1)});
        QCOMPARE(frontPage(), int(Inspector::EdgePage));
        QTest::mouseClick(inspector->pageButton(Inspector::DocumentPage), Qt::LeftButton);
        QCOMPARE(frontPage(), int(Inspector::DocumentPage));
        // Nothing newly selected: the first page with a selection comes to the front.
        select({elements.edges.at(0)});
        QCOMPARE(frontPage(), int(Inspector::EdgePage));
        // A change that keeps the page chosen plays no switch.
        select({elements.edges.at(1)});
        QCOMPARE(inspector->findChild<QTimeLine*>()->state(), QTimeLine::NotRunning);
    }

    // A selection reported item by item in one pass is read once, when the pass ends.
    void selectionChangesCoalesce()
    {
        settle();
        window->reads = 0;
        for (const QmdItemId id : elements.nodes)
            window->setSelectedElementIds({id});
        window->setSelectedElementIds(QmdItemIdSet(elements.nodes.cbegin(), elements.nodes.cend()));
        QCOMPARE(window->reads, 0);
        QVERIFY(!pageEnabled(Inspector::NodePage));
        settle();
        QCOMPARE(window->reads, 1);
        QVERIFY(pageEnabled(Inspector::NodePage));
        QVERIFY(!inspector->nodeForm().edgeUsageList->isEnabled());
    }

    void twoVoiceGroupsTakeOnePitchInOneStep()
    {
        c->requestAddVoiceGroup(element(elements.nodes.at(1)));
        settle();
        QmdItemIdSet groups;
        for (const QmdItemId id : c->elements()) {
            if (c->elementType(id) == QmdKelvo::VoiceGroupElement)
                groups.insert(id);
        }
        select(groups);
        PitchSingleEdit* pitch = inspector->voiceGroupForm().pitchEdit;
        inspector->show();
        QVERIFY(QTest::qWaitForWindowExposed(inspector.get()));
        QTRY_COMPARE(frontPage(), int(Inspector::VoiceGroupPage));
        inspector->activateWindow();
        pitch->setFocus();
        QTRY_VERIFY(pitch->hasFocus());
        pitch->selectAll();
        QSignalSpy requests(c, &QmdController::requestFinished);
        QTest::keyClicks(pitch, QStringLiteral("g4"));
        QTest::keyClick(pitch, Qt::Key_Return);
        settle();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(c->undoText(), QStringLiteral("Initial Pitch"));

        // Both, as the saved file holds them.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("pitch.kvd"));
        QSignalSpy saved(c, &QmdDocController::fileSaved);
        c->requestSave(path);
        QTRY_COMPARE(saved.size(), 1);
        TestDocumentWindow reader;
        QSignalSpy loaded(reader.controller(), &QmdDocController::fileLoaded);
        reader.controller()->requestLoad(path);
        QTRY_COMPARE(loaded.size(), 1);
        for (const QmdItemId id : groups)
            QCOMPARE(reader.controller()
                         ->data(K::InitialPitch, reader.controller()->elementIndex(id))
                         .toString(),
                     QStringLiteral("G4"));
    }

    void everyIntent_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("intent");
        auto row = [](QmdKelvo::ElementType type, const char* widget, const QString& key,
                      const char* text, const char* intent) {
            QTest::addRow("%s %s", qPrintable(QmdKelvo::elementTypeName(type)), widget)
                << int(type) << QString::fromLatin1(widget) << key << QString::fromLatin1(text)
                << QString::fromLatin1(intent);
        };
        row(QmdKelvo::EdgeElement, "pathChooser", K::Path, "", "Path");
        row(QmdKelvo::EdgeElement, "wormholeCheckBox", K::IsWormhole, "", "Wormhole");
        row(QmdKelvo::NodeElement, "sigMethodChooser", K::SignallingMethod, "", "Signalling");
        row(QmdKelvo::NodeElement, "noteListEdit", K::Notes, "E3 F3", "Notes");
        row(QmdKelvo::NodeElement, "muteCheckBox", K::DontPlayNote, "", "Mute");
        row(QmdKelvo::NodeElement, "instrumentChangeCheckBox", K::DoInstrumentChange, "",
            "Instrument Change");
        row(QmdKelvo::NodeElement, "instrumentComboBox", K::Instrument, "", "Instrument");
        row(QmdKelvo::NodeElement, "userMidiMessageListEdit", K::UserMidiMessageList, "b0 07 64",
            "Advanced MIDI");
        row(QmdKelvo::VoiceGroupElement, "quantizationChooser", K::TriggeringQuantization, "",
            "Quantization");
        row(QmdKelvo::VoiceGroupElement, "midiPitchListEdit", K::TriggeringMidiPitchList, "C3 D3",
            "MIDI Pitch List");
        row(QmdKelvo::VoiceGroupElement, "midiVelocityScalingCheckBox",
            K::TriggeringMidiVelocityScaling, "", "MIDI Velocity Scaling");
        row(QmdKelvo::VoiceGroupElement, "pitchEdit", K::InitialPitch, "A2", "Initial Pitch");
        row(QmdKelvo::VoiceGroupElement, "velocityEdit", K::InitialVelocity, "99",
            "Initial Velocity");
        row(QmdKelvo::VoiceGroupElement, "durationEdit", K::InitialDuration, "2.5",
            "Initial Duration");
        row(QmdKelvo::VoiceGroupElement, "instrumentComboBox", K::InitialInstrument, "",
            "Instrument");
        row(QmdKelvo::VoiceGroupElement, "muteCheckBox", K::DontPlayNote, "", "Mute");
        row(QmdKelvo::VoiceGroupElement, "useScaleCheckBox", K::UseScale, "", "Use Scale");
        row(QmdKelvo::VoiceGroupElement, "keyComboBox", K::ScaleKey, "", "Key");
        row(QmdKelvo::VoiceGroupElement, "modeComboBox", K::ScaleMode, "", "Mode");
    }

    // Each field writes its key of every selected element in one step named after it.
    void everyIntent()
    {
        QFETCH(int, type);
        QFETCH(QString, widget);
        QFETCH(QString, key);
        QFETCH(QString, text);
        QFETCH(QString, intent);
        QmdItemIdSet ids;
        if (type == QmdKelvo::EdgeElement) {
            ids = QmdItemIdSet(elements.edges.cbegin(), elements.edges.cend());
        } else if (type == QmdKelvo::NodeElement) {
            ids = {elements.nodes.at(0), elements.nodes.at(1)};
        } else {
            c->requestAddVoiceGroup(element(elements.nodes.at(2)));
            settle();
            for (const QmdItemId id : c->elements()) {
                if (c->elementType(id) == QmdKelvo::VoiceGroupElement)
                    ids.insert(id);
            }
        }
        QCOMPARE(ids.size(), 2);
        select(ids);
        QWidget* page = inspector->elementTypes().value(QmdKelvo::ElementType(type)).page;
        QVERIFY(page->isEnabled());
        auto* field = page->findChild<QWidget*>(widget);
        QVERIFY(field);

        QSignalSpy requests(c, &QmdController::requestFinished);
        changeLikeTheUser(field, text);
        settle();
        // One step, the document's follow-ups joined to it (a node's instrument change takes an
        // instrument); the notes are written at every valid state of the text on its way.
        QSet<QmdRequestId> steps;
        for (const QList<QVariant>& request : std::as_const(requests))
            steps.insert(request.at(0).toUInt());
        if (qobject_cast<QPlainTextEdit*>(field))
            QVERIFY(!steps.isEmpty());
        else
            QCOMPARE(steps.size(), 1);
        QCOMPARE(c->undoText(), intent);
        const QVariant first = c->data(key, element(*ids.cbegin()));
        QVERIFY(first.isValid());
        for (const QmdItemId id : ids)
            QCOMPARE(c->data(key, element(id)), first);
        if (!text.isEmpty())
            QCOMPARE(first.toString(), text);
    }

    // The instrument, key and mode are usable exactly while their boxes are checked, also
    // after a rebinding set the boxes without their signals.
    void steeredFieldsFollowTheBindings()
    {
        const QmdItemId group = elements.voiceGroups.at(0);
        const QmdItemId node = elements.nodes.at(0);
        c->requestSetData(K::UseScale, true, element(group));
        c->requestSetData(K::DoInstrumentChange, true, element(node));
        settle();
        const Ui_InspectVoiceGroupForm& groupForm = inspector->voiceGroupForm();
        const Ui_InspectNodeForm& nodeForm = inspector->nodeForm();
        select({group, node});
        QVERIFY(groupForm.useScaleCheckBox->isChecked());
        QVERIFY(groupForm.keyComboBox->isEnabled());
        QVERIFY(groupForm.modeLabel->isEnabled());
        QVERIFY(nodeForm.instrumentComboBox->isEnabled());
        select({});
        QVERIFY(!groupForm.keyComboBox->isEnabled());
        QVERIFY(!groupForm.modeLabel->isEnabled());
        QVERIFY(!nodeForm.instrumentComboBox->isEnabled());
        select({group, node});
        QVERIFY(groupForm.keyComboBox->isEnabled());
        QVERIFY(nodeForm.instrumentComboBox->isEnabled());
        // The document's change reaches the fields through the binding too.
        c->requestSetData(K::UseScale, false, element(group));
        settle();
        QVERIFY(!groupForm.useScaleCheckBox->isChecked());
        QVERIFY(!groupForm.keyComboBox->isEnabled());
    }

    // Ticked on a node that names no instrument, the instrument change shows the instrument
    // that the node's voices then play: never a ticked box with an empty choice.
    void instrumentChangeShowsTheInstrumentThatPlays()
    {
        const Ui_InspectNodeForm& ui = inspector->nodeForm();
        const QmdItemId node = elements.nodes.at(0);
        select({node});
        QVERIFY(!ui.instrumentChangeCheckBox->isChecked());
        ui.instrumentChangeCheckBox->click();
        settle();
        QVERIFY(ui.instrumentChangeCheckBox->isChecked());
        QVERIFY(ui.instrumentComboBox->isEnabled());
        QCOMPARE(ui.instrumentComboBox->currentIndex(), 0);
        QCOMPARE(ui.instrumentComboBox->currentKey().toUInt(), instrumentAt(0));
        QCOMPARE(c->data(K::Instrument, element(node)).toUInt(), instrumentAt(0));
        QCOMPARE(c->undoText(), QStringLiteral("Instrument Change"));

        // Without instruments there is none to change to: the box does not stay ticked.
        c->requestRemove(c->instruments(), c->index(K::Instruments, QmdIndex()));
        settle();
        QVERIFY(!ui.instrumentChangeCheckBox->isChecked());
        ui.instrumentChangeCheckBox->click();
        settle();
        QVERIFY(!ui.instrumentChangeCheckBox->isChecked());
        QVERIFY(!ui.instrumentComboBox->isEnabled());
    }

    void shuffleGoesToTheSelectedNodes()
    {
        select({elements.nodes.at(0), elements.edges.at(0)});
        QSignalSpy requests(c, &QmdController::requestFinished);
        inspector->shuffleNodeNotesInSelection();
        settle();
        QCOMPARE(requests.size(), 0);
    }

    // ---- Document page ----

    void tempoStepsAreOneRequestEach()
    {
        QSpinBox* tempo = inspector->documentForm().tempoSpinBox;
        QCOMPARE(tempo->value(), c->data(K::Tempo, QmdIndex()).toInt());
        const int before = tempo->value();
        QSignalSpy requests(c, &QmdController::requestFinished);
        tempo->stepUp();
        tempo->stepUp();
        settle();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(c->undoText(), QStringLiteral("Tempo"));
        QCOMPARE(c->data(K::Tempo, QmdIndex()).toInt(), before + 2);

        inspector->show();
        QVERIFY(QTest::qWaitForWindowExposed(inspector.get()));
        QTRY_COMPARE(frontPage(), int(Inspector::DocumentPage));
        inspector->activateWindow();
        tempo->setFocus();
        QTRY_VERIFY(tempo->hasFocus());
        tempo->selectAll();
        requests.clear();
        QTest::keyClicks(tempo, QStringLiteral("120"));
        QTest::keyClick(tempo, Qt::Key_Return);
        settle();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(c->data(K::Tempo, QmdIndex()).toInt(), 120);
        c->requestUndo();
        settle();
        QCOMPARE(c->data(K::Tempo, QmdIndex()).toInt(), before + 2);
        QCOMPARE(tempo->value(), before + 2);
    }

    void documentFieldsWriteTheRoot()
    {
        const Ui_InspectDocForm& ui = inspector->documentForm();
        ui.nodesColorButton->setColor(QColor(10, 20, 30));
        settle();
        QCOMPARE(c->undoText(), QStringLiteral("Nodes Color"));
        QCOMPARE(c->data(K::StyleNodesColor, QmdIndex()).value<QColor>(), QColor(10, 20, 30));
        changeLikeTheUser(ui.titleEdit, QStringLiteral("Walk"));
        settle();
        QCOMPARE(c->undoText(), QStringLiteral("Title"));
        QCOMPARE(c->data(K::Title, QmdIndex()).toString(), QStringLiteral("Walk"));
        changeLikeTheUser(ui.keyComboBox, QString());
        settle();
        QCOMPARE(c->undoText(), QStringLiteral("Key"));
        const QVariant key = c->data(K::ScaleKey, QmdIndex());
        QCOMPARE(key.metaType(), QMetaType::fromType<uint>());
        QCOMPARE(key, ui.keyComboBox->currentKey());
        // The document's change shows.
        c->requestSetData(K::Author, QStringLiteral("Somebody"), QmdIndex());
        settle();
        QCOMPARE(ui.authorEdit->text(), QStringLiteral("Somebody"));
    }

    void syncPortsFollowThePortsAndTheDocument()
    {
        const Ui_InspectDocForm& ui = inspector->documentForm();
        const QmdIndex inputs = c->index(K::SyncMidiInputs, QmdIndex());
        QVERIFY(inputs.isValid());
        const bool couldUndo = c->canUndo();
        const QString undoText = c->undoText();
        services->setMidiInputPorts({QStringLiteral("Port 10"), QStringLiteral("Port 2"),
                                     QStringLiteral("Keys"), QStringLiteral("Kelvo Input"),
                                     QStringLiteral("Kelvo Synthesizer")});
        settle();
        // Natural order; the synthesizer never; entries made outside the undo history.
        QCOMPARE(syncListTexts(ui.midiInputsList),
                 (QStringList {"Kelvo Input ", "Keys ", "Port 2 ", "Port 10 "}));
        QCOMPARE(c->keys(inputs).size(), 4);
        QVERIFY(!c->keys(inputs).contains(QStringLiteral("Kelvo Synthesizer")));
        QCOMPARE(c->canUndo(), couldUndo);
        QCOMPARE(c->undoText(), undoText);

        syncBox(ui.midiInputsList, QStringLiteral("Port 2"))->click();
        settle();
        QCOMPARE(c->undoText(), QStringLiteral("Midi Sync"));
        QVERIFY(c->data(K::MidiSync, c->index(QStringLiteral("Port 2"), inputs)).toBool());

        // Gone: the checked one stays, marked offline; the unchecked ones lose their entries.
        services->setMidiInputPorts({QStringLiteral("Kelvo Input")});
        settle();
        QCOMPARE(syncListTexts(ui.midiInputsList),
                 (QStringList {"Kelvo Input ", "Port 2 (offline)"}));
        QVERIFY(syncBox(ui.midiInputsList, QStringLiteral("Port 2"))->isChecked());
        QCOMPARE(c->keys(inputs).size(), 2);
        QCOMPARE(c->undoText(), QStringLiteral("Midi Sync"));

        // Nothing changed: nothing changes.
        QSignalSpy requests(c, &QmdController::requestFinished);
        inspector->documentRescanMidiInputs();
        settle();
        QCOMPARE(requests.size(), 0);
        QCOMPARE(syncListTexts(ui.midiInputsList),
                 (QStringList {"Kelvo Input ", "Port 2 (offline)"}));

        // Unchecked and rescanned, the absent port goes for good.
        syncBox(ui.midiInputsList, QStringLiteral("Port 2"))->click();
        settle();
        inspector->documentRescanMidiInputs();
        settle();
        QCOMPARE(syncListTexts(ui.midiInputsList), (QStringList {"Kelvo Input "}));
        QCOMPARE(c->keys(inputs), (QStringList {"Kelvo Input"}));
        QCOMPARE(c->undoText(), QStringLiteral("Midi Sync"));

        // A document entry under the synthesizer's name is one of an absent port.
        const QmdIndex outputs = c->index(K::SyncMidiOutputs, QmdIndex());
        c->requestSetTypeIfInvalid(QStringLiteral("Kelvo Synthesizer"), Qmd::StrDict, outputs);
        c->requestSetData(K::MidiSync, true,
                          c->index(QStringLiteral("Kelvo Synthesizer"), outputs));
        services->setMidiOutputPorts(
            {QStringLiteral("Kelvo Synthesizer"), QStringLiteral("Kelvo Output")});
        settle();
        QCOMPARE(syncListTexts(ui.midiOutputsList),
                 (QStringList {"Kelvo Output ", "Kelvo Synthesizer (offline)"}));
    }

    void syncListsEmptyWithoutADocument()
    {
        services->setMidiInputPorts({QStringLiteral("Port 1")});
        settle();
        QCOMPARE(syncListTexts(inspector->documentForm().midiInputsList).size(), 1);
        services->setFocusWindow(nullptr);
        QVERIFY(syncListTexts(inspector->documentForm().midiInputsList).isEmpty());
        services->setMidiInputPorts({QStringLiteral("Port 2")});
        QVERIFY(syncListTexts(inspector->documentForm().midiInputsList).isEmpty());
    }

    // ---- Instrument page ----

    void noInstrumentSelectedDisablesTheFields()
    {
        const Ui_InspectInstrumentForm& ui = inspector->instrumentForm();
        QVERIFY(!ui.editFrame->isEnabled());
        selectInstruments({0});
        QVERIFY(ui.editFrame->isEnabled());
        QVERIFY(!ui.labelEdit->text().isEmpty());
        QVERIFY(ui.colorButton->color().isValid());
        selectInstruments({});
        QVERIFY(!ui.editFrame->isEnabled());
        QVERIFY(ui.labelEdit->text().isEmpty());
        QVERIFY(!ui.colorButton->color().isValid());
        QCOMPARE(ui.midiPortsComboBox->currentIndex(), -1);
        QCOMPARE(ui.midiChannelsBox->channels().count(true), 0);
        QVERIFY(!ui.midiProgramChangeCheckBox->isChecked());
        QCOMPARE(ui.midiProgramSpinBox->value(), 1);
        QCOMPARE(ui.midiBankMSBSpinBox->value(), 0);
    }

    void twoInstrumentsAreEditedAsOne()
    {
        const Ui_InspectInstrumentForm& ui = inspector->instrumentForm();
        const QmdIndex first = c->instrumentIndex(instrumentAt(0));
        const QmdIndex second = c->instrumentIndex(instrumentAt(1));
        c->requestSetData(K::Color, QColor(Qt::red), first);
        c->requestSetData(K::Color, QColor(Qt::blue), second);
        c->requestSetData(K::MidiPort, QStringLiteral("Port A"), first);
        services->setMidiOutputPorts(
            {QStringLiteral("Kelvo Synthesizer"), QStringLiteral("Port A")});
        settle();
        selectInstruments({0, 1});
        QCOMPARE(inspector->selectedInstruments().size(), 2);
        QVERIFY(!ui.colorButton->color().isValid());
        QCOMPARE(ui.midiPortsComboBox->currentIndex(), -1);
        QVERIFY(c->data(K::MidiChannels, first) != c->data(K::MidiChannels, second));
        QCOMPARE(ui.midiChannelsBox->channels().count(true), 0);

        QSignalSpy requests(c, &QmdController::requestFinished);
        ui.colorButton->setColor(QColor(Qt::green));
        settle();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(c->undoText(), QStringLiteral("Color"));
        QCOMPARE(c->data(K::Color, first).value<QColor>(), QColor(Qt::green));
        QCOMPARE(c->data(K::Color, second).value<QColor>(), QColor(Qt::green));

        // A label is written on every edit.
        requests.clear();
        ui.labelEdit->clear();
        QTest::keyClicks(ui.labelEdit, QStringLiteral("ab"));
        settle();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(c->undoText(), QStringLiteral("Label"));
        QCOMPARE(c->data(K::Label, second).toString(), QStringLiteral("ab"));

        // The program change: one request, and the group box follows it alone.
        c->requestSetData(K::MidiDoProgramChange, true, first);
        c->requestSetData(K::MidiDoProgramChange, true, second);
        settle();
        QVERIFY(ui.midiProgramChangeCheckBox->isChecked());
        QVERIFY(ui.midiProgramChangeGroupBox->isEnabled());
        requests.clear();
        ui.midiProgramChangeCheckBox->click();
        settle();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(c->undoText(), QStringLiteral("MIDI Program Change"));
        QVERIFY(!ui.midiProgramChangeGroupBox->isEnabled());
        QVERIFY(!ui.midiProgramSpinBox->isEnabled());

        // The program is kept 1-based.
        ui.midiProgramChangeCheckBox->click();
        settle();
        ui.midiProgramSpinBox->setValue(128);
        settle();
        QCOMPARE(c->undoText(), QStringLiteral("MIDI Program"));
        QCOMPARE(c->data(K::MidiProgram, first).toInt(), 128);
    }

    void anAbsentPortIsListedOffline()
    {
        const Ui_InspectInstrumentForm& ui = inspector->instrumentForm();
        const QmdIndex first = c->instrumentIndex(instrumentAt(0));
        services->setMidiOutputPorts(
            {QStringLiteral("Kelvo Synthesizer"), QStringLiteral("Port 1")});
        c->requestSetData(K::MidiPort, QStringLiteral("Unplugged"), first);
        settle();
        selectInstruments({0});
        QCOMPARE(ui.midiPortsComboBox->currentText(), QStringLiteral("Unplugged (offline)"));
        QCOMPARE(ui.midiPortsComboBox->currentKey().toString(), QStringLiteral("Unplugged"));
        QCOMPARE(ui.midiPortsComboBox->count(), 3);
        // A rescan keeps it, and the document keeps the port.
        services->setMidiOutputPorts({QStringLiteral("Kelvo Synthesizer")});
        settle();
        QCOMPARE(ui.midiPortsComboBox->currentText(), QStringLiteral("Unplugged (offline)"));
        QCOMPARE(c->data(K::MidiPort, first).toString(), QStringLiteral("Unplugged"));
        // Plugged in again, it shows as present.
        services->setMidiOutputPorts(
            {QStringLiteral("Kelvo Synthesizer"), QStringLiteral("Unplugged")});
        settle();
        QCOMPARE(ui.midiPortsComboBox->currentText(), QStringLiteral("Unplugged"));
        QCOMPARE(ui.midiPortsComboBox->count(), 2);

        // Choosing another port is one step; the synthesizer is a port like the others.
        const int synth = ui.midiPortsComboBox->findData(QStringLiteral("Kelvo Synthesizer"));
        ui.midiPortsComboBox->setCurrentIndex(synth);
        QMetaObject::invokeMethod(ui.midiPortsComboBox, "activated", Q_ARG(int, synth));
        settle();
        QCOMPARE(c->undoText(), QStringLiteral("MIDI Port"));
        QCOMPARE(c->data(K::MidiPort, first).toString(), QStringLiteral("Kelvo Synthesizer"));
    }

    void portShownAgainAfterARescan()
    {
        const Ui_InspectInstrumentForm& ui = inspector->instrumentForm();
        // The built-in synthesizer is there to play to even where no MIDI system lists it.
        services->setMidiOutputPorts({QStringLiteral("Kelvo Output")});
        settle();
        selectInstruments({0});
        QCOMPARE(ui.midiPortsComboBox->currentText(), QStringLiteral("Kelvo Synthesizer"));

        services->setMidiOutputPorts(
            {QStringLiteral("Kelvo Synthesizer"), QStringLiteral("Port 1")});
        settle();
        selectInstruments({1});
        QCOMPARE(ui.midiPortsComboBox->currentKey().toString(),
                 c->data(K::MidiPort, c->instrumentIndex(instrumentAt(1))).toString());
        const QString shown = ui.midiPortsComboBox->currentText();
        QVERIFY(!shown.isEmpty());
        services->setMidiOutputPorts({QStringLiteral("Port 1"), QStringLiteral("Port 2"),
                                      QStringLiteral("Kelvo Synthesizer")});
        settle();
        QCOMPARE(ui.midiPortsComboBox->currentText(), shown);
    }
};

QTEST_MAIN(TestInspectorPages)
#include "tst_inspectorpages.moc"
