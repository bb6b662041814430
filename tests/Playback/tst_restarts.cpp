// Pausing and going back to the start while a network plays, as another program on the JACK
// server records it by frame: no note that begins is cut to nothing, and every start sends the
// instrument's bank and program before its first note.

#include "AbstractSync.h"
#include "FrameRecorder.h"
#include "JackTestServer.h"
#include "ModelSignalRecorder.h"
#include "PlaybackTestSupport.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"

#include <QtTest>

#include <memory>

namespace K = QmdKelvoKeys;

namespace {

constexpr qint64 P = 665280; // ticks per principal: half a second at 120 beats a minute
constexpr quint64 NoteTicks = P / 4; // a note every 125 ms

bool isNoteOn(const QByteArray& bytes)
{
    return bytes.size() == 3 && (bytes.at(0) & 0xf0) == 0x90 && bytes.at(2) != 0;
}

bool isNoteOff(const QByteArray& bytes)
{
    return bytes.size() == 3
        && ((bytes.at(0) & 0xf0) == 0x80 || ((bytes.at(0) & 0xf0) == 0x90 && bytes.at(2) == 0));
}

bool isProgramChange(const QByteArray& bytes)
{
    return bytes.size() == 2 && (bytes.at(0) & 0xf0) == 0xc0;
}

} // namespace

