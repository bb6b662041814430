#include "JackClient.h"

#include <QCoreApplication>
#include <QFile>
#include <QtGlobal>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace Platform {

namespace {

void quiet(const char*) { }

// Silences the library's messages for the life of the object, so that a machine without a
// JACK server prints nothing.
class QuietLibrary
{
public:
    QuietLibrary()
        : m_error(jack_error_callback)
        , m_info(jack_info_callback)
    {
        jack_set_error_function(quiet);
        jack_set_info_function(quiet);
    }
    ~QuietLibrary()
    {
        jack_set_error_function(m_error);
        jack_set_info_function(m_info);
    }
    QuietLibrary(const QuietLibrary&) = delete;
    QuietLibrary& operator=(const QuietLibrary&) = delete;

private:
    void (*m_error)(const char*);
    void (*m_info)(const char*);
};

// What an open that may outlast its caller's patience leaves behind.
struct Opening
{
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false; // the caller stopped waiting
    jack_client_t* handle = nullptr;
    bool nameTaken = false;
};

// The library clients of the program's JackClients that are open now, the probes included.
std::atomic<int> clientsAllocated {0};

jack_client_t* openClient(const char* name, jack_options_t options, jack_status_t* status)
{
    jack_client_t* client = jack_client_open(name, options, status);
    if (client)
        ++clientsAllocated;
    return client;
}

void closeClient(jack_client_t* client)
{
    jack_client_close(client);
    --clientsAllocated;
}

// The process behind the server's socket; 0 when it cannot be seen. The socket tells the
// credentials of its listener even while the server does not accept.
pid_t serverProcess()
{
    const QByteArray path = JackClient::serverSocketPath().toLocal8Bit();
    sockaddr_un address {};
    if (std::size_t(path.size()) >= sizeof address.sun_path)
        return 0;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return 0;
    pid_t pid = 0;
    ucred credentials {};
    socklen_t length = sizeof credentials;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0
        && getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0)
        pid = credentials.pid;
    ::close(fd);
    return pid;
}

// The state letter of a process ("pid (name) state ..."; the name may hold anything but ends
// at the last parenthesis); 0 when it has gone.
char processState(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && close + 2 < line.size() ? line.at(close + 2) : '?';
}

// Whether the process is stopped (SIGSTOP, a debugger).
bool processStopped(pid_t pid)
{
    const char state = processState(pid);
    return state == 'T' || state == 't';
}

// Whether the process is stopped or gone: a server that does not answer.
bool processHalted(pid_t pid)
{
    const char state = processState(pid);
    return state == 0 || state == 'T' || state == 't' || state == 'Z' || state == 'X';
}

constexpr auto openTimeout = std::chrono::seconds(5);
constexpr int closeTimeoutMs = 2000;
// How long a request may go unanswered while the server runs none of the client's cycles, and
// how long in all.
constexpr auto stalledTimeout = std::chrono::seconds(2);
constexpr auto requestTimeout = std::chrono::seconds(10);
// How long a client whose server has ended waits for its notification thread at its close.
constexpr auto notificationEndTimeout = std::chrono::seconds(5);

// The last server whose end a client of the process was told of (its process).
std::atomic<pid_t> serverToldGone {0};

} // namespace

// The request thread and what it is asked. Shared with the thread, which may outlive the client
// object when the server holds it in a request that never returns.
struct JackClient::Requests
{
    struct Job
    {
        std::function<void()> run;
        bool started = false;
        bool abandoned = false;
        bool done = false;
        bool carried = false; // run on a client not yet closed
    };

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::shared_ptr<Job>> jobs;
    bool stop = false;
    std::atomic<bool> closed {false}; // the library's client; nothing runs on it after that
    std::thread thread;

    void serve()
    {
        std::unique_lock<std::mutex> locker(mutex);
        for (;;) {
            changed.wait(locker, [this] { return stop || !jobs.empty(); });
            if (jobs.empty())
                return; // stopped, with nothing left to do
            const std::shared_ptr<Job> job = jobs.front();
            jobs.pop_front();
            if (job->abandoned)
                continue;
            job->started = true;
            const bool carried = !closed.load();
            locker.unlock();
            if (carried)
                job->run();
            locker.lock();
            job->carried = carried;
            job->done = true;
            changed.notify_all();
        }
    }

    std::shared_ptr<Job> post(std::function<void()> run)
    {
        auto job = std::make_shared<Job>();
        job->run = std::move(run);
        const std::lock_guard<std::mutex> locker(mutex);
        jobs.push_back(job);
        changed.notify_all();
        return job;
    }
};

