#ifndef FRAMERECORDER_H
#define FRAMERECORDER_H

#include <QByteArray>
#include <QList>
#include <QString>

#include <boost/lockfree/spsc_queue.hpp>
#include <jack/jack.h>

#include <atomic>

// Another program on the test's JACK server that records the MIDI reaching its input port
// "record" by frame, as JACK delivers it: each event with its offset in the cycle and the
// cycle's start and length on JACK's clock, so that a test can tell where in a cycle a message
// was placed and what host time that frame stands for. Note-offs repeated after a late cycle
// (RepeatedNoteOff.h) are left out unless asked for.
class FrameRecorder
{
public:
    struct Event
    {
        QByteArray bytes;
        jack_nframes_t frame = 0; // the server's frame count at the event
        jack_nframes_t offset = 0; // in its cycle
        jack_nframes_t cycleFrames = 0;
        // The cycle's start and the next cycle's, on JACK's clock (microseconds), and JACK's
        // clock minus the host clock then.
        jack_time_t cycleStartUs = 0;
        jack_time_t nextCycleUs = 0;
        double jackMinusHostUs = 0;
        // How far the server's clock put the cycle's start after the present when the recorder
        // read it, in microseconds (negative: before, as it should be). After the server ran a
        // cycle late it may run ahead of itself for a while, and a writer that takes its cycle
        // times then finds a message that is on time already late.
        double clockAheadUs = 0;

        // The host time the event's frame stands for, in nanoseconds.
        double hostNs() const;
        // The same, with the cycle taken to have begun when the recorder ran it rather than when
        // the server's clock says: a little late (by what the cycle took to reach the recorder),
        // but right also while the server's clock is astray.
        double presentHostNs() const;
        // hostNs(), or presentHostNs() where the server's clock was further off than a quarter of
        // the cycle.
        double hostNsAsRun() const;
        // Whether the server's clock was so far ahead of itself in the event's cycle (more than
        // half of it) that a message on time could have been taken for late.
        bool clockAhead() const;
        // Where in this event's cycle a message due at host time `dueNs` belongs when it is
        // placed `latencyFrames` later, in frames from the cycle's start (outside 0 ..
        // cycleFrames when it belongs to another cycle).
        double offsetOf(quint64 dueNs, jack_nframes_t latencyFrames) const;
    };

    explicit FrameRecorder(const char* clientName = "Recorder", bool keepRepeats = false);
    ~FrameRecorder();
    FrameRecorder(const FrameRecorder&) = delete;
    FrameRecorder& operator=(const FrameRecorder&) = delete;

    bool isOpen() const { return m_client != nullptr; }
    // The name other programs connect to, as Kelvo lists it ("Recorder:record").
    QString portName() const;
    jack_nframes_t periodFrames() const;
    jack_nframes_t sampleRate() const;
    // Connects the first port whose name ends in ":" + `port` to the recorder's input.
    bool connectFrom(const QString& port);

    // What has arrived so far, without waiting.
    QList<Event> take();
    // What arrives within `timeoutMs`, at least `count` events unless the time runs out.
    QList<Event> receive(int count, int timeoutMs = 3000);
    // Events that did not fit the recorder's queue.
    int dropped() const { return m_dropped.load(); }
    // The cycle in which the recorder next reads a note-on, it takes `periods` server periods
    // longer, as a program the machine keeps waiting would, so that the server does not finish
    // that cycle in time.
    void beLateAfterNextNoteOn(int periods) { m_latePeriods.store(periods); }

private:
    // An event as the process callback stores it: bytes of short messages only.
    struct Stored
    {
        unsigned char bytes[8];
        quint32 size;
        jack_nframes_t frame;
        jack_nframes_t offset;
        jack_nframes_t cycleFrames;
        jack_time_t cycleStartUs;
        jack_time_t nextCycleUs;
        double jackMinusHostUs;
        double clockAheadUs;
    };

    static int process(jack_nframes_t frames, void* self);

    jack_client_t* m_client = nullptr;
    jack_port_t* m_port = nullptr;
    boost::lockfree::spsc_queue<Stored> m_events;
    std::atomic<int> m_dropped {0};
    std::atomic<int> m_latePeriods {0};
    const bool m_keepRepeats;
};

#endif // FRAMERECORDER_H
