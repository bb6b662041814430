#include "AbstractInstrument.h"

#include "AbstractSync.h"
#include "HostTime.h"
#include "QmdKelvoController.h"

#include <QHash>

#include <limits>

AbstractInstrument::AbstractInstrument(QmdItemId instrumentId)
    : instrumentId(instrumentId)
{
    batch.reserve(MaxBatch);
    pipe.setWakeUp([this] { wakeUp(); });
}

void AbstractInstrument::setController(QmdKelvoController* newController)
{
    if (controller)
        disconnect(controller, nullptr, this, nullptr);
    QmdObserver<QmdKelvoController>::setController(newController);
    if (controller)
        connect(controller, &QmdKelvoController::instrumentDataEffected, this,
                &AbstractInstrument::onInstrumentDataEffected);
    reset();
}

void AbstractInstrument::playMessage(const InstrumentMsg& message)
{
    writeMessages(QVector<InstrumentMsg> {message});
}

void AbstractInstrument::dropQueuedFrom(const QSet<quint32>& sources)
{
    pipe.edit([&sources](QList<InstrumentMsg>& items) {
        // In time order each note-on comes before its note-off: a note-off left unmatched by
        // a note-on still queued ends a note that has begun.
        QHash<quint8, int> unbegun;
        QList<InstrumentMsg> kept;
        kept.reserve(items.size());
        for (InstrumentMsg& m : items) {
            if (!sources.contains(m.source)) {
                kept.append(std::move(m));
            } else if (m.kind == InstrumentMsg::NoteOn) {
                ++unbegun[m.data1];
            } else if (m.kind == InstrumentMsg::NoteOff) {
                int& open = unbegun[m.data1];
                if (open > 0) {
                    --open;
                } else {
                    m.time = 0;
                    kept.append(std::move(m));
                }
            }
        }
        items.swap(kept);
    });
}

void AbstractInstrument::dropPending()
{
    pipe.clear();
}

void AbstractInstrument::reset()
{
    dropPending();
}

void AbstractInstrument::onInstrumentDataEffected(QmdItemId, const QStringList&, QmdRequestId) { }

void AbstractInstrument::iterate()
{
    AbstractSync* clock = sync.load();
    if (!clock) {
        sleepUntilWoken(); // setSync() wakes the thread
        return;
    }
    batch.clear();
    const quint64 now = clock->ticksElapsed();
    const quint64 aheadNs = handOverAheadNs();
    quint64 nowNs = 0;
    const bool hostTimed = clock->hostTimeOfTicks(now, &nowNs);
    // A clock started with a lead stands at its position until its run begins: what is due
    // there waits for that moment (less what the output places ahead).
    if (hostTimed && nowNs > Platform::hostTimeNs() + aheadNs) {
        sleepUntil(nowNs - aheadNs);
        return;
    }
    const bool timed = aheadNs > 0 && hostTimed;
    pipe.tryReadIfReady(batch, MaxBatch, timed ? now + clock->nanosToTicks(aheadNs) : now);
    for (InstrumentMsg& message : batch) {
        if (!timed || !clock->hostTimeOfTicks(message.time, &message.dueNs))
            message.dueNs = 0;
    }
    if (!batch.isEmpty())
        writeMessages(batch);
    // The next pass at once when this one was full.
    if (batch.size() == MaxBatch) {
        sleepUntil(Platform::hostTimeNs());
        return;
    }
    // Armed after the read: an item written since then is in the pipe already and shows as
    // its earliest, and one written later wakes the thread.
    const quint64 next = pipe.armWakeUp();
    quint64 nextNs = 0;
    if (next == std::numeric_limits<quint64>::max())
        sleepUntilWoken(); // until a write
    else if (clock->hostTimeOfTicks(next, &nextNs))
        sleepUntil(nextNs > aheadNs ? nextNs - aheadNs : 1);
    // Otherwise the queued items' host times are not known: the thread polls every `interval`.
}
