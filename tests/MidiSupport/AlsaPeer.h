#ifndef ALSAPEER_H
#define ALSAPEER_H

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <condition_variable>
#include <mutex>
#include <thread>

typedef struct _snd_seq snd_seq_t;
typedef struct snd_midi_event snd_midi_event_t;

// Another program on the ALSA sequencer, a client of its own under a name of its choice, talking
// to Kelvo's ports the way any sequencer client would. Its ports are named; what arrives on
// them is recorded on a thread of the peer's own, and the system's announcements (clients and
// ports that start and exit) are counted once watchAnnounce() has subscribed to them. Ports of
// other clients are named as Kelvo shows them, "Client:Port", without ALSA's numbers.
class AlsaPeer
{
public:
    enum PortKind {
        Writable, // other programs send to it; what arrives is recorded
        Readable, // other programs receive from it; send() goes out through it
    };

    struct Port
    {
        int number = -1;
        QString name;
        unsigned int capability = 0; // SND_SEQ_PORT_CAP_*

        // Whether other programs can connect to it to send to it, and to receive from it.
        bool othersCanWrite() const;
        bool othersCanRead() const;
    };
    struct Client
    {
        int id = -1;
        QString name;
        int pid = -1; // the process of a user-space client; -1 for the kernel's
        QList<Port> ports;
    };
    struct Message
    {
        QByteArray bytes; // one MIDI message, status byte first
        quint64 ns = 0; // CLOCK_MONOTONIC when the peer read it (the clock of hostTimeNs)
        QString port; // the peer's port it arrived on
    };
    enum AnnounceKind { ClientStart, ClientExit, ClientChange, PortStart, PortExit, PortChange };
    struct Announcement
    {
        AnnounceKind kind;
        int client;
        int port; // -1 for a client's announcement
    };

    // Opens the client; isOpen() tells whether it worked and error() why not.
    explicit AlsaPeer(const QString& clientName = QStringLiteral("Peer"));
    ~AlsaPeer();
    AlsaPeer(const AlsaPeer&) = delete;
    AlsaPeer& operator=(const AlsaPeer&) = delete;

    bool isOpen() const;
    QString error() const;
    int clientId() const; // -1 while closed

    // Makes the port `name`; its number, or -1.
    int openPort(const QString& name, PortKind kind);
    // Closes the whole client, as when a device is unplugged, and opens it again under the same
    // name with the same ports under the same numbers and the same watch; connections to and
    // from the peer are not made again.
    void closeClient();
    bool reopenClient();

    // Sends raw MIDI bytes (one or more messages) through the peer's port `port` to everyone
    // subscribed to it, at once.
    bool send(const QString& port, const QByteArray& bytes);

    // What has arrived on the peer's ports, oldest first, at least `count` messages unless
    // `timeoutMs` runs out first; taken out of the record.
    QList<Message> receive(int count, int timeoutMs = 3000);
    QList<Message> takeReceived();

    // Every client on the sequencer with its ports, by client number, as `aconnect -l` shows
    // them.
    QList<Client> clients() const;

    // Subscribes to the system's announce port (client 0, port 1).
    bool watchAnnounce();
    int announced(AnnounceKind kind) const;
    void clearAnnouncements();
    // Waits until every announcement the system made before the call has been recorded: makes
    // and removes a port of the peer's own and waits for its exit (both are left out of the
    // record). The sequencer announces in the order things happen.
    bool settleAnnouncements(int timeoutMs = 3000);

private:
    struct OwnPort
    {
        QString name;
        PortKind kind;
        int number;
    };

    bool open();
    // Makes a port, under `number` when it is not -1; its number or -1. Under m_mutex.
    int createPort(const QString& name, unsigned int capability, int number);
    const OwnPort* ownPort(const QString& name) const; // under m_mutex
    QList<Client> clientsLocked() const;
    bool subscribeAnnounce(); // under m_mutex
    int countLocked(AnnounceKind kind) const;
    void run(); // the reader thread
    void readEvents(); // under m_mutex

    const QString m_name;
    mutable std::mutex m_mutex; // guards everything below but m_thread and m_wakeFd
    std::condition_variable m_changed; // a message or an announcement was recorded
    snd_seq_t* m_seq = nullptr;
    snd_midi_event_t* m_decoder = nullptr;
    snd_midi_event_t* m_encoder = nullptr;
    QString m_error;
    QList<OwnPort> m_ports; // in the order made
    int m_announcePort = -1; // the port subscribed to the announcements
    bool m_watching = false;
    int m_settlePort = -1; // the port settleAnnouncements() waits for
    bool m_settled = false;
    QList<Message> m_received;
    QList<Announcement> m_announcements;
    std::thread m_thread;
    int m_wakeFd = -1; // ends the reader thread's wait
};

#endif // ALSAPEER_H
