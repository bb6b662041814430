#ifndef PLATFORM_JACKSESSION_H
#define PLATFORM_JACKSESSION_H

#include "JackClient.h"
#include "JackListener.h"

#include <QString>

#include <functional>
#include <memory>
#include <thread>

namespace Platform {

// The program's JACK client over the life of the servers it meets, while its MIDI system is
// JACK. A thread of the session's own watches the client: when the server goes (shuts down,
// throws the client out or stops answering) it has every listener let go of what uses the
// client and close the JACK clients of its own, closes the program's client, and from then on
// looks for a server under the same name, cheaply (the server's socket) and never while a
// client of the program's is still allocated (JackClient::clientsOpen): the JACK library frees
// every client of a process that opens one after its server died. Once a server runs again, the
// session opens the program's client there and tells the listeners, which make their ports again.
class JackSession
{
public:
    using Listener = JackListener;

    // Listeners are the process's, whatever session is under way; removing one waits while
    // the session calls it.
    static void addListener(Listener* listener);
    static void removeListener(Listener* listener);
    // Tells every listener that ports came or went: the ALSA sequencer's changes go the same
    // way as the JACK server's.
    static void tellPortsChanged();

    // `beforeClose` runs on the session's thread after the listeners' closers, before the
    // program's client closes.
    explicit JackSession(std::function<void()> beforeClose);
    // Stops the session's thread, waiting a moment at most: a thread held by a server that
    // hangs is left to end by itself.
    ~JackSession();
    JackSession(const JackSession&) = delete;
    JackSession& operator=(const JackSession&) = delete;

    // Opens the program's client, waiting a few seconds at most (see JackClient::open), and
    // starts watching it, or looking for a server when there is none. When another program has
    // the client's name, no client is opened again. Called once.
    void start(QString* problem);

    // The client while it is open on a server that has not gone; null otherwise.
    std::shared_ptr<JackClient> client() const;
    // How many times a server has gone under the session.
    quint64 losses() const;

private:
    struct State;

    static void run(std::shared_ptr<State> state);

    std::shared_ptr<State> m_state;
    std::thread m_thread;
};

} // namespace Platform

#endif // PLATFORM_JACKSESSION_H
