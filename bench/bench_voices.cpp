// Benchmark: voice groups alone, in two networks played for 10 seconds at 120 BPM through 16
// instruments.
// - "grid": 16 voice groups of 24 voices on a network of 200 nodes, every node sending to two
//   neighbours at once.
// - "dense": 16 voice groups of 24 voices on short wormhole loops: each group's start node sends
//   a voice to each of 24 loops, a node that plays and sends along an eighth of a principal to
//   a second node that plays and returns through a wormhole. Every voice arrives at a node twice
//   in an eighth of a principal (62.5 ms), and the groups between them handle some 12,000
//   arrivals a second.
// A reader thread takes what the groups queue for each instrument every 100 microseconds and
// measures how late each note-on reached its pipe against its tick (the notes due as the groups
// start apart), and how long before its tick a note that was in time reached it; meanwhile the main
// thread takes the document's change notices as the GUI thread does. Reported: how late the notes
// are, how many steps each group made a second (its period is 10 ms), how long a step takes, the
// notes lost (the notes that the nodes' hit counts call for and that never reached a pipe), the CPU
// time that the network uses (the benchmark's own reader and sleeper apart, shown on their own),
// and how late a thread of the same priority wakes from 1 ms sleeps meanwhile (what the machine
// itself allows). The groups start as the transport starts them: they handle what is due at the
// start, then the clock runs a moment later. Targets: every group at least 95 steps a second, note
// lateness p99 at most 1 ms (and at the start), at most 0.1 % of the notes more than 1 ms late, no
// note lost.
//
// Last, the time one departure takes along an edge of 30 seconds that carries a controller curve
// of 20,000 points (target: under 5 ms).

#include "AbstractSync.h"
#include "DeadlineSleep.h"
#include "HostTime.h"
#include "MidiInstrument.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"
#include "RealtimeScheduling.h"
#include "VoiceGroup.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPolygonF>
#include <QThread>
#include <QTimer>

#include <pthread.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <thread>
#include <vector>

namespace K = QmdKelvoKeys;

namespace {

constexpr qint64 P = 665280;
constexpr int Instruments = 16;
constexpr int Groups = 16;
constexpr int Seconds = 10;

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The CPU time a thread of this process has used so far.
double threadCpuSeconds(std::thread& thread)
{
    clockid_t clock {};
    timespec used {};
    if (pthread_getcpuclockid(thread.native_handle(), &clock) != 0
        || clock_gettime(clock, &used) != 0)
        return 0;
    return double(used.tv_sec) + double(used.tv_nsec) / 1e9;
}

void report(const char* what, std::vector<double> values, const char* unit)
{
    if (values.empty()) {
        std::printf("  %-26s none\n", what);
        return;
    }
    std::sort(values.begin(), values.end());
    const auto at = [&values](double q) { return values[size_t(q * double(values.size() - 1))]; };
    std::printf("  %-26s median %8.3f  p99 %8.3f  max %8.3f %s  (%zu)\n", what, at(0.5), at(0.99),
                values.back(), unit, values.size());
}

// A document with its 16 instruments, and the notes its nodes sound per number of visits.
struct Network
{
    QmdMemModel model;
    QmdKelvoController c;
    QmdItemIdList instruments;
    QmdItemIdList groups;
    // Per node: the notes that this many visits sound.
    QHash<QmdItemId, std::function<quint64(quint64)>> notesPerVisits;

    Network()
    {
        c.setModel(&model);
        c.requestSetData(K::Tempo, 120u, QmdIndex());
        for (int i = 0; i < Instruments; ++i)
            c.requestAddInstrument();
        instruments = c.instruments();
    }

    QmdItemId addNode(qint64 x, qint64 y, const QString& notes, QmdKelvo::SignallingMethod method)
    {
        QmdItemId id = 0;
        c.requestAddNode(QmdKelvo::TickPoint {x, y}, QmdKelvo::NoCreationFlags,
                         QmdRequestOptions(QString()), &id);
        c.requestSetData(K::Notes, notes, c.elementIndex(id));
        c.requestSetData(K::SignallingMethod, int(method), c.elementIndex(id));
        c.requestRebuildNotesTree(id);
        return id;
    }

