// Benchmark: a network played end to end. 16 voice groups, each on a triangle of three nodes
// whose edges take a quarter and a half principal, play for 10 seconds at 120 beats per minute
// through 16 instruments (one MIDI channel each) and their output threads to another program's
// port on a JACK dummy server, which records every note by the frame JACK delivers it at.
// Every note is due on a 125 ms grid from the moment the clock started, so the distance of the
// host time each note's frame stands for from its grid point is the whole chain's timing error.
// Beside it, the error at the moment of sending: a watcher thread polls every instrument's held
// notes every 100 us, and a pitch appearing there means its note-on has just gone to the MIDI
// layer (the watcher's own resolution adds up to 0.1 ms). Also reports notes lost and the CPU
// time per second played (without the watcher's).
//
// It plays four times: at server periods of 128 and 1024 frames, each through Kelvo's own JACK
// client (which places every message at its frame one period later) and through the MIDI
// library's JACK output (KELVO_JACK_OUTPUT=rtmidi, which puts every message at the start of the
// next cycle).

#include "AbstractSync.h"
#include "DeadlineSleep.h"
#include "FrameRecorder.h"
#include "HostTime.h"
#include "JackTestServer.h"
#include "MidiInstrument.h"
#include "MidiOutput.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"
#include "RealtimeScheduling.h"

#include <QCoreApplication>
#include <QThread>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <vector>

namespace K = QmdKelvoKeys;

