// The reset of QmdKelvoController after a new, loaded or template document: defaults, the
// conversion of documents written by older versions, the scale modes, nodes' instrument changes
// that name no instrument, and the run-time objects made anew.

#include "QmdKelvoController.h"

#include "QmdKelvoKeys.h"
#include "QmdKelvoUnits.h"
#include "ScaleModesModel.h"

#include <QSignalBlocker>

namespace K = QmdKelvoKeys;

namespace {

// Keys that older versions wrote and that a reset converts.
namespace Legacy {
const QString OrderedArcUsages = QStringLiteral("OrderedArcUsages");
const QString Arc = QStringLiteral("Arc");
const QString UsageRule = QStringLiteral("UsageRule");
const QString Identifier = QStringLiteral("Identifier");
const QString OutputType = QStringLiteral("OutputType");
} // namespace Legacy

} // namespace

void QmdKelvoController::Reset()
{
    QmdSyncronizedController<QmdElementDocController>::Reset();
    if (!model())
        return;

    QList<InstrumentHandle> oldInstruments;
    QList<VoiceGroupHandle> oldVoiceGroups;
    const QmdRequestId rid = registerNewRequestId();
    resetRequestId = rid;
    beginRequest(rid, Qmd::NotUndoable, tr("QmdKelvoController::Reset"));
    ensureDefaults();
    convertLegacyNodes();
    convertLegacyVoiceGroupOutputs();
    repairElementContainers();
    normaliseScaleModes();
    repairScaleModeReferences();
    repairInstrumentChanges();
    // The threads of the previous document leave the tables while the model is locked ...
    {
        const std::unique_lock<std::shared_mutex> locker(instrumentTableLock);
        oldInstruments = instrumentTable.values();
        instrumentTable.clear();
    }
    oldVoiceGroups = voiceGroupTable.values();
    voiceGroupTable.clear();
    clearFeedback();
    endRequest(rid);

    // ... and are stopped once it is free again, since a running voice group may be waiting
    // for it. The old clock, which they may still use, is deleted later by the event loop.
    recreateSync();
    stopInstruments(std::move(oldInstruments));
    stopVoiceGroups(std::move(oldVoiceGroups));
    // What the old groups reported until they ended belongs to the previous document.
    clearFeedback();
    createInstruments(instruments());
    createVoiceGroups(elements());
    rebuildEdgeFromNodes();

    attachListModels();
}

void QmdKelvoController::convertLegacyNodes()
{
    const QmdIndex elements = directElementsRoot();
    if (!elements.isValid())
        return;
    for (const QmdIndex& node : directChildren(elements)) {
        if (!node.isValid() || directData(K::Type, node).toUInt() != QmdKelvo::NodeElement)
            continue;

        // The edge-usage list, once a container of (edge, count) entries.
        const QmdIndex usages = directIndex(Legacy::OrderedArcUsages, node);
        if (usages.isValid()) {
            QString text;
            for (const QmdIndex& entry : directChildren(usages)) {
                text += QStringLiteral("%1=%2,")
                            .arg(directData(Legacy::Arc, entry).toUInt())
                            .arg(directData(Legacy::UsageRule, entry).toLongLong());
            }
            if (text.endsWith(QLatin1Char(',')))
                text.chop(1);
            directSetData(K::ArcUsageList, text, node);
            directRemove(usages);
        }

        // The notes, once three separate lists.
        const QmdIndex pitches = directIndex(K::PitchList, node);
        const QmdIndex velocities = directIndex(K::VelocityList, node);
        const QmdIndex durations = directIndex(K::DurationList, node);
        if (!pitches.isValid() && !velocities.isValid() && !durations.isValid())
            continue;
        if (!directIndex(K::Notes, node).isValid()) {
            const QString p = pitches.isValid() ? directData(pitches).toString() : QString();
            const QString v = velocities.isValid() ? directData(velocities).toString() : QString();
            const QString d = durations.isValid() ? directData(durations).toString() : QString();
            const QString p2 = p.isEmpty() ? QStringLiteral("+0") : p;
            const QString v2 = v.isEmpty() ? QStringLiteral("+0") : v;
            QString notes;
            if (!d.isEmpty())
                notes = p2 + QLatin1Char(':') + v2 + QLatin1Char(':') + d;
            else if (!v.isEmpty())
                notes = p2 + QLatin1Char(':') + v;
            else
                notes = p;
            directSetData(K::Notes, notes, node);
        }
        for (const QmdIndex& list : {pitches, velocities, durations}) {
            if (list.isValid())
                directRemove(list);
        }
    }
}

