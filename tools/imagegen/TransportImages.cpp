// The document window's tool bar: the LCD glyphs of the position display and its panel, the
// display-mode icons, the transport buttons and their background, and the segments of the tool
// chooser.

#include "ImageRegistry.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace {

const QColor Ink(60, 60, 60);

// ---- LCD glyphs -----------------------------------------------------------------------------

// The characters of the glyph strips, one 20 × 36 cell each, stacked from the top.
const char GlyphOrder[] = "0123456789,.:";
constexpr int CellWidth = 20;
constexpr int CellHeight = 36;

// The seven segments a b c d e f g (top, upper right, lower right, bottom, lower left, upper
// left, middle) lit for each digit.
const char* const DigitSegments[10]
    = {"abcdef", "bc", "abdeg", "abcdg", "bcfg", "acdfg", "acdefg", "abc", "abcdefg", "abcdfg"};

// One segment as a six-sided bar with pointed ends, from `from` to `to` (horizontal or
// vertical), `width` thick.
QPolygonF segmentBar(QPointF from, QPointF to, qreal width)
{
    const qreal h = width / 2;
    QPolygonF bar;
    if (from.y() == to.y()) {
        bar << QPointF(from.x(), from.y()) << QPointF(from.x() + h, from.y() - h)
            << QPointF(to.x() - h, to.y() - h) << QPointF(to.x(), to.y())
            << QPointF(to.x() - h, to.y() + h) << QPointF(from.x() + h, from.y() + h);
    } else {
        bar << QPointF(from.x(), from.y()) << QPointF(from.x() + h, from.y() + h)
            << QPointF(to.x() + h, to.y() - h) << QPointF(to.x(), to.y())
            << QPointF(to.x() - h, to.y() - h) << QPointF(from.x() - h, from.y() + h);
    }
    return bar;
}

// Paints the character at cell origin `top` in `colour`: digits in seven slanted segments,
// the comma, full stop and colon as dots.
void paintGlyph(QPainter& p, char c, int top, const QColor& colour)
{
    p.save();
    p.translate(0, top);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    constexpr qreal W = 3.4; // segment thickness
    constexpr qreal L = 4.5; // left edge of the digit
    constexpr qreal R = 15.5; // right edge
    constexpr qreal T = 3.5; // top
    constexpr qreal M = 18.0; // middle
    constexpr qreal B = 32.5; // bottom
    constexpr qreal Gap = 0.6; // between touching segments
    if (c >= '0' && c <= '9') {
        // A slight italic slant, as on a real display.
        QTransform slant;
        slant.translate(0, M);
        slant.shear(-0.08, 0);
        slant.translate(0, -M);
        p.setTransform(slant, true);
        for (const char* s = DigitSegments[c - '0']; *s; ++s) {
            QPolygonF bar;
            switch (*s) {
            case 'a':
                bar = segmentBar(QPointF(L + Gap, T), QPointF(R - Gap, T), W);
                break;
            case 'b':
                bar = segmentBar(QPointF(R, T + Gap), QPointF(R, M - Gap), W);
                break;
            case 'c':
                bar = segmentBar(QPointF(R, M + Gap), QPointF(R, B - Gap), W);
                break;
            case 'd':
                bar = segmentBar(QPointF(L + Gap, B), QPointF(R - Gap, B), W);
                break;
            case 'e':
                bar = segmentBar(QPointF(L, M + Gap), QPointF(L, B - Gap), W);
                break;
            case 'f':
                bar = segmentBar(QPointF(L, T + Gap), QPointF(L, M - Gap), W);
                break;
            default:
                bar = segmentBar(QPointF(L + Gap, M), QPointF(R - Gap, M), W);
                break;
            }
            p.drawPolygon(bar);
        }
    } else if (c == '.') {
        p.drawRect(QRectF(8.3, B - W / 2, W, W));
    } else if (c == ',') {
        QPolygonF comma;
        comma << QPointF(8.3, B - W / 2) << QPointF(8.3 + W, B - W / 2)
              << QPointF(8.3 + W, B + W / 2) << QPointF(7.3, B + 3.2) << QPointF(6.6, B + 2.6)
              << QPointF(8.3, B + W / 2);
        p.drawPolygon(comma);
    } else if (c == ':') {
        p.drawRect(QRectF(8.3, (T + M) / 2 - W / 2, W, W));
        p.drawRect(QRectF(8.3, (M + B) / 2 - W / 2, W, W));
    }
    p.restore();
}

