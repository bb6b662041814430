#include "FrameRecorder.h"
#include "HostTime.h"
#include "InstrumentMsg.h"
#include "JackTestServer.h"
#include "MidiOutput.h"
#include "MidiPeer.h"

#include <QTest>

#include <jack/jack.h>
#include <jack/ringbuffer.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <dlfcn.h>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <unistd.h>
#include <vector>

// The process callbacks of Kelvo's clients can be made slow on purpose (every buffer they ask
// for takes 2 ms longer, or one cycle is slow to place what it took from its ring) or held (the
// thread the server woke for a cycle waits to run until let go, as a busy machine keeps it
// waiting). Ring buffers freed by the MIDI library are remembered, and a process cycle that
// still reads one ends the test at once.
namespace {

std::atomic<bool> slowProcessing {false};
std::atomic<int> slowPlacingMs {0}; // for the next cycle of Kelvo's only

std::mutex holdMutex;
std::condition_variable holdChanged;
bool holding = false;
int waitingCycles = 0;

// Kelvo's process cycles wait to begin while it lives. Made, it returns once a cycle waits.
struct HeldCycles
{
    HeldCycles()
    {
        std::unique_lock<std::mutex> locker(holdMutex);
        holding = true;
        holdChanged.wait(locker, [] { return waitingCycles > 0; });
    }
    ~HeldCycles()
    {
        {
            const std::lock_guard<std::mutex> locker(holdMutex);
            holding = false;
        }
        holdChanged.notify_all();
    }
};

// Holds Kelvo's cycles, and lets them go `ms` later from a thread of its own.
struct HeldAWhile
{
    explicit HeldAWhile(int ms)
        : held(std::make_unique<HeldCycles>())
        , release([this, ms] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            held.reset();
        })
    { }
    ~HeldAWhile() { release.join(); }
    std::unique_ptr<HeldCycles> held;
    std::thread release;
};

// Kelvo's process callbacks, each called through `heldProcess` with its own argument.
struct ProcessCallback
{
    JackProcessCallback callback;
    void* argument;
};

int heldProcess(jack_nframes_t frames, void* argument)
{
    {
        std::unique_lock<std::mutex> locker(holdMutex);
        if (holding) {
            ++waitingCycles;
            holdChanged.notify_all();
            holdChanged.wait(locker, [] { return !holding; });
            --waitingCycles;
        }
    }
    const auto* process = static_cast<const ProcessCallback*>(argument);
    return process->callback(frames, process->argument);
}

std::mutex freedMutex;
std::set<const jack_ringbuffer_t*>& freedRings()
{
    static std::set<const jack_ringbuffer_t*> rings;
    return rings;
}

template<class F>
F realFunction(const char* name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

bool isKelvos(const char* name)
{
    return name && qstrncmp(name, "Kelvo", 5) == 0;
}

bool isKelvos(const jack_port_t* port)
{
    return isKelvos(jack_port_name(port));
}

bool isKelvos(const jack_client_t* client)
{
    return isKelvos(jack_get_client_name(const_cast<jack_client_t*>(client)));
}

void checkNotFreed(const jack_ringbuffer_t* ring)
{
    const std::lock_guard<std::mutex> locker(freedMutex);
    if (freedRings().count(ring)) {
        std::fprintf(stderr, "a process cycle read a ring buffer after it was freed\n");
        std::abort();
    }
}

} // namespace

