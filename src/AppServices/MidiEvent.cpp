#include "MidiEvent.h"

MidiEvent::MidiEvent(Qt::KeyboardModifiers modifiers, double deltaTime, const QVector<uchar>& bytes)
    : QInputEvent(MidiEventType, nullptr, modifiers)
    , m_deltaTime(deltaTime)
    , m_bytes(bytes)
{ }

MidiEvent::MidiEvent(const MidiEvent& other) = default;

MidiEvent::~MidiEvent() = default;

MidiEvent* MidiEvent::clone() const
{
    return new MidiEvent(*this);
}
