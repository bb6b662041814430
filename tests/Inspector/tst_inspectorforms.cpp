#include "CCListEdit.h"
#include "FocusWindow.h"
#include "VerticalListViewWidget.h"
#include "ui_InspectDocForm.h"
#include "ui_InspectEdgeForm.h"
#include "ui_InspectInstrumentForm.h"
#include "ui_InspectNodeForm.h"
#include "ui_InspectVoiceGroupForm.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>

// The inspector's page forms, each built on a plain widget: their widgets with names and
// classes, the top level, the ranges, tab orders, texts, fixed heights and the few connections
// that the forms make.
class TestInspectorForms : public QObject
{
    Q_OBJECT

private:
    // A page widget with the named form built on it; the form object itself only points into
    // the page.
    template<class Form>
    static std::unique_ptr<QWidget> build(const QString& name)
    {
        auto page = std::make_unique<QWidget>();
        page->setObjectName(name);
        Form form;
        form.setupUi(page.get());
        return page;
    }

    static std::unique_ptr<QWidget> buildByName(const QString& form, const QString& name = {})
    {
        if (form == QLatin1String("InspectDocForm"))
            return build<Ui_InspectDocForm>(name);
        if (form == QLatin1String("InspectInstrumentForm"))
            return build<Ui_InspectInstrumentForm>(name);
        if (form == QLatin1String("InspectEdgeForm"))
            return build<Ui_InspectEdgeForm>(name);
        if (form == QLatin1String("InspectNodeForm"))
            return build<Ui_InspectNodeForm>(name);
        return build<Ui_InspectVoiceGroupForm>(name);
    }

    // Where each of `chain` first appears in the focus chain that starts at its first widget,
    // in the order found.
    static QStringList focusOrder(QWidget* first, const QStringList& chain)
    {
        QStringList found;
        QWidget* widget = first;
        do {
            if (chain.contains(widget->objectName()) && !found.contains(widget->objectName()))
                found << widget->objectName();
            widget = widget->nextInFocusChain();
        } while (widget && widget != first);
        return found;
    }

    // Whether an object belongs to a row of the controller-curve list, a form of its own.
    static bool insideCurveList(const QObject* object)
    {
        for (const QObject* up = object->parent(); up; up = up->parent()) {
            if (qobject_cast<const CCListEdit*>(up))
                return true;
        }
        return false;
    }

private slots:
    void widgetsHaveTheirNamesAndClasses_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QStringList>("names");
        auto row = [](const char* form, const char* className, const char* names) {
            QTest::addRow("%s %s", form, className)
                << QString::fromLatin1(form) << QString::fromLatin1(className)
                << QString::fromLatin1(names).split(QLatin1Char(' '));
        };
        row("InspectDocForm", "QTabWidget", "tabWidget");
        row("InspectDocForm", "QWidget", "networkTab styleTab infoTab");
        row("InspectDocForm", "SectionLabel", "label synchronizationLabel globalScaleLabel");
        row("InspectDocForm", "QLabel",
            "label_4 label_5 label_2_3 divsLabel tempoLabel midiInputsLabel midiOutputsLabel "
            "keyLabel modeLabel presetsLabel backgroundLabel principalLinesLabel "
            "principalPointsLabel divisionLinesLabel divisionPointsLabel annotationLabel "
            "nodesLabel edgesLabel authorLabel titleLabel commentsLabel label_12 label_10 label_9 "
            "label_11 label_8 totalInstrumentsLabel totalEdgesLabel totalNodesLabel "
            "totalVoiceGroupsLabel totalTextBoxesLabel");
        row("InspectDocForm", "QSpinBox",
            "principalsSpinBox beatsSpinBox divsSpinBox tempoSpinBox");
        row("InspectDocForm", "QFrame", "line_4 line_3 line_2 line");
        row("InspectDocForm", "QScrollArea", "midiInputsBox midiOutputsBox");
        row("InspectDocForm", "QwpComboBox", "keyComboBox modeComboBox");
        row("InspectDocForm", "QComboBox", "presetsComboBox");
        row("InspectDocForm", "ColorChooserButton",
            "backgroundColorButton principalLinesColorButton principalPointsColorButton "
            "divisionLinesColorButton divisionPointsColorButton annotationColorButton "
            "nodesColorButton edgesColorButton");
        row("InspectDocForm", "QLineEdit", "authorEdit titleEdit");
        row("InspectDocForm", "QPlainTextEditPlus", "commentsEdit");
        row("InspectDocForm", "QVBoxLayout",
            "vboxLayout verticalLayout_5 verticalLayout_2 verticalLayout_4 verticalLayout_6 "
            "verticalLayout_3 verticalLayout");
        row("InspectDocForm", "QGridLayout", "gridLayout");
        row("InspectDocForm", "QHBoxLayout", "horizontalLayout");
        row("InspectDocForm", "QFormLayout",
            "formLayout_5 formLayout_4 formLayout_3 formLayout_2 formLayout");

