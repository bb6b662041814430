#include "JackMidiOutput.h"

#include <RtMidi.h>
#include <jack/midiport.h>

#include <thread>

namespace Platform {

namespace {

const char* const clientName = "Kelvo";

// Room for thousands of short messages: several server periods of 16 instruments writing at
// once on every channel.
constexpr std::size_t ringBytes = 128 * 1024;

[[noreturn]] void fail(const std::string& what)
{
    throw RtMidiError("JackMidiOutput: " + what, RtMidiError::DRIVER_ERROR);
}

} // namespace

JackMidiOutput::JackMidiOutput()
    : m_ring(ringBytes)
{
    m_client = jack_client_open(clientName, JackNoStartServer, nullptr);
    if (!m_client)
        fail("the JACK server accepts no client");
    jack_set_process_callback(m_client, &JackMidiOutput::process, this);
    jack_on_shutdown(m_client, &JackMidiOutput::serverShutDown, this);
    if (jack_activate(m_client) != 0) {
        jack_client_close(m_client);
        fail("the client could not be activated");
    }
    m_active = true;
}

JackMidiOutput::~JackMidiOutput()
{
    // Deactivating returns once the process thread has left its cycle; only then do the port,
    // the client and, with this object, the ring go.
    if (m_active)
        jack_deactivate(m_client);
    jack_client_close(m_client);
}

void JackMidiOutput::registerPort(const std::string& portName)
{
    if (m_port.load())
        fail("a port is open already");
    jack_port_t* port = jack_port_register(m_client, portName.c_str(), JACK_DEFAULT_MIDI_TYPE,
                                           JackPortIsOutput, 0);
    if (!port)
        fail("the port " + portName + " could not be made");
    m_port.store(port);
    if (!m_active) {
        if (jack_activate(m_client) != 0)
            fail("the client could not be activated");
        m_active = true;
    }
}

void JackMidiOutput::openVirtualPort(const std::string& portName)
{
    registerPort(portName);
}

void JackMidiOutput::openPort(unsigned int number, const std::string& portName)
{
    // The same list, in the same order, that the port names come from.
    const char** ports = jack_get_ports(m_client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
    std::string target;
    for (unsigned int i = 0; ports && ports[i]; ++i) {
        if (i == number) {
            target = ports[i];
            break;
        }
    }
    jack_free(ports);
    if (target.empty())
        fail("no port has the number " + std::to_string(number));
    registerPort(portName);
    if (jack_connect(m_client, jack_port_name(m_port.load()), target.c_str()) != 0) {
        closePort();
        fail("the port could not be connected to " + target);
    }
}

void JackMidiOutput::closePort()
{
    jack_port_t* port = m_port.load();
    if (!port)
        return;
    // No process cycle may use the port while it goes.
    if (m_active) {
        drain();
        jack_deactivate(m_client);
        m_active = false;
    }
    m_port.store(nullptr);
    jack_port_unregister(m_client, port);
}

void JackMidiOutput::drain()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(250);
    const auto waiting = [&] {
        if (m_serverGone.load() || std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
        return true;
    };
    while (m_ring.write_available() < ringBytes && waiting()) { }
    // The cycle that took the last message may still be writing it.
    const quint64 emptied = m_cycles.load();
    while (m_cycles.load() < emptied + 2 && waiting()) { }
}

void JackMidiOutput::setPortName(const std::string& portName)
{
    jack_port_t* port = m_port.load();
    if (port && jack_port_rename(m_client, port, portName.c_str()) != 0)
        fail("the port could not be renamed " + portName);
}

void JackMidiOutput::send(const unsigned char* bytes, std::size_t size)
{
    if (size == 0)
        return;
    const Header header {quint32(size)};
    const std::size_t needed = sizeof header + size;
    if (needed > ringBytes)
        fail("a message of " + std::to_string(size) + " bytes is too long");
    // The process callback empties the ring every period; waiting longer than this means the
    // server no longer runs our cycles.
    for (int waited = 0; m_ring.write_available() < needed; ++waited) {
        if (m_serverGone.load() || !m_port.load() || waited >= 2000)
            fail("the JACK server takes no more messages");
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    m_ring.push(reinterpret_cast<const unsigned char*>(&header), sizeof header);
    m_ring.push(bytes, size);
}

int JackMidiOutput::process(jack_nframes_t frames, void* self)
{
    static_cast<JackMidiOutput*>(self)->processCycle(frames);
    return 0;
}

void JackMidiOutput::serverShutDown(void* self)
{
    static_cast<JackMidiOutput*>(self)->m_serverGone.store(true);
}

// On JACK's process thread: no lock, no allocation, no wait.
void JackMidiOutput::processCycle(jack_nframes_t frames)
{
    jack_port_t* port = m_port.load();
    if (!port)
        return;
    writeEvents(jack_port_get_buffer(port, frames));
    m_cycles.fetch_add(1, std::memory_order_release);
}

void JackMidiOutput::writeEvents(void* buffer)
{
    jack_midi_clear_buffer(buffer);
    for (;;) {
        if (!m_carrying) {
            if (m_ring.read_available() < sizeof m_carried)
                return;
            m_ring.pop(reinterpret_cast<unsigned char*>(&m_carried), sizeof m_carried);
            m_carrying = true;
        }
        // The sender pushed the bytes right after the header.
        if (m_ring.read_available() < m_carried.size)
            return;
        jack_midi_data_t* data = jack_midi_event_reserve(buffer, 0, m_carried.size);
        if (!data) {
            if (jack_midi_get_event_count(buffer) > 0)
                return; // the buffer is full: the rest goes in the next cycle
            // Longer than any buffer could take: dropped, or it would block the rest.
            for (quint32 left = m_carried.size; left > 0;) {
                unsigned char scrap[64];
                left -= quint32(m_ring.pop(scrap, std::min<std::size_t>(left, sizeof scrap)));
            }
        } else {
            m_ring.pop(data, m_carried.size);
        }
        m_carrying = false;
    }
}

} // namespace Platform
