#include "MidiInstrument.h"

#include "AbstractSync.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"

#include <algorithm>

namespace {

quint8 dataByte(int value)
{
    return quint8(std::clamp(value, 0, 127));
}

const QmdRequestId AllKeys = 0xFFFFFFFF;

} // namespace

MidiInstrument::MidiInstrument(QmdItemId instrumentId)
    : AbstractInstrument(instrumentId)
{ }

MidiInstrument::~MidiInstrument()
{
    stopThread();
    releaseHeldNotes();
    closePort();
}

QString MidiInstrument::staticTypeId()
{
    return QStringLiteral("midi");
}

QString MidiInstrument::staticTypeName()
{
    return tr("MIDI");
}

void MidiInstrument::dropPending()
{
    AbstractInstrument::dropPending();
    // The note-offs of the notes sounding went with the pipe.
    releaseHeldNotes();
}

void MidiInstrument::reset()
{
    dropPending();
    using namespace QmdKelvoKeys;
    onInstrumentDataEffected(
        instrumentId,
        {MidiBankLSB, MidiBankMSB, MidiChannels, MidiDoProgramChange, MidiPort, MidiProgram},
        AllKeys);
}

void MidiInstrument::play()
{
    AbstractInstrument::play();
    using namespace QmdKelvoKeys;
    onInstrumentDataEffected(instrumentId,
                             {MidiBankLSB, MidiBankMSB, MidiDoProgramChange, MidiProgram}, AllKeys);
}

void MidiInstrument::pauseAndWait()
{
    AbstractInstrument::pauseAndWait();
    releaseHeldNotes();
}

QString MidiInstrument::portToOpen()
{
    const QString stored
        = controller->data(QmdKelvoKeys::MidiPort, controller->instrumentIndex(instrumentId))
              .toString();
    if (!stored.isEmpty() && stored == port())
        return stored;
    QString name = stored;
    if (name.isEmpty() || !MidiOutput::ports().contains(name))
        name = QmdKelvoKeys::synthesizerPortName();
    // Written back only when it changes: while the synthesizer's port is missing too, writing
    // the same name again would announce a change of "MidiPort" that comes back here for ever.
    if (name != stored) {
        controller->requestSetData(QmdKelvoKeys::MidiPort, name,
                                   controller->instrumentIndex(instrumentId),
                                   QmdRequestOptions(Qmd::NotUndoable, QString()));
    }
    return name;
}

void MidiInstrument::onInstrumentDataEffected(QmdItemId instrument, const QStringList& keys,
                                              QmdRequestId)
{
    if (!controller || instrument != instrumentId)
        return;
    using namespace QmdKelvoKeys;
    const QmdIndex index = controller->instrumentIndex(instrumentId);
    bool outputChanged = false;

    // The port open already stays open when the instrument names it still (a reset, or the
    // echo of a name written back): reopening would replace its connection to the MIDI system.
    const QString name = keys.contains(MidiPort) ? portToOpen() : QString();
    if (!name.isEmpty() && name != port()) {
        // Out of the pass while the port changes, so that no batch meets a closed port;
        // closing switches off the notes sounding on the old port.
        const bool running = currentState() == Running;
        if (running)
            AbstractOutputThread::pauseAndWait();
        closePort();
        openPort(name);
        if (running)
            AbstractOutputThread::play();
        outputChanged = true;
    }
    if (keys.contains(MidiChannels)) {
        // Notes sounding are switched off on the old channels.
        setChannels(controller->data(MidiChannels, index).toBitArray());
        outputChanged = true;
    }

    if (!controller->data(MidiDoProgramChange, index).toBool())
        return;
    if (!outputChanged && !keys.contains(MidiDoProgramChange) && !keys.contains(MidiProgram)
        && !keys.contains(MidiBankMSB) && !keys.contains(MidiBankLSB))
        return;

    InstrumentMsg message;
    message.kind = InstrumentMsg::ProgramChange;
    AbstractSync* clock = sync.load();
    message.time = clock ? clock->ticksElapsed() : 0;
    message.program = dataByte(controller->data(MidiProgram, index).toInt() - 1);
    message.data1 = dataByte(controller->data(MidiBankMSB, index).toInt());
    message.data2 = dataByte(controller->data(MidiBankLSB, index).toInt());
    // Notes sounding with the old program are switched off before the change.
    releaseHeldNotes();
    playMessage(message);
}

void MidiInstrument::writeMessages(const QVector<InstrumentMsg>& batch)
{
    if (write(batch))
        return;
    const QString failed = port();
    pauseAndWait();
    closePort();
    // The document falls back to the built-in synthesizer, which the change of "MidiPort"
    // opens. When no port was open, or the synthesizer itself failed, there is nothing to fall
    // back to: writing the port again would only bounce between the two names for ever.
    if (failed.isEmpty() || failed == QmdKelvoKeys::synthesizerPortName())
        return;
    if (controller && instrumentId != 0)
        controller->requestSetData(QmdKelvoKeys::MidiPort, QString(),
                                   controller->instrumentIndex(instrumentId),
                                   QmdRequestOptions(Qmd::NotUndoable, QString()));
}