namespace {

// Opens the library's client called `clientName` (another name when `exactName` is false and
// that one is taken). Null when none could be; `nameTaken` tells whether another client has
// the name.
jack_client_t* openHandle(const char* clientName, bool exactName, bool* nameTaken)
{
    const QuietLibrary quietLibrary;
    jack_status_t status {};
    jack_client_t* handle
        = openClient(clientName, jack_options_t(JackNoStartServer | JackUseExactName), &status);
    if (!handle && !(status & JackServerFailed)) {
        // The server answered but refused the name. Whether another client has it: a client
        // that may take another name tells, and is kept when any name will do.
        jack_status_t probeStatus {};
        if (jack_client_t* probe = openClient(clientName, JackNoStartServer, &probeStatus)) {
            if (qstrcmp(jack_get_client_name(probe), clientName) != 0)
                status = jack_status_t(status | JackNameNotUnique);
            if (exactName)
                closeClient(probe);
            else
                handle = probe;
        }
    }
    *nameTaken = !handle && (status & JackNameNotUnique);
    return handle;
}

QString nameTakenProblem(const char* clientName)
{
    return QCoreApplication::translate(
               "MidiSystem",
               "Another program already has the JACK client name \"%1\", so Kelvo's MIDI ports are "
               "not on JACK. Quit the other program (or another Kelvo) and start Kelvo again.")
        .arg(QString::fromLatin1(clientName));
}

} // namespace

std::shared_ptr<JackClient> JackClient::openHere(const char* clientName, bool exactName,
                                                 QString* problem, const Notifier& notifier,
                                                 bool* nameTaken)
{
    bool taken = false;
    jack_client_t* handle = openHandle(clientName, exactName, &taken);
    if (nameTaken)
        *nameTaken = taken;
    if (!handle) {
        if (problem && taken)
            *problem = nameTakenProblem(clientName);
        return {};
    }
    return activate(handle, notifier, problem);
}

std::shared_ptr<JackClient> JackClient::activate(jack_client_t* handle, const Notifier& notifier,
                                                 QString* problem)
{
    std::shared_ptr<JackClient> client(new JackClient(handle, notifier), &JackClient::release);
    jack_set_process_callback(handle, &JackClient::process, client.get());
    jack_on_shutdown(handle, &JackClient::shutDown, client.get());
    jack_set_port_registration_callback(handle, &JackClient::portRegistered, client.get());
    jack_set_buffer_size_callback(handle, &JackClient::bufferSizeChanged, client.get());
    jack_set_sample_rate_callback(handle, &JackClient::sampleRateChanged, client.get());
    jack_set_xrun_callback(handle, &JackClient::xrunOccurred, client.get());
    bool activated = false;
    client->ask([](jack_client_t* c) { return jack_activate(c) == 0; }, &activated);
    client->m_active.store(activated);
    if (!activated) {
        if (problem)
            *problem = QCoreApplication::translate("MidiSystem",
                                                   "Kelvo's JACK client could not be activated.");
        return {};
    }
    return client;
}

std::shared_ptr<JackClient> JackClient::open(QString* problem, const Notifier& notifier,
                                             bool* nameTaken)
{
    // Opened on a thread of its own, so that a server that does not answer holds no caller
    // longer than the time-out; a client that comes after it is closed again there. The
    // client is activated here, within the bounds of any request.
    auto opening = std::make_shared<Opening>();
    std::thread([opening] {
        bool taken = false;
        jack_client_t* handle = openHandle(name(), true, &taken);
        std::unique_lock<std::mutex> locker(opening->mutex);
        if (opening->abandoned) {
            locker.unlock();
            if (handle)
                closeClient(handle);
            return;
        }
        opening->handle = handle;
        opening->nameTaken = taken;
        opening->finished = true;
        opening->done.notify_all();
    }).detach();

    std::unique_lock<std::mutex> locker(opening->mutex);
    if (!opening->done.wait_for(locker, openTimeout, [&] { return opening->finished; })) {
        opening->abandoned = true;
        if (problem)
            *problem = QCoreApplication::translate(
                "MidiSystem", "The JACK server does not answer; Kelvo goes on without JACK.");
        return {};
    }
    if (nameTaken)
        *nameTaken = opening->nameTaken;
    if (!opening->handle) {
        if (problem && opening->nameTaken)
            *problem = nameTakenProblem(name());
        return {};
    }
    return activate(opening->handle, notifier, problem);
}

