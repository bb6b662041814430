#ifndef MIDIPEER_H
#define MIDIPEER_H

#include <QByteArray>
#include <QList>
#include <QString>

#include <RtMidi.h>

#include <memory>

// Another program on the test's JACK server, talking to Kelvo's ports the way any JACK MIDI
// client would: it finds a port by the name after the client part ("Kelvo Synthesizer" matches
// "Kelvo-01:Kelvo Synthesizer") and connects to it.
class MidiPeer
{
public:
    explicit MidiPeer(const char* clientName = "Peer");

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

private:
    static int find(RtMidi& midi, const QString& port);

    std::unique_ptr<RtMidiIn> m_in;
    std::unique_ptr<RtMidiOut> m_out;
};

#endif // MIDIPEER_H
