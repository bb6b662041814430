#include "JackTestServer.h"
#include "MidiInput.h"
#include "MidiOutput.h"
#include "MidiPeer.h"
#include "MidiSystem.h"
#include "MusicDevice.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTest>

#include <jack/jack.h>

#include <atomic>
#include <csignal>
#include <cstdarg>
#include <dlfcn.h>
#include <memory>
#include <pthread.h>
#include <unistd.h>
#include <vector>

using Platform::MidiSystem;

// Every JACK client this process opens is counted, the MIDI library's and FluidSynth's too.
namespace {
std::atomic<int> clientsOpened {0};
}

extern "C" jack_client_t* jack_client_open(const char* name, jack_options_t options,
                                           jack_status_t* status, ...)
{
    using Open = jack_client_t* (*)(const char*, jack_options_t, jack_status_t*, ...);
    static const Open real = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "jack_client_open"));
    ++clientsOpened;
    if (options & JackServerName) {
        va_list rest;
        va_start(rest, status);
        const char* server = va_arg(rest, const char*);
        va_end(rest);
        return real(name, options, status, server);
    }
    return real(name, options, status);
}

// The JACK library prints its errors with strerror(), which takes a lock of the C library, on
// threads of its own that it cancels asynchronously when their client closes: one cancelled in
// there would leave the lock taken for good, and every later strerror() of the process would
// wait for ever. While `slowStrerror` is set, a call on a thread other than the main one takes
// a while, and a cancellation during it is counted.
namespace {
std::atomic<bool> slowStrerror {false};
std::atomic<int> cancelledInStrerror {0};
void countCancellation(void*)
{
    ++cancelledInStrerror;
}
} // namespace

extern "C" char* strerror(int error)
{
    using Real = char* (*)(int);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "strerror"));
    if (!slowStrerror.load() || gettid() == getpid())
        return real(error);
    char* text = nullptr;
    pthread_cleanup_push(countCancellation, nullptr);
    usleep(200000);
    text = real(error);
    pthread_cleanup_pop(0);
    return text;
}

namespace {

const QString kelvoInput = QStringLiteral("Kelvo Input");
const QString kelvoOutput = QStringLiteral("Kelvo Output");
const QString kelvoSynth = QStringLiteral("Kelvo Synthesizer");

// Another program that looks at the server the way a patchbay does: by port names.
class Patchbay
{
public:
    Patchbay()
        : m_client(jack_client_open("Patchbay", JackNoStartServer, nullptr))
    { }
    ~Patchbay()
    {
        if (m_client)
            jack_client_close(m_client);
    }
    bool isOpen() const { return m_client; }

    QStringList ports(const char* pattern, const char* type = nullptr) const
    {
        QStringList names;
        const char** ports = jack_get_ports(m_client, pattern, type, 0);
        for (const char** port = ports; port && *port; ++port)
            names.append(QString::fromUtf8(*port));
        jack_free(ports);
        names.sort();
        return names;
    }
    QStringList connections(const QString& port) const
    {
        QStringList names;
        jack_port_t* p = jack_port_by_name(m_client, port.toUtf8().constData());
        const char** connected = p ? jack_port_get_all_connections(m_client, p) : nullptr;
        for (const char** c = connected; c && *c; ++c)
            names.append(QString::fromUtf8(*c));
        jack_free(connected);
        return names;
    }
    bool connect(const QString& from, const QString& to)
    {
        return jack_connect(m_client, from.toUtf8().constData(), to.toUtf8().constData()) == 0;
    }

private:
    jack_client_t* m_client;
};

// The program's MIDI layer as the program sets it up, its ports opened in one order or the
// reverse one.
struct MidiLayer
{
    std::vector<std::unique_ptr<MidiInput>> inputs;
    std::vector<std::unique_ptr<MidiOutput>> outputs;
    bool started = false;

    ~MidiLayer()
    {
        if (started)
            stop();
    }

