#include "MidiInput.h"
#include "MidiOutput.h"
#include "MidiSystem.h"

#include <QTest>

using Platform::MidiSystem;

// With no MIDI system at all the program still runs: lists hold only its own port names, every
// open fails, nothing throws.
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
        QCOMPARE(
            MidiIO<RtMidiIn>::ports(),
            QSet<QString>({QStringLiteral("Kelvo Input"), QStringLiteral("Kelvo Synthesizer")}));
        QCOMPARE(MidiIO<RtMidiOut>::ports(), QSet<QString>({QStringLiteral("Kelvo Output")}));
        uint number = 7;
        QVERIFY(!MidiIO<RtMidiOut>::findPortNumber(QStringLiteral("Kelvo Output"), &number));
        QCOMPARE(number, 7u);

        MidiInput in;
        QVERIFY(!in.openPort(QStringLiteral("Kelvo Input")));
        QCOMPARE(in.port(), QString());
        MidiOutput out;
        QVERIFY(!out.openPort(QStringLiteral("Kelvo Output")));
        QVERIFY(!out.write(InstrumentMsg()));
        QVERIFY(MidiIO<RtMidiIn>::macCloseVirtualPorts());
        QVERIFY(MidiIO<RtMidiOut>::macCloseVirtualPorts());

        bool threw = false;
        try {
            delete MidiSystem::createInput();
        } catch (const RtMidiError&) {
            threw = true; // creation reports it; the port layer above catches it
        }
        QVERIFY(threw);
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
