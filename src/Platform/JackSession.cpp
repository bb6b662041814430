#include "JackSession.h"

#include <QByteArray>
#include <QDebug>

#include <algorithm>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <semaphore.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace Platform {

namespace {

// The listeners of the process. Made once and never destroyed, so that a session thread that a
// server held until the process was ending finds them still there.
struct Listeners
{
    std::mutex listMutex; // guards `list`
    std::vector<JackSession::Listener*> list;
    std::recursive_mutex callMutex; // held while a session calls one
};

Listeners& listeners()
{
    static auto* instance = new Listeners;
    return *instance;
}

std::vector<JackSession::Listener*> currentListeners()
{
    Listeners& l = listeners();
    const std::lock_guard<std::mutex> locker(l.listMutex);
    return l.list;
}

// How often the session looks for the server's socket while it has no client, and how long it
// waits before it tries a server that did not take its client again, or, when there is no
// socket to see (a JACK library that reaches its server another way), tries at all.
constexpr auto lookInterval = std::chrono::milliseconds(250);
constexpr auto retryInterval = std::chrono::seconds(2);
constexpr auto blindRetryInterval = std::chrono::seconds(10);
constexpr auto stopTimeout = std::chrono::seconds(2);
// How often the session looks at the cycles of its client, and how long a server may run none
// of them while its process is seen stopped before it is taken for gone (as a request that
// meets it would be).
constexpr auto watchInterval = std::chrono::milliseconds(500);
constexpr auto stalledTimeout = std::chrono::seconds(2);

// Tells every listener through `call`, one listener call at a time across sessions.
template<class Call>
void tellListeners(Call call)
{
    const std::lock_guard<std::recursive_mutex> calls(listeners().callMutex);
    for (JackSession::Listener* listener : currentListeners())
        call(listener);
}

// A semaphore for the library's threads to post: made once for each session, kept where it can
// be found, never destroyed.
sem_t* newWakeUp()
{
    static std::mutex made;
    static auto* all = new std::vector<sem_t*>;
    auto* wakeUp = new sem_t;
    sem_init(wakeUp, 0, 0);
    const std::lock_guard<std::mutex> locker(made);
    all->push_back(wakeUp);
    return wakeUp;
}

} // namespace

struct JackSession::State
{
    State()
        : wakeUp(newWakeUp())
    { }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    std::function<void()> beforeClose;
    // Posted by the clients' library threads, which must take no lock nor hold a reference
    // (see JackClient: the library cancels them when a client closes). It outlives every
    // client that may post it, so it is never destroyed.
    sem_t* const wakeUp;

    mutable std::mutex mutex; // guards what follows
    std::condition_variable ended; // `running` went false
    std::shared_ptr<JackClient> client; // open, or being closed after its server went
    bool clientOpen = false; // `client` is open on a server that has not gone
    bool retry = true;
    bool stop = false;
    bool running = false; // the thread has not ended
    bool announce = false; // the listeners are still to learn of the client opened at start-up
    quint64 losses = 0;
    quint64 seenPortChanges = 0;

    void notify() { sem_post(wakeUp); }
    JackClient::Notifier notifier() const
    {
        return [wakeUp = wakeUp] { sem_post(wakeUp); };
    }
    // Waits until notified, `timeout` at most, and takes every notification there is.
    void wait(std::chrono::milliseconds timeout)
    {
        timespec deadline {};
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        const long long ns = deadline.tv_nsec + (timeout.count() % 1000) * 1000000LL;
        deadline.tv_sec += time_t(timeout.count() / 1000 + ns / 1000000000LL);
        deadline.tv_nsec = long(ns % 1000000000LL);
        while (sem_clockwait(wakeUp, CLOCK_MONOTONIC, &deadline) != 0 && errno == EINTR) { }
        while (sem_trywait(wakeUp) == 0) { }
    }
};

void JackSession::addListener(Listener* listener)
{
    Listeners& l = listeners();
    const std::lock_guard<std::mutex> locker(l.listMutex);
    l.list.push_back(listener);
}

void JackSession::tellPortsChanged()
{
    tellListeners([](Listener* listener) { listener->jackPortsChanged(); });
}

void JackSession::removeListener(Listener* listener)
{
    Listeners& l = listeners();
    const std::lock_guard<std::recursive_mutex> calls(l.callMutex);
    const std::lock_guard<std::mutex> locker(l.listMutex);
    l.list.erase(std::remove(l.list.begin(), l.list.end(), listener), l.list.end());
}

JackSession::JackSession(std::function<void()> beforeClose)
    : m_state(std::make_shared<State>())
{
    m_state->beforeClose = std::move(beforeClose);
}

JackSession::~JackSession()
{
    std::shared_ptr<JackClient> client;
    {
        std::unique_lock<std::mutex> locker(m_state->mutex);
        m_state->stop = true;
        m_state->notify();
        // A thread that closes a client of a stopped server waits for as long as it stays so.
        const bool held
            = m_state->client && m_state->client->serverGone() && m_state->client->serverStopped();
        const bool ended
            = m_state->ended.wait_for(locker, held ? std::chrono::seconds(0) : stopTimeout,
                                      [this] { return !m_state->running; });
        client.swap(m_state->client);
        m_state->clientOpen = false;
        locker.unlock();
        // A thread that has ended is waited for until it has let go of everything; one that a
        // server holds ends by itself.
        if (m_thread.joinable()) {
            if (ended)
                m_thread.join();
            else {
                m_thread.detach();
                // Kept where it can be found for as long as the process runs.
                static std::mutex abandonedMutex;
                static auto* abandoned = new std::vector<std::shared_ptr<State>>;
                const std::lock_guard<std::mutex> abandoning(abandonedMutex);
                abandoned->push_back(m_state);
            }
        }
    }
    // The client goes here, or with the last port that still holds it; never under the lock.
    client.reset();
}

