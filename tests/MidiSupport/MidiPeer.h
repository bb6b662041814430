#ifndef MIDIPEER_H
#define MIDIPEER_H

#include <QByteArray>
#include <QList>
#include <QString>

#include <RtMidi.h>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// Another program on the test's JACK server, talking to Kelvo's ports the way any JACK MIDI
// client would: it finds a port by the name after the client part ("Kelvo Synthesizer" matches
// "Kelvo-01:Kelvo Synthesizer") and connects to it. Note-offs repeated after a late cycle
// (RepeatedNoteOff.h) are left out of what it receives.
class MidiPeer
{
public:
    explicit MidiPeer(const char* clientName = "Peer");
    ~MidiPeer();

    // The number of JACK MIDI ports other programs can send to (`input` false) or receive from.
    unsigned int portCount(bool input);
    // Lists the full JACK names of one direction.
    QStringList portNames(bool input);

    // Connects the peer's output to the port called `port`; false when there is none.
    bool connectOutput(const QString& port);
    void send(const QByteArray& bytes);
    // Connects the peer's input to the port called `port`.
    bool connectInput(const QString& port);
    // What has arrived on the peer's input within `timeoutMs`, at least `count` messages unless
    // the time runs out; one QByteArray per message.
    QList<QByteArray> receive(int count, int timeoutMs = 3000);

    // A new connection carries messages only from one of the server's later cycles on. Calls
    // `send`, which sends something that changes nothing (a controller reset, say), until
    // something arrives, 10 s at most; what arrived is dropped.
    bool awaitDelivery(const std::function<void()>& send);

    // Opens an input port of the peer's own, called `name`, that other programs send to.
    void openInput(const QString& name);
    struct TimedMessage
    {
        QByteArray bytes;
        double ms; // arrival, in milliseconds after the first message the peer received
    };
    // What has arrived on the peer's input so far, without waiting.
    QList<TimedMessage> takeTimed();

private:
    static int find(RtMidi& midi, const QString& port);
    static void awaitConnection();
    // Runs on the server's process thread.
    static void arrived(double delta, std::vector<unsigned char>* message, void* peer);

    // Made before the library objects: the input's thread starts with them.
    std::mutex m_arrivedMutex;
    QList<TimedMessage> m_arrived; // guarded by m_arrivedMutex
    double m_clockMs = 0; // the sum of the time differences; guarded the same
    std::unique_ptr<RtMidiIn> m_in;
    std::unique_ptr<RtMidiOut> m_out;
};

#endif // MIDIPEER_H
