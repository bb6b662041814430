#include "MidiInput.h"

#include "MidiInputRelay.h"

#include <QMutexLocker>

MidiInput::MidiInput(QObject* parent)
    : QObject(parent)
{ }

MidiInput::~MidiInput()
{
    closePort();
}

bool MidiInput::openPort(const QString& name)
{
    if (!MidiIO<RtMidiIn>::openPort(name))
        return false;
    const QSharedPointer<SharedMidi> record = sharedMidi();
    if (!record)
        return false; // closed again at once by another thread
    QMutexLocker locker(&record->mutex);
    applyIgnoreTypes(*record);
    // One callback serves every input on the port; setting it again changes nothing.
    record->relay->setCallback(&MidiInput::midiCallback, record.data());
    return true;
}

bool MidiInput::closePort()
{
    const QSharedPointer<SharedMidi> record = sharedMidi();
    if (record) {
        QMutexLocker locker(&record->mutex);
        QMutexLocker usersLocker(&record->usersMutex);
        if (record->users.size() == 1 && record->users.contains(this))
            record->relay->cancelCallback();
    }
    const bool closed = MidiIO<RtMidiIn>::closePort();
    if (record) {
        {
            // What this input wanted may be what no other one does.
            QMutexLocker locker(&record->mutex);
            applyIgnoreTypes(*record);
        }
        // A delivery that began before this input left the port's users may still be pushing
        // to it; once it is over, nothing reaches this input any more.
        record->relay->waitForDelivery();
    }
    clearMessages();
    return closed;
}

void MidiInput::midiCallback(double deltaTime, const std::vector<unsigned char>& bytes,
                             quint64 hostTimeNs, void* userData)
{
    SharedMidi* record = static_cast<SharedMidi*>(userData);
    MidiInputMessage message;
    message.deltaTime = deltaTime;
    message.bytes = QVector<uchar>(bytes.begin(), bytes.end());
    message.hostTimeNs = hostTimeNs;
    // A copy of its own, not a shared one, so that nothing of the set is read outside its lock.
    std::vector<MidiIO<RtMidiIn>*> users;
    {
        QMutexLocker locker(&record->usersMutex);
        users.assign(record->users.cbegin(), record->users.cend());
    }
    for (MidiIO<RtMidiIn>* user : users) {
        if (MidiInput* input = dynamic_cast<MidiInput*>(user))
            input->pushMessage(message);
    }
}

void MidiInput::pushMessage(const MidiInputMessage& message)
{
    // The port passes what any of its inputs wants; this one may not want it.
    if (ignores(message.bytes))
        return;
    if (sharedMidi()) {
        QMutexLocker locker(&m_messagesMutex);
        // A full queue holds one more than the limit.
        if (m_messages.size() <= m_maxMessages)
            m_messages.append(message);
    }
    emit readyRead(this);
}

bool MidiInput::ignores(const QVector<uchar>& bytes) const
{
    if (bytes.isEmpty())
        return false;
    const IgnoreTypes types = ignoreTypes();
    switch (bytes.first()) {
    case 0xf0:
        return types.testFlag(IgnoreSysex);
    case 0xf1:
    case 0xf8:
        return types.testFlag(IgnoreTiming);
    case 0xfe:
        return types.testFlag(IgnoreActiveSensing);
    default:
        return false;
    }
}

void MidiInput::applyIgnoreTypes(SharedMidi& record)
{
    int ignored = IgnoreSysex | IgnoreTiming | IgnoreActiveSensing;
    {
        QMutexLocker usersLocker(&record.usersMutex);
        for (const MidiIO<RtMidiIn>* user : std::as_const(record.users)) {
            if (const auto* input = dynamic_cast<const MidiInput*>(user))
                ignored &= input->m_ignoreTypes.load();
        }
    }
    const IgnoreTypes types = IgnoreTypes::fromInt(ignored);
    record.relay->setIgnoreTypes(types.testFlag(IgnoreSysex), types.testFlag(IgnoreTiming),
                                 types.testFlag(IgnoreActiveSensing));
}

void MidiInput::clearMessages()
{
    QMutexLocker locker(&m_messagesMutex);
    m_messages.clear();
}

bool MidiInput::hasMessages() const
{
    QMutexLocker locker(&m_messagesMutex);
    return !m_messages.isEmpty();
}

bool MidiInput::peekMessage(MidiInputMessage& message) const
{
    QMutexLocker locker(&m_messagesMutex);
    if (m_messages.isEmpty())
        return false;
    message = m_messages.first();
    return true;
}

bool MidiInput::readMessage(MidiInputMessage& message)
{
    QMutexLocker locker(&m_messagesMutex);
    if (m_messages.isEmpty())
        return false;
    message = m_messages.takeFirst();
    return true;
}

QList<MidiInputMessage> MidiInput::readMessages(int max)
{
    QMutexLocker locker(&m_messagesMutex);
    QList<MidiInputMessage> result;
    while (result.size() < max && !m_messages.isEmpty())
        result.append(m_messages.takeFirst());
    return result;
}

QList<MidiInputMessage> MidiInput::takeMessages()
{
    QMutexLocker locker(&m_messagesMutex);
    return std::exchange(m_messages, {});
}

MidiInput::IgnoreTypes MidiInput::ignoreTypes() const
{
    return IgnoreTypes::fromInt(m_ignoreTypes.load());
}

void MidiInput::setIgnoreTypes(IgnoreTypes types)
{
    // Stored before the port is told: whichever of several changes reaches the port last has
    // them all.
    m_ignoreTypes.store(types.toInt());
    if (const QSharedPointer<SharedMidi> record = sharedMidi()) {
        QMutexLocker locker(&record->mutex);
        applyIgnoreTypes(*record);
    }
}

int MidiInput::maxMessages() const
{
    QMutexLocker locker(&m_messagesMutex);
    return m_maxMessages;
}

void MidiInput::setMaxMessages(int max)
{
    QMutexLocker locker(&m_messagesMutex);
    while (m_messages.size() > qMax(max, 0))
        m_messages.removeLast();
    m_maxMessages = max;
}