    QmdItemId addEdge(QmdItemId from, QmdItemId to, bool wormhole = false)
    {
        QmdItemId id = 0;
        c.requestAddEdge(c.elementIndex(from), c.elementIndex(to), QmdKelvo::CityBlock,
                         QmdKelvo::NoCreationFlags, QmdRequestOptions(QString()), &id);
        if (wormhole)
            c.requestSetData(K::IsWormhole, true, c.elementIndex(id));
        return id;
    }

    void addGroup(QmdItemId startNode, int instrument)
    {
        c.requestAddVoiceGroup(c.elementIndex(startNode));
        groups.append(c.elements().last());
        c.requestSetData(K::InitialInstrument, uint(instruments.at(instrument)),
                         c.elementIndex(groups.last()));
    }
};

// 200 nodes on a ring of 20 columns by 10 rows, a quarter principal apart; every node sends to
// its right-hand neighbour and, in parallel, to the one below. Each visit sounds the next of C3,
// E3 and the chord G3 C4.
void buildGrid(Network& n)
{
    QList<QmdItemId> nodes;
    for (int i = 0; i < 200; ++i) {
        const QmdItemId id = n.addNode((i % 20) * P / 4, (i / 20) * P / 4,
                                       QStringLiteral("C3:96:10% E3 [G3 C4]"), QmdKelvo::Parallel);
        n.notesPerVisits.insert(id, [](quint64 visits) { return visits + visits / 3; });
        nodes.append(id);
    }
    for (int i = 0; i < 200; ++i) {
        n.addEdge(nodes[i], nodes[(i / 20) * 20 + (i + 1) % 20]);
        n.addEdge(nodes[i], nodes[(i + 20) % 200]);
    }
    for (int g = 0; g < Groups; ++g)
        n.addGroup(nodes[g * 12], g);
}

// Per group a start node that sends one voice to each of 24 loops: A plays and sends along an
// eighth of a principal to B, which plays and sends back through a wormhole.
void buildDense(Network& n)
{
    const auto once = [](quint64 visits) { return visits; };
    for (int g = 0; g < Groups; ++g) {
        const qint64 top = g * 30 * P;
        const QmdItemId start = n.addNode(0, top, QString(), QmdKelvo::Parallel);
        n.notesPerVisits.insert(start, [](quint64) { return quint64(0); });
        for (int v = 0; v < VoiceGroup::VoiceCount; ++v) {
            const qint64 y = top + (v + 1) * P;
            const QmdItemId a = n.addNode(P, y, QStringLiteral("C3:96:0.05"), QmdKelvo::Sequential);
            const QmdItemId b
                = n.addNode(P + P / 8, y, QStringLiteral("E3:80:0.05"), QmdKelvo::Sequential);
            n.notesPerVisits.insert(a, once);
            n.notesPerVisits.insert(b, once);
            n.addEdge(start, a, true);
            n.addEdge(a, b);
            n.addEdge(b, a, true);
        }
        n.addGroup(start, g);
    }
}

void play(const char* title, const std::function<void(Network&)>& build)
{
    Network n;
    build(n);
    // The controller starts the threads of the new instruments and voice groups.
    QCoreApplication::sendPostedEvents();
    const QHash<QmdItemId, VoiceGroup*> table = n.c.voiceGroupsCopy();
    std::vector<VoiceGroup*> groups;
    for (QmdItemId id : std::as_const(n.groups))
        groups.push_back(table.value(id));
    const QList<MidiInstrument*> instruments = n.c.instrumentsCopy().values();

    AbstractSync* clock = n.c.sync();
    // As the transport starts (the instruments apart, whose part the reader below plays): the
    // groups handle what is due at the start, the clock runs a moment later, and the groups go
    // on. The notes due in the first two steps are reported apart.
    n.c.prepareVoiceGroupsToStart();
    clock->startWithLead();
    const quint64 startWindow
        = clock->ticksElapsed() + clock->nanosToTicks(2 * VoiceGroup::StepMicroseconds * 1000);
    for (VoiceGroup* group : groups)
        group->continueIterating();
    std::vector<quint64> stepsBefore;
    for (VoiceGroup* group : groups)
        stepsBefore.push_back(group->stepsDone());

    // The output threads' part: what the groups queue, taken every 100 microseconds.
    std::vector<double> lateness;
    std::vector<double> atStart;
    std::vector<double> leads;
    std::vector<double> steps;
    quint64 notes = 0;
    quint64 late = 0;
    std::atomic<bool> running {true};
    std::thread reader([&] {
        // At the priority of an output thread.
        Platform::requestRealtimeScheduling();
        std::vector<quint64> seenSteps(groups.size(), 0);
        QVector<InstrumentMsg> due;
        while (running.load()) {
            for (MidiInstrument* instrument : instruments) {
                due.clear();
                const quint64 now = clock->ticksElapsed();
                // All that is queued, however far ahead it is due: a note is late by as much
                // as it reached its pipe after its tick. Taking only what is due would add the
                // reader's own wake-ups to every note, which an output thread does not: it
                // hands its messages over ahead of their time, placed at their frames.
                instrument->pipe.tryReadIfReady(due, 100000, ~0ULL);
                for (const InstrumentMsg& msg : std::as_const(due)) {
                    if (msg.kind != InstrumentMsg::NoteOn)
                        continue;
                    ++notes;
                    const double ms
                        = msg.time < now ? double(clock->ticksToNanos(now - msg.time)) / 1e6 : 0.0;
                    if (msg.time > now && msg.time > startWindow)
                        leads.push_back(double(clock->ticksToNanos(msg.time - now)) / 1e6);
                    if (msg.time <= startWindow) {
                        atStart.push_back(ms);
                        continue;
                    }
                    lateness.push_back(ms);
                    if (ms > 1.0)
                        ++late;
                }
            }
            for (size_t g = 0; g < groups.size(); ++g) {
                if (groups[g]->stepsDone() != seenSteps[g]) {
                    seenSteps[g] = groups[g]->stepsDone();
                    steps.push_back(double(groups[g]->lastStepNanos()) / 1e6);
                }
            }
            QThread::usleep(100);
        }
    });

    // The machine's share: how late a thread of the same priority wakes from a 1 ms sleep
    // meanwhile. On a shared or virtual machine this bounds what any thread can keep to.
    std::vector<double> wakeUps;
    std::thread sleeper([&] {
        Platform::requestRealtimeScheduling();
        quint64 due = Platform::hostTimeNs();
        while (running.load()) {
            due += 1000000;
            Platform::sleepUntilNs(due);
            wakeUps.push_back(double(Platform::hostTimeNs() - due) / 1e6);
        }
    });

    // The network's CPU time: the process's, less what the benchmark's own threads use (the
    // reader polls 16 pipes every 100 microseconds, where an output thread sleeps until its
    // next message is due).
    const double cpuBefore = cpuSeconds();
    const double measuringBefore = threadCpuSeconds(reader) + threadCpuSeconds(sleeper);
    QElapsedTimer played;
    played.start();
    // The GUI thread's part: the change notices of the run-time state the groups write.
    QEventLoop loop;
    QTimer::singleShot(Seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double seconds = double(played.nsecsElapsed()) / 1e9;
    std::vector<double> stepRates;
    for (size_t g = 0; g < groups.size(); ++g)
        stepRates.push_back(double(groups[g]->stepsDone() - stepsBefore[g]) / seconds);
    const double measuring = threadCpuSeconds(reader) + threadCpuSeconds(sleeper) - measuringBefore;
    const double cpu = cpuSeconds() - cpuBefore - measuring;
    for (VoiceGroup* group : groups)
        group->deactivateAllVoicesAndPauseIterating();
    clock->setPlaying(false);
    running.store(false);
    reader.join();
    sleeper.join();

    // Whatever is still queued was written in time; it counts for the notes lost.
    QVector<InstrumentMsg> rest;
    for (MidiInstrument* instrument : instruments) {
        rest.clear();
        instrument->pipe.tryReadIfReady(rest, 100000, ~0ULL);
        notes += quint64(std::count_if(rest.cbegin(), rest.cend(), [](const InstrumentMsg& msg) {
            return msg.kind == InstrumentMsg::NoteOn;
        }));
    }
    quint64 expected = 0;
    for (auto it = n.notesPerVisits.cbegin(); it != n.notesPerVisits.cend(); ++it) {
        const QmdIndex state = n.c.index(it.key(), n.c.elementStatesRoot());
        expected += it.value()(n.c.data(K::HitCount, state).toULongLong());
    }

    std::printf("%s\n", title);
    std::printf("  notes %llu, later than 1 ms %llu, lost %lld\n", (unsigned long long)notes,
                (unsigned long long)late, (long long)expected - (long long)notes);
    report("note lateness", lateness, "ms");
    report("lateness at the start", atStart, "ms");
    if (!leads.empty()) {
        // The margin that the notes in time had: the least of it matters.
        std::sort(leads.begin(), leads.end());
        std::printf("  %-26s min %8.3f  p1 %8.3f  median %8.3f ms\n", "note lead (before tick)",
                    leads.front(), leads[leads.size() / 100], leads[leads.size() / 2]);
    }
    std::sort(stepRates.begin(), stepRates.end());
    std::printf("  %-26s min %8.1f  median %8.1f  max %8.1f\n", "steps a second per group",
                stepRates.front(), stepRates[stepRates.size() / 2], stepRates.back());
    report("step duration", steps, "ms");
    report("the machine: timer wake-up", wakeUps, "ms");
    std::printf("  %-26s %.3f s per second of playback (the reader and the sleeper: %.3f)\n",
                "CPU time", cpu / seconds, measuring / seconds);
}

// One departure along a 30-second edge whose curve has 20,000 points.
void departure(QmdKelvo::ControllerCurveType type, const char* title)
{
    Network n;
    const QmdItemId a = n.addNode(0, 0, QString(), QmdKelvo::Sequential);
    const QmdItemId b = n.addNode(60 * P, 0, QString(), QmdKelvo::Sequential);
    const QmdItemId edge = n.addEdge(a, b);
    n.c.requestAddControllerToEdge(n.c.elementIndex(edge), type, 1, -1);
    const QmdIndex curves = n.c.index(K::ContinuousControllers, n.c.elementIndex(edge));
    QPolygonF points;
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i)
        points.append(QPointF(double(i) / 19999.0, double(random() % 16384)));
    n.c.requestSetData(K::CurvePoints, QVariant::fromValue(points),
                       n.c.index(n.c.idList(curves).first(), curves));
    n.addGroup(a, 0);
    QCoreApplication::sendPostedEvents();
    VoiceGroup* group = n.c.voiceGroupsCopy().value(n.groups.last());
    MidiInstrument* instrument = n.c.instrumentsCopy().value(n.instruments.first());
    VoiceState state;
    state.instrumentId = n.instruments.first();
    std::vector<double> times;
    QVector<InstrumentMsg> sent;
    // Twenty departures, or as many as ten seconds allow.
    const quint64 first = Platform::hostTimeNs();
    for (int i = 0; i < 20 && Platform::hostTimeNs() - first < 10000000000ULL; ++i) {
        const quint64 began = Platform::hostTimeNs();
        group->spawnVoice(state, edge);
        times.push_back(double(Platform::hostTimeNs() - began) / 1e6);
        group->deactivateAllVoices();
        sent.clear();
        instrument->pipe.tryReadIfReady(sent, 100000, ~0ULL);
    }
    report(title, times, "ms");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // The parts named on the command line, or all of them.
    const QStringList parts = app.arguments().mid(1);
    const auto wanted = [&parts](const char* part) {
        return parts.isEmpty() || parts.contains(QLatin1String(part));
    };
    if (wanted("grid"))
        play("grid: 16 groups of 24 voices on 200 nodes", buildGrid);
    if (wanted("dense"))
        play("dense: 16 groups of 24 voices on short wormhole loops", buildDense);
    if (wanted("departure")) {
        std::printf("departure along 30 s with a curve of 20,000 points\n");
        departure(QmdKelvo::LinearCurve, "linear curve");
        departure(QmdKelvo::CubicCurve, "cubic curve");
    }
    return 0;
}
