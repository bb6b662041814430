// Element creation requests of QmdKelvoController: nodes, edges, voice groups, text boxes,
// instruments and controller curves, with the run-time states of nodes and edges.

#include "QmdKelvoController.h"

#include "QmdKelvoKeys.h"
#include "QmdKelvoUnits.h"

#include <limits>

namespace K = QmdKelvoKeys;

QmdItemId QmdKelvoController::directAddElement(uint type, const QHash<QString, QVariant>& data,
                                               const QHash<QString, Qmd::ContainerType>& types,
                                               QmdKelvo::CreationFlags flags)
{
    QHash<QString, QVariant> values = data;
    if (flags.testFlag(QmdKelvo::CreateHidden))
        values.insert(K::IsHidden, true);
    return QmdElementDocController::directAddElement(type, values, types);
}

QmdRequestId QmdKelvoController::requestAddElement(uint type, const QHash<QString, QVariant>& data,
                                                   const QHash<QString, Qmd::ContainerType>& types,
                                                   QmdKelvo::CreationFlags flags,
                                                   const QmdRequestOptions& options,
                                                   QmdItemId* newId)
{
    if (!model())
        return 0;
    const QmdRequestId rid = beginRequest(options);
    const QmdItemId id = directAddElement(type, data, types, flags);
    endRequest(rid);
    if (newId)
        *newId = id;
    return rid;
}

void QmdKelvoController::addElementState(uint elementId)
{
    const int type = directElementData(elementId, K::Type).toInt();
    if (!elementStatesRootIndex.isValid()
        || (type != QmdKelvo::NodeElement && type != QmdKelvo::EdgeElement))
        return;
    directSetTypes(QHash<QmdItemId, Qmd::ContainerType> {{elementId, Qmd::StrDict}},
                   elementStatesRootIndex);
    resetElementState(directIndex(elementId, elementStatesRootIndex));
}

void QmdKelvoController::resetElementState(const QmdIndex& state)
{
    if (!state.isValid() || !elementStatesRootIndex.isValid()
        || directParent(state) != elementStatesRootIndex)
        return;
    switch (directElementData(state.itemId(), K::Type).toInt()) {
    case QmdKelvo::NodeElement:
        directSetData(K::CurrentEdgeUsageId, 0u, state);
        directSetData(K::CurrentEdgeUsageUses, 0, state);
        directSetData(K::CurrentUserMidiMessageId, 0, state);
        directSetData(K::HitCount, 0, state);
        directSetData(K::LastNotesSent, QString(), state);
        break;
    case QmdKelvo::EdgeElement:
        directSetData(K::CurrentScaleId, 0, state);
        break;
    default:
        break;
    }
}

QmdRequestId QmdKelvoController::requestAddNode(QmdKelvo::TickPoint pos,
                                                QmdKelvo::CreationFlags flags,
                                                const QmdRequestOptions& options,
                                                QmdItemId* newNodeId)
{
    if (!model())
        return 0;
    const QHash<QString, QVariant> data = {{K::Notes, K::DefaultNotes},
                                           {K::TickPos, QVariant::fromValue(pos)},
                                           {K::SignallingMethod, int(QmdKelvo::Sequential)}};
    const QmdRequestId rid = beginRequest(options);
    const QmdItemId nodeId
        = directAddElement(QmdKelvo::NodeElement, data, {{K::ArcIdentifiers, Qmd::IntDict}}, flags);
    addElementState(nodeId);
    endRequest(rid);
    if (newNodeId)
        *newNodeId = nodeId;
    // The notes tree belongs to the run-time part: outside the undo step, under its id.
    if (nodeId != 0) {
        beginRequest(rid, Qmd::NotUndoable, tr("Rebuild Notes Tree"));
        removeNodeNotesTree(nodeId);
        buildNodeNotesTree(nodeId);
        endRequest(rid);
    }
    return rid;
}