void QmdKelvoController::convertLegacyVoiceGroupOutputs()
{
    // Observers learn of the new instruments from the model reset that follows.
    const QSignalBlocker blocker(model());
    const QmdIndex elements = directElementsRoot();
    const QmdIndex instrumentsRoot = directIndex(K::Instruments, QmdIndex());
    if (!elements.isValid() || !directIsContainer(instrumentsRoot, Qmd::IntDict))
        return;
    const QStringList copiedKeys = {K::MidiPort,    K::MidiChannels, K::MidiDoProgramChange,
                                    K::MidiProgram, K::MidiBankMSB,  K::MidiBankLSB};
    const QStringList legacyKeys
        = {Legacy::Identifier,     K::MidiBankLSB, K::MidiBankMSB, K::MidiChannels,
           K::MidiDoProgramChange, K::MidiPort,    K::MidiProgram, Legacy::OutputType};
    for (const QmdIndex& group : directChildren(elements)) {
        if (!group.isValid() || directData(K::Type, group).toUInt() != QmdKelvo::VoiceGroupElement
            || !directIndex(Legacy::Identifier, group).isValid())
            continue;
        const int n = directData(Legacy::Identifier, group).toInt();
        QHash<QString, QVariant> values
            = {{K::Type, directData(Legacy::OutputType, group)},
               {K::Color, QmdKelvo::paletteColor(n)},
               {K::Label, QStringLiteral("%1 %2").arg(QStringLiteral("Instrument")).arg(n + 1)}};
        for (const QString& key : copiedKeys)
            values.insert(key, directData(key, group));
        const QmdItemId instrumentId = directAddType(Qmd::StrDict, instrumentsRoot);
        const QmdIndex instrument = directIndex(instrumentId, instrumentsRoot);
        if (instrument.isValid())
            directSetData(values, instrument);
        directSetData(K::InitialInstrument, uint(instrumentId), group);
        for (const QString& key : legacyKeys) {
            const QmdIndex legacy = directIndex(key, group);
            if (legacy.isValid())
                directRemove(QmdIndexList {legacy});
        }
    }
}

Qmd::ContainerType QmdKelvoController::elementContainerType(int elementType, const QString& key)
{
    if ((elementType == QmdKelvo::NodeElement && key == K::ArcIdentifiers)
        || (elementType == QmdKelvo::EdgeElement && key == K::ContinuousControllers))
        return Qmd::IntDict;
    return Qmd::NoContainer;
}

void QmdKelvoController::repairElementContainers()
{
    const QmdIndex elements = directElementsRoot();
    if (!elements.isValid())
        return;
    for (const QmdIndex& element : directChildren(elements)) {
        if (!directIsContainer(element, Qmd::StrDict))
            continue;
        const int type = directData(K::Type, element).toInt();
        QHash<QString, Qmd::ContainerType> repaired;
        for (const QmdIndex& child : directChildren(element)) {
            const Qmd::ContainerType needed = elementContainerType(type, child.key());
            if (needed != Qmd::NoContainer && directType(child) != needed)
                repaired.insert(child.key(), needed);
        }
        if (!repaired.isEmpty())
            directSetTypes(repaired, element);

        const QmdIndex curves = directIndex(K::ContinuousControllers, element);
        if (type != QmdKelvo::EdgeElement || !directIsContainer(curves, Qmd::IntDict))
            continue;
        QHash<QmdItemId, Qmd::ContainerType> emptied;
        for (const QmdIndex& curve : directChildren(curves)) {
            if (directType(curve) != Qmd::StrDict)
                emptied.insert(curve.itemId(), Qmd::StrDict);
        }
        if (!emptied.isEmpty())
            directSetTypes(emptied, curves);
    }
}

