#include "AlsaMidiPorts.h"

#include <RtMidi.h>
#include <alsa/asoundlib.h>

namespace Platform {

AlsaMidiInput::AlsaMidiInput(std::shared_ptr<AlsaClient> client)
    : m_client(std::move(client))
{ }

AlsaMidiInput::~AlsaMidiInput()
{
    closePort();
}

void AlsaMidiInput::setReceiver(Receiver receiver, void* userData)
{
    m_receiver = receiver;
    m_userData = userData;
    if (m_port >= 0)
        m_client->setReceiver(m_port, receiver, userData);
}

void AlsaMidiInput::makePort(const std::string& portName, bool open)
{
    closePort();
    const int port = m_client->createPort(portName, true, open);
    m_client->setIgnoredTypes(port, m_ignore[0], m_ignore[1], m_ignore[2]);
    m_client->setReceiver(port, m_receiver, m_userData);
    m_port = port;
}

void AlsaMidiInput::openPort(const std::string& source, const std::string& portName)
{
    makePort(portName, false);
    try {
        m_client->connect(m_port, true, source);
    } catch (const RtMidiError&) {
        closePort();
        throw;
    }
}

void AlsaMidiInput::openVirtualPort(const std::string& portName)
{
    makePort(portName, true);
}

void AlsaMidiInput::closePort()
{
    if (m_port < 0)
        return;
    // No delivery to the port is under way once its receiver is gone.
    m_client->setReceiver(m_port, nullptr, nullptr);
    m_client->deletePort(m_port);
    m_port = -1;
}

void AlsaMidiInput::setPortName(const std::string& portName)
{
    if (m_port >= 0)
        m_client->renamePort(m_port, portName);
}

void AlsaMidiInput::ignoreTypes(bool sysex, bool timing, bool sensing)
{
    m_ignore[0] = sysex;
    m_ignore[1] = timing;
    m_ignore[2] = sensing;
    if (m_port >= 0)
        m_client->setIgnoredTypes(m_port, sysex, timing, sensing);
}

AlsaMidiOutput::AlsaMidiOutput(std::shared_ptr<AlsaClient> client)
    : m_client(std::move(client))
{
    if (snd_midi_event_new(256, &m_encoder) < 0)
        throw RtMidiError("AlsaMidiOutput: no memory for the encoder", RtMidiError::MEMORY_ERROR);
}

AlsaMidiOutput::~AlsaMidiOutput()
{
    closePort();
    snd_midi_event_free(m_encoder);
}

void AlsaMidiOutput::openPort(const std::string& target, const std::string& portName)
{
    closePort();
    m_port = m_client->createPort(portName, false, false);
    try {
        m_client->connect(m_port, false, target);
    } catch (const RtMidiError&) {
        closePort();
        throw;
    }
}

void AlsaMidiOutput::openVirtualPort(const std::string& portName)
{
    closePort();
    m_port = m_client->createPort(portName, false, true);
}

void AlsaMidiOutput::closePort()
{
    if (m_port < 0)
        return;
    m_client->deletePort(m_port);
    m_port = -1;
}

void AlsaMidiOutput::setPortName(const std::string& portName)
{
    if (m_port >= 0)
        m_client->renamePort(m_port, portName);
}

void AlsaMidiOutput::send(const unsigned char* bytes, std::size_t size, quint64, Writer)
{
    if (m_port < 0 || size == 0)
        return;
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    if (bytes[0] == 0xF0) {
        // System exclusive of any length, without the encoder's buffer.
        snd_seq_ev_set_sysex(&event, unsigned(size), const_cast<unsigned char*>(bytes));
    } else {
        snd_midi_event_reset_encode(m_encoder);
        if (snd_midi_event_encode(m_encoder, bytes, long(size), &event) <= 0
            || event.type == SND_SEQ_EVENT_NONE)
            return; // not one whole message: nothing the sequencer can carry
    }
    const int error = m_client->send(m_port, &event);
    if (error < 0)
        throw RtMidiError(std::string("AlsaMidiOutput: cannot send: ") + snd_strerror(error),
                          RtMidiError::DRIVER_ERROR);
}

} // namespace Platform
