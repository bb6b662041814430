#include "JackMidiOutput.h"

#include "HostTime.h"

#include <RtMidi.h>
#include <jack/midiport.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

namespace Platform {

namespace {

// Room for thousands of short messages: several server periods of 16 instruments writing at
// once on every channel. The process callback's store holds as much again.
constexpr std::size_t ringBytes = 128 * 1024;
// What a sender holds back at most before it hands over.
constexpr std::size_t heldBytes = ringBytes / 16;
constexpr quint32 storeBytes = ringBytes;
constexpr quint32 maxPending = 8192;

constexpr quint64 maxAheadNs = 1000000000;

// After an xrun, the note-offs written in this time go again (in eight cycles at least), once
// the server has run this many cycles since it last told of one: it tells on another thread, a
// cycle or more late, and a reader late once may be late for a few cycles.
constexpr quint64 recentNoteOffsNs = 100000000;
constexpr quint64 settleCycles = 4;
constexpr int keys = 16 * 128;

// JACK's clock less the host clock, in microseconds: of three readings of JACK's clock between
// two of the host clock, the one least apart, so that a thread preempted in between misleads
// no cycle.
double jackMinusHostTimeUs()
{
    double best = 0;
    quint64 bestWidth = std::numeric_limits<quint64>::max();
    for (int i = 0; i < 3; ++i) {
        const quint64 before = hostTimeNs();
        const jack_time_t jack = jack_get_time();
        const quint64 after = hostTimeNs();
        if (after - before < bestWidth) {
            bestWidth = after - before;
            best = double(jack) - double(before + after) / 2000.0;
        }
    }
    return best;
}

// Stores bytes into a port's buffer. JACK hands the buffer to the process threads of the
// clients that read the port through futexes in the server's shared memory, which
// ThreadSanitizer cannot see, so the stores are left out of its checks, byte by byte (a copy it
// would see as a memcpy); what is copied is read before, in checked code.
#ifdef __SANITIZE_THREAD__
__attribute__((no_sanitize_thread))
#endif
void storeIntoPortBuffer(jack_midi_data_t* to, const unsigned char* from, std::size_t size)
{
    volatile jack_midi_data_t* bytes = to;
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = from[i];
}

// Writes one event at `offset`: false when the buffer has no room for it.
bool writeEvent(void* buffer, jack_nframes_t offset, const unsigned char* bytes, std::size_t size)
{
    jack_midi_data_t* event = jack_midi_event_reserve(buffer, offset, size);
    if (!event)
        return false;
    unsigned char chunk[64];
    for (std::size_t done = 0; done < size; done += sizeof chunk) {
        const std::size_t n = std::min(sizeof chunk, size - done);
        std::memcpy(chunk, bytes + done, n);
        storeIntoPortBuffer(event + done, chunk, n);
    }
    return true;
}

[[noreturn]] void fail(const std::string& what)
{
    throw RtMidiError("JackMidiOutput: " + what, RtMidiError::DRIVER_ERROR);
}

} // namespace

JackMidiOutput::JackMidiOutput(std::shared_ptr<JackClient> client)
    : m_jack(std::move(client))
    , m_client(m_jack->processHandle())
    , m_ring(ringBytes)
    , m_pending(new Pending[maxPending])
    , m_keyEndedIn(new quint64[keys]())
{
    m_held.reserve(heldBytes);
    m_stores[0].reset(new unsigned char[storeBytes]);
    m_stores[1].reset(new unsigned char[storeBytes]);
    updatePeriod(m_jack->bufferSize(), m_jack->sampleRate());
}

JackMidiOutput::~JackMidiOutput()
{
    try {
        closePort();
    } catch (const RtMidiError&) { }
}

void JackMidiOutput::updatePeriod(jack_nframes_t frames, jack_nframes_t rate)
{
    if (frames == m_periodFrames.load() && rate == m_sampleRate.load())
        return;
    m_periodFrames.store(frames);
    m_sampleRate.store(rate);
    m_periodNs.store(rate > 0 ? quint64(frames) * 1000000000u / rate : 0);
}

void JackMidiOutput::registerPort(const std::string& portName)
{
    if (m_port.load())
        fail("a port is open already");
    // A client whose server has gone must not be used any more.
    if (m_jack->serverGone())
        fail("the JACK server has gone");
    jack_port_t* port = m_jack->registerMidiPort(portName, JackPortIsOutput, &m_portName);
    if (!port)
        fail("the port " + portName + " could not be made");
    m_port.store(port);
    if (!m_jack->addHandler(this, false)) {
        m_port.store(nullptr);
        m_jack->unregisterPort(port);
        fail("the client has no room for another port");
    }
}

void JackMidiOutput::openVirtualPort(const std::string& portName)
{
    registerPort(portName);
}

void JackMidiOutput::openPort(const std::string& target, const std::string& portName)
{
    registerPort(portName);
    if (!m_jack->connectPorts(m_portName, target)) {
        closePort();
        fail("the port could not be connected to " + target);
    }
    // What is written before the server has the connection in its graph reaches nobody.
    m_jack->awaitGraphChange();
}

void JackMidiOutput::closePort()
{
    jack_port_t* port = m_port.load();
    if (!port || m_stuck)
        return;
    drain();
    // The connections go before the port does. The server gives a freed port's place (and
    // buffer) to the next port registered, and a cycle that still runs the old graph would let
    // the old port's peers read what the new port writes.
    if (m_jack->connectionCount(port) > 0 && m_jack->disconnectPort(port))
        m_jack->awaitGraphChange();
    // No process cycle may use the port while it goes.
    if (!m_jack->removeHandler(this)) {
        m_stuck = true;
        return;
    }
    m_port.store(nullptr);
    m_jack->unregisterPort(port);
}

void JackMidiOutput::drain()
{
    // What is pending goes within a second (see send) and the cycles after, unless the server
    // runs no cycle of ours for too long: once the port has gone, what it still held is lost.
    JackClient::CycleWait wait(*m_jack, m_cycles,
                               std::chrono::steady_clock::now()
                                   + std::chrono::nanoseconds(maxAheadNs)
                                   + JackClient::longestStall());
    const auto empty
        = [this] { return m_ring.write_available() == ringBytes && m_pendingCount.load() == 0; };
    for (;;) {
        while (!empty() && wait.waiting()) { }
        // The cycle that took the last message from the ring may still be writing it, or not
        // yet have counted it as pending: two cycles later both are done.
        const quint64 emptied = m_cycles.load();
        while (m_cycles.load() < emptied + 2 && wait.waiting()) { }
        if (empty() || !wait.waiting())
            return;
    }
}

void JackMidiOutput::setPortName(const std::string& portName)
{
    jack_port_t* port = m_port.load();
    if (!port || m_jack->serverGone())
        return;
    if (!m_jack->renamePort(port, portName))
        fail("the port could not be renamed " + portName);
}

bool JackMidiOutput::waitForRoom(std::size_t bytes)
{
    // The process callback takes from the ring every period; waiting longer than this means
    // the server no longer runs our cycles.
    for (int waited = 0; m_ring.write_available() < bytes; ++waited) {
        if (m_jack->serverGone())
            return false;
        if (!m_port.load() || waited >= 2000)
            fail("the JACK server takes no more messages");
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return true;
}

void JackMidiOutput::send(const unsigned char* bytes, std::size_t size, quint64 dueNs,
                          Writer writer)
{
    if (size == 0 || m_jack->serverGone())
        return;
    const Header header {dueNs == 0 ? 0 : std::min(dueNs, hostTimeNs() + maxAheadNs), writer,
                         quint32(size)};
    if (sizeof header + size > ringBytes)
        fail("a message of " + std::to_string(size) + " bytes is too long");
    if (m_held.size() + sizeof header + size > heldBytes)
        flush();
    const auto* headerBytes = reinterpret_cast<const unsigned char*>(&header);
    m_held.insert(m_held.end(), headerBytes, headerBytes + sizeof header);
    m_held.insert(m_held.end(), bytes, bytes + size);
}

void JackMidiOutput::flush()
{
    if (m_held.empty())
        return;
    // Once the server has gone nothing goes out: what was sent is dropped, as a port nobody
    // listens to drops it.
    if (waitForRoom(m_held.size()))
        m_ring.push(m_held.data(), m_held.size());
    m_held.clear();
}

void JackMidiOutput::takeBack(Writer writer, quint64 afterNs)
{
    flush();
    const Header header {afterNs, writer, 0};
    if (waitForRoom(sizeof header))
        m_ring.push(reinterpret_cast<const unsigned char*>(&header), sizeof header);
}

// From here on JACK's process thread: no lock, no allocation, no wait.
void JackMidiOutput::process(jack_nframes_t frames)
{
    jack_port_t* port = m_port.load();
    if (!port)
        return;
    updatePeriod(frames, m_jack->sampleRate());
    void* buffer = jack_port_get_buffer(port, frames);
    jack_midi_clear_buffer(buffer);
    m_cycle = m_cycles.load(std::memory_order_relaxed) + 1;
    const quint64 xruns = m_jack->xruns();
    if (xruns != m_xrunsSeen) {
        m_xrunsSeen = xruns;
        m_repeatInCycle = m_cycle + settleCycles;
    } else if (m_repeatInCycle != 0 && m_cycle >= m_repeatInCycle) {
        m_repeatInCycle = 0;
        repeatRecentNoteOffs(buffer);
    }
    takeFromRing();
    writeDue(buffer, frames);
    m_pendingCount.store(m_pendingSize);
    m_cycles.fetch_add(1);
}

void JackMidiOutput::takeFromRing()
{
    for (;;) {
        if (!m_carrying) {
            if (m_ring.read_available() < sizeof m_carried)
                return;
            m_ring.pop(reinterpret_cast<unsigned char*>(&m_carried), sizeof m_carried);
            if (m_carried.size == 0) {
                dropPending(m_carried.writer, m_carried.dueNs);
                continue;
            }
            m_carrying = true;
        }
        // The sender pushes the bytes right after the header. While the store is full the
        // message waits in the ring.
        if (m_ring.read_available() < m_carried.size || m_pendingSize == maxPending
            || m_storeUsed + m_carried.size > storeBytes)
            return;
        unsigned char* store = m_stores[m_store].get();
        m_ring.pop(store + m_storeUsed, m_carried.size);
        // After every message due no later.
        Pending* end = m_pending.get() + m_pendingSize;
        Pending* at = std::upper_bound(
            m_pending.get(), end, m_carried.dueNs,
            [](quint64 due, const Pending& pending) { return due < pending.dueNs; });
        std::memmove(at + 1, at, std::size_t(end - at) * sizeof(Pending));
        *at = Pending {m_carried.dueNs, m_carried.writer, m_storeUsed, m_carried.size};
        ++m_pendingSize;
        m_storeUsed += m_carried.size;
        m_carrying = false;
    }
}

// Their bytes stay in the store until the messages left move to the other.
void JackMidiOutput::dropPending(Writer writer, quint64 afterNs)
{
    quint32 kept = 0;
    for (quint32 i = 0; i < m_pendingSize; ++i) {
        if (m_pending[i].writer != writer || m_pending[i].dueNs <= afterNs)
            m_pending[kept++] = m_pending[i];
    }
    m_pendingSize = kept;
}

void JackMidiOutput::writeDue(void* buffer, jack_nframes_t frames)
{
    // The frame of a time: the cycle's start frame, then the time's distance from the cycle's
    // start over the cycle's length, on JACK's clock (which need not be the host clock).
    jack_nframes_t cycleStart = 0;
    jack_time_t startUs = 0;
    jack_time_t nextUs = 0;
    float periodUs = 0;
    const bool timed
        = jack_get_cycle_times(m_client, &cycleStart, &startUs, &nextUs, &periodUs) == 0
        && nextUs > startUs;
    const double jackMinusHostUs = jackMinusHostTimeUs();
    const double framesPerUs = timed ? double(frames) / double(nextUs - startUs) : 0.0;

    quint32 written = 0;
    jack_nframes_t last = 0;
    for (; written < m_pendingSize; ++written) {
        const Pending& message = m_pending[written];
        jack_nframes_t offset = 0;
        if (message.dueNs != 0 && timed) {
            const double dueUs = double(message.dueNs) / 1000.0 + jackMinusHostUs;
            // One period later than due.
            const double frame
                = std::floor((dueUs - double(startUs)) * framesPerUs + 0.5) + double(frames);
            if (frame >= double(frames))
                break; // due in a later cycle
            if (frame > 0)
                offset = jack_nframes_t(frame);
        }
        offset = std::max(offset, last);
        const unsigned char* bytes = m_stores[m_store].get() + message.offset;
        if (!writeEvent(buffer, offset, bytes, message.size)) {
            if (jack_midi_get_event_count(buffer) > 0)
                break; // the buffer is full: the rest goes in the next cycle
            continue; // longer than any buffer could take: dropped, or it would block the rest
        }
        noteWritten(bytes, message.size);
        last = offset;
    }
    if (written == 0)
        return;
    // The messages left move to the other store, in order, and the stores change turns.
    unsigned char* from = m_stores[m_store].get();
    unsigned char* to = m_stores[1 - m_store].get();
    quint32 used = 0;
    for (quint32 i = written; i < m_pendingSize; ++i) {
        Pending& message = m_pending[i];
        std::memcpy(to + used, from + message.offset, message.size);
        message.offset = used;
        used += message.size;
        m_pending[i - written] = message;
    }
    m_pendingSize -= written;
    m_store = 1 - m_store;
    m_storeUsed = used;
}

void JackMidiOutput::noteWritten(const unsigned char* bytes, quint32 size)
{
    if (size != 3)
        return;
    const int status = bytes[0] & 0xf0;
    if (status != 0x80 && status != 0x90)
        return;
    const int key = (bytes[0] & 0x0f) * 128 + (bytes[1] & 0x7f);
    m_keyEndedIn[key] = status == 0x90 && bytes[2] != 0 ? 0 : m_cycle;
}

void JackMidiOutput::repeatRecentNoteOffs(void* buffer)
{
    const quint64 periodNs = m_periodNs.load();
    const quint64 window
        = std::max<quint64>(8, periodNs > 0 ? recentNoteOffsNs / periodNs : 0) + settleCycles;
    for (int key = 0; key < keys; ++key) {
        const quint64 endedIn = m_keyEndedIn[key];
        if (endedIn == 0 || m_cycle - endedIn > window)
            continue;
        // With the release velocity of a receiver that senses none, unlike Kelvo's own.
        const unsigned char off[3] = {static_cast<unsigned char>(0x80 | key / 128),
                                      static_cast<unsigned char>(key % 128), 0x40};
        if (!writeEvent(buffer, 0, off, sizeof off))
            return;
    }
}

} // namespace Platform
