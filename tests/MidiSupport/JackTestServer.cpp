#include "JackTestServer.h"

#include "JackClient.h"
#include "MidiSystem.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <jack/jack.h>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// JACK keeps a table of eight servers in shared memory. A server that is killed leaves its
// entry behind, and the entry is reclaimed only by a later server of the same name, so the tests
// use a few fixed names (a second run beside this one takes the next free one) rather than a new
// name each time.
const int serverNames = 8;

void quiet(const char*) { }

QString serverName(int slot)
{
    return QStringLiteral("kelvo-test-%1").arg(slot);
}

// Claims a server name for this process with a lock on a file of that name, so that two test
// programs starting at once never both take a name that looked free: the one that lost would
// otherwise find the other's server answering and share it. -1 when another process holds it.
int claimName(const QString& name)
{
    const QByteArray path = QStringLiteral("/tmp/%1.lock").arg(name).toLocal8Bit();
    const int fd = open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Whether any JACK server process runs on this machine.
bool anyJackServerRuns()
{
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& pid : processes) {
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        if (!comm.open(QIODevice::ReadOnly))
            continue;
        const QByteArray name = comm.readAll().trimmed();
        if (name == "jackd" || name == "jackdbus")
            return true;
    }
    return false;
}

// Whether a JACK server process called `name` runs on this machine: one that a run which did not
// end cleanly left behind, perhaps stopped (a test that freezes its server to try a server that
// hangs), so that a client that tried it would wait for an answer for ever.
bool serverProcessRuns(const QString& name)
{
    const QByteArray wanted = name.toLocal8Bit();
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& pid : processes) {
        QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> arguments = file.readAll().split('\0');
        if (arguments.isEmpty() || !arguments.first().endsWith("jackd"))
            continue;
        for (qsizetype i = 1; i + 1 < arguments.size(); ++i) {
            if ((arguments.at(i) == "-n" || arguments.at(i) == "--name")
                && arguments.at(i + 1) == wanted)
                return true;
        }
    }
    return false;
}

// With no server running, the table and semaphores in shared memory belong to nobody: servers
// that were killed left them. Removing them lets the next server start afresh.
void removeStaleJackState()
{
    const QDir shm(QStringLiteral("/dev/shm"));
    const QStringList entries = shm.entryList({QStringLiteral("jack*")}, QDir::Files);
    for (const QString& entry : entries)
        QFile::remove(shm.filePath(entry));
}

} // namespace

JackTestServer::JackTestServer() = default;

JackTestServer::~JackTestServer()
{
    stop();
}

bool JackTestServer::start(QString* error)
{
    stop();
    bool cleaned = false;
    for (int slot = 0; slot < serverNames; ++slot) {
        m_name = serverName(slot);
        m_logFile = QDir::temp().filePath(m_name + QStringLiteral(".log"));
        m_claim = claimName(m_name);
        if (m_claim < 0)
            continue; // another test run's server
        if (serverProcessRuns(m_name) || acceptsClients()) {
            release(); // a server left by a run that did not end cleanly
            continue;
        }
        if (startServer(error))
            return true;
        release();
        if (error->contains(QLatin1String("Too many servers")) && !cleaned
            && !anyJackServerRuns()) {
            removeStaleJackState();
            cleaned = true;
            --slot;
        }
    }
    return false;
}

bool JackTestServer::startServer(QString* error)
{
    qputenv("JACK_DEFAULT_SERVER", m_name.toLocal8Bit());
    qputenv("JACK_NO_AUDIO_RESERVATION", "1");
    qputenv("KELVO_MIDI_API", "jack");

    const QByteArray name = m_name.toLocal8Bit();
    const QByteArray log = m_logFile.toLocal8Bit();
    // A short period (128 frames unless set) keeps the delay through the server to a few
    // milliseconds. Synchronous mode (unless set otherwise) waits for a client that is late
    // under load instead of skipping the cycle, which would lose the MIDI it carried. A shell
    // stays beside the server and stops it when the test program has gone, even when a
    // sanitizer ended the program without its destructors, and also when a test froze it
    // (SIGSTOP) and did not let it go on.
    // A client's request may take long in a sanitizer build on a busy machine: the server waits
    // 10 s for it (500 ms by default, after which libjack takes the server for gone and the
    // client with it).
    const QByteArray script
        = "jackd -n \"$1\" --no-realtime $4 -t 10000 -d dummy -r 48000 -p \"$3\" & server=$!\n"
          "trap 'kill $server; kill -CONT $server; wait $server; exit 0' TERM\n"
          "while kill -0 \"$2\" 2>/dev/null && kill -0 $server 2>/dev/null; do sleep 0.2; done\n"
          "kill $server 2>/dev/null; kill -CONT $server 2>/dev/null; wait $server\n";
    const QByteArray parent = QByteArray::number(QCoreApplication::applicationPid());
    const QByteArray period = QByteArray::number(m_period);
    const char* argv[] = {"sh",
                          "-c",
                          script.constData(),
                          "sh",
                          name.constData(),
                          parent.constData(),
                          period.constData(),
                          m_synchronous ? "-S" : "",
                          nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int failed
        = posix_spawnp(&m_pid, "sh", &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) {
        m_pid = 0;
        *error = QStringLiteral("jackd could not be started: %1").arg(qt_error_string(failed));
        return false;
    }
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = 0;
            break;
        }
        if (acceptsClients())
            return true;
        QThread::msleep(50);
    }
    QFile output(m_logFile);
    output.open(QIODevice::ReadOnly);
    *error = QStringLiteral("the JACK server %1 did not accept clients:\n%2")
                 .arg(m_name, QString::fromLocal8Bit(output.readAll()));
    stop();
    return false;
}

