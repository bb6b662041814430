#ifndef LOCALMIDIOUTPUT_H
#define LOCALMIDIOUTPUT_H

#include "MidiIO.h"
#include "SystemMidiOutput.h"

#include <QWeakPointer>

// An output to one of the program's own virtual inputs that the MIDI system cannot carry: each
// message goes at once, on the sending thread, to the inputs open on that port, as it would
// through the system. The output's thread hands every message over at its due time, so it
// arrives then. Once the input's port has gone, what is sent is lost.
class LocalMidiOutput : public Platform::SystemMidiOutput
{
public:
    explicit LocalMidiOutput(const QSharedPointer<MidiIO<RtMidiIn>::SharedMidi>& input);

    bool isJack() const override { return false; }
    void openPort(const std::string&, const std::string&) override { }
    void openVirtualPort(const std::string&) override { }
    void closePort() override { }
    void setPortName(const std::string&) override { }
    void send(const unsigned char* bytes, std::size_t size, quint64 dueNs, Writer writer) override;

private:
    QWeakPointer<MidiIO<RtMidiIn>::SharedMidi> m_input;
};

#endif // LOCALMIDIOUTPUT_H
