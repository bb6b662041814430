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
// Each clock carries the host time it is due at. While the transport clock keeps host time the
// thread does not poll: it sleeps until the next clock is due and sends it then; on a port that
// places messages at their time a constant latency later (JACK) it hands each clock over that
// latency ahead, and the clock lands at its frame. Otherwise (a clock driven by hand) it polls
// at its interval, a fraction of a clock's period.
// A clock handed over counts as sent: a stop does not take back those handed over for the time
// after it (up to one latency's worth), since whether one has gone out already cannot be told,
// and one counted wrongly would be sent twice, or never, in the next run. They go out before
// the Stop.
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
    // Sends the timing clocks that have come due, at most `max`; with `aheadNs`, those that
    // will have come due that much later.
    void directEmitClocksDiff(quint64 max = 10, quint64 aheadNs = 0);

protected:
    void iterate() override;

private:
    mutable QMutex countMutex; // guards the count; never held while waiting on the thread
    quint64 sentClockCount = 0;
};

#endif // MIDIOUTPUTSYNCCLOCK_H
