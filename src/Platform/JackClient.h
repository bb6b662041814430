#ifndef PLATFORM_JACKCLIENT_H
#define PLATFORM_JACKCLIENT_H

#include <QString>

#include <jack/jack.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Platform {

// A client of the program's on the JACK server: the one called exactly "Kelvo", which holds
// all of its MIDI ports, and the built-in synthesizer's audio output. Each port user registers a
// handler that the client's process callback runs every cycle, inputs before outputs.
//
// The process callback takes no lock: handlers sit in a fixed table of atomic pointers, and
// removing one returns only once no cycle can still be running it.
//
// Every other request to the server goes through one thread of the client's own, one request at
// a time (the JACK library does not keep requests made from several threads at once apart), and
// its caller waits a bounded time: two seconds in which the server runs none of the client's
// cycles when the server's process is seen stopped (a server that hangs), ten in all. A server
// that lets a request go unanswered that long counts as gone, like one that has shut down or
// thrown the client out: nothing more is asked of it. Once closed, the library's client is never
// touched again.
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

    // Told (on any thread but the process thread, never under the client's locks) when the
    // server goes and when ports come or go on it. It may run on a library thread that the
    // library cancels at any point when the client closes, so it takes no lock: a semaphore
    // post, say.
    using Notifier = std::function<void()>;

    // The name of the program's client, which holds its MIDI ports.
    static const char* name() { return "Kelvo"; }

    // Opens and activates a client called exactly `clientName` (or, unless `exactName`, the
    // name the server gives it instead) on the server JACK_DEFAULT_SERVER names, without starting
    // one, on the caller's thread, as long as the server takes. On failure returns null and,
    // when the reason is worth telling the user (the name is taken), says why in `problem`;
    // `nameTaken` tells whether another client has the name.
    static std::shared_ptr<JackClient> openHere(const char* clientName, bool exactName,
                                                QString* problem, const Notifier& notifier,
                                                bool* nameTaken = nullptr);
    // The program's client "Kelvo", waiting a few seconds at most: a server that does not
    // answer is told in `problem`, and a client opened after the wait is closed again.
    static std::shared_ptr<JackClient> open(QString* problem, const Notifier& notifier = {},
                                            bool* nameTaken = nullptr);

    // How many clients of the library these objects hold open in this process now; a client
    // being closed counts until its close returns.
    static int clientsOpen();

    ~JackClient();
    JackClient(const JackClient&) = delete;
    JackClient& operator=(const JackClient&) = delete;

    // The library's client, for what a process callback asks of it; nothing else may use it.
    jack_client_t* processHandle() const { return m_client; }

    // Whether the server has shut down, thrown the client out or stopped answering.
    bool serverGone() const { return m_serverGone.load(); }
    // Counts the server as gone (a request that could not be carried).
    void markServerGone();
    // Whether the server's process can be seen stopped (SIGSTOP, a debugger) or ended: a
    // server that does not answer.
    bool serverHalted() const;
    // Whether it can be seen stopped: a close then waits for it to go on, which nobody should
    // wait for.
    bool serverStopped() const;
    // Closes the client on its request thread, once, after every request asked before; returns
    // at once. From then on nothing of the library's client is used.
    void close();
    // Whether close() has finished: no callback of the client runs any more.
    bool isClosed() const;
    // Waits until close() has finished, `milliseconds` at most.
    bool waitClosed(int milliseconds) const;

    // Cycles the process callback has finished.
    quint64 cycles() const { return m_cyclesEnded.load(); }
    // How many times ports have been registered or unregistered on the server.
    quint64 portChanges() const { return m_portChanges.load(); }
    // How many times the server has told of a cycle not finished in time (an xrun): one in
    // which a reader of the client's ports may have missed what they held.
    quint64 xruns() const { return m_xruns.load(std::memory_order_relaxed); }
    // The server's period and sample rate.
    jack_nframes_t bufferSize() const { return m_bufferSize.load(); }
    jack_nframes_t sampleRate() const { return m_sampleRate.load(); }

    // Returns false when the table is full.
    bool addHandler(Handler* handler, bool input);
    // Returns once no process cycle runs `handler`; false when that could not be seen within
    // half a second, in which case the caller must not free what the handler uses.
    bool removeHandler(Handler* handler);

    // Registers a port of `type` (`flags` JackPortIsInput or JackPortIsOutput) named `name`,
    // cut to what the server accepts, and gives its full name. A port of that name may still be
    // going: it is waited for a little, then the new port takes the name with a number. Null
    // when no port could be made.
    jack_port_t* registerPort(const std::string& name, const char* type, unsigned long flags,
                              std::string* fullName);
    jack_port_t* registerMidiPort(const std::string& name, unsigned long flags,
                                  std::string* fullName)
    {
        return registerPort(name, JACK_DEFAULT_MIDI_TYPE, flags, fullName);
    }
    // Returns once the server has taken a change of connections made before the call into its
    // graph (two cycles later), or once the wait is stalled too long.
    void awaitGraphChange() const;
    // The longest a wait for this client's cycles goes on without one (see CycleWait).
    static std::chrono::nanoseconds longestStall();

    // A wait for cycles of the client, which `cycles` counts. waiting() is false once the wait
    // should end: the server has gone, `deadline` has passed, or no cycle has come for too long
    // (waitForCycles(2) when the server can be seen halted or runs no cycles of ours, else
    // longestStall(), since a busy machine may keep the thread the server woke for a cycle from
    // running for many periods while the server runs on); else it pauses a little and is true.
    class CycleWait
    {
    public:
        CycleWait(const JackClient& client, const std::atomic<quint64>& cycles,
                  std::chrono::steady_clock::time_point deadline
                  = std::chrono::steady_clock::time_point::max());
        bool waiting();

    private:
        const JackClient& m_client;
        const std::atomic<quint64>& m_cycles;
        const std::chrono::steady_clock::time_point m_deadline;
        quint64 m_seen;
        std::chrono::steady_clock::time_point m_lastCycle;
    };

    // Requests about this client's ports. Never called on the process thread. False when the
    // server refused or has gone.
    bool connectPorts(const std::string& source, const std::string& destination);
    bool disconnectPort(jack_port_t* port);
    bool renamePort(jack_port_t* port, const std::string& name);
    void unregisterPort(jack_port_t* port);
    // How many connections the port has; 0 when the server has gone.
    int connectionCount(jack_port_t* port);
    // The full names of the server's ports of `type` with `flags`, in the server's order; empty
    // when the server has gone.
    std::vector<std::string> ports(const char* type, unsigned long flags);
    std::vector<std::string> midiPorts(unsigned long flags)
    {
        return ports(JACK_DEFAULT_MIDI_TYPE, flags);
    }

    // The client's name, as the server gave it.
    const std::string& clientName() const { return m_name; }
    // The longest port name (after the client's name and colon) the server accepts.
    std::size_t maxPortNameLength() const;

    // The socket on which the server JACK_DEFAULT_SERVER names (else "default") takes clients,
    // as the JACK library names it.
    static QString serverSocketPath();

