#include "JackMidiInput.h"

#include <RtMidi.h>
#include <jack/midiport.h>

namespace Platform {

#ifdef __SANITIZE_THREAD__
extern "C" void AnnotateIgnoreReadsBegin(const char* file, int line);
extern "C" void AnnotateIgnoreReadsEnd(const char* file, int line);
extern "C" void AnnotateIgnoreWritesBegin(const char* file, int line);
extern "C" void AnnotateIgnoreWritesEnd(const char* file, int line);
#endif

namespace {

// JACK hands port buffers between the process threads of its clients, and gives the memory of
// a port that went to the next port made, through futexes in the server's shared memory, which
// ThreadSanitizer cannot see. What this input does with its port's buffer is left out of its
// checks: JACK's copy of the connected outputs into it, and the copy of each message out of
// it, byte by byte (a copy it would see as a memcpy).
void* inputBuffer(jack_port_t* port, jack_nframes_t frames)
{
#ifdef __SANITIZE_THREAD__
    AnnotateIgnoreReadsBegin(__FILE__, __LINE__);
    AnnotateIgnoreWritesBegin(__FILE__, __LINE__);
#endif
    void* buffer = jack_port_get_buffer(port, frames);
#ifdef __SANITIZE_THREAD__
    AnnotateIgnoreWritesEnd(__FILE__, __LINE__);
    AnnotateIgnoreReadsEnd(__FILE__, __LINE__);
#endif
    return buffer;
}

#ifdef __SANITIZE_THREAD__
__attribute__((no_sanitize_thread))
#endif
void copyOut(unsigned char* to, const jack_midi_data_t* from, std::size_t size)
{
    const volatile jack_midi_data_t* bytes = from;
    for (std::size_t i = 0; i < size; ++i)
        to[i] = bytes[i];
}

[[noreturn]] void fail(const std::string& what)
{
    throw RtMidiError("JackMidiInput: " + what, RtMidiError::DRIVER_ERROR);
}

} // namespace

JackMidiInput::JackMidiInput(std::shared_ptr<JackClient> client)
    : m_jack(std::move(client))
    , m_client(m_jack->processHandle())
{ }

JackMidiInput::~JackMidiInput()
{
    closePort();
}

void JackMidiInput::setReceiver(Receiver receiver, void* userData)
{
    m_userData.store(userData);
    m_receiver.store(receiver);
}

void JackMidiInput::registerPort(const std::string& portName)
{
    if (m_port.load())
        fail("a port is open already");
    // A client whose server has gone must not be used any more.
    if (m_jack->serverGone())
        fail("the JACK server has gone");
    jack_port_t* port = m_jack->registerMidiPort(portName, JackPortIsInput, &m_portName);
    if (!port)
        fail("the port " + portName + " could not be made");
    m_port.store(port);
    if (!m_jack->addHandler(this, true)) {
        m_port.store(nullptr);
        m_jack->unregisterPort(port);
        fail("the client has no room for another port");
    }
}

void JackMidiInput::openVirtualPort(const std::string& portName)
{
    registerPort(portName);
}

void JackMidiInput::openPort(const std::string& source, const std::string& portName)
{
    registerPort(portName);
    if (!m_jack->connectPorts(source, m_portName)) {
        closePort();
        fail("the port could not be connected to " + source);
    }
    m_jack->awaitGraphChange();
}

void JackMidiInput::closePort()
{
    jack_port_t* port = m_port.load();
    if (!port || m_stuck)
        return;
    // The connections go before the port does: the server gives a freed port's place to the
    // next port registered, and a cycle that still runs the old graph would bring the old
    // port's peers to the new one.
    if (m_jack->connectionCount(port) > 0 && m_jack->disconnectPort(port))
        m_jack->awaitGraphChange();
    if (!m_jack->removeHandler(this)) {
        m_stuck = true;
        return;
    }
    m_port.store(nullptr);
    m_jack->unregisterPort(port);
}

void JackMidiInput::setPortName(const std::string& portName)
{
    jack_port_t* port = m_port.load();
    if (!port || m_jack->serverGone())
        return;
    if (!m_jack->renamePort(port, portName))
        fail("the port could not be renamed " + portName);
}

void JackMidiInput::ignoreTypes(bool sysex, bool timing, bool sensing)
{
    m_ignoreSysex.store(sysex);
    m_ignoreTiming.store(timing);
    m_ignoreSensing.store(sensing);
}

// JACK's process thread: no lock, no allocation, no wait.
void JackMidiInput::process(jack_nframes_t frames)
{
    jack_port_t* port = m_port.load();
    const Receiver receiver = m_receiver.load();
    if (!port || !receiver)
        return;
    void* buffer = inputBuffer(port, frames);
    const jack_nframes_t count = jack_midi_get_event_count(buffer);
    if (count == 0)
        return;
    void* userData = m_userData.load();
    const bool sysex = m_ignoreSysex.load();
    const bool timing = m_ignoreTiming.load();
    const bool sensing = m_ignoreSensing.load();
    const jack_nframes_t cycleStart = jack_last_frame_time(m_client);
    for (jack_nframes_t i = 0; i < count; ++i) {
        jack_midi_event_t event;
        if (jack_midi_event_get(&event, buffer, i) != 0 || event.size == 0)
            continue;
        // Short messages are copied out; a longer one (system exclusive) is read in place.
        unsigned char bytes[64];
        const unsigned char* message = event.buffer;
        if (event.size <= sizeof bytes) {
            copyOut(bytes, event.buffer, event.size);
            message = bytes;
        }
        const unsigned char status = message[0];
        if ((sysex && status == 0xf0) || (timing && (status == 0xf8 || status == 0xf1))
            || (sensing && status == 0xfe))
            continue;
        const jack_time_t us = jack_frames_to_time(m_client, cycleStart + event.time);
        const double delta = m_first ? 0.0 : double(us - m_lastUs) / 1e6;
        m_first = false;
        m_lastUs = us;
        receiver(delta, message, event.size, userData);
    }
}

} // namespace Platform
