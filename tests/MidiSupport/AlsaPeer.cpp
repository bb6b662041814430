#include "AlsaPeer.h"

#include <alsa/asoundlib.h>

#include <QThread>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <utility>
#include <vector>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

quint64 monotonicNs()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return quint64(ts.tv_sec) * 1000000000u + quint64(ts.tv_nsec);
}

unsigned int capabilityOf(AlsaPeer::PortKind kind)
{
    return kind == AlsaPeer::Writable ? SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE
                                      : SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
}

} // namespace

bool AlsaPeer::Port::othersCanWrite() const
{
    return (capability & capabilityOf(Writable)) == capabilityOf(Writable);
}

bool AlsaPeer::Port::othersCanRead() const
{
    return (capability & capabilityOf(Readable)) == capabilityOf(Readable);
}

AlsaPeer::AlsaPeer(const QString& clientName)
    : m_name(clientName)
{
    open();
}

AlsaPeer::~AlsaPeer()
{
    closeClient();
}

bool AlsaPeer::isOpen() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_seq != nullptr;
}

QString AlsaPeer::error() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_error;
}

int AlsaPeer::clientId() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_seq ? snd_seq_client_id(m_seq) : -1;
}

bool AlsaPeer::open()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_seq)
        return true;
    const int opened = snd_seq_open(&m_seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK);
    if (opened < 0) {
        m_seq = nullptr;
        m_error = QStringLiteral("cannot open the ALSA sequencer: %1").arg(snd_strerror(opened));
        return false;
    }
    snd_seq_set_client_name(m_seq, m_name.toUtf8().constData());
    snd_midi_event_new(4096, &m_decoder);
    snd_midi_event_no_status(m_decoder, 1); // every message with its status byte
    snd_midi_event_new(4096, &m_encoder);
    // The ports come back under their numbers, before any port the sequencer numbers itself.
    for (OwnPort& port : m_ports)
        port.number = createPort(port.name, capabilityOf(port.kind), port.number);
    if (m_watching)
        subscribeAnnounce();

    std::vector<pollfd> fds(size_t(snd_seq_poll_descriptors_count(m_seq, POLLIN)) + 1);
    snd_seq_poll_descriptors(m_seq, fds.data(), unsigned(fds.size() - 1), POLLIN);
    m_wakeFd = eventfd(0, EFD_CLOEXEC);
    fds.back() = pollfd {m_wakeFd, POLLIN, 0};
    m_thread = std::thread([this, fds]() mutable {
        while (poll(fds.data(), fds.size(), -1) >= 0 || errno == EINTR) {
            if (fds.back().revents != 0)
                return;
            std::lock_guard<std::mutex> lock(m_mutex);
            readEvents();
        }
    });
    m_error.clear();
    return true;
}

void AlsaPeer::closeClient()
{
    if (m_thread.joinable()) {
        const eventfd_t one = 1;
        eventfd_write(m_wakeFd, one);
        m_thread.join();
        ::close(m_wakeFd);
        m_wakeFd = -1;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_seq)
        return;
    snd_seq_close(m_seq);
    m_seq = nullptr;
    snd_midi_event_free(m_decoder);
    snd_midi_event_free(m_encoder);
    m_decoder = m_encoder = nullptr;
    m_announcePort = -1;
}

bool AlsaPeer::reopenClient()
{
    closeClient();
    return open();
}

int AlsaPeer::createPort(const QString& name, unsigned int capability, int number)
{
    snd_seq_port_info_t* info;
    snd_seq_port_info_alloca(&info);
    snd_seq_port_info_set_name(info, name.toUtf8().constData());
    snd_seq_port_info_set_capability(info, capability);
    snd_seq_port_info_set_type(info,
                               SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    if (number >= 0) {
        snd_seq_port_info_set_port(info, number);
        snd_seq_port_info_set_port_specified(info, 1);
    }
    if (snd_seq_create_port(m_seq, info) < 0)
        return -1;
    return snd_seq_port_info_get_port(info);
}

const AlsaPeer::OwnPort* AlsaPeer::ownPort(const QString& name) const
{
    for (const OwnPort& port : m_ports) {
        if (port.name == name && port.number >= 0)
            return &port;
    }
    return nullptr;
}

int AlsaPeer::openPort(const QString& name, PortKind kind)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_seq || ownPort(name))
        return -1;
    const int number = createPort(name, capabilityOf(kind), -1);
    if (number >= 0)
        m_ports.append(OwnPort {name, kind, number});
    return number;
}

bool AlsaPeer::send(const QString& port, const QByteArray& bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const OwnPort* own = ownPort(port);
    if (!m_seq || !own)
        return false;
    snd_midi_event_reset_encode(m_encoder);
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    for (const char byte : bytes) {
        if (snd_midi_event_encode_byte(m_encoder, uchar(byte), &event) != 1)
            continue;
        snd_seq_ev_set_source(&event, own->number);
        snd_seq_ev_set_subs(&event);
        snd_seq_ev_set_direct(&event);
        if (snd_seq_event_output_direct(m_seq, &event) < 0)
            return false;
        snd_seq_ev_clear(&event);
    }
    return true;
}

