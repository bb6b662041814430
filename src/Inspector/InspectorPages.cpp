// What the inspector's pages bind: the element pages to the focus window's selection, the
// document page to the document's root keys and MIDI sync ports, and the instrument page to
// the instruments chosen in its list.

#include "AppServices.h"
#include "DocumentWindow.h"
#include "Inspector.h"
#include "MidiPortNames.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "SmartStringLessThan.h"
#include "SqueezedText.h"
#include "VerticalListViewWidget.h"

#include <QItemSelectionModel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

namespace K = QmdKelvoKeys;

namespace {

// The background of the MIDI sync lists.
const QColor SyncListBackground(223, 228, 234);

} // namespace

// ---- The tables ------------------------------------------------------------------------------

QList<Inspector::PageBinding> Inspector::elementPageBindings(QmdKelvo::ElementType type) const
{
    switch (type) {
    case QmdKelvo::EdgeElement: {
        const Ui_InspectEdgeForm& ui = m_edgeForm;
        return {
            {ui.pathChooser, "currentIndex", SIGNAL(currentChanged(int)), K::Path, 0, tr("Path")},
            {ui.wormholeCheckBox, "checked", SIGNAL(toggled(bool)), K::IsWormhole, false,
             tr("Wormhole")},
        };
    }
    case QmdKelvo::NodeElement: {
        const Ui_InspectNodeForm& ui = m_nodeForm;
        return {
            {ui.sigMethodChooser, "currentIndex", SIGNAL(currentChanged(int)), K::SignallingMethod,
             -1, tr("Signalling")},
            {ui.noteListEdit, "plainText", SIGNAL(textChangedAndValid()), K::Notes, QString(),
             tr("Notes")},
            {ui.muteCheckBox, "checked", SIGNAL(toggled(bool)), K::DontPlayNote, false, tr("Mute")},
            {ui.instrumentChangeCheckBox, "checked", SIGNAL(toggled(bool)), K::DoInstrumentChange,
             false, tr("Instrument Change")},
            {ui.instrumentComboBox, "currentKey", SIGNAL(activated(int)), K::Instrument, 0u,
             tr("Instrument")},
            {ui.userMidiMessageListEdit, "text", SIGNAL(editingFinished()), K::UserMidiMessageList,
             QString(), tr("Advanced MIDI")},
        };
    }
    case QmdKelvo::VoiceGroupElement: {
        const Ui_InspectVoiceGroupForm& ui = m_voiceGroupForm;
        return {
            {ui.quantizationChooser, "currentIndex", SIGNAL(currentChanged(int)),
             K::TriggeringQuantization, -1, tr("Quantization")},
            {ui.midiPitchListEdit, "text", SIGNAL(editingFinished()), K::TriggeringMidiPitchList,
             QString(), tr("MIDI Pitch List")},
            {ui.midiVelocityScalingCheckBox, "checked", SIGNAL(toggled(bool)),
             K::TriggeringMidiVelocityScaling, false, tr("MIDI Velocity Scaling")},
            {ui.pitchEdit, "text", SIGNAL(editingFinished()), K::InitialPitch, QString(),
             tr("Initial Pitch")},
            {ui.velocityEdit, "text", SIGNAL(editingFinished()), K::InitialVelocity, QString(),
             tr("Initial Velocity")},
            {ui.durationEdit, "text", SIGNAL(editingFinished()), K::InitialDuration, QString(),
             tr("Initial Duration")},
            {ui.instrumentComboBox, "currentKey", SIGNAL(activated(int)), K::InitialInstrument, 0u,
             tr("Instrument")},
            {ui.muteCheckBox, "checked", SIGNAL(toggled(bool)), K::DontPlayNote, false, tr("Mute")},
            {ui.useScaleCheckBox, "checked", SIGNAL(toggled(bool)), K::UseScale, false,
             tr("Use Scale")},
            {ui.keyComboBox, "currentKey", SIGNAL(activated(int)), K::ScaleKey, 0u, tr("Key")},
            {ui.modeComboBox, "currentKey", SIGNAL(activated(int)), K::ScaleMode, 0u, tr("Mode")},
        };
    }
    default:
        return {};
    }
}

