#ifndef MIDIOUTPUTSYNCCLOCK_H
#define MIDIOUTPUTSYNCCLOCK_H

#include "AbstractOutputThread.h"
#include "MidiOutput.h"

#include <QMutex>

#include <vector>

// Sends MIDI clock to one output port: 24 timing clocks per beat while the transport runs,
// a Stop when it stops and Song Position Pointer 0 when it is reset. The transport clock
// (MidiSync) owns it, sends Start or Continue and the first clock of every run itself, and
// sets its polling interval from the tempo.
//
// Each clock carries the host time it is due at. On a port that places messages at their time
// (JACK) the thread does not poll: it sleeps until the next clock is due, and the clock lands at
// its frame. A clock is never handed over before it is due, so that none goes out after a stop
// that came first.
class MidiOutputSyncClock : public AbstractOutputThread, public MidiOutput
{
public:
    explicit MidiOutputSyncClock(QObject* parent = nullptr);
    ~MidiOutputSyncClock() override;

    // Sends the clocks still due, then a Stop.
    void pauseAndWait() override;
    // Counts from 0 again and sends Song Position Pointer 0.
    void reset();
    // The clocks sent so far count as those of a run that has reached `pulses`, so that an
    // output added while the transport runs does not send the clocks of the time already played.
    void startCountingAt(quint64 pulses);
    quint64 sentClocks() const;
    // Sends `bytes` as one message, due at host time `dueNs` (0: at once); a failed write
    // pauses the thread and closes the port.
    bool safeWrite(const std::vector<uchar>& bytes, quint64 dueNs = 0);
    // Sends the timing clocks that have come due, at most `max`.
    void directEmitClocksDiff(quint64 max = 10);

protected:
    void iterate() override;

private:
    mutable QMutex countMutex; // guards sentClockCount; never held while waiting on the thread
    quint64 sentClockCount = 0;
};

#endif // MIDIOUTPUTSYNCCLOCK_H
