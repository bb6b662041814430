// A saved network played end to end: loaded from its file, played through the document's own
// clock, voice group and instrument thread, and recorded by another program on the server.

#include "JackTestServer.h"
#include "MidiInstrument.h"
#include "MidiPeer.h"
#include "MidiSynth.h"
#include "ModelSignalRecorder.h"
#include "PlaybackTestSupport.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"

#include <QtTest>

#include <cmath>
#include <memory>

namespace K = QmdKelvoKeys;

namespace {

const QString synth = QStringLiteral("Kelvo Synthesizer");
// The recording program's input port, as the instrument's port list shows it.
const QString recorderPort = QStringLiteral("Recorder:record");
// The dummy server's period: 128 frames at 48 kHz.
constexpr double PeriodMs = 128.0 / 48.0;

struct Received
{
    uchar status, pitch, velocity;
    double ms;
};

} // namespace

class TestPlaybackEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void playsTheNetworkInTime();
    void nothingSoundsAfterGotoStartCloseOrRemoval();
    void theSynthesizerPlaysTheNetwork();

private:
    QList<Received> take();
    static int balance(const QList<Received>& messages);

    JackTestServer server;
    std::unique_ptr<MidiPeer> recorder;
    MidiOutput keeper; // keeps the connection to the recorder open between documents
    QmdMemModel* model = nullptr;
    QmdKelvoController* c = nullptr;
};

void TestPlaybackEndToEnd::initTestCase()
{
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    QVERIFY(MidiIO<RtMidiIn>::macOpenVirtualPorts());
    recorder = std::make_unique<MidiPeer>("Recorder");
    recorder->openInput(QStringLiteral("record"));
    QVERIFY(MidiOutput::ports().contains(recorderPort));
    QVERIFY(warmUp(keeper, recorderPort, [this] { return !recorder->takeTimed().isEmpty(); }));
}

void TestPlaybackEndToEnd::cleanupTestCase()
{
    keeper.closePort();
    recorder.reset();
    QVERIFY(MidiIO<RtMidiIn>::macCloseVirtualPorts());
}

void TestPlaybackEndToEnd::init()
{
    model = new QmdMemModel;
    c = new QmdKelvoController;
    c->setModel(model);
    c->requestLoad(QStringLiteral(KELVO_FIXTURES "/triangle.kvd"));
    deliverRelays();
    QCOMPARE(c->instruments().size(), 1);
    const QmdIndex instrument = c->instrumentIndex(c->instruments().first());
    c->requestSetData(K::MidiPort, recorderPort, instrument);
    c->requestSetData(K::MidiChannels, channelMask({0}), instrument);
    deliverRelays();
    QCOMPARE(c->data(K::MidiPort, instrument).toString(), recorderPort);
    QCOMPARE(c->voiceGroupsCopy().size(), 1);
    recorder->takeTimed();
}

void TestPlaybackEndToEnd::cleanup()
{
    delete c;
    delete model;
    c = nullptr;
    QTest::qWait(100);
    recorder->takeTimed();
}

QList<Received> TestPlaybackEndToEnd::take()
{
    QList<Received> out;
    for (const MidiPeer::TimedMessage& m : recorder->takeTimed()) {
        if (m.bytes.size() != 3 || (m.bytes[0] & 0xE0) != 0x80)
            continue; // bank and program changes, controllers
        out.append({uchar(m.bytes[0]), uchar(m.bytes[1]), uchar(m.bytes[2]), m.ms});
    }
    return out;
}

int TestPlaybackEndToEnd::balance(const QList<Received>& messages)
{
    int sounding = 0;
    for (const Received& m : messages)
        sounding += (m.status & 0xF0) == 0x90 && m.velocity > 0 ? 1 : -1;
    return sounding;
}