        row("InspectInstrumentForm", "InstrumentsView", "listView");
        row("InspectInstrumentForm", "QFrame", "listButtonsFrame editFrame");
        row("InspectInstrumentForm", "QLabel",
            "listButtonsSpacerLabel label_5 label_3 label_4 label_13 label_14 label_15");
        row("InspectInstrumentForm", "QPushButton", "listAddButton");
        row("InspectInstrumentForm", "QLineEdit", "labelEdit");
        row("InspectInstrumentForm", "ColorChooserButton", "colorButton");
        row("InspectInstrumentForm", "QwpComboBox", "midiPortsComboBox");
        row("InspectInstrumentForm", "ChannelsBox", "midiChannelsBox");
        row("InspectInstrumentForm", "QCheckBox", "midiProgramChangeCheckBox");
        row("InspectInstrumentForm", "QGroupBox", "midiProgramChangeGroupBox");
        row("InspectInstrumentForm", "QSpinBox",
            "midiProgramSpinBox midiBankMSBSpinBox midiBankLSBSpinBox");
        row("InspectInstrumentForm", "QVBoxLayout", "verticalLayout verticalLayout_2");
        row("InspectInstrumentForm", "QHBoxLayout", "horizontalLayout hboxLayout");
        row("InspectInstrumentForm", "QFormLayout", "formLayout");
        row("InspectInstrumentForm", "QGridLayout", "gridLayout gridLayout_2");

        row("InspectEdgeForm", "SectionLabel", "pathSection controllersSection");
        row("InspectEdgeForm", "Chooser", "pathChooser");
        row("InspectEdgeForm", "QCheckBox", "wormholeCheckBox");
        row("InspectEdgeForm", "QFrame", "line_2");
        row("InspectEdgeForm", "QVBoxLayout", "verticalLayout_2 verticalLayout vboxLayout");
        row("InspectEdgeForm", "QHBoxLayout", "hboxLayout");
        row("InspectEdgeForm", "CCListEditScrollArea", "ccListEditScrollArea");
        row("InspectEdgeForm", "CCListEdit", "ccListEdit");

        row("InspectNodeForm", "SectionLabel", "label label_2 advancedMidiLabel");
        row("InspectNodeForm", "Chooser", "sigMethodChooser");
        row("InspectNodeForm", "EdgeUsageListEditor", "edgeUsageList");
        row("InspectNodeForm", "QPushButton", "addEdgeUsageButton shuffleButton");
        row("InspectNodeForm", "NotesEdit", "noteListEdit");
        row("InspectNodeForm", "QCheckBox", "muteCheckBox instrumentChangeCheckBox");
        row("InspectNodeForm", "QwpComboBox", "instrumentComboBox");
        row("InspectNodeForm", "QLabel", "userMidiMessageListLabel");
        row("InspectNodeForm", "UserMidiMessageListEdit", "userMidiMessageListEdit");
        row("InspectNodeForm", "QFrame", "line line_3 line_2");
        row("InspectNodeForm", "QVBoxLayout", "verticalLayout verticalLayout_3 verticalLayout_2");
        row("InspectNodeForm", "QGridLayout", "gridLayout gridLayout1 gridLayout2");
        row("InspectNodeForm", "QFormLayout", "formLayout_2");

