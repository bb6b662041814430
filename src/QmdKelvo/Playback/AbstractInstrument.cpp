#include "AbstractInstrument.h"

#include "AbstractSync.h"
#include "QmdKelvoController.h"

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

void AbstractInstrument::reset()
{
    pipe.clear();
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