void QmdKelvoController::normaliseScaleModes()
{
    const QSignalBlocker blocker(model());
    m_chromaticScaleModeId = 0;
    const QmdIndex modes = directIndex(K::ScaleModes, QmdIndex());
    if (!directIsContainer(modes, Qmd::IntDict))
        return;

    // The document's modes; one that equals a built-in mode is that mode. User modes are
    // numbered in ascending id order.
    QSet<ScaleMode> present;
    int nextUserOrder = 10000;
    for (const QmdIndex& mode : directChildren(modes)) {
        if (!directIsContainer(mode, Qmd::StrDict))
            continue;
        const ScaleMode scaleMode(
            directData(K::Label, mode).toString(),
            quint32(directData(K::ChromaticScaleDegreeSet, mode).toLongLong()), 0);
        present.insert(scaleMode);
        const auto builtIn = builtInScaleModeSet().constFind(scaleMode);
        if (builtIn != builtInScaleModeSet().cend()) {
            directSetData(K::IsBuiltIn, true, mode);
            directSetData(K::DisplayOrder, builtIn->displayOrder, mode);
            if (scaleMode == chromaticScaleMode())
                m_chromaticScaleModeId = mode.itemId();
        } else {
            directSetData(K::IsBuiltIn, false, mode);
            directSetData(K::DisplayOrder, nextUserOrder++, mode);
        }
    }

    // Every built-in mode that the document lacks.
    for (const ScaleMode& builtIn : builtInScaleModeList()) {
        if (present.contains(builtIn))
            continue;
        const QmdItemId id = directAddType(Qmd::StrDict, modes);
        const QmdIndex mode = directIndex(id, modes);
        if (mode.isValid()) {
            directSetData(QHash<QString, QVariant> {{K::Label, builtIn.label},
                                                    {K::ChromaticScaleDegreeSet,
                                                     int(builtIn.chromaticDegreeSet)},
                                                    {K::DisplayOrder, builtIn.displayOrder},
                                                    {K::IsBuiltIn, true}},
                          mode);
            if (builtIn == chromaticScaleMode())
                m_chromaticScaleModeId = id;
        }
    }
}

void QmdKelvoController::repairScaleModeReferences()
{
    const QmdIndex modes = directIndex(K::ScaleModes, QmdIndex());
    auto exists = [&](const QVariant& id) {
        return modes.isValid() && id.toUInt() != 0 && directIndex(id.toUInt(), modes).isValid();
    };
    if (!exists(directData(K::ScaleMode, QmdIndex())))
        directSetData(K::ScaleMode, uint(m_chromaticScaleModeId), QmdIndex());

    const QmdIndex elements = directElementsRoot();
    if (!elements.isValid())
        return;
    for (const QmdIndex& group : directChildren(elements)) {
        if (!group.isValid() || directData(K::Type, group).toUInt() != QmdKelvo::VoiceGroupElement)
            continue;
        directSetDataIfInvalid(K::DontPlayNote, false, group);
        directSetDataIfInvalid(K::UseScale, false, group);
        directSetDataIfInvalid(K::ScaleKey, 0u, group);
        directSetDataIfInvalid(K::ScaleMode, uint(m_chromaticScaleModeId), group);
        if (!exists(directData(K::ScaleMode, group)))
            directSetData(K::ScaleMode, uint(m_chromaticScaleModeId), group);
    }
}

void QmdKelvoController::repairInstrumentChanges()
{
    const QmdIndex elements = directElementsRoot();
    if (!elements.isValid())
        return;
    const QmdIndex instruments = directIndex(K::Instruments, QmdIndex());
    const QmdItemIdList instrumentIds
        = instruments.isValid() ? directIdList(instruments) : QmdItemIdList();
    for (QmdItemId id : directIdList(elements)) {
        if (directElementData(id, K::Type).toUInt() == QmdKelvo::NodeElement)
            directCompleteInstrumentChange(id, instrumentIds);
    }
}

void QmdKelvoController::rebuildEdgeFromNodes()
{
    const WriteLocker locker(this);
    edgeFromNodes.clear();
    const QmdIndex elements = directElementsRoot();
    if (!elements.isValid())
        return;
    for (QmdItemId id : directIdList(elements)) {
        if (directElementData(id, K::Type).toLongLong() != QmdKelvo::EdgeElement)
            continue;
        const QmdItemId from = directElementData(id, K::FromNode).toUInt();
        if (from != 0)
            edgeFromNodes.insert(id, from);
    }
}
