// A saved network played on the ALSA sequencer to another program's port, the MIDI clock sent
// to it and followed from it, and an instrument whose port goes away and comes back.

#include "AlsaPeer.h"
#include "HostTime.h"
#include "MidiInstrument.h"
#include "MidiSync.h"
#include "ModelSignalRecorder.h"
#include "PlaybackTestSupport.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"

#include <QtTest>

#include <algorithm>
#include <memory>

namespace K = QmdKelvoKeys;

namespace {

const QString recorderPort = QStringLiteral("Rec:in");
const QString sourcePort = QStringLiteral("Rec:out");
const QString synth = QStringLiteral("Kelvo Synthesizer");

QList<Received> notes(const QList<AlsaPeer::Message>& messages)
{
    QList<Received> out;
    for (const AlsaPeer::Message& m : messages) {
        if (m.bytes.size() == 3 && (m.bytes[0] & 0xE0) == 0x80)
            out.append({uchar(m.bytes[0]), uchar(m.bytes[1]), uchar(m.bytes[2]), m.ns / 1e6});
    }
    return out;
}

} // namespace

class TestAlsaPlayback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void playsTheNetworkWithEveryNoteEnded();
    void sendsAndFollowsMidiClock();
    void anInstrumentFollowsItsPortAwayAndBack();

private:
    MidiInstrument* instrument() const { return c->instrumentsCopy().value(instrumentId); }
    // Everything the recorder gets until nothing more has come for a while.
    QList<AlsaPeer::Message> drain();

    std::unique_ptr<AlsaPeer> peer;
    QmdMemModel* model = nullptr;
    QmdKelvoController* c = nullptr;
    QmdItemId instrumentId = 0;
};

void TestAlsaPlayback::initTestCase()
{
    QVERIFY(MidiIO<RtMidiIn>::macOpenVirtualPorts());
    QVERIFY(MidiIO<RtMidiOut>::macOpenVirtualPorts());
    peer = std::make_unique<AlsaPeer>(QStringLiteral("Rec"));
    QVERIFY2(peer->isOpen(), qPrintable(peer->error()));
    QVERIFY(peer->openPort(QStringLiteral("in"), AlsaPeer::Writable) >= 0);
    QVERIFY(peer->openPort(QStringLiteral("out"), AlsaPeer::Readable) >= 0);
    QTRY_VERIFY(MidiOutput::ports().contains(recorderPort));
}

void TestAlsaPlayback::cleanupTestCase()
{
    peer.reset();
    QVERIFY(MidiIO<RtMidiIn>::macCloseVirtualPorts());
    QVERIFY(MidiIO<RtMidiOut>::macCloseVirtualPorts());
}

void TestAlsaPlayback::init()
{
    model = new QmdMemModel;
    c = new QmdKelvoController;
    c->setModel(model);
    c->requestLoad(QStringLiteral(KELVO_FIXTURES "/triangle.kvd"));
    deliverRelays();
    QCOMPARE(c->instruments().size(), 1);
    instrumentId = c->instruments().first();
    const QmdIndex index = c->instrumentIndex(instrumentId);
    c->requestSetData(K::MidiPort, recorderPort, index);
    c->requestSetData(K::MidiChannels, channelMask({0}), index);
    deliverRelays();
    QTRY_COMPARE(instrument()->port(), recorderPort);
    peer->takeReceived();
}

void TestAlsaPlayback::cleanup()
{
    delete c;
    delete model;
    c = nullptr;
    drain();
}

QList<AlsaPeer::Message> TestAlsaPlayback::drain()
{
    QList<AlsaPeer::Message> all;
    for (;;) {
        const QList<AlsaPeer::Message> more = peer->receive(1, 300);
        if (more.isEmpty())
            return all;
        all += more;
    }
}

void TestAlsaPlayback::playsTheNetworkWithEveryNoteEnded()
{
    c->requestPlay();
    QList<AlsaPeer::Message> recorded = peer->receive(40, 10000);
    c->requestPause();
    const QList<Received> got = notes(recorded + drain());
    QCOMPARE(notesLeftSounding(got), 0); // the pause ended every note

    // C3, E3, G3 a quarter principal (125 ms at 120 beats per minute) apart, then C3 again after
    // two quarters; each note lasts a tenth of a principal.
    QList<Received> ons;
    QList<double> lengths;
    for (const Received& m : got) {
        if ((m.status & 0xF0) == 0x90 && m.velocity > 0) {
            ons.append(m);
        } else if (!ons.isEmpty() && m.pitch == ons.last().pitch) {
            lengths.append(m.ms - ons.last().ms);
        }
    }
    QVERIFY2(ons.size() >= 10, qPrintable(QString::number(ons.size())));
    const uchar pitches[] = {60, 64, 67};
    const double ideal[] = {125, 125, 250};
    QList<double> errors;
    for (int n = 0; n < ons.size(); ++n) {
        QCOMPARE(ons[n].pitch, pitches[n % 3]);
        if (n > 0)
            errors.append(std::fabs(ons[n].ms - ons[n - 1].ms - ideal[(n - 1) % 3]));
    }
    for (double length : std::as_const(lengths))
        errors.append(std::fabs(length - 50.0));
    // Most notes keep their time. The bound is loose: the virtual machine the test runs in is
    // emulated, and holds threads back for milliseconds; a wrong tempo is off by far more.
    std::sort(errors.begin(), errors.end());
    const double median = errors.at(errors.size() / 2);
    QString all;
    for (double e : std::as_const(errors))
        all += QString::number(e, 'f', 1) + QLatin1Char(' ');
    QVERIFY2(median < 20.0,
             qPrintable(QStringLiteral("median error %1 ms: %2").arg(median).arg(all)));
}

