// The scene's share of the editor's work: rebuilding every item, selecting a large paste, and
// repainting the whole network.

#include "EditorBench.h"
#include "Inspector.h"
#include "KelvoWindow.h"
#include "NetworkScene.h"
#include "NetworkView.h"
#include "QmdKelvoController.h"
#include "QmdKelvoUnits.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

double msSince(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

EDITOR_BENCH_SECTION(reset, 10)
{
    NetworkScene* scene = bench.scene();
    EditorBench::report("reset() of the scene (every item made anew)",
                        EditorBench::medianMs(5, [&] { scene->reset(); }), 300.0);
    EditorBench::settle();
}

EDITOR_BENCH_SECTION(paste, 20)
{
    QmdKelvoController* c = bench.controller();
    NetworkScene* scene = bench.scene();
    const int count = 500;
    c->requestCopy(QmdItemIdSet(bench.nodes.cbegin(), bench.nodes.cbegin() + count));
    const QmdKelvo::TickPoint centre {QmdKelvo::TicksPerPrincipal * 60,
                                      QmdKelvo::TicksPerPrincipal * 12};
    int selectionSignals = 0;
    const QMetaObject::Connection counting
        = QObject::connect(scene, &QGraphicsScene::selectionChanged, [&] { ++selectionSignals; });

    // Each run pastes, waits for `done` and undoes the paste. The first run is not counted.
    auto timePastes = [&](const std::function<bool()>& done) {
        std::vector<double> requests;
        std::vector<double> totals;
        for (int run = 0; run < 6; ++run) {
            selectionSignals = 0;
            QElapsedTimer timer;
            timer.start();
            c->requestPaste(centre);
            const double request = msSince(timer);
            for (int i = 0; i < 1000 && !done(); ++i)
                QApplication::sendPostedEvents();
            const double total = msSince(timer);
            if (run > 0) {
                requests.push_back(request);
                totals.push_back(total);
            }
            c->requestUndo();
            EditorBench::settle();
        }
        return std::pair<double, double>(median(requests), median(totals));
    };

    // The controller's share: the same pastes with the scene and the inspector detached.
    scene->setController(nullptr);
    bench.inspector()->setKelvoWindow(nullptr);
    const auto alone = timePastes([] {
        QApplication::sendPostedEvents();
        return true;
    });
    scene->setController(c);
    bench.inspector()->setKelvoWindow(bench.window());
    EditorBench::settle();
    // The inspector binds its pages to the selection once the event loop's pass ends.
    const auto withScene = timePastes([&] {
        return selectionSignals == 1 && scene->selectedElementIds().size() == count
            && bench.inspector()->elementTypes().value(QmdKelvo::NodeElement).selectedIds.size()
            == count;
    });

    QObject::disconnect(counting);

    std::printf("  controller alone: request %.2f ms, with its signals %.2f ms\n", alone.first,
                alone.second);
    std::printf("  with the scene, window and inspector: %.2f ms from the request to %d items "
                "selected\n",
                withScene.second, count);
    EditorBench::report("500 nodes pasted and selected (scene and inspector)",
                        withScene.second - alone.second, 200.0);
}

EDITOR_BENCH_SECTION(repaint, 30)
{
    NetworkView* view = bench.view();
    bench.setZoomScale(0.25);
    view->centerOn(bench.scene()->sceneContentsRect().center());
    EditorBench::settle();
    std::printf("  viewport %d x %d at %.0f %%, %lld items in view\n", view->viewport()->width(),
                view->viewport()->height(), view->transform().m11() * 100,
                qlonglong(view->items(view->viewport()->rect()).size()));
    EditorBench::report("steady full repaint at 25 % (1920 x 1080)",
                        EditorBench::medianMs(20, [&] { view->viewport()->repaint(); }), 25.0);
}
