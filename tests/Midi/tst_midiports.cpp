#include "JackTestServer.h"
#include "MidiInput.h"
#include "MidiOutput.h"
#include "MidiPeer.h"
#include "MidiSystem.h"

#include <QDeadlineTimer>
#include <QTest>

#include <functional>
#include <memory>

using Platform::MidiSystem;

namespace {

const QString input = QStringLiteral("Kelvo Input");
const QString synth = QStringLiteral("Kelvo Synthesizer");
const QString output = QStringLiteral("Kelvo Output");

InstrumentMsg noteOn(quint8 pitch)
{
    InstrumentMsg m;
    m.kind = InstrumentMsg::NoteOn;
    m.data1 = pitch;
    m.data2 = 100;
    return m;
}

QBitArray channel1()
{
    QBitArray mask(16);
    mask.setBit(0);
    return mask;
}

// The pitches of the note ons that reach `in`, waiting for `count` of them.
QList<int> pitchesArriving(MidiInput& in, int count)
{
    QList<int> pitches;
    const QDeadlineTimer deadline(10000);
    while (pitches.size() < count && !deadline.hasExpired()) {
        for (const MidiInputMessage& m : in.takeMessages()) {
            if ((m.bytes.value(0) & 0xf0) == 0x90)
                pitches.append(m.bytes.value(1));
        }
        if (pitches.size() < count)
            QTest::qWait(5);
    }
    return pitches;
}

// The note messages that reach `peer`, waiting for `count` of them; controllers are left out.
QList<QByteArray> notesArriving(MidiPeer& peer, int count)
{
    QList<QByteArray> notes;
    const QDeadlineTimer deadline(10000);
    while (notes.size() < count && !deadline.hasExpired()) {
        for (const QByteArray& bytes : peer.receive(1, 50)) {
            if (!bytes.isEmpty() && (uchar(bytes.at(0)) & 0xe0) == 0x80)
                notes.append(bytes);
        }
    }
    return notes;
}

// A connection that another program makes carries messages only from one of the server's
// later cycles on: what is sent before is lost. Sends a controller that changes nothing
// (reset all controllers) until one has arrived.
bool untilConnected(const std::function<void()>& send, const std::function<bool()>& arrived)
{
    const QDeadlineTimer deadline(10000);
    do {
        send();
        if (QTest::qWaitFor(arrived, 50))
            return true;
    } while (!deadline.hasExpired());
    return false;
}

bool untilConnected(MidiPeer& from, MidiInput& to)
{
    const bool connected = untilConnected([&from] { from.send(QByteArray("\xb0\x79\x00", 3)); },
                                          [&to] { return to.hasMessages(); });
    to.takeMessages();
    return connected;
}

bool untilConnected(MidiOutput& from, MidiPeer& to)
{
    InstrumentMsg reset;
    reset.kind = InstrumentMsg::ControlChange;
    reset.data1 = 121;
    return to.awaitDelivery([&] { from.write(reset); });
}

} // namespace