QImage glyphStrip(const QColor& colour)
{
    const int count = int(sizeof(GlyphOrder)) - 1;
    QImage image = ImageRegistry::newImage(CellWidth, CellHeight * count);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < count; ++i)
        paintGlyph(p, GlyphOrder[i], CellHeight * i, colour);
    return image;
}

const QColor LcdInk(24, 32, 22);

// ---- Transport buttons ----------------------------------------------------------------------

// A round button face of `size` pixels: a rim and a domed face, darker when pressed.
void paintRoundFace(QPainter& p, int size, bool pressed)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF outer(0.5, 0.5, size - 1.0, size - 1.0);
    QLinearGradient rim(0, 0, 0, size);
    rim.setColorAt(0, QColor(120, 120, 120));
    rim.setColorAt(1, QColor(70, 70, 70));
    p.setPen(Qt::NoPen);
    p.setBrush(rim);
    p.drawEllipse(outer);
    const QRectF inner = outer.adjusted(1.5, 1.5, -1.5, -1.5);
    QLinearGradient face(0, inner.top(), 0, inner.bottom());
    if (pressed) {
        face.setColorAt(0, QColor(168, 168, 168));
        face.setColorAt(1, QColor(206, 206, 206));
    } else {
        face.setColorAt(0, QColor(252, 252, 252));
        face.setColorAt(1, QColor(204, 204, 204));
    }
    p.setBrush(face);
    p.drawEllipse(inner);
}

QImage goToStartButton(bool pressed)
{
    constexpr int Size = 35;
    QImage image = ImageRegistry::newImage(Size, Size);
    QPainter p(&image);
    paintRoundFace(p, Size, pressed);
    p.setBrush(Ink);
    p.drawRect(QRectF(11, 11.5, 2.5, 12));
    p.drawPolygon(QPolygonF() << QPointF(13, 17.5) << QPointF(23.5, 11.5) << QPointF(23.5, 23.5));
    return image;
}

QImage playButton(bool pause, bool pressed)
{
    constexpr int Size = 45;
    QImage image = ImageRegistry::newImage(Size, Size);
    QPainter p(&image);
    paintRoundFace(p, Size, pressed);
    p.setBrush(Ink);
    if (pause) {
        p.drawRoundedRect(QRectF(15.5, 14, 5, 17), 1, 1);
        p.drawRoundedRect(QRectF(24.5, 14, 5, 17), 1, 1);
    } else {
        p.drawPolygon(QPolygonF() << QPointF(17, 12.5) << QPointF(32.5, 22.5) << QPointF(17, 32.5));
    }
    return image;
}

// The MIDI-triggering toggle: a socket with five pins, lit amber while triggering is on.
QImage triggeringButton(bool on, bool pressed)
{
    constexpr int Size = 31;
    QImage image = ImageRegistry::newImage(Size, Size);
    QPainter p(&image);
    paintRoundFace(p, Size, pressed);
    const QPointF centre(15.5, 15.5);
    if (on) {
        QRadialGradient glow(centre, 10);
        glow.setColorAt(0, QColor(255, 196, 64));
        glow.setColorAt(1, QColor(230, 128, 20));
        p.setBrush(glow);
    } else {
        p.setBrush(QColor(120, 120, 120));
    }
    p.drawEllipse(centre, 9.5, 9.5);
    p.setBrush(on ? QColor(80, 40, 0) : QColor(236, 236, 236));
    // The pins of a MIDI socket: three along the lower half and two at its sides.
    for (int angle : {180, 135, 90, 45, 0}) {
        const qreal radians = qreal(angle) * 3.14159265358979 / 180.0;
        p.drawEllipse(QPointF(centre.x() + 5.6 * std::cos(radians),
                              centre.y() + 5.6 * std::sin(radians) - 1.0),
                      1.3, 1.3);
    }
    p.drawRect(QRectF(13.5, 6.8, 4, 2));
    return image;
}

// ---- The tool chooser -----------------------------------------------------------------------

enum class Position { Left, Middle, Right };

