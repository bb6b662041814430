#ifndef PLATFORM_SYSTEMMIDIINPUT_H
#define PLATFORM_SYSTEMMIDIINPUT_H

#include <cstddef>
#include <string>

namespace Platform {

// One input port on the MIDI system, as the program's shared port records hold it: on JACK a
// port of the program's own client (JackMidiInput), otherwise the MIDI library's input object.
// Every operation that fails throws RtMidiError. The program serialises the calls on one object
// (its port record's mutex).
class SystemMidiInput
{
public:
    // Called for every message the port passes, on the system's input thread (JACK's process
    // thread: no lock, no allocation, no wait). `deltaTime` is in seconds since the port's
    // previous message.
    using Receiver
        = void (*)(double deltaTime, const unsigned char* bytes, std::size_t size, void* userData);

    SystemMidiInput() = default;
    virtual ~SystemMidiInput() = default;
    SystemMidiInput(const SystemMidiInput&) = delete;
    SystemMidiInput& operator=(const SystemMidiInput&) = delete;

    virtual bool isJack() const = 0;

    // Set once, before a port is opened.
    virtual void setReceiver(Receiver receiver, void* userData) = 0;
    // Makes the port under `portName` and connects the system's output port called `target`
    // (the name the system gives it) to it.
    virtual void openPort(const std::string& target, const std::string& portName) = 0;
    // Makes a port other programs can send to.
    virtual void openVirtualPort(const std::string& portName) = 0;
    virtual void closePort() = 0;
    virtual void setPortName(const std::string& portName) = 0;
    // Which kinds of message the port drops: system exclusive, timing (MIDI clock and time
    // code), active sensing.
    virtual void ignoreTypes(bool sysex, bool timing, bool sensing) = 0;

    // Whether the object may be deleted once closed: false while the system may still use it
    // (a JACK server that hangs), and then it is left as it is.
    virtual bool canDelete() const { return true; }
    static void dispose(SystemMidiInput* input)
    {
        if (input && input->canDelete())
            delete input;
    }
};

} // namespace Platform

#endif // PLATFORM_SYSTEMMIDIINPUT_H
