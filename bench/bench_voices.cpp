// Benchmark: 16 voice groups of 24 voices on a network of 200 nodes, playing through 16
// instruments for 10 seconds at 120 BPM. A reader takes each instrument's due messages every
// 100 microseconds, as an output thread does, and measures how late each note-on is against
// its tick; notes that reach the pipe after their tick has passed count as late, notes refused
// by a full pipe as lost. Also reports the voice groups' step durations and the CPU time used.

#include "AbstractSync.h"
#include "MidiInstrument.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"
#include "VoiceGroup.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace K = QmdKelvoKeys;

namespace {

constexpr qint64 P = 665280;

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void report(const char* what, std::vector<double> values, const char* unit)
{
    if (values.empty()) {
        std::printf("%-28s none\n", what);
        return;
    }
    std::sort(values.begin(), values.end());
    const auto at = [&values](double q) { return values[size_t(q * double(values.size() - 1))]; };
    std::printf("%-28s median %8.3f  p99 %8.3f  max %8.3f %s  (%zu)\n", what, at(0.5), at(0.99),
                values.back(), unit, values.size());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QmdMemModel model;
    QmdKelvoController c;
    c.setModel(&model);
    c.requestSetData(K::Tempo, 120u, QmdIndex());
    for (int i = 0; i < 16; ++i)
        c.requestAddInstrument();
    const QmdItemIdList instruments = c.instruments();

    // 200 nodes on a ring of 20 columns by 10 rows, a quarter principal apart; every node
    // sends to its right-hand neighbour and, in parallel, to the one below.
    QList<QmdItemId> nodes;
    for (int i = 0; i < 200; ++i) {
        QmdItemId id = 0;
        c.requestAddNode(QmdKelvo::TickPoint {(i % 20) * P / 4, (i / 20) * P / 4},
                         QmdKelvo::NoCreationFlags, QmdRequestOptions(QString()), &id);
        c.requestSetData(K::Notes, QStringLiteral("C3:96:10% E3 [G3 C4]"), c.elementIndex(id));
        c.requestSetData(K::SignallingMethod, int(QmdKelvo::Parallel), c.elementIndex(id));
        c.requestRebuildNotesTree(id);
        nodes.append(id);
    }
    for (int i = 0; i < 200; ++i) {
        c.requestAddEdge(c.elementIndex(nodes[i]),
                         c.elementIndex(nodes[(i / 20) * 20 + (i + 1) % 20]));
        c.requestAddEdge(c.elementIndex(nodes[i]), c.elementIndex(nodes[(i + 20) % 200]));
    }
    QmdItemIdList groupIds;
    for (int g = 0; g < 16; ++g) {
        c.requestAddVoiceGroup(c.elementIndex(nodes[g * 12]));
        groupIds.append(c.elements().last());
        c.requestSetData(K::InitialInstrument, uint(instruments[g]),
                         c.elementIndex(groupIds.last()));
    }
    // The controller starts the threads of the new instruments and voice groups.
    QCoreApplication::sendPostedEvents();
    const QHash<QmdItemId, VoiceGroup*> table = c.voiceGroupsCopy();
    std::vector<VoiceGroup*> groups;
    for (QmdItemId id : std::as_const(groupIds))
        groups.push_back(table.value(id));

    AbstractSync* clock = c.sync();
    const QHash<QmdItemId, MidiInstrument*> threads = c.instrumentsCopy();
    clock->setPlaying(true);
    for (VoiceGroup* group : groups)
        group->continueIterating();

    std::vector<double> lateness;
    std::vector<double> steps;
    std::vector<quint64> seenSteps(groups.size(), 0);
    quint64 notes = 0;
    quint64 late = 0;
    const double cpuBefore = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    QVector<InstrumentMsg> due;
    while (timer.elapsed() < 10000) {
        for (MidiInstrument* instrument : threads) {
            due.clear();
            const quint64 now = clock->ticksElapsed();
            instrument->pipe.tryReadIfReady(due, 100000, now);
            for (const InstrumentMsg& msg : std::as_const(due)) {
                if (msg.kind != InstrumentMsg::NoteOn)
                    continue;
                ++notes;
                const double ms = double(clock->ticksToNanos(now - msg.time)) / 1e6;
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
    const double cpu = cpuSeconds() - cpuBefore;
    clock->setPlaying(false);

    std::printf("notes read %llu, later than 1 ms %llu\n", (unsigned long long)notes,
                (unsigned long long)late);
    report("note lateness", lateness, "ms");
    report("step duration", steps, "ms");
    std::printf("%-28s %.3f s per second of playback\n", "CPU time", cpu / 10.0);
    return 0;
}