QmdRequestId QmdKelvoController::requestAddEdge(const QmdIndex& fromNode, const QmdIndex& toNode,
                                                QmdKelvo::EdgePath path,
                                                QmdKelvo::CreationFlags flags,
                                                const QmdRequestOptions& options,
                                                QmdItemId* newEdgeId)
{
    if (!model())
        return 0;
    const QmdRequestId rid = beginRequest(options);
    // An end that does not address an existing element is left out.
    const QmdIndex from = directExistingElement(fromNode);
    const QmdIndex to = directExistingElement(toNode);
    QHash<QString, QVariant> data = {{K::Path, int(path)}};
    if (from.isValid())
        data.insert(K::FromNode, uint(from.itemId()));
    if (to.isValid())
        data.insert(K::ToNode, uint(to.itemId()));
    const QmdItemId edgeId = directAddElement(QmdKelvo::EdgeElement, data,
                                              {{K::ContinuousControllers, Qmd::IntDict}}, flags);
    addElementState(edgeId);

    if (edgeId != 0 && from.isValid()) {
        // The smallest marker that none of the node's out-edges holds.
        QmdIndex arcs = directIndex(K::ArcIdentifiers, from);
        if (!arcs.isValid()) {
            directSetType(K::ArcIdentifiers, Qmd::IntDict, from);
            arcs = directIndex(K::ArcIdentifiers, from);
        }
        if (arcs.isValid() && directType(arcs) == Qmd::IntDict) {
            QSet<uint> taken;
            for (const QVariant& marker : directChildValues(arcs))
                taken.insert(marker.toUInt());
            int marker = 0;
            while (taken.contains(uint(marker))) {
                if (marker == std::numeric_limits<int>::max()) {
                    marker = -1;
                    break;
                }
                ++marker;
            }
            directSetData(edgeId, marker, arcs);
        }
        const QString usage = directData(K::ArcUsageList, from).toString();
        directSetData(K::ArcUsageList,
                      QStringLiteral("%1%2%3=1")
                          .arg(usage, usage.isEmpty() ? QString() : QStringLiteral(","))
                          .arg(edgeId),
                      from);
    }
    endRequest(rid);
    if (newEdgeId)
        *newEdgeId = edgeId;
    return rid;
}

QmdRequestId QmdKelvoController::requestAddVoiceGroup(const QmdIndex& toNode,
                                                      QmdKelvo::CreationFlags flags,
                                                      const QmdRequestOptions& options)
{
    if (!model())
        return 0;
    const QmdItemIdList instrumentIds = instruments();
    QmdItemId to = 0;
    QmdItemId scaleMode = 0;
    {
        const ReadLocker locker(this);
        to = directExistingElement(toNode).itemId();
        scaleMode = m_chromaticScaleModeId;
    }
    const QHash<QString, QVariant> data
        = {{K::ToNode, uint(to)},
           {K::TriggeringQuantization, 3},
           {K::InitialPitch, K::DefaultInitialPitch},
           {K::InitialVelocity, K::DefaultInitialVelocity},
           {K::InitialDuration, K::DefaultInitialDuration},
           {K::InitialInstrument, uint(instrumentIds.isEmpty() ? 0 : instrumentIds.first())},
           {K::UseScale, false},
           // As a reset gives it, so that a saved document reads back as it was.
           {K::DontPlayNote, false},
           {K::ScaleKey, 0u},
           {K::ScaleMode, uint(scaleMode)}};
    return requestAddElement(QmdKelvo::VoiceGroupElement, data, {}, flags, options);
}

QmdRequestId QmdKelvoController::requestAddTextBox(QmdKelvo::TickPoint pos, const QString& text,
                                                   QmdKelvo::CreationFlags flags,
                                                   const QmdRequestOptions& options)
{
    const QHash<QString, QVariant> data = {{K::TickPos, QVariant::fromValue(pos)}, {K::Text, text}};
    return requestAddElement(QmdKelvo::TextBoxElement, data, {}, flags, options);
}