int JackTestServer::lateCycles() const
{
    QFile output(m_logFile);
    if (!output.open(QIODevice::ReadOnly))
        return 0;
    return int(output.readAll().count("XRun"));
}

void JackTestServer::release()
{
    if (m_claim >= 0)
        close(m_claim);
    m_claim = -1;
}

void JackTestServer::stop()
{
    // The program's MIDI layer chooses its MIDI system afresh for the next server. Its client
    // goes first, as when a session ends: one that meets the server's end reports it on its
    // own thread, and libjack reads what other clients' threads wrote without the lock they
    // wrote it under, a race of its own that ThreadSanitizer then reports.
    Platform::MidiSystem::shutDown();
    stopServer();
    release();
    // The name is free for another test program's server now. A MIDI layer that this program
    // starts again before its next server would look for it and take the name of Kelvo's client
    // there, so it is pointed at a server that never runs.
    qputenv("JACK_DEFAULT_SERVER", "kelvo-test-none");
}

void JackTestServer::stopServer()
{
    if (m_pid <= 0)
        return;
    // A frozen server takes no signal but this one.
    const pid_t server = serverPid();
    signalServer(SIGCONT);
    kill(m_pid, SIGTERM);
    // A server told to stop before it ran a cycle after a freeze waits for that cycle, up to
    // a hundred seconds, and the program's clients wait in their requests with it: one that
    // has not ended after a few seconds is killed, which ends every request at once.
    QDeadlineTimer deadline(5000);
    bool killed = false;
    while (waitpid(m_pid, nullptr, WNOHANG) == 0) {
        if (deadline.hasExpired()) {
            if (killed || server <= 0) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, nullptr, 0);
                break;
            }
            kill(server, SIGKILL);
            killed = true;
            deadline.setRemainingTime(5000);
        }
        QThread::msleep(20);
    }
    m_pid = 0;
}

pid_t JackTestServer::serverPid() const
{
    if (m_pid <= 0)
        return 0;
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& pid : processes) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (comm) state ppid ..."
        const QByteArray line = stat.readAll();
        const qsizetype close = line.lastIndexOf(')');
        const QList<QByteArray> rest = line.mid(close + 2).split(' ');
        if (line.contains("(jackd)") && rest.size() > 1 && rest.at(1).toInt() == m_pid)
            return pid_t(pid.toInt());
    }
    return 0;
}

bool JackTestServer::signalServer(int signal)
{
    const pid_t server = serverPid();
    return server > 0 && kill(server, signal) == 0;
}

bool JackTestServer::restart(QString* error)
{
    stopServer();
    // Starting opens a client of this process to see the server answer: the program's own
    // clients of the last server must have closed.
    const QDeadlineTimer closed(30000);
    while (!Platform::MidiSystem::jackClientsClosed() && !closed.hasExpired())
        QThread::msleep(10);
    if (!Platform::MidiSystem::jackClientsClosed()) {
        *error = QStringLiteral("%1 of the program's JACK clients of the last server did not close")
                     .arg(Platform::JackClient::clientsOpen());
        return false;
    }
    if (m_claim < 0)
        m_claim = claimName(m_name);
    if (m_claim < 0) {
        *error = QStringLiteral("the server name %1 is taken").arg(m_name);
        return false;
    }
    return startServer(error);
}

bool JackTestServer::isRunning() const
{
    return m_pid > 0 && acceptsClients();
}

bool JackTestServer::acceptsClients() const
{
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    jack_status_t status {};
    const QByteArray server = m_name.toLocal8Bit();
    jack_client_t* client
        = jack_client_open("kelvo-test-probe", JackOptions(JackNoStartServer | JackServerName),
                           &status, server.constData());
    if (client)
        jack_client_close(client);
    jack_set_error_function(nullptr);
    jack_set_info_function(nullptr);
    return client != nullptr;
}
