#include "InstrumentMsg.h"
#include "JackTestServer.h"
#include "MidiInput.h"
#include "MidiOutput.h"
#include "SortedPipe.h"

#include <QTest>

#include <QHash>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

// Many threads at once on one pipe and on shared ports; also run under ThreadSanitizer.
class TestMidiStress : public QObject
{
    Q_OBJECT

private slots:
    void pipeWithSixteenWritersAndOneReader()
    {
        SortedPipe<InstrumentMsg> pipe(1000);
        const int writers = 16;
        const int perWriter = 2000;
        std::atomic<quint64> now {0};
        std::atomic<int> accepted {0};
        std::atomic<bool> writing {true};
        std::vector<std::thread> threads;
        for (int w = 0; w < writers; ++w) {
            threads.emplace_back([&, w] {
                std::mt19937 random(w);
                for (int i = 0; i < perWriter; i += 2) {
                    InstrumentMsg on;
                    on.time = now.load() + random() % 50;
                    on.data1 = quint8(w);
                    InstrumentMsg off = on;
                    off.kind = InstrumentMsg::NoteOff;
                    off.time += 1 + random() % 50;
                    if (i % 4 == 0) {
                        InstrumentMsg single = on;
                        single.kind = InstrumentMsg::ControlChange;
                        accepted += int(pipe.tryWrite(single));
                    } else if (pipe.tryWrite(on, off)) {
                        accepted += 2;
                    } else {
                        std::this_thread::yield();
                    }
                }
            });
        }
        int read = 0;
        int notesSounding[writers] = {};
        std::thread reader([&] {
            QVector<InstrumentMsg> out;
            while (writing.load() || pipe.size() > 0) {
                out.clear();
                pipe.tryReadIfReady(out, 32, now.fetch_add(1));
                for (int i = 0; i < out.size(); ++i) {
                    if (i > 0 && out.at(i).time < out.at(i - 1).time)
                        return; // out of order: the count below fails
                    const quint32 kind = out.at(i).kind;
                    if (kind != InstrumentMsg::ControlChange)
                        notesSounding[out.at(i).data1] += kind == InstrumentMsg::NoteOn ? 1 : -1;
                    ++read;
                }
            }
        });
        for (std::thread& t : threads)
            t.join();
        writing = false;
        reader.join();
        QCOMPARE(read, accepted.load());
        QVERIFY(accepted.load() > 0);
        for (int count : notesSounding)
            QCOMPARE(count, 0); // every note on arrived with its note off
    }

    void portsOpenedAndClosedWhileMessagesFlow()
    {
        JackTestServer server;
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        QVERIFY(MidiIO<RtMidiIn>::macOpenVirtualPorts());

        const QString synth = QStringLiteral("Kelvo Synthesizer");
        const QString input = QStringLiteral("Kelvo Input");
        std::atomic<bool> running {true};
        std::atomic<int> failures {0};
        std::atomic<int> received {0};

        MidiOutput sender;
        QVERIFY(sender.openPort(synth));
        QBitArray channel1(16);
        channel1.setBit(0);
        sender.setChannels(channel1);
        std::thread sending([&] {
            InstrumentMsg note;
            note.data1 = 60;
            note.data2 = 90;
            InstrumentMsg clock;
            clock.kind = InstrumentMsg::Raw;
            clock.bytes = {0xf8};
            while (running.load()) {
                if (!sender.write(QVector<InstrumentMsg>({note, clock})))
                    ++failures;
                std::this_thread::sleep_for(std::chrono::microseconds(300));
            }
        });

        std::vector<std::thread> users;
        for (int u = 0; u < 4; ++u) {
            // Half of them want clock, half ignore it, on the same port.
            const bool wantsClock = u % 2 == 0;
            users.emplace_back([&, wantsClock] {
                for (int i = 0; i < 15; ++i) {
                    MidiInput in;
                    if (wantsClock)
                        in.setIgnoreTypes(in.ignoreTypes() & ~MidiInput::IgnoreTiming);
                    QObject::connect(
                        &in, &MidiInput::readyRead, &in, [&] { ++received; }, Qt::DirectConnection);
                    MidiOutput out; // its record on "Kelvo Input" comes and goes
                    if (!in.openPort(synth) || !out.openPort(input))
                        ++failures;
                    out.setChannels(channel1);
                    InstrumentMsg note;
                    note.data1 = quint8(40 + i);
                    note.data2 = 1;
                    if (!out.write(note))
                        ++failures;
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                    for (const MidiInputMessage& m : in.takeMessages()) {
                        if (!wantsClock && m.bytes.value(0) == 0xf8)
                            ++failures;
                    }
                    if ((i % 2 == 0 && !in.closePort()) || !out.closePort())
                        ++failures;
                }
            });
        }
        for (std::thread& t : users)
            t.join();
        running = false;
        sending.join();
        QCOMPARE(failures.load(), 0);
        QVERIFY(received.load() > 0);
        QVERIFY(sender.closePort());
        QVERIFY(MidiIO<RtMidiIn>::macCloseVirtualPorts());
    }

