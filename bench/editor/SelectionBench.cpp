// Select All on the whole network until the inspector has bound its pages to the selection.

#include "EditorBench.h"
#include "Inspector.h"
#include "KelvoWindow.h"
#include "NetworkScene.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

EDITOR_BENCH_SECTION(selectAll, 45)
{
    KelvoWindow* window = bench.window();
    NetworkScene* scene = bench.scene();
    Inspector* inspector = bench.inspector();
    const qsizetype elementCount = bench.nodes.size() + bench.edges.size()
        + bench.voiceGroups.size() + bench.textBoxes.size();

    auto sceneSelected = [&] { return scene->selectedElementIds().size() == elementCount; };
    auto inspectorBound = [&] {
        const auto& types = inspector->elementTypes();
        return types.value(QmdKelvo::NodeElement).selectedIds.size() == bench.nodes.size()
            && types.value(QmdKelvo::VoiceGroupElement).page->isEnabled();
    };
    // Each run starts from an empty selection, selects all and delivers what follows until
    // `done`; the first run is not counted.
    auto timeSelectAll = [&](const std::function<bool()>& done) {
        std::vector<double> times;
        for (int run = 0; run < 6; ++run) {
            scene->clearSelection();
            EditorBench::settle();
            QElapsedTimer timer;
            timer.start();
            window->selectAll();
            for (int i = 0; i < 1000 && !done(); ++i)
                QApplication::sendPostedEvents();
            if (run > 0)
                times.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        scene->clearSelection();
        EditorBench::settle();
        std::sort(times.begin(), times.end());
        return times.at(times.size() / 2);
    };

    // The scene's share: the inspector follows no window meanwhile.
    inspector->setKelvoWindow(nullptr);
    const double sceneMs = timeSelectAll(sceneSelected);
    inspector->setKelvoWindow(window);
    EditorBench::settle();
    const double totalMs = timeSelectAll([&] { return sceneSelected() && inspectorBound(); });

    std::printf("  the scene alone: %.2f ms to select %lld elements\n", sceneMs,
                qlonglong(elementCount));
    std::printf("  the inspector's share: %.2f ms\n", totalMs - sceneMs);
    EditorBench::report("Select All until the inspector's pages are bound", totalMs, 150.0);
}
