#include "CCListEdit.h"
#include "ColorChooserButton.h"
#include "Inspector.h"
#include "InspectorTestDocument.h"
#include "InstrumentsModel.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdKelvoUnits.h"
#include "ScaleKeysModel.h"
#include "ScaleModesModel.h"
#include "TestAppServices.h"
#include "TestDocumentWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMenu>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTest>
#include <QTimeLine>

#include <memory>

namespace K = QmdKelvoKeys;

// The inspector window: its pages and their set-up, the animated page switch, and following
// the focus window with its controller, counts and cleared fields.
class TestInspector : public QObject
{
    Q_OBJECT

private:
    static void settle() { InspectorTestDocument::settle(); }
    static QmdItemId addNode(QmdKelvoController* c, qint64 x)
    {
        return InspectorTestDocument::addNode(c, x);
    }
    static void fillDocument(QmdKelvoController* c) { InspectorTestDocument::fill(c); }

    // The counts of the document page: instruments, edges, nodes, voice groups, text boxes.
    static QStringList counts(const Inspector& inspector)
    {
        const Ui_InspectDocForm& ui = inspector.documentForm();
        return {ui.totalInstrumentsLabel->text(), ui.totalEdgesLabel->text(),
                ui.totalNodesLabel->text(), ui.totalVoiceGroupsLabel->text(),
                ui.totalTextBoxesLabel->text()};
    }

    static QTimeLine* timeLine(const Inspector& inspector)
    {
        return inspector.findChild<QTimeLine*>();
    }

    std::unique_ptr<TestAppServices> services;

private slots:
    void init()
    {
        // A binding whose change signal is misspelt only warns and then writes nothing.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect")));
        services = std::make_unique<TestAppServices>();
    }
    void cleanup() { services.reset(); }

    void firstSwitchShowsTheDocumentPage()
    {
        Inspector inspector;
        QCOMPARE(inspector.windowTitle(), QStringLiteral("Inspector"));
        QCOMPARE(inspector.width(), Inspector::FixedWidth);
        QCOMPARE(inspector.minimumWidth(), Inspector::FixedWidth);
        QCOMPARE(inspector.maximumWidth(), Inspector::FixedWidth);
        QVERIFY(inspector.pageButton(Inspector::DocumentPage)->isChecked());
        QTRY_COMPARE(inspector.windowTitle(), QStringLiteral("Document"));
        QCOMPARE(inspector.pageStack()->currentIndex(), int(Inspector::DocumentPage));
        QVERIFY(inspector.pageStack()->isVisibleTo(&inspector));
        QCOMPARE(inspector.width(), Inspector::FixedWidth);
    }

    void pageButtonsSwitchPages()
    {
        Inspector inspector;
        inspector.show();
        QVERIFY(QTest::qWaitForWindowExposed(&inspector));
        QTRY_COMPARE(inspector.windowTitle(), QStringLiteral("Document"));
        QTRY_COMPARE(timeLine(inspector)->state(), QTimeLine::NotRunning);

        const QStringList tips {"Document", "Instrument", "Edge", "Node", "Voice Group"};
        for (int page = 0; page < tips.size(); ++page) {
            QAbstractButton* button = inspector.pageButton(page);
            QCOMPARE(button->toolTip(), tips.at(page));
            QCOMPARE(button->height(), 24);
            QVERIFY(!button->icon().isNull());
        }
        QTest::mouseClick(inspector.pageButton(Inspector::NodePage), Qt::LeftButton);
        QVERIFY(inspector.pageButton(Inspector::NodePage)->isChecked());
        // The pages hide while the window changes height.
        QVERIFY(!inspector.pageStack()->isVisible());
        QTRY_COMPARE(inspector.windowTitle(), QStringLiteral("Node"));
        QVERIFY(inspector.pageStack()->isVisible());
        QCOMPARE(inspector.pageStack()->currentIndex(), int(Inspector::NodePage));
        const QWidget* node = inspector.pageStack()->currentWidget();
        QCOMPARE(inspector.height(), inspector.pageButton(0)->height() + node->sizeHint().height());

        // The button of the page in front does nothing.
        QTest::mouseClick(inspector.pageButton(Inspector::NodePage), Qt::LeftButton);
        QCOMPARE(timeLine(inspector)->state(), QTimeLine::NotRunning);
        QVERIFY(inspector.pageStack()->isVisible());
        // Forced, the switch plays again.
        inspector.transformToPage(Inspector::NodePage, true);
        QCOMPARE(timeLine(inspector)->state(), QTimeLine::Running);
        QTRY_COMPARE(timeLine(inspector)->state(), QTimeLine::NotRunning);
        QCOMPARE(inspector.windowTitle(), QStringLiteral("Node"));

        // Changing one's mind during a switch goes back to the page in front.
        QTest::mouseClick(inspector.pageButton(Inspector::EdgePage), Qt::LeftButton);
        QTest::mouseClick(inspector.pageButton(Inspector::NodePage), Qt::LeftButton);
        QTRY_COMPARE(timeLine(inspector)->state(), QTimeLine::NotRunning);
        QCOMPARE(inspector.windowTitle(), QStringLiteral("Node"));
        QCOMPARE(inspector.pageStack()->currentIndex(), int(Inspector::NodePage));
    }

