// The lifecycle of QmdKelvoController and its run-time objects: the transport clock, one output
// thread per instrument and one thread per voice group.
//
// Threads are created and stopped on the controller's (GUI) thread only. A thread that leaves
// a table is stopped, awaited and deleted only once the model lock is free: a running voice
// group may be waiting for that lock in its current step.

#include "QmdKelvoController.h"

#include "AbstractSync.h"
#include "InstrumentsModel.h"
#include "MidiInstrument.h"
#include "MidiSync.h"
#include "QmdKelvoKeys.h"
#include "ScaleKeysModel.h"
#include "ScaleModesModel.h"
#include "VoiceGroup.h"

namespace K = QmdKelvoKeys;

QmdKelvoController::QmdKelvoController(QObject* parent)
    : QmdSyncronizedController<QmdElementDocController>(parent)
{
    builtInScaleModeList();
    QmdKelvo::registerTickPointType();
    qRegisterMetaType<NotesTokenMap>("QmdKelvoController::NotesTokenMap");
    m_instrumentsModel = new InstrumentsModel(this);
    m_scaleKeysModel = new ScaleKeysModel(this);
    m_scaleModesModel = new ScaleModesModel(this);
}

QmdKelvoController::~QmdKelvoController()
{
    // Every voice group has ended before the first instrument is told to stop.
    stopVoiceGroups(takeVoiceGroups(voiceGroupsCopy().keys()));
    stopInstruments(takeInstruments(instrumentsCopy().keys()));
    // The clock is deleted with the other children; detached first, so that no MIDI input
    // handler of it calls back into a controller that is going.
    if (AbstractSync* current = clock.exchange(nullptr))
        current->setController(nullptr);
}

AbstractSync* QmdKelvoController::sync() const
{
    return clock.load();
}

QHash<QmdItemId, MidiInstrument*> QmdKelvoController::instrumentsCopy() const
{
    const std::shared_lock<std::shared_mutex> locker(instrumentTableLock);
    return instrumentTable;
}

QHash<QmdItemId, VoiceGroup*> QmdKelvoController::voiceGroupsCopy() const
{
    const ReadLocker locker(this);
    return voiceGroupTable;
}

QHash<QmdItemId, QmdItemId> QmdKelvoController::edgeFromNodesCopy() const
{
    const ReadLocker locker(this);
    return edgeFromNodes;
}

void QmdKelvoController::recreateSync()
{
    if (!model())
        return;
    AbstractSync* previous = nullptr;
    AbstractSync* next = nullptr;
    {
        const WriteLocker locker(this);
        previous = clock.load();
        next = createSync(directData(K::SyncType, QmdIndex()).toString(), this);
        if (!next)
            next = new MidiSync(this);
        clock.store(next);
    }
    next->setController(this);
    for (MidiInstrument* instrument : instrumentsCopy())
        instrument->setSync(next);
    for (VoiceGroup* group : voiceGroupsCopy())
        group->syncSync();
    if (previous) {
        previous->setController(nullptr);
        previous->deleteLater();
    }
}

void QmdKelvoController::createInstruments(const QmdItemIdList& ids)
{
    if (!model())
        return;
    const QHash<QmdItemId, MidiInstrument*> existing = instrumentsCopy();
    AbstractSync* current = clock.load();
    QHash<QmdItemId, MidiInstrument*> created;
    QList<MidiInstrument*> order;
    for (QmdItemId id : ids) {
        // One thread per instrument: an id that has one keeps it.
        if (existing.contains(id) || created.contains(id) || !instrumentIndex(id).isValid())
            continue;
        auto* instrument = new MidiInstrument(id);
        instrument->setSync(current);
        instrument->setController(this);
        created.insert(id, instrument);
        order.append(instrument);
    }
    const bool playing = current && current->isPlaying();
    for (MidiInstrument* instrument : std::as_const(order)) {
        instrument->start(QThread::TimeCriticalPriority);
        if (playing)
            instrument->play();
    }
    const std::unique_lock<std::shared_mutex> locker(instrumentTableLock);
    instrumentTable.insert(created);
}

void QmdKelvoController::createVoiceGroups(const QmdItemIdList& ids)
{
    if (!model())
        return;
    const QHash<QmdItemId, VoiceGroup*> existing = voiceGroupsCopy();
    QHash<QmdItemId, VoiceGroup*> created;
    for (QmdItemId id : ids) {
        if (existing.contains(id) || created.contains(id)
            || elementType(id) != QmdKelvo::VoiceGroupElement)
            continue;
        created.insert(id, new VoiceGroup(id, this));
    }
    // One after another: each runs before the next starts.
    for (QmdItemId id : ids) {
        if (VoiceGroup* group = created.value(id)) {
            group->start(QThread::TimeCriticalPriority);
            group->waitUntilStarted();
        }
    }
    const WriteLocker locker(this);
    voiceGroupTable.insert(created);
}

QList<MidiInstrument*> QmdKelvoController::takeInstruments(const QmdItemIdList& ids)
{
    QList<MidiInstrument*> taken;
    const std::unique_lock<std::shared_mutex> locker(instrumentTableLock);
    for (QmdItemId id : ids) {
        if (MidiInstrument* instrument = instrumentTable.take(id))
            taken.append(instrument);
    }
    return taken;
}

QList<VoiceGroup*> QmdKelvoController::takeVoiceGroups(const QmdItemIdList& ids)
{
    QList<VoiceGroup*> taken;
    const WriteLocker locker(this);
    for (QmdItemId id : ids) {
        if (VoiceGroup* group = voiceGroupTable.take(id))
            taken.append(group);
    }
    return taken;
}

void QmdKelvoController::stopInstruments(const QList<MidiInstrument*>& instruments)
{
    for (MidiInstrument* instrument : instruments) {
        instrument->terminateSafely();
        instrument->wait();
        delete instrument;
    }
}

void QmdKelvoController::stopVoiceGroups(const QList<VoiceGroup*>& voiceGroups)
{
    for (VoiceGroup* group : voiceGroups) {
        group->terminateSafely();
        group->wait();
        delete group;
    }
}

void QmdKelvoController::clearFeedback()
{
    feedbackPipe.clear();
}

void QmdKelvoController::attachListModels()
{
    m_instrumentsModel->setController(this);
    m_scaleModesModel->setController(this);
}
