#ifndef PLATFORM_JACKCLIENT_H
#define PLATFORM_JACKCLIENT_H

#include <QString>

#include <jack/jack.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace Platform {

// The program's one client on the JACK server, called exactly "Kelvo", which holds all of its
// JACK ports: each input and output registers a handler that the client's process callback runs
// every cycle, inputs before outputs.
//
// The process callback takes no lock: handlers sit in a fixed table of atomic pointers, and
// removing one returns only once no cycle can still be running it.
class JackClient
{
public:
    // Runs on JACK's process thread: no lock, no allocation, no wait.
    class Handler
    {
    public:
        virtual ~Handler() = default;
        virtual void process(jack_nframes_t frames) = 0;
    };

    static const char* name() { return "Kelvo"; }

    // Opens and activates the client on the server JACK_DEFAULT_SERVER names, without starting
    // one. On failure returns null and, when the reason is worth telling the user (the name is
    // taken, the server does not answer), says why in `problem`. Waits a few seconds at most.
    static std::shared_ptr<JackClient> open(QString* problem);

    ~JackClient();
    JackClient(const JackClient&) = delete;
    JackClient& operator=(const JackClient&) = delete;

    jack_client_t* handle() const { return m_client; }
    // Whether the server has shut down or thrown the client out.
    bool serverGone() const { return m_serverGone.load(); }
    // Cycles the process callback has finished.
    quint64 cycles() const { return m_cyclesEnded.load(); }

    // Returns false when the table is full.
    bool addHandler(Handler* handler, bool input);
    // Returns once no process cycle runs `handler`; false when that could not be seen within
    // half a second (the server hangs), in which case the caller must not free what the handler
    // uses.
    bool removeHandler(Handler* handler);

    // Registers a MIDI port (`flags` JackPortIsInput or JackPortIsOutput) named `name`, cut to
    // what the server accepts. A port of that name may still be going: it is waited for a
    // little, then the new port takes the name with a number. Null when no port could be made.
    jack_port_t* registerMidiPort(const std::string& name, unsigned long flags);
    // Returns once the server has taken a change of connections made before the call into its
    // graph (two cycles later), a quarter of a second at most.
    void awaitGraphChange() const;

    // Requests to the server about this client's ports, each made under one lock: the JACK
    // library does not keep requests made from several threads at once apart. Never called on
    // the process thread. False when the server refused.
    bool connectPorts(const std::string& source, const std::string& destination);
    bool disconnectPort(jack_port_t* port);
    bool renamePort(jack_port_t* port, const std::string& name);
    // Nothing is asked of a server that has gone.
    void unregisterPort(jack_port_t* port);

    // The longest port name (after "Kelvo:") the server accepts.
    static std::size_t maxPortNameLength();

private:
    explicit JackClient(jack_client_t* client);
    static int process(jack_nframes_t frames, void* self);
    static void shutDown(void* self);
    // Deactivates and closes the client, a couple of seconds at most, then deletes it; a client
    // the server does not let go is left as it is.
    static void release(JackClient* client);

    static constexpr int maxHandlers = 512;

    jack_client_t* m_client;
    std::atomic<Handler*> m_handlers[maxHandlers];
    std::atomic<bool> m_isInput[maxHandlers];
    std::atomic<int> m_used {0}; // slots below this may hold a handler
    std::mutex m_tableMutex; // serialises adding and removing
    std::mutex m_requestMutex; // serialises requests to the server
    std::atomic<quint64> m_cyclesBegun {0};
    std::atomic<quint64> m_cyclesEnded {0};
    std::atomic<bool> m_serverGone {false};
};

} // namespace Platform

#endif // PLATFORM_JACKCLIENT_H
