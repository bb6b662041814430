#include "Inspector.h"

#include "AppServices.h"
#include "ChannelsBox.h"
#include "ColorChooserButton.h"
#include "DocumentWindow.h"
#include "FlashingValidator.h"
#include "InstrumentsModel.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdKelvoUnits.h"
#include "ScaleKeysModel.h"
#include "ScaleModesModel.h"

#include <QApplication>
#include <QButtonGroup>
#include <QDoubleSpinBox>
#include <QFocusEvent>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTimeLine>
#include <QVBoxLayout>

#include <algorithm>
#include <initializer_list>

namespace K = QmdKelvoKeys;

namespace {

// The background of the lists that the document and node pages fill.
const QColor ListBackground(223, 228, 234);

// The page buttons' faces: tiled behind every button, with a two-pixel separator along the
// left edge of every button after the first.
QString pageButtonStyleSheet(bool first)
{
    return QStringLiteral("QPushButton {     background-image: "
                          "url(:/images/Inspector/InspectPageButtonNormal.png);     "
                          "border-style: none;")
        + (first ? QStringLiteral("border-width: 0px 0px 0px 0px;")
                 : QStringLiteral("background-origin: border;border-width: 0px 0px 0px 2px;"
                                  "border-image: url(:/images/Inspector/"
                                  "InspectPageButtonSeparator_workaround.png);"))
        + QStringLiteral("}QPushButton:pressed {     background-image: "
                         "url(:/images/Inspector/InspectPageButtonPressed.png);}"
                         "QPushButton:checked {     background-image: "
                         "url(:/images/Inspector/InspectPageButtonSelected.png);}");
}

} // namespace

Inspector::Inspector()
    : QWidget(nullptr,
              Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint)
{
    setFixedWidth(FixedWidth);
    buildPages();
    AppServices* services = AppServices::instance();
    setKelvoWindow(services ? services->focusWindow() : nullptr);
}

Inspector::~Inspector() = default;

DocumentWindow* Inspector::kelvoWindow() const
{
    return m_window;
}

int Inspector::fontPointSize()
{
    const QFont font = QApplication::font();
    const int size = font.pointSize() > 0 ? font.pointSize() : QFontInfo(font).pointSize();
    return std::max(7, size - 2);
}

QAbstractButton* Inspector::pageButton(int index) const
{
    return m_buttonGroup->button(index);
}

// ---- Building the pages ---------------------------------------------------------------------

void Inspector::buildPages()
{
    setWindowTitle(tr("Inspector"));
    m_emptyModel = new QStandardItemModel(this);

    m_timeLine = new QTimeLine(TransformMs, this);
    m_timeLine->setUpdateInterval(TransformStepMs);
    connect(m_timeLine, &QTimeLine::frameChanged, this, &Inspector::setFixedHeightSlot);
    connect(m_timeLine, &QTimeLine::finished, this, &Inspector::transformFinished);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_buttonRow = new QHBoxLayout;
    m_buttonRow->setContentsMargins(0, 0, 0, 0);
    m_buttonRow->setSpacing(0);
    layout->addLayout(m_buttonRow);
    m_pageStack = new QStackedWidget(this);
    m_pageStack->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pageStack);
    layout->addStretch();
    m_buttonGroup = new QButtonGroup(this);
    m_buttonGroup->setExclusive(true);
    connect(m_buttonGroup, &QButtonGroup::idClicked, this, [this](int id) { transformToPage(id); });

    m_documentPage
        = addPage(QStringLiteral(":/images/Inspector/InspectDocument.png"), tr("Document"));
    m_documentButton = qobject_cast<QPushButton*>(pageButton(DocumentPage));
    m_documentForm.setupUi(m_documentPage);
    m_instrumentPage
        = addPage(QStringLiteral(":/images/Inspector/InspectInstrument.png"), tr("Instrument"));
    m_instrumentForm.setupUi(m_instrumentPage);
    m_edgeForm.setupUi(addElementTypePage(QmdKelvo::EdgeElement,
                                          QStringLiteral(":/images/Inspector/InspectEdge.png"),
                                          m_documentForm.totalEdgesLabel));
    m_nodeForm.setupUi(addElementTypePage(QmdKelvo::NodeElement,
                                          QStringLiteral(":/images/Inspector/InspectNode.png"),
                                          m_documentForm.totalNodesLabel));
    // Text boxes are counted but have no page.
    m_elementTypes[QmdKelvo::TextBoxElement].countLabel = m_documentForm.totalTextBoxesLabel;
    m_voiceGroupForm.setupUi(addElementTypePage(
        QmdKelvo::VoiceGroupElement, QStringLiteral(":/images/Inspector/InspectVoiceGroup.png"),
        m_documentForm.totalVoiceGroupsLabel));

    setUpDocumentPage();
    setUpInstrumentPage();
    setUpEdgePage();
    setUpNodePage();
    setUpVoiceGroupPage();
    setStyleSheet(styleSheetText());

    // The pages' own text fields (not those inside spin boxes and combo boxes).
    const QList<QLineEdit*> edits = m_pageStack->findChildren<QLineEdit*>();
    for (QLineEdit* edit : edits) {
        if (!qobject_cast<QAbstractSpinBox*>(edit->parentWidget())
            && !qobject_cast<QComboBox*>(edit->parentWidget()))
            edit->installEventFilter(this);
    }

    if (AppServices* services = AppServices::instance())
        connect(services, &AppServices::focusWindowChanged, this, &Inspector::setKelvoWindow);

    flattenButtonsAndLines();
    m_documentButton->setChecked(true);
    transformToPage(DocumentPage, true, true);
}