void JackSession::start(QString* problem)
{
    // The client tells the session's thread through a state that may outlive the session.
    const JackClient::Notifier notifier = m_state->notifier();
    bool nameTaken = false;
    std::shared_ptr<JackClient> client = JackClient::open(problem, notifier, &nameTaken);
    {
        const std::lock_guard<std::mutex> locker(m_state->mutex);
        m_state->client = client;
        m_state->clientOpen = client != nullptr;
        m_state->retry = !nameTaken;
        m_state->seenPortChanges = client ? client->portChanges() : 0;
        m_state->announce = client != nullptr;
        m_state->running = true;
    }
    // The listeners learn of the client on the session's thread, like of every later one: the
    // caller may hold locks they take.
    m_thread = std::thread(&JackSession::run, m_state);
}

std::shared_ptr<JackClient> JackSession::client() const
{
    const std::lock_guard<std::mutex> locker(m_state->mutex);
    return m_state->clientOpen ? m_state->client : nullptr;
}

quint64 JackSession::losses() const
{
    const std::lock_guard<std::mutex> locker(m_state->mutex);
    return m_state->losses;
}

namespace {

bool serverSocketExists()
{
    struct stat info
    {
    };
    const QByteArray path = JackClient::serverSocketPath().toLocal8Bit();
    return stat(path.constData(), &info) == 0 && S_ISSOCK(info.st_mode);
}

} // namespace

// Clients are never released while the state's mutex is held: a client's library thread tells
// the state through that mutex, and closing a client waits for its thread.
void JackSession::run(std::shared_ptr<State> state)
{
    using Clock = std::chrono::steady_clock;
    Clock::time_point nextTry = Clock::now();
    Clock::time_point nextBlindTry = Clock::now() + blindRetryInterval;
    const JackClient::Notifier notifier = state->notifier();
    const JackClient* watched = nullptr;
    quint64 watchedCycles = 0;
    Clock::time_point cycledAt = Clock::now();
    const auto stopped = [&state] {
        const std::lock_guard<std::mutex> locker(state->mutex);
        if (!state->stop)
            return false;
        state->running = false;
        state->ended.notify_all();
        return true;
    };
    for (;;) {
        if (stopped())
            return;
        std::shared_ptr<JackClient> client;
        bool retry = false;
        bool announce = false;
        {
            const std::lock_guard<std::mutex> locker(state->mutex);
            client = state->client;
            retry = state->retry;
            announce = std::exchange(state->announce, false);
        }
        if (client && announce && !client->serverGone())
            tellListeners([](Listener* listener) { listener->jackClientOpened(); });
        if (client && client->serverGone()) {
            // Everything that uses the client lets go of it, the listeners' own clients close,
            // and then the program's client: no client of the process stays allocated.
            {
                const std::lock_guard<std::mutex> locker(state->mutex);
                ++state->losses;
                state->clientOpen = false;
            }
            qWarning("The JACK server has gone; Kelvo's JACK ports and sound wait for it.");
            std::vector<std::function<void()>> closers;
            tellListeners([&closers](Listener* listener) {
                if (std::function<void()> closer = listener->jackServerGone())
                    closers.push_back(std::move(closer));
            });
            for (const std::function<void()>& closer : closers)
                closer();
            if (state->beforeClose)
                state->beforeClose();
            client->close();
            while (!client->waitClosed(100)) {
                if (stopped())
                    return; // the server holds the close, which ends by itself
            }
            {
                const std::lock_guard<std::mutex> locker(state->mutex);
                state->client.reset(); // `client` still holds it
            }
            nextTry = Clock::now();
            continue;
        }
        if (client) {
            bool changed = false;
            {
                const std::lock_guard<std::mutex> locker(state->mutex);
                const quint64 changes = client->portChanges();
                changed = changes != state->seenPortChanges;
                state->seenPortChanges = changes;
            }
            if (changed) {
                tellListeners([](Listener* listener) { listener->jackPortsChanged(); });
                continue;
            }
            if (client->serverGone())
                continue;
            // A server that hangs tells nothing: it is found out by the cycles it no longer
            // runs, before anybody's request meets it.
            const quint64 cycles = client->cycles();
            if (client.get() != watched || cycles != watchedCycles) {
                watched = client.get();
                watchedCycles = cycles;
                cycledAt = Clock::now();
            } else if (Clock::now() - cycledAt >= stalledTimeout && client->serverHalted()) {
                qWarning("The JACK server has run none of Kelvo's cycles for %.1f s and is "
                         "stopped; it is taken for gone.",
                         std::chrono::duration<double>(Clock::now() - cycledAt).count());
                client->markServerGone();
                continue;
            }
            state->wait(watchInterval);
            continue;
        }
        const Clock::time_point now = Clock::now();
        if (retry && JackClient::clientsOpen() == 0
            && ((now >= nextTry && serverSocketExists()) || now >= nextBlindTry)) {
            std::shared_ptr<JackClient> opened
                = JackClient::openHere(JackClient::name(), true, nullptr, notifier);
            nextTry = Clock::now() + retryInterval;
            nextBlindTry = Clock::now() + blindRetryInterval;
            if (!opened)
                continue;
            if (stopped())
                return; // the client closes here
            {
                const std::lock_guard<std::mutex> locker(state->mutex);
                state->client = opened;
                state->clientOpen = !opened->serverGone();
                state->seenPortChanges = opened->portChanges();
            }
            tellListeners([](Listener* listener) { listener->jackClientOpened(); });
            continue;
        }
        state->wait(retry ? lookInterval : std::chrono::hours(1));
    }
}

} // namespace Platform
