#include "HostTime.h"
#include "JackTestServer.h"
#include "MidiOutputSyncClock.h"
#include "MidiPeer.h"
#include "MidiSync.h"
#include "PlaybackTestSupport.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"

#include <QtTest>

#include <atomic>
#include <thread>

namespace K = QmdKelvoKeys;

namespace {

const QString synth = QStringLiteral("Kelvo Synthesizer");
const QString input = QStringLiteral("Kelvo Input");

// The transport requests the clock calls from the MIDI thread, as the document's controller
// offers them.
class TransportController : public QmdKelvoController
{
    Q_OBJECT

public:
    AbstractSync* clock = nullptr;
    std::atomic<int> gotoStarts {0};
    std::atomic<int> primedPlaying {0};
    std::atomic<int> primedStopped {0};

public slots:
    QmdRequestId requestGotoStart()
    {
        if (clock->isPlaying())
            clock->setPlaying(false);
        clock->reset();
        ++gotoStarts;
        return QmdRequestId(-1);
    }
    QmdRequestId requestPrimePlaybackForSyncStateChange(bool playing)
    {
        ++(playing ? primedPlaying : primedStopped);
        return QmdRequestId(-1);
    }
};

int count(const QStringList& messages, const QString& message)
{
    return int(messages.count(message));
}

// On JACK a clock goes out a period after its time, handed over that much ahead: how many
// handed over for after a stop go out before the Stop, at most (each counted as sent).
quint64 clocksAhead(MidiSync& sync, MidiOutput& output)
{
    return sync.nanosToPulses(output.latencyNs()) / 27720 + 1;
}

} // namespace

class TestMidiClock : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void sendsClockStartStopAndSongPosition();
    void aLateStopSendsNoClockTwice();
    void outputAddedWhileRunningStartsWhereItStands();
    void followsAnExternalClock();
    void externalTransportWhileTheDocumentCloses();

private:
    JackTestServer server;
    MidiInput listener;
    MidiOutput keeper;
    QmdMemModel* model = nullptr;
    TransportController* controller = nullptr;
    MidiSync* sync = nullptr;
};

void TestMidiClock::initTestCase()
{
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    QVERIFY(MidiIO<RtMidiIn>::macOpenVirtualPorts());
    listener.setIgnoreTypes({});
    QVERIFY(listener.openPort(synth));
    QVERIFY(warmUp(keeper, listener, synth));
}

void TestMidiClock::cleanupTestCase()
{
    keeper.closePort();
    listener.closePort();
    QVERIFY(MidiIO<RtMidiIn>::macCloseVirtualPorts());
}

void TestMidiClock::init()
{
    model = new QmdMemModel;
    controller = new TransportController;
    controller->setModel(model);
    // The document's own clock, made by the controller's reset.
    sync = qobject_cast<MidiSync*>(controller->sync());
    QVERIFY(sync);
    controller->clock = sync;
    collectAll(listener, keeper);
}

void TestMidiClock::cleanup()
{
    delete controller; // and the clock with it
    delete model;
}

void TestMidiClock::sendsClockStartStopAndSongPosition()
{
    sync->setTempo(999); // 400 clocks a second
    markPort(*controller, K::SyncMidiOutputs, synth, true);
    QCOMPARE(sync->syncOutputPorts(), QStringList {synth});

    auto* output = sync->findChild<MidiOutputSyncClock*>();
    QVERIFY(output);
    sync->setPlaying(true);
    QStringList sent = collect(listener, 40);
    QCOMPARE(sent.mid(0, 2), QStringList({"fa", "f8"}));
    sync->setPlaying(false);
    const quint64 clocks = sync->pulsesElapsed() / 27720;
    const quint64 ahead = clocksAhead(*sync, *output);
    sent += collectAll(listener, keeper);
    // The clock at the start, one for every 27720 pulses run, and a Stop last.
    const quint64 f8 = quint64(count(sent, "f8"));
    QCOMPARE(f8, 1 + output->sentClocks());
    QVERIFY2(f8 >= 1 + clocks && f8 <= 1 + clocks + ahead,
             qPrintable(QString("%1 clocks for %2 run").arg(f8).arg(clocks)));
    QCOMPARE(sent.last(), QStringLiteral("fc"));
    QCOMPARE(count(sent, "fc"), 1);

    sync->setPlaying(true);
    QCOMPARE(collect(listener, 2).mid(0, 2), QStringList({"fb", "f8"}));
    sync->setPlaying(false);
    collectAll(listener, keeper);

    sync->reset();
    QCOMPARE(collect(listener, 1), QStringList({"f2 00 00"}));
    sync->setPlaying(true);
    QCOMPARE(collect(listener, 2).mid(0, 2), QStringList({"fa", "f8"}));
    sync->setPlaying(false);
    collectAll(listener, keeper);

    // Unticked: the output goes, and the transport sends nothing there.
    markPort(*controller, K::SyncMidiOutputs, synth, false);
    QVERIFY(sync->syncOutputPorts().isEmpty());
    sync->setPlaying(true);
    QVERIFY(collect(listener, 1, 50).isEmpty());
}