QWidget* Inspector::addPage(const QString& iconPath, const QString& toolTip)
{
    auto* page = new QWidget;
    const int index = m_pageStack->addWidget(page);
    auto* button = new QPushButton(QIcon(iconPath), QString(), this);
    button->setFlat(true);
    button->setCheckable(true);
    button->setToolTip(toolTip);
    button->setStyleSheet(pageButtonStyleSheet(index == 0));
    button->setSizePolicy(QSizePolicy::Expanding, button->sizePolicy().verticalPolicy());
    button->setFixedHeight(24);
    m_buttonRow->addWidget(button);
    m_buttonGroup->addButton(button, index);
    return page;
}

QWidget* Inspector::addElementTypePage(QmdKelvo::ElementType type, const QString& iconPath,
                                       QLabel* countLabel)
{
    ElementTypeInfo& info = m_elementTypes[type];
    info.page = addPage(iconPath, QmdKelvo::elementTypeName(type));
    info.button = qobject_cast<QPushButton*>(pageButton(m_pageStack->indexOf(info.page)));
    info.countLabel = countLabel;
    return info.page;
}

void Inspector::setUpDocumentPage()
{
    const Ui_InspectDocForm& ui = m_documentForm;
    ui.tabWidget->setCurrentWidget(ui.networkTab);
    ui.tempoSpinBox->setRange(1, 999);
    const QString listStyle = QStringLiteral("background-color: rgb(223, 228, 234);");
    ui.midiInputsBox->setStyleSheet(listStyle);
    ui.midiOutputsBox->setStyleSheet(listStyle);
    if (AppServices* services = AppServices::instance()) {
        connect(services, &AppServices::midiInputPortsChanged, this,
                &Inspector::documentRescanMidiInputs);
        connect(services, &AppServices::midiOutputPortsChanged, this,
                &Inspector::documentRescanMidiOutputs);
    }
    ui.presetsComboBox->clear();
    ui.presetsComboBox->addItems(QmdKelvoController::stylePresetNames());
}

void Inspector::setUpInstrumentPage()
{
    const Ui_InspectInstrumentForm& ui = m_instrumentForm;
    ui.listAddButton->setStyleSheet(QStringLiteral(
        "QPushButton {  border: 0px;  background-image: "
        "url(:/images/Inspector/ListAddNormal.png);}QPushButton:pressed {  background-image: "
        "url(:/images/Inspector/ListAddPressed.png);}"));
    ui.colorButton->setIgnoreAlpha(true);
    if (AppServices* services = AppServices::instance())
        connect(services, &AppServices::midiOutputPortsChanged, this,
                &Inspector::instrumentRescanMidiOutputs);
    instrumentRescanMidiOutputs();
}

