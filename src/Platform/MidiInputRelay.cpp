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

    // What deliver() drops, and the host time of its previous message (under deliveryMutex).
    std::atomic<bool> ignoreSysex {true};
    std::atomic<bool> ignoreTiming {true};
    std::atomic<bool> ignoreSensing {true};
    quint64 lastDeliveredNs = 0;
};

MidiInputRelay::MidiInputRelay(SystemMidiInput* midi)
    : m_midi(midi)
    , m_state(std::make_shared<State>())
{
    m_thread = std::thread(&MidiInputRelay::run, m_state);
    m_state->published.store(true, std::memory_order_release);
    if (midi)
        midi->setReceiver(&MidiInputRelay::receive, m_state.get());
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

void MidiInputRelay::setIgnoreTypes(bool sysex, bool timing, bool sensing)
{
    m_state->ignoreSysex.store(sysex);
    m_state->ignoreTiming.store(timing);
    m_state->ignoreSensing.store(sensing);
    if (m_midi)
        m_midi->ignoreTypes(sysex, timing, sensing);
}

void MidiInputRelay::attach(SystemMidiInput* midi)
{
    m_midi = midi;
    if (!midi)
        return;
    midi->setReceiver(&MidiInputRelay::receive, m_state.get());
    midi->ignoreTypes(m_state->ignoreSysex.load(), m_state->ignoreTiming.load(),
                      m_state->ignoreSensing.load());
}

void MidiInputRelay::deliver(const unsigned char* bytes, std::size_t size)
{
    if (size == 0)
        return;
    const unsigned char status = bytes[0];
    if ((m_state->ignoreSysex.load() && status == 0xf0)
        || (m_state->ignoreTiming.load() && (status == 0xf8 || status == 0xf1))
        || (m_state->ignoreSensing.load() && status == 0xfe))
        return;
    const std::vector<unsigned char> message(bytes, bytes + size);
    const std::lock_guard<std::recursive_mutex> delivering(m_state->deliveryMutex);
    Callback callback;
    void* userData;
    {
        QMutexLocker locker(&m_state->callbackMutex);
        callback = m_state->callback;
        userData = m_state->userData;
    }
    const quint64 now = hostTimeNs();
    const double delta
        = m_state->lastDeliveredNs ? double(now - m_state->lastDeliveredNs) / 1e9 : 0.0;
    m_state->lastDeliveredNs = now;
    if (callback)
        callback(delta, message, now, userData);
}

quint64 MidiInputRelay::droppedCount() const
{
    return m_state->dropped.load();
}

// Runs on the system's input thread (JACK's process thread): no lock, no allocation.
void MidiInputRelay::receive(double deltaTime, const unsigned char* bytes, std::size_t size,
                             void* userData)
{
    State* state = static_cast<State*>(userData);
    if (!state->published.load(std::memory_order_acquire))
        return;
    const Header header {deltaTime, hostTimeNs(), quint32(size)};
    if (state->ring.write_available() < sizeof header + size) {
        state->dropped.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    state->ring.push(reinterpret_cast<const unsigned char*>(&header), sizeof header);
    state->ring.push(bytes, size);
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
