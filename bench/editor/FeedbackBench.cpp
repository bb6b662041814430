// The display of playback feedback: one tick of the scene's drain of the feedback pipe with a
// tick's worth of notes due, and the GUI thread while the whole network plays with its hit
// counters and last notes shown.

#include "EditorBench.h"
#include "FeedbackMsg.h"
#include "NetworkScene.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "TestSync.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace K = QmdKelvoKeys;

namespace {

void setDocumentValue(QmdKelvoController* c, const QString& key, const QVariant& value)
{
    c->requestSetData(key, value, QmdIndex(), QmdRequestOptions(Qmd::NotUndoable, QString()));
    EditorBench::settle();
}

} // namespace

EDITOR_BENCH_SECTION(feedback, 65)
{
    QmdKelvoController* c = bench.controller();
    NetworkScene* scene = bench.scene();
    // A clock standing at a tick of the bench's choosing, playing while no voice group does.
    TestSync::registerType();
    const QVariant syncType = c->data(K::SyncType, QmdIndex());
    setDocumentValue(c, K::SyncType, TestSync::staticTypeId());
    auto* clock = qobject_cast<TestSync*>(c->sync());
    if (!clock) {
        EditorBench::cannotMeasure(QStringLiteral("the test clock could not be set"));
        return;
    }
    clock->setPlaying(true);
    const QmdItemId instrument = bench.instruments.first();
    const QmdItemId group = bench.voiceGroups.first();

    // 32 notes on 32 nodes come due at every tick, taking the place of the last tick's.
    const int ticks = 1000;
    const int notes = NetworkScene::FeedbackReadSize;
    std::vector<double> times;
    times.reserve(ticks);
    for (int tick = 0; tick < ticks; ++tick) {
        clock->advanceTicks(1000);
        for (int i = 0; i < notes; ++i) {
            FeedbackMsg msg;
            msg.kind = FeedbackMsg::NoteSounded;
            msg.time = clock->ticksElapsed();
            msg.voiceGroupId = group;
            msg.voiceId = quint32(i + 1);
            msg.nodeId = bench.nodes.at(i * 31);
            msg.instrumentId = instrument;
            msg.pitch = 60;
            msg.velocity = quint8(i * 4);
            msg.duration = 665280;
            c->feedbackPipe.tryWrite(msg);
        }
        QElapsedTimer timer;
        timer.start();
        scene->checkFeedbackPipe();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        // The repaint that the tick asked for, not counted.
        QApplication::processEvents();
    }
    std::sort(times.begin(), times.end());
    EditorBench::report("one tick of 32 due notes on 32 nodes, median", times.at(ticks / 2), 1.0);
    EditorBench::report("one tick of 32 due notes on 32 nodes, 99th percentile",
                        times.at(ticks * 99 / 100), 1.0);

    c->requestGotoStart();
    if (syncType.isValid())
        setDocumentValue(c, K::SyncType, syncType);
}

EDITOR_BENCH_SECTION(playback, 75)
{
    QmdKelvoController* c = bench.controller();
    const double zoom = c->data(K::ZoomScale, QmdIndex()).toDouble();
    bench.setZoomScale(0.25);
    setDocumentValue(c, K::ShowNodeCounters, true);
    setDocumentValue(c, K::ShowNodeLastNotesSent, true);

    // The pipe's size, watched from a thread of its own so that the GUI thread does nothing
    // more than it would.
    std::atomic<bool> watching {true};
    std::atomic<int> largest {0};
    std::thread watcher([&] {
        while (watching.load()) {
            const int size = c->feedbackPipe.size();
            if (size > largest.load())
                largest.store(size);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const int seconds = 10;
    const EditorBench::Played played = bench.play(seconds);
    watching.store(false);
    watcher.join();

    std::printf("  %d of %lld voice groups playing; largest feedback backlog %d messages "
                "(capacity %d)\n",
                played.voiceGroupsPlaying, qlonglong(bench.voiceGroups.size()), largest.load(),
                c->feedbackPipe.capacity());
    EditorBench::report("GUI thread, counters and last notes shown, CPU per second",
                        played.guiCpuMs / seconds, 250.0);

    c->requestGotoStart();
    setDocumentValue(c, K::ShowNodeCounters, false);
    setDocumentValue(c, K::ShowNodeLastNotesSent, false);
    bench.setZoomScale(zoom);
}
