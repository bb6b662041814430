#include "HostTime.h"
#include "JackTestServer.h"
#include "MidiInput.h"
#include "MidiOutput.h"
#include "MidiPeer.h"
#include "RepeatedNoteOff.h"

#include <QTest>

#include <atomic>

namespace {

const QString synth = QStringLiteral("Kelvo Synthesizer");

InstrumentMsg message(quint32 kind, quint8 data1, quint8 data2, quint8 program = 0)
{
    InstrumentMsg m;
    m.kind = kind;
    m.data1 = data1;
    m.data2 = data2;
    m.program = program;
    return m;
}

QBitArray mask(std::initializer_list<int> bits, int size = 16)
{
    QBitArray result(size);
    for (int bit : bits)
        result.setBit(bit);
    return result;
}

// Waits until `in` holds `count` messages (or a second has passed) and takes them as hex.
QStringList collect(MidiInput& in, int count)
{
    QStringList messages;
    for (int waited = 0; waited < 1000; waited += 5) {
        for (const MidiInputMessage& m : in.takeMessages()) {
            QByteArray bytes(reinterpret_cast<const char*>(m.bytes.constData()), m.bytes.size());
            if (!isRepeatedNoteOff(bytes))
                messages.append(QString::fromLatin1(bytes.toHex(' ')));
        }
        if (messages.size() >= count)
            break;
        QTest::qWait(5);
    }
    return messages;
}

} // namespace

