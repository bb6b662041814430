#ifndef RENDER_H
#define RENDER_H

#include <QString>

// Plays the network in `document` for `seconds` of its own time without a MIDI system and
// writes what its instruments would have sent to `midiFile`. Returns the process status.
int renderMidi(const QString& document, double seconds, const QString& midiFile);

#endif // RENDER_H