// A stop whose time has passed when it reaches the transport (a Stop from outside that waited
// for its thread): some clocks handed over for the time after it have gone out, some not yet.
// Each that was handed over goes and counts, so that the next runs send none of them again.
void TestMidiClock::aLateStopSendsNoClockTwice()
{
    markPort(*controller, K::SyncMidiOutputs, synth, true);
    auto* output = sync->findChild<MidiOutputSyncClock*>();
    QVERIFY(output);
    QStringList sent;
    for (int run = 1; run <= 8; ++run) {
        // Clocks 2.5 to 3.6 ms apart, each run's falling differently on the server's cycles.
        sync->setTempo(uint(999 - 40 * run));
        sync->setPlaying(true);
        sent += collect(listener, 20);
        sync->setPlayingAt(Platform::hostTimeNs() - 4000000, 0, false);
        sent += collectAll(listener, keeper);
        QCOMPARE(sent.last(), QStringLiteral("fc"));
        // One uncounted clock at each start.
        QCOMPARE(quint64(count(sent, "f8")), quint64(run) + output->sentClocks());
    }
}

void TestMidiClock::outputAddedWhileRunningStartsWhereItStands()
{
    sync->setTempo(999);
    sync->setPlaying(true);
    QTest::qWait(300); // about 120 clocks' worth
    const quint64 before = sync->pulsesElapsed() / 27720;
    markPort(*controller, K::SyncMidiOutputs, synth, true);
    const quint64 after = sync->pulsesElapsed() / 27720;
    QVERIFY(before > 50);
    const QStringList first = collect(listener, 2);
    QCOMPARE(first.mid(0, 2), QStringList({"fa", "f8"}));
    QTest::qWait(50);
    sync->setPlaying(false);
    const quint64 clocks = sync->pulsesElapsed() / 27720;
    auto* output = sync->findChild<MidiOutputSyncClock*>();
    QVERIFY(output);
    const quint64 ahead = clocksAhead(*sync, *output);
    const QStringList sent = first + collectAll(listener, keeper);
    // The clock at the start and those of the time run since joining, none from before.
    const quint64 f8 = quint64(count(sent, "f8"));
    QVERIFY2(f8 >= 1 + clocks - after && f8 <= 1 + clocks - before + ahead,
             qPrintable(QString("%1 clocks, run %2, joined at %3..%4")
                            .arg(f8)
                            .arg(clocks)
                            .arg(before)
                            .arg(after)));
    QCOMPARE(sent.last(), QStringLiteral("fc"));
}

