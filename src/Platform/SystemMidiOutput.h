#ifndef PLATFORM_SYSTEMMIDIOUTPUT_H
#define PLATFORM_SYSTEMMIDIOUTPUT_H

#include <QtGlobal>

#include <cstddef>
#include <string>

namespace Platform {

// One output port on the MIDI system, as the program's shared port records hold it: on JACK a
// client of the program's own (JackMidiOutput), otherwise the MIDI library's output object.
// Every operation that fails throws RtMidiError. The program serialises the calls on one
// object (its port record's mutex).
class SystemMidiOutput
{
public:
    SystemMidiOutput() = default;
    virtual ~SystemMidiOutput() = default;
    SystemMidiOutput(const SystemMidiOutput&) = delete;
    SystemMidiOutput& operator=(const SystemMidiOutput&) = delete;

    // Whether the object talks to JACK (else to the ALSA sequencer).
    virtual bool isJack() const = 0;

    // Makes the port under `portName` and connects it to the system's input port called
    // `target` (the name the system gives it).
    virtual void openPort(const std::string& target, const std::string& portName) = 0;
    // Makes a port other programs can connect to.
    virtual void openVirtualPort(const std::string& portName) = 0;
    // Removes the port once what was sent before has gone out.
    virtual void closePort() = 0;
    virtual void setPortName(const std::string& portName) = 0;

    // Who sent a message, so that it can take back what has not gone out yet.
    using Writer = const void*;
    // Sends one complete MIDI message, due at host time `dueNs` (Platform::hostTimeNs); 0 means
    // as soon as possible. An output with no latency sends it at once, whatever the time; one
    // with latency may hold it back until flush().
    virtual void send(const unsigned char* bytes, std::size_t size, quint64 dueNs, Writer writer)
        = 0;
    // Hands over what send() held back, all at once: the messages of one batch are taken into
    // one cycle together.
    virtual void flush() { }
    // Drops the messages of `writer` due after `afterNs` that have not gone out. An output with
    // no latency has sent everything already.
    virtual void takeBack(Writer, quint64) { }
    // The constant delay after its due time at which the output places each message; a
    // message handed over that long before it is due still sounds at its time. 0 for an output
    // that sends each message as it is handed over.
    virtual quint64 latencyNs() const { return 0; }

    // Whether the object may be deleted once closed: false while the system may still use it
    // (a JACK server that hangs), and then it is left as it is.
    virtual bool canDelete() const { return true; }
    static void dispose(SystemMidiOutput* output)
    {
        if (output && output->canDelete())
            delete output;
    }
};

} // namespace Platform

#endif // PLATFORM_SYSTEMMIDIOUTPUT_H
