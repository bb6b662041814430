#include "JackTestServer.h"
#include "MidiInstrument.h"
#include "MidiPeer.h"
#include "MidiSystem.h"
#include "PlaybackTestSupport.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"

#include <QtTest>

#include <memory>

namespace K = QmdKelvoKeys;

namespace {

const QString synth = QStringLiteral("Kelvo Synthesizer");
const QString target = QStringLiteral("Synth:in");

// Another program with an input port "in".
std::unique_ptr<MidiPeer> openPeer(const char* name)
{
    auto peer = std::make_unique<MidiPeer>(name);
    peer->openInput(QStringLiteral("in"));
    return peer;
}

// Told of every change of the server's ports, before or after the MIDI layer, as it was added.
struct PortsProbe : Platform::JackListener
{
    std::function<void()> changed;
    void jackPortsChanged() override { changed(); }
};

} // namespace

class TestPortGone : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void instrumentFallsBackAndComesBack();

private:
    // Whether the MIDI layer has handled a listing of the ports that holds `port`: the probe
    // before it lists them, the probe after it hands the listing on.
    bool handled(const QString& port)
    {
        bool done = false;
        {
            const std::lock_guard<std::mutex> locker(mutex);
            done = handledPorts.contains(port);
        }
        QCoreApplication::sendPostedEvents(); // what the layer queued for the instruments
        return done;
    }

    JackTestServer server;
    std::mutex mutex;
    QStringList listedPorts;
    QStringList handledPorts;
    PortsProbe before;
    PortsProbe after;
};

void TestPortGone::initTestCase()
{
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    before.changed = [this] {
        const QStringList ports = Platform::MidiSystem::portNames(false);
        const std::lock_guard<std::mutex> locker(mutex);
        listedPorts = ports;
    };
    after.changed = [this] {
        const std::lock_guard<std::mutex> locker(mutex);
        handledPorts = listedPorts;
    };
    // Around the MIDI layer's own listener, which comes with the first port.
    Platform::MidiSystem::addJackListener(&before);
    QVERIFY(MidiIO<RtMidiIn>::macOpenVirtualPorts());
    Platform::MidiSystem::addJackListener(&after);
}

void TestPortGone::cleanupTestCase()
{
    Platform::MidiSystem::removeJackListener(&after);
    Platform::MidiSystem::removeJackListener(&before);
    QVERIFY(MidiIO<RtMidiIn>::macCloseVirtualPorts());
}

// An instrument whose port goes plays on the built-in synthesizer from the next start, and on
// its own port again once a port of that name is back; the document keeps the name throughout.
void TestPortGone::instrumentFallsBackAndComesBack()
{
    std::unique_ptr<MidiPeer> peer = openPeer("Synth");
    QmdMemModel model;
    QmdKelvoController controller;
    controller.setModel(&model);
    controller.requestAddInstrument(QStringLiteral("Piano"), Qt::red, channelMask({0}));
    QCoreApplication::sendPostedEvents();
    const QmdItemId id = controller.instruments().value(0);
    MidiInstrument* instrument = controller.instrumentsCopy().value(id);
    QVERIFY(instrument);
    controller.requestSetData(K::MidiPort, target, controller.instrumentIndex(id));
    QCoreApplication::sendPostedEvents();
    QCOMPARE(instrument->port(), target);
    instrument->play();
    // The program's thru output, which belongs to no document, keeps its port and waits.
    MidiInstrument thru(0);
    QVERIFY(thru.openPort(target));

    // Other programs' ports that come change nothing.
    const std::unique_ptr<MidiPeer> other = openPeer("Other");
    QTRY_VERIFY_WITH_TIMEOUT(handled(QStringLiteral("Other:in")), 10000);
    QCOMPARE(instrument->port(), target);
    QVERIFY(instrument->sharedMidi()->hasSystemPort());
    QCOMPARE(instrument->currentState(), AbstractOutputThread::Running);

    peer.reset();
    QTRY_COMPARE_WITH_TIMEOUT(instrument->port(), synth, 10000);
    QCOMPARE(controller.data(K::MidiPort, controller.instrumentIndex(id)).toString(), target);
    QCOMPARE(instrument->currentState(), AbstractOutputThread::Paused);
    QCOMPARE(thru.port(), target);
    const std::unique_ptr<MidiPeer> another = openPeer("Another");
    QTRY_VERIFY_WITH_TIMEOUT(handled(QStringLiteral("Another:in")), 10000);
    QCOMPARE(instrument->port(), synth);

    peer = openPeer("Synth");
    QTRY_COMPARE_WITH_TIMEOUT(instrument->port(), target, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(thru.sharedMidi()->hasSystemPort(), 10000);
    InstrumentMsg note;
    note.kind = InstrumentMsg::NoteOn;
    note.data1 = 60;
    note.data2 = 100;
    instrument->playMessage(note);
    QCOMPARE(peer->receive(1, 10000).value(0), QByteArray("\x90\x3c\x64"));
}

QTEST_MAIN(TestPortGone)
#include "tst_portgone.moc"
