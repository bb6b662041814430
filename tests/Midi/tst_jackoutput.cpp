#include "InstrumentMsg.h"
#include "JackTestServer.h"
#include "MidiOutput.h"
#include "MidiPeer.h"

#include <QTest>

#include <jack/jack.h>
#include <jack/ringbuffer.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <mutex>
#include <set>
#include <unistd.h>

// The process callbacks of Kelvo's clients can be made slow on purpose: every buffer they ask
// for takes 2 ms longer. Ring buffers freed by the MIDI library are remembered, and a process
// cycle that still reads one ends the test at once.
namespace {

std::atomic<bool> slowProcessing {false};

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

bool isKelvos(const jack_port_t* port)
{
    const char* name = jack_port_name(port);
    return name && qstrncmp(name, "Kelvo", 5) == 0;
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

InstrumentMsg raw(std::initializer_list<unsigned char> bytes)
{
    InstrumentMsg message;
    message.kind = InstrumentMsg::Raw;
    message.bytes = bytes;
    return message;
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

    // Outputs open and close while every process cycle of Kelvo's clients is slow, so that
    // a cycle is under way whenever a port goes: on another program's port, which each open
    // connects to anew, and on the program's own virtual output, made and released anew.
    void closingWhileTheServerIsSlowNeverCrashes()
    {
        MidiPeer receiver("Receiver");
        receiver.openInput(QStringLiteral("in"));
        const QString receiverPort = QStringLiteral("Receiver:in");
        QVERIFY(MidiIO<RtMidiOut>::ports().contains(receiverPort));

        slowProcessing = true;
        int sent = 0;
        for (int round = 0; round < 40; ++round) {
            MidiOutput output;
            QVERIFY(output.openPort(receiverPort));
            QVERIFY(output.write(raw({0xf8})));
            ++sent;
            QThread::usleep(500 * (round % 7));
            QVERIFY(output.closePort());

            QVERIFY(MidiIO<RtMidiOut>::macOpenVirtualPorts());
            MidiOutput own;
            QVERIFY(own.openPort(kelvoOutput));
            QVERIFY(own.write(raw({0xf8})));
            QThread::usleep(300 * (round % 5));
            QVERIFY(own.closePort());
            QVERIFY(MidiIO<RtMidiOut>::macCloseVirtualPorts());
        }
        slowProcessing = false;
        // What was sent before each close went out, and no port of ours is left.
        QCOMPARE(receiver.receive(sent).size(), sent);
        QVERIFY(receiver.portNames(true).filter(QStringLiteral("Kelvo")).isEmpty());
        QVERIFY(receiver.portNames(false).filter(QStringLiteral("Kelvo")).isEmpty());
    }

private:
    JackTestServer m_server;
};

QTEST_GUILESS_MAIN(TestJackOutput)
#include "tst_jackoutput.moc"