// One 40 × 24 button of the tool chooser: a gradient face, lines along the top and bottom,
// rounded ends at the outer sides and a divider between buttons.
QImage chooserButton(Position position, const QColor& top, const QColor& bottom)
{
    constexpr int Width = 40;
    constexpr int Height = 24;
    constexpr qreal Radius = 4;
    QImage image = ImageRegistry::newImage(Width, Height);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // The shape runs past the sides that join a neighbour, so that only the outer ends round.
    const qreal left = position == Position::Left ? 0.5 : -Radius - 1;
    const qreal right = position == Position::Right ? Width - 0.5 : Width + Radius + 1;
    QPainterPath shape;
    shape.addRoundedRect(QRectF(left, 0.5, right - left, Height - 1), Radius, Radius);
    QLinearGradient face(0, 0, 0, Height);
    face.setColorAt(0, top);
    face.setColorAt(1, bottom);
    p.setPen(QPen(QColor(128, 128, 128), 1));
    p.setBrush(face);
    p.drawPath(shape);
    if (position != Position::Left) {
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QColor(150, 150, 150));
        p.drawLine(0, 1, 0, Height - 2);
    }
    return image;
}

QImage chooserNormal(Position position)
{
    return chooserButton(position, QColor(253, 253, 253), QColor(222, 222, 222));
}

QImage chooserHover(Position position)
{
    return chooserButton(position, QColor(242, 242, 242), QColor(208, 208, 208));
}

QImage chooserPressed(Position position)
{
    return chooserButton(position, QColor(178, 194, 216), QColor(146, 166, 194));
}

// ---- Display-mode icons ---------------------------------------------------------------------

QImage modeIcon(void (*paint)(QPainter&))
{
    QImage image = ImageRegistry::newImage(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    paint(p);
    return image;
}

} // namespace

KELVO_IMAGE(lcdSolidChars, "LCDSolidChars@2x.png")
{
    return glyphStrip(LcdInk);
}

KELVO_IMAGE(lcdDimChars, "LCDDimChars@2x.png")
{
    QColor dim = LcdInk;
    dim.setAlpha(34);
    return glyphStrip(dim);
}

// The panel behind the position display and the tempo: a greenish LCD in a dark bezel. The
// style sheet keeps 6 pixels at the top and bottom and 9 at the sides, and stretches the
// middle.
KELVO_IMAGE(lcdNormal, "LCDNormal.png")
{
    constexpr int Width = 40;
    constexpr int Height = 40;
    QImage image = ImageRegistry::newImage(Width, Height);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient bezel(0, 0, 0, Height);
    bezel.setColorAt(0, QColor(96, 96, 96));
    bezel.setColorAt(1, QColor(160, 160, 160));
    p.setPen(Qt::NoPen);
    p.setBrush(bezel);
    p.drawRoundedRect(QRectF(0, 0, Width, Height), 6, 6);
    QLinearGradient glass(0, 2, 0, Height - 2);
    glass.setColorAt(0, QColor(184, 198, 170));
    glass.setColorAt(0.5, QColor(206, 218, 192));
    glass.setColorAt(1, QColor(196, 208, 182));
    p.setBrush(glass);
    p.drawRoundedRect(QRectF(2, 2, Width - 4, Height - 4), 4.5, 4.5);
    return image;
}

// The small triangle of the display-mode button.
KELVO_IMAGE(dropDownSymbol, "DropDownSymbol.png")
{
    QImage image = ImageRegistry::newImage(9, 6);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(LcdInk);
    p.drawPolygon(QPolygonF() << QPointF(0.5, 0.5) << QPointF(8.5, 0.5) << QPointF(4.5, 5.5));
    return image;
}

// A clock face.
KELVO_IMAGE(lcdTimeIcon, "LCDTimeIcon.png")
{
    return modeIcon([](QPainter& p) {
        p.setPen(QPen(LcdInk, 2.6));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(16, 16), 12, 12);
        p.setPen(QPen(LcdInk, 2.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(16, 16), QPointF(16, 8));
        p.drawLine(QPointF(16, 16), QPointF(22, 19));
    });
}