    void pagesAreSetUp()
    {
        Inspector inspector;
        const Ui_InspectDocForm& doc = inspector.documentForm();
        QCOMPARE(doc.tabWidget->currentWidget(), doc.networkTab);
        QCOMPARE(doc.tempoSpinBox->minimum(), 1);
        QCOMPARE(doc.tempoSpinBox->maximum(), 999);
        QStringList presets;
        for (int i = 0; i < doc.presetsComboBox->count(); ++i)
            presets << doc.presetsComboBox->itemText(i);
        QCOMPARE(presets, QmdKelvoController::stylePresetNames());
        QCOMPARE(presets.mid(0, 2), (QStringList {"Dark", "Light"}));

        const Ui_InspectEdgeForm& edge = inspector.edgeForm();
        QVERIFY(edge.pathChooser->isCompact());
        QCOMPARE(edge.pathChooser->count(), 3);
        const QStringList pathTips {"City block", "City block flipped", "Direct"};
        for (int path = 0; path < 3; ++path) {
            QCOMPARE(edge.pathChooser->tabToolTip(path), pathTips.at(path));
            QVERIFY(!edge.pathChooser->tabIcon(path).isNull());
            QVERIFY(edge.pathChooser->tabText(path).isEmpty());
        }

        const Ui_InspectNodeForm& node = inspector.nodeForm();
        QCOMPARE(node.sigMethodChooser->count(), 3);
        QCOMPARE(node.sigMethodChooser->tabText(QmdKelvo::Random), QStringLiteral("Random"));
        QVERIFY(!node.sigMethodChooser->drawBase());
        QCOMPARE(node.addEdgeUsageButton->menu(), node.edgeUsageList->addMenu());
        QCOMPARE(node.edgeUsageList->height(), 38);
        QVERIFY(node.shuffleButton->isHidden());
        QCOMPARE(node.noteListEdit->palette().color(QPalette::Inactive, QPalette::Base),
                 QColor(223, 228, 234));

        const Ui_InspectVoiceGroupForm& group = inspector.voiceGroupForm();
        QStringList quantizations;
        for (int i = 0; i < group.quantizationChooser->count(); ++i)
            quantizations << group.quantizationChooser->tabText(i);
        QCOMPARE(quantizations, (QStringList {"None", "Division", "Principal", "Beat"}));
        QCOMPARE(group.noteLabel->font().pointSize(), Inspector::fontPointSize());
        const QValidator* duration = group.durationEdit->validator();
        QVERIFY(duration);
        for (const char* text : {"1", "1234", "12.5", ".5", "1234.5678"}) {
            QString input = QString::fromLatin1(text);
            int pos = 0;
            QCOMPARE(duration->validate(input, pos), QValidator::Acceptable);
        }
        for (const char* text : {"12345", "1.23456", "1:2", "-1"}) {
            QString input = QString::fromLatin1(text);
            int pos = 0;
            QCOMPARE(duration->validate(input, pos), QValidator::Invalid);
        }

        QVERIFY(inspector.instrumentForm().colorButton->ignoreAlpha());
        // Every push button is flat, but for the channel box's own.
        QVERIFY(inspector.instrumentForm().listAddButton->isFlat());
        QVERIFY(doc.edgesColorButton->isFlat());
        QVERIFY(
            !static_cast<QPushButton*>(inspector.instrumentForm().midiChannelsBox->channelButton(0))
                 ->isFlat());
    }