    // Channels change while another thread plays notes: each note goes out on one channel and
    // is switched off on that channel, none begins again while it sounds, none is left on.
    void channelsFlippedWhileNotesFlow()
    {
        JackTestServer server;
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        QVERIFY(MidiIO<RtMidiIn>::macOpenVirtualPorts());
        const QString input = QStringLiteral("Kelvo Input");
        MidiInput in;
        in.setMaxMessages(1000000);
        QVERIFY(in.openPort(input));
        MidiOutput out;
        QVERIFY(out.openPort(input));
        auto channel = [](int c) {
            QBitArray mask(16);
            mask.setBit(c);
            return mask;
        };
        out.setChannels(channel(0));
        // The input hands what JACK delivers to a thread of its own through a bounded buffer,
        // which overflows while that thread stalls: the player keeps at most 64 notes on their
        // way, so that nothing is lost however busy the machine.
        std::atomic<int> notesSent {0};
        std::atomic<int> notesArrived {0};
        QList<MidiInputMessage> received;
        const auto takeArrived = [&] {
            const QList<MidiInputMessage> messages = in.takeMessages();
            for (const MidiInputMessage& m : messages)
                notesArrived += int((m.bytes.value(0) & 0xf0) == 0x90);
            received += messages;
            return !messages.isEmpty();
        };

        std::atomic<bool> running {true};
        std::thread playing([&] {
            for (quint8 pitch = 0; running.load(); pitch = (pitch + 1) % 128) {
                while (notesSent.load() - notesArrived.load() >= 64 && running.load())
                    std::this_thread::sleep_for(std::chrono::microseconds(50));
                ++notesSent;
                InstrumentMsg note;
                note.data1 = pitch;
                note.data2 = 100;
                out.write(note);
                std::this_thread::sleep_for(std::chrono::microseconds(10));
                note.kind = InstrumentMsg::NoteOff;
                out.write(note);
            }
        });
        for (int flip = 1; flip <= 2000; ++flip) {
            out.setChannels(channel(flip % 16));
            std::this_thread::sleep_for(std::chrono::microseconds(100 + flip % 5 * 50));
            takeArrived();
        }
        running = false;
        playing.join();
        out.releaseHeldNotes();

        QHash<int, bool> sounding; // by channel and pitch, as the receiver hears them
        int notes = 0;
        int begunAgain = 0;
        for (int idle = 0; idle < 50; ++idle) {
            if (takeArrived())
                idle = 0;
            QTest::qWait(10);
        }
        for (const MidiInputMessage& m : std::as_const(received)) {
            const int key = (m.bytes.value(0) & 0x0f) << 8 | m.bytes.value(1);
            const bool on = (m.bytes.value(0) & 0xf0) == 0x90;
            notes += int(on);
            begunAgain += int(on && sounding.value(key));
            sounding[key] = on;
        }
        QVERIFY(notes > 1000);
        QCOMPARE(begunAgain, 0);
        int left = 0;
        for (bool on : std::as_const(sounding))
            left += int(on);
        QCOMPARE(left, 0);
        QVERIFY(out.closePort());
        QVERIFY(in.closePort());
        QVERIFY(MidiIO<RtMidiIn>::macCloseVirtualPorts());
    }
};

QTEST_GUILESS_MAIN(TestMidiStress)
#include "tst_midistress.moc"
