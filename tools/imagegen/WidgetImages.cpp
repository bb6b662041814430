// The looks of small widgets that the inspector's style sheet gives them: the segments of a
// chooser's tabs, the face of flat buttons, the symbols on buttons, and a transparent pixel
// that hides a drawn element.

#include "ImageRegistry.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor Ink(60, 60, 60);

enum class Segment { First, Mid, Last };

// One tab of a chooser, 12 by 20: a face between a line along the top and the bottom; the
// first tab has a two-pixel cap at its left, the last one at its right, and the tabs after the
// first a one-pixel divider at their left. The style sheet slices off exactly these borders and
// stretches the face between them.
QImage chooserTab(Segment segment, const QColor& top, const QColor& bottom, const QColor& line)
{
    constexpr int Width = 12;
    constexpr int Height = 20;
    QImage image = ImageRegistry::newImage(Width, Height);
    QPainter p(&image);
    QLinearGradient face(0, 0, 0, Height);
    face.setColorAt(0, top);
    face.setColorAt(1, bottom);
    p.fillRect(image.rect(), face);
    p.fillRect(QRect(0, 0, Width, 1), line);
    p.fillRect(QRect(0, Height - 1, Width, 1), line);
    // A cap: its outer column stops short of the corners, which rounds them off.
    auto cap = [&](int outer, int inner) {
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillRect(QRect(outer, 0, 1, Height), Qt::transparent);
        p.fillRect(QRect(outer, 1, 1, Height - 2), line);
        p.fillRect(QRect(inner, 0, 1, Height), line);
    };
    if (segment == Segment::First)
        cap(0, 1);
    else
        p.fillRect(QRect(0, 0, 1, Height), line);
    if (segment == Segment::Last)
        cap(Width - 1, Width - 2);
    return image;
}

const QColor TabLine(128, 128, 128);

QImage normalTab(Segment segment)
{
    return chooserTab(segment, QColor(253, 253, 253), QColor(226, 226, 226), TabLine);
}

QImage hoverTab(Segment segment)
{
    return chooserTab(segment, QColor(242, 242, 242), QColor(212, 212, 212), TabLine);
}

QImage selectedTab(Segment segment)
{
    return chooserTab(segment, QColor(178, 194, 216), QColor(146, 166, 194), QColor(96, 106, 122));
}

// A flat button's face, 30 by 22: a rounded frame around a soft gradient.
QImage flatButton(const QColor& top, const QColor& bottom)
{
    QImage image = ImageRegistry::newImage(30, 22);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient face(0, 0, 0, 22);
    face.setColorAt(0, top);
    face.setColorAt(1, bottom);
    p.setPen(QPen(QColor(150, 150, 150), 1));
    p.setBrush(face);
    p.drawRoundedRect(QRectF(0.5, 0.5, 29, 21), 3, 3);
    return image;
}

} // namespace

KELVO_IMAGE(chooserSmallNormalFirst, "ChooserSmallNormalFirst.png")
{
    return normalTab(Segment::First);
}

KELVO_IMAGE(chooserSmallNormalMid, "ChooserSmallNormalMid.png")
{
    return normalTab(Segment::Mid);
}

KELVO_IMAGE(chooserSmallNormalLast, "ChooserSmallNormalLast.png")
{
    return normalTab(Segment::Last);
}

KELVO_IMAGE(chooserSmallHoverFirst, "ChooserSmallHoverFirst.png")
{
    return hoverTab(Segment::First);
}

KELVO_IMAGE(chooserSmallHoverMid, "ChooserSmallHoverMid.png")
{
    return hoverTab(Segment::Mid);
}

KELVO_IMAGE(chooserSmallHoverLast, "ChooserSmallHoverLast.png")
{
    return hoverTab(Segment::Last);
}

KELVO_IMAGE(chooserSmallSelectedFirst, "ChooserSmallSelectedFirst.png")
{
    return selectedTab(Segment::First);
}

KELVO_IMAGE(chooserSmallSelectedMid, "ChooserSmallSelectedMid.png")
{
    return selectedTab(Segment::Mid);
}

KELVO_IMAGE(chooserSmallSelectedLast, "ChooserSmallSelectedLast.png")
{
    return selectedTab(Segment::Last);
}

KELVO_IMAGE(flatButton30Normal, "FlatButton30Normal.png")
{
    return flatButton(QColor(252, 252, 252), QColor(226, 226, 226));
}

KELVO_IMAGE(flatButton30Pressed, "FlatButton30Pressed.png")
{
    return flatButton(QColor(200, 200, 200), QColor(182, 182, 182));
}

// Stands in for an element that a style sheet should not draw (a menu button's indicator).
KELVO_IMAGE(alphaPixel, "AlphaPixel.png")
{
    return ImageRegistry::newImage(1, 1);
}

// A plus beside a small triangle pointing down: adds an entry chosen from a menu.
KELVO_IMAGE(addDropDownSymbol, "AddDropDownSymbol.png")
{
    QImage image = ImageRegistry::newImage(17, 9);
    QPainter p(&image);
    p.fillRect(QRect(3, 0, 3, 9), Ink);
    p.fillRect(QRect(0, 3, 9, 3), Ink);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(Ink);
    p.drawPolygon(QPolygonF() << QPointF(11, 3) << QPointF(17, 3) << QPointF(14, 7));
    return image;
}

// Two crossing arrows, as on a music player's shuffle button.
KELVO_IMAGE(shuffleSymbol, "ShuffleSymbol.png")
{
    QImage image = ImageRegistry::newImage(16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Ink, 1.6, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    QPainterPath down(QPointF(1, 4));
    down.lineTo(4, 4);
    down.cubicTo(8, 4, 8, 12, 12, 12);
    QPainterPath up(QPointF(1, 12));
    up.lineTo(4, 12);
    up.cubicTo(8, 12, 8, 4, 12, 4);
    p.drawPath(down);
    p.drawPath(up);
    p.setPen(Qt::NoPen);
    p.setBrush(Ink);
    p.drawPolygon(QPolygonF() << QPointF(15.5, 4) << QPointF(11.5, 1) << QPointF(11.5, 7));
    p.drawPolygon(QPolygonF() << QPointF(15.5, 12) << QPointF(11.5, 9) << QPointF(11.5, 15));
    return image;
}