JackClient::JackClient(jack_client_t* client, Notifier notifier)
    : m_client(client)
    , m_name(jack_get_client_name(client))
    , m_serverPid(serverProcess())
    , m_notifier(std::move(notifier))
    , m_requests(std::make_shared<Requests>())
{
    for (int i = 0; i < maxHandlers; ++i) {
        m_handlers[i].store(nullptr);
        m_isInput[i].store(false);
    }
    m_bufferSize.store(jack_get_buffer_size(client));
    m_sampleRate.store(jack_get_sample_rate(client));
    m_requests->thread = std::thread([requests = m_requests] { requests->serve(); });
}

JackClient::~JackClient()
{
    {
        const std::lock_guard<std::mutex> locker(m_requests->mutex);
        m_requests->stop = true;
        m_requests->changed.notify_all();
    }
    m_requests->thread.join();
}

void JackClient::release(JackClient* client)
{
    client->close();
    const bool stopped = client->serverGone() && client->serverStopped();
    if (client->waitClosed(stopped ? 0 : closeTimeoutMs)) {
        delete client;
        return;
    }
    // The server holds the client in a request that does not return: the library may still
    // run its callbacks, with the object in hand, once it does. Both are left as they are, kept
    // where they can be found.
    static std::mutex stuckMutex;
    static auto* stuck = new std::vector<JackClient*>;
    const std::lock_guard<std::mutex> locker(stuckMutex);
    stuck->push_back(client);
}

void JackClient::notify() const
{
    if (m_notifier)
        m_notifier();
}

void JackClient::markServerGone()
{
    if (!m_serverGone.exchange(true))
        notify();
}

bool JackClient::serverHalted() const
{
    return m_serverPid > 0 && processHalted(m_serverPid);
}

bool JackClient::serverStopped() const
{
    return m_serverPid > 0 && processStopped(m_serverPid);
}

void JackClient::close()
{
    if (m_closing.exchange(true))
        return;
    // After every request asked before, and past any that still waits for the server: the
    // library's client is closed exactly once, and no request touches it afterwards. The object
    // lives until then (see release()).
    m_requests->post([this, handle = m_client, requests = m_requests.get()] {
        // Whether the server has gone is asked here, when the client closes: each client of the
        // process learns of it on its own thread, and one is closed (a listener's, once the
        // program's client has learnt of it) before its own thread may have told.
        // A server taken for gone that runs again (it was frozen) ends nothing, and its
        // client's threads are not waited for.
        const bool ended = m_toldGone.load()
            || (m_serverPid > 0 && serverToldGone.load() == m_serverPid)
            || (serverHalted() && !serverStopped());
        if (ended)
            awaitNotificationThread();
        if (ended || serverGone() || serverHalted()) {
            // After a server has gone the library only tells that it does not run.
            const QuietLibrary quietLibrary;
            closeClient(handle);
        } else
            closeClient(handle);
        requests->closed.store(true);
    });
}

