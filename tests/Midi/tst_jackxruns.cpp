// Kelvo's MIDI output on a JACK server that runs as servers usually do: a cycle that a reader
// does not finish in time is skipped for it, and the reader misses what Kelvo's port held then.

#include "FrameRecorder.h"
#include "HostTime.h"
#include "InstrumentMsg.h"
#include "JackTestServer.h"
#include "MidiOutput.h"
#include "RepeatedNoteOff.h"

#include <QTest>

namespace {

InstrumentMsg note(quint8 pitch, bool on, quint64 dueNs)
{
    InstrumentMsg message;
    message.kind = on ? InstrumentMsg::NoteOn : InstrumentMsg::NoteOff;
    message.data1 = pitch;
    message.data2 = on ? 100 : 0;
    message.dueNs = dueNs;
    return message;
}

bool isNoteOff(const QByteArray& bytes, quint8 pitch)
{
    return bytes.size() == 3 && (bytes.at(0) & 0xf0) == 0x80 && bytes.at(1) == char(pitch);
}

} // namespace

class TestJackXruns : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        server.setSynchronous(false);
        server.setPeriod(256);
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
    }

    void init()
    {
        recorder = std::make_unique<FrameRecorder>("Recorder", true);
        output = std::make_unique<MidiOutput>();
        QVERIFY(output->openPort(recorder->portName()));
        QBitArray first(16);
        first.setBit(0);
        output->setChannels(first);
        // Until the connection carries messages.
        InstrumentMsg reset;
        reset.kind = InstrumentMsg::Raw;
        reset.bytes = {0xfe};
        bool live = false;
        for (int attempt = 0; attempt < 100 && !live; ++attempt) {
            output->write(reset);
            live = !recorder->receive(1, 20).isEmpty();
        }
        QVERIFY(live);
    }

    void cleanup()
    {
        output.reset();
        recorder.reset();
    }

    // The reader is late in the cycle of a note-on and misses the next, which holds the note's
    // note-off: the note-off goes again, and the note ends.
    void aNoteOffMissedByALateReaderGoesAgain()
    {
        for (quint8 pitch = 60; pitch < 63; ++pitch) {
            recorder->beLateAfterNextNoteOn(3);
            const quint64 due = Platform::hostTimeNs() + 5000000;
            QVERIFY(output->write(
                {note(pitch, true, due), note(pitch, false, due + output->latencyNs() * 3 / 2)}));
            QVERIFY2(waitForNoteOff(pitch, nullptr),
                     qPrintable(QStringLiteral("pitch %1 never ends").arg(pitch)));
        }
    }

    // A key struck again after its note-off, in the cycle the reader missed, is not ended by the
    // note-offs that go again; a key not struck again is.
    void aKeyStruckAgainIsNotEnded()
    {
        recorder->beLateAfterNextNoteOn(3);
        const quint64 due = Platform::hostTimeNs() + 5000000;
        const quint64 next = due + output->latencyNs() * 3 / 2;
        QVERIFY(output->write({note(60, true, due), note(62, true, due), note(60, false, next),
                               note(60, true, next + 1000), note(62, false, next + 2000)}));
        QList<FrameRecorder::Event> events;
        QVERIFY(waitForNoteOff(62, &events, true));
        for (const FrameRecorder::Event& event : std::as_const(events))
            QVERIFY2(!(isRepeatedNoteOff(event.bytes) && isNoteOff(event.bytes, 60)),
                     "a note-off went again for a key struck again");
        output->releaseHeldNotes();
    }

private:
    // Receives until a note-off of `pitch` arrives (`repeated`: one sent again), three seconds
    // at most; what arrived up to then goes to `events`.
    bool waitForNoteOff(quint8 pitch, QList<FrameRecorder::Event>* events, bool repeated = false)
    {
        for (const QDeadlineTimer deadline(3000); !deadline.hasExpired();) {
            for (const FrameRecorder::Event& event : recorder->receive(1, 20)) {
                if (events)
                    events->append(event);
                if (isNoteOff(event.bytes, pitch) && (!repeated || isRepeatedNoteOff(event.bytes)))
                    return true;
            }
        }
        return false;
    }

    JackTestServer server;
    std::unique_ptr<FrameRecorder> recorder;
    std::unique_ptr<MidiOutput> output;
};

QTEST_GUILESS_MAIN(TestJackXruns)
#include "tst_jackxruns.moc"
