// The lifecycle of QmdKelvoController and its run-time objects: the transport clock, one output
// thread per instrument and one thread per voice group.
//
// Threads are created and stopped on the controller's (GUI) thread only. A thread that leaves
// a table is stopped, awaited and deleted only once the model lock is free: a running voice
// group may be waiting for that lock in its current step.

#include "QmdKelvoController.h"

#include "QmdKelvoKeys.h"
#include "ScaleKeysModel.h"
#include "ScaleModesModel.h"

// The playback engine's classes, as far as they are part of the build.
#if __has_include("AbstractSync.h") && __has_include("MidiSync.h")
#include "AbstractSync.h"
#include "MidiSync.h"
#define KELVO_HAVE_CLOCK 1
#else
#define KELVO_HAVE_CLOCK 0
#endif
#if __has_include("MidiInstrument.h") && __has_include("InstrumentsModel.h")
#include "InstrumentsModel.h"
#include "MidiInstrument.h"
#define KELVO_HAVE_INSTRUMENTS 1
#else
#define KELVO_HAVE_INSTRUMENTS 0
#endif
#if __has_include("VoiceGroup.h")
#include "VoiceGroup.h"
#define KELVO_HAVE_VOICE_GROUPS 1
#else
#define KELVO_HAVE_VOICE_GROUPS 0
#endif

namespace K = QmdKelvoKeys;

QmdKelvoController::QmdKelvoController(QObject* parent)
    : QmdSyncronizedController<QmdElementDocController>(parent)
{
    builtInScaleModeList();
    QmdKelvo::registerTickPointType();
    qRegisterMetaType<NotesTokenMap>("QmdKelvoController::NotesTokenMap");
#if KELVO_HAVE_INSTRUMENTS
    m_instrumentsModel = new InstrumentsModel(this);
#endif
    m_scaleKeysModel = new ScaleKeysModel(this);
    m_scaleModesModel = new ScaleModesModel(this);
}

QmdKelvoController::~QmdKelvoController()
{
    // Every voice group has ended before the first instrument is told to stop.
    stopVoiceGroups(takeVoiceGroups(voiceGroupsCopy().keys()));
    stopInstruments(takeInstruments(instrumentsCopy().keys()));
#if KELVO_HAVE_CLOCK
    // The clock is deleted with the other children; detached first, so that no MIDI input
    // handler of it calls back into a controller that is going.
    if (AbstractSync* current = clock.exchange(nullptr))
        current->setController(nullptr);
#endif
}

AbstractSync* QmdKelvoController::sync() const
{
    return clock.load();
}

QHash<QmdItemId, MidiInstrument*> QmdKelvoController::instrumentsCopy() const
{
    const QReadLocker locker(&instrumentTableLock);
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
#if KELVO_HAVE_CLOCK
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
#if KELVO_HAVE_INSTRUMENTS
    for (MidiInstrument* instrument : instrumentsCopy())
        instrument->setSync(next);
#endif
#if KELVO_HAVE_VOICE_GROUPS
    for (VoiceGroup* group : voiceGroupsCopy())
        group->syncSync();
#endif
    if (previous) {
        previous->setController(nullptr);
        previous->deleteLater();
    }
#endif
}

void QmdKelvoController::createInstruments(const QmdItemIdList& ids)
{
#if KELVO_HAVE_INSTRUMENTS
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
    const QWriteLocker locker(&instrumentTableLock);
    instrumentTable.insert(created);
#else
    Q_UNUSED(ids);
#endif
}

void QmdKelvoController::createVoiceGroups(const QmdItemIdList& ids)
{
#if KELVO_HAVE_VOICE_GROUPS
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
            group->waitUntilRunning();
        }
    }
    const WriteLocker locker(this);
    voiceGroupTable.insert(created);
#else
    Q_UNUSED(ids);
#endif
}

QList<MidiInstrument*> QmdKelvoController::takeInstruments(const QmdItemIdList& ids)
{
    QList<MidiInstrument*> taken;
    const QWriteLocker locker(&instrumentTableLock);
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
#if KELVO_HAVE_INSTRUMENTS
    for (MidiInstrument* instrument : instruments) {
        instrument->terminateSafely();
        instrument->wait();
        delete instrument;
    }
#else
    Q_ASSERT(instruments.isEmpty());
    Q_UNUSED(instruments);
#endif
}

void QmdKelvoController::stopVoiceGroups(const QList<VoiceGroup*>& voiceGroups)
{
#if KELVO_HAVE_VOICE_GROUPS
    for (VoiceGroup* group : voiceGroups) {
        group->terminateSafely();
        group->wait();
        delete group;
    }
#else
    Q_ASSERT(voiceGroups.isEmpty());
    Q_UNUSED(voiceGroups);
#endif
}

void QmdKelvoController::clearFeedback()
{
#if KELVO_HAVE_VOICE_GROUPS
    feedbackPipe.clear();
#endif
}

void QmdKelvoController::attachListModels()
{
#if KELVO_HAVE_INSTRUMENTS
    m_instrumentsModel->setController(this);
#endif
    m_scaleModesModel->setController(this);
}
