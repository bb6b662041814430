#include "AlsaClient.h"

#include "HostTime.h"

#include <QCoreApplication>

#include <RtMidi.h>
#include <alsa/asoundlib.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace Platform {

namespace {

const char* const clientName = "Kelvo";

[[noreturn]] void fail(const std::string& what, int error)
{
    throw RtMidiError("AlsaClient: " + what + ": " + snd_strerror(error),
                      RtMidiError::DRIVER_ERROR);
}

// The announcements of the sequencer that change the port lists.
bool changesPorts(const snd_seq_event_t& event)
{
    switch (event.type) {
    case SND_SEQ_EVENT_CLIENT_START:
    case SND_SEQ_EVENT_CLIENT_EXIT:
    case SND_SEQ_EVENT_CLIENT_CHANGE:
    case SND_SEQ_EVENT_PORT_START:
    case SND_SEQ_EVENT_PORT_EXIT:
    case SND_SEQ_EVENT_PORT_CHANGE:
        return true;
    default:
        return false;
    }
}

bool isTiming(snd_seq_event_type_t type)
{
    return type == SND_SEQ_EVENT_CLOCK || type == SND_SEQ_EVENT_TICK
        || type == SND_SEQ_EVENT_QFRAME;
}

} // namespace

const char* AlsaClient::name()
{
    return clientName;
}

std::shared_ptr<AlsaClient> AlsaClient::open(QString* problem)
{
    std::shared_ptr<AlsaClient> client(new AlsaClient);
    auto refuse = [problem](const char* what, int error) {
        if (problem)
            *problem
                = QCoreApplication::translate("MidiSystem",
                                              "The ALSA sequencer could not be used (%1: %2).")
                      .arg(QString::fromLatin1(what), QString::fromLocal8Bit(snd_strerror(error)));
        return nullptr;
    };
    int error = snd_seq_open(&client->m_seq, "default", SND_SEQ_OPEN_DUPLEX, 0);
    if (error < 0) {
        client->m_seq = nullptr;
        return refuse("open", error);
    }
    snd_seq_set_client_name(client->m_seq, clientName);
    client->m_clientId = snd_seq_client_id(client->m_seq);

    // A port of the client's own, hidden from other programs, hears of clients and ports that
    // come and go.
    client->m_announcePort = snd_seq_create_simple_port(
        client->m_seq, "Kelvo Announcements", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
        SND_SEQ_PORT_TYPE_APPLICATION);
    if (client->m_announcePort < 0)
        return refuse("port", client->m_announcePort);
    error = snd_seq_connect_from(client->m_seq, client->m_announcePort, SND_SEQ_CLIENT_SYSTEM,
                                 SND_SEQ_PORT_SYSTEM_ANNOUNCE);
    if (error < 0)
        return refuse("announcements", error);

    client->m_stopFd = eventfd(0, EFD_CLOEXEC);
    if (client->m_stopFd < 0)
        return refuse("eventfd", -errno);
    client->m_reader = std::thread(&AlsaClient::read, client.get());
    client->m_notifierThread = std::thread(&AlsaClient::notify, client->m_notifier);
    return client;
}

AlsaClient::~AlsaClient()
{
    {
        const std::lock_guard<std::mutex> locker(m_notifier->mutex);
        m_notifier->stop = true;
        m_notifier->portsChanged = nullptr;
    }
    m_notifier->condition.notify_all();
    if (m_stopFd >= 0) {
        const uint64_t one = 1;
        if (::write(m_stopFd, &one, sizeof one) < 0)
            std::perror("AlsaClient: eventfd");
    }
    if (m_reader.joinable())
        m_reader.join();
    // The last port may go from a listener that the client's own thread is telling.
    if (m_notifierThread.joinable()) {
        if (m_notifierThread.get_id() == std::this_thread::get_id())
            m_notifierThread.detach();
        else
            m_notifierThread.join();
    }
    if (m_stopFd >= 0)
        ::close(m_stopFd);
    if (m_seq)
        snd_seq_close(m_seq);
}

