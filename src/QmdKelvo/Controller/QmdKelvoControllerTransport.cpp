// Transport and voice-group requests of QmdKelvoController: play, pause, go to start, the
// display and triggering switches, and starting, stopping and MIDI triggering of voice groups.
//
// Instruments and voice groups are called outside the model lock, once the request that
// collected them has ended: a voice group takes its own mutex before the model lock, so waking
// it inside a request could deadlock with its current step. Meanwhile the objects-in-use lock
// keeps them from being deleted.

#include "QmdKelvoController.h"

#include "AbstractSync.h"
#include "MidiInput.h"
#include "MidiInstrument.h"
#include "QmdKelvoKeys.h"
#include "QmdKelvoUnits.h"
#include "VoiceGroup.h"

#include <QMutexLocker>

#include <shared_mutex>

namespace K = QmdKelvoKeys;

namespace {

constexpr quint64 TicksPerPrincipal = 665280;
constexpr quint64 PulsesPerBeat = 665280;

} // namespace

QmdRequestId QmdKelvoController::requestPlay()
{
    return requestSetPlayback(true);
}

QmdRequestId QmdKelvoController::requestPause()
{
    return requestSetPlayback(false);
}

QmdRequestId QmdKelvoController::requestSetPlayback(bool play)
{
    AbstractSync* clock = sync();
    if (!clock)
        return NoRequestId;
    // A start first has the groups that it runs handle what is due at the clock's position,
    // then runs the clock a moment later, by when the instruments have it.
    if (play) {
        if (!clock->isPlaying())
            prepareVoiceGroupsToStart();
        clock->startWithLead();
    } else {
        clock->setPlaying(false);
    }
    return requestPrimePlaybackForSyncStateChange(play);
}

void QmdKelvoController::prepareVoiceGroupsToStart()
{
    const std::shared_lock<std::shared_mutex> inUse(objectsInUseLock);
    // As requestPrimePlaybackForSyncStateChange continues them: groups with trigger pitches
    // wait for their trigger.
    QList<VoiceGroupHandle> groups;
    {
        const ReadLocker locker(this);
        for (auto it = voiceGroupTable.cbegin(); it != voiceGroupTable.cend(); ++it) {
            if (directElementData(it.key(), K::TriggeringMidiPitchList).toString().isEmpty())
                groups.append(it.value());
        }
    }
    for (const VoiceGroupHandle& group : std::as_const(groups))
        group->prepareStart();
}

QmdRequestId QmdKelvoController::requestTogglePlayback()
{
    AbstractSync* clock = sync();
    if (!clock)
        return NoRequestId;
    return requestSetPlayback(!clock->isPlaying());
}

QmdRequestId QmdKelvoController::requestPrimePlaybackForSyncStateChange(bool newState)
{
    const std::shared_lock<std::shared_mutex> inUse(objectsInUseLock);
    for (const InstrumentHandle& instrument : instrumentHandles()) {
        if (newState)
            instrument->play();
        else
            instrument->pauseAndWait();
    }
    // Groups with trigger pitches wait for their trigger.
    QList<QPair<VoiceGroupHandle, bool>> groups;
    {
        const ReadLocker locker(this);
        for (auto it = voiceGroupTable.cbegin(); it != voiceGroupTable.cend(); ++it) {
            const bool triggered = newState
                && !directElementData(it.key(), K::TriggeringMidiPitchList).toString().isEmpty();
            groups.append({it.value(), newState && !triggered});
        }
    }
    for (const auto& [group, run] : std::as_const(groups)) {
        if (run)
            group->continueIterating();
        else
            group->pauseIterating();
    }
    emit playbackStateChanged(newState);
    return NoRequestId;
}

