// Benchmark: a network played end to end. 16 voice groups, each on a triangle of three nodes
// whose edges take a quarter and a half principal, play for 10 seconds at 120 beats per minute
// through 16 instruments (one MIDI channel each) and their output threads to "Kelvo
// Synthesizer" on a JACK dummy server, where a MIDI input records every note with its host
// time. Every note is due on a 125 ms grid from the moment the clock started, so the distance of
// each arrival from its grid point is the whole chain's timing error. Beside it, the error at
// the moment of sending: a watcher thread polls every instrument's held notes every 100 us, and
// a pitch appearing there means its note-on has just gone to the MIDI library (the watcher's
// own resolution adds up to 0.1 ms). That is the engine's share; the rest is the MIDI system's,
// whose delay from a MidiOutput straight to the MidiInput is measured last. Also reports notes
// lost and the CPU time per second played (without the watcher's).

#include "AbstractSync.h"
#include "DeadlineSleep.h"
#include "HostTime.h"
#include "JackTestServer.h"
#include "MidiInput.h"
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

void report(const char* what, std::vector<double> values)
{
    if (values.empty()) {
        std::printf("%-34s none\n", what);
        return;
    }
    std::sort(values.begin(), values.end());
    const auto at = [&values](double q) { return values[size_t(q * double(values.size() - 1))]; };
    std::printf("%-34s median %7.3f  p99 %7.3f  max %7.3f ms  (%zu)\n", what, at(0.5), at(0.99),
                values.back(), values.size());
}

// The server's own delay: messages written to the port straight from a MidiOutput.
std::vector<double> directDelays(MidiInput& in, const QString& port)
{
    MidiOutput out;
    std::vector<double> delays;
    if (!out.openPort(port))
        return delays;
    QBitArray channel(16);
    channel.setBit(15);
    out.setChannels(channel);
    InstrumentMsg message;
    message.kind = InstrumentMsg::ControlChange;
    message.data1 = 1;
    in.takeMessages();
    for (int i = 0; i < 500; ++i) {
        const quint64 sent = Platform::hostTimeNs();
        out.write(message);
        MidiInputMessage received;
        while (!in.readMessage(received) && Platform::hostTimeNs() - sent < 1000000000u)
            QThread::usleep(20);
        if (received.hostTimeNs >= sent)
            delays.push_back(double(received.hostTimeNs - sent) / 1e6);
        QThread::usleep(500 + i % 7 * 300); // spread over the server's periods
    }
    return delays;
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

double gridError(quint64 ns, quint64 startNs)
{
    const double ms = double(qint64(ns - startNs)) / 1e6;
    return ms - std::round(ms / GridMs) * GridMs;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    JackTestServer server;
    QString error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    MidiIO<RtMidiIn>::macOpenVirtualPorts();
    const QString port = QStringLiteral("Kelvo Synthesizer");
    MidiInput listener;
    if (!listener.openPort(port)) {
        std::fprintf(stderr, "the port could not be opened\n");
        return 1;
    }

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
    listener.takeMessages();

    AbstractSync* clock = c.sync();
    // Every group's voice leaves its start node at tick 0, so that all notes are due on the
    // grid: a group with no voice would start from wherever the clock is when it is reached.
    c.requestGotoStart();
    SendWatcher watcher(c.instrumentsCopy().values());
    watcher.start();
    const double cpuBefore = cpuSeconds();
    c.requestPlay();
    const quint64 startNs = Platform::hostTimeNs() - clock->nanosElapsed();
    // The notes due at the very start are reached only as the groups start, one after another:
    // they are counted apart, so that the figures show the steady state.
    std::vector<double> errors, startErrors;
    auto measure = [startNs](quint64 ns, std::vector<double>* steady, std::vector<double>* start) {
        const double error = gridError(ns, startNs);
        (double(ns - startNs) / 1e6 < GridMs / 2 ? start : steady)->push_back(error);
    };
    int notes = 0;
    const quint64 endNs = startNs + quint64(Seconds) * 1000000000u;
    while (Platform::hostTimeNs() < endNs) {
        QCoreApplication::processEvents();
        for (const MidiInputMessage& m : listener.takeMessages()) {
            if (m.bytes.size() != 3 || (m.bytes[0] & 0xF0) != 0x90 || m.bytes[2] == 0)
                continue;
            ++notes;
            measure(m.hostTimeNs, &errors, &startErrors);
        }
        QThread::msleep(2);
    }
    watcher.stop.store(true);
    watcher.wait();
    const double cpu = cpuSeconds() - cpuBefore - watcher.cpu;
    c.requestPause();
    QThread::msleep(200);
    std::vector<double> sendErrors, startSendErrors;
    for (quint64 ns : watcher.sentNs)
        if (ns >= startNs)
            measure(ns, &sendErrors, &startSendErrors);

    // Each group plays three notes in every half second.
    const int expected = Groups * (Seconds * 1000 / 500) * 3;
    std::printf("notes received %d of about %d (lost about %d)\n", notes, expected,
                std::max(0, expected - notes));
    report("error at the moment of sending", sendErrors);
    report("error at the receiving client", errors);
    report("notes due at the start, sent", startSendErrors);
    report("notes due at the start, received", startErrors);
    report("server's own delay (direct)", directDelays(listener, port));
    std::printf("%-34s %.3f s per second of playback\n", "CPU time", cpu / Seconds);
    listener.closePort();
    MidiIO<RtMidiIn>::macCloseVirtualPorts();
    return 0;
}
