// The grid background of the 1920 × 1080 viewport at every zoom of the view's zoom box, set
// through the document's "ZoomScale", from the cached principal cell and with the cell painted
// again.

#include "EditorBench.h"
#include "NetworkGrid.h"
#include "NetworkScene.h"
#include "NetworkView.h"
#include "QwpComboBox.h"

#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cstdio>

EDITOR_BENCH_SECTION(grid, 40)
{
    NetworkView* view = bench.view();
    const QwpComboBox* zoomBox = view->findChild<QwpComboBox*>();
    const qint64 divisionCounts[] = {1, 4, 7, 16, 64};
    QPixmap viewport(view->viewport()->size());
    NetworkGrid grid;
    NetworkGrid::Style style = bench.scene()->gridStyle();

    // Paints the exposed area with the view's own transformation, as its background is drawn.
    auto paintWith = [&](const QTransform& transform) {
        QPainter painter(&viewport);
        painter.setTransform(transform);
        grid.paint(&painter, transform.inverted().mapRect(QRectF(viewport.rect())), style);
    };

    std::printf("  %-6s", "zoom");
    for (const qint64 divisions : divisionCounts)
        std::printf("  %2lld: cached/rebuilt", qlonglong(divisions));
    std::printf("  (ms)\n");
    double worstCached = 0;
    double worstRebuilt = 0;
    for (int entry = 0; entry < zoomBox->count(); ++entry) {
        bench.setZoomScale(zoomBox->key(entry).toDouble());
        const QTransform transform = view->viewportTransform();
        std::printf("  %6s", qPrintable(zoomBox->itemText(entry)));
        for (const qint64 divisions : divisionCounts) {
            style.divisions = divisions;
            const double cached = EditorBench::medianMs(5, [&] { paintWith(transform); });
            const double rebuilt = EditorBench::medianMs(5, [&] {
                grid.clearCache();
                paintWith(transform);
            });
            worstCached = std::max(worstCached, cached);
            worstRebuilt = std::max(worstRebuilt, rebuilt);
            std::printf("  %8.2f / %7.2f", cached, rebuilt);
        }
        std::printf("\n");
    }
    // A zoom off the box, where a principal is no whole number of pixels: drawn directly.
    bench.setZoomScale(1.01);
    for (const qint64 divisions : {qint64(4), qint64(64)}) {
        style.divisions = divisions;
        const QTransform transform = view->viewportTransform();
        std::printf("  drawn directly at 101 %%, %lld divisions: %.2f ms\n", qlonglong(divisions),
                    EditorBench::medianMs(5, [&] { paintWith(transform); }));
    }
    bench.setZoomScale(1.0);
    EditorBench::report("grid of the viewport, cached cell (worst case)", worstCached, 5.0);
    EditorBench::report("grid of the viewport, cell painted again (worst case)", worstRebuilt,
                        15.0);
}
