// Playback of QmdKelvoController: the instruments' pipes, as the voice groups reach them.

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
