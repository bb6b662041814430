#ifndef MIDIINPUT_H
#define MIDIINPUT_H

#include "MidiIO.h"

#include <QList>
#include <QMetaType>
#include <QMutex>
#include <QObject>
#include <QVector>

#include <atomic>
#include <vector>

// One received MIDI message.
struct MidiInputMessage
{
    // Seconds since the previous message the port passed, which may be one of a kind this
    // input ignores (another input on the port wanted it).
    double deltaTime = 0.0;
    QVector<uchar> bytes;
    // The keyboard modifiers held, read on the GUI thread by whoever takes the message there;
    // the MIDI thread leaves them empty (the keyboard state belongs to the GUI thread).
    Qt::KeyboardModifiers modifiers;
    quint64 hostTimeNs = 0; // host time of the arrival (Platform::hostTimeNs)
};
Q_DECLARE_METATYPE(MidiInputMessage)

// Receives MIDI from one named input port. Messages arrive on a MIDI thread, are stamped there
// and handed to every input open on the port; each queues them (at most 1025 held) and emits
// readyRead() for every message, queued or dropped, on that thread. Readers connected directly
// run on the MIDI thread: they must be thread-safe and quick.
class MidiInput : public QObject, public MidiIO<RtMidiIn>
{
    Q_OBJECT

public:
    // The kinds of message an input drops. Each input on a shared port has its own: the port
    // lets through every kind that one of its inputs wants, and each input drops what it
    // ignores itself.
    enum IgnoreType {
        IgnoreSysex = 1,
        IgnoreTiming = 2, // time code quarter frames and timing clock
        IgnoreActiveSensing = 4,
    };
    Q_DECLARE_FLAGS(IgnoreTypes, IgnoreType)

    explicit MidiInput(QObject* parent = nullptr);
    ~MidiInput() override;

    bool openPort(const QString& name) override;
    // Closing empties the queue.
    bool closePort() override;

    bool hasMessages() const;
    bool peekMessage(MidiInputMessage& message) const;
    bool readMessage(MidiInputMessage& message);
    QList<MidiInputMessage> readMessages(int max);
    QList<MidiInputMessage> takeMessages();

    IgnoreTypes ignoreTypes() const;
    void setIgnoreTypes(IgnoreTypes types);

    int maxMessages() const;
    // Drops the newest messages beyond `max`.
    void setMaxMessages(int max);

signals:
    void readyRead(MidiInput* input);

private:
    static void midiCallback(double deltaTime, const std::vector<unsigned char>& bytes,
                             quint64 hostTimeNs, void* userData);
    void pushMessage(const MidiInputMessage& message);
    bool ignores(const QVector<uchar>& bytes) const;
    // Has the port drop only the kinds every input open on it ignores (all of them when none
    // is open). The caller holds the record's mutex.
    static void applyIgnoreTypes(SharedMidi& record);
    void clearMessages();

    QList<MidiInputMessage> m_messages; // oldest first
    int m_maxMessages = 1024;
    mutable QMutex m_messagesMutex; // guards the two fields above
    // IgnoreTypes; read on the MIDI thread for every message, and by the other inputs of the
    // port when they work out what it lets through.
    std::atomic<int> m_ignoreTypes {IgnoreSysex | IgnoreTiming | IgnoreActiveSensing};
};

Q_DECLARE_OPERATORS_FOR_FLAGS(MidiInput::IgnoreTypes)

#endif // MIDIINPUT_H
