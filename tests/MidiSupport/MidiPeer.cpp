#include "MidiPeer.h"

#include <QDeadlineTimer>
#include <QStringList>
#include <QThread>

MidiPeer::MidiPeer(const char* clientName)
    : m_in(new RtMidiIn(RtMidi::UNIX_JACK, clientName, 4096))
    , m_out(new RtMidiOut(RtMidi::UNIX_JACK, clientName))
{
    m_in->ignoreTypes(false, false, false);
}

unsigned int MidiPeer::portCount(bool input)
{
    return input ? m_in->getPortCount() : m_out->getPortCount();
}

QStringList MidiPeer::portNames(bool input)
{
    RtMidi& midi = input ? static_cast<RtMidi&>(*m_in) : static_cast<RtMidi&>(*m_out);
    QStringList names;
    for (unsigned int i = 0; i < midi.getPortCount(); ++i)
        names.append(QString::fromStdString(midi.getPortName(i)));
    return names;
}

int MidiPeer::find(RtMidi& midi, const QString& port)
{
    for (unsigned int i = 0; i < midi.getPortCount(); ++i) {
        const QString name = QString::fromStdString(midi.getPortName(i));
        if (name.section(QLatin1Char(':'), 1) == port)
            return int(i);
    }
    return -1;
}

bool MidiPeer::connectOutput(const QString& port)
{
    const int index = find(*m_out, port);
    if (index < 0)
        return false;
    m_out->openPort(unsigned(index), "peer out");
    return true;
}

void MidiPeer::send(const QByteArray& bytes)
{
    m_out->sendMessage(reinterpret_cast<const unsigned char*>(bytes.constData()), bytes.size());
}

bool MidiPeer::connectInput(const QString& port)
{
    const int index = find(*m_in, port);
    if (index < 0)
        return false;
    m_in->openPort(unsigned(index), "peer in");
    return true;
}

QList<QByteArray> MidiPeer::receive(int count, int timeoutMs)
{
    QList<QByteArray> messages;
    const QDeadlineTimer deadline(timeoutMs);
    std::vector<unsigned char> message;
    while (messages.size() < count && !deadline.hasExpired()) {
        m_in->getMessage(&message);
        if (message.empty())
            QThread::msleep(2);
        else
            messages.append(QByteArray(reinterpret_cast<const char*>(message.data()),
                                       qsizetype(message.size())));
    }
    return messages;
}