void Inspector::setUpEdgePage()
{
    const Ui_InspectEdgeForm& ui = m_edgeForm;
    // The tab index is the edge's path.
    ui.pathChooser->setCompact(true);
    ui.pathChooser->addTab(QIcon(QStringLiteral(":/images/Inspector/EdgePathCityBlock.png")));
    ui.pathChooser->addTab(
        QIcon(QStringLiteral(":/images/Inspector/EdgePathCityBlockFlipped.png")));
    ui.pathChooser->addTab(QIcon(QStringLiteral(":/images/Inspector/EdgePathDirect.png")));
    ui.pathChooser->setTabToolTip(QmdKelvo::CityBlock, tr("City block"));
    ui.pathChooser->setTabToolTip(QmdKelvo::CityBlockFlipped, tr("City block flipped"));
    ui.pathChooser->setTabToolTip(QmdKelvo::Direct, tr("Direct"));
    ui.ccListEditScrollArea->setFrameShape(QFrame::NoFrame);
    ui.ccListEditScrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ui.ccListEditScrollArea->setStyleSheet(QStringLiteral(
        "QScrollArea {  border: none;  border-top: 1px solid rgba(90, 90, 90, 127);}"));
}

void Inspector::setUpNodePage()
{
    const Ui_InspectNodeForm& ui = m_nodeForm;
    // The tab index is the node's signalling method.
    ui.sigMethodChooser->setDrawBase(false);
    ui.sigMethodChooser->addTab(tr("Sequential"));
    ui.sigMethodChooser->addTab(tr("Parallel"));
    ui.sigMethodChooser->addTab(tr("Random"));
    for (QWidget* list :
         {static_cast<QWidget*>(ui.edgeUsageList), static_cast<QWidget*>(ui.noteListEdit)}) {
        QPalette palette = list->palette();
        palette.setColor(QPalette::Base, ListBackground);
        list->setPalette(palette);
    }
    ui.edgeUsageList->setFixedHeight(38);
    ui.addEdgeUsageButton->setMenu(ui.edgeUsageList->addMenu());
    ui.addEdgeUsageButton->setFlat(true);
    ui.addEdgeUsageButton->setStyleSheet(QStringLiteral(
        "QPushButton {     border: 0px;     background-image: "
        "url(:/images/FlatButton30Normal.png);}QPushButton:pressed {     background-image: "
        "url(:/images/FlatButton30Pressed.png);}QPushButton::menu-indicator {     image: "
        "url(:/images/AlphaPixel.png);}"));
    ui.shuffleButton->hide();
}

void Inspector::setUpVoiceGroupPage()
{
    const Ui_InspectVoiceGroupForm& ui = m_voiceGroupForm;
    // The tab index is the group's "TriggeringQuantization".
    ui.quantizationChooser->setDrawBase(false);
    ui.quantizationChooser->addTab(tr("None"));
    ui.quantizationChooser->addTab(tr("Division"));
    ui.quantizationChooser->addTab(tr("Principal"));
    ui.quantizationChooser->addTab(tr("Beat"));
    QFont hint = font();
    hint.setPointSize(fontPointSize());
    ui.noteLabel->setFont(hint);
    // Up to four digits and a point, then one to four digits.
    ui.durationEdit->setValidator(new FlashingValidator(
        QRegularExpression(QStringLiteral("([0-9]{0,4}\\.)?[0-9]{1,4}")), ui.durationEdit));
    updateSteeredFields();
}