void AlsaPeer::readEvents()
{
    for (;;) {
        snd_seq_event_t* event = nullptr;
        const int read = snd_seq_event_input(m_seq, &event);
        if (read == -ENOSPC) // the input overran: what was lost is gone
            continue;
        if (read < 0 || !event)
            break;
        const quint64 now = monotonicNs();
        if (event->dest.port == m_announcePort) {
            const snd_seq_addr_t& addr = event->data.addr;
            Announcement announcement {ClientStart, addr.client, -1};
            switch (event->type) {
            case SND_SEQ_EVENT_CLIENT_START:
                break;
            case SND_SEQ_EVENT_CLIENT_EXIT:
                announcement.kind = ClientExit;
                break;
            case SND_SEQ_EVENT_CLIENT_CHANGE:
                announcement.kind = ClientChange;
                break;
            case SND_SEQ_EVENT_PORT_START:
                announcement = {PortStart, addr.client, addr.port};
                break;
            case SND_SEQ_EVENT_PORT_EXIT:
                announcement = {PortExit, addr.client, addr.port};
                break;
            case SND_SEQ_EVENT_PORT_CHANGE:
                announcement = {PortChange, addr.client, addr.port};
                break;
            default: // subscriptions
                continue;
            }
            if (announcement.port >= 0 && announcement.port == m_settlePort
                && announcement.client == snd_seq_client_id(m_seq)) {
                m_settled = m_settled || announcement.kind == PortExit;
            } else {
                m_announcements.append(announcement);
            }
        } else {
            unsigned char bytes[4096];
            snd_midi_event_reset_decode(m_decoder);
            const long size = snd_midi_event_decode(m_decoder, bytes, sizeof bytes, event);
            if (size <= 0)
                continue;
            QString port;
            for (const OwnPort& own : m_ports) {
                if (own.number == event->dest.port)
                    port = own.name;
            }
            m_received.append(
                Message {QByteArray(reinterpret_cast<const char*>(bytes), int(size)), now, port});
        }
        m_changed.notify_all();
    }
}

QList<AlsaPeer::Message> AlsaPeer::receive(int count, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                       [&] { return m_received.size() >= count; });
    return std::exchange(m_received, {});
}

QList<AlsaPeer::Message> AlsaPeer::takeReceived()
{
    return receive(0, 0);
}

QList<AlsaPeer::Client> AlsaPeer::clientsLocked() const
{
    QList<Client> clients;
    if (!m_seq)
        return clients;
    snd_seq_client_info_t* clientInfo;
    snd_seq_client_info_alloca(&clientInfo);
    snd_seq_port_info_t* portInfo;
    snd_seq_port_info_alloca(&portInfo);
    snd_seq_client_info_set_client(clientInfo, -1);
    while (snd_seq_query_next_client(m_seq, clientInfo) >= 0) {
        Client client;
        client.id = snd_seq_client_info_get_client(clientInfo);
        client.name = QString::fromUtf8(snd_seq_client_info_get_name(clientInfo));
        client.pid = snd_seq_client_info_get_type(clientInfo) == SND_SEQ_USER_CLIENT
            ? snd_seq_client_info_get_pid(clientInfo)
            : -1;
        snd_seq_port_info_set_client(portInfo, client.id);
        snd_seq_port_info_set_port(portInfo, -1);
        while (snd_seq_query_next_port(m_seq, portInfo) >= 0) {
            client.ports.append(Port {snd_seq_port_info_get_port(portInfo),
                                      QString::fromUtf8(snd_seq_port_info_get_name(portInfo)),
                                      snd_seq_port_info_get_capability(portInfo)});
        }
        clients.append(client);
    }
    return clients;
}

QList<AlsaPeer::Client> AlsaPeer::clients() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return clientsLocked();
}

bool AlsaPeer::subscribeAnnounce()
{
    if (m_announcePort < 0)
        m_announcePort = createPort(QStringLiteral("announce"),
                                    SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT, -1);
    return m_announcePort >= 0
        && snd_seq_connect_from(m_seq, m_announcePort, SND_SEQ_CLIENT_SYSTEM,
                                SND_SEQ_PORT_SYSTEM_ANNOUNCE)
        >= 0;
}

bool AlsaPeer::watchAnnounce()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_seq || m_watching)
        return m_watching;
    m_watching = subscribeAnnounce();
    return m_watching;
}

int AlsaPeer::countLocked(AnnounceKind kind) const
{
    int count = 0;
    for (const Announcement& announcement : m_announcements)
        count += announcement.kind == kind ? 1 : 0;
    return count;
}

int AlsaPeer::announced(AnnounceKind kind) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return countLocked(kind);
}

void AlsaPeer::clearAnnouncements()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_announcements.clear();
}

bool AlsaPeer::settleAnnouncements(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_seq || !m_watching)
        return false;
    m_settled = false;
    m_settlePort = createPort(QStringLiteral("settle"), 0, -1);
    if (m_settlePort < 0)
        return false;
    snd_seq_delete_port(m_seq, m_settlePort);
    const bool settled = m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                            [this] { return m_settled; });
    m_settlePort = -1;
    return settled;
}