    void fontFollowsTheApplication()
    {
        const QFont before = QApplication::font();
        QFont font = before;
        font.setPointSize(13);
        QApplication::setFont(font);
        QCOMPARE(Inspector::fontPointSize(), 11);
        font.setPointSize(8);
        QApplication::setFont(font);
        QCOMPARE(Inspector::fontPointSize(), 7);
        QApplication::setFont(before);
    }

    // The instrument of a node and the key and mode of a voice group are usable exactly while
    // their boxes are checked, also after a box was set without its signals.
    void checkBoxesSteerTheirFields()
    {
        Inspector inspector;
        const Ui_InspectNodeForm& node = inspector.nodeForm();
        const Ui_InspectVoiceGroupForm& group = inspector.voiceGroupForm();
        const QList<QWidget*> scale {group.keyComboBox, group.modeComboBox, group.keyLabel,
                                     group.modeLabel};
        // Enabled as far as the pages go: a page without a selection is disabled as a whole.
        const QWidget* groupPage = inspector.pageStack()->widget(Inspector::VoiceGroupPage);
        const QWidget* nodePage = inspector.pageStack()->widget(Inspector::NodePage);
        QVERIFY(!group.useScaleCheckBox->isChecked());
        for (const QWidget* field : scale)
            QVERIFY(!field->isEnabledTo(groupPage));
        QVERIFY(!node.instrumentChangeCheckBox->isChecked());
        QVERIFY(!node.instrumentComboBox->isEnabledTo(nodePage));

        // The boxes of a selected node and voice group take their values from the document at
        // the reset that binds them, after an unbinding that set them quietly. The document has
        // an instrument for the node's change to name.
        TestDocumentWindow window;
        QmdKelvoController* c = window.controller();
        c->requestAddInstrument();
        const QmdItemId nodeId = InspectorTestDocument::addNode(c, 0);
        c->requestAddVoiceGroup(c->elementIndex(nodeId));
        settle();
        const QmdItemIdList all = c->elements();
        window.setSelectedElementIds(QmdItemIdSet(all.cbegin(), all.cend()));
        services->setFocusWindow(&window);
        const auto setBoxes = [&](bool on) {
            for (const QmdItemId id : c->elements()) {
                const bool isNode = c->elementType(id) == QmdKelvo::NodeElement;
                const QmdIndex element = c->elementIndex(id);
                c->requestSetData(isNode ? K::DoInstrumentChange : K::UseScale, on, element);
            }
            inspector.reset();
            settle();
        };
        setBoxes(true);
        QVERIFY(group.useScaleCheckBox->isChecked());
        for (const QWidget* field : scale)
            QVERIFY(field->isEnabledTo(groupPage));
        QVERIFY(node.instrumentComboBox->isEnabledTo(nodePage));

        setBoxes(false);
        QVERIFY(!group.useScaleCheckBox->isChecked());
        for (const QWidget* field : scale)
            QVERIFY(!field->isEnabledTo(groupPage));
        QVERIFY(!node.instrumentComboBox->isEnabledTo(nodePage));
        services->setFocusWindow(nullptr);
    }