void TestMidiClock::followsAnExternalClock()
{
    markPort(*controller, K::SyncMidiInputs, input, true);
    QCOMPARE(sync->syncInputPorts(), QStringList {input});
    MidiPeer peer("ClockSource");
    QVERIFY(peer.connectOutput(input));
    QTest::qWait(50);

    // Timing clocks while stopped, with nothing pending, change nothing.
    for (int i = 0; i < 5; ++i) {
        peer.send(QByteArray("\xF8", 1));
        QThread::msleep(20);
    }
    QTest::qWait(20);
    QVERIFY(!sync->isPlaying());
    QCOMPARE(sync->tempo(), 120u);

    // Start, then clock at 125 BPM (20 ms apart): 1.5 s of it, and on until the tempo follows.
    // A busy machine may hold this thread back, so that a few clocks come late in a burst; the
    // estimate then settles only once its window has them, which is the state waited for.
    peer.send(QByteArray("\xFA", 1));
    QTRY_COMPARE(controller->gotoStarts.load(), 1);
    QTRY_VERIFY(controller->primedPlaying.load() > 0);
    QVERIFY(!sync->isPlaying()); // until the first clock
    const quint64 begin = Platform::hostTimeNs();
    const auto following = [this] { return qAbs(int(sync->tempo()) - 125) <= 4; };
    int sent = 0;
    for (; Platform::hostTimeNs() - begin < 1500000000ULL
         || (!following() && Platform::hostTimeNs() - begin < 20000000000ULL);
         ++sent) {
        peer.send(QByteArray("\xF8", 1));
        const quint64 next = begin + quint64(sent + 1) * 20000000ULL;
        const quint64 now = Platform::hostTimeNs();
        if (next > now)
            QThread::usleep((next - now) / 1000);
    }
    QTest::qWait(30);
    QVERIFY(sync->isPlaying());
    QVERIFY2(following(), qPrintable(QString::number(sync->tempo())));
    QCOMPARE(controller->data(K::Tempo, QmdIndex()).toUInt(), sync->tempo());

    // Stop snaps the position to the clocks counted (the first marks the start).
    peer.send(QByteArray("\xFC", 1));
    QTRY_VERIFY(!sync->isPlaying());
    QTRY_VERIFY(controller->primedStopped.load() > 0);
    QCOMPARE(sync->pulsesElapsed(), quint64(sent - 1) * 27720);

    // Continue keeps the position; a song position of 0 goes to start.
    peer.send(QByteArray("\xFB", 1));
    QThread::msleep(20);
    peer.send(QByteArray("\xF8", 1));
    QTRY_VERIFY(sync->isPlaying());
    QVERIFY(sync->pulsesElapsed() >= quint64(sent - 1) * 27720);
    peer.send(QByteArray("\xF2\x05\x00", 3)); // another song position is ignored
    peer.send(QByteArray("\xF2\x00\x00", 3));
    QTRY_COMPARE(controller->gotoStarts.load(), 2);
    QVERIFY(!sync->isPlaying());
    QCOMPARE(sync->pulsesElapsed(), quint64(0));

    // Unticked: the input goes while the peer may still be sending.
    peer.send(QByteArray("\xFA", 1));
    markPort(*controller, K::SyncMidiInputs, input, false);
    QVERIFY(sync->syncInputPorts().isEmpty());
}

// Another program goes on sending Start, Song Position 0 and Stop while a playing document
// closes: what the clock calls on the MIDI input thread never meets an instrument or voice
// group that the closing has deleted.
void TestMidiClock::externalTransportWhileTheDocumentCloses()
{
    MidiPeer peer("ClockSource");
    QVERIFY(peer.connectOutput(input));
    std::atomic<bool> sending {true};
    std::thread source([&peer, &sending] {
        while (sending.load()) {
            peer.send(QByteArray("\xFA", 1));
            peer.send(QByteArray("\xF2\x00\x00", 3));
            peer.send(QByteArray("\xFC", 1));
            QThread::usleep(300);
        }
    });
    for (int round = 0; round < 6; ++round) {
        QmdMemModel document;
        auto* c = new QmdKelvoController;
        c->setModel(&document);
        c->requestAddInstrument();
        QmdItemId a = 0;
        QmdItemId b = 0;
        c->requestAddNode(QmdKelvo::TickPoint {0, 0}, QmdKelvo::NoCreationFlags,
                          QmdRequestOptions(QString()), &a);
        c->requestAddNode(QmdKelvo::TickPoint {665280 / 8, 0}, QmdKelvo::NoCreationFlags,
                          QmdRequestOptions(QString()), &b);
        c->requestAddEdge(c->elementIndex(a), c->elementIndex(b));
        c->requestAddEdge(c->elementIndex(b), c->elementIndex(a));
        for (int i = 0; i < 4; ++i)
            c->requestAddVoiceGroup(c->elementIndex(i % 2 ? a : b));
        QCoreApplication::processEvents();
        QCOMPARE(c->voiceGroupsCopy().size(), 4);
        markPort(*c, K::SyncMidiInputs, input, true);
        c->requestPlay();
        QTest::qWait(40);
        delete c;
    }
    sending.store(false);
    source.join();
}

QTEST_MAIN(TestMidiClock)
#include "tst_midiclock.moc"
