// Dragging the selection with the mouse: each step of the drag moves every selected node by one
// division through one request, and the items, their edges and the scene rectangle follow.

#include "DocumentTool.h"
#include "EditorBench.h"
#include "ElementItem.h"
#include "NetworkScene.h"
#include "NetworkView.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdKelvoUnits.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Sends a mouse event with the left button to the view's viewport, at the view point of a
// scene point.
void sendMouse(NetworkView* view, QEvent::Type type, QPointF scenePoint)
{
    const QPoint point = view->mapFromScene(scenePoint);
    const Qt::MouseButtons held
        = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, point, view->viewport()->mapToGlobal(point), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &event);
}

struct DragTimes
{
    double median = 0;
    double slowest = 0;
};

// Selects the first `count` nodes (whole rows: the rightmost among them widen the scene at
// every step), drags the first one division at a time for `steps` steps and gives the time of
// each step from the move event until every selected node's item stands at its new place and
// everything posted meanwhile (the edges' paths, the scene rectangle, the repaint) has been
// handled. The drag is undone afterwards.
DragTimes timeDrag(EditorBench& bench, int count, int steps)
{
    NetworkScene* scene = bench.scene();
    NetworkView* view = bench.view();
    QmdKelvoController* c = bench.controller();

    scene->clearSelection();
    std::vector<QGraphicsItem*> items;
    std::vector<QPointF> starts;
    for (int i = 0; i < count; ++i) {
        QGraphicsItem* item = scene->elementItem(bench.nodes.at(i))->graphicsItem();
        item->setSelected(true);
        items.push_back(item);
        starts.push_back(item->pos());
    }
    EditorBench::settle();

    const QmdKelvo::TickPoint division {scene->tickStep, 0};
    const QPointF stepDistance = QmdKelvo::toScenePoint(division);
    QGraphicsItem* dragged = items.front();
    view->centerOn(dragged);
    EditorBench::settle();

    sendMouse(view, QEvent::MouseButtonPress, dragged->pos());
    EditorBench::settle();
    std::vector<double> times;
    int missed = 0;
    for (int step = 1; step <= steps; ++step) {
        const QPointF offset = stepDistance * step;
        auto inPlace = [&] {
            for (size_t i = 0; i < items.size(); ++i) {
                if (items[i]->pos() != starts[i] + offset)
                    return false;
            }
            return true;
        };
        QElapsedTimer timer;
        timer.start();
        sendMouse(view, QEvent::MouseMove, starts.front() + offset);
        for (int round = 0; round < 1000 && !inPlace(); ++round)
            QApplication::sendPostedEvents();
        EditorBench::settle();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (!inPlace())
            ++missed;
    }
    if (missed > 0)
        EditorBench::cannotMeasure(QStringLiteral("%1 of %2 steps: the items did not reach their "
                                                  "places")
                                       .arg(missed)
                                       .arg(steps));
    sendMouse(view, QEvent::MouseButtonRelease, starts.front() + stepDistance * steps);
    EditorBench::settle();
    if (c->undoText() == QLatin1String("Move"))
        c->requestUndo();
    scene->clearSelection();
    EditorBench::settle();

    DragTimes result;
    result.slowest = *std::max_element(times.begin(), times.end());
    std::sort(times.begin(), times.end());
    result.median = times.at(times.size() / 2);
    return result;
}

} // namespace

EDITOR_BENCH_SECTION(drag, 70)
{
    DocumentTool::requestSet(bench.controller(), NetworkView::SelectionTool);
    bench.setZoomScale(1.0);
    for (const auto& [count, target] : {std::pair<int, double>(100, 16.0), {1000, 100.0}}) {
        const DragTimes times = timeDrag(bench, count, 20);
        std::printf("  %d selected nodes, 20 steps: slowest step %.2f ms\n", count, times.slowest);
        const QByteArray figure = QByteArrayLiteral("a step of a drag of ")
            + QByteArray::number(count) + QByteArrayLiteral(" nodes, one division (median)");
        EditorBench::report(figure.constData(), times.median, target);
    }
}