    void countsFollowTheDocument()
    {
        TestDocumentWindow window;
        QmdKelvoController* c = window.controller();
        fillDocument(c);
        Inspector inspector;
        QVERIFY(!inspector.pageStack()->isEnabled());
        QCOMPARE(counts(inspector), (QStringList {"0", "0", "0", "0", "0"}));
        services->setFocusWindow(&window);
        QCOMPARE(inspector.kelvoWindow(), &window);
        QVERIFY(inspector.pageStack()->isEnabled());
        QCOMPARE(counts(inspector), (QStringList {"2", "2", "3", "1", "2"}));
        // Text boxes are counted but have no page.
        QVERIFY(!inspector.elementTypes().value(QmdKelvo::TextBoxElement).page);

        addNode(c, 5);
        c->requestAddInstrument();
        settle();
        QCOMPARE(counts(inspector), (QStringList {"3", "2", "4", "1", "2"}));

        // A removal counts at once, before the window reports its changed selection.
        const QmdItemIdList nodes
            = inspector.elementTypes().value(QmdKelvo::NodeElement).ids.values();
        window.setSelectedElementIds(QmdItemIdSet {nodes.first()});
        QSignalSpy selectionChanged(&window, &DocumentWindow::elementSelectionChanged);
        c->requestRemove(nodes.first(), c->index(K::Elements, QmdIndex()));
        settle();
        QCOMPARE(selectionChanged.size(), 0);
        QCOMPARE(counts(inspector).at(2), QStringLiteral("3"));
        // An undo brings it back, and a reset of the document counts afresh.
        c->requestUndo();
        settle();
        QCOMPARE(counts(inspector).at(2), QStringLiteral("4"));
        emit c->modelReset();
        settle();
        QCOMPARE(counts(inspector), (QStringList {"3", "2", "4", "1", "2"}));

        // Selecting only text boxes brings no page to the front.
        QTRY_COMPARE(timeLine(inspector)->state(), QTimeLine::NotRunning);
        const int front = inspector.pageStack()->currentIndex();
        window.setSelectedElementIds(inspector.elementTypes().value(QmdKelvo::TextBoxElement).ids);
        settle();
        QCOMPARE(timeLine(inspector)->state(), QTimeLine::NotRunning);
        QCOMPARE(inspector.pageStack()->currentIndex(), front);
    }

    void pagesShowTheDocumentsModels()
    {
        TestDocumentWindow window;
        QmdKelvoController* c = window.controller();
        fillDocument(c);
        c->requestSetData(K::ScaleKey, 7u, QmdIndex());
        settle();
        Inspector inspector;
        services->setFocusWindow(&window);
        QCOMPARE(inspector.instrumentForm().listView->model(), c->instrumentsModel());
        QCOMPARE(inspector.nodeForm().instrumentComboBox->model(), c->instrumentsModel());
        QCOMPARE(inspector.voiceGroupForm().instrumentComboBox->model(), c->instrumentsModel());
        QCOMPARE(inspector.voiceGroupForm().keyComboBox->model(), c->scaleKeysModel());
        QCOMPARE(inspector.documentForm().modeComboBox->model(), c->scaleModesModel());
        // The document's scale shows on the document page.
        QCOMPARE(inspector.documentForm().keyComboBox->currentKey().toLongLong(), 7);
        QCOMPARE(inspector.documentForm().modeComboBox->currentKey().toULongLong(),
                 c->data(K::ScaleMode, QmdIndex()).toULongLong());
        QVERIFY(inspector.documentForm().modeComboBox->currentIndex() >= 0);

        // The add button adds one instrument.
        inspector.instrumentForm().listAddButton->click();
        settle();
        QCOMPARE(c->instruments().size(), 3);
        QCOMPARE(inspector.documentForm().totalInstrumentsLabel->text(), QStringLiteral("3"));
    }

