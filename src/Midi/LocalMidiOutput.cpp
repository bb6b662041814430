#include "LocalMidiOutput.h"

#include "MidiInputRelay.h"

LocalMidiOutput::LocalMidiOutput(const QSharedPointer<MidiIO<RtMidiIn>::SharedMidi>& input)
    : m_input(input)
{ }

void LocalMidiOutput::send(const unsigned char* bytes, std::size_t size, quint64, Writer)
{
    if (const QSharedPointer<MidiIO<RtMidiIn>::SharedMidi> input = m_input.toStrongRef())
        input->relay->deliver(bytes, size);
}
