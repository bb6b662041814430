#ifndef MIDIPORTNAMES_H
#define MIDIPORTNAMES_H

#include <QObject>
#include <QString>

// The program's virtual MIDI ports and the built-in synthesizer's port, translated.
namespace MidiPortNames {

inline QString inputPortName()
{
    return QObject::tr("Kelvo Input");
}
inline QString outputPortName()
{
    return QObject::tr("Kelvo Output");
}
inline QString synthesizerPortName()
{
    return QObject::tr("Kelvo Synthesizer");
}

} // namespace MidiPortNames

#endif // MIDIPORTNAMES_H
