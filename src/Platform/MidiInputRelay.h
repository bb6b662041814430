#ifndef PLATFORM_MIDIINPUTRELAY_H
#define PLATFORM_MIDIINPUTRELAY_H

#include <QtGlobal>

#include "SystemMidiInput.h"

#include <memory>
#include <thread>
#include <vector>

namespace Platform {

// Brings the messages of one library input object to a callback of the program's own, stamped
// with the host time of their arrival.
//
// JACK delivers input on its real-time process thread, where nothing may block, so there a
// message only goes into a lock-free ring buffer and a semaphore is posted; a thread of ours
// takes it from there and runs the callback. ALSA's input thread could run the callback itself,
// but it goes the same way, so that both systems share one tested path and a callback may
// close the port it is called for. The callback may take locks.
//
// The relay is made with its system input object, right after the object, and stays attached
// to it until attach() gives it another (the port made again on a new JACK server) or none: it
// must be destroyed only after every object it was attached to has been closed and deleted,
// since the system may call into it until then. A relay without a system object serves a port
// of the program's own that only the program sends to (deliver()).
class MidiInputRelay
{
public:
    typedef void (*Callback)(double deltaTime, const std::vector<unsigned char>& bytes,
                             quint64 hostTimeNs, void* userData);

    explicit MidiInputRelay(SystemMidiInput* midi);
    ~MidiInputRelay();
    MidiInputRelay(const MidiInputRelay&) = delete;
    MidiInputRelay& operator=(const MidiInputRelay&) = delete;

    // Sets or replaces the callback; messages that arrive while none is set are dropped.
    void setCallback(Callback callback, void* userData);
    void cancelCallback();
    // Returns once no callback of this relay is running on another thread (immediately on the
    // delivering thread itself). Callers hold none of the locks the callback takes.
    void waitForDelivery();

    // Which messages are dropped: on the system object, and on those deliver() brings.
    void setIgnoreTypes(bool sysex, bool timing, bool sensing);
    // Serves `midi` (made by MidiSystem, not yet open; null for none) from now on, with the
    // ignored types as they are. The object served before must no longer call in, nor the new
    // one's messages be wanted from a second thread at once: the ring has one writer. Callers
    // serialise this with setIgnoreTypes.
    void attach(SystemMidiInput* midi);
    // Runs the callback for one message from inside the program, on the caller's thread, at
    // once; callers on several threads take turns.
    void deliver(const unsigned char* bytes, std::size_t size);

    // Messages the ring buffer had no room for.
    quint64 droppedCount() const;

private:
    // Shared with the relay's thread, which may outlive the relay when a callback destroys it.
    struct State;

    static void receive(double deltaTime, const unsigned char* bytes, std::size_t size,
                        void* userData);
    static void run(std::shared_ptr<State> state);

    SystemMidiInput* m_midi;
    std::shared_ptr<State> m_state;
    std::thread m_thread;
};

} // namespace Platform

#endif // PLATFORM_MIDIINPUTRELAY_H