class TestMidiInOut : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_server.start(&error), qPrintable(error));
        QVERIFY(MidiIO<RtMidiIn>::macOpenVirtualPorts());
        QVERIFY(m_out.openPort(synth));
        QVERIFY(m_in.openPort(synth));
    }

    void cleanupTestCase()
    {
        m_in.closePort();
        m_out.closePort();
        QVERIFY(MidiIO<RtMidiIn>::macCloseVirtualPorts());
    }

    void init() { m_in.takeMessages(); }

    void encodesEveryKindOnEverySelectedChannel_data()
    {
        QTest::addColumn<InstrumentMsg>("msg");
        QTest::addColumn<QStringList>("wire");
        QTest::newRow("note on") << message(InstrumentMsg::NoteOn, 60, 100)
                                 << QStringList({"90 3c 64", "91 3c 64", "99 3c 64"});
        QTest::newRow("note off") << message(InstrumentMsg::NoteOff, 60, 0)
                                  << QStringList({"80 3c 00", "81 3c 00", "89 3c 00"});
        QTest::newRow("program") << message(InstrumentMsg::ProgramChange, 0, 2, 5)
                                 << QStringList({"b0 00 00", "b0 20 02", "c0 05", "b1 00 00",
                                                 "b1 20 02", "c1 05", "b9 00 00", "b9 20 02",
                                                 "c9 05"});
        QTest::newRow("bend") << message(InstrumentMsg::PitchBend, 0x40, 0x01)
                              << QStringList({"e0 01 40", "e1 01 40", "e9 01 40"});
        QTest::newRow("control") << message(InstrumentMsg::ControlChange, 7, 90)
                                 << QStringList({"b0 07 5a", "b1 07 5a", "b9 07 5a"});
        // Data bytes never reach the wire as 128 or more, where they would read as status.
        QTest::newRow("note clamped") << message(InstrumentMsg::NoteOff, 200, 255)
                                      << QStringList({"80 7f 7f", "81 7f 7f", "89 7f 7f"});
        QTest::newRow("program clamped")
            << message(InstrumentMsg::ProgramChange, 128, 250, 0xff)
            << QStringList({"b0 00 7f", "b0 20 7f", "c0 7f", "b1 00 7f", "b1 20 7f", "c1 7f",
                            "b9 00 7f", "b9 20 7f", "c9 7f"});
    }

    void encodesEveryKindOnEverySelectedChannel()
    {
        QFETCH(InstrumentMsg, msg);
        QFETCH(QStringList, wire);
        m_out.setChannels(mask({0, 1, 9, 17}, 20)); // no channel 18: bits above 15 do nothing
        QVERIFY(m_out.write(msg));
        QCOMPARE(collect(m_in, wire.size()), wire);
        const int noteOffs = int(m_out.notesHeld().size()) * 3;
        m_out.releaseHeldNotes();
        QCOMPARE(collect(m_in, noteOffs).size(), noteOffs);
    }

    void rawBytesGoOnceAndUnchanged()
    {
        InstrumentMsg raw = message(InstrumentMsg::Raw, 0, 0);
        raw.bytes = {0x93, 0x30, 0x20};
        QBitArray all(16, true);
        m_out.setChannels(all);
        QVERIFY(m_out.write(raw));
        m_out.setChannels(QBitArray());
        QVERIFY(m_out.write(raw));
        QVERIFY(m_out.write(message(InstrumentMsg::NoteOn, 61, 1))); // no channel: not sent
        QCOMPARE(collect(m_in, 3), QStringList({"93 30 20", "93 30 20"}));
        QCOMPARE(m_out.notesHeld(), QSet<uchar>({61}));
        m_out.releaseHeldNotes();
        QCOMPARE(m_out.notesHeld(), QSet<uchar>());
    }

    void heldNotesAreReleased()
    {
        m_out.setChannels(mask({0, 1}));
        QVERIFY(m_out.write(QVector<InstrumentMsg>(
            {message(InstrumentMsg::NoteOn, 50, 0), message(InstrumentMsg::NoteOn, 52, 9),
             message(InstrumentMsg::NoteOn, 52, 9), message(InstrumentMsg::NoteOff, 52, 0),
             message(InstrumentMsg::NoteOn, 60, 9), message(InstrumentMsg::NoteOn, 64, 9)})));
        QCOMPARE(m_out.notesHeld(), QSet<uchar>({60, 64})); // velocity 0 released 50
        QCOMPARE(collect(m_in, 12).size(), 12);

        m_out.setChannels(mask({2})); // the old channels are silenced first
        QStringList offs = collect(m_in, 4);
        QCOMPARE(offs.size(), 4);
        offs.sort();
        QCOMPARE(offs, QStringList({"80 3c 00", "80 40 00", "81 3c 00", "81 40 00"}));

        QVERIFY(m_out.write(message(InstrumentMsg::NoteOn, 64, 9)));
        MidiOutput second;
        QVERIFY(second.openPort(synth));
        second.setChannels(mask({0, 1}));
        QVERIFY(second.write(QVector<InstrumentMsg>(
            {message(InstrumentMsg::NoteOn, 60, 9), message(InstrumentMsg::NoteOn, 64, 9)})));
        collect(m_in, 5);
        QVERIFY(second.closePort());
        offs = collect(m_in, 4);
        // Per pitch, in the set's order: channel 1, then channel 2.
        QCOMPARE(offs.size(), 4);
        QCOMPARE(offs.at(1), QString(offs.at(0)).replace(0, 2, QStringLiteral("81")));
        QCOMPARE(offs.at(3), QString(offs.at(2)).replace(0, 2, QStringLiteral("81")));
        QCOMPARE(QSet<QString>({offs.at(0), offs.at(2)}), QSet<QString>({"80 3c 00", "80 40 00"}));
        QCOMPARE(m_out.notesHeld(), QSet<uchar>({64})); // each output holds its own
        m_out.releaseHeldNotes();
        collect(m_in, 1);

        MidiOutput closed;
        QVERIFY(closed.write(QVector<InstrumentMsg>()));
        QVERIFY(!closed.write(message(InstrumentMsg::NoteOn, 60, 9)));
        QCOMPARE(closed.notesHeld(), QSet<uchar>());
    }

    void twoInputsGetEveryMessageWithHostTime()
    {
        MidiInput second;
        QVERIFY(second.openPort(synth));
        std::atomic<int> signalled {0};
        connect(
            &second, &MidiInput::readyRead, this, [&] { ++signalled; }, Qt::DirectConnection);
        m_out.setChannels(mask({0}));
        const quint64 before = Platform::hostTimeNs();
        for (quint8 value = 30; value < 40; ++value)
            QVERIFY(m_out.write(message(InstrumentMsg::ControlChange, 1, value)));
        QList<MidiInputMessage> a;
        QList<MidiInputMessage> b;
        const auto take = [&](MidiInput& in, QList<MidiInputMessage>& into) {
            for (const MidiInputMessage& m : in.takeMessages()) {
                if (!isRepeatedNoteOff(m.bytes.constData(), std::size_t(m.bytes.size())))
                    into.append(m);
            }
            return into.size() >= 10;
        };
        QTRY_VERIFY(take(m_in, a) && take(second, b));
        const quint64 after = Platform::hostTimeNs();
        QVERIFY(signalled.load() >= 10);
        QCOMPARE(a.size(), 10);
        QCOMPARE(b.size(), 10);
        quint64 previous = before;
        for (int i = 0; i < 10; ++i) {
            QCOMPARE(a.at(i).bytes, QVector<uchar>({0xb0, 1, uchar(30 + i)}));
            QCOMPARE(b.at(i).bytes, a.at(i).bytes);
            QCOMPARE(b.at(i).hostTimeNs, a.at(i).hostTimeNs);
            QCOMPARE(b.at(i).modifiers, a.at(i).modifiers);
            QVERIFY(a.at(i).hostTimeNs >= previous);
            previous = a.at(i).hostTimeNs;
        }
        QVERIFY(previous <= after);

        QVERIFY(m_in.closePort()); // the second keeps receiving
        QVERIFY(m_out.write(message(InstrumentMsg::ControlChange, 2, 0)));
        QCOMPARE(collect(second, 1), QStringList({"b0 02 00"}));
        QVERIFY(!m_in.hasMessages());
        QVERIFY(m_in.openPort(synth));
    }

    void queueHoldsOneMoreThanItsLimitAndSignalsEveryMessage()
    {
        MidiInput in;
        std::atomic<int> signalled {0};
        connect(
            &in, &MidiInput::readyRead, this, [&] { ++signalled; }, Qt::DirectConnection);
        m_out.setChannels(mask({0}));
        // Past the time in which the note-offs written before may go again, which would count
        // here: a controller due then has arrived.
        InstrumentMsg later = message(InstrumentMsg::ControlChange, 3, 0);
        later.dueNs = Platform::hostTimeNs() + 150000000;
        QVERIFY(m_out.write(later));
        QCOMPARE(collect(m_in, 1), QStringList({"b0 03 00"}));
        QVERIFY(in.openPort(synth));
        QCOMPARE(in.maxMessages(), 1024);
        const int sent = 1100;
        for (int i = 0; i < sent; i += 50) {
            QVector<InstrumentMsg> batch;
            for (int j = i; j < i + 50; ++j)
                batch.append(
                    message(InstrumentMsg::ControlChange, quint8(j / 128), quint8(j % 128)));
            QVERIFY(m_out.write(batch));
            QTest::qWait(5); // within what one JACK period carries
        }
        QTRY_COMPARE(signalled.load(), sent);
        MidiInputMessage first;
        QVERIFY(in.peekMessage(first));
        MidiInputMessage again;
        QVERIFY(in.peekMessage(again));
        QCOMPARE(again.bytes, first.bytes);
        QCOMPARE(first.bytes, QVector<uchar>({0xb0, 0, 0}));
        QVERIFY(in.readMessages(0).isEmpty());
        const QList<MidiInputMessage> kept = in.readMessages(2000);
        QCOMPARE(kept.size(), 1025);
        QCOMPARE(kept.last().bytes, QVector<uchar>({0xb0, 1024 / 128, 0})); // the oldest kept

        QVERIFY(m_out.write(message(InstrumentMsg::ControlChange, 3, 3)));
        QTRY_VERIFY(in.hasMessages());
        in.setMaxMessages(0);
        QVERIFY(!in.hasMessages());
        QVERIFY(in.closePort());
        QVERIFY(!in.readMessage(first));
    }

    // Two inputs on one port, one of them ignoring a kind of message (as the MIDI-entry input
    // ignores clock) and one wanting it (as a sync input wants clock), whichever opens or
    // closes first.
    void eachInputOnAPortGetsWhatItAsksFor_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("wire");
        QTest::newRow("timing clock") << int(MidiInput::IgnoreTiming) << "f8";
        QTest::newRow("time code") << int(MidiInput::IgnoreTiming) << "f1 23";
        QTest::newRow("system exclusive") << int(MidiInput::IgnoreSysex) << "f0 7d 01 f7";
        QTest::newRow("active sensing") << int(MidiInput::IgnoreActiveSensing) << "fe";
    }

    void eachInputOnAPortGetsWhatItAsksFor()
    {
        QFETCH(int, type);
        QFETCH(QString, wire);
        m_out.setChannels(QBitArray());
        InstrumentMsg asked = message(InstrumentMsg::Raw, 0, 0);
        const QByteArray bytes = QByteArray::fromHex(wire.toLatin1());
        asked.bytes.assign(bytes.cbegin(), bytes.cend());
        InstrumentMsg marker = message(InstrumentMsg::Raw, 0, 0);
        marker.bytes = {0xb0, 0x7b, 0};
        const QStringList all = {wire, wire, wire, "b0 7b 00"};
        const QStringList markerOnly = {"b0 7b 00"};
        auto send = [&] {
            QVERIFY(m_out.write(QVector<InstrumentMsg>({asked, asked, asked, marker})));
        };

        MidiInput wanting;
        wanting.setIgnoreTypes(wanting.ignoreTypes() & ~MidiInput::IgnoreTypes::fromInt(type));
        QVERIFY(m_in.ignoreTypes().testFlags(MidiInput::IgnoreTypes::fromInt(type)));
        QVERIFY(wanting.openPort(synth)); // opens after the one that ignores it
        send();
        QCOMPARE(collect(wanting, 4), all);
        QCOMPARE(collect(m_in, 1), markerOnly);
        QVERIFY(m_in.closePort()); // the first to open closes
        send();
        QCOMPARE(collect(wanting, 4), all);

        QVERIFY(m_in.openPort(synth)); // now the one that ignores it opens after
        send();
        QCOMPARE(collect(wanting, 4), all);
        QCOMPARE(collect(m_in, 1), markerOnly);
        QVERIFY(m_in.closePort()); // the last to open closes
        send();
        QCOMPARE(collect(wanting, 4), all);

        // An input that changes what it ignores changes what the port passes.
        QVERIFY(m_in.openPort(synth));
        const MidiInput::IgnoreTypes wanted = wanting.ignoreTypes();
        wanting.setIgnoreTypes(m_in.ignoreTypes());
        send();
        QCOMPARE(collect(wanting, 1), markerOnly);
        QCOMPARE(collect(m_in, 1), markerOnly);
        wanting.setIgnoreTypes(wanted);
        send();
        QCOMPARE(collect(wanting, 4), all);
        QCOMPARE(collect(m_in, 1), markerOnly);
        QVERIFY(wanting.closePort());
        send();
        QCOMPARE(collect(m_in, 1), markerOnly);
    }

private:
    JackTestServer m_server;
    MidiOutput m_out;
    MidiInput m_in;
};

QTEST_GUILESS_MAIN(TestMidiInOut)
#include "tst_midiinout.moc"