QList<Inspector::PageBinding> Inspector::instrumentPageBindings() const
{
    const Ui_InspectInstrumentForm& ui = m_instrumentForm;
    return {
        {ui.labelEdit, "text", SIGNAL(textEdited(QString)), K::Label, QString(), tr("Label")},
        {ui.colorButton, "color", SIGNAL(colorChanged(QColor)), K::Color, QColor(), tr("Color")},
        {ui.midiPortsComboBox, "currentKey", SIGNAL(activated(int)), K::MidiPort, QString(),
         tr("MIDI Port")},
        {ui.midiChannelsBox, "channels", SIGNAL(channelsChanged(QBitArray)), K::MidiChannels,
         QBitArray(), tr("MIDI Channels")},
        {ui.midiProgramChangeCheckBox, "checked", SIGNAL(toggled(bool)), K::MidiDoProgramChange,
         false, tr("MIDI Program Change")},
        // Follows the document only: program and bank are usable while the change is on.
        {ui.midiProgramChangeGroupBox, "enabled", nullptr, K::MidiDoProgramChange, false,
         QString()},
        {ui.midiProgramSpinBox, "value", SIGNAL(valueChanged(int)), K::MidiProgram, 0,
         tr("MIDI Program")},
        {ui.midiBankMSBSpinBox, "value", SIGNAL(valueChanged(int)), K::MidiBankMSB, 0,
         tr("MIDI Bank MSB")},
        {ui.midiBankLSBSpinBox, "value", SIGNAL(valueChanged(int)), K::MidiBankLSB, 0,
         tr("MIDI Bank LSB")},
    };
}

QObjectList Inspector::boundWidgets(const QList<PageBinding>& bindings)
{
    QObjectList widgets;
    widgets.reserve(bindings.size());
    for (const PageBinding& binding : bindings) {
        if (!widgets.contains(binding.widget))
            widgets.append(binding.widget);
    }
    return widgets;
}

void Inspector::showAbsentValues(const QList<PageBinding>& bindings)
{
    for (const PageBinding& binding : bindings) {
        const QSignalBlocker blocker(binding.widget);
        binding.widget->setProperty(binding.property, binding.absentValue);
    }
}

QHash<QmdIndex, QSet<QString>> Inspector::collectElementKeys(const QmdItemIdSet& ids,
                                                             const QString& key) const
{
    QHash<QmdIndex, QSet<QString>> items;
    items.reserve(ids.size());
    controller->lockedRead([&] {
        for (const QmdItemId id : ids)
            items.insert(controller->elementIndex(id), {key});
    });
    return items;
}

QHash<QmdIndex, QSet<QString>> Inspector::collectInstrumentKeys(const QmdItemIdSet& ids,
                                                                const QString& key) const
{
    QHash<QmdIndex, QSet<QString>> items;
    items.reserve(ids.size());
    controller->lockedRead([&] {
        for (const QmdItemId id : ids)
            items.insert(controller->instrumentIndex(id), {key});
    });
    return items;
}

void Inspector::bindAll(
    const QList<PageBinding>& bindings,
    const std::function<QHash<QmdIndex, QSet<QString>>(const QString&)>& collect)
{
    for (const PageBinding& binding : bindings)
        controller->bind(binding.widget, binding.property, binding.signal, collect(binding.key),
                         binding.absentValue, binding.absentValue, binding.intent);
}

// ---- The element pages ----------------------------------------------------------------------

void Inspector::onElementSelectionChanged()
{
    // Select All or a paste may report its items one by one: the pass's last word counts.
    if (m_selectionPending)
        return;
    m_selectionPending = true;
    QMetaObject::invokeMethod(this, &Inspector::applyPendingSelection, Qt::QueuedConnection);
}

void Inspector::applyPendingSelection()
{
    if (m_selectionPending)
        applySelection();
}

