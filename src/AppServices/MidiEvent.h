#ifndef MIDIEVENT_H
#define MIDIEVENT_H

#include <QEvent>
#include <QInputEvent>
#include <QVector>

// One received MIDI message, sent synchronously to the focus widget for MIDI entry. Its type,
// 1000 (QEvent::User), is also used by the MVC events: receivers recognise it with
// dynamic_cast. The receiver neither deletes nor keeps it.
class MidiEvent : public QInputEvent
{
public:
    static constexpr QEvent::Type MidiEventType = QEvent::User;

    // modifiers: the keyboard modifiers held when the message was taken; deltaTime: seconds
    // since the previous message on the port; bytes: the whole message, status byte first.
    MidiEvent(Qt::KeyboardModifiers modifiers, double deltaTime, const QVector<uchar>& bytes);
    ~MidiEvent() override;

    MidiEvent* clone() const override;

    // The event as a MIDI-entry event when it is one and carries a well-formed message: a
    // status byte (0x80 or more) followed by data bytes below 0x80; null otherwise.
    static const MidiEvent* entryEvent(const QEvent* event);

    double deltaTime() const { return m_deltaTime; }
    const QVector<uchar>& bytes() const { return m_bytes; }

protected:
    MidiEvent(const MidiEvent& other);

private:
    double m_deltaTime;
    QVector<uchar> m_bytes;
};

#endif // MIDIEVENT_H