std::vector<std::string> AlsaClient::midiPorts(bool input)
{
    // An input receives from ports that can be read, an output sends to ports that can be
    // written.
    const unsigned int wanted = input ? SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ
                                      : SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
    const unsigned int midiTypes
        = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_SYNTH | SND_SEQ_PORT_TYPE_APPLICATION;
    std::vector<std::string> names;
    snd_seq_client_info_t* clientInfo;
    snd_seq_port_info_t* portInfo;
    snd_seq_client_info_alloca(&clientInfo);
    snd_seq_port_info_alloca(&portInfo);
    const std::lock_guard<std::mutex> locker(m_mutex);
    snd_seq_client_info_set_client(clientInfo, -1);
    while (snd_seq_query_next_client(m_seq, clientInfo) >= 0) {
        const int client = snd_seq_client_info_get_client(clientInfo);
        if (client == SND_SEQ_CLIENT_SYSTEM)
            continue;
        snd_seq_port_info_set_client(portInfo, client);
        snd_seq_port_info_set_port(portInfo, -1);
        while (snd_seq_query_next_port(m_seq, portInfo) >= 0) {
            const unsigned int caps = snd_seq_port_info_get_capability(portInfo);
            if ((caps & wanted) != wanted || (caps & SND_SEQ_PORT_CAP_NO_EXPORT))
                continue;
            if (!(snd_seq_port_info_get_type(portInfo) & midiTypes))
                continue;
            names.push_back(std::string(snd_seq_client_info_get_name(clientInfo)) + ':'
                            + snd_seq_port_info_get_name(portInfo) + ' ' + std::to_string(client)
                            + ':' + std::to_string(snd_seq_port_info_get_port(portInfo)));
        }
    }
    return names;
}

int AlsaClient::createPort(const std::string& portName, bool input, bool open)
{
    unsigned int caps = input ? SND_SEQ_PORT_CAP_WRITE : SND_SEQ_PORT_CAP_READ;
    if (open)
        caps |= input ? SND_SEQ_PORT_CAP_SUBS_WRITE : SND_SEQ_PORT_CAP_SUBS_READ;
    snd_seq_port_info_t* info;
    snd_seq_port_info_alloca(&info);
    snd_seq_port_info_set_name(info, portName.c_str());
    snd_seq_port_info_set_capability(info, caps);
    snd_seq_port_info_set_type(info,
                               SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    snd_seq_port_info_set_midi_channels(info, 16);
    int error = 0;
    {
        const std::lock_guard<std::mutex> locker(m_mutex);
        error = snd_seq_create_port(m_seq, info);
    }
    if (error < 0)
        fail("cannot make the port " + portName, error);
    const int port = snd_seq_port_info_get_port(info);
    if (port < 0 || port >= int(m_ports.size())) {
        deletePort(port);
        fail("too many ports", -ENOSPC);
    }
    return port;
}

void AlsaClient::deletePort(int port)
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    snd_seq_delete_simple_port(m_seq, port);
}

void AlsaClient::renamePort(int port, const std::string& portName)
{
    snd_seq_port_info_t* info;
    snd_seq_port_info_alloca(&info);
    const std::lock_guard<std::mutex> locker(m_mutex);
    if (snd_seq_get_port_info(m_seq, port, info) < 0)
        return;
    snd_seq_port_info_set_name(info, portName.c_str());
    snd_seq_set_port_info(m_seq, port, info);
}

int AlsaClient::parseAddress(const std::string& systemName, int* client, int* port)
{
    const std::size_t space = systemName.rfind(' ');
    if (space == std::string::npos
        || std::sscanf(systemName.c_str() + space + 1, "%d:%d", client, port) != 2)
        return -EINVAL;
    return 0;
}

void AlsaClient::connect(int port, bool input, const std::string& target)
{
    int client = 0;
    int targetPort = 0;
    int error = parseAddress(target, &client, &targetPort);
    if (error == 0) {
        const std::lock_guard<std::mutex> locker(m_mutex);
        error = input ? snd_seq_connect_from(m_seq, port, client, targetPort)
                      : snd_seq_connect_to(m_seq, port, client, targetPort);
    }
    if (error < 0)
        fail("cannot connect to " + target, error);
}

void AlsaClient::setReceiver(int port, Receiver receiver, void* userData)
{
    if (port < 0 || port >= int(m_ports.size()))
        return;
    PortSlot& slot = m_ports[std::size_t(port)];
    const std::lock_guard<std::mutex> locker(m_deliveryMutex);
    slot.userData.store(userData);
    slot.receiver.store(receiver);
    slot.lastNs = 0;
}

void AlsaClient::setIgnoredTypes(int port, bool sysex, bool timing, bool sensing)
{
    if (port < 0 || port >= int(m_ports.size()))
        return;
    PortSlot& slot = m_ports[std::size_t(port)];
    slot.ignoreSysex.store(sysex);
    slot.ignoreTiming.store(timing);
    slot.ignoreSensing.store(sensing);
}

int AlsaClient::send(int port, snd_seq_event_t* event)
{
    snd_seq_ev_set_source(event, port);
    snd_seq_ev_set_subs(event);
    snd_seq_ev_set_direct(event);
    const std::lock_guard<std::mutex> locker(m_mutex);
    const int error = snd_seq_event_output_direct(m_seq, event);
    return error < 0 ? error : 0;
}