namespace {

constexpr qint64 P = 665280;
constexpr int Groups = 16;
constexpr double GridMs = 125.0; // a quarter principal at 120 beats per minute
constexpr int Seconds = 10;

double cpuSeconds(int who = RUSAGE_SELF)
{
    rusage usage {};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Figures
{
    double median = 0, p99 = 0, max = 0;
    size_t count = 0;
};

Figures figures(std::vector<double> values)
{
    Figures f;
    if (values.empty())
        return f;
    std::sort(values.begin(), values.end());
    f.median = values[values.size() / 2];
    f.p99 = values[size_t(0.99 * double(values.size() - 1))];
    f.max = values.back();
    f.count = values.size();
    return f;
}

// Records the moments at which the instruments' outputs start holding a pitch.
class SendWatcher : public QThread
{
public:
    explicit SendWatcher(QList<MidiInstrument*> outputs)
        : outputs(std::move(outputs))
    { }
    std::atomic<bool> stop {false};
    std::vector<quint64> sentNs; // read after wait()
    double cpu = 0;

protected:
    void run() override
    {
        // As the instruments' threads, so that it sees them as soon as they send.
        Platform::requestRealtimeScheduling();
        std::vector<bool> held(size_t(outputs.size()), false);
        Platform::PeriodicDeadline deadline;
        deadline.restart(100000);
        while (!stop.load()) {
            const quint64 now = Platform::hostTimeNs();
            for (qsizetype i = 0; i < outputs.size(); ++i) {
                const bool holds = !outputs[i]->notesHeld().isEmpty();
                if (holds && !held[size_t(i)])
                    sentNs.push_back(now);
                held[size_t(i)] = holds;
            }
            deadline.waitNext();
        }
        cpu = cpuSeconds(RUSAGE_THREAD);
    }

private:
    QList<MidiInstrument*> outputs;
};

double gridError(double ns, quint64 startNs)
{
    const double ms = (ns - double(startNs)) / 1e6;
    return ms - std::round(ms / GridMs) * GridMs;
}

struct Run
{
    int period = 0;
    bool library = false;
    double latencyMs = 0; // the constant latency the output adds
    int notes = 0, expected = 0;
    // At the receiving client: the error of each note's frame, and its distance from the frame
    // of its due time one latency later in the cycle's own measure (so that a server whose
    // cycles run a little long or short does not count).
    Figures sending, receiving, placing, startSending, startReceiving, startPlacing;
    double cpu = 0; // seconds per second played
    int lateCycles = 0; // the server's, while playing
};

bool play(Run& run)
{
    JackTestServer server;
    server.setPeriod(run.period);
    QString error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    if (run.library)
        qputenv("KELVO_JACK_OUTPUT", "rtmidi");
    else
        qunsetenv("KELVO_JACK_OUTPUT");
    FrameRecorder recorder;
    const QString port = recorder.portName();
    if (!recorder.isOpen()) {
        std::fprintf(stderr, "the recording client could not be opened\n");
        return false;
    }

    std::vector<double> sendErrors, startSendErrors, errors, startErrors, placeErrors,
        startPlaceErrors;
    {
        QmdMemModel model;
        QmdKelvoController c;
        c.setModel(&model);
        c.requestSetData(K::Tempo, 120u, QmdIndex());
        const QmdItemIdList before = c.instruments();
        for (int g = 0; g < Groups; ++g) {
            QBitArray channel(16);
            channel.setBit(g);
            c.requestAddInstrument(QStringLiteral("Group %1").arg(g), Qt::gray, channel);
        }
        QmdItemIdList instruments;
        for (QmdItemId id : c.instruments())
            if (!before.contains(id))
                instruments.append(id);
        for (QmdItemId id : std::as_const(instruments))
            c.requestSetData(K::MidiPort, port, c.instrumentIndex(id));

        for (int g = 0; g < Groups; ++g) {
            const qint64 y = g * P;
            QmdItemId nodes[3] = {};
            const QmdKelvo::TickPoint at[3] = {{0, y}, {P / 4, y}, {P / 4, y + P / 4}};
            for (int n = 0; n < 3; ++n) {
                c.requestAddNode(at[n], QmdKelvo::NoCreationFlags, QmdRequestOptions(QString()),
                                 &nodes[n]);
                c.requestSetData(K::Notes, QStringLiteral("C3:100:0.1"), c.elementIndex(nodes[n]));
            }
            for (int n = 0; n < 3; ++n)
                c.requestAddEdge(c.elementIndex(nodes[n]), c.elementIndex(nodes[(n + 1) % 3]));
            c.requestAddVoiceGroup(c.elementIndex(nodes[0]));
            c.requestSetData(K::InitialInstrument, uint(instruments[g]),
                             c.elementIndex(c.elements().last()));
        }
        // The controller starts the threads of the new instruments and voice groups.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QThread::msleep(300);
        const QList<MidiInstrument*> outputs = c.instrumentsCopy().values();
        run.latencyMs = double(outputs.first()->latencyNs()) / 1e6;
        recorder.take();

        AbstractSync* clock = c.sync();
        // Every group's voice leaves its start node at tick 0, so that all notes are due on the
        // grid: a group with no voice would start from wherever the clock is when it is reached.
        c.requestGotoStart();
        SendWatcher watcher(outputs);
        watcher.start();
        const int lateBefore = server.lateCycles();
        const double cpuBefore = cpuSeconds();
        c.requestPlay();
        // The clock runs a moment after the request (its lead), by when the groups have
        // handled the notes due at the start. Those are counted apart.
        quint64 startNs = 0;
        if (!clock->hostTimeOfTicks(0, &startNs))
            startNs = Platform::hostTimeNs() - clock->nanosElapsed();
        auto measure
            = [startNs](double ns, std::vector<double>* steady, std::vector<double>* start) {
                  const double error = gridError(ns, startNs);
                  ((ns - double(startNs)) / 1e6 < GridMs / 2 ? start : steady)->push_back(error);
              };
        const quint64 endNs = startNs + quint64(Seconds) * 1000000000u;
        const jack_nframes_t latencyFrames = run.library ? 0 : recorder.periodFrames();
        auto receive = [&] {
            for (const FrameRecorder::Event& event : recorder.take()) {
                if (event.bytes.size() != 3 || (event.bytes[0] & 0xF0) != 0x90
                    || event.bytes[2] == 0)
                    continue;
                ++run.notes;
                measure(event.hostNs(), &errors, &startErrors);
                const double ns = event.hostNs() - run.latencyMs * 1e6;
                const double dueNs = ns - gridError(ns, startNs) * 1e6;
                const double frames
                    = double(event.offset) - event.offsetOf(quint64(dueNs), latencyFrames);
                ((ns - double(startNs)) / 1e6 < GridMs / 2 ? startPlaceErrors : placeErrors)
                    .push_back(frames * 1e3 / double(recorder.sampleRate()));
            }
        };
        while (Platform::hostTimeNs() < endNs) {
            QCoreApplication::processEvents();
            receive();
            QThread::msleep(2);
        }
        watcher.stop.store(true);
        watcher.wait();
        run.cpu = (cpuSeconds() - cpuBefore - watcher.cpu) / Seconds;
        run.lateCycles = server.lateCycles() - lateBefore;
        c.requestPause();
        QThread::msleep(200);
        receive();
        for (quint64 ns : watcher.sentNs)
            if (ns >= startNs)
                measure(double(ns), &sendErrors, &startSendErrors);
    }
    // Each group plays three notes in every half second.
    run.expected = Groups * (Seconds * 1000 / 500) * 3;
    run.sending = figures(sendErrors);
    run.receiving = figures(errors);
    run.placing = figures(placeErrors);
    run.startSending = figures(startSendErrors);
    run.startReceiving = figures(startErrors);
    run.startPlacing = figures(startPlaceErrors);
    // The library's retired outputs go before the server does.
    QThread::msleep(1100);
    return true;
}

void print(const char* what, const Figures& f)
{
    if (f.count == 0) {
        std::printf("  %-38s none\n", what);
        return;
    }
    std::printf("  %-38s median %7.3f  p99 %7.3f  max %7.3f ms  (%zu)\n", what, f.median, f.p99,
                f.max, f.count);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    for (int period : {128, 1024}) {
        for (bool library : {false, true}) {
            Run run;
            run.period = period;
            run.library = library;
            if (!play(run))
                return 1;
            std::printf("%s, period %d frames (%.3f ms), constant latency %.3f ms\n",
                        run.library ? "MIDI library's JACK output (KELVO_JACK_OUTPUT=rtmidi)"
                                    : "Kelvo's JACK client",
                        run.period, run.period / 48.0, run.latencyMs);
            std::printf("  notes received %d of about %d (lost about %d); the server ran %d cycles"
                        " late\n",
                        run.notes, run.expected, std::max(0, run.expected - run.notes),
                        run.lateCycles);
            print("error at the moment of sending", run.sending);
            print("error at the receiving client", run.receiving);
            print("  from its frame, latency taken off", run.placing);
            print("notes due at the start, sent", run.startSending);
            print("notes due at the start, received", run.startReceiving);
            print("  from their frames, latency taken off", run.startPlacing);
            std::printf("  %-38s %.3f s per second of playback\n", "CPU time", run.cpu);
            std::fflush(stdout);
        }
    }
    return 0;
}
