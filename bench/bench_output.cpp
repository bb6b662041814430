// Output threads: 16 instruments playing 16th notes at 120 BPM for 10 seconds to another
// program's port on a JACK dummy server (period 128 frames), once through Kelvo's own JACK client
// and once through the MIDI library's JACK output (KELVO_JACK_OUTPUT=rtmidi). Reports when each
// message was handed to the port against its due time (its tick in host time; negative: ahead),
// how far from its due time its frame at the receiver lies, the messages lost on the way, and
// the CPU time of the process while playing and while stopped.

#include "FrameRecorder.h"
#include "HostTime.h"
#include "JackTestServer.h"
#include "MidiInstrument.h"
#include "MidiSync.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

constexpr int Instruments = 16;
constexpr quint64 Sixteenth = 665280 / 4;
constexpr int Notes = 79; // within 10 s at 120 BPM

double cpuSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Notes the moment each batch is handed to the port.
class TimedInstrument : public MidiInstrument
{
public:
    TimedInstrument(QmdItemId id, const MidiSync* clock, quint64 startNs)
        : MidiInstrument(id)
        , clock(clock)
        , startNs(startNs)
    { }
    ~TimedInstrument() override { stopThread(); }

    std::vector<qint64> handedOver;

protected:
    void writeMessages(const QVector<InstrumentMsg>& batch) override
    {
        const quint64 now = Platform::hostTimeNs();
        for (const InstrumentMsg& m : batch)
            handedOver.push_back(qint64(now) - qint64(startNs + clock->ticksToNanos(m.time)));
        MidiInstrument::writeMessages(batch);
    }

private:
    const MidiSync* clock;
    quint64 startNs;
};

void report(const char* what, std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    auto at
        = [&](double q) { return values.empty() ? 0.0 : values[size_t(q * (values.size() - 1))]; };
    std::printf("  %-40s median %7.3f  p99 %7.3f  max %7.3f  min %7.3f ms\n", what, at(0.5),
                at(0.99), at(1.0), at(0.0));
}

void play(const JackTestServer& server, bool library)
{
    if (library)
        qputenv("KELVO_JACK_OUTPUT", "rtmidi");
    else
        qunsetenv("KELVO_JACK_OUTPUT");
    FrameRecorder recorder;
    MidiSync sync;
    sync.reset(); // 120 BPM, one principal a beat
    std::vector<std::unique_ptr<TimedInstrument>> instruments;
    const quint64 startNs = Platform::hostTimeNs() + 300000000ULL;
    for (int i = 0; i < Instruments; ++i) {
        auto instrument = std::make_unique<TimedInstrument>(QmdItemId(i + 1), &sync, startNs);
        QBitArray channels(16);
        channels.setBit(i);
        instrument->setChannels(channels);
        instrument->openPort(recorder.portName());
        instrument->setSync(&sync);
        for (int n = 0; n < Notes; ++n) {
            InstrumentMsg on;
            on.kind = InstrumentMsg::NoteOn;
            on.time = quint64(n + 1) * Sixteenth; // nothing due before the start
            on.data1 = quint8(48 + n % 24);
            on.data2 = 100;
            InstrumentMsg off = on;
            off.kind = InstrumentMsg::NoteOff;
            off.time += Sixteenth / 2;
            instrument->pipe.tryWrite(on, off);
        }
        instrument->start(QThread::TimeCriticalPriority);
        instrument->play();
        instruments.push_back(std::move(instrument));
    }
    const double latencyMs = double(instruments.front()->latencyNs()) / 1e6;

    // Where each message's frame lies from the frame of its due time one latency later, in
    // the cycle's own measure (so that a server whose cycles run a little long or short does
    // not count).
    const jack_nframes_t latencyFrames = library ? 0 : recorder.periodFrames();
    std::vector<double> arrival;
    const quint64 expected = quint64(Instruments) * Notes * 2;
    auto receive = [&] {
        for (const FrameRecorder::Event& event : recorder.take()) {
            // Note-ons are due on the 16th-note grid (125 ms), note-offs half way between.
            const double shiftMs = (event.bytes.at(0) & 0xf0) == 0x90 ? 0.0 : 62.5;
            const double ms = (event.hostNs() - double(startNs)) / 1e6 - shiftMs - latencyMs;
            const double dueNs = double(startNs) + (std::round(ms / 125.0) * 125.0 + shiftMs) * 1e6;
            const double frames
                = double(event.offset) - event.offsetOf(quint64(dueNs), latencyFrames);
            arrival.push_back(frames * 1e3 / double(recorder.sampleRate()));
        }
    };
    const int lateBefore = server.lateCycles();
    sync.setPlayingAt(startNs, 0, true);
    const double cpuPlayStart = cpuSeconds();
    const quint64 endNs = startNs + 10100000000ULL;
    while (Platform::hostTimeNs() < endNs) {
        receive();
        QThread::msleep(5);
    }
    const double cpuPlaying = cpuSeconds() - cpuPlayStart;
    const int lateCycles = server.lateCycles() - lateBefore;
    QThread::msleep(200);
    receive();

    sync.setPlaying(false);
    for (auto& instrument : instruments)
        instrument->pauseAndWait();
    const double cpuStopStart = cpuSeconds();
    QThread::sleep(5);
    const double cpuStopped = cpuSeconds() - cpuStopStart;

    std::vector<double> handedOver;
    for (auto& instrument : instruments) {
        instrument->terminateSafely();
        instrument->wait();
        for (qint64 ns : instrument->handedOver)
            handedOver.push_back(double(ns) / 1e6);
    }
    std::printf("%s: constant latency %.3f ms\n",
                library ? "MIDI library's JACK output (KELVO_JACK_OUTPUT=rtmidi)"
                        : "Kelvo's JACK client",
                latencyMs);
    std::printf("  messages sent %zu of %llu, received %zu (lost %lld); the server ran %d cycles"
                " late\n",
                handedOver.size(), (unsigned long long)expected, arrival.size(),
                (long long)expected - (long long)arrival.size(), lateCycles);
    report("handed over, against the due time", handedOver);
    report("at the receiver, less the latency", arrival);
    std::printf("  CPU: %.1f %% of one core while playing, %.2f %% while stopped\n",
                100.0 * cpuPlaying / 10.1, 100.0 * cpuStopped / 5.0);
    instruments.clear();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    JackTestServer server;
    QString error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "JACK dummy server: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("output threads: %d instruments, 16th notes at 120 BPM for 10 s over JACK dummy,"
                " period %d frames\n",
                Instruments, server.period());
    play(server, false);
    play(server, true);
    QThread::msleep(1100); // the library's closed outputs go before the server does
    return 0;
}