extern "C" {

void* jack_port_get_buffer(jack_port_t* port, jack_nframes_t frames)
{
    static const auto real
        = realFunction<void* (*)(jack_port_t*, jack_nframes_t)>("jack_port_get_buffer");
    if (slowProcessing.load() && isKelvos(port))
        usleep(2000);
    return real(port, frames);
}

int jack_set_process_callback(jack_client_t* client, JackProcessCallback callback, void* argument)
{
    static const auto real = realFunction<int (*)(jack_client_t*, JackProcessCallback, void*)>(
        "jack_set_process_callback");
    if (!isKelvos(client))
        return real(client, callback, argument);
    // Kept for the whole run: a client's cycles may call it until the library has closed it.
    static std::mutex mutex;
    static std::deque<ProcessCallback> callbacks;
    const std::lock_guard<std::mutex> locker(mutex);
    callbacks.push_back({callback, argument});
    return real(client, &heldProcess, &callbacks.back());
}

int jack_get_cycle_times(const jack_client_t* client, jack_nframes_t* frames, jack_time_t* startUs,
                         jack_time_t* nextUs, float* periodUs)
{
    static const auto real
        = realFunction<int (*)(const jack_client_t*, jack_nframes_t*, jack_time_t*, jack_time_t*,
                               float*)>("jack_get_cycle_times");
    if (slowPlacingMs.load() > 0 && isKelvos(client))
        usleep(useconds_t(slowPlacingMs.exchange(0)) * 1000);
    return real(client, frames, startUs, nextUs, periodUs);
}

jack_ringbuffer_t* jack_ringbuffer_create(size_t size)
{
    static const auto real = realFunction<jack_ringbuffer_t* (*)(size_t)>("jack_ringbuffer_create");
    jack_ringbuffer_t* ring = real(size);
    const std::lock_guard<std::mutex> locker(freedMutex);
    freedRings().erase(ring);
    return ring;
}

void jack_ringbuffer_free(jack_ringbuffer_t* ring)
{
    static const auto real = realFunction<void (*)(jack_ringbuffer_t*)>("jack_ringbuffer_free");
    {
        const std::lock_guard<std::mutex> locker(freedMutex);
        freedRings().insert(ring);
    }
    real(ring);
}

size_t jack_ringbuffer_read_space(const jack_ringbuffer_t* ring)
{
    static const auto real
        = realFunction<size_t (*)(const jack_ringbuffer_t*)>("jack_ringbuffer_read_space");
    checkNotFreed(ring);
    return real(ring);
}

size_t jack_ringbuffer_peek(jack_ringbuffer_t* ring, char* destination, size_t count)
{
    static const auto real
        = realFunction<size_t (*)(jack_ringbuffer_t*, char*, size_t)>("jack_ringbuffer_peek");
    checkNotFreed(ring);
    return real(ring, destination, count);
}

} // extern "C"

namespace {

const QString kelvoOutput = QStringLiteral("Kelvo Output");

InstrumentMsg raw(std::initializer_list<unsigned char> bytes, quint64 dueNs = 0)
{
    InstrumentMsg message;
    message.kind = InstrumentMsg::Raw;
    message.bytes = bytes;
    message.dueNs = dueNs;
    return message;
}

QBitArray channel(int c)
{
    QBitArray mask(16);
    mask.setBit(c);
    return mask;
}

// Sends through `output` until a message reaches `recorder`: the connection is then live.
bool warmUp(MidiOutput& output, FrameRecorder& recorder)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        output.write(raw({0xfe}));
        if (!recorder.receive(1, 20).isEmpty()) {
            QThread::msleep(20);
            recorder.take();
            return true;
        }
    }
    return false;
}

} // namespace

