#ifndef REPEATEDNOTEOFF_H
#define REPEATEDNOTEOFF_H

#include <QByteArray>

#include <cstddef>

// After the server was late with a cycle, Kelvo's JACK outputs send the note-offs of notes
// ended lately once more, with release velocity 64 where Kelvo's own have 0. Tests that
// compare what arrives message by message leave those out.
inline bool isRepeatedNoteOff(const unsigned char* bytes, std::size_t size)
{
    return size == 3 && (bytes[0] & 0xf0) == 0x80 && bytes[2] == 0x40;
}

inline bool isRepeatedNoteOff(const QByteArray& bytes)
{
    return isRepeatedNoteOff(reinterpret_cast<const unsigned char*>(bytes.constData()),
                             std::size_t(bytes.size()));
}

#endif // REPEATEDNOTEOFF_H
