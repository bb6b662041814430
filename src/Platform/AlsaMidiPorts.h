#ifndef PLATFORM_ALSAMIDIPORTS_H
#define PLATFORM_ALSAMIDIPORTS_H

#include "AlsaClient.h"
#include "SystemMidiInput.h"
#include "SystemMidiOutput.h"

#include <memory>

typedef struct snd_midi_event snd_midi_event_t;

namespace Platform {

// A MIDI input on the ALSA sequencer: one port of the program's client (AlsaClient), whose
// messages the client's thread hands to the receiver.
class AlsaMidiInput : public SystemMidiInput
{
public:
    explicit AlsaMidiInput(std::shared_ptr<AlsaClient> client);
    ~AlsaMidiInput() override;

    bool isJack() const override { return false; }
    void setReceiver(Receiver receiver, void* userData) override;
    void openPort(const std::string& source, const std::string& portName) override;
    void openVirtualPort(const std::string& portName) override;
    void closePort() override;
    void setPortName(const std::string& portName) override;
    void ignoreTypes(bool sysex, bool timing, bool sensing) override;

private:
    void makePort(const std::string& portName, bool open);

    std::shared_ptr<AlsaClient> m_client;
    int m_port = -1;
    Receiver m_receiver = nullptr;
    void* m_userData = nullptr;
    bool m_ignore[3] = {true, true, true};
};

// A MIDI output on the ALSA sequencer: one port of the program's client, which sends each
// message at once to the ports connected to it.
class AlsaMidiOutput : public SystemMidiOutput
{
public:
    explicit AlsaMidiOutput(std::shared_ptr<AlsaClient> client);
    ~AlsaMidiOutput() override;

    bool isJack() const override { return false; }
    void openPort(const std::string& target, const std::string& portName) override;
    void openVirtualPort(const std::string& portName) override;
    void closePort() override;
    void setPortName(const std::string& portName) override;
    void send(const unsigned char* bytes, std::size_t size, quint64 dueNs, Writer writer) override;

private:
    std::shared_ptr<AlsaClient> m_client;
    int m_port = -1;
    snd_midi_event_t* m_encoder = nullptr;
};

} // namespace Platform

#endif // PLATFORM_ALSAMIDIPORTS_H