// Kelvo's MIDI output on JACK.
class TestJackOutput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_server.start(&error), qPrintable(error));
    }

    void cleanup()
    {
        qunsetenv("KELVO_JACK_OUTPUT");
        slowProcessing = false;
    }

    // Messages due at times spread over several cycles, handed over well ahead, arrive in
    // order, each at the frame of its due time one period later: on another program's port and
    // on the program's own virtual output alike.
    void messagesGoAtTheirFrames_data()
    {
        QTest::addColumn<bool>("ownPort");
        QTest::newRow("another program's port") << false;
        QTest::newRow("Kelvo Output") << true;
    }

    void messagesGoAtTheirFrames()
    {
        QFETCH(bool, ownPort);
        FrameRecorder recorder;
        QVERIFY(recorder.isOpen());
        MidiOutput output;
        if (ownPort) {
            QVERIFY(MidiIO<RtMidiOut>::macOpenVirtualPorts());
            QVERIFY(output.openPort(kelvoOutput));
            QVERIFY(recorder.connectFrom(kelvoOutput));
        } else {
            QVERIFY(output.openPort(recorder.portName()));
        }
        QVERIFY(warmUp(output, recorder));
        const jack_nframes_t period = recorder.periodFrames();
        QCOMPARE(output.latencyNs(), quint64(period) * 1000000000u / recorder.sampleRate());

        QVector<InstrumentMsg> batch;
        const quint64 start = Platform::hostTimeNs() + 20000000;
        for (int i = 0; i < 16; ++i)
            batch.append(
                raw({0xb0, 0x10, quint8(i)}, start + quint64(i) * output.latencyNs() * 3 / 10));
        QVERIFY(output.write(batch));
        const QList<FrameRecorder::Event> events = recorder.receive(16);
        QCOMPARE(events.size(), 16);
        for (int i = 0; i < 16; ++i) {
            const FrameRecorder::Event& event = events.at(i);
            QCOMPARE(int(event.bytes.at(2)), i);
            const double expected = event.offsetOf(batch.at(i).dueNs, period);
            // Not judged where the server's clock was ahead of itself.
            QVERIFY2(event.clockAhead() || qAbs(double(event.offset) - expected) <= 2.0,
                     qPrintable(QString("message %1 at offset %2, due at %3")
                                    .arg(i)
                                    .arg(event.offset)
                                    .arg(expected)));
            if (i > 0)
                QVERIFY(event.frame > events.at(i - 1).frame);
        }
        QVERIFY(output.closePort());
        if (ownPort)
            QVERIFY(MidiIO<RtMidiOut>::macCloseVirtualPorts());
    }

    // A message due in the past, or due at once, goes at offset 0 of the next cycle, but never
    // before a message the same output handed over ahead of it.
    void lateMessagesGoAtTheNextCycleStart()
    {
        FrameRecorder recorder;
        MidiOutput output;
        QVERIFY(output.openPort(recorder.portName()));
        QVERIFY(warmUp(output, recorder));
        const double periodNs = double(output.latencyNs());

        for (int round = 0; round < 5; ++round) {
            const quint64 handedOver = Platform::hostTimeNs();
            QVERIFY(output.write(raw({0xb0, 0x11, quint8(round)}, handedOver - 1000000000)));
            const QList<FrameRecorder::Event> events = recorder.receive(1);
            QCOMPARE(events.size(), 1);
            QCOMPARE(events.first().offset, jack_nframes_t(0));
            // The cycle that began next, not a later one.
            QVERIFY(events.first().hostNs() < double(handedOver) + 2 * periodNs + 10e6);
            QThread::usleep(700 * round);
        }

        QVERIFY(output.write(
            {raw({0xb0, 0x12, 1}, Platform::hostTimeNs() + 30000000), raw({0xb0, 0x12, 2})}));
        const QList<FrameRecorder::Event> events = recorder.receive(2);
        QCOMPARE(events.size(), 2);
        QCOMPARE(int(events.at(0).bytes.at(2)), 1);
        QCOMPARE(int(events.at(1).bytes.at(2)), 2);
        QVERIFY(events.at(1).frame >= events.at(0).frame);
    }

    // An output takes back what it handed over for a later time; another output's messages on
    // the same port, and its own due before, still go out.
    void takingBackDropsOnlyTheWritersLaterMessages()
    {
        FrameRecorder recorder;
        MidiOutput first;
        MidiOutput second;
        QVERIFY(first.openPort(recorder.portName()));
        QVERIFY(second.openPort(recorder.portName()));
        QVERIFY(warmUp(first, recorder));
        const quint64 now = Platform::hostTimeNs();
        QVERIFY(
            first.write({raw({0xb0, 0x13, 1}, now + 20000000), raw({0xb0, 0x13, 2}, now + 40000000),
                         raw({0xb0, 0x13, 3}, now + 60000000)}));
        QVERIFY(second.write(raw({0xb0, 0x13, 4}, now + 50000000)));
        first.takeBack(now + 30000000);
        // What it sends afterwards comes no earlier than the time it took back from.
        QVERIFY(first.write(raw({0xb0, 0x13, 5})));
        const QList<FrameRecorder::Event> events = recorder.receive(3);
        QTest::qWait(100);
        QStringList values;
        for (const FrameRecorder::Event& event : events + recorder.take())
            values.append(QString::number(event.bytes.at(2)));
        QCOMPARE(values, QStringList({"1", "5", "4"}));
    }

    // Closing a port sends first what was handed over for later, a note-off due most of a
    // second on, say, before the port goes, even when it is not yet counted as waiting.
    void closingSendsWhatWasHandedOverFirst()
    {
        FrameRecorder recorder;
        MidiOutput output;
        QVERIFY(output.openPort(recorder.portName()));
        QVERIFY(warmUp(output, recorder));
        {
            // The cycle that takes the note-off is slow to place it while the port closes.
            const HeldCycles held;
            QVERIFY(output.write(raw({0x80, 0x40, 0}, Platform::hostTimeNs() + 600000000)));
            slowPlacingMs.store(100);
        }
        QVERIFY(output.closePort());
        const QList<FrameRecorder::Event> events = recorder.receive(1);
        QCOMPARE(events.size(), 1);
        QCOMPARE(events.first().bytes, QByteArray("\x80\x40\x00", 3));
    }

    // A busy machine may keep the thread the server woke for Kelvo's cycle from running for
    // longer than a few periods while the server runs on. What is handed over meanwhile still
    // goes out: before a port closes, and on a port just opened, whose connection that cycle
    // does not have.
    void heldCyclesLoseNothing_data()
    {
        QTest::addColumn<bool>("opening");
        QTest::newRow("closing") << false;
        QTest::newRow("opening") << true;
    }

    void heldCyclesLoseNothing()
    {
        QFETCH(bool, opening);
        FrameRecorder recorder;
        FrameRecorder other;
        MidiOutput running;
        QVERIFY(running.openPort(opening ? other.portName() : recorder.portName()));
        QVERIFY(warmUp(running, opening ? other : recorder));
        MidiOutput opened;
        MidiOutput& writer = opening ? opened : running;
        {
            const HeldAWhile held(800);
            if (opening)
                QVERIFY(opened.openPort(recorder.portName()));
            QVERIFY(writer.write(raw({0xb0, 0x14, 1})));
            if (!opening)
                QVERIFY(writer.closePort());
        }
        const QList<FrameRecorder::Event> events = recorder.receive(1);
        QCOMPARE(events.size(), 1);
        QCOMPARE(events.first().bytes, QByteArray("\xb0\x14\x01", 3));
    }

    // A pause takes back what an output handed over for after the stop, and switches off the
    // notes left sounding. Which of what it took back had gone out already nobody knows: a
    // note-off taken back counts as not sent. Kelvo's cycles are held meanwhile, as a busy
    // machine holds them, so that the note-off is still waiting when the time of the stop, and
    // its own, have passed: handed over ahead of its time, or late, after its time.
    void aNoteOffTakenBackIsSwitchedOffAgain_data()
    {
        QTest::addColumn<bool>("late");
        QTest::newRow("handed over ahead") << false;
        QTest::newRow("handed over late") << true;
    }

    void aNoteOffTakenBackIsSwitchedOffAgain()
    {
        QFETCH(bool, late);
        FrameRecorder recorder;
        MidiOutput output;
        QVERIFY(output.openPort(recorder.portName()));
        output.setChannels(channel(0));
        QVERIFY(warmUp(output, recorder));

        InstrumentMsg on;
        on.data1 = 60;
        on.data2 = 100;
        InstrumentMsg off = on;
        off.kind = InstrumentMsg::NoteOff;
        off.data2 = 0;
        {
            const HeldCycles held;
            const quint64 now = Platform::hostTimeNs();
            on.dueNs = late ? now - 3000000 : now + 2000000;
            off.dueNs = on.dueNs + 2000000;
            QVERIFY(output.write({on, off}));
            // The stop falls between the two; the pause reaches the output after both.
            while (Platform::hostTimeNs() <= off.dueNs)
                QThread::usleep(100);
            output.takeBack(off.dueNs - 100000);
            output.releaseHeldNotes(Platform::hostTimeNs() + 1000000);
        }
        const QList<FrameRecorder::Event> events = recorder.receive(2);
        QTest::qWait(50);
        QStringList sent;
        for (const FrameRecorder::Event& event : events + recorder.take())
            sent.append(QString::fromLatin1(event.bytes.toHex(' ')));
        QCOMPARE(sent, QStringList({"90 3c 64", "80 3c 00"}));
        QVERIFY(output.notesHeld().isEmpty());
    }

    // Sixteen outputs on one port write at once, each from its own thread: every message
    // arrives, each output's in the order it wrote them.
    void nothingLostWhenSixteenWriteAtOnce()
    {
        FrameRecorder recorder;
        const int writers = 16;
        const int notes = 200;
        std::vector<std::unique_ptr<MidiOutput>> outputs;
        for (int w = 0; w < writers; ++w) {
            outputs.push_back(std::make_unique<MidiOutput>());
            QVERIFY(outputs.back()->openPort(recorder.portName()));
            outputs.back()->setChannels(channel(w));
        }
        QVERIFY(warmUp(*outputs.front(), recorder));

        const quint64 start = Platform::hostTimeNs() + 5000000;
        std::atomic<int> failed {0};
        std::vector<std::thread> threads;
        for (int w = 0; w < writers; ++w) {
            threads.emplace_back([&, w] {
                for (int n = 0; n < notes; ++n) {
                    InstrumentMsg on;
                    on.data1 = quint8(n % 128);
                    on.data2 = 100;
                    on.dueNs = start + quint64(n) * 100000;
                    InstrumentMsg off = on;
                    off.kind = InstrumentMsg::NoteOff;
                    off.dueNs += 50000;
                    failed += int(!outputs[size_t(w)]->write({on, off}));
                }
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        QCOMPARE(failed.load(), 0);

        const QList<FrameRecorder::Event> events = recorder.receive(writers * notes * 2, 10000);
        QCOMPARE(events.size(), writers * notes * 2);
        QCOMPARE(recorder.dropped(), 0);
        std::vector<int> next(size_t(writers), 0); // the next message of each output, in order
        for (const FrameRecorder::Event& event : events) {
            const int w = event.bytes.at(0) & 0x0f;
            const int n = next[size_t(w)]++;
            const int status = n % 2 == 0 ? 0x90 : 0x80;
            QCOMPARE(int(quint8(event.bytes.at(0))), status + w);
            QCOMPARE(int(event.bytes.at(1)), n / 2 % 128);
        }
    }

    // Outputs open and close while every process cycle of Kelvo's clients is slow, so that
    // a cycle is under way whenever a port goes: on another program's port, which each open
    // connects to anew, and on the program's own virtual output, made and released anew. Both
    // ways to JACK: Kelvo's own client and the MIDI library's output.
    void closingWhileTheServerIsSlowNeverCrashes_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("Kelvo's client") << QByteArray();
        QTest::newRow("the MIDI library") << QByteArray("rtmidi");
    }

    void closingWhileTheServerIsSlowNeverCrashes()
    {
        QFETCH(QByteArray, output);
        qputenv("KELVO_JACK_OUTPUT", output);
        MidiPeer receiver("Receiver");
        receiver.openInput(QStringLiteral("in"));
        const QString receiverPort = QStringLiteral("Receiver:in");
        QVERIFY(MidiIO<RtMidiOut>::ports().contains(receiverPort));

        slowProcessing = true;
        int sent = 0;
        for (int round = 0; round < 40; ++round) {
            MidiOutput other;
            QVERIFY(other.openPort(receiverPort));
            QVERIFY(other.write(raw({0xf8})));
            ++sent;
            QThread::usleep(500 * (round % 7));
            QVERIFY(other.closePort());

            QVERIFY(MidiIO<RtMidiOut>::macOpenVirtualPorts());
            MidiOutput own;
            QVERIFY(own.openPort(kelvoOutput));
            QVERIFY(own.write(raw({0xf8})));
            QThread::usleep(300 * (round % 5));
            QVERIFY(own.closePort());
            QVERIFY(MidiIO<RtMidiOut>::macCloseVirtualPorts());
        }
        slowProcessing = false;
        // No port of ours is left, and with Kelvo's client what was sent before each close
        // went out (the library's output may lose the last messages before a close).
        if (output.isEmpty())
            QCOMPARE(receiver.receive(sent).size(), sent);
        QVERIFY(receiver.portNames(true).filter(QStringLiteral("Kelvo")).isEmpty());
        QVERIFY(receiver.portNames(false).filter(QStringLiteral("Kelvo")).isEmpty());
    }

private:
    JackTestServer m_server;
};

QTEST_GUILESS_MAIN(TestJackOutput)
#include "tst_jackoutput.moc"
