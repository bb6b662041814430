#ifndef PLATFORM_JACKMIDIOUTPUT_H
#define PLATFORM_JACKMIDIOUTPUT_H

#include "SystemMidiOutput.h"

#include <boost/lockfree/spsc_queue.hpp>
#include <jack/jack.h>

#include <atomic>

namespace Platform {

// A MIDI output on JACK through a client of the program's own, with one port.
//
// Messages go from the sending thread to JACK's process thread through a lock-free ring: the
// process callback never takes a lock, allocates or waits. The client's lifetime is ours:
// closing deactivates it, which returns only once no process cycle runs, before the port goes,
// and the buffers are freed only after the client is closed.
class JackMidiOutput : public SystemMidiOutput
{
public:
    // Opens and activates a client called "Kelvo" (the server may number it); throws
    // RtMidiError when the server refuses.
    JackMidiOutput();
    ~JackMidiOutput() override;

    bool isJack() const override { return true; }
    void openPort(unsigned int number, const std::string& portName) override;
    void openVirtualPort(const std::string& portName) override;
    void closePort() override;
    void setPortName(const std::string& portName) override;
    // Waits while the ring is full, a few server periods at most, then throws.
    void send(const unsigned char* bytes, std::size_t size) override;

private:
    struct Header
    {
        quint32 size;
    };

    static int process(jack_nframes_t frames, void* self);
    static void serverShutDown(void* self);
    void processCycle(jack_nframes_t frames);
    void writeEvents(void* buffer);
    // Waits, a quarter of a second at most, until what was sent has gone out.
    void drain();
    // Registers the port, activating the client again after a close.
    void registerPort(const std::string& portName);

    jack_client_t* m_client = nullptr;
    bool m_active = false; // touched only by the (serialised) callers
    std::atomic<jack_port_t*> m_port {nullptr};
    std::atomic<bool> m_serverGone {false};
    std::atomic<quint64> m_cycles {0}; // process cycles run with the port
    // Written by the sender, read by the process callback only.
    boost::lockfree::spsc_queue<unsigned char> m_ring;
    // A message the process callback has begun to read but not yet written.
    Header m_carried {};
    bool m_carrying = false;
};

} // namespace Platform

#endif // PLATFORM_JACKMIDIOUTPUT_H
