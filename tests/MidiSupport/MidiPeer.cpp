#include "MidiPeer.h"

#include "RepeatedNoteOff.h"

#include <QDeadlineTimer>
#include <QStringList>
#include <QThread>

#include <jack/jack.h>

#include <utility>

MidiPeer::MidiPeer(const char* clientName)
    : m_in(new RtMidiIn(RtMidi::UNIX_JACK, clientName, 4096))
    , m_out(new RtMidiOut(RtMidi::UNIX_JACK, clientName))
{
    m_in->ignoreTypes(false, false, false);
    // A callback rather than the library's own queue, whose indexes are not atomic.
    m_in->setCallback(&MidiPeer::arrived, this);
}

MidiPeer::~MidiPeer()
{
    m_in->closePort();
    m_in->cancelCallback();
}

void MidiPeer::arrived(double delta, std::vector<unsigned char>* message, void* peer)
{
    auto* self = static_cast<MidiPeer*>(peer);
    const std::lock_guard<std::mutex> locker(self->m_arrivedMutex);
    self->m_clockMs += delta * 1000.0;
    if (isRepeatedNoteOff(message->data(), message->size()))
        return;
    self->m_arrived.append(
        {QByteArray(reinterpret_cast<const char*>(message->data()), qsizetype(message->size())),
         self->m_clockMs});
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

// The server takes a new connection into its graph at the start of a cycle; what is sent
// before then reaches nobody. Waits until three periods have passed on the server's clock.
void MidiPeer::awaitConnection()
{
    jack_client_t* client = jack_client_open("PeerClock", JackNoStartServer, nullptr);
    if (!client)
        return;
    const jack_nframes_t start = jack_frame_time(client);
    const jack_nframes_t wait = 3 * jack_get_buffer_size(client);
    const QDeadlineTimer deadline(3000);
    while (jack_frame_time(client) - start < wait && !deadline.hasExpired())
        QThread::msleep(1);
    jack_client_close(client);
}

bool MidiPeer::connectOutput(const QString& port)
{
    const int index = find(*m_out, port);
    if (index < 0)
        return false;
    m_out->openPort(unsigned(index), "peer out");
    awaitConnection();
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
    awaitConnection();
    return true;
}

QList<QByteArray> MidiPeer::receive(int count, int timeoutMs)
{
    QList<QByteArray> messages;
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        for (const TimedMessage& message : takeTimed())
            messages.append(message.bytes);
        if (messages.size() >= count || deadline.hasExpired())
            return messages;
        QThread::msleep(2);
    }
}

bool MidiPeer::awaitDelivery(const std::function<void()>& send)
{
    const QDeadlineTimer deadline(10000);
    do {
        send();
        if (!receive(1, 50).isEmpty())
            return true;
    } while (!deadline.hasExpired());
    return false;
}

void MidiPeer::openInput(const QString& name)
{
    m_in->openVirtualPort(name.toStdString());
}

QList<MidiPeer::TimedMessage> MidiPeer::takeTimed()
{
    const std::lock_guard<std::mutex> locker(m_arrivedMutex);
    return std::exchange(m_arrived, {});
}