QmdRequestId QmdKelvoController::requestAddInstrument(const QString& label, const QColor& color,
                                                      const QBitArray& channels,
                                                      const QmdRequestOptions& options)
{
    if (!model())
        return 0;
    const QmdRequestId rid = beginRequest(options);
    const QmdIndex root = directIndex(K::Instruments, QmdIndex());
    if (root.isValid() && directType(root) == Qmd::IntDict) {
        const QmdIndex instrument = directIndex(directAddType(Qmd::StrDict, root), root);
        if (instrument.isValid()) {
            const QHash<QString, QVariant> values = {{K::Type, QStringLiteral("midi")},
                                                     {K::Color, color},
                                                     {K::Label, label},
                                                     {K::MidiPort, K::synthesizerPortName()},
                                                     {K::MidiChannels, channels},
                                                     {K::MidiDoProgramChange, false},
                                                     {K::MidiProgram, 1},
                                                     {K::MidiBankMSB, 0},
                                                     {K::MidiBankLSB, 0}};
            directSetData(values, instrument);
        }
    }
    return endRequest(rid);
}

QmdRequestId QmdKelvoController::requestAddInstrument(const QmdRequestOptions& options)
{
    const int channelCount = 16;
    QSet<QString> labels;
    QList<QColor> colors;
    QBitArray used(channelCount);
    for (QmdItemId id : instruments()) {
        const QmdIndex instrument = instrumentIndex(id);
        if (!instrument.isValid())
            continue;
        labels.insert(data(K::Label, instrument).toString());
        colors.append(data(K::Color, instrument).value<QColor>());
        used |= data(K::MidiChannels, instrument).toBitArray();
    }

    const QString base = tr("Instrument");
    QString label = base;
    for (int n = 2; labels.contains(label); ++n)
        label = QStringLiteral("%1 %2").arg(base).arg(n);

    QColor color;
    const int paletteSize = int(QmdKelvo::colorPalettes().size());
    for (int i = 0; i < paletteSize; ++i) {
        if (!colors.contains(QmdKelvo::paletteColor(i))) {
            color = QmdKelvo::paletteColor(i);
            break;
        }
    }

    QBitArray channels(channelCount);
    for (int channel = 0; channel < channelCount; ++channel) {
        if (channel >= used.size() || !used.testBit(channel)) {
            channels.setBit(channel);
            break;
        }
    }
    return requestAddInstrument(label, color, channels, options);
}

QmdRequestId QmdKelvoController::requestAddControllerToEdge(const QmdIndex& edge,
                                                            QmdKelvo::ControllerCurveType curveType,
                                                            short msbCode, short lsbCode,
                                                            const QmdRequestOptions& options)
{
    if (!model())
        return 0;
    // The edge must exist for the whole of both requests.
    const WriteLocker locker(this);
    const QmdIndex element = directExistingElement(edge);
    if (!element.isValid() || directData(K::Type, element).toInt() != QmdKelvo::EdgeElement)
        return 0;
    requestSetTypeIfInvalid(
        K::ContinuousControllers, Qmd::IntDict, element,
        QmdRequestOptions(Qmd::NotUndoable, tr("Ensure ContinuousControllersRoot Exists")));
    const QmdRequestId rid = beginRequest(options);
    const QmdIndex curves = directIndex(K::ContinuousControllers, element);
    if (curves.isValid() && directType(curves) == Qmd::IntDict) {
        const QmdIndex curve = directIndex(directAddType(Qmd::StrDict, curves), curves);
        if (curve.isValid())
            directSetData(QHash<QString, QVariant> {{K::CurveType, int(curveType)},
                                                    {K::MsbCode, int(msbCode)},
                                                    {K::LsbCode, int(lsbCode)}},
                          curve);
    }
    endRequest(rid);
    return rid;
}
