#include "NetworkGrid.h"

#include "QmdKelvoUnits.h"

#include <QPaintEngine>
#include <QPainter>
#include <QVector>

#include <algorithm>
#include <cmath>

namespace {

// The largest cell, in device pixels on a side: a principal at the largest zoom on a screen of
// twice the reference resolution and more.
const int MaxCellSide = 4096;
// Points are handed to the painter in batches of at most this many.
const int PointBatch = 1 << 16;

double roundHalfUp(double value)
{
    return std::floor(value + 0.5);
}

// The device positions of the grid lines along one axis from `first` to `last`, both
// included, ascending and without repeats. A principal line lies at origin + k * principal
// rounded to a whole pixel, its divisions at whole-pixel offsets from it.
QVector<int> gridPositions(double origin, double principal, qint64 divisions, int first, int last)
{
    QVector<int> offsets;
    offsets.reserve(int(divisions));
    for (qint64 i = 0; i < divisions; ++i)
        offsets.append(int(roundHalfUp(double(i) * principal / double(divisions))));

    QVector<int> positions;
    for (double k = std::floor((first - origin) / principal) - 1.0;; k += 1.0) {
        const double base = roundHalfUp(origin + k * principal);
        if (base > last)
            break;
        for (const int offset : std::as_const(offsets)) {
            const double p = base + offset;
            if (p > last)
                break;
            if (p >= first && (positions.isEmpty() || p > positions.last()))
                positions.append(int(p));
        }
    }
    return positions;
}

void drawLines(QPainter* painter, const QVector<int>& xs, const QVector<int>& ys, const QRect& area,
               const QColor& color)
{
    if (color.alpha() == 0 || (xs.isEmpty() && ys.isEmpty()))
        return;
    QVector<QLine> lines;
    lines.reserve(xs.size() + ys.size());
    for (const int y : ys)
        lines.append(QLine(area.left(), y, area.right(), y));
    for (const int x : xs)
        lines.append(QLine(x, area.top(), x, area.bottom()));
    painter->setPen(QPen(color, 0));
    painter->drawLines(lines);
}

void drawPoints(QPainter* painter, const QVector<int>& xs, const QVector<int>& ys,
                const QColor& color)
{
    if (color.alpha() == 0 || xs.isEmpty() || ys.isEmpty())
        return;
    painter->setPen(QPen(color, 0));
    QVector<QPoint> points;
    points.reserve(int(std::min<qint64>(PointBatch, qint64(xs.size()) * ys.size())));
    for (const int y : ys) {
        for (const int x : xs) {
            points.append(QPoint(x, y));
            if (points.size() == PointBatch) {
                painter->drawPoints(points);
                points.clear();
            }
        }
    }
    painter->drawPoints(points);
}

// The four layers over `area`, in device pixels; origin is the device position of tick 0.
void paintLayers(QPainter* painter, const QRect& area, QPointF origin, double principalWidth,
                 double principalHeight, const NetworkGrid::Style& style)
{
    // Principals narrower than a pixel would fill the area; the background shows alone.
    if (principalWidth < 1.0 || principalHeight < 1.0)
        return;
    const qint64 divisions = std::max<qint64>(1, style.divisions);
    const bool divisionsShown = divisions <= NetworkGrid::DenseDivisions
        || (principalWidth / double(divisions) >= 1.0
            && principalHeight / double(divisions) >= 1.0);

    QVector<int> divisionXs;
    QVector<int> divisionYs;
    if (divisionsShown) {
        divisionXs
            = gridPositions(origin.x(), principalWidth, divisions, area.left(), area.right());
        divisionYs
            = gridPositions(origin.y(), principalHeight, divisions, area.top(), area.bottom());
    }
    const QVector<int> principalXs
        = gridPositions(origin.x(), principalWidth, 1, area.left(), area.right());
    const QVector<int> principalYs
        = gridPositions(origin.y(), principalHeight, 1, area.top(), area.bottom());

    drawLines(painter, divisionXs, divisionYs, area, style.divisionLines);
    drawLines(painter, principalXs, principalYs, area, style.principalLines);
    drawPoints(painter, divisionXs, divisionYs, style.divisionPoints);
    drawPoints(painter, principalXs, principalYs, style.principalPoints);
}

} // namespace

bool NetworkGrid::Style::operator==(const Style& other) const
{
    return background == other.background && principalLines == other.principalLines
        && principalPoints == other.principalPoints && divisionLines == other.divisionLines
        && divisionPoints == other.divisionPoints && divisions == other.divisions
        && visible == other.visible;
}

void NetworkGrid::paint(QPainter* painter, const QRectF& exposed, const Style& style)
{
    paint(painter, exposed, style, true);
}

void NetworkGrid::paintDirect(QPainter* painter, const QRectF& exposed, const Style& style)
{
    paint(painter, exposed, style, false);
}

void NetworkGrid::paint(QPainter* painter, const QRectF& exposed, const Style& style, bool useCell)
{
    const QTransform toDevice = painter->deviceTransform();
    const QRect area = toDevice.mapRect(exposed).toAlignedRect();
    if (area.isEmpty())
        return;

    painter->save();
    // Draw in device pixels, without antialiasing, so that every line is one sharp pixel: the
    // world transformation that leaves the painter's own mapping (the device's pixel ratio, a
    // widget's offset in its window) undone.
    painter->setWorldTransform(toDevice.inverted() * painter->worldTransform());
    painter->setRenderHint(QPainter::Antialiasing, false);

    const double principalWidth
        = toDevice.m11() * QmdKelvo::pixelsPerTickX * double(QmdKelvo::TicksPerPrincipal);
    const double principalHeight
        = toDevice.m22() * QmdKelvo::pixelsPerTickY * double(QmdKelvo::TicksPerPrincipal);
    const bool drawable = style.visible && std::isfinite(principalWidth)
        && std::isfinite(principalHeight) && principalWidth > 0.0 && principalHeight > 0.0;
    if (!drawable) {
        painter->fillRect(area, style.background);
        painter->restore();
        return;
    }

    const QPointF origin(roundHalfUp(toDevice.dx()), roundHalfUp(toDevice.dy()));
    const int cellWidth = int(std::lround(principalWidth));
    const int cellHeight = int(std::lround(principalHeight));
    const bool wholePixels = std::abs(principalWidth - cellWidth) < 1e-6
        && std::abs(principalHeight - cellHeight) < 1e-6 && cellWidth >= 1 && cellHeight >= 1
        && cellWidth <= MaxCellSide && cellHeight <= MaxCellSide;
    const bool raster = painter->paintEngine()->type() == QPaintEngine::Raster;

    if (useCell && wholePixels && raster) {
        updateCell(cellWidth, cellHeight, style);
        QBrush tiles(m_cell);
        tiles.setTransform(QTransform::fromTranslate(origin.x(), origin.y()));
        painter->fillRect(area, tiles);
    } else {
        painter->fillRect(area, style.background);
        paintLayers(painter, area, origin, principalWidth, principalHeight, style);
    }
    painter->restore();
}

void NetworkGrid::updateCell(int width, int height, const Style& style)
{
    if (!m_cell.isNull() && m_cell.width() == width && m_cell.height() == height
        && m_cellStyle == style)
        return;
    m_cell = QPixmap(width, height);
    m_cell.fill(Qt::transparent);
    m_cellStyle = style;
    QPainter painter(&m_cell);
    const QRect area(0, 0, width, height);
    painter.fillRect(area, style.background);
    paintLayers(&painter, area, QPointF(0, 0), width, height, style);
}