// A bar of the grid: a principal cut into divisions.
KELVO_IMAGE(lcdPrincipalsIcon, "LCDPrincipalsIcon.png")
{
    return modeIcon([](QPainter& p) {
        p.setPen(QPen(LcdInk, 2.6));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(4, 8, 24, 16));
        p.setPen(QPen(LcdInk, 1.4));
        for (int x : {10, 16, 22})
            p.drawLine(QPointF(x, 9), QPointF(x, 23));
    });
}

// A quarter note.
KELVO_IMAGE(lcdBeatsIcon, "LCDBeatsIcon.png")
{
    return modeIcon([](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(LcdInk);
        p.save();
        p.translate(13, 24);
        p.rotate(-22);
        p.drawEllipse(QPointF(0, 0), 6, 4.3);
        p.restore();
        p.drawRect(QRectF(17.2, 4, 2.4, 19));
    });
}

KELVO_IMAGE(gotoStartNormal, "MasterControls/GotoStartNormal.png")
{
    return goToStartButton(false);
}

KELVO_IMAGE(gotoStartPressed, "MasterControls/GotoStartPressed.png")
{
    return goToStartButton(true);
}

KELVO_IMAGE(playNormal, "MasterControls/PlayNormal.png")
{
    return playButton(false, false);
}

KELVO_IMAGE(playPressed, "MasterControls/PlayPressed.png")
{
    return playButton(false, true);
}

KELVO_IMAGE(pauseNormal, "MasterControls/PauseNormal.png")
{
    return playButton(true, false);
}

KELVO_IMAGE(pausePressed, "MasterControls/PausePressed.png")
{
    return playButton(true, true);
}

KELVO_IMAGE(triggeringOffNormal, "MasterControls/TriggeringOffNormal.png")
{
    return triggeringButton(false, false);
}

KELVO_IMAGE(triggeringOffPressed, "MasterControls/TriggeringOffPressed.png")
{
    return triggeringButton(false, true);
}

KELVO_IMAGE(triggeringOnNormal, "MasterControls/TriggeringOnNormal.png")
{
    return triggeringButton(true, false);
}

KELVO_IMAGE(triggeringOnPressed, "MasterControls/TriggeringOnPressed.png")
{
    return triggeringButton(true, true);
}

// The plate that holds the play and triggering buttons side by side.
KELVO_IMAGE(playAndTriggeringBackground, "MasterControls/PlayAndTriggeringBackground.png")
{
    constexpr int Width = 80;
    constexpr int Height = 49;
    QImage image = ImageRegistry::newImage(Width, Height);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient plate(0, 0, 0, Height);
    plate.setColorAt(0, QColor(150, 150, 150));
    plate.setColorAt(1, QColor(205, 205, 205));
    p.setPen(QPen(QColor(110, 110, 110), 1));
    p.setBrush(plate);
    QPainterPath shape;
    shape.addEllipse(QRectF(0.5, 0.5, Height - 1, Height - 1));
    shape.addRoundedRect(QRectF(Height / 2.0, 8.5, Width - Height / 2.0 - 0.5, Height - 17), 16,
                         16);
    p.drawPath(shape.simplified());
    return image;
}

KELVO_IMAGE(chooserLeftNormal, "Chooser/LeftNormal.png")
{
    return chooserNormal(Position::Left);
}

KELVO_IMAGE(chooserLeftHover, "Chooser/LeftHover.png")
{
    return chooserHover(Position::Left);
}

KELVO_IMAGE(chooserLeftPressed, "Chooser/LeftPressed.png")
{
    return chooserPressed(Position::Left);
}

KELVO_IMAGE(chooserMiddleNormal, "Chooser/MiddleNormal.png")
{
    return chooserNormal(Position::Middle);
}

KELVO_IMAGE(chooserMiddleHover, "Chooser/MiddleHover.png")
{
    return chooserHover(Position::Middle);
}

KELVO_IMAGE(chooserMiddlePressed, "Chooser/MiddlePressed.png")
{
    return chooserPressed(Position::Middle);
}

KELVO_IMAGE(chooserRightNormal, "Chooser/RightNormal.png")
{
    return chooserNormal(Position::Right);
}

KELVO_IMAGE(chooserRightHover, "Chooser/RightHover.png")
{
    return chooserHover(Position::Right);
}

KELVO_IMAGE(chooserRightPressed, "Chooser/RightPressed.png")
{
    return chooserPressed(Position::Right);
}