QmdRequestId QmdKelvoController::requestGotoStart()
{
    AbstractSync* clock = sync();
    if (!clock || !model())
        return NoRequestId;
    const std::shared_lock<std::shared_mutex> inUse(objectsInUseLock);
    // No step runs on from the old position: the groups stop stepping, a step in progress
    // ending first, before anything is reset. Outside the model lock, which such a step may
    // be waiting for.
    QList<QPair<VoiceGroupHandle, bool>> groups;
    for (const VoiceGroupHandle& group : voiceGroupHandles())
        groups.append({group, group->haltSteps()});

    // The instruments of a playing document pause with the clock, which takes back what they
    // handed over for after the stop and switches off what they hold. Emptying a pipe drops
    // the note-offs queued in it, and the notes they would end. Their ports stay as they are.
    const bool wasPlaying = clock->isPlaying();
    if (wasPlaying)
        clock->setPlaying(false);
    const std::vector<InstrumentHandle> instruments = instrumentHandles();
    for (const InstrumentHandle& instrument : instruments) {
        if (wasPlaying)
            instrument->pauseAndWait();
        instrument->dropPending();
    }
    clock->reset();

    const QmdRequestId rid = registerNewRequestId();
    beginRequest(rid, Qmd::NotUndoable, tr("Goto Start"));
    if (elementStatesRootIndex.isValid()) {
        for (const QmdIndex& state : directChildren(elementStatesRootIndex))
            resetElementState(state);
    }
    resetNotesTreePositions(nodeNotesTreesRootIndex);
    endRequest(rid);

    for (const auto& entry : std::as_const(groups))
        entry.first->gotoStart(false);
    // What the groups reported ahead of the old position is never shown.
    clearFeedback();
    // Playing again as a start does: the groups handle what is due at the start, the clock
    // runs a moment later, the instruments send their settings before any note, and the groups
    // go on.
    if (wasPlaying) {
        for (const auto& [group, resume] : std::as_const(groups)) {
            if (resume)
                group->prepareStart();
        }
        clock->startWithLead();
        for (const InstrumentHandle& instrument : instruments)
            instrument->play();
    }
    for (const auto& [group, resume] : std::as_const(groups)) {
        if (resume)
            group->continueIterating();
    }
    emit playbackJogged();
    return NoRequestId;
}

void QmdKelvoController::resetNotesTreePositions(const QmdIndex& index)
{
    if (!index.isValid() || !directIsValidIndex(index))
        return;
    if (directType(index) == Qmd::StrDict) {
        for (const QString& key :
             {K::CurrentChildId, K::CurrentPitchId, K::CurrentVelocityId, K::CurrentDurationId}) {
            if (directIndex(key, index).isValid())
                directSetData(key, 0, index);
        }
    }
    for (const QmdIndex& child : directChildren(index)) {
        if (directType(child) != Qmd::NoContainer)
            resetNotesTreePositions(child);
    }
}

QmdRequestId QmdKelvoController::requestToggle(const QString& key)
{
    if (!model())
        return 0;
    const bool value = data(key, QmdIndex()).toBool();
    return requestSetData(key, !value, QmdIndex(), QmdRequestOptions(Qmd::NotUndoable, QString()));
}

QmdRequestId QmdKelvoController::requestToggleShowGrid()
{
    return requestToggle(K::ShowGrid);
}

QmdRequestId QmdKelvoController::requestToggleSnapToGrid()
{
    return requestToggle(K::SnapToGrid);
}

QmdRequestId QmdKelvoController::requestToggleShowNodeCounters()
{
    return requestToggle(K::ShowNodeCounters);
}

QmdRequestId QmdKelvoController::requestToggleShowNodeLastNotesSent()
{
    return requestToggle(K::ShowNodeLastNotesSent);
}

QmdRequestId QmdKelvoController::requestToggleShowEdgeSignalling()
{
    return requestToggle(K::ShowEdgeSignalling);
}

QmdRequestId QmdKelvoController::requestToggleMidiTriggering()
{
    return requestToggle(K::MidiTriggeringEnabled);
}

quint64 QmdKelvoController::quantizedStart(int quantization, quint64 ticks, quint64 pulses,
                                           quint64 divisionTicks) const
{
    switch (quantization) {
    case 0:
        return ticks;
    case 1:
        return (ticks / divisionTicks + 1) * divisionTicks;
    case 2:
        return ticks - ticks % TicksPerPrincipal + TicksPerPrincipal;
    case 3:
        return sync()->pulsesToTicks(pulses - pulses % PulsesPerBeat + PulsesPerBeat);
    default:
        return 0;
    }
}

QmdRequestId QmdKelvoController::requestStartVoiceGroups(const QmdItemIdList& idList,
                                                         QmdKelvo::Scale velocityScale)
{
    AbstractSync* clock = sync();
    if (!clock || !clock->isPlaying() || !model())
        return 0;
    const std::shared_lock<std::shared_mutex> inUse(objectsInUseLock);
    struct Start
    {
        VoiceGroupHandle group;
        int quantization;
        bool scaled;
    };
    QList<Start> starts;
    const QmdRequestId rid = registerNewRequestId();
    beginRequest(rid, Qmd::NotUndoable, tr("Start Voice Groups"));
    for (QmdItemId id : idList) {
        VoiceGroupHandle group = voiceGroupTable.value(id);
        if (!group)
            continue;
        starts.append({std::move(group), directElementData(id, K::TriggeringQuantization).toInt(),
                       directElementData(id, K::TriggeringMidiVelocityScaling).toBool()});
    }
    endRequest(rid);
    if (starts.isEmpty())
        return rid;

    const quint64 ticks = clock->ticksElapsed();
    // A stored 0 (or more divisions than a principal has ticks) is never a divisor: the
    // division is then at least one tick long.
    const quint64 divs = qMax(1u, data(K::DivsPerPrincipal, QmdIndex()).toUInt());
    const quint64 division = qMax<quint64>(1, TicksPerPrincipal / divs);
    const quint64 pulses = clock->pulsesElapsed();
    for (const Start& start : std::as_const(starts)) {
        const quint64 pos = quantizedStart(start.quantization, ticks, pulses, division);
        start.group->resetTo(QmdKelvo::Ticks(pos), start.scaled ? velocityScale : 1.0);
        start.group->continueIterating();
    }
    return rid;
}