    bool start(bool reverse, const QString& otherInput, const QString& otherOutput)
    {
        const auto openInput = [this](const QString& name) {
            inputs.push_back(std::make_unique<MidiInput>());
            const bool ok = inputs.back()->openPort(name);
            if (!ok)
                qWarning() << "no input on" << name;
            return ok;
        };
        const auto openOutput = [this](const QString& name) {
            outputs.push_back(std::make_unique<MidiOutput>());
            const bool ok = outputs.back()->openPort(name);
            if (!ok)
                qWarning() << "no output to" << name;
            return ok;
        };
        bool ok = true;
        started = true;
        if (!reverse) {
            ok &= MidiIO<RtMidiIn>::macOpenVirtualPorts();
            ok &= MidiIO<RtMidiOut>::macOpenVirtualPorts();
            ok &= openOutput(otherInput);
            ok &= openInput(otherOutput);
            ok &= openInput(kelvoSynth);
            ok &= openOutput(kelvoSynth);
        } else {
            ok &= MidiIO<RtMidiOut>::macOpenVirtualPorts();
            ok &= MidiIO<RtMidiIn>::macOpenVirtualPorts();
            ok &= openOutput(kelvoSynth);
            ok &= openInput(kelvoSynth);
            ok &= openInput(otherOutput);
            ok &= openOutput(otherInput);
        }
        return ok;
    }

    void stop()
    {
        started = false;
        inputs.clear();
        outputs.clear();
        MidiIO<RtMidiIn>::macCloseVirtualPorts();
        MidiIO<RtMidiOut>::macCloseVirtualPorts();
        MidiSystem::shutDown();
    }
};

InstrumentMsg noteOn(quint8 pitch)
{
    InstrumentMsg m;
    m.kind = InstrumentMsg::NoteOn;
    m.data1 = pitch;
    m.data2 = 100;
    return m;
}

} // namespace