void JackClient::awaitNotificationThread() const
{
    // Closing cancels the library's threads asynchronously. The notification thread of a client
    // whose server has ended prints why its read failed, in the C library's strerror(), whose
    // lock a thread cancelled there leaves taken for every later caller in the process; it tells
    // of the end before or after that, and then ends. It is given a few seconds to tell (which
    // names it, if no callback has yet) and to end by itself: on a busy machine a second was not
    // always enough. One that waits for a stopped server waits in a read, where it may be
    // cancelled.
    const auto deadline = std::chrono::steady_clock::now() + notificationEndTimeout;
    const auto waiting = [&] {
        if (serverStopped() || std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return true;
    };
    while (!m_toldGone.load() && waiting()) { }
    const pid_t thread = m_notificationThread.load();
    if (thread == 0)
        return;
    const QByteArray task = QByteArray("/proc/self/task/") + QByteArray::number(thread);
    while (access(task.constData(), F_OK) == 0 && waiting()) { }
}

int JackClient::clientsOpen()
{
    return clientsAllocated.load();
}

bool JackClient::isClosed() const
{
    return m_requests->closed.load();
}

bool JackClient::waitClosed(int milliseconds) const
{
    const auto deadline
        = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    std::unique_lock<std::mutex> locker(m_requests->mutex);
    return m_requests->changed.wait_until(locker, deadline,
                                          [this] { return m_requests->closed.load(); });
}

bool JackClient::call(std::function<void(jack_client_t*)> request)
{
    if (m_closing.load() || serverGone())
        return false;
    jack_client_t* const handle = m_client;
    const std::shared_ptr<Requests::Job> job
        = m_requests->post([handle, request = std::move(request)] { request(handle); });
    const auto start = std::chrono::steady_clock::now();
    auto stalledSince = start;
    quint64 seen = cycles();
    // Before the client runs cycles (its activation), only the whole wait counts.
    const bool cycling = m_active.load();
    std::unique_lock<std::mutex> locker(m_requests->mutex);
    for (;;) {
        if (m_requests->changed.wait_for(locker, std::chrono::milliseconds(50),
                                         [&] { return job->done; }))
            return job->carried;
        const auto now = std::chrono::steady_clock::now();
        if (cycles() != seen) {
            // The server is slow, not stuck.
            seen = cycles();
            stalledSince = now;
        }
        // A server whose process can be seen stopped hangs; one that cannot be seen is given
        // the whole wait.
        if (now - start >= requestTimeout
            || (cycling && now - stalledSince >= stalledTimeout && serverHalted()))
            break;
    }
    // The request is given up: one not yet started never runs, one under way is left to the
    // server, which is taken for gone.
    job->abandoned = true;
    locker.unlock();
    if (!serverGone())
        qWarning("The JACK server has not answered a request of the client \"%s\" for %.1f s; "
                 "it is taken for gone.",
                 m_name.c_str(),
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    markServerGone();
    return false;
}

bool JackClient::addHandler(Handler* handler, bool input)
{
    const std::lock_guard<std::mutex> locker(m_tableMutex);
    for (int i = 0; i < maxHandlers; ++i) {
        if (!m_handlers[i].load()) {
            m_isInput[i].store(input);
            m_handlers[i].store(handler);
            if (m_used.load() <= i)
                m_used.store(i + 1);
            return true;
        }
    }
    return false;
}

bool JackClient::removeHandler(Handler* handler)
{
    {
        const std::lock_guard<std::mutex> locker(m_tableMutex);
        bool found = false;
        for (int i = 0; i < m_used.load(); ++i) {
            if (m_handlers[i].load() == handler) {
                m_handlers[i].store(nullptr);
                found = true;
            }
        }
        if (!found)
            return true;
    }
    // A cycle that began before the slot was cleared may still run the handler; one that began
    // after cannot see it. That holds whether or not the server is still there: a cycle under
    // way ends by itself. Once the client is closed no cycle runs at all.
    const quint64 begun = m_cyclesBegun.load();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (m_cyclesEnded.load() < begun && !isClosed()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return true;
}

jack_port_t* JackClient::registerPort(const std::string& name, const char* type,
                                      unsigned long flags, std::string* fullName)
{
    const std::string cut = name.substr(0, maxPortNameLength() - 3);
    std::pair<jack_port_t*, std::string> made {nullptr, {}};
    for (int attempt = 0; !made.first && attempt < 28 && !serverGone(); ++attempt) {
        if (attempt > 0 && attempt < 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const std::string numbered = attempt < 20 ? cut : cut + " " + std::to_string(attempt - 18);
        ask(
            [numbered, type, flags](jack_client_t* c) {
                jack_port_t* port = jack_port_register(c, numbered.c_str(), type, flags, 0);
                return std::make_pair(port, std::string(port ? jack_port_name(port) : ""));
            },
            &made);
    }
    if (fullName)
        *fullName = made.second;
    return made.first;
}

bool JackClient::connectPorts(const std::string& source, const std::string& destination)
{
    bool connected = false;
    ask([source, destination](
            jack_client_t* c) { return jack_connect(c, source.c_str(), destination.c_str()) == 0; },
        &connected);
    return connected;
}

bool JackClient::disconnectPort(jack_port_t* port)
{
    bool disconnected = false;
    ask([port](jack_client_t* c) { return jack_port_disconnect(c, port) == 0; }, &disconnected);
    return disconnected;
}

bool JackClient::renamePort(jack_port_t* port, const std::string& name)
{
    bool renamed = false;
    ask([port, name](jack_client_t* c) { return jack_port_rename(c, port, name.c_str()) == 0; },
        &renamed);
    return renamed;
}

void JackClient::unregisterPort(jack_port_t* port)
{
    bool unregistered = false;
    ask([port](jack_client_t* c) { return jack_port_unregister(c, port) == 0; }, &unregistered);
}

int JackClient::connectionCount(jack_port_t* port)
{
    int count = 0;
    ask([port](jack_client_t*) { return jack_port_connected(port); }, &count);
    return count;
}

std::vector<std::string> JackClient::ports(const char* type, unsigned long flags)
{
    std::vector<std::string> names;
    ask(
        [type, flags](jack_client_t* c) {
            std::vector<std::string> found;
            const char** ports = jack_get_ports(c, nullptr, type, flags);
            for (const char** port = ports; port && *port; ++port)
                found.emplace_back(*port);
            jack_free(ports);
            return found;
        },
        &names);
    return names;
}

void JackClient::awaitGraphChange() const
{
    // The server takes a change into its graph at the start of a cycle; a cycle of ours that
    // ends after the call may have begun before it, the next one has not.
    const quint64 changed = cycles();
    CycleWait wait(*this, m_cyclesEnded);
    while (cycles() < changed + 2 && wait.waiting()) { }
}

std::chrono::nanoseconds JackClient::longestStall()
{
    return stalledTimeout;
}

JackClient::CycleWait::CycleWait(const JackClient& client, const std::atomic<quint64>& cycles,
                                 std::chrono::steady_clock::time_point deadline)
    : m_client(client)
    , m_cycles(cycles)
    , m_deadline(deadline)
    , m_seen(cycles.load())
    , m_lastCycle(std::chrono::steady_clock::now())
{ }

bool JackClient::CycleWait::waiting()
{
    const auto now = std::chrono::steady_clock::now();
    if (m_cycles.load() != m_seen) {
        m_seen = m_cycles.load();
        m_lastCycle = now;
    }
    if (m_client.serverGone() || now >= m_deadline)
        return false;
    const auto stalledFor = now - m_lastCycle;
    if (stalledFor >= m_client.waitForCycles(2)
        && (stalledFor >= longestStall() || !m_client.m_active.load() || m_client.serverHalted()))
        return false;
    // Seldom once a cycle is late: each look at a stalled wait may read the server's state.
    std::this_thread::sleep_for(stalledFor < std::chrono::milliseconds(10)
                                    ? std::chrono::microseconds(100)
                                    : std::chrono::microseconds(1000));
    return true;
}

std::chrono::nanoseconds JackClient::waitForCycles(int count) const
{
    // Twice the time the cycles take, however long the server's period, and never less than a
    // quarter of a second, for a server that is late.
    const jack_nframes_t rate = sampleRate();
    const auto cyclesTake = std::chrono::nanoseconds(
        rate > 0 ? qint64(bufferSize()) * 1000000000 / rate * 2 * count : 0);
    return std::max<std::chrono::nanoseconds>(cyclesTake, std::chrono::milliseconds(250));
}

QString JackClient::serverSocketPath()
{
    QString server = qEnvironmentVariable("JACK_DEFAULT_SERVER");
    if (server.isEmpty())
        server = QStringLiteral("default");
    return QStringLiteral("/dev/shm/jack_%1_%2_0").arg(server).arg(getuid());
}

std::size_t JackClient::maxPortNameLength() const
{
    // The full name, client name and colon included, stays below the port name size.
    return std::size_t(jack_port_name_size()) - m_name.size() - 2;
}

// JACK's process thread: no lock, no allocation, no wait.
int JackClient::process(jack_nframes_t frames, void* self)
{
    auto* client = static_cast<JackClient*>(self);
    client->m_cyclesBegun.fetch_add(1);
    const int used = client->m_used.load();
    for (bool inputs : {true, false}) {
        for (int i = 0; i < used; ++i) {
            Handler* handler = client->m_handlers[i].load();
            if (handler && client->m_isInput[i].load() == inputs)
                handler->process(frames);
        }
    }
    // Equal counts mean no cycle is under way: this one has finished with every handler.
    client->m_cyclesEnded.store(client->m_cyclesBegun.load());
    return 0;
}

// The library's notification thread, from here on.
void JackClient::shutDown(void* self)
{
    auto* client = static_cast<JackClient*>(self);
    client->m_notificationThread.store(pid_t(gettid()));
    client->m_toldGone.store(true);
    if (client->m_serverPid > 0)
        serverToldGone.store(client->m_serverPid);
    client->markServerGone();
}

void JackClient::portRegistered(jack_port_id_t, int, void* self)
{
    auto* client = static_cast<JackClient*>(self);
    client->m_notificationThread.store(pid_t(gettid()));
    client->m_portChanges.fetch_add(1);
    client->notify();
}

int JackClient::bufferSizeChanged(jack_nframes_t frames, void* self)
{
    static_cast<JackClient*>(self)->m_bufferSize.store(frames);
    return 0;
}

int JackClient::xrunOccurred(void* self)
{
    static_cast<JackClient*>(self)->m_xruns.fetch_add(1, std::memory_order_relaxed);
    return 0;
}

int JackClient::sampleRateChanged(jack_nframes_t rate, void* self)
{
    static_cast<JackClient*>(self)->m_sampleRate.store(rate);
    return 0;
}

} // namespace Platform
