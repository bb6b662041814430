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

const MidiEvent* MidiEvent::entryEvent(const QEvent* event)
{
    const auto* midi = dynamic_cast<const MidiEvent*>(event);
    if (!midi || midi->m_bytes.isEmpty() || midi->m_bytes.first() < 0x80)
        return nullptr;
    for (qsizetype i = 1; i < midi->m_bytes.size(); ++i) {
        if (midi->m_bytes.at(i) >= 0x80)
            return nullptr;
    }
    return midi;
}
