// The grid background of a 1920 × 1080 viewport at every zoom of the zoom box, from the cached
// principal cell and with the cell painted again.

#include "EditorBench.h"
#include "NetworkGrid.h"
#include "NetworkScene.h"

#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cstdio>

EDITOR_BENCH_SECTION(grid, 40)
{
    const double zooms[] = {0.25, 0.5, 0.75, 1.0, 1.25, 1.5, 2.0, 3.0, 4.0, 6.0, 8.0};
    const qint64 divisionCounts[] = {1, 4, 7, 16, 64};
    QPixmap viewport(1920, 1080);
    NetworkGrid grid;
    NetworkGrid::Style style = bench.scene()->gridStyle();

    std::printf("  %-6s", "zoom");
    for (const qint64 divisions : divisionCounts)
        std::printf("  %2lld: cached/rebuilt", qlonglong(divisions));
    std::printf("  (ms)\n");
    double worstCached = 0;
    double worstRebuilt = 0;
    for (const double zoom : zooms) {
        std::printf("  %5.0f%%", zoom * 100);
        for (const qint64 divisions : divisionCounts) {
            style.divisions = divisions;
            auto paint = [&] {
                QPainter painter(&viewport);
                painter.setTransform(QTransform(zoom, 0, 0, zoom, -37, -23));
                grid.paint(&painter,
                           painter.transform().inverted().mapRect(QRectF(viewport.rect())), style);
            };
            const double cached = EditorBench::medianMs(5, paint);
            const double rebuilt = EditorBench::medianMs(5, [&] {
                grid.clearCache();
                paint();
            });
            worstCached = std::max(worstCached, cached);
            worstRebuilt = std::max(worstRebuilt, rebuilt);
            std::printf("  %8.2f / %7.2f", cached, rebuilt);
        }
        std::printf("\n");
    }
    // A zoom off the box, where a principal is no whole number of pixels: drawn directly.
    for (const qint64 divisions : {qint64(4), qint64(64)}) {
        style.divisions = divisions;
        const double direct = EditorBench::medianMs(5, [&] {
            QPainter painter(&viewport);
            painter.setTransform(QTransform(1.01, 0, 0, 1.01, -37, -23));
            grid.paint(&painter, painter.transform().inverted().mapRect(QRectF(viewport.rect())),
                       style);
        });
        std::printf("  drawn directly at 101 %%, %lld divisions: %.2f ms\n", qlonglong(divisions),
                    direct);
    }
    EditorBench::report("grid of the viewport, cached cell (worst case)", worstCached, 5.0);
    EditorBench::report("grid of the viewport, cell painted again (worst case)", worstRebuilt,
                        15.0);
}
