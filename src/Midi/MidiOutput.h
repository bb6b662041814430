#ifndef MIDIOUTPUT_H
#define MIDIOUTPUT_H

#include "InstrumentMsg.h"
#include "MidiIO.h"

#include <QMutex>
#include <QSet>
#include <QVector>

#include <atomic>
#include <deque>

// Sends instrument messages to one named output port, once for every channel selected in the
// channel mask (channels 1 to 16), and remembers the pitches it has left sounding so that they
// are switched off when the port closes, the channels change or the output goes away.
class MidiOutput : public MidiIO<RtMidiOut>
{
public:
    MidiOutput();
    ~MidiOutput() override;

    // Sends the batch in order, not interleaved with other users of the port, each message due
    // at its `dueNs` but never before one this output sent earlier. True when the batch is
    // empty or all of it was sent; false when no port is open or a send failed (the rest of the
    // batch is then dropped).
    bool write(const QVector<InstrumentMsg>& batch);
    bool write(const InstrumentMsg& message);
    // How long after its due time the port places a message (one server period on JACK), so
    // that a message handed over that much ahead sounds at its time; 0 when the port sends each
    // message as it comes, and while no port is open.
    quint64 latencyNs() const;
    // Drops what this output sent due after host time `afterNs` that has not gone out yet (on
    // an output with latency, what was handed over ahead). Which of it had gone out already
    // is not known here, so a pitch counts as held when it may sound: when it was held before
    // a note message taken back or is held after it. A note-off taken back thus counts as not
    // sent, and one for a note whose note-on was taken back ends nothing.
    void takeBack(quint64 afterNs);

    // Sends a note off for every held pitch on the selected channels, due at host time `dueNs`
    // (0: as soon as possible).
    void releaseHeldNotes(quint64 dueNs = 0);
    // The pitches sounding now, as far as this output knows.
    QSet<uchar> notesHeld() const;

    bool closePort() override;
    // Held notes are released on the old channels first, with no batch of another thread
    // between the release and the switch.
    void setChannels(const QBitArray& channels) override;

protected:
    // Nothing this output sent sounds any more: no pitch is held.
    void systemPortLost() override;

private:
    // write() for a caller that holds the record's mutex.
    bool writeLocked(SharedMidi& record, const QVector<InstrumentMsg>& batch);
    QVector<InstrumentMsg> heldNoteOffs() const;

    // A note message sent to a port with latency, which may still be waiting there, and
    // whether its pitch was held before it: what takeBack() accounts for.
    struct SentNote
    {
        quint64 dueNs;
        quint64 forgetAfterNs; // by then it has gone out, whenever it was due
        uchar pitch;
        bool wasHeld;
    };

    QSet<uchar> heldNotes;
    // In the order sent, which is the order of due times and of forgetAfterNs.
    std::deque<SentNote> sentNotes;
    mutable QMutex heldNotesMutex; // guards both; taken inside the port record's mutex
    std::atomic<quint64> lastDueNs {0}; // written under the port record's mutex
};

#endif // MIDIOUTPUT_H