void Inspector::applySelection()
{
    m_selectionPending = false;
    if (!controller)
        return;
    const QmdItemIdSet selection = m_window ? m_window->selectedElementIds() : QmdItemIdSet();
    const QmdItemIdSet added = selection - m_selection;
    const QmdItemIdSet removed = m_selection - selection;
    m_selection = selection;

    // The page of the type newly selected last, else the first page with a selection.
    QWidget* frontPage = nullptr;
    controller->lockedRead([&] {
        for (const QmdItemId id : added) {
            const auto entry
                = m_elementTypes.find(QmdKelvo::ElementType(controller->elementType(id)));
            if (entry == m_elementTypes.end())
                continue;
            entry->selectedIds.insert(id);
            if (entry->page)
                frontPage = entry->page;
        }
    });
    // In the order of the types: edge, node, text box, voice group.
    for (auto entry = m_elementTypes.begin(); entry != m_elementTypes.end(); ++entry) {
        ElementTypeInfo& info = entry.value();
        info.selectedIds -= removed;
        if (!info.page)
            continue;
        bindElementPage(entry.key(), info.selectedIds);
        info.page->setEnabled(!info.selectedIds.isEmpty());
        if (!info.selectedIds.isEmpty() && !frontPage)
            frontPage = info.page;
    }

    const QmdItemIdSet& edges = m_elementTypes[QmdKelvo::EdgeElement].selectedIds;
    const bool oneEdge = edges.size() == 1;
    m_edgeForm.ccListEdit->setEnabled(oneEdge);
    m_edgeForm.ccListEdit->setEdge(oneEdge ? *edges.cbegin() : 0);
    const QmdItemIdSet& nodes = m_elementTypes[QmdKelvo::NodeElement].selectedIds;
    const bool oneNode = nodes.size() == 1;
    m_nodeForm.edgeUsageList->setEnabled(oneNode);
    m_nodeForm.addEdgeUsageButton->setEnabled(oneNode);
    m_nodeForm.edgeUsageList->setNode(oneNode ? *nodes.cbegin() : 0);
    updateSteeredFields();

    if (frontPage) {
        const int index = m_pageStack->indexOf(frontPage);
        QAbstractButton* button = pageButton(index);
        if (button && !button->isChecked()) {
            button->setChecked(true);
            transformToPage(index, true, true);
        }
    }
}

void Inspector::bindElementPage(QmdKelvo::ElementType type, const QmdItemIdSet& ids)
{
    const QList<PageBinding> bindings = elementPageBindings(type);
    // Unbinding shows the values for absent keys.
    controller->unbind(boundWidgets(bindings));
    if (ids.isEmpty()) {
        // Unbinding resets only what was bound, and a combo box given another document's
        // model shows its first row.
        showAbsentValues(bindings);
        return;
    }
    bindAll(bindings, [this, &ids](const QString& key) { return collectElementKeys(ids, key); });
}

void Inspector::shuffleNodeNotesInSelection()
{
    if (controller)
        controller->requestShuffleNodeNotes(
            m_elementTypes.value(QmdKelvo::NodeElement).selectedIds);
}

// ---- The document page ----------------------------------------------------------------------

