#include "MidiInput.h"
#include "MidiOutput.h"
#include "MidiSynth.h"
#include "MidiSystem.h"
#include "SystemMidiInput.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <vector>

using Platform::MidiSystem;

// With no MIDI system at all the program still runs: lists hold only its own port names, ports
// of other programs fail to open, nothing throws, and the program's own outputs still reach its
// virtual inputs (the built-in synthesizer among them) inside the program.
class TestMidiNoSystem : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // JACK chosen, and no server of that name runs.
        qputenv("KELVO_MIDI_API", "jack");
        qputenv("JACK_DEFAULT_SERVER", "kelvo-no-such-server");
        QCOMPARE(MidiSystem::api(), MidiSystem::NoApi);
    }

    void everythingFailsCleanly()
    {
        QVERIFY(!MidiIO<RtMidiIn>::macOpenVirtualPorts());
        QVERIFY(!MidiIO<RtMidiOut>::macOpenVirtualPorts());
        const QString input = QStringLiteral("Kelvo Input");
        const QString synth = QStringLiteral("Kelvo Synthesizer");
        QCOMPARE(MidiIO<RtMidiIn>::ports(), QSet<QString>({input, synth}));
        QCOMPARE(MidiIO<RtMidiOut>::ports(),
                 QSet<QString>({QStringLiteral("Kelvo Output"), input, synth}));
        uint number = 7;
        QVERIFY(!MidiIO<RtMidiOut>::findPortNumber(QStringLiteral("Kelvo Output"), &number));
        QCOMPARE(number, 7u);

        MidiInput in;
        QVERIFY(in.openPort(input));
        MidiOutput out;
        QVERIFY(!out.openPort(QStringLiteral("Kelvo Output")));
        QVERIFY(!out.openPort(QStringLiteral("Other:port")));
        QVERIFY(!out.write(InstrumentMsg()));
        QVERIFY(in.closePort());
        QVERIFY(MidiIO<RtMidiIn>::macCloseVirtualPorts());
        QVERIFY(MidiIO<RtMidiOut>::macCloseVirtualPorts());
        QVERIFY(!out.openPort(input)); // gone with the virtual ports

        bool threw = false;
        try {
            delete MidiSystem::createInput();
        } catch (const RtMidiError&) {
            threw = true; // creation reports it; the port layer above catches it
        }
        QVERIFY(threw);
        QCOMPARE(MidiSystem::problem(), QString()); // no server is nothing to complain about
    }

    // An instrument's output on the synthesizer's port reaches the synthesizer inside the
    // program, and the notes sound: the synthesizer's rendering is not silent.
    void synthesizerPlaysWithoutMidiSystem()
    {
        MidiSynth synth(nullptr, MidiSynth::NoAudioOutput);
        QTRY_VERIFY_WITH_TIMEOUT(synth.isReady(), 20000);
        if (synth.instrumentCount() == 0)
            QSKIP("no General MIDI SoundFont on this machine");
        MidiIO<RtMidiIn>::macOpenVirtualPorts();
        MidiIO<RtMidiOut>::macOpenVirtualPorts();
        const QString port = QStringLiteral("Kelvo Synthesizer");
        MidiInput synthInput;
        QVERIFY(synthInput.openPort(port));
        synth.setMidiInput(&synthInput);

        const auto loudness = [&synth] {
            std::vector<float> left(4096), right(4096);
            float peak = 0;
            for (int block = 0; block < 8; ++block) {
                synth.render(left.data(), right.data(), int(left.size()));
                for (std::size_t i = 0; i < left.size(); ++i)
                    peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
            }
            return peak;
        };
        QCOMPARE(loudness(), 0.f);

        MidiOutput instrument;
        QVERIFY(instrument.openPort(port));
        QBitArray channels(16);
        channels.setBit(2);
        instrument.setChannels(channels);
        InstrumentMsg program;
        program.kind = InstrumentMsg::ProgramChange;
        program.program = 0;
        InstrumentMsg note;
        note.kind = InstrumentMsg::NoteOn;
        note.data1 = 60;
        note.data2 = 110;
        QVERIFY(instrument.write({program, note}));
        QTRY_VERIFY(loudness() > 0.001f);

        synth.setMidiInput(nullptr);
        QVERIFY(instrument.closePort());
        QVERIFY(synthInput.closePort());
        MidiIO<RtMidiIn>::macCloseVirtualPorts();
        MidiIO<RtMidiOut>::macCloseVirtualPorts();
    }

    void alsaNamesDropTheirAddress_data()
    {
        QTest::addColumn<QString>("systemName");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("client");
        QTest::newRow("through") << "Midi Through:Midi Through Port-0 14:0"
                                 << "Midi Through:Midi Through Port-0"
                                 << "14";
        QTest::newRow("renumbered") << "FLUID Synth (812):Synth input port (812:0) 131:0"
                                    << "FLUID Synth (812):Synth input port (812:0)"
                                    << "131";
        QTest::newRow("no address") << "Odd:Port"
                                    << "Odd:Port"
                                    << "";
    }

    void alsaNamesDropTheirAddress()
    {
        QFETCH(QString, systemName);
        QFETCH(QString, name);
        QFETCH(QString, client);
        QCOMPARE(MidiSystem::displayName(MidiSystem::Alsa, systemName.toStdString()), name);
        QCOMPARE(MidiSystem::clientKey(MidiSystem::Alsa, systemName.toStdString()), client);
    }

    void jackNamesStayWhole()
    {
        const std::string name = "Kelvo-01:Kelvo Input";
        QCOMPARE(MidiSystem::displayName(MidiSystem::Jack, name), QString("Kelvo-01:Kelvo Input"));
        QCOMPARE(MidiSystem::clientKey(MidiSystem::Jack, name), QString("Kelvo-01"));
    }
};

QTEST_GUILESS_MAIN(TestMidiNoSystem)
#include "tst_midinosystem.moc"