void TestPlaybackEndToEnd::playsTheNetworkInTime()
{
    // A cycle that the dummy driver itself runs late holds back what it carries, whatever the
    // engine did: a run whose timing fails while the server reports a late cycle is played
    // again, up to three times. Without a late cycle on the server, a miss fails at once.
    for (int attempt = 1;; ++attempt) {
        const int lateBefore = server.lateCycles();
        c->requestPlay();
        QList<Received> got;
        for (int i = 0; i < 150; ++i) { // three seconds
            QTest::qWait(20);
            got += take();
        }
        c->requestPause();
        QTest::qWait(200);
        got += take();
        QTest::qWait(300);
        QVERIFY(take().isEmpty()); // nothing after stop
        QCOMPARE(balance(got), 0); // a note-off for every note-on

        // C3, E3, G3 a quarter principal (125 ms at 120 beats per minute) apart, then back to
        // C3 after two quarters.
        QList<Received> ons;
        for (const Received& m : std::as_const(got))
            if ((m.status & 0xF0) == 0x90 && m.velocity > 0)
                ons.append(m);
        QVERIFY2(ons.size() >= 15, qPrintable(QString::number(ons.size())));
        const uchar pitches[] = {60, 64, 67};
        const double ideal[] = {125, 125, 250};
        QString late;
        for (int n = 0; n < ons.size(); ++n) {
            QCOMPARE(ons[n].pitch, pitches[n % 3]);
            const double interval = n > 0 ? ons[n].ms - ons[n - 1].ms : 0;
            // Each of the two arrivals waits for the server's next period: a period of slack
            // for each end.
            if (n > 0 && late.isEmpty()
                && std::fabs(interval - ideal[(n - 1) % 3]) > 2.0 + 2 * PeriodMs)
                late = QStringLiteral("note %1: %2 ms").arg(n).arg(interval);
        }
        if (late.isEmpty())
            return;
        if (server.lateCycles() == lateBefore || attempt == 3)
            QFAIL(qPrintable(late));
        qInfo("%s while the server ran a cycle late; playing again", qPrintable(late));
        cleanup();
        init();
        if (QTest::currentTestFailed())
            return;
    }
}

void TestPlaybackEndToEnd::nothingSoundsAfterGotoStartCloseOrRemoval()
{
    auto playUntilANoteSounds = [this](QList<Received>* got) {
        c->requestPlay();
        for (int i = 0; i < 200 && balance(*got) <= 0; ++i) {
            QTest::qWait(5);
            *got += take();
        }
        return balance(*got) > 0;
    };

    // Go to start while a note sounds, stopped there.
    QList<Received> got;
    QVERIFY(playUntilANoteSounds(&got));
    c->requestPause();
    c->requestGotoStart();
    QTest::qWait(200);
    got += take();
    QCOMPARE(balance(got), 0);

    // Go to start while playing: what sounded before ends, and playing goes on.
    got.clear();
    QVERIFY(playUntilANoteSounds(&got));
    c->requestGotoStart();
    QTest::qWait(400);
    c->requestPause();
    QTest::qWait(200);
    got += take();
    QCOMPARE(balance(got), 0);

    // Deleting the instrument while a note sounds.
    got.clear();
    QVERIFY(playUntilANoteSounds(&got));
    c->requestRemove(c->instruments().first(), c->index(K::Instruments, QmdIndex()));
    deliverRelays();
    QTest::qWait(300);
    got += take();
    QCOMPARE(balance(got), 0);
    QVERIFY(c->instrumentsCopy().isEmpty());

    // Closing the document while a note sounds.
    cleanup();
    init();
    got.clear();
    QVERIFY(playUntilANoteSounds(&got));
    delete c;
    c = nullptr;
    QTest::qWait(300);
    got += take();
    QCOMPARE(balance(got), 0);
}

void TestPlaybackEndToEnd::theSynthesizerPlaysTheNetwork()
{
    MidiSynth synthesizer(nullptr, MidiSynth::NoAudioOutput);
    QTRY_VERIFY_WITH_TIMEOUT(synthesizer.isReady(), 10000);
    MidiInput input;
    QVERIFY(input.openPort(synth));
    synthesizer.setMidiInput(&input);
    c->requestSetData(K::MidiPort, synth, c->instrumentIndex(c->instruments().first()));
    deliverRelays();
    QCOMPARE(c->data(K::MidiPort, c->instrumentIndex(c->instruments().first())).toString(), synth);
    std::vector<float> left(4096), right(4096);
    auto energy = [&] {
        synthesizer.render(left.data(), right.data(), 4096);
        double sum = 0;
        for (float v : left)
            sum += double(v) * v;
        return sum;
    };
    energy();
    QCOMPARE(energy(), 0.0);
    c->requestPlay();
    double heard = 0;
    for (int i = 0; i < 100 && heard == 0; ++i) {
        QTest::qWait(10);
        heard = energy();
    }
    c->requestPause();
    QVERIFY(heard > 0);
    synthesizer.setMidiInput(nullptr);
    input.closePort();
}

QTEST_GUILESS_MAIN(TestPlaybackEndToEnd)
#include "tst_playback_e2e.moc"