class TestMidiPorts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_server.start(&error), qPrintable(error));
        // Another program's client with a port of the same name as ours: ours must still be
        // told apart from it.
        m_impostor = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, "Other");
        m_impostor->openVirtualPort("Kelvo Input");
        QCOMPARE(MidiSystem::api(), MidiSystem::Jack);
        QVERIFY(MidiIO<RtMidiIn>::macOpenVirtualPorts());
        QVERIFY(MidiIO<RtMidiOut>::macOpenVirtualPorts());
    }

    void cleanupTestCase()
    {
        QVERIFY(MidiIO<RtMidiIn>::macCloseVirtualPorts());
        QVERIFY(MidiIO<RtMidiOut>::macCloseVirtualPorts());
        MidiPeer peer;
        const QStringList left = peer.portNames(false) + peer.portNames(true);
        QCOMPARE(left.filter(QStringLiteral("Kelvo")), QStringList({"Other:Kelvo Input"}));
    }

    void ownPortsListedByBareNamesInTheirDirection()
    {
        MidiOutput connected; // its connection port must not show in any list
        QVERIFY(connected.openPort(synth));

        const QStringList outputs = MidiSystem::portNames(false);
        QCOMPARE(outputs.count(input), 1);
        QCOMPARE(outputs.count(synth), 1);
        QVERIFY(outputs.contains(QStringLiteral("Other:Kelvo Input"))); // not ours
        QVERIFY(!outputs.contains(output));
        const QStringList inputs = MidiSystem::portNames(true);
        QCOMPARE(inputs.count(output), 1);
        QVERIFY(!inputs.contains(synth));
        for (const QString& name : outputs + inputs) {
            if (!name.isNull()) // our connection ports are listed null
                QVERIFY2(!name.startsWith(QStringLiteral("Kelvo-")), qPrintable(name));
        }

        QCOMPARE(MidiIO<RtMidiIn>::ports(),
                 QSet<QString>(inputs.cbegin(), inputs.cend()).unite({input, synth})
                     - QSet<QString>({QString()}));
        QVERIFY(MidiIO<RtMidiOut>::ports().contains(output));
        uint number = 99;
        QVERIFY(MidiIO<RtMidiOut>::findPortNumber(input, &number));
        QCOMPARE(outputs.indexOf(input), int(number));
    }

    void otherProgramsReachTheVirtualPorts()
    {
        MidiInput synthInput;
        QVERIFY(synthInput.openPort(synth));
        MidiPeer peer;
        QVERIFY(peer.connectOutput(synth));
        QVERIFY(untilConnected(peer, synthInput));
        peer.send(QByteArray("\x90\x3c\x40", 3));
        QCOMPARE(pitchesArriving(synthInput, 1), QList<int>({0x3c}));

        MidiOutput kelvoOutput;
        QVERIFY(kelvoOutput.openPort(output));
        kelvoOutput.setChannels(channel1());
        QVERIFY(peer.connectInput(output));
        QVERIFY(untilConnected(kelvoOutput, peer));
        QVERIFY(kelvoOutput.write(noteOn(0x41)));
        QCOMPARE(notesArriving(peer, 1), QList<QByteArray>({QByteArray("\x90\x41\x64", 3)}));
    }

    void outputsOnOneNameShareOnePort()
    {
        MidiPeer peer;
        const unsigned int before = peer.portCount(true); // counts our connection ports too
        MidiInput listener;
        QVERIFY(listener.openPort(input));

        MidiOutput first;
        MidiOutput second;
        QVERIFY(first.openPort(input));
        QVERIFY(second.openPort(input));
        QCOMPARE(second.sharedMidi(), first.sharedMidi());
        QCOMPARE(peer.portCount(true), before + 1);

        QVERIFY(first.closePort());
        second.setChannels(channel1());
        QVERIFY(second.write(noteOn(60)));
        QCOMPARE(pitchesArriving(listener, 1), QList<int>({60}));
        QCOMPARE(peer.portCount(true), before + 1);

        QVERIFY(second.closePort());
        QCOMPARE(peer.portCount(true), before);
        QVERIFY(!second.closePort());
        QVERIFY(!second.write(noteOn(61)));
    }

    void inputAndOutputOnOneNameStayApart()
    {
        MidiInput in;
        MidiOutput out;
        QVERIFY(in.openPort(synth));
        QVERIFY(out.openPort(synth));
        QVERIFY(static_cast<void*>(in.sharedMidi()->midi)
                != static_cast<void*>(out.sharedMidi()->midi));
        out.setChannels(channel1());
        QVERIFY(out.write(noteOn(62)));
        QCOMPARE(pitchesArriving(in, 1), QList<int>({62}));
        QVERIFY(out.closePort()); // releases pitch 62 to `in`
        QVERIFY(in.sharedMidi());

        MidiPeer peer;
        QVERIFY(peer.connectOutput(synth));
        QVERIFY(untilConnected(peer, in));
        peer.send(QByteArray("\x90\x3f\x40", 3));
        QCOMPARE(pitchesArriving(in, 1), QList<int>({0x3f}));
    }

    void virtualPortOutlivesItsUsers()
    {
        QWeakPointer<MidiIO<RtMidiIn>::SharedMidi> record;
        {
            MidiInput a;
            MidiInput b;
            QVERIFY(a.openPort(input));
            QVERIFY(b.openPort(input));
            QCOMPARE(a.sharedMidi(), b.sharedMidi());
            record = a.sharedMidi();
        }
        QVERIFY(record.toStrongRef());
        MidiInput again;
        QVERIFY(again.openPort(input));
        QCOMPARE(again.sharedMidi(), record.toStrongRef());
        MidiPeer peer;
        QVERIFY(peer.connectOutput(input));
    }

    void openAndCloseRefuseWhatTheyCannotDo()
    {
        MidiOutput out;
        QVERIFY(!out.closePort());
        QVERIFY(!out.openPort(QStringLiteral("No Such Port")));
        QCOMPARE(out.port(), QString());
        QVERIFY(!out.openPort(input.toLower())); // names are case-sensitive
        QVERIFY(out.openPort(synth));
        QVERIFY(!out.openPort(input));
        QCOMPARE(out.port(), synth);
        QVERIFY(out.closePort());
        QCOMPARE(out.port(), QString());
    }

private:
    JackTestServer m_server;
    std::unique_ptr<RtMidiIn> m_impostor;
};

QTEST_GUILESS_MAIN(TestMidiPorts)
#include "tst_midiports.moc"