void Inspector::bindDocumentPage()
{
    const Ui_InspectDocForm& ui = m_documentForm;
    const QList<PageBinding> bindings = {
        {ui.tempoSpinBox, "value", SIGNAL(valueChanged(int)), K::Tempo, 0, tr("Tempo")},
        {ui.principalsSpinBox, "value", SIGNAL(valueChanged(int)), K::PrincipalsToBeatsNumerator, 0,
         tr("Principals")},
        {ui.beatsSpinBox, "value", SIGNAL(valueChanged(int)), K::PrincipalsToBeatsDenominator, 0,
         tr("Beats")},
        {ui.divsSpinBox, "value", SIGNAL(valueChanged(int)), K::DivsPerPrincipal, 0,
         tr("Divisions")},
        {ui.keyComboBox, "currentKey", SIGNAL(activated(int)), K::ScaleKey, 0u, tr("Key")},
        {ui.modeComboBox, "currentKey", SIGNAL(activated(int)), K::ScaleMode, 0u, tr("Mode")},
        {ui.backgroundColorButton, "color", SIGNAL(colorChanged(QColor)), K::StyleBackgroundColor,
         QColor(), tr("Background Color")},
        {ui.principalLinesColorButton, "color", SIGNAL(colorChanged(QColor)),
         K::StylePrincipalLinesColor, QColor(), tr("Principal Lines Color")},
        {ui.principalPointsColorButton, "color", SIGNAL(colorChanged(QColor)),
         K::StylePrincipalPointsColor, QColor(), tr("Principal Points Color")},
        {ui.divisionLinesColorButton, "color", SIGNAL(colorChanged(QColor)),
         K::StyleDivisionLinesColor, QColor(), tr("Division Lines Color")},
        {ui.divisionPointsColorButton, "color", SIGNAL(colorChanged(QColor)),
         K::StyleDivisionPointsColor, QColor(), tr("Division Points Color")},
        {ui.annotationColorButton, "color", SIGNAL(colorChanged(QColor)), K::StyleAnnotationColor,
         QColor(), tr("Annotation Color")},
        {ui.nodesColorButton, "color", SIGNAL(colorChanged(QColor)), K::StyleNodesColor, QColor(),
         tr("Nodes Color")},
        {ui.edgesColorButton, "color", SIGNAL(colorChanged(QColor)), K::StyleEdgesColor, QColor(),
         tr("Edges Color")},
        {ui.authorEdit, "text", SIGNAL(editingFinished()), K::Author, QString(), tr("Author")},
        {ui.titleEdit, "text", SIGNAL(editingFinished()), K::Title, QString(), tr("Title")},
        {ui.commentsEdit, "plainText", SIGNAL(editingFinished()), K::Comment, QString(),
         tr("Comments")},
    };
    bindAll(bindings, [](const QString& key) {
        return QHash<QmdIndex, QSet<QString>> {{QmdIndex(), {key}}};
    });
}

void Inspector::documentRescanMidiInputs()
{
    rescanSyncPorts(true);
}

void Inspector::documentRescanMidiOutputs()
{
    rescanSyncPorts(false);
}

void Inspector::rescanSyncPorts(bool inputs)
{
    const Ui_InspectDocForm& ui = m_documentForm;
    VerticalListViewWidget* list = inputs ? ui.midiInputsList : ui.midiOutputsList;
    QScrollArea* area = inputs ? ui.midiInputsBox : ui.midiOutputsBox;
    QVBoxLayout* layout = list->listLayout();
    while (QLayoutItem* item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }

    if (controller) {
        const AppServices* services = AppServices::instance();
        QSet<QString> present;
        if (services)
            present = inputs ? services->midiInputPortSet() : services->midiOutputPortSet();
        // The program's own synthesizer is no port to synchronise with.
        present.remove(MidiPortNames::synthesizerPortName());

        const QmdIndex container
            = controller->index(inputs ? K::SyncMidiInputs : K::SyncMidiOutputs, QmdIndex());
        QStringList names(present.cbegin(), present.cend());
        if (container.isValid()) {
            // An absent port stays listed while the document syncs to it; otherwise its entry
            // goes.
            QStringList offline;
            const QStringList entries = controller->keys(container);
            for (const QString& name : entries) {
                if (present.contains(name))
                    continue;
                if (controller->data(K::MidiSync, controller->index(name, container)).toBool())
                    names.append(name);
                else
                    offline.append(name);
            }
            if (!offline.isEmpty())
                controller->requestRemove(
                    offline, container,
                    QmdRequestOptions(Qmd::NotUndoable,
                                      inputs
                                          ? tr("Remove Offline Non-MidiSync Input Port Entry")
                                          : tr("Remove Offline Non-MidiSync Output Port Entry")));
        }
        // Sorted plainly first, so that names equal in natural order keep one order.
        std::sort(names.begin(), names.end());
        std::stable_sort(names.begin(), names.end(), nSmartStringLessThan);

        QFont font = list->font();
        font.setPointSize(fontPointSize());
        QPalette palette = list->palette();
        palette.setColor(QPalette::Window, SyncListBackground);
        for (const QString& name : std::as_const(names)) {
            auto* box = new SqueezedTextCheckBox(
                QStringLiteral("%1 %2").arg(name,
                                            present.contains(name) ? QString() : tr("(offline)")),
                list);
            box->setFont(font);
            box->setPalette(palette);
            layout->addWidget(box);
            if (!container.isValid())
                continue;
            QmdIndex entry = controller->index(name, container);
            if (!entry.isValid()) {
                controller->requestSetTypeIfInvalid(
                    name, Qmd::StrDict, container,
                    QmdRequestOptions(Qmd::NotUndoable,
                                      inputs ? tr("Create Midi Input Port Entry")
                                             : tr("Create Midi Output Port Entry")));
                entry = controller->index(name, container);
            }
            if (entry.isValid())
                controller->bind(box, "checked", SIGNAL(toggled(bool)), K::MidiSync, entry, false,
                                 false, tr("Midi Sync"));
        }
    }

    list->adjustSize();
    const int width = VerticalListViewWidget::availableWidth(area);
    list->setMinimumWidth(width);
    list->setMaximumWidth(width);
}

