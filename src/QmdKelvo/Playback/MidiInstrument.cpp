#include "MidiInstrument.h"

#include "AbstractSync.h"
#include "HostTime.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"

#include <algorithm>

namespace {

quint8 dataByte(int value)
{
    return quint8(std::clamp(value, 0, 127));
}

const QmdRequestId AllKeys = 0xFFFFFFFF;

// How long after a pause the notes left sounding are switched off.
constexpr quint64 ReleaseDelayNs = 1000000;

} // namespace

MidiInstrument::MidiInstrument(QmdItemId instrumentId)
    : AbstractInstrument(instrumentId)
{ }

MidiInstrument::~MidiInstrument()
{
    stopAwaiting();
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
    // Bank and program go while the thread still rests, so that they reach the port before
    // any note of the start.
    using namespace QmdKelvoKeys;
    if (stoppedItself.exchange(false)) {
        // What the voices sent meanwhile is past: sent now, it would come all at once.
        AbstractSync* clock = sync.load();
        const quint64 now = clock ? clock->ticksElapsed() : 0;
        pipe.edit([now](QList<InstrumentMsg>& items) {
            items.removeIf([now](const InstrumentMsg& m) { return quint64(m.time) < now; });
        });
    }
    onInstrumentDataEffected(instrumentId,
                             {MidiBankLSB, MidiBankMSB, MidiDoProgramChange, MidiProgram}, AllKeys);
    AbstractInstrument::play();
}

void MidiInstrument::pauseAndWait()
{
    AbstractInstrument::pauseAndWait();
    // What was handed over ahead for after the stop would sound after it, its note-on cut
    // short by the note-offs below: it is taken back first.
    quint64 stopNs = 0;
    AbstractSync* clock = sync.load();
    if (!clock || !clock->hostTimeOfStop(&stopNs))
        stopNs = Platform::hostTimeNs();
    takeBack(stopNs);
    // A note handed over late goes at the start of the port's next cycle: its note-off, a
    // millisecond on, still falls in a later frame.
    releaseHeldNotes(Platform::hostTimeNs() + ReleaseDelayNs);
}

bool MidiInstrument::applyPort()
{
    const QString stored
        = controller->data(QmdKelvoKeys::MidiPort, controller->instrumentIndex(instrumentId))
              .toString();
    const QString current = port();
    const QString synthesizer = QmdKelvoKeys::synthesizerPortName();
    // Awaited before it is looked for, so that a port that comes meanwhile is not missed; a
    // call too many finds the port open.
    if (stored.isEmpty() || stored == synthesizer)
        stopAwaiting();
    else
        awaitPort(stored);
    // Reopening would replace the connection to the MIDI system (a reset, say).
    if (!current.isEmpty() && current == stored) {
        stopAwaiting();
        return false;
    }
    // The new port is opened aside first, so that the one open now stays when it is the
    // fallback again; opening it below then shares this connection. A record that waits for
    // the port it led to sends nowhere.
    MidiOutput next;
    QString name = stored;
    if (stored.isEmpty() || !next.openPort(stored) || next.sharedMidi()->waitsForPort()) {
        next.closePort();
        name = synthesizer;
        if (current == name)
            return false;
        next.openPort(name); // when even this fails, the instrument is silent
    } else {
        stopAwaiting();
    }
    // Out of the pass while the port changes, so that no batch meets a closed port; closing
    // switches off the notes sounding on the old port.
    const bool running = currentState() == Running;
    if (running)
        AbstractOutputThread::pauseAndWait();
    closePort();
    if (next.sharedMidi())
        openPort(name);
    if (running)
        AbstractOutputThread::play();
    return true;
}

void MidiInstrument::onInstrumentDataEffected(QmdItemId instrument, const QStringList& keys,
                                              QmdRequestId)
{
    if (!controller || instrument != instrumentId)
        return;
    using namespace QmdKelvoKeys;
    const QmdIndex index = controller->instrumentIndex(instrumentId);
    bool outputChanged = keys.contains(MidiPort) && applyPort();
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
    stopItself();
    closePort();
    // The stored port, or the synthesizer in its place, is opened again on the instrument's
    // own thread; the instrument plays once the transport plays it again. Not when no port
    // was open or the synthesizer itself failed: that would fail for ever.
    if (failed.isEmpty() || failed == QmdKelvoKeys::synthesizerPortName())
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (controller)
                applyPort();
        },
        Qt::QueuedConnection);
}

void MidiInstrument::targetPortLost()
{
    QMetaObject::invokeMethod(
        this, [this] { leaveLostPort(); }, Qt::QueuedConnection);
}

void MidiInstrument::awaitedPortPresent()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!controller)
                return;
            applyPort();
            // Back on its port while the transport plays: it plays on from here.
            AbstractSync* clock = sync.load();
            if (stoppedItself.load() && clock && clock->isPlaying()
                && port()
                    == controller
                           ->data(QmdKelvoKeys::MidiPort, controller->instrumentIndex(instrumentId))
                           .toString())
                play();
        },
        Qt::QueuedConnection);
}

void MidiInstrument::stopItself()
{
    stoppedItself.store(true);
    pauseAndWait();
}

void MidiInstrument::leaveLostPort()
{
    if (!controller || port() == QmdKelvoKeys::synthesizerPortName())
        return;
    // Another port since, or the lost one back already.
    const QSharedPointer<SharedMidi> record = sharedMidi();
    if (!record || !record->waitsForPort())
        return;
    stopItself();
    closePort();
    applyPort();
}