QmdRequestId QmdKelvoController::requestStopVoiceGroups(const QmdItemIdList& idList)
{
    AbstractSync* clock = sync();
    if (!clock || !clock->isPlaying() || !model())
        return 0;
    const std::shared_lock<std::shared_mutex> inUse(objectsInUseLock);
    QList<VoiceGroupHandle> groups;
    const QmdRequestId rid = registerNewRequestId();
    beginRequest(rid, Qmd::NotUndoable, tr("Stop Voice Groups"));
    for (QmdItemId id : idList) {
        if (VoiceGroupHandle group = voiceGroupTable.value(id))
            groups.append(std::move(group));
    }
    endRequest(rid);
    QmdItemIdList stopped;
    for (const VoiceGroupHandle& group : std::as_const(groups)) {
        group->deactivateAllVoicesAndPauseIterating();
        stopped.append(group->id());
    }
    dropQueuedNotes(stopped);
    return rid;
}

QmdRequestId QmdKelvoController::requestMidiTriggerVoiceGroups(const MidiInputMessage& msg,
                                                               int msecToggleTimeout)
{
    AbstractSync* clock = sync();
    if (!clock || !clock->isPlaying() || !model() || msg.bytes.size() != 3
        || !data(K::MidiTriggeringEnabled, QmdIndex()).toBool())
        return 0;
    // Only notes trigger: note-on (a velocity of 0 is a release) and note-off, on any channel.
    // Aftertouch, controllers, programs, pitch bend and system messages are ignored.
    const uchar status = msg.bytes.at(0);
    const uchar kind = status & 0xF0;
    if (kind != 0x80 && kind != 0x90)
        return 0;
    const uchar pitch = msg.bytes.at(1) & 0x7F;
    const uchar velocity = msg.bytes.at(2) & 0x7F;
    const bool press = kind == 0x90 && velocity != 0;

    quint64 last = 0;
    {
        const QMutexLocker locker(&triggerTimesMutex);
        last = lastTriggerTimes.value(pitch, 0);
    }
    if (!press) {
        const quint64 timeout = quint64(qMax(0, msecToggleTimeout)) * 1000000ULL;
        if (msg.hostTimeNs <= last || msg.hostTimeNs - last <= timeout)
            return 0; // let go within the time-out: the press toggled the groups
    }

    const QString name = noteName(pitch);
    QmdItemIdList stopList;
    QmdItemIdList startList;
    const QmdRequestId rid = registerNewRequestId();
    beginRequest(rid, Qmd::NotUndoable, tr("MIDI Trigger Voice Groups"));
    for (auto it = voiceGroupTable.cbegin(); it != voiceGroupTable.cend(); ++it) {
        const QStringList parts
            = directElementData(it.key(), K::TriggeringMidiPitchList).toString().split(u',');
        if (!parts.contains(name))
            continue;
        if (!press || it.value()->isIterating())
            stopList.append(it.key());
        else
            startList.append(it.key());
    }
    endRequest(rid);

    requestStopVoiceGroups(stopList);
    requestStartVoiceGroups(startList, velocity / 127.0);
    if (kind == 0x90) {
        const QMutexLocker locker(&triggerTimesMutex);
        lastTriggerTimes.insert(pitch, msg.hostTimeNs);
    }
    return rid;
}

QmdRequestId QmdKelvoController::requestShuffleNodeNotes(const QmdItemIdSet& nodes)
{
    Q_UNUSED(nodes)
    return 0;
}

bool QmdKelvoController::isVoiceGroupIterating(uint voiceGroupId) const
{
    const ReadLocker locker(this);
    const auto it = voiceGroupTable.constFind(voiceGroupId);
    return it != voiceGroupTable.cend() && (*it)->isIterating();
}