void TestAlsaPlayback::sendsAndFollowsMidiClock()
{
    // Sent: Start, then 24 clocks a beat at 120 beats per minute, then Stop.
    markPort(*c, K::SyncMidiOutputs, recorderPort, true);
    c->requestPlay();
    const QList<AlsaPeer::Message> first = peer->receive(1, 5000);
    QVERIFY(!first.isEmpty());
    QCOMPARE(first.first().bytes, QByteArray("\xFA", 1));
    QList<AlsaPeer::Message> clocks;
    while (clocks.size() < 49) {
        const QList<AlsaPeer::Message> more = peer->receive(1, 5000);
        QVERIFY(!more.isEmpty());
        for (const AlsaPeer::Message& m : more) {
            if (m.bytes == QByteArray("\xF8", 1))
                clocks.append(m);
        }
    }
    c->requestPause();
    const double perClock = (clocks[48].ns - clocks[0].ns) / 1e6 / 48;
    QVERIFY2(std::fabs(perClock - 500.0 / 24) < 1.0, qPrintable(QString::number(perClock)));
    bool stopped = false;
    for (const AlsaPeer::Message& m : drain())
        stopped = stopped || m.bytes == QByteArray("\xFC", 1);
    QVERIFY(stopped);
    markPort(*c, K::SyncMidiOutputs, recorderPort, false);

    // Followed: the peer's Start and clock at 125 beats per minute start the transport and set
    // its tempo; its Stop stops it.
    markPort(*c, K::SyncMidiInputs, sourcePort, true);
    AbstractSync* clock = c->sync();
    QVERIFY(peer->send(QStringLiteral("out"), QByteArray("\xFA", 1)));
    const auto following = [clock] { return qAbs(int(clock->tempo()) - 125) <= 4; };
    const quint64 begin = Platform::hostTimeNs();
    for (int sent = 0; Platform::hostTimeNs() - begin < 1500000000ULL
         || (!following() && Platform::hostTimeNs() - begin < 20000000000ULL);
         ++sent) {
        peer->send(QStringLiteral("out"), QByteArray("\xF8", 1));
        const quint64 next = begin + quint64(sent + 1) * 20000000ULL;
        const quint64 now = Platform::hostTimeNs();
        if (next > now)
            QTest::qWait(int((next - now) / 1000000));
    }
    QVERIFY(clock->isPlaying());
    QVERIFY2(following(), qPrintable(QString::number(clock->tempo())));
    QVERIFY(peer->send(QStringLiteral("out"), QByteArray("\xFC", 1)));
    QTRY_VERIFY(!clock->isPlaying());
    markPort(*c, K::SyncMidiInputs, sourcePort, false);
}

void TestAlsaPlayback::anInstrumentFollowsItsPortAwayAndBack()
{
    // The recorder quits while the network plays: the instrument stops and plays on the
    // built-in synthesizer from then on; the document keeps the port it names.
    c->requestPlay();
    QVERIFY(!peer->receive(1, 5000).isEmpty());
    peer->closeClient();
    QTRY_COMPARE_WITH_TIMEOUT(instrument()->port(), synth, 10000);
    QCOMPARE(c->data(K::MidiPort, c->instrumentIndex(instrumentId)).toString(), recorderPort);
    QTest::qWait(1000); // the voices go on meanwhile

    // It comes back under the same name while the network plays: the instrument plays there
    // again at once, without what was played while it was away.
    QVERIFY(peer->reopenClient());
    QTRY_COMPARE_WITH_TIMEOUT(instrument()->port(), recorderPort, 10000);
    const QList<Received> got = notes(peer->receive(6, 5000));
    c->requestPause();
    QVERIFY2(got.size() >= 6, qPrintable(QString::number(got.size())));
    int together = 0; // notes a quarter principal apart never arrive within a millisecond
    for (const Received& m : got)
        together = std::max(together,
                            int(std::count_if(got.cbegin(), got.cend(), [&m](const Received& n) {
                                return (n.status & 0xF0) == 0x90 && std::fabs(n.ms - m.ms) < 1.0;
                            })));
    QVERIFY2(together <= 2, qPrintable(QString::number(together)));
}

QTEST_MAIN(TestAlsaPlayback)
#include "tst_alsaplayback.moc"