QString Inspector::styleSheetText() const
{
    QString sheet
        = QStringLiteral("QWidget { font-size: %1pt; }"
                         "ColorChooserButton { border: none;"
                         " background-image: url(:/images/FlatButton30Normal.png); }"
                         "ColorChooserButton:pressed {"
                         " background-image: url(:/images/FlatButton30Pressed.png); }"
                         "SectionLabel { font-weight: bold; }"
                         "Chooser { alignment: center; }"
                         "Chooser::tab { height: 20px; border-top-width: 1px;"
                         " border-bottom-width: 1px; padding-left: 9px; padding-right: 9px; }")
              .arg(fontPointSize());
    // The first, middle and last tab in each state: the state's image of the tab's position,
    // sliced at the tab's borders.
    struct Position
    {
        const char* pseudoState;
        const char* image;
        int left;
        int right;
    };
    const Position positions[]
        = {{":first", "First", 2, 0}, {":middle", "Mid", 1, 0}, {":last", "Last", 1, 2}};
    const std::pair<const char*, const char*> states[]
        = {{"", "Normal"}, {":hover", "Hover"}, {":selected", "Selected"}};
    for (const auto& [pseudoState, look] : states) {
        for (const Position& position : positions) {
            sheet
                += QStringLiteral("Chooser::tab%1%2 { border-left-width: %3px;"
                                  " border-right-width: %4px;"
                                  " border-image: url(:/images/ChooserSmall%5%6.png) 1 %4 1 %3; }")
                       .arg(QLatin1String(position.pseudoState), QLatin1String(pseudoState))
                       .arg(position.left)
                       .arg(position.right)
                       .arg(QLatin1String(look), QLatin1String(position.image));
        }
    }
    return sheet;
}

void Inspector::flattenButtonsAndLines()
{
    // A channel box draws its buttons in a style of its own, which needs their frames.
    const QList<QPushButton*> buttons = findChildren<QPushButton*>();
    for (QPushButton* button : buttons) {
        if (!qobject_cast<ChannelsBox*>(button->parentWidget()))
            button->setFlat(true);
    }
    // Separators: plain lines in the palette's mid tone.
    QPalette linePalette = QApplication::palette();
    linePalette.setBrush(QPalette::WindowText, linePalette.brush(QPalette::Mid));
    const QList<QFrame*> frames = findChildren<QFrame*>();
    for (QFrame* frame : frames) {
        if (frame->frameShape() == QFrame::HLine) {
            frame->setFrameShadow(QFrame::Plain);
            frame->setPalette(linePalette);
        }
    }
}

// ---- Page changes ---------------------------------------------------------------------------

void Inspector::setFixedHeightSlot(int height)
{
    setFixedHeight(height);
}

void Inspector::transformToPage(int index, bool force, bool hideDuringTransform)
{
    QWidget* target = m_pageStack->widget(index);
    if (!target)
        return;
    // The page in front is the one being switched to while a switch is under way.
    const QWidget* shown
        = m_transformTarget ? m_transformTarget.data() : m_pageStack->currentWidget();
    if (!force && target == shown)
        return;
    m_transformTarget = target;
    m_timeLine->stop();
    m_timeLine->setFrameRange(height(), pageHeight(target));
    if (hideDuringTransform)
        m_pageStack->hide();
    m_timeLine->start();
}

int Inspector::pageHeight(const QWidget* page) const
{
    return m_buttonRow->sizeHint().height() + page->sizeHint().height();
}

void Inspector::transformFinished()
{
    if (!m_transformTarget)
        return;
    setWindowTitle(m_transformTarget->windowTitle());
    m_pageStack->setCurrentWidget(m_transformTarget);
    m_pageStack->show();
    // A page measured before the window was first shown had not its final font yet.
    setFixedHeight(pageHeight(m_transformTarget));
    m_transformTarget = nullptr;
}

// ---- Following the focus window -------------------------------------------------------------

void Inspector::setKelvoWindow(DocumentWindow* window)
{
    // Dropped by its connection alone: the previous window may be the one being destroyed.
    disconnect(m_selectionConnection);
    m_window = window;
    if (window)
        m_selectionConnection = connect(window, &DocumentWindow::elementSelectionChanged, this,
                                        &Inspector::onElementSelectionChanged);
    setController(window ? window->controller() : nullptr);
}

