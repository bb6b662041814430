#ifndef PLATFORM_JACKLISTENER_H
#define PLATFORM_JACKLISTENER_H

#include <functional>

namespace Platform {

// Something of the program's that uses its JACK client or holds a JACK client of its own, and
// follows the JACK server as it goes and comes back (MidiSystem::addJackListener). Called on the
// thread that watches the server, one call at a time; a call must not block for long, nor add
// or remove listeners.
class JackListener
{
public:
    virtual ~JackListener() = default;
    // The server has gone. Let go now of everything that uses the program's client, which
    // closes right after; what must still be closed (a JACK client of the listener's own, say)
    // is given back as a closer, run after this call and outside it, before the program's
    // client closes. A closer may block on a server that hangs.
    virtual std::function<void()> jackServerGone() { return {}; }
    // The program's client is open on a server that runs: after start-up, or again after the
    // server went. Told again, it changes nothing.
    virtual void jackClientOpened() { }
    // Ports came or went on the server (or, on ALSA, on the sequencer:
    // JackSession::tellPortsChanged).
    virtual void jackPortsChanged() { }
};

} // namespace Platform

#endif // PLATFORM_JACKLISTENER_H