        row("InspectVoiceGroupForm", "SectionLabel", "triggeringSectionLabel initialVoiceLabel");
        row("InspectVoiceGroupForm", "QLabel",
            "midiNotesLabel quantizationLabel noteLabel label_7 label_8 label_9 label_10 "
            "keyLabel modeLabel");
        row("InspectVoiceGroupForm", "PitchListEdit", "midiPitchListEdit");
        row("InspectVoiceGroupForm", "Chooser", "quantizationChooser");
        row("InspectVoiceGroupForm", "QCheckBox",
            "midiVelocityScalingCheckBox muteCheckBox useScaleCheckBox");
        row("InspectVoiceGroupForm", "PitchSingleEdit", "pitchEdit");
        row("InspectVoiceGroupForm", "VelocitySingleEdit", "velocityEdit");
        row("InspectVoiceGroupForm", "QLineEdit", "durationEdit");
        row("InspectVoiceGroupForm", "QwpComboBox", "instrumentComboBox keyComboBox modeComboBox");
        row("InspectVoiceGroupForm", "QFrame", "line line_3 line_2");
        row("InspectVoiceGroupForm", "QVBoxLayout",
            "verticalLayout_3 verticalLayout_2 verticalLayout verticalLayout_4");
        row("InspectVoiceGroupForm", "QGridLayout", "gridLayout");
        row("InspectVoiceGroupForm", "QFormLayout", "formLayout formLayout_2");
    }

    void widgetsHaveTheirNamesAndClasses()
    {
        QFETCH(QString, form);
        QFETCH(QString, className);
        QFETCH(QStringList, names);
        const auto page = buildByName(form);
        for (const QString& name : names) {
            // The rows of the controller-curve list are forms of their own.
            QList<QObject*> found = page->findChildren<QObject*>(name);
            found.removeIf(insideCurveList);
            QVERIFY2(found.size() == 1, qPrintable(name));
            // The exact class: a promoted widget that lost its promotion shows here.
            QCOMPARE(QString::fromLatin1(found.first()->metaObject()->className()), className);
        }
    }

    void topLevelNamesAndTitles_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QSize>("size");
        QTest::newRow("document") << "InspectDocForm"
                                  << "Document" << QSize(266, 622);
        QTest::newRow("instrument") << "InspectInstrumentForm"
                                    << "Instrument" << QSize(273, 418);
        QTest::newRow("edge") << "InspectEdgeForm"
                              << "Edge" << QSize(177, 566);
        QTest::newRow("node") << "InspectNodeForm"
                              << "Node" << QSize(325, 441);
        QTest::newRow("voice group") << "InspectVoiceGroupForm"
                                     << "Voice Group" << QSize(297, 406);
    }

    void topLevelNamesAndTitles()
    {
        QFETCH(QString, form);
        QFETCH(QString, title);
        QFETCH(QSize, size);
        const auto unnamed = buildByName(form);
        QCOMPARE(unnamed->objectName(), form);
        QCOMPARE(unnamed->windowTitle(), title);
        QCOMPARE(unnamed->size(), size);
        // A page that has a name keeps it.
        const auto named = buildByName(form, QStringLiteral("page"));
        QCOMPARE(named->objectName(), QStringLiteral("page"));
        // The form hides and disables nothing but the voice group's hint; only the tab widget
        // hides the tabs not shown.
        const QList<QWidget*> widgets = unnamed->findChildren<QWidget*>();
        for (const QWidget* widget : widgets) {
            const QString name = widget->objectName();
            // Parts of Qt's own widgets.
            if (name.isEmpty() || name.startsWith(QLatin1String("qt_"))
                || widget->parentWidget()->inherits("QTabBar") || insideCurveList(widget))
                continue;
            QVERIFY2(!widget->isHidden() || widget->parentWidget()->inherits("QStackedWidget"),
                     qPrintable(name));
            QVERIFY2(widget->isEnabled() || name == QLatin1String("noteLabel"), qPrintable(name));
        }
    }

    void spinBoxesClampBeforeAnyValueLeaves()
    {
        Ui_InspectDocForm doc;
        QWidget docPage;
        doc.setupUi(&docPage);
        Ui_InspectInstrumentForm instrument;
        QWidget instrumentPage;
        instrument.setupUi(&instrumentPage);
        struct Range
        {
            QSpinBox* box;
            int minimum;
            int maximum;
            int value;
        };
        const Range ranges[] = {{doc.principalsSpinBox, 1, 128, 1},
                                {doc.beatsSpinBox, 1, 128, 1},
                                {doc.divsSpinBox, 1, 64, 1},
                                {instrument.midiProgramSpinBox, 1, 128, 1},
                                {instrument.midiBankMSBSpinBox, 0, 127, 0},
                                {instrument.midiBankLSBSpinBox, 0, 127, 0}};
        for (const Range& range : ranges) {
            QCOMPARE(range.box->value(), range.value);
            range.box->setValue(range.minimum - 1);
            QCOMPARE(range.box->value(), range.minimum);
            range.box->setValue(range.maximum + 1);
            QCOMPARE(range.box->value(), range.maximum);
        }
        QCOMPARE(doc.tempoSpinBox->suffix(), QStringLiteral(" bpm"));
    }

    // The spin boxes bound to the document report an entered value once it is complete, not
    // each digit typed on the way.
    void typedNumbersAreReportedOnceComplete()
    {
        Ui_InspectDocForm doc;
        auto* page = new QWidget;
        doc.setupUi(page);
        FocusWindow window(page);
        QVERIFY(window.open());
        for (QSpinBox* box :
             {doc.principalsSpinBox, doc.beatsSpinBox, doc.divsSpinBox, doc.tempoSpinBox}) {
            doc.tabWidget->setCurrentWidget(doc.networkTab);
            QVERIFY(FocusWindow::focus(box));
            QSignalSpy changed(box, &QSpinBox::valueChanged);
            box->selectAll();
            QTest::keyClicks(box, QStringLiteral("12"));
            QCOMPARE(changed.size(), 0);
            QTest::keyClick(box, Qt::Key_Return);
            QCOMPARE(changed.size(), 1);
            QCOMPARE(changed.first().first().toInt(), 12);
        }
        Ui_InspectInstrumentForm instrument;
        QWidget instrumentPage;
        instrument.setupUi(&instrumentPage);
        for (const QSpinBox* box : {instrument.midiProgramSpinBox, instrument.midiBankMSBSpinBox,
                                    instrument.midiBankLSBSpinBox})
            QVERIFY(!box->keyboardTracking());
    }

    void tabOrders_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QStringList>("chain");
        QTest::newRow("document") << "InspectDocForm"
                                  << QStringList {"principalsSpinBox",
                                                  "beatsSpinBox",
                                                  "divsSpinBox",
                                                  "tempoSpinBox",
                                                  "midiInputsBox",
                                                  "midiOutputsBox",
                                                  "presetsComboBox",
                                                  "backgroundColorButton",
                                                  "principalLinesColorButton",
                                                  "principalPointsColorButton",
                                                  "divisionLinesColorButton",
                                                  "divisionPointsColorButton",
                                                  "annotationColorButton",
                                                  "nodesColorButton",
                                                  "edgesColorButton",
                                                  "authorEdit",
                                                  "titleEdit",
                                                  "commentsEdit",
                                                  "tabWidget"};
        QTest::newRow("instrument") << "InspectInstrumentForm"
                                    << QStringList {"listAddButton",
                                                    "labelEdit",
                                                    "colorButton",
                                                    "midiPortsComboBox",
                                                    "midiProgramChangeCheckBox",
                                                    "midiProgramSpinBox",
                                                    "midiBankMSBSpinBox",
                                                    "midiBankLSBSpinBox",
                                                    "listView"};
        QTest::newRow("node") << "InspectNodeForm"
                              << QStringList {"edgeUsageList",      "addEdgeUsageButton",
                                              "noteListEdit",       "muteCheckBox",
                                              "shuffleButton",      "instrumentChangeCheckBox",
                                              "instrumentComboBox", "userMidiMessageListEdit"};
        QTest::newRow("voice group")
            << "InspectVoiceGroupForm"
            << QStringList {"pitchEdit", "velocityEdit", "durationEdit", "instrumentComboBox"};
    }

    void tabOrders()
    {
        QFETCH(QString, form);
        QFETCH(QStringList, chain);
        const auto page = buildByName(form);
        auto* first = page->findChild<QWidget*>(chain.first());
        QVERIFY(first);
        QCOMPARE(focusOrder(first, chain), chain);
    }

    void labelsFocusTheirBuddies()
    {
        Ui_InspectDocForm doc;
        QWidget docPage;
        doc.setupUi(&docPage);
        QCOMPARE(doc.label_4->buddy(), doc.principalsSpinBox);
        QCOMPARE(doc.divsLabel->buddy(), doc.divsSpinBox);
        QCOMPARE(doc.modeLabel->buddy(), doc.modeComboBox);
        QCOMPARE(doc.edgesLabel->buddy(), doc.edgesColorButton);
        QCOMPARE(doc.titleLabel->buddy(), doc.titleEdit);
        QVERIFY(!doc.commentsLabel->buddy());
        QVERIFY(!doc.midiInputsLabel->buddy());
        QVERIFY(!doc.label_12->buddy());
        Ui_InspectInstrumentForm instrument;
        QWidget instrumentPage;
        instrument.setupUi(&instrumentPage);
        QCOMPARE(instrument.label_4->buddy(), instrument.midiChannelsBox);
        QCOMPARE(instrument.label_15->buddy(), instrument.midiBankLSBSpinBox);
        Ui_InspectNodeForm node;
        QWidget nodePage;
        node.setupUi(&nodePage);
        QCOMPARE(node.userMidiMessageListLabel->buddy(), node.userMidiMessageListEdit);
        Ui_InspectVoiceGroupForm group;
        QWidget groupPage;
        group.setupUi(&groupPage);
        QCOMPARE(group.midiNotesLabel->buddy(), group.midiPitchListEdit);
        QCOMPARE(group.label_9->buddy(), group.durationEdit);
        QCOMPARE(group.keyLabel->buddy(), group.keyComboBox);
    }

    void retranslationRestoresTheTexts()
    {
        Ui_InspectDocForm doc;
        QWidget page;
        doc.setupUi(&page);
        QCOMPARE(doc.tabWidget->currentIndex(), 0);
        QCOMPARE(doc.tabWidget->tabText(0), QStringLiteral("Network"));
        QCOMPARE(doc.tabWidget->tabText(1), QStringLiteral("Style"));
        QCOMPARE(doc.tabWidget->tabText(2), QStringLiteral("Info"));
        QCOMPARE(doc.divsLabel->text(), QStringLiteral("Divisions per principal:"));
        QCOMPARE(doc.label_11->text(), QStringLiteral("Voice Groups:"));
        for (QLabel* count : {doc.totalInstrumentsLabel, doc.totalEdgesLabel, doc.totalNodesLabel,
                              doc.totalVoiceGroupsLabel, doc.totalTextBoxesLabel}) {
            QCOMPARE(count->text(), QStringLiteral("0"));
            count->setText(QStringLiteral("12"));
        }
        doc.principalsSpinBox->setValue(5);
        doc.authorEdit->setText(QStringLiteral("Somebody"));
        doc.tabWidget->setCurrentIndex(2);
        doc.tempoLabel->clear();
        doc.retranslateUi(&page);
        // The counts go back to "0"; other state stays.
        for (QLabel* count : {doc.totalInstrumentsLabel, doc.totalEdgesLabel, doc.totalNodesLabel,
                              doc.totalVoiceGroupsLabel, doc.totalTextBoxesLabel})
            QCOMPARE(count->text(), QStringLiteral("0"));
        QCOMPARE(doc.tempoLabel->text(), QStringLiteral("Tempo:"));
        QCOMPARE(doc.principalsSpinBox->value(), 5);
        QCOMPARE(doc.authorEdit->text(), QStringLiteral("Somebody"));
        QCOMPARE(doc.tabWidget->currentIndex(), 2);

        Ui_InspectInstrumentForm instrument;
        QWidget instrumentPage;
        instrument.setupUi(&instrumentPage);
        QCOMPARE(instrument.listAddButton->toolTip(), QStringLiteral("Add Instrument"));
        QVERIFY(instrument.listAddButton->text().isEmpty());
        QCOMPARE(instrument.midiProgramChangeCheckBox->text(), QStringLiteral("Program Change:"));
        QCOMPARE(instrument.label_14->text(), QStringLiteral("Bank MSB"));

        Ui_InspectEdgeForm edge;
        QWidget edgePage;
        edge.setupUi(&edgePage);
        edge.controllersSection->clear();
        edge.retranslateUi(&edgePage);
        QCOMPARE(edge.controllersSection->text(), QStringLiteral("Continuous Controllers"));
        QCOMPARE(edge.wormholeCheckBox->text(), QStringLiteral("Wormhole"));

        Ui_InspectNodeForm node;
        QWidget nodePage;
        node.setupUi(&nodePage);
        QCOMPARE(node.addEdgeUsageButton->toolTip(), QStringLiteral("Add Edge Tile"));
        QCOMPARE(node.shuffleButton->toolTip(), QStringLiteral("Shuffle Notes"));
        QVERIFY(node.shuffleButton->text().isEmpty());
        QVERIFY(!node.shuffleButton->icon().isNull());
        QCOMPARE(node.userMidiMessageListLabel->text(), QStringLiteral("Message List:"));

        Ui_InspectVoiceGroupForm group;
        QWidget groupPage;
        group.setupUi(&groupPage);
        QCOMPARE(group.noteLabel->text(),
                 QStringLiteral("Works best with a long toggle timeout \n- see Preferences."));
        QCOMPARE(group.useScaleCheckBox->text(), QStringLiteral("Use Scale:"));
        QCOMPARE(group.quantizationLabel->text(), QStringLiteral("Quantization:"));
    }

    void headingsAndCheckBoxesAreBold()
    {
        Ui_InspectNodeForm node;
        QWidget nodePage;
        node.setupUi(&nodePage);
        Ui_InspectVoiceGroupForm group;
        QWidget groupPage;
        group.setupUi(&groupPage);
        for (const QWidget* box : {static_cast<QWidget*>(node.instrumentChangeCheckBox),
                                   static_cast<QWidget*>(group.useScaleCheckBox)}) {
            QVERIFY(box->font().bold());
            QCOMPARE(box->font().weight(), QFont::Bold);
        }
        QVERIFY(!node.muteCheckBox->font().bold());
    }

    void fixedHeightsHoldWhateverThePageHeight()
    {
        Ui_InspectDocForm doc;
        QWidget docPage;
        doc.setupUi(&docPage);
        doc.tabWidget->setCurrentWidget(doc.infoTab);
        Ui_InspectInstrumentForm instrument;
        QWidget instrumentPage;
        instrument.setupUi(&instrumentPage);
        Ui_InspectNodeForm node;
        QWidget nodePage;
        node.setupUi(&nodePage);
        Ui_InspectEdgeForm edge;
        QWidget edgePage;
        edge.setupUi(&edgePage);
        const std::pair<QWidget*, int> fixed[] = {{doc.commentsEdit, 100},
                                                  {instrument.listView, 160},
                                                  {node.edgeUsageList, 36},
                                                  {instrument.listButtonsSpacerLabel, 24},
                                                  {edge.ccListEditScrollArea, 450}};
        const QList<QWidget*> pages {&docPage, &instrumentPage, &nodePage, &edgePage};
        for (QWidget* page : pages) {
            page->show();
            QVERIFY(QTest::qWaitForWindowExposed(page));
        }
        for (int pageHeight : {500, 1200}) {
            for (QWidget* page : pages) {
                page->resize(300, pageHeight);
                page->layout()->activate();
            }
            for (const auto& [widget, height] : fixed) {
                QCOMPARE(widget->minimumHeight(), height);
                QCOMPARE(widget->maximumHeight(), height);
                QCOMPARE(widget->height(), height);
            }
        }
        // The instrument list leaves the rest of the page to the edit frame.
        QVERIFY(instrument.editFrame->height() > instrumentPage.height() / 2);
        QCOMPARE(instrument.listAddButton->size(), QSize(32, 24));
        QCOMPARE(node.addEdgeUsageButton->size(), QSize(30, 22));
        QCOMPARE(node.addEdgeUsageButton->iconSize(), QSize(17, 9));
        // The add button stays at the top right of the edge-usage list.
        QVERIFY(node.addEdgeUsageButton->y() <= node.edgeUsageList->y() + 2);
        QVERIFY(node.addEdgeUsageButton->x() > node.edgeUsageList->geometry().right());
        QCOMPARE(node.addEdgeUsageButton->geometry().right(),
                 nodePage.width() - 1 - nodePage.layout()->contentsMargins().right());
    }

    void fieldsKeepTheirWidths()
    {
        Ui_InspectVoiceGroupForm group;
        QWidget page;
        group.setupUi(&page);
        page.resize(400, 500);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        // The layouts of the inner widgets settle in posted events after the page shows.
        QTRY_VERIFY(group.instrumentComboBox->width() > 200);
        for (const QWidget* field :
             {static_cast<QWidget*>(group.pitchEdit), static_cast<QWidget*>(group.velocityEdit),
              static_cast<QWidget*>(group.durationEdit)})
            QVERIFY(field->width() <= 40);
        QVERIFY(group.noteLabel->wordWrap());
        QCOMPARE(group.noteLabel->alignment(), Qt::AlignCenter);

        Ui_InspectEdgeForm edge;
        QWidget edgePage;
        edge.setupUi(&edgePage);
        for (int i = 0; i < 3; ++i)
            edge.pathChooser->addTab(
                QIcon(QStringLiteral(":/images/Inspector/EdgePathDirect.png")));
        edgePage.resize(400, 600);
        edgePage.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edgePage));
        // The wormhole box takes the spare width; the chooser and the gap of 24 keep theirs.
        const QSize chooserSize
            = edge.pathChooser->sizeHint().expandedTo(edge.pathChooser->minimumSizeHint());
        QTRY_COMPARE(edge.wormholeCheckBox->geometry().right(),
                     edgePage.width() - 1 - edge.verticalLayout->contentsMargins().right());
        QCOMPARE(edge.pathChooser->width(), chooserSize.width());
        QVERIFY(edge.wormholeCheckBox->x() - edge.pathChooser->geometry().right() - 1 >= 24);
    }

    void checkBoxesSteerTheirFieldsOnToggles()
    {
        Ui_InspectNodeForm node;
        QWidget nodePage;
        node.setupUi(&nodePage);
        QVERIFY(node.instrumentChangeCheckBox->isChecked());
        QVERIFY(node.instrumentComboBox->isEnabled());
        node.instrumentChangeCheckBox->setChecked(false);
        QVERIFY(!node.instrumentComboBox->isEnabled());
        node.instrumentChangeCheckBox->setChecked(true);
        QVERIFY(node.instrumentComboBox->isEnabled());

        Ui_InspectVoiceGroupForm group;
        QWidget groupPage;
        group.setupUi(&groupPage);
        QVERIFY(!group.noteLabel->isEnabled());
        QVERIFY(!group.useScaleCheckBox->isChecked());
        const QList<QWidget*> steered {group.keyComboBox, group.modeComboBox, group.keyLabel,
                                       group.modeLabel};
        // As built, the unchecked box has not yet steered anything.
        for (const QWidget* field : steered)
            QVERIFY(field->isEnabled());
        group.useScaleCheckBox->setChecked(true);
        group.useScaleCheckBox->setChecked(false);
        for (const QWidget* field : steered)
            QVERIFY(!field->isEnabled());
        group.useScaleCheckBox->setChecked(true);
        for (const QWidget* field : steered)
            QVERIFY(field->isEnabled());
        // Nothing else follows the box.
        QVERIFY(group.instrumentComboBox->isEnabled());
        QVERIFY(!group.noteLabel->isEnabled());
    }

    // The controller-curve list lives in its scroll area, which owns it and fits it to its
    // width; the list scrolls inside the area's fixed height.
    void curveListIsTheScrollAreasWidget()
    {
        Ui_InspectEdgeForm edge;
        QWidget page;
        edge.setupUi(&page);
        QCOMPARE(edge.ccListEditScrollArea->widget(), edge.ccListEdit);
        QCOMPARE(edge.ccListEdit->parentWidget(), edge.ccListEditScrollArea->viewport());
        QVERIFY(edge.ccListEditScrollArea->widgetResizable());
        QCOMPARE(edge.ccListEditScrollArea->frameShape(), QFrame::NoFrame);
        QCOMPARE(edge.ccListEditScrollArea->sizePolicy().horizontalPolicy(),
                 QSizePolicy::Expanding);
        QVERIFY(!edge.ccListEdit->documentController());
        // Below the path section, taking the page's width.
        page.resize(290, 700);
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        QVERIFY(edge.ccListEditScrollArea->y() > edge.controllersSection->geometry().bottom());
        QCOMPARE(edge.ccListEditScrollArea->width(), page.width());
        QCOMPARE(edge.ccListEdit->width(), edge.ccListEditScrollArea->viewport()->width());
        // The list goes with the page.
        QPointer<CCListEdit> list = edge.ccListEdit;
        page.hide();
        delete edge.ccListEditScrollArea;
        QVERIFY(list.isNull());
    }

    void syncListsAreTheScrollAreasWidgets()
    {
        Ui_InspectDocForm doc;
        QWidget page;
        doc.setupUi(&page);
        for (const auto& [box, list] : {std::pair(doc.midiInputsBox, doc.midiInputsList),
                                        std::pair(doc.midiOutputsBox, doc.midiOutputsList)}) {
            QCOMPARE(box->widget(), list);
            QCOMPARE(list->scrollArea(), box);
            // The list's own layout, which the page fills.
            QCOMPARE(list->layout(), list->listLayout());
            QCOMPARE(list->listLayout()->count(), 0);
            QCOMPARE(box->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
            QCOMPARE(box->minimumHeight(), 150);
            QCOMPARE(list->minimumHeight(), 150);
        }
    }
};

QTEST_MAIN(TestInspectorForms)
#include "tst_inspectorforms.moc"