// Kelvo on JACK is one client called "Kelvo" whose ports have the same names in every run.
class TestJackClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_server.start(&error), qPrintable(error));
        m_patchbay = std::make_unique<Patchbay>();
        QVERIFY(m_patchbay->isOpen());
    }

    void cleanup()
    {
        MidiSystem::shutDown();
        // A test that froze the server and failed lets it go on.
        m_server.signalServer(SIGCONT);
    }

    void oneClientWithTheSameNamesInEveryRun()
    {
        MidiPeer recorder("Recorder");
        recorder.openInput(QStringLiteral("in"));
        MidiPeer sender("Sender");
        QVERIFY(sender.connectOutput(QStringLiteral("in")));
        const QStringList senderPorts = m_patchbay->ports("^Sender.*:peer out$");
        QCOMPARE(senderPorts.size(), 1);
        const QString senderPort = senderPorts.first();
        QStringList expected
            = {"Kelvo:Kelvo Input",        "Kelvo:Kelvo Output",         "Kelvo:Kelvo Synthesizer",
               "Kelvo:from " + senderPort, "Kelvo:to Kelvo Synthesizer", "Kelvo:to Recorder:in"};
        expected.sort();

        QStringList firstRun;
        for (bool reverse : {false, true}) {
            QCOMPARE(MidiSystem::api(), MidiSystem::Jack);
            MidiLayer layer;
            QVERIFY(layer.start(reverse, QStringLiteral("Recorder:in"), senderPort));
            QCOMPARE(m_patchbay->ports("^Kelvo"), expected); // no "Kelvo-01" beside it
            QTRY_COMPARE(m_patchbay->connections("Kelvo:to Kelvo Synthesizer"),
                         QStringList({"Kelvo:Kelvo Synthesizer"}));
            QTRY_COMPARE(m_patchbay->connections("Kelvo:from " + senderPort),
                         QStringList({senderPort}));
            if (!reverse) {
                firstRun = m_patchbay->ports("^Kelvo");
                // A connection the user makes by name, as a patchbay would store it.
                QVERIFY(m_patchbay->connect("Kelvo:Kelvo Output", "Recorder:in"));
            } else {
                QCOMPARE(m_patchbay->ports("^Kelvo"), firstRun);
                // The stored connection is made again by its names, and works.
                QVERIFY(m_patchbay->connect("Kelvo:Kelvo Output", "Recorder:in"));
                MidiOutput out;
                QVERIFY(out.openPort(kelvoOutput));
                QBitArray channel(16);
                channel.setBit(0);
                out.setChannels(channel);
                // Controller resets go until the new connection carries them, then the note.
                InstrumentMsg reset;
                reset.kind = InstrumentMsg::ControlChange;
                reset.data1 = 121;
                QVERIFY(recorder.awaitDelivery([&] { out.write(reset); }));
                const QDeadlineTimer deadline(10000);
                QVERIFY(out.write(noteOn(0x45)));
                QList<QByteArray> notes; // what arrives besides the resets
                while (notes.isEmpty() && !deadline.hasExpired())
                    for (const QByteArray& message : recorder.receive(1, 50))
                        if (quint8(message.at(0)) != 0xB0)
                            notes.append(message);
                QCOMPARE(notes, QList<QByteArray>({QByteArray("\x90\x45\x64", 3)}));
            }
            // The program's output reaches its own synthesizer port inside the one client.
            MidiInput* synthInput = layer.inputs.at(reverse ? 0 : 1).get();
            MidiOutput* toSynth = layer.outputs.at(reverse ? 0 : 1).get();
            QCOMPARE(synthInput->port(), kelvoSynth);
            QCOMPARE(toSynth->port(), kelvoSynth);
            QBitArray channel(16);
            channel.setBit(1);
            toSynth->setChannels(channel);
            QVERIFY(toSynth->write(noteOn(0x30)));
            QTRY_VERIFY(synthInput->hasMessages());
            layer.stop();
            QTRY_COMPARE(m_patchbay->ports("^Kelvo"), QStringList());
        }
    }

    void listingPortsOpensNoClient()
    {
        QCOMPARE(MidiSystem::api(), MidiSystem::Jack);
        const int opened = clientsOpened.load();
        for (int i = 0; i < 5; ++i) {
            QVERIFY(MidiIO<RtMidiIn>::ports().contains(kelvoInput));
            QVERIFY(MidiIO<RtMidiOut>::ports().contains(kelvoOutput));
            uint number = 0;
            QVERIFY(!MidiIO<RtMidiOut>::findPortNumber(QStringLiteral("No Such Port"), &number));
        }
        QCOMPARE(clientsOpened.load(), opened);
    }

    void nameTakenByAnotherProgramIsTold()
    {
        jack_client_t* other = jack_client_open("Kelvo", JackNoStartServer, nullptr);
        QVERIFY(other);
        QCOMPARE(MidiSystem::api(), MidiSystem::NoApi);
        QVERIFY2(MidiSystem::problem().contains(QStringLiteral("\"Kelvo\"")),
                 qPrintable(MidiSystem::problem()));
        QCOMPARE(m_patchbay->ports("^Kelvo-"), QStringList());
        MidiSystem::shutDown();
        jack_client_close(other);
        QCOMPARE(MidiSystem::api(), MidiSystem::Jack);
        QCOMPARE(MidiSystem::problem(), QString());
    }

    // On JACK the built-in synthesizer plays there, as "Kelvo Synthesizer", its outputs
    // connected to the system's playback ports from the start.
    void synthesizerConnectsToThePlaybackPorts()
    {
        QCOMPARE(MidiSystem::api(), MidiSystem::Jack);
        auto device = std::make_unique<Platform::MusicDevice>();
        const QStringList ports = m_patchbay->ports("^Kelvo Synthesizer:", JACK_DEFAULT_AUDIO_TYPE);
        QVERIFY2(ports.size() >= 2, qPrintable(ports.join(", ")));
        QTRY_COMPARE(synthesizerReaches(), QStringList({"system:playback_1", "system:playback_2"}));
        QCOMPARE(m_patchbay->ports("^fluidsynth"), QStringList());
        device.reset();
        QTRY_COMPARE(m_patchbay->ports("^Kelvo Synthesizer:"), QStringList());
    }

    // The server goes away under an open MIDI layer and a playing synthesizer: killed, stopped
    // or frozen (a server that hangs). The layer goes on, its port requests and its shutdown
    // wait a bounded time, and nothing crashes.
    void aServerThatGoesNeverCrashesNorHolds_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("killed") << SIGKILL;
        QTest::newRow("stopped") << SIGTERM;
        QTest::newRow("frozen") << SIGSTOP;
    }

    void aServerThatGoesNeverCrashesNorHolds()
    {
        QFETCH(int, how);
        auto device = std::make_unique<Platform::MusicDevice>();
        QVERIFY(device->playsOnJack());
        MidiLayer layer;
        {
            MidiPeer recorder("Recorder");
            recorder.openInput(QStringLiteral("in"));
            QVERIFY(layer.start(false, QStringLiteral("Recorder:in"), kelvoOutput));
            QBitArray channel(16);
            channel.setBit(0);
            for (const auto& output : layer.outputs)
                output->setChannels(channel);
            QVERIFY(recorder.awaitDelivery([&] { layer.outputs.front()->write(noteOn(0x40)); }));
            QVERIFY(layer.outputs.back()->write(noteOn(0x41)));
            QVERIFY(!layer.outputs.back()->notesHeld().isEmpty());
        }
        // The test's own clients go first: the JACK library would free them under the test
        // once a client opens after their server died.
        m_patchbay.reset();
        const int losses = int(MidiSystem::jackServerLosses());
        cancelledInStrerror.store(0);
        slowStrerror.store(true);
        if (how == SIGTERM)
            m_server.stopServer();
        else
            QVERIFY(m_server.signalServer(how));
        QElapsedTimer waited;
        if (how == SIGSTOP) {
            // A port request meets the server that hangs: it is given up within the bound,
            // and the server is taken for gone.
            waited.start();
            layer.outputs.front()->closePort();
            QVERIFY2(waited.elapsed() < 5000, qPrintable(QString::number(waited.elapsed())));
        }
        // The request may have been the last to leave the port, and then the program's own
        // thread that follows the server waited for it: the server is taken for gone after it.
        QTRY_COMPARE_WITH_TIMEOUT(int(MidiSystem::jackServerLosses()), losses + 1, 10000);
        QVERIFY(MidiSystem::jackServerGone());
        // What the port poll asks, and what the instruments do, goes on.
        // The program's own inputs are reached inside the program now.
        QTRY_VERIFY(MidiIO<RtMidiOut>::ports().contains(kelvoSynth));
        for (int i = 0; i < 3; ++i) {
            QVERIFY(MidiIO<RtMidiIn>::ports().contains(kelvoInput));
            QVERIFY(MidiIO<RtMidiOut>::ports().contains(kelvoSynth));
            QVERIFY(layer.outputs.back()->write(noteOn(0x42)));
        }
        // Nothing sounds through a server that has gone.
        QTRY_VERIFY(layer.outputs.back()->notesHeld().isEmpty());
        // The clients closed after the library's threads had let go of them.
        if (how != SIGSTOP) {
            QTRY_VERIFY(MidiSystem::jackClientsClosed());
            slowStrerror.store(false);
            QCOMPARE(cancelledInStrerror.load(), 0);
        }
        slowStrerror.store(false);
        waited.restart();
        device.reset();
        layer.stop();
        QVERIFY2(waited.elapsed() < 2000, qPrintable(QString::number(waited.elapsed())));
        // The user stops the server that hangs (which then waits for a cycle it will not run,
        // and the program's closing clients wait with it, until it is killed), and the next test
        // has a server again.
        if (how == SIGSTOP)
            m_server.signalServer(SIGTERM);
        QString error;
        QVERIFY2(m_server.restart(&error), qPrintable(error));
        m_patchbay = std::make_unique<Patchbay>();
    }

    // A server under the same name runs again: restarted, or started only after the program.
    // The program's client comes back with the same port names, its connections made again by
    // the names of the ports they lead to, and the synthesizer plays there again.
    void aServerThatComesBackIsTakenUp_data()
    {
        QTest::addColumn<bool>("startedLater");
        QTest::newRow("restarted") << false;
        QTest::newRow("started after the program") << true;
    }

    void aServerThatComesBackIsTakenUp()
    {
        QFETCH(bool, startedLater);
        m_patchbay.reset();
        if (startedLater) {
            m_server.stopServer();
            MidiSystem::shutDown();
            QCOMPARE(MidiSystem::api(), MidiSystem::NoApi);
        }
        auto device = std::make_unique<Platform::MusicDevice>();
        QCOMPARE(device->playsOnJack(), !startedLater);
        MidiLayer layer;
        QStringList before;
        if (startedLater) {
            QVERIFY(!layer.start(false, QStringLiteral("Recorder:in"), kelvoOutput));
            layer.outputs.front()->openPort(QStringLiteral("Recorder:in")); // not there: closed
        } else {
            {
                MidiPeer recorder("Recorder");
                recorder.openInput(QStringLiteral("in"));
                QVERIFY(layer.start(false, QStringLiteral("Recorder:in"), kelvoOutput));
                Patchbay patchbay;
                before = patchbay.ports("^Kelvo");
            }
            m_server.stopServer();
        }
        QString error;
        QVERIFY2(m_server.restart(&error), qPrintable(error));
        m_patchbay = std::make_unique<Patchbay>();

        QStringList own = {"Kelvo:Kelvo Input", "Kelvo:Kelvo Output", "Kelvo:Kelvo Synthesizer"};
        QTRY_VERIFY_WITH_TIMEOUT(m_patchbay->ports("^Kelvo:Kelvo ") == own, 15000);
        QTRY_COMPARE(MidiSystem::api(), MidiSystem::Jack);
        QTRY_VERIFY(device->playsOnJack());
        QTRY_COMPARE(synthesizerReaches(), QStringList({"system:playback_1", "system:playback_2"}));
        // The program's own output reaches its synthesizer's input again.
        QBitArray channel(16);
        channel.setBit(0);
        MidiOutput* toSynth = layer.outputs.back().get();
        toSynth->setChannels(channel);
        QTRY_VERIFY_WITH_TIMEOUT((toSynth->write(noteOn(0x30)), layer.inputs.back()->hasMessages()),
                                 10000);
        if (startedLater)
            return;
        // The recorder comes back too; the output made before the restart connects to it by
        // its name and carries notes again.
        MidiPeer recorder("Recorder");
        recorder.openInput(QStringLiteral("in"));
        QTRY_COMPARE(m_patchbay->connections("Kelvo:to Recorder:in"), QStringList({"Recorder:in"}));
        QCOMPARE(m_patchbay->ports("^Kelvo"), before);
        MidiOutput* toRecorder = layer.outputs.front().get();
        toRecorder->setChannels(channel);
        QVERIFY(recorder.awaitDelivery([&] { toRecorder->write(noteOn(0x42)); }));
    }

private:
    // The ports the synthesizer's outputs are connected to. The server takes a connection into
    // the graph that other clients see at the start of its next cycle, which a busy machine may
    // not have run yet: callers wait for the answer they expect.
    QStringList synthesizerReaches() const
    {
        QStringList reached;
        for (const QString& port :
             m_patchbay->ports("^Kelvo Synthesizer:", JACK_DEFAULT_AUDIO_TYPE))
            reached += m_patchbay->connections(port);
        reached.sort();
        return reached;
    }

    JackTestServer m_server;
    std::unique_ptr<Patchbay> m_patchbay;
};

QTEST_GUILESS_MAIN(TestJackClient)
#include "tst_jackclient.moc"