void AlsaClient::setPortsChanged(std::function<void()> changed)
{
    const std::lock_guard<std::mutex> locker(m_notifier->mutex);
    m_notifier->portsChanged = std::move(changed);
}

void AlsaClient::read()
{
    snd_midi_event_t* decoder = nullptr;
    if (snd_midi_event_new(256, &decoder) < 0)
        return;
    snd_midi_event_no_status(decoder, 1); // every message with its own status byte

    const int count = snd_seq_poll_descriptors_count(m_seq, POLLIN);
    std::vector<pollfd> fds(std::size_t(count) + 1);
    snd_seq_poll_descriptors(m_seq, fds.data(), unsigned(count), POLLIN);
    fds[std::size_t(count)] = {m_stopFd, POLLIN, 0};
    for (;;) {
        if (::poll(fds.data(), nfds_t(fds.size()), -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[std::size_t(count)].revents)
            break;
        // A sequencer that fails for good would wake the poll at once, for ever.
        bool failed = false;
        for (int i = 0; i < count; ++i)
            failed = failed || (fds[std::size_t(i)].revents & (POLLERR | POLLHUP | POLLNVAL));
        if (failed) {
            std::fprintf(stderr, "AlsaClient: the sequencer failed; no more MIDI input\n");
            break;
        }
        // The handle blocks: it is read once the poll says there is something, and then for
        // as long as its buffer holds more.
        do {
            snd_seq_event_t* event = nullptr;
            const int result = snd_seq_event_input(m_seq, &event);
            if (result == -ENOSPC)
                continue; // the kernel's queue overflowed: what was lost is lost
            if (result < 0 || !event)
                break;
            if (event->source.client == SND_SEQ_CLIENT_SYSTEM) {
                if (changesPorts(*event) && event->data.addr.client != m_clientId) {
                    m_portChanges.fetch_add(1);
                    {
                        const std::lock_guard<std::mutex> locker(m_notifier->mutex);
                        m_notifier->changed = true;
                    }
                    m_notifier->condition.notify_all();
                }
                continue;
            }
            deliver(*event, decoder);
        } while (snd_seq_event_input_pending(m_seq, 0) > 0);
    }
    snd_midi_event_free(decoder);
}

void AlsaClient::deliver(const snd_seq_event_t& event, void* decoderHandle)
{
    const int port = event.dest.port;
    if (port < 0 || port >= int(m_ports.size()))
        return;
    PortSlot& slot = m_ports[std::size_t(port)];
    if ((event.type == SND_SEQ_EVENT_SYSEX && slot.ignoreSysex.load())
        || (isTiming(event.type) && slot.ignoreTiming.load())
        || (event.type == SND_SEQ_EVENT_SENSING && slot.ignoreSensing.load()))
        return;
    unsigned char buffer[256];
    const unsigned char* bytes = buffer;
    long size = 0;
    if (event.type == SND_SEQ_EVENT_SYSEX) {
        bytes = static_cast<const unsigned char*>(event.data.ext.ptr);
        size = long(event.data.ext.len);
    } else {
        auto* decoder = static_cast<snd_midi_event_t*>(decoderHandle);
        snd_midi_event_reset_decode(decoder);
        size = snd_midi_event_decode(decoder, buffer, sizeof buffer, &event);
    }
    if (size <= 0)
        return; // not a MIDI message
    const quint64 now = hostTimeNs();
    const std::lock_guard<std::mutex> locker(m_deliveryMutex);
    const Receiver receiver = slot.receiver.load();
    if (!receiver)
        return;
    const double delta = slot.lastNs == 0 ? 0.0 : double(now - slot.lastNs) / 1e9;
    slot.lastNs = now;
    receiver(delta, bytes, std::size_t(size), slot.userData.load());
}

void AlsaClient::notify(std::shared_ptr<Notifier> notifier)
{
    std::unique_lock<std::mutex> locker(notifier->mutex);
    for (;;) {
        notifier->condition.wait(locker, [&] { return notifier->changed || notifier->stop; });
        // A program that starts makes its client and then its ports one by one: the
        // announcements of one burst are taken together.
        notifier->condition.wait_for(locker, std::chrono::milliseconds(50),
                                     [&] { return notifier->stop; });
        if (notifier->stop)
            return;
        notifier->changed = false;
        const std::function<void()> changed = notifier->portsChanged;
        locker.unlock();
        if (changed)
            changed();
        locker.lock();
    }
}

} // namespace Platform
