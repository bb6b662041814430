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
    QMutexLocker flagsLocker(&m_ignoreTypesMutex);
    QMutexLocker locker(&record->mutex);
    applyIgnoreTypes(*record, m_ignoreTypes);
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
    // A delivery that began before this input left the port's users may still be pushing to
    // it; once it is over, nothing reaches this input any more.
    if (record)
        record->relay->waitForDelivery();
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
    if (sharedMidi()) {
        QMutexLocker locker(&m_messagesMutex);
        // A full queue holds one more than the limit.
        if (m_messages.size() <= m_maxMessages)
            m_messages.append(message);
    }
    emit readyRead(this);
}

void MidiInput::applyIgnoreTypes(SharedMidi& record, IgnoreTypes types)
{
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
    QMutexLocker locker(&m_ignoreTypesMutex);
    return m_ignoreTypes;
}

void MidiInput::setIgnoreTypes(IgnoreTypes types)
{
    QMutexLocker flagsLocker(&m_ignoreTypesMutex);
    m_ignoreTypes = types;
    if (const QSharedPointer<SharedMidi> record = sharedMidi()) {
        QMutexLocker locker(&record->mutex);
        applyIgnoreTypes(*record, types);
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
