// The controller-curve editor's images: the plot backgrounds of the curve frame (265 by 80
// points at twice the pixel density, the plot at (34, 5) sized 197 by 61 with its value labels
// in the 34 points to its left) and the value markers of the single-value slider (a tick and
// the number, 10 pixels high). Numbers are set in a 5 by 7 pixel figure font of our own.

#include "ImageRegistry.h"

#include <QPainter>

#include <cmath>
#include <cstring>

namespace {

const QColor Ink(99, 99, 99);

// The figures and the minus sign, one string of '#' and '.' per row.
struct Glyph
{
    char character;
    int width;
    const char* rows[7];
};

const Glyph Glyphs[] = {
    {'0', 5, {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'1', 5, {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'2', 5, {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
    {'3', 5, {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."}},
    {'4', 5, {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
    {'5', 5, {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
    {'6', 5, {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."}},
    {'7', 5, {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {'8', 5, {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
    {'9', 5, {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."}},
    {'-', 3, {"...", "...", "...", "###", "...", "...", "..."}},
};

constexpr int GlyphHeight = 7;
constexpr int GlyphGap = 1;

const Glyph& glyph(char c)
{
    for (const Glyph& g : Glyphs)
        if (g.character == c)
            return g;
    return Glyphs[0];
}

int textWidth(const char* text)
{
    int width = 0;
    for (const char* c = text; *c; ++c)
        width += glyph(*c).width + (c[1] ? GlyphGap : 0);
    return width;
}

// Sets the text's pixels, each a square of `scale` image pixels, from (left, top) in points.
void drawText(QImage& image, int left, int top, const char* text, int scale)
{
    const QRgb ink = Ink.rgba();
    int x = left;
    for (const char* c = text; *c; ++c) {
        const Glyph& g = glyph(*c);
        for (int row = 0; row < GlyphHeight; ++row)
            for (int column = 0; column < g.width; ++column)
                if (g.rows[row][column] == '#')
                    for (int dy = 0; dy < scale; ++dy)
                        for (int dx = 0; dx < scale; ++dx)
                            image.setPixel((x + column) * scale + dx, (top + row) * scale + dy,
                                           ink);
        x += g.width + GlyphGap;
    }
}

// ---- Plot backgrounds ------------------------------------------------------------------------

constexpr int FrameWidth = 265;
constexpr int FrameHeight = 80;
const QRectF Plot(34, 5, 197, 61);

// The plot with its outline, its middle line (where dragged points snap), lighter lines at the
// quarters, and the values of its top, middle and bottom edges.
QImage plotBackground(const char* top, const char* middle, const char* bottom)
{
    QImage image = ImageRegistry::newImage(FrameWidth * 2, FrameHeight * 2);
    {
        QPainter p(&image);
        p.scale(2, 2);
        p.fillRect(Plot, QColor(255, 255, 255, 150));

        // Every line is a whole point wide on whole points, so that it keeps its place and
        // its weight where the picture is shown at half its pixel size.
        const auto onPoint = [](double v) { return std::floor(v) + 0.5; };
        p.setPen(QPen(QColor(Ink.red(), Ink.green(), Ink.blue(), 40), 1.0));
        for (int quarter : {1, 3}) {
            const double y = onPoint(Plot.top() + Plot.height() * quarter / 4);
            p.drawLine(QPointF(Plot.left(), y), QPointF(Plot.right(), y));
        }
        for (int quarter : {1, 2, 3}) {
            const double x = onPoint(Plot.left() + Plot.width() * quarter / 4);
            p.drawLine(QPointF(x, Plot.top()), QPointF(x, Plot.bottom()));
        }

        p.setPen(QPen(QColor(Ink.red(), Ink.green(), Ink.blue(), 150), 1.0));
        const double middleY = Plot.top() + Plot.height() / 2;
        p.drawLine(QPointF(Plot.left(), middleY), QPointF(Plot.right(), middleY));

        p.setPen(QPen(Ink, 1.0));
        p.setBrush(Qt::NoBrush);
        p.drawRect(Plot);
    }

    // Right-aligned 5 points left of the plot, clear of the points on its edge, and centred on
    // the values they name.
    const int right = int(Plot.left()) - 5;
    const auto label = [&image, right](const char* text, double centre) {
        drawText(image, right - textWidth(text), int(std::lround(centre - GlyphHeight / 2.0)), text,
                 2);
    };
    label(top, Plot.top());
    label(middle, Plot.top() + Plot.height() / 2);
    label(bottom, Plot.bottom());
    return image;
}

// ---- Value markers ---------------------------------------------------------------------------

enum class TickAt { Start, Centre, End };

// The number under a tick 2 pixels high. The tick stands where the marker's value lies on the
// slider: over the number's first figure for a marker at the slider's start, over its middle,
// or over its last figure.
QImage valueMarker(const char* text, TickAt tickAt)
{
    const int width = textWidth(text);
    QImage image = ImageRegistry::newImage(width, 10);
    const int lastWidth = glyph(text[std::strlen(text) - 1]).width;
    int tick = width / 2;
    if (tickAt == TickAt::Start)
        tick = glyph(text[0]).width / 2;
    else if (tickAt == TickAt::End)
        tick = width - lastWidth + lastWidth / 2;
    image.setPixel(tick, 0, Ink.rgba());
    image.setPixel(tick, 1, Ink.rgba());
    drawText(image, 0, 3, text, 1);
    return image;
}

} // namespace

KELVO_IMAGE(curveEditBackgroundPitchBend, "CurveEditBackgroundPitchBend@2x.png")
{
    return plotBackground("8191", "0", "-8192");
}

KELVO_IMAGE(curveEditBackgroundMsbOnly, "CurveEditBackgroundMsbOnly@2x.png")
{
    return plotBackground("127", "64", "0");
}

KELVO_IMAGE(curveEditBackgroundMsbCombined, "CurveEditBackgroundMsbCombined@2x.png")
{
    return plotBackground("16383", "8192", "0");
}

KELVO_IMAGE(singleValue0, "SingleValue0.png")
{
    return valueMarker("0", TickAt::Centre);
}

KELVO_IMAGE(singleValue64, "SingleValue64.png")
{
    return valueMarker("64", TickAt::Centre);
}

KELVO_IMAGE(singleValue127, "SingleValue127.png")
{
    return valueMarker("127", TickAt::End);
}

KELVO_IMAGE(singleValue8192, "SingleValue8192.png")
{
    return valueMarker("8192", TickAt::Centre);
}

KELVO_IMAGE(singleValue16383, "SingleValue16383.png")
{
    return valueMarker("16383", TickAt::End);
}

KELVO_IMAGE(singleValueNeg8192, "SingleValueNeg8192.png")
{
    return valueMarker("-8192", TickAt::Start);
}

KELVO_IMAGE(singleValuePos8191, "SingleValuePos8191.png")
{
    return valueMarker("8191", TickAt::End);
}
