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
    // The clock goes first: detaching it waits for a MIDI input handler in progress, which may
    // be calling the instruments and voice groups, and no handler calls back afterwards. It is
    // deleted with the other children.
    if (AbstractSync* current = clock.exchange(nullptr))
        current->setController(nullptr);
    // Every voice group has ended before the first instrument is told to stop.
    stopVoiceGroups(takeVoiceGroups(voiceGroupsCopy().keys()));
    stopInstruments(takeInstruments(instrumentsCopy().keys()));
}

AbstractSync* QmdKelvoController::sync() const
{
    return clock.load();
}

namespace {

template<class T>
QHash<QmdItemId, T*> rawCopy(const QHash<QmdItemId, std::shared_ptr<T>>& table)
{
    QHash<QmdItemId, T*> copy;
    copy.reserve(table.size());
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        copy.insert(it.key(), it.value().get());
    return copy;
}

template<class T>
std::vector<std::shared_ptr<T>> deepCopy(const QHash<QmdItemId, std::shared_ptr<T>>& table)
{
    return std::vector<std::shared_ptr<T>>(table.cbegin(), table.cend());
}

} // namespace

std::vector<QmdKelvoController::InstrumentHandle> QmdKelvoController::instrumentHandles() const
{
    const std::shared_lock<std::shared_mutex> locker(instrumentTableLock);
    return deepCopy(instrumentTable);
}

std::vector<QmdKelvoController::VoiceGroupHandle> QmdKelvoController::voiceGroupHandles() const
{
    const ReadLocker locker(this);
    return deepCopy(voiceGroupTable);
}

QHash<QmdItemId, MidiInstrument*> QmdKelvoController::instrumentsCopy() const
{
    const std::shared_lock<std::shared_mutex> locker(instrumentTableLock);
    return rawCopy(instrumentTable);
}

QHash<QmdItemId, VoiceGroup*> QmdKelvoController::voiceGroupsCopy() const
{
    const ReadLocker locker(this);
    return rawCopy(voiceGroupTable);
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
    for (const InstrumentHandle& instrument : instrumentHandles())
        instrument->setSync(next);
    for (const VoiceGroupHandle& group : voiceGroupHandles())
        group->syncSync();
    if (previous) {
        previous->setController(nullptr);
        previous->deleteLater();
    }
}

void QmdKelvoController::reopenMissingPorts()
{
    for (const InstrumentHandle& instrument : instrumentHandles())
        instrument->onInstrumentDataEffected(instrument->id(), {K::MidiPort}, 0);
}

void QmdKelvoController::createInstruments(const QmdItemIdList& ids)
{
    if (!model())
        return;
    const QHash<QmdItemId, MidiInstrument*> existing = instrumentsCopy();
    AbstractSync* current = clock.load();
    QHash<QmdItemId, InstrumentHandle> created;
    QList<MidiInstrument*> order;
    for (QmdItemId id : ids) {
        // One thread per instrument: an id that has one keeps it.
        if (existing.contains(id) || created.contains(id) || !instrumentIndex(id).isValid())
            continue;
        auto* instrument = new MidiInstrument(id);
        instrument->setSync(current);
        instrument->setController(this);
        created.insert(id, InstrumentHandle(instrument));
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
    QHash<QmdItemId, VoiceGroupHandle> created;
    for (QmdItemId id : ids) {
        if (existing.contains(id) || created.contains(id)
            || elementType(id) != QmdKelvo::VoiceGroupElement)
            continue;
        created.insert(id, std::make_shared<VoiceGroup>(id, this));
    }
    // One after another: each runs before the next starts.
    for (QmdItemId id : ids) {
        if (VoiceGroup* group = created.value(id).get()) {
            group->start(QThread::TimeCriticalPriority);
            group->waitUntilStarted();
        }
    }
    const WriteLocker locker(this);
    voiceGroupTable.insert(created);
}

QList<QmdKelvoController::InstrumentHandle>
QmdKelvoController::takeInstruments(const QmdItemIdList& ids)
{
    QList<InstrumentHandle> taken;
    const std::unique_lock<std::shared_mutex> locker(instrumentTableLock);
    for (QmdItemId id : ids) {
        if (InstrumentHandle instrument = instrumentTable.take(id))
            taken.append(std::move(instrument));
    }
    return taken;
}

QList<QmdKelvoController::VoiceGroupHandle>
QmdKelvoController::takeVoiceGroups(const QmdItemIdList& ids)
{
    QList<VoiceGroupHandle> taken;
    const WriteLocker locker(this);
    for (QmdItemId id : ids) {
        if (VoiceGroupHandle group = voiceGroupTable.take(id))
            taken.append(std::move(group));
    }
    return taken;
}

void QmdKelvoController::stopInstruments(QList<InstrumentHandle> instruments)
{
    for (const InstrumentHandle& instrument : std::as_const(instruments)) {
        instrument->terminateSafely();
        instrument->wait();
        disconnect(this, nullptr, instrument.get(), nullptr);
    }
    const std::unique_lock<std::shared_mutex> unused(objectsInUseLock);
    instruments.clear();
}

void QmdKelvoController::stopVoiceGroups(QList<VoiceGroupHandle> voiceGroups)
{
    for (const VoiceGroupHandle& group : std::as_const(voiceGroups)) {
        group->terminateSafely();
        group->wait();
    }
    const std::unique_lock<std::shared_mutex> unused(objectsInUseLock);
    voiceGroups.clear();
}

void QmdKelvoController::clearFeedback()
{
    feedbackPipe.clear();
}

void QmdKelvoController::dropQueuedNotes(const QmdItemIdList& voiceGroups)
{
    const QSet<quint32> sources(voiceGroups.cbegin(), voiceGroups.cend());
    for (const InstrumentHandle& instrument : instrumentHandles())
        instrument->dropQueuedFrom(sources);
}

void QmdKelvoController::attachListModels()
{
    m_instrumentsModel->setController(this);
    m_scaleModesModel->setController(this);
}