    void presetIsOneStep()
    {
        TestDocumentWindow window;
        QmdKelvoController* c = window.controller();
        Inspector inspector;
        services->setFocusWindow(&window);
        QComboBox* presets = inspector.documentForm().presetsComboBox;
        QCOMPARE(presets->currentText(), QStringLiteral("Dark"));
        const QVariant dark = c->data(K::StyleBackgroundColor, QmdIndex());
        const bool couldUndo = c->canUndo();

        presets->setCurrentIndex(presets->findText(QStringLiteral("Light")));
        settle();
        QCOMPARE(c->undoText(), QStringLiteral("Color Preset: Light"));
        QVERIFY(c->data(K::StyleBackgroundColor, QmdIndex()) != dark);
        // Choosing the preset shown again makes no request.
        presets->setCurrentIndex(presets->findText(QStringLiteral("Light")));
        c->requestUndo();
        settle();
        QCOMPARE(c->data(K::StyleBackgroundColor, QmdIndex()), dark);
        QCOMPARE(c->canUndo(), couldUndo);

        // Another document's inspector no longer writes to this one.
        TestDocumentWindow other;
        services->setFocusWindow(&other);
        presets->setCurrentIndex(presets->findText(QStringLiteral("Dark")));
        settle();
        QCOMPARE(c->data(K::StyleBackgroundColor, QmdIndex()), dark);
        QCOMPARE(c->canUndo(), couldUndo);
        QCOMPARE(other.controller()->undoText(), QStringLiteral("Color Preset: Dark"));
    }

    void withoutAFocusWindowEveryFieldIsCleared()
    {
        auto window = std::make_unique<TestDocumentWindow>();
        fillDocument(window->controller());
        services->setMidiOutputPorts({QStringLiteral("Port 1"), QStringLiteral("Port 2")});
        Inspector inspector;
        services->setFocusWindow(window.get());
        const Ui_InspectDocForm& doc = inspector.documentForm();
        const Ui_InspectNodeForm& node = inspector.nodeForm();
        const Ui_InspectInstrumentForm& instrument = inspector.instrumentForm();
        const Ui_InspectVoiceGroupForm& group = inspector.voiceGroupForm();
        doc.authorEdit->setText(QStringLiteral("Somebody"));
        doc.commentsEdit->setPlainText(QStringLiteral("A comment"));
        doc.tempoSpinBox->setValue(120);
        doc.divsSpinBox->setValue(4);
        doc.nodesColorButton->setColor(Qt::red);
        node.muteCheckBox->setChecked(true);
        node.noteListEdit->setPlainText(QStringLiteral("C3"));
        node.instrumentComboBox->setCurrentIndex(1);
        instrument.midiPortsComboBox->addItems(
            {QStringLiteral("Port 1"), QStringLiteral("Port 2")});
        instrument.midiPortsComboBox->setCurrentIndex(1);
        instrument.midiProgramSpinBox->setValue(40);
        group.pitchEdit->setText(QStringLiteral("C3"));
        group.useScaleCheckBox->setChecked(true);

        services->setFocusWindow(nullptr);
        QCOMPARE(inspector.kelvoWindow(), nullptr);
        QVERIFY(!inspector.pageStack()->isEnabled());
        QCOMPARE(counts(inspector), (QStringList {"0", "0", "0", "0", "0"}));
        QVERIFY(doc.authorEdit->text().isEmpty());
        QVERIFY(doc.commentsEdit->toPlainText().isEmpty());
        QCOMPARE(doc.tempoSpinBox->value(), 1);
        QCOMPARE(doc.divsSpinBox->value(), 1);
        QVERIFY(!doc.nodesColorButton->color().isValid());
        QCOMPARE(doc.presetsComboBox->currentIndex(), 0);
        QVERIFY(!node.muteCheckBox->isChecked());
        QVERIFY(node.noteListEdit->toPlainText().isEmpty());
        QCOMPARE(instrument.midiPortsComboBox->currentIndex(), 0);
        QCOMPARE(instrument.midiProgramSpinBox->value(), 1);
        QVERIFY(group.pitchEdit->text().isEmpty());
        QVERIFY(!group.useScaleCheckBox->isChecked());
        QVERIFY(!group.keyComboBox->isEnabled());
        // The views hold the empty model: the document's models go with its controller.
        QCOMPARE(instrument.listView->model(), inspector.emptyModel());
        for (const QComboBox* box :
             {static_cast<QComboBox*>(node.instrumentComboBox),
              static_cast<QComboBox*>(group.instrumentComboBox),
              static_cast<QComboBox*>(doc.keyComboBox), static_cast<QComboBox*>(group.keyComboBox),
              static_cast<QComboBox*>(doc.modeComboBox),
              static_cast<QComboBox*>(group.modeComboBox)}) {
            QCOMPARE(box->model(), inspector.emptyModel());
            QCOMPARE(box->currentIndex(), -1);
        }
        QCOMPARE(inspector.emptyModel()->rowCount(), 0);
        window.reset();
        settle();
    }

