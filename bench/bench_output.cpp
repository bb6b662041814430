// Output threads: 16 instruments playing 16th notes at 120 BPM for 10 seconds to a port of a
// JACK dummy server. Reports how late each message was handed to the port against its due
// time (its tick in host time), the messages lost on the way, and the CPU time of the process
// while playing and while stopped.

#include "HostTime.h"
#include "JackTestServer.h"
#include "MidiInput.h"
#include "MidiInstrument.h"
#include "MidiSync.h"

#include <QCoreApplication>
#include <QMutex>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

const QString synth = QStringLiteral("Kelvo Synthesizer");
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

    std::vector<qint64> lateness;

protected:
    void writeMessages(const QVector<InstrumentMsg>& batch) override
    {
        const quint64 now = Platform::hostTimeNs();
        for (const InstrumentMsg& m : batch)
            lateness.push_back(qint64(now) - qint64(startNs + clock->ticksToNanos(m.time)));
        MidiInstrument::writeMessages(batch);
    }

private:
    const MidiSync* clock;
    quint64 startNs;
};

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
    MidiIO<RtMidiIn>::macOpenVirtualPorts();
    MidiInput listener;
    listener.openPort(synth);

    MidiSync sync;
    sync.reset(); // 120 BPM, one principal a beat
    std::vector<std::unique_ptr<TimedInstrument>> instruments;
    const quint64 startNs = Platform::hostTimeNs() + 200000000ULL;
    for (int i = 0; i < Instruments; ++i) {
        auto instrument = std::make_unique<TimedInstrument>(QmdItemId(i + 1), &sync, startNs);
        QBitArray channels(16);
        channels.setBit(i);
        instrument->setChannels(channels);
        instrument->openPort(synth);
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

    quint64 received = 0;
    const quint64 expected = quint64(Instruments) * Notes * 2;
    sync.setPlayingAt(startNs, 0, true);
    const double cpuPlayStart = cpuSeconds();
    const quint64 endNs = startNs + 10100000000ULL;
    while (Platform::hostTimeNs() < endNs) {
        received += quint64(listener.takeMessages().size());
        QThread::msleep(5);
    }
    const double cpuPlaying = cpuSeconds() - cpuPlayStart;
    QThread::msleep(200);
    received += quint64(listener.takeMessages().size());

    sync.setPlaying(false);
    for (auto& instrument : instruments)
        instrument->pauseAndWait();
    const double cpuStopStart = cpuSeconds();
    QThread::sleep(5);
    const double cpuStopped = cpuSeconds() - cpuStopStart;

    std::vector<qint64> all;
    for (auto& instrument : instruments) {
        instrument->terminateSafely();
        instrument->wait();
        all.insert(all.end(), instrument->lateness.begin(), instrument->lateness.end());
    }
    std::sort(all.begin(), all.end());
    auto at = [&](double q) { return all.empty() ? 0.0 : all[size_t(q * (all.size() - 1))] / 1e3; };
    std::printf("output threads: %d instruments, 16th notes at 120 BPM for 10 s over JACK dummy\n",
                Instruments);
    std::printf("  messages sent %zu of %llu, received %llu (lost %lld)\n", all.size(),
                (unsigned long long)expected, (unsigned long long)received,
                (long long)expected - (long long)received);
    std::printf("  lateness (us): median %.1f  p99 %.1f  max %.1f  min %.1f\n", at(0.5), at(0.99),
                at(1.0), at(0.0));
    std::printf("  CPU: %.1f %% of one core while playing, %.2f %% while stopped\n",
                100.0 * cpuPlaying / 10.1, 100.0 * cpuStopped / 5.0);

    instruments.clear();
    listener.closePort();
    MidiIO<RtMidiIn>::macCloseVirtualPorts();
    return 0;
}
