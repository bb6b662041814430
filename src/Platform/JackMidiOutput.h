#ifndef PLATFORM_JACKMIDIOUTPUT_H
#define PLATFORM_JACKMIDIOUTPUT_H

#include "JackClient.h"
#include "SystemMidiOutput.h"

#include <boost/lockfree/spsc_queue.hpp>
#include <jack/jack.h>

#include <atomic>
#include <memory>
#include <vector>

namespace Platform {

// A MIDI output on JACK: one port of the program's client (JackClient).
//
// Each message is placed at the frame of its due time plus one server period, a latency the
// same for every message: the frame jack_get_cycle_times() gives for that time, within the
// cycle being processed and in time order. A message handed over too late for its frame goes
// at offset 0 of the next cycle; one due "as soon as possible" too.
//
// Messages go from the sending thread to JACK's process thread through a lock-free ring; the
// process callback keeps those due in a later cycle in storage of its own, made beforehand, and
// never takes a lock, allocates or waits. Closing takes the port out of the client's cycles,
// which returns only once no process cycle runs it, before the port goes; when the server hangs
// so that this cannot be seen, the object is never deleted (see canDelete).
//
// A reader of the port may miss a cycle's events when the server does not finish the cycle in
// time (an xrun). A few cycles after the last one, the note-offs written lately, of keys not
// struck again since, go again at the start of a cycle, with release velocity 64: a note-off
// twice is harmless, a note-off lost leaves a note sounding.
class JackMidiOutput : public SystemMidiOutput, private JackClient::Handler
{
public:
    explicit JackMidiOutput(std::shared_ptr<JackClient> client);
    ~JackMidiOutput() override;

    bool isJack() const override { return true; }
    void openPort(const std::string& target, const std::string& portName) override;
    void openVirtualPort(const std::string& portName) override;
    void closePort() override;
    void setPortName(const std::string& portName) override;
    // Held back until flush(), or until a sixteenth of the ring is waiting. A due time more than
    // a second ahead counts as a second ahead. Once the server has gone, what is sent is
    // dropped.
    void send(const unsigned char* bytes, std::size_t size, quint64 dueNs, Writer writer) override;
    // Waits while the ring is full, a fifth of a second at most, then throws; drops what was
    // held back once the server has gone.
    void flush() override;
    // Handed to the process callback in line with the messages: what the writer sent before is
    // dropped there unless it has gone out.
    void takeBack(Writer writer, quint64 afterNs) override;
    // One server period.
    quint64 latencyNs() const override { return m_periodNs.load(); }
    bool canDelete() const override { return !m_stuck; }

private:
    // Before a message's bytes in the ring; with no bytes, a writer's taking back.
    struct Header
    {
        quint64 dueNs; // of a taking back: the time after which the writer's messages go
        Writer writer;
        quint32 size;
    };
    // A message taken from the ring, waiting for its cycle.
    struct Pending
    {
        quint64 dueNs;
        Writer writer;
        quint32 offset; // of its bytes in the current store
        quint32 size;
    };

    void updatePeriod(jack_nframes_t frames, jack_nframes_t rate);
    // The process callback and its parts.
    void process(jack_nframes_t frames) override;
    void takeFromRing();
    void dropPending(Writer writer, quint64 afterNs);
    // Waits until the ring has room for `bytes`, a fifth of a second at most, then throws;
    // false at once when the server has gone.
    bool waitForRoom(std::size_t bytes);
    void writeDue(void* buffer, jack_nframes_t frames);
    // Keeps which note a message written ends or begins, for repeatRecentNoteOffs.
    void noteWritten(const unsigned char* bytes, quint32 size);
    void repeatRecentNoteOffs(void* buffer);
    // Waits until what was sent has gone out: a second and the cycles after at most, and no
    // longer than the server runs no cycle of ours.
    void drain();
    // Registers the port and adds it to the client's cycles.
    void registerPort(const std::string& portName);

    std::shared_ptr<JackClient> m_jack;
    jack_client_t* m_client = nullptr; // for the process callback only
    std::atomic<jack_port_t*> m_port {nullptr};
    std::string m_portName; // the port's full name; touched only by the callers
    bool m_stuck = false; // a cycle may still run the port; touched only by the callers
    std::atomic<quint64> m_periodNs {0};
    std::atomic<jack_nframes_t> m_periodFrames {0};
    std::atomic<jack_nframes_t> m_sampleRate {0};
    std::atomic<quint64> m_cycles {0}; // process cycles run with the port
    std::atomic<quint32> m_pendingCount {0}; // as the last cycle left it

    // Written by the sender, read by the process callback only.
    boost::lockfree::spsc_queue<unsigned char> m_ring;
    // The sender's: headers and bytes that send() held back.
    std::vector<unsigned char> m_held;

    // The process callback's own: a header taken from the ring whose bytes are still to come,
    // and the messages due in a later cycle, in order of due time (equal times in the order
    // they came), their bytes in one of two stores that take turns.
    Header m_carried {};
    bool m_carrying = false;
    std::unique_ptr<Pending[]> m_pending;
    quint32 m_pendingSize = 0;
    std::unique_ptr<unsigned char[]> m_stores[2];
    int m_store = 0;
    quint32 m_storeUsed = 0;
    // Of each key (channel * 128 + pitch) the cycle, counted from 1, in which its last note-off
    // was written; 0 while it sounds or when none was.
    std::unique_ptr<quint64[]> m_keyEndedIn;
    quint64 m_cycle = 0; // the cycle being run, counted from 1
    quint64 m_xrunsSeen = 0;
    quint64 m_repeatInCycle = 0; // 0: no xrun to repeat note-offs for
};

} // namespace Platform

#endif // PLATFORM_JACKMIDIOUTPUT_H