void Inspector::setController(QmdKelvoController* newController)
{
    InstrumentsView* instruments = m_instrumentForm.listView;
    if (QItemSelectionModel* selection = instruments->selectionModel())
        disconnect(selection, nullptr, this, nullptr);
    // The models belong to the controller: the views let go of them first.
    showEmptyModels();
    if (QmdKelvoController* old = controller) {
        const QList<QWidget*> widgets = findChildren<QWidget*>();
        old->unbind(QObjectList(widgets.cbegin(), widgets.cend()));
        disconnect(old, nullptr, this, nullptr);
        disconnect(m_documentForm.presetsComboBox, nullptr, old, nullptr);
        disconnect(m_instrumentForm.listAddButton, nullptr, old, nullptr);
    }

    QmdObserver<QmdKelvoController>::setController(newController);
    instruments->setController(newController);
    m_edgeForm.ccListEdit->setController(newController);
    m_nodeForm.edgeUsageList->setController(newController);
    if (!newController) {
        m_pageStack->setEnabled(false);
        reset();
        return;
    }

    QItemSelectionModel* oldSelection = instruments->selectionModel();
    instruments->setModel(newController->instrumentsModel());
    delete oldSelection;
    m_nodeForm.instrumentComboBox->setModel(newController->instrumentsModel());
    m_voiceGroupForm.instrumentComboBox->setModel(newController->instrumentsModel());
    m_documentForm.keyComboBox->setModel(newController->scaleKeysModel());
    m_voiceGroupForm.keyComboBox->setModel(newController->scaleKeysModel());
    m_documentForm.modeComboBox->setModel(newController->scaleModesModel());
    m_voiceGroupForm.modeComboBox->setModel(newController->scaleModesModel());

    connect(newController, &QmdController::modelReset, this, &Inspector::reset,
            Qt::QueuedConnection);
    connect(newController, &QmdElementDocController::elementsAdded, this,
            &Inspector::onElementsAdded);
    connect(newController, &QmdElementDocController::elementsRemoved, this,
            &Inspector::onElementsRemoved);
    connect(newController, &QmdKelvoController::instrumentsAdded, this,
            &Inspector::onInstrumentsAddedOrRemoved);
    connect(newController, &QmdKelvoController::instrumentsRemoved, this,
            &Inspector::onInstrumentsAddedOrRemoved);
    // A window destroyed outright takes its controller, and the controller its models, along.
    connect(newController, &QObject::destroyed, this, &Inspector::showEmptyModels);
    connect(instruments->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &Inspector::onInstrumentSelectionChanged);
    // Choosing the preset already shown makes no request.
    connect(m_documentForm.presetsComboBox, &QComboBox::currentTextChanged, newController,
            &QmdKelvoController::requestLoadStylePreset);
    connect(m_instrumentForm.listAddButton, &QPushButton::clicked, newController,
            [newController] { newController->requestAddInstrument(); });

    bindDocumentPage();
    m_pageStack->setEnabled(true);
    reset();
}

void Inspector::showEmptyModels()
{
    InstrumentsView* instruments = m_instrumentForm.listView;
    if (instruments->model() != m_emptyModel) {
        QItemSelectionModel* oldSelection = instruments->selectionModel();
        instruments->setModel(m_emptyModel);
        delete oldSelection;
    }
    for (QComboBox* box : {static_cast<QComboBox*>(m_nodeForm.instrumentComboBox),
                           static_cast<QComboBox*>(m_voiceGroupForm.instrumentComboBox),
                           static_cast<QComboBox*>(m_documentForm.keyComboBox),
                           static_cast<QComboBox*>(m_voiceGroupForm.keyComboBox),
                           static_cast<QComboBox*>(m_documentForm.modeComboBox),
                           static_cast<QComboBox*>(m_voiceGroupForm.modeComboBox)})
        box->setModel(m_emptyModel);
}

// ---- Reset and counts -----------------------------------------------------------------------

void Inspector::reset()
{
    for (ElementTypeInfo& info : m_elementTypes) {
        info.ids.clear();
        info.selectedIds.clear();
    }
    showElementCounts();
    m_documentForm.totalInstrumentsLabel->setText(QStringLiteral("0"));
    m_selection.clear();

    if (controller) {
        onElementsAdded(controller->elements());
        applySelection();
        onInstrumentsAddedOrRemoved();
        onInstrumentSelectionChanged();
        m_documentForm.keyComboBox->setCurrentKey(controller->data(K::ScaleKey, QmdIndex()));
        m_documentForm.modeComboBox->setCurrentKey(controller->data(K::ScaleMode, QmdIndex()));
    } else {
        clearFields();
    }
    documentRescanMidiInputs();
    documentRescanMidiOutputs();
    updateSteeredFields();
}

