#include "JackTestServer.h"
#include "MidiInput.h"
#include "MidiPeer.h"
#include "MidiSynth.h"
#include "MusicDevice.h"

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// The energy of `frames` rendered frames of the left channel.
double renderEnergy(MidiSynth& synth, int frames)
{
    std::vector<float> left(static_cast<size_t>(frames)), right(static_cast<size_t>(frames));
    synth.render(left.data(), right.data(), frames);
    double energy = 0;
    for (float v : left)
        energy += double(v) * v;
    return energy;
}

using Change = QPair<int, MidiInstrumentId>;

QList<Change> changes(QSignalSpy& spy)
{
    QList<Change> list;
    for (const QList<QVariant>& args : spy)
        list.append({args.at(0).toInt(), args.at(1).value<MidiInstrumentId>()});
    return list;
}

} // namespace

class TestMidiSynth : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_server.start(&error), qPrintable(error));
        QVERIFY(MidiIO<RtMidiIn>::macOpenVirtualPorts());
        m_synth = new MidiSynth(nullptr, MidiSynth::NoAudioOutput);
        // Loading the sound bank takes far longer than returning from the constructor.
        QVERIFY(!m_synth->isReady());
        QTRY_VERIFY_WITH_TIMEOUT(m_synth->isReady(), 30000);
        QVERIFY(m_input.openPort(QStringLiteral("Kelvo Synthesizer")));
        m_synth->setMidiInput(&m_input);
        QCOMPARE(m_synth->midiInput(), &m_input);
        // Made once the server runs: a JACK client made before keeps a buffer of its failed
        // start-up for good.
        m_peer = std::make_unique<MidiPeer>("SynthPeer");
        QVERIFY(m_peer->connectOutput(QStringLiteral("Kelvo Synthesizer")));

        // The server joins the ports in a later cycle: what is sent before is lost. A volume
        // change is sent until one gets through, then a bank select on the same channel, whose
        // signal comes after those of every volume change that arrived.
        QSignalSpy through(m_synth, &MidiSynth::instrumentChanged);
        const QDeadlineTimer deadline(30000);
        while (through.isEmpty() && !deadline.hasExpired()) {
            m_peer->send(QByteArray("\xbf\x07\x64", 3));
            QTest::qWait(20);
        }
        QVERIFY(!through.isEmpty());
        m_peer->send(QByteArray("\xbf\x20\x01", 3));
        QTRY_VERIFY_WITH_TIMEOUT(changes(through).contains(Change(15, 0x000100)), 30000);
    }

    // The signals of what a test set through the synthesizer itself are posted before it
    // returns: the next test's spies never see them.
    void cleanup() { QCoreApplication::sendPostedEvents(); }

    void cleanupTestCase()
    {
        delete m_synth; // disconnects its input itself
        m_peer.reset();
        m_input.closePort();
        QVERIFY(MidiIO<RtMidiIn>::macCloseVirtualPorts());
    }

    void notesFromThePortSound()
    {
        renderEnergy(*m_synth, 4096);
        QCOMPARE(renderEnergy(*m_synth, 1024), 0.0);
        m_peer->send(QByteArray("\x90\x3c\x64", 3));
        double peak = 0;
        const QDeadlineTimer deadline(30000);
        while (peak == 0 && !deadline.hasExpired()) {
            QTest::qWait(10);
            peak = renderEnergy(*m_synth, 1024);
        }
        QVERIFY(peak > 0);
        // The first sounding block may hold just the start of the attack.
        for (int i = 0; i < 8; ++i)
            peak = std::max(peak, renderEnergy(*m_synth, 1024));
        // The note-off has been played once a bank select sent after it has.
        QSignalSpy played(m_synth, &MidiSynth::instrumentChanged);
        m_peer->send(QByteArray("\x80\x3c\x00", 3));
        m_peer->send(QByteArray("\xbf\x20\x02", 3));
        QTRY_VERIFY_WITH_TIMEOUT(changes(played).contains(Change(15, 0x000200)), 30000);
        renderEnergy(*m_synth, 44100); // a second of release
        QVERIFY(renderEnergy(*m_synth, 1024) < peak / 100);
    }

    void channelTableFollowsBankAndProgram()
    {
        QSignalSpy spy(m_synth, &MidiSynth::instrumentChanged);
        // Bank MSB 2, LSB 1, program 5 on channel 3, then volume, which changes nothing; a
        // one-byte message and a system message are not played.
        m_peer->send(QByteArray("\xb3\x00\x02", 3));
        m_peer->send(QByteArray("\xb3\x20\x01", 3));
        m_peer->send(QByteArray("\xc3\x05", 2));
        m_peer->send(QByteArray("\xf8", 1));
        m_peer->send(QByteArray("\xb3\x07\x50", 3));
        QTRY_COMPARE(spy.count(), 4);
        QCOMPARE(changes(spy),
                 QList<Change>({{3, 0x020000}, {3, 0x020100}, {3, 0x020105}, {3, 0x020105}}));
        QCOMPARE(m_synth->channelInstrument(3), 0x020105u);
        m_peer->send(QByteArray("\xc3\x07", 2));
        QTRY_COMPARE(m_synth->channelInstrument(3), 0x020107u);
    }

    void setChannelInstrumentSelectsBankBeforeProgram()
    {
        // The first instrument of a bank other than 0 (a drum kit or a variation, whichever
        // the General MIDI bank has), on a melodic channel: it only sounds if the bank
        // selects reach the device before the program change.
        const MidiInstrumentId other = firstInstrumentBeyondBankZero();
        QVERIFY(other != 0);
        QSignalSpy spy(m_synth, &MidiSynth::instrumentChanged);
        m_synth->setChannelInstrument(0, other);
        QCOMPARE(m_synth->soundingInstrument(0), other);
        QCOMPARE(m_synth->channelInstrument(0), other);
        QTRY_COMPARE(changes(spy), QList<Change>({{0, other}}));
    }

    void drumChannelPlaysWhatWasSet()
    {
        // Channel 10 plays the standard kit until told otherwise; an instrument of the bank
        // set there is the one it plays and reports, melodic or not, whatever the bank.
        m_synth->reset();
        QCOMPARE(m_synth->soundingInstrument(9), 0x010000u);
        const MidiInstrumentId kit = firstInstrumentBeyondBankZero();
        for (const MidiInstrumentId id : {MidiInstrumentId(0x000004), kit,
                                          m_synth->instrumentId(m_synth->instrumentCount() - 1)}) {
            m_synth->setChannelInstrument(9, id);
            QCOMPARE(m_synth->soundingInstrument(9), id);
            QCOMPARE(m_synth->channelInstrument(9), id);
        }
        // The same from the port, as an instrument sends it.
        m_peer->send(QByteArray("\xb9\x00\x00", 3));
        m_peer->send(QByteArray("\xb9\x20\x00", 3));
        m_peer->send(QByteArray("\xc9\x05", 2));
        QTRY_COMPARE(m_synth->channelInstrument(9), 0x000005u);
        QCOMPARE(m_synth->soundingInstrument(9), 0x000005u);
        m_synth->reset();
    }

    void missingInstrumentsPlayASubstitute()
    {
        m_synth->reset();
        // A bank no General MIDI SoundFont has: a melodic channel plays the program of bank 0,
        // channel 10 the kit of that program, else its standard kit; the table keeps what was
        // selected.
        m_synth->setChannelInstrument(3, 0x7F7F05);
        QCOMPARE(m_synth->channelInstrument(3), 0x7F7F05u);
        QCOMPARE(m_synth->soundingInstrument(3), 0x000005u);
        m_synth->setChannelInstrument(9, 0x7F7F7E);
        QCOMPARE(m_synth->soundingInstrument(9),
                 m_synth->instrumentName(0x01007E).isNull() ? 0x010000u : 0x01007Eu);
        m_synth->reset();

        // Without a sound bank a channel plays nothing.
        Platform::MusicDevice none(Platform::MusicDevice::NoAudioOutput,
                                   QStringLiteral("/nonexistent.sf2"));
        none.playMidi(0xC0, 5, 0);
        QCOMPARE(none.channelInstrument(0), Platform::MusicDevice::NoInstrument);
    }

    // At start-up and after a reset every channel's entry is what it plays: the first program
    // of bank 0, and on channel 10 the standard kit (MSB 1, LSB 0, program 0), whose program
    // changes alone then pick kits.
    void resetReturnsEveryChannelToWhatItPlays()
    {
        const auto expected = [](int channel) { return channel == 9 ? 0x010000u : 0u; };
        MidiSynth fresh(nullptr, MidiSynth::NoAudioOutput);
        QTRY_VERIFY_WITH_TIMEOUT(fresh.isReady(), 30000);
        for (int channel = 0; channel < 16; ++channel)
            QCOMPARE(fresh.channelInstrument(channel), expected(channel));

        m_synth->setChannelInstrument(0, 0x000005);
        m_synth->setChannelInstrument(9, 0x000005);
        QCoreApplication::sendPostedEvents(); // their signals go before the spy listens
        QSignalSpy spy(m_synth, &MidiSynth::instrumentChanged);
        m_synth->reset();
        QList<Change> told;
        for (int channel = 0; channel < 16; ++channel) {
            told.append({channel, expected(channel)});
            QCOMPARE(m_synth->channelInstrument(channel), expected(channel));
            QCOMPARE(m_synth->soundingInstrument(channel), expected(channel));
        }
        QTRY_COMPARE(changes(spy), told);

        // A kit's program change without a bank select, as a drum machine sends it.
        MidiInstrumentId kit = 0;
        for (int i = 0; i < m_synth->instrumentCount() && !kit; ++i) {
            const MidiInstrumentId id = m_synth->instrumentId(i);
            if ((id & 0xFFFF00) == 0x010000 && (id & 0x7F) != 0)
                kit = id;
        }
        QVERIFY(kit);
        m_peer->send(QByteArray("\xc9", 1) + char(kit & 0x7F));
        QTRY_COMPARE(m_synth->channelInstrument(9), kit);
        QCOMPARE(m_synth->soundingInstrument(9), kit);
        m_synth->reset();
    }

    void instrumentsComeFromTheSoundBank()
    {
        QVERIFY(m_synth->instrumentCount() > 100); // a General MIDI bank
        QCOMPARE(m_synth->instrumentId(0), 0u); // bank 0, program 0 comes first
        QVERIFY(!m_synth->instrumentName(0).isEmpty());
        const MidiInstrumentId last = m_synth->instrumentId(m_synth->instrumentCount() - 1);
        QCOMPARE(m_synth->instrumentIndex(last), m_synth->instrumentCount() - 1);
        QCOMPARE(m_synth->instrumentIndex(0x7F7F7F), 0);
        QVERIFY(m_synth->instrumentName(0x7F7F7F).isNull());
        QVERIFY(!m_synth->soundBankName().isEmpty());

        Platform::MusicDevice none(Platform::MusicDevice::NoAudioOutput,
                                   QStringLiteral("/nonexistent.sf2"));
        QVERIFY(!none.hasSoundBank());
        QCOMPARE(none.instrumentCount(), 0);
        none.playMidi(0x90, 200, 300); // no bank, clamped bytes: nothing happens
    }

    void idConversions()
    {
        QCOMPARE(midiInstrumentIdToProgramBank(0x010203), 0x030201u);
        QCOMPARE(programBankToMidiInstrumentId(0x030201), 0x010203u);
        QCOMPARE(programBankToMidiInstrumentId(0xFF030201), 0x010203u);
    }

private:
    MidiInstrumentId firstInstrumentBeyondBankZero() const
    {
        for (int i = 0; i < m_synth->instrumentCount(); ++i) {
            if (m_synth->instrumentId(i) & 0x7F7F00)
                return m_synth->instrumentId(i);
        }
        return 0;
    }

    JackTestServer m_server;
    MidiSynth* m_synth = nullptr;
    MidiInput m_input;
    std::unique_ptr<MidiPeer> m_peer;
};

QTEST_MAIN(TestMidiSynth)
#include "tst_midisynth.moc"
