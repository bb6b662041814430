#ifndef MIDIINSTRUMENT_H
#define MIDIINSTRUMENT_H

#include "AbstractInstrument.h"
#include "MidiOutput.h"

// An instrument that plays on a MIDI output port, following the instrument's "MidiPort",
// "MidiChannels", "MidiDoProgramChange", "MidiProgram", "MidiBankMSB" and "MidiBankLSB".
class MidiInstrument : public AbstractInstrument, public MidiOutput
{
    Q_OBJECT

public:
    explicit MidiInstrument(QmdItemId instrumentId);
    ~MidiInstrument() override;

    static QString staticTypeId();
    static QString staticTypeName();
    QString typeId() const override { return staticTypeId(); }
    QString typeName() const override { return staticTypeName(); }

    // Drops pending messages and switches off the notes sounding; opens no port and lists
    // none, so it may run while the transport plays.
    void dropPending() override;

public slots:
    // Drops pending messages, switches off the notes sounding and applies all six settings
    // again; the port open stays open while the instrument still names it.
    void reset() override;
    // Sends bank and program again when enabled, then lets the thread run. An instrument that
    // stopped itself first drops what was queued for the time it was stopped.
    void play() override;
    // Pauses the thread, takes back what it handed over ahead for after the clock's stop, then
    // switches off the notes it left sounding.
    void pauseAndWait() override;
    void onInstrumentDataEffected(QmdItemId instrument, const QStringList& keys,
                                  QmdRequestId rid) override;

protected:
    void writeMessages(const QVector<InstrumentMsg>& batch) override;
    quint64 handOverAheadNs() const override { return latencyNs(); }
    // On the thread that follows the system's ports: queue leaveLostPort(), and applyPort()
    // once the stored port is back, on the thread the instrument belongs to (the GUI thread).
    void targetPortLost() override;
    void awaitedPortPresent() override;

private:
    // Opens the stored "MidiPort", or the built-in synthesizer's port in its place while the
    // stored one cannot be opened (missing, gone and awaited by its record, or one of the
    // program's own ports while they are closed); on the synthesizer, the instrument awaits
    // the stored port and opens it once it is there again. The fallback is the instrument's
    // alone: the document keeps the stored name. Returns whether the port changed; the port
    // open already is kept, without listing the ports, while the instrument names it.
    bool applyPort();
    // The port the instrument plays to has gone: it stops, and plays on the built-in
    // synthesizer from the next start. An instrument of no document (the program's thru) and
    // one on the synthesizer keep their port, which is made again once it is back.
    void leaveLostPort();
    // Stops the thread for a port that failed or went; played again with the transport, or
    // once the port is back while the transport plays.
    void stopItself();

    // Set while the instrument has stopped itself while the transport went on: its pipe fills
    // with what it does not send.
    std::atomic<bool> stoppedItself {false};
};

#endif // MIDIINSTRUMENT_H
