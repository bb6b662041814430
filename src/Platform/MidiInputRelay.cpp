#include "MidiInputRelay.h"

#include "HostTime.h"

#include <QMutex>
#include <QMutexLocker>

#include <boost/lockfree/spsc_queue.hpp>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <semaphore.h>

namespace Platform {

namespace {

// What precedes a message's bytes in the ring buffer.
struct Header
{
    double deltaTime;
    quint64 hostTimeNs;
    quint32 size;
};

// Room for several hundred short messages; a reader that stalls longer loses what follows.
constexpr size_t ringBytes = 64 * 1024;

} // namespace

struct MidiInputRelay::State
{
    State()
        : ring(ringBytes)
    {
        sem_init(&wakeUp, 0, 0);
    }
    ~State() { sem_destroy(&wakeUp); }

    QMutex callbackMutex; // guards the two fields below
    Callback callback = nullptr;
    void* userData = nullptr;
    // Held while the callback runs. A pthread mutex rather than Qt's recursive one, whose
    // locking a race detector cannot follow into the Qt library.
    std::recursive_mutex deliveryMutex;

    boost::lockfree::spsc_queue<unsigned char> ring; // written by the library's thread only
    sem_t wakeUp;
    std::atomic<bool> stop {false};
    // Published before the library learns of the state. The library hands its pointer to its
    // thread in ways a race detector cannot see, so the first thing that thread reads is this.
    std::atomic<bool> published {false};
    std::atomic<quint64> dropped {0};
};

MidiInputRelay::MidiInputRelay(RtMidiIn* midi)
    : m_state(std::make_shared<State>())
{
    m_thread = std::thread(&MidiInputRelay::run, m_state);
    m_state->published.store(true, std::memory_order_release);
    midi->setCallback(&MidiInputRelay::libraryCallback, m_state.get());
}

MidiInputRelay::~MidiInputRelay()
{
    m_state->stop.store(true);
    sem_post(&m_state->wakeUp);
    if (m_thread.get_id() == std::this_thread::get_id())
        m_thread.detach(); // a callback destroyed its own relay; the thread ends after it
    else
        m_thread.join();
}

void MidiInputRelay::setCallback(Callback callback, void* userData)
{
    QMutexLocker locker(&m_state->callbackMutex);
    m_state->callback = callback;
    m_state->userData = userData;
}

void MidiInputRelay::cancelCallback()
{
    setCallback(nullptr, nullptr);
}

void MidiInputRelay::waitForDelivery()
{
    QMutexLocker locker(&m_state->deliveryMutex);
}

quint64 MidiInputRelay::droppedCount() const
{
    return m_state->dropped.load();
}

// Runs on the library's input thread (JACK's process thread): no lock, no allocation.
void MidiInputRelay::libraryCallback(double deltaTime, std::vector<unsigned char>* message,
                                     void* userData)
{
    State* state = static_cast<State*>(userData);
    if (!state->published.load(std::memory_order_acquire))
        return;
    const Header header {deltaTime, hostTimeNs(), quint32(message->size())};
    if (state->ring.write_available() < sizeof header + message->size()) {
        state->dropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    state->ring.push(reinterpret_cast<const unsigned char*>(&header), sizeof header);
    state->ring.push(message->data(), message->size());
    sem_post(&state->wakeUp);
}

void MidiInputRelay::run(std::shared_ptr<State> state)
{
    std::vector<unsigned char> bytes;
    for (;;) {
        while (sem_wait(&state->wakeUp) != 0 && errno == EINTR) { }
        if (state->stop.load())
            return;
        Header header;
        while (state->ring.read_available() >= sizeof header) {
            state->ring.pop(reinterpret_cast<unsigned char*>(&header), sizeof header);
            bytes.resize(header.size);
            // The writer checked for room before it wrote the header, so the rest follows at
            // once.
            size_t got = 0;
            while (got < header.size) {
                got += state->ring.pop(bytes.data() + got, header.size - got);
                if (got < header.size)
                    std::this_thread::yield();
            }
            std::unique_lock<std::recursive_mutex> delivering(state->deliveryMutex);
            Callback callback;
            void* userData;
            {
                QMutexLocker locker(&state->callbackMutex);
                callback = state->callback;
                userData = state->userData;
            }
            if (callback)
                callback(header.deltaTime, bytes, header.hostTimeNs, userData);
            delivering.unlock();
            if (state->stop.load())
                return;
        }
    }
}

} // namespace Platform
