#ifndef INSTRUMENTMSG_H
#define INSTRUMENTMSG_H

#include <QtGlobal>

#include <vector>

// A timed message to an instrument. It names no MIDI channel: the output that sends it adds one
// copy for every channel of its channel mask (raw messages excepted).
struct InstrumentMsg
{
    enum Kind : quint32 {
        NoteOn = 0,
        NoteOff = 1,
        ProgramChange = 2, // bank select MSB and LSB, then the program change
        PitchBend = 3,
        ControlChange = 4,
        Raw = 5, // `bytes` as they stand, status byte included
    };

    quint32 kind = NoteOn;
    quint64 time = 0; // when it is due, in ticks of the transport clock
    quint8 program = 0; // ProgramChange: the program number
    quint8 data1 = 0; // pitch; bank MSB; bend MSB (7 bits); controller number
    quint8 data2 = 0; // velocity; bank LSB; bend LSB (7 bits); controller value
    std::vector<unsigned char> bytes; // Raw only
    // Who queued it (a voice group's element id), so that its messages can be taken back; 0
    // for none.
    quint32 source = 0;
};

#endif // INSTRUMENTMSG_H
