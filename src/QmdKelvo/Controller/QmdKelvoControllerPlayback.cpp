// Playback of QmdKelvoController: the instruments' pipes and the run-time state, as the voice
// groups reach them.

#include "QmdKelvoController.h"

#include "MidiInstrument.h"

#include <shared_mutex>

bool QmdKelvoController::tryWriteToInstrument(QmdItemId instrument, const InstrumentMsg& msg)
{
    const std::shared_lock<std::shared_mutex> locker(instrumentTableLock);
    const auto it = instrumentTable.constFind(instrument);
    return it != instrumentTable.cend() && (*it)->pipe.tryWrite(msg);
}

bool QmdKelvoController::tryWriteToInstrument(QmdItemId instrument, const InstrumentMsg& first,
                                              const InstrumentMsg& second)
{
    const std::shared_lock<std::shared_mutex> locker(instrumentTableLock);
    const auto it = instrumentTable.constFind(instrument);
    return it != instrumentTable.cend() && (*it)->pipe.tryWrite(first, second);
}

QmdRequestId QmdKelvoController::requestSetRunTimeData(const RunTimeValues& values)
{
    if (!model())
        return 0;
    // The lock first, so that the mark is set for this request alone.
    const ReadLocker locker(this);
    runTimeRequestOpen.store(true, std::memory_order_relaxed);
    const QmdRequestId rid = beginRequest(QmdRequestOptions(Qmd::NotUndoable, QString()));
    for (const auto& [container, containerValues] : values) {
        // A lookup that found nothing gives the root's index, which is no place to write.
        if (container != QmdIndex() && directIsContainer(container, Qmd::StrDict))
            directSetData(containerValues, container);
    }
    endRequest(rid);
    runTimeRequestOpen.store(false, std::memory_order_relaxed);
    return rid;
}

void QmdKelvoController::setModel(QmdModel* newModel)
{
    QmdSyncronizedController<QmdElementDocController>::setModel(newModel);
    // Every later change of the model reports itself at once, on the thread that makes it and
    // inside its request: the generation has moved on before the request's lock is free.
    if (newModel) {
        const auto changed = [this] {
            if (!runTimeRequestOpen.load(std::memory_order_relaxed))
                generation.fetch_add(1, std::memory_order_acq_rel);
        };
        using ById = void (QmdModel::*)(const QmdIndex&, const QmdItemIdList&, QmdRequestId);
        using ByKey = void (QmdModel::*)(const QmdIndex&, const QStringList&, QmdRequestId);
        connect(newModel, ById(&QmdModel::itemsChanged), this, changed, Qt::DirectConnection);
        connect(newModel, ByKey(&QmdModel::itemsChanged), this, changed, Qt::DirectConnection);
        connect(newModel, ById(&QmdModel::itemsRemoved), this, changed, Qt::DirectConnection);
        connect(newModel, ByKey(&QmdModel::itemsRemoved), this, changed, Qt::DirectConnection);
        connect(newModel, &QmdModel::rootChanged, this, changed, Qt::DirectConnection);
    }
    generation.fetch_add(1, std::memory_order_acq_rel);
}