class TestRestarts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // A long period: an instrument hands its notes over up to 21 ms ahead of their time.
        server.setPeriod(1024);
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
    }

    void pauseAndGotoStartWhilePlaying()
    {
        FrameRecorder recorder;
        MidiOutput keeper; // keeps the connection to the recorder open
        QVERIFY(warmUp(keeper, recorder.portName(),
                       [&] { return !recorder.receive(1, 20).isEmpty(); }));

        QmdMemModel model;
        QmdKelvoController c;
        c.setModel(&model);
        c.requestAddInstrument();
        const QmdItemId instrument = c.instruments().first();
        const QmdIndex settings = c.instrumentIndex(instrument);
        c.requestSetData(K::MidiPort, recorder.portName(), settings);
        c.requestSetData(K::MidiChannels, channelMask({0}), settings);
        c.requestSetData(K::MidiDoProgramChange, true, settings);
        c.requestSetData(K::MidiProgram, 6, settings);
        // C3 and E3 in turn, a quarter principal apart, each 25 ms long.
        QmdItemId a = 0;
        QmdItemId b = 0;
        c.requestAddNode(QmdKelvo::TickPoint {0, 0}, QmdKelvo::NoCreationFlags,
                         QmdRequestOptions(QString()), &a);
        c.requestAddNode(QmdKelvo::TickPoint {P / 4, 0}, QmdKelvo::NoCreationFlags,
                         QmdRequestOptions(QString()), &b);
        c.requestSetData(K::Notes, QStringLiteral("C3:96:0.05"), c.elementIndex(a));
        c.requestSetData(K::Notes, QStringLiteral("E3:96:0.05"), c.elementIndex(b));
        c.requestRebuildNotesTree(a);
        c.requestRebuildNotesTree(b);
        c.requestAddEdge(c.elementIndex(a), c.elementIndex(b), QmdKelvo::CityBlock,
                         QmdKelvo::NoCreationFlags, QmdRequestOptions(QString()));
        c.requestAddEdge(c.elementIndex(b), c.elementIndex(a), QmdKelvo::CityBlock,
                         QmdKelvo::NoCreationFlags, QmdRequestOptions(QString()));
        c.requestAddVoiceGroup(c.elementIndex(a));
        c.requestSetData(K::InitialInstrument, uint(instrument),
                         c.elementIndex(c.elements().last()));
        deliverRelays();
        QCOMPARE(c.voiceGroupsCopy().size(), 1);
        QCOMPARE(c.data(K::MidiPort, settings).toString(), recorder.portName());
        QTest::qWait(50);
        recorder.take();

        // Waits until the clock, running, stands 10 ms before a note, after the second one: the
        // instrument has handed that note over by then.
        AbstractSync* clock = c.sync();
        const auto beforeANote = [clock] {
            QTest::qWait(50); // past a start's lead, during which the clock stands
            const quint64 margin = clock->nanosToTicks(10000000);
            for (int waited = 0; waited < 5000; ++waited) {
                const quint64 ticks = clock->ticksElapsed();
                if (ticks > NoteTicks && ticks % NoteTicks >= NoteTicks - margin
                    && ticks % NoteTicks < NoteTicks - margin / 2)
                    return true;
                QThread::usleep(200);
            }
            return false;
        };
        // The host times at which the transport started, by its clock: a start runs from where
        // the clock stopped, which on a busy machine may be well after the request came.
        QList<quint64> starts;
        const auto startedFrom = [&](quint64 ticks) {
            quint64 ns = 0;
            if (!clock->hostTimeOfTicks(ticks, &ns))
                return false;
            starts.append(ns);
            return true;
        };
        c.requestPlay();
        QVERIFY(startedFrom(0));
        QVERIFY(beforeANote());
        c.requestPause();
        QTest::qWait(150);
        const quint64 paused = clock->ticksElapsed();
        c.requestPlay();
        QVERIFY(startedFrom(paused));
        for (int i = 0; i < 3; ++i) {
            QVERIFY(beforeANote());
            c.requestGotoStart();
            QVERIFY(startedFrom(0));
        }
        QVERIFY(beforeANote());
        c.requestPause();
        const QList<FrameRecorder::Event> events = recorder.receive(100000, 400);
        QCOMPARE(recorder.dropped(), 0);

        // Every note that begins ends at a later frame.
        const double latencyNs = 1e9 * recorder.periodFrames() / recorder.sampleRate();
        int notes = 0;
        for (qsizetype i = 0; i < events.size(); ++i) {
            if (!isNoteOn(events.at(i).bytes))
                continue;
            ++notes;
            qsizetype off = i + 1;
            while (off < events.size()
                   && !(isNoteOff(events.at(off).bytes)
                        && events.at(off).bytes.at(1) == events.at(i).bytes.at(1)))
                ++off;
            QVERIFY2(off < events.size(), qPrintable(QString("note %1 never ends").arg(i)));
            QVERIFY2(events.at(off).frame > events.at(i).frame,
                     qPrintable(QStringLiteral("note %1 (pitch %2) ends in the frame it begins")
                                    .arg(i)
                                    .arg(int(events.at(i).bytes.at(1)))));
        }
        QVERIFY(notes >= 8);

        // At every start, the first note due after it comes after a program change, with no
        // other note in between. Where a note was due goes by the server's clock, or by the
        // present where that clock was astray. A note of the run before was due before its
        // stop, at least a start's lead before the start; the first of a start is due at it,
        // or may seem a little before it.
        const double earlyNs = AbstractSync::StartLeadNs / 2;
        for (quint64 start : std::as_const(starts)) {
            qsizetype first = 0;
            while (first < events.size()
                   && !(isNoteOn(events.at(first).bytes)
                        && events.at(first).hostNsAsRun() - latencyNs >= double(start) - earlyNs))
                ++first;
            QVERIFY2(first < events.size(), "no note after a start");
            qsizetype before = first - 1;
            while (before >= 0 && !isNoteOn(events.at(before).bytes)
                   && !isProgramChange(events.at(before).bytes))
                --before;
            QVERIFY2(before >= 0 && isProgramChange(events.at(before).bytes),
                     qPrintable(QStringLiteral("note %1 before the program change").arg(first)));
            QCOMPARE(int(events.at(before).bytes.at(1)), 5);
        }
    }

private:
    JackTestServer server;
};

QTEST_GUILESS_MAIN(TestRestarts)
#include "tst_restarts.moc"
