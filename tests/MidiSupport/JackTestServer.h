#ifndef JACKTESTSERVER_H
#define JACKTESTSERVER_H

#include <QString>

#include <sys/types.h>

// A JACK server with the dummy driver for one test program: started under the first test server
// name ("kelvo-test-0" to "kelvo-test-7") that no other test program has claimed, so that it
// never meets the user's server or another test run's, awaited until clients can connect, and
// stopped again.
// While it runs, the program's JACK clients (JACK_DEFAULT_SERVER) and Kelvo's MIDI layer
// (KELVO_MIDI_API=jack) use it.
//
// A test that needs it calls start() in initTestCase() and fails when it returns false.
// The server is started with posix_spawn rather than fork, which ThreadSanitizer does not allow
// once threads run.
class JackTestServer
{
public:
    JackTestServer();
    ~JackTestServer();
    JackTestServer(const JackTestServer&) = delete;
    JackTestServer& operator=(const JackTestServer&) = delete;

    // Starts the server and waits up to 10 seconds for it to accept a client. On failure,
    // `error` says why (with the server's own output) and nothing is left running.
    bool start(QString* error);
    // The frames of a server period (128 unless set), for the next start.
    void setPeriod(int frames) { m_period = frames; }
    int period() const { return m_period; }
    // Whether the server waits for every client's cycle (true unless set), for the next start.
    // Without, as JACK servers usually run, a cycle that a reader does not finish in time is
    // skipped for it: it misses what the ports it reads held then.
    void setSynchronous(bool synchronous) { m_synchronous = synchronous; }
    // Stops the server, and has the program's MIDI layer choose its MIDI system afresh.
    void stop();
    // Stops the server as if it had died: the program's MIDI layer is left as it is, and goes
    // on looking for a server of that name. The name stays claimed until restart() or stop(),
    // so that no other test program's server starts under it meanwhile: the program would take
    // the name of Kelvo's client there.
    void stopServer();
    // Sends `signal` to the server itself: SIGKILL to kill it, SIGSTOP to freeze it (a server
    // that hangs), SIGCONT to let it go on. False when it does not run.
    bool signalServer(int signal);
    // Starts a server under the same name again, once the last one has ended (see start()),
    // and once the program's MIDI layer has closed its clients of the last one. The test's own
    // JACK clients must all be closed first: the JACK library frees them when the process opens
    // a client after their server died.
    bool restart(QString* error);

    bool isRunning() const;
    // How many cycles the server has reported running late so far (its XRun messages).
    int lateCycles() const;
    QString name() const { return m_name; }

private:
    bool startServer(QString* error);
    // The server's process (a child of the shell that stands beside it); 0 when none runs.
    pid_t serverPid() const;
    bool acceptsClients() const;
    // Gives up the claim on the server name.
    void release();

    QString m_name;
    QString m_logFile; // the server's output
    pid_t m_pid = 0;
    int m_period = 128;
    bool m_synchronous = true;
    int m_claim = -1; // the locked file that claims the server name
};

#endif // JACKTESTSERVER_H
