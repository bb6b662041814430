#ifndef NETWORKGRID_H
#define NETWORKGRID_H

#include <QColor>
#include <QPixmap>
#include <QRectF>

class QPainter;

// The grid behind a network: the background colour under four layers, division lines,
// principal lines, division points and principal points, one principal (665280 ticks) apart
// and divided into a number of divisions. Lines and points fall on whole device pixels and
// are one device pixel wide, whatever the zoom.
//
// While a principal is a whole number of device pixels (every zoom of the zoom box at 72 and
// 96 dpi), one principal cell is painted once into a pixmap and tiles the exposed area; the
// cell is painted again when the scale or the style changes. Otherwise the grid is drawn
// directly, each layer in one call.
class NetworkGrid
{
public:
    struct Style
    {
        QColor background;
        QColor principalLines;
        QColor principalPoints;
        QColor divisionLines;
        QColor divisionPoints;
        // Divisions per principal; a count below 1 is drawn as 1.
        qint64 divisions = 1;
        // Without the grid only the background is filled.
        bool visible = true;

        bool operator==(const Style& other) const;
        bool operator!=(const Style& other) const { return !(*this == other); }
    };

    // Beyond this many divisions, the division layers are left out while a division is
    // narrower than a device pixel.
    static constexpr qint64 DenseDivisions = 64;

    // Paints the exposed rectangle (in scene coordinates) on a painter whose transformation
    // only scales and translates. The painter's state is kept.
    void paint(QPainter* painter, const QRectF& exposed, const Style& style);
    // The same without the cell: every layer drawn directly.
    void paintDirect(QPainter* painter, const QRectF& exposed, const Style& style);
    // Drops the cell; the next paint makes it again.
    void clearCache() { m_cell = QPixmap(); }

private:
    void paint(QPainter* painter, const QRectF& exposed, const Style& style, bool useCell);
    void updateCell(int width, int height, const Style& style);

    QPixmap m_cell;
    Style m_cellStyle;
};

#endif // NETWORKGRID_H