void Inspector::clearFields()
{
    const QList<QWidget*> widgets = findChildren<QWidget*>();
    for (QWidget* widget : widgets) {
        bool cleared = true;
        auto* button = qobject_cast<QAbstractButton*>(widget);
        if (auto* edit = qobject_cast<QLineEdit*>(widget);
            edit && !qobject_cast<QAbstractSpinBox*>(widget->parentWidget()))
            edit->setText(QString());
        else if (auto* text = qobject_cast<QPlainTextEdit*>(widget))
            text->setPlainText(QString());
        else if (auto* spinBox = qobject_cast<QSpinBox*>(widget))
            spinBox->setValue(spinBox->minimum());
        else if (auto* doubleSpinBox = qobject_cast<QDoubleSpinBox*>(widget))
            doubleSpinBox->setValue(doubleSpinBox->minimum());
        else if (button && button->isCheckable())
            button->setChecked(false);
        else if (auto* comboBox = qobject_cast<QComboBox*>(widget))
            comboBox->setCurrentIndex(0);
        else if (auto* colorButton = qobject_cast<ColorChooserButton*>(widget))
            colorButton->setColor(QColor());
        else
            cleared = false;
        if (cleared)
            widget->update();
        widget->ensurePolished();
    }
    update();
}

void Inspector::updateSteeredFields()
{
    m_nodeForm.instrumentComboBox->setEnabled(m_nodeForm.instrumentChangeCheckBox->isChecked());
    const Ui_InspectVoiceGroupForm& group = m_voiceGroupForm;
    const bool useScale = group.useScaleCheckBox->isChecked();
    for (QWidget* field :
         {static_cast<QWidget*>(group.keyComboBox), static_cast<QWidget*>(group.modeComboBox),
          static_cast<QWidget*>(group.keyLabel), static_cast<QWidget*>(group.modeLabel)})
        field->setEnabled(useScale);
}

void Inspector::showElementCounts()
{
    for (const ElementTypeInfo& info : std::as_const(m_elementTypes))
        info.countLabel->setText(QString::number(info.ids.size()));
}

void Inspector::onElementsAdded(const QmdItemIdList& ids)
{
    if (!controller)
        return;
    controller->lockedRead([&] {
        for (const QmdItemId id : ids) {
            const auto entry
                = m_elementTypes.find(QmdKelvo::ElementType(controller->elementType(id)));
            if (entry != m_elementTypes.end())
                entry->ids.insert(id);
        }
    });
    showElementCounts();
}

void Inspector::onElementsRemoved(const QmdItemIdList& ids)
{
    for (ElementTypeInfo& info : m_elementTypes) {
        for (const QmdItemId id : ids)
            info.ids.remove(id);
    }
    showElementCounts();
}

void Inspector::onInstrumentsAddedOrRemoved()
{
    const qsizetype count = controller ? controller->instruments().size() : 0;
    m_documentForm.totalInstrumentsLabel->setText(QString::number(count));
}

// ---- Unfinished text ------------------------------------------------------------------------

bool Inspector::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        // A menu or another application taking the focus for a moment leaves the edit as it is.
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) {
            // Looked at once the field has finished what it can: fix-up may complete its text.
            QPointer<QLineEdit> edit = qobject_cast<QLineEdit*>(watched);
            QMetaObject::invokeMethod(
                this, [this, edit] { restoreUnfinishedText(edit); }, Qt::QueuedConnection);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Inspector::restoreUnfinishedText(QLineEdit* edit)
{
    if (edit && controller && !edit->hasFocus() && !edit->hasAcceptableInput())
        controller->updateBoundObject(edit, "text");
}

// ---- Visibility -----------------------------------------------------------------------------

void Inspector::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    emit visibilityToggled();
}

void Inspector::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    emit visibilityToggled();
}
