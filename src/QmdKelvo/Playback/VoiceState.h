#ifndef VOICESTATE_H
#define VOICESTATE_H

#include <QtGlobal>

#include <algorithm>
#include <cmath>

// What a voice carries from node to node, and one note that a node's notes tree gives. Times
// are ticks of the transport clock.
struct VoiceState
{
    quint32 elementId = 0; // the voice group itself (a voice just placed) or the edge travelled
    quint64 departure = 0;
    quint64 arrival = 0; // departure plus the element's travel time
    quint8 pitch = 0;
    quint8 velocity = 0;
    double velocityScale = 1.0; // applied to the velocity when a note is sent
    quint64 duration = 0;
    quint32 instrumentId = 0;

    // The velocity a note is sent with: scaled, rounded half away from zero and kept in the
    // MIDI range.
    quint8 scaledVelocity() const
    {
        const double scaled = std::round(double(velocity) * velocityScale);
        if (!(scaled > 0.0)) // also NaN
            return 0;
        return quint8(std::min(scaled, 127.0));
    }
};

// One voice of a group's pool: its number (1 to 24) and its state.
struct Voice
{
    quint32 id = 0;
    VoiceState state;
};

#endif // VOICESTATE_H