    void destroyingTheFocusWindowOutright()
    {
        auto window = std::make_unique<TestDocumentWindow>();
        fillDocument(window->controller());
        Inspector inspector;
        services->setFocusWindow(window.get());
        QCOMPARE(inspector.documentForm().totalNodesLabel->text(), QStringLiteral("3"));
        // The controller goes first, then the window, and the application reports the window
        // gone while it is being destroyed.
        QmdKelvoController* controller = window->controller();
        bool modelsEmptyAtControllerEnd = false;
        connect(controller, &QObject::destroyed, this, [&] {
            modelsEmptyAtControllerEnd
                = inspector.instrumentForm().listView->model() == inspector.emptyModel()
                && inspector.nodeForm().instrumentComboBox->model() == inspector.emptyModel();
        });
        bool clearedWithTheWindow = false;
        connect(window.get(), &QObject::destroyed, services.get(), [&] {
            emit services->focusWindowChanged(nullptr);
            clearedWithTheWindow = !inspector.pageStack()->isEnabled()
                && inspector.documentForm().totalNodesLabel->text() == QLatin1String("0");
        });
        window.reset();
        QVERIFY(modelsEmptyAtControllerEnd);
        QVERIFY(clearedWithTheWindow);
        QCOMPARE(inspector.kelvoWindow(), nullptr);
        settle();

        // And the inspector follows the next window.
        TestDocumentWindow next;
        fillDocument(next.controller());
        services->setFocusWindow(&next);
        QCOMPARE(inspector.documentForm().totalNodesLabel->text(), QStringLiteral("3"));
        QVERIFY(inspector.pageStack()->isEnabled());
        next.setSelectedElementIds({});
    }

    // The edge page's controller-curve list works on the focus window's controller, and the
    // page in front shows it at its full height below the path section.
    void curveListFollowsTheController()
    {
        Inspector inspector;
        const Ui_InspectEdgeForm& edge = inspector.edgeForm();
        QCOMPARE(edge.ccListEditScrollArea->widget(), edge.ccListEdit);
        QCOMPARE(edge.ccListEditScrollArea->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QVERIFY(edge.ccListEditScrollArea->styleSheet().contains(QLatin1String("border-top")));
        QVERIFY(!edge.ccListEdit->documentController());

        TestDocumentWindow window;
        services->setFocusWindow(&window);
        QCOMPARE(edge.ccListEdit->documentController(), window.controller());
        TestDocumentWindow other;
        services->setFocusWindow(&other);
        QCOMPARE(edge.ccListEdit->documentController(), other.controller());

        inspector.show();
        QVERIFY(QTest::qWaitForWindowExposed(&inspector));
        inspector.transformToPage(Inspector::EdgePage);
        QTRY_COMPARE(inspector.windowTitle(), QStringLiteral("Edge"));
        QCOMPARE(edge.ccListEditScrollArea->height(), 450);
        QVERIFY(edge.ccListEditScrollArea->isVisible());
        QVERIFY(edge.ccListEdit->isVisible());
        QVERIFY(inspector.height() >= inspector.pageButton(0)->height() + 450);
        QCOMPARE(edge.ccListEditScrollArea->width(), Inspector::FixedWidth);

        services->setFocusWindow(nullptr);
        QVERIFY(!edge.ccListEdit->documentController());
    }

    void takesTheFocusWindowThatExists()
    {
        TestDocumentWindow window;
        fillDocument(window.controller());
        services->setFocusWindow(&window);
        Inspector inspector;
        QCOMPARE(inspector.kelvoWindow(), &window);
        QCOMPARE(inspector.documentForm().totalEdgesLabel->text(), QStringLiteral("2"));
    }
};

QTEST_MAIN(TestInspector)
#include "tst_inspector.moc"