private:
    struct Requests;

    JackClient(jack_client_t* client, Notifier notifier);
    // How long `count` of the server's cycles take, with room for a server that is late.
    std::chrono::nanoseconds waitForCycles(int count) const;
    static std::shared_ptr<JackClient> activate(jack_client_t* handle, const Notifier& notifier,
                                                QString* problem);
    // Runs `request` on the request thread and waits for it within the bounds above; false when
    // it could not be carried. What the request touches it holds itself: a request given up may
    // still run after its caller has gone.
    bool call(std::function<void(jack_client_t*)> request);
    // call() for a request with a result, which `result` receives when it was carried.
    template<class Result, class Request>
    bool ask(Request request, Result* result)
    {
        auto answer = std::make_shared<Result>();
        if (!call([request, answer](jack_client_t* c) { *answer = request(c); }))
            return false;
        *result = std::move(*answer);
        return true;
    }
    void notify() const;
    static int process(jack_nframes_t frames, void* self);
    // Waits a little for the notification thread of a client whose server has ended to tell of
    // it and end.
    void awaitNotificationThread() const;
    static void shutDown(void* self);
    static void portRegistered(jack_port_id_t, int, void* self);
    static int bufferSizeChanged(jack_nframes_t frames, void* self);
    static int sampleRateChanged(jack_nframes_t rate, void* self);
    static int xrunOccurred(void* self);
    // The shared pointer's deleter: closes the client, a couple of seconds at most, then
    // deletes it; a client the server does not let go is left as it is.
    static void release(JackClient* client);

    static constexpr int maxHandlers = 512;

    jack_client_t* const m_client;
    const std::string m_name;
    const pid_t m_serverPid; // 0 when unknown
    const Notifier m_notifier;
    std::shared_ptr<Requests> m_requests;
    std::atomic<Handler*> m_handlers[maxHandlers];
    std::atomic<bool> m_isInput[maxHandlers];
    std::atomic<int> m_used {0}; // slots below this may hold a handler
    std::mutex m_tableMutex; // serialises adding and removing
    std::atomic<quint64> m_cyclesBegun {0};
    std::atomic<quint64> m_cyclesEnded {0};
    std::atomic<quint64> m_portChanges {0};
    std::atomic<quint64> m_xruns {0};
    std::atomic<jack_nframes_t> m_bufferSize {0};
    std::atomic<jack_nframes_t> m_sampleRate {0};
    std::atomic<bool> m_serverGone {false};
    // The library's notification thread, once a callback has run on it.
    std::atomic<pid_t> m_notificationThread {0};
    std::atomic<bool> m_toldGone {false}; // the notification thread told of the server's end
    std::atomic<bool> m_closing {false};
    std::atomic<bool> m_active {false}; // activated: the server runs its cycles
};

} // namespace Platform

#endif // PLATFORM_JACKCLIENT_H
