#ifndef FEEDBACKMSG_H
#define FEEDBACKMSG_H

#include <QtGlobal>

// A timed message from a voice group to the display, queued in the controller's feedback pipe
// and shown when the clock reaches its time.
struct FeedbackMsg
{
    enum Kind : quint32 {
        NoteSounded = 0, // a voice arrived at a node (muted or not)
        NoteEnded = 1, // the note's note-off was handed over, or a muted arrival ended
        VoiceDeparted = 2, // a voice was placed on its group or left a node along an edge
        VoiceFreed = 3, // a voice went back to the pool
        VoicesExhausted = 4, // an edge wanted a voice and none was free
    };

    quint32 kind = NoteSounded;
    quint64 time = 0; // ticks
    quint32 voiceGroupId = 0;
    quint32 voiceId = 0; // 0 for VoicesExhausted
    quint32 nodeId = 0; // NoteSounded and NoteEnded only
    quint32 instrumentId = 0; // NoteSounded and NoteEnded only
    quint8 pitch = 0;
    quint8 velocity = 0; // scaled
    quint64 duration = 0;
};

#endif // FEEDBACKMSG_H
