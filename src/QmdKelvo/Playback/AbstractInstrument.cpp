#include "AbstractInstrument.h"

#include "AbstractSync.h"
#include "QmdKelvoController.h"

#include <QHash>

AbstractInstrument::AbstractInstrument(QmdItemId instrumentId)
    : instrumentId(instrumentId)
{
    batch.reserve(MaxBatch);
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
    if (!clock)
        return;
    batch.clear();
    pipe.tryReadIfReady(batch, MaxBatch, clock->ticksElapsed());
    if (!batch.isEmpty())
        writeMessages(batch);
}