// ---- The instrument page --------------------------------------------------------------------

void Inspector::onInstrumentSelectionChanged()
{
    const Ui_InspectInstrumentForm& ui = m_instrumentForm;
    m_selectedInstruments.clear();
    if (!controller) {
        ui.editFrame->setEnabled(false);
        return;
    }
    if (const QItemSelectionModel* selection = ui.listView->selectionModel()) {
        const QModelIndexList indexes = selection->selectedIndexes();
        for (const QModelIndex& index : indexes) {
            if (index.row() >= 0 && index.column() >= 0 && index.model())
                m_selectedInstruments.insert(index.data(Qt::UserRole).toUInt());
        }
    }
    const QList<PageBinding> bindings = instrumentPageBindings();
    controller->unbind(boundWidgets(bindings));
    ui.editFrame->setEnabled(!m_selectedInstruments.isEmpty());
    if (m_selectedInstruments.isEmpty()) {
        showAbsentValues(bindings);
        return;
    }
    fillMidiPortsComboBox();
    bindAll(bindings, [this](const QString& key) {
        return collectInstrumentKeys(m_selectedInstruments, key);
    });
}

void Inspector::instrumentRescanMidiOutputs()
{
    QwpComboBox* ports = m_instrumentForm.midiPortsComboBox;
    const QVariant shown = ports->currentKey();
    fillMidiPortsComboBox();
    // The document decides what the bound box shows: the instruments' port may have come back.
    if (controller && !m_selectedInstruments.isEmpty())
        controller->updateBoundObject(ports, "currentKey");
    else
        ports->setCurrentKey(shown);
}

void Inspector::fillMidiPortsComboBox()
{
    const AppServices* services = AppServices::instance();
    QSet<QString> presentSet;
    if (services)
        presentSet = services->midiOutputPortSet();
    // The built-in synthesizer is always there to play to, whatever the MIDI system lists.
    presentSet.insert(MidiPortNames::synthesizerPortName());
    QStringList offline;
    if (controller) {
        controller->lockedRead([&] {
            for (const QmdItemId id : std::as_const(m_selectedInstruments)) {
                const QString port
                    = controller->data(K::MidiPort, controller->instrumentIndex(id)).toString();
                if (!port.isEmpty() && !presentSet.contains(port) && !offline.contains(port))
                    offline.append(port);
            }
        });
    }
    QStringList names(presentSet.cbegin(), presentSet.cend());
    names += offline;
    std::sort(names.begin(), names.end());
    std::stable_sort(names.begin(), names.end(), nSmartStringLessThan);

    QwpComboBox* ports = m_instrumentForm.midiPortsComboBox;
    const QSignalBlocker blocker(ports);
    ports->clear();
    for (const QString& name : std::as_const(names))
        ports->addItem(presentSet.contains(name) ? name : tr("%1 (offline)").arg(name), name);
}
