#ifndef PLATFORM_JACKMIDIINPUT_H
#define PLATFORM_JACKMIDIINPUT_H

#include "JackClient.h"
#include "SystemMidiInput.h"

#include <atomic>
#include <memory>

namespace Platform {

// A MIDI input on JACK: one port of the program's client (JackClient). Its process handler
// hands every message the port passes to the receiver (MidiInputRelay's ring), on JACK's
// process thread. Closing takes the port out of the client's cycles before it goes; when the
// server hangs so that this cannot be seen, the object is never deleted (see canDelete).
class JackMidiInput : public SystemMidiInput, private JackClient::Handler
{
public:
    explicit JackMidiInput(std::shared_ptr<JackClient> client);
    ~JackMidiInput() override;

    bool isJack() const override { return true; }
    void setReceiver(Receiver receiver, void* userData) override;
    void openPort(const std::string& source, const std::string& portName) override;
    void openVirtualPort(const std::string& portName) override;
    void closePort() override;
    void setPortName(const std::string& portName) override;
    void ignoreTypes(bool sysex, bool timing, bool sensing) override;
    bool canDelete() const override { return !m_stuck; }

private:
    void process(jack_nframes_t frames) override;
    void registerPort(const std::string& portName);

    std::shared_ptr<JackClient> m_jack;
    jack_client_t* m_client; // for the process callback only
    std::atomic<jack_port_t*> m_port {nullptr};
    std::string m_portName; // the port's full name; touched only by the callers
    std::atomic<Receiver> m_receiver {nullptr};
    std::atomic<void*> m_userData {nullptr};
    std::atomic<bool> m_ignoreSysex {true};
    std::atomic<bool> m_ignoreTiming {true};
    std::atomic<bool> m_ignoreSensing {true};
    // The process thread's own: JACK's time of the previous message, in microseconds.
    jack_time_t m_lastUs = 0;
    bool m_first = true;
    bool m_stuck = false; // touched only by the callers
};

} // namespace Platform

#endif // PLATFORM_JACKMIDIINPUT_H
