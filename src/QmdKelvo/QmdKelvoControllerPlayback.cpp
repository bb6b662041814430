// Playback of QmdKelvoController: the transport clock and the instruments' output threads,
// as the voice groups reach them.

#include "QmdKelvoController.h"

#include "AbstractSync.h"
#include "MidiInstrument.h"
#include "MidiSync.h"
#include "QmdKelvoKeys.h"

#include <QReadLocker>
#include <QWriteLocker>

namespace K = QmdKelvoKeys;

bool QmdKelvoController::tryWriteToInstrument(QmdItemId instrument, const InstrumentMsg& msg)
{
    const QReadLocker locker(&instrumentTableLock);
    MidiInstrument* thread = instrumentTable.value(instrument);
    return thread && thread->pipe.tryWrite(msg);
}

bool QmdKelvoController::tryWriteToInstrument(QmdItemId instrument, const InstrumentMsg& first,
                                              const InstrumentMsg& second)
{
    const QReadLocker locker(&instrumentTableLock);
    MidiInstrument* thread = instrumentTable.value(instrument);
    return thread && thread->pipe.tryWrite(first, second);
}

void QmdKelvoController::recreateSync()
{
    AbstractSync* previous = clock.load();
    AbstractSync* created = nullptr;
    {
        const WriteLocker locker(this);
        created = createSync(directData(K::SyncType, QmdIndex()).toString(), this);
        if (!created)
            created = new MidiSync(this);
    }
    clock.store(created);
    created->setController(this);
    for (MidiInstrument* instrument : instrumentsCopy())
        instrument->setSync(created);
    if (previous) {
        previous->setController(nullptr);
        previous->deleteLater();
    }
}

void QmdKelvoController::createInstruments(const QmdItemIdList& ids)
{
    QHash<QmdItemId, MidiInstrument*> created;
    for (QmdItemId id : ids) {
        if (created.contains(id) || instrumentsCopy().contains(id))
            continue;
        auto* instrument = new MidiInstrument(id);
        instrument->setSync(clock.load());
        instrument->setController(this);
        created.insert(id, instrument);
    }
    const bool playing = clock.load() && clock.load()->isPlaying();
    for (MidiInstrument* instrument : std::as_const(created)) {
        instrument->start(QThread::TimeCriticalPriority);
        if (playing)
            instrument->play();
    }
    const QWriteLocker locker(&instrumentTableLock);
    instrumentTable.insert(created);
}

QHash<QmdItemId, MidiInstrument*> QmdKelvoController::instrumentsCopy() const
{
    const QReadLocker locker(&instrumentTableLock);
    return instrumentTable;
}

void QmdKelvoController::deleteInstruments()
{
    QHash<QmdItemId, MidiInstrument*> instruments;
    {
        const QWriteLocker locker(&instrumentTableLock);
        instruments.swap(instrumentTable);
    }
    for (MidiInstrument* instrument : std::as_const(instruments)) {
        instrument->terminateSafely();
        instrument->wait();
        delete instrument;
    }
}
