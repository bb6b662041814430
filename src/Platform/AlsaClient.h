#ifndef PLATFORM_ALSACLIENT_H
#define PLATFORM_ALSACLIENT_H

#include "SystemMidiInput.h"

#include <QString>

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct _snd_seq snd_seq_t;
typedef struct snd_seq_event snd_seq_event_t;

namespace Platform {

// The program's one client on the ALSA sequencer, called "Kelvo": every port of the program's
// on ALSA is a port of this client, so patchbays see one client with the same port names in
// every run. The port lists are read through it (no other client is ever opened for them), and
// a thread of its own reads what arrives at its ports and hands it to each port's receiver, and
// follows the sequencer's announcements of clients and ports that come and go.
//
// Every call may come from any thread; the sequencer handle is shared under a mutex, except by
// the reading thread, which alone takes events in.
class AlsaClient
{
public:
    using Receiver = SystemMidiInput::Receiver;

    // Opens the client; null, with `problem` set to a message for the user, on failure.
    static std::shared_ptr<AlsaClient> open(QString* problem);
    ~AlsaClient();
    AlsaClient(const AlsaClient&) = delete;
    AlsaClient& operator=(const AlsaClient&) = delete;

    static const char* name();
    int clientId() const { return m_clientId; }

    // The ports of the sequencer that the program can receive from (`input` true) or send to,
    // the client's own among them, each named "Client:Port C:P" (with the client and port
    // numbers). Ports hidden from other programs and the system's own are left out.
    std::vector<std::string> midiPorts(bool input);

    // Makes a port of the client called `portName`: one that receives (`input`) or sends. A
    // port that others may connect to (`open`) is offered to them; the program connects its
    // other ports itself. Returns the port's number; throws RtMidiError on failure.
    int createPort(const std::string& portName, bool input, bool open);
    void deletePort(int port);
    void renamePort(int port, const std::string& portName);
    // Connects the client's port to the sequencer port named `target` ("Client:Port C:P"):
    // from it for an input, to it for an output. Throws RtMidiError on failure.
    void connect(int port, bool input, const std::string& target);

    // What arrives at an input port goes to `receiver`, on the client's thread, until it is
    // set to null; setting it waits for a delivery under way to that port to end.
    void setReceiver(int port, Receiver receiver, void* userData);
    void setIgnoredTypes(int port, bool sysex, bool timing, bool sensing);

    // Sends one event from the client's port `port` to every port connected to it, at once.
    // Returns the library's error code (0 or negative).
    int send(int port, snd_seq_event_t* event);

    // Called on a thread of the client's own, after clients or ports of other programs came,
    // went or changed, once for every such burst; a call may use this client.
    void setPortsChanged(std::function<void()> changed);
    // How many such changes the client has seen.
    quint64 portChanges() const { return m_portChanges.load(); }

private:
    AlsaClient() = default;

    struct PortSlot
    {
        std::atomic<Receiver> receiver {nullptr};
        std::atomic<void*> userData {nullptr};
        std::atomic<bool> ignoreSysex {true};
        std::atomic<bool> ignoreTiming {true};
        std::atomic<bool> ignoreSensing {true};
        quint64 lastNs = 0; // the reading thread's own
    };

    // What the thread that tells of port changes shares with the client; it may outlive the
    // client when a call it makes lets the client go.
    struct Notifier
    {
        std::mutex mutex;
        std::condition_variable condition;
        std::function<void()> portsChanged;
        bool changed = false;
        bool stop = false;
    };

    void read();
    void deliver(const snd_seq_event_t& event, void* decoder);
    static void notify(std::shared_ptr<Notifier> notifier);
    static int parseAddress(const std::string& systemName, int* client, int* port);

    snd_seq_t* m_seq = nullptr;
    int m_clientId = -1;
    int m_announcePort = -1;
    int m_stopFd = -1;
    // Guards the handle for every call but the reading thread's input.
    std::mutex m_mutex;
    // Held while an event is handed to a port's receiver.
    std::mutex m_deliveryMutex;
    std::array<PortSlot, 256> m_ports;

    std::shared_ptr<Notifier> m_notifier = std::make_shared<Notifier>();
    std::atomic<quint64> m_portChanges {0};

    std::thread m_reader;
    std::thread m_notifierThread;
};

} // namespace Platform

#endif // PLATFORM_ALSACLIENT_H
