// The inspector's own images: the row of page buttons with their icons, the strip with the
// instrument list's add button, and the symbols and path icons of its pages. Icons come as 16
// by 16 pixels with a twice as dense twin ("@2x") painted from the same drawing.

#include "ImageRegistry.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

const QColor Ink(60, 60, 60);

// A vertical gradient from `top` to `bottom` over the whole image with a line of `edge` along
// its last row: the face of a page button or of the list strip.
QImage buttonFace(int width, int height, const QColor& top, const QColor& bottom,
                  const QColor& edge)
{
    QImage image = ImageRegistry::newImage(width, height);
    QPainter p(&image);
    QLinearGradient face(0, 0, 0, height);
    face.setColorAt(0, top);
    face.setColorAt(1, bottom);
    p.fillRect(image.rect(), face);
    p.fillRect(QRect(0, height - 1, width, 1), edge);
    return image;
}

// An icon drawn in a 16 by 16 frame at `scale` pixels per unit, antialiased.
QImage icon(int scale, void (*paint)(QPainter&))
{
    QImage image = ImageRegistry::newImage(16 * scale, 16 * scale);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
    paint(p);
    return image;
}

// A filled arrow head with its tip at `tip`, pointing along (dx, dy) (a unit direction).
void arrowHead(QPainter& p, QPointF tip, qreal dx, qreal dy, qreal length = 4.5,
               qreal halfWidth = 2.6)
{
    const QPointF back = tip - QPointF(dx, dy) * length;
    const QPointF side(-dy * halfWidth, dx * halfWidth);
    p.setPen(Qt::NoPen);
    p.setBrush(Ink);
    p.drawPolygon(QPolygonF() << tip << back + side << back - side);
}

QPen inkPen(qreal width)
{
    return QPen(Ink, width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
}

// ---- Page icons ------------------------------------------------------------------------------

void paintDocument(QPainter& p)
{
    // A sheet with a folded corner and three lines of text.
    QPainterPath sheet(QPointF(3.5, 1.5));
    sheet.lineTo(9.5, 1.5);
    sheet.lineTo(12.5, 4.5);
    sheet.lineTo(12.5, 14.5);
    sheet.lineTo(3.5, 14.5);
    sheet.closeSubpath();
    p.setPen(inkPen(1));
    p.setBrush(Qt::white);
    p.drawPath(sheet);
    p.drawPolyline(QPolygonF() << QPointF(9.5, 1.5) << QPointF(9.5, 4.5) << QPointF(12.5, 4.5));
    for (qreal y : {7.0, 9.5, 12.0})
        p.drawLine(QPointF(5.5, y), QPointF(10.5, y));
}

void paintInstrument(QPainter& p)
{
    // Five white keys with three black keys between them.
    p.setPen(inkPen(1));
    p.setBrush(Qt::white);
    for (int i = 0; i < 5; ++i)
        p.drawRect(QRectF(0.5 + i * 3, 3.5, 3, 10));
    p.setPen(Qt::NoPen);
    p.setBrush(Ink);
    for (qreal x : {2.5, 5.5, 11.5})
        p.drawRect(QRectF(x, 3.5, 2, 6));
}

void paintEdge(QPainter& p)
{
    p.setPen(inkPen(1.6));
    p.drawLine(QPointF(2, 8), QPointF(10, 8));
    arrowHead(p, QPointF(14.5, 8), 1, 0, 5.5, 3.5);
}

void paintNode(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(Ink);
    p.drawEllipse(QPointF(8, 8), 5.5, 5.5);
}

void paintVoiceGroup(QPainter& p)
{
    p.setPen(QPen(Ink, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(Ink.red(), Ink.green(), Ink.blue(), 110));
    p.drawPolygon(QPolygonF() << QPointF(1.5, 13.5) << QPointF(14.5, 13.5) << QPointF(8, 2.5));
}

// ---- Edge paths: from the top left to the bottom right ---------------------------------------

void paintCityBlock(QPainter& p)
{
    // The horizontal leg first, then down into the arrow.
    p.setPen(inkPen(1.5));
    p.drawPolyline(QPolygonF() << QPointF(1.5, 3) << QPointF(12, 3) << QPointF(12, 10));
    arrowHead(p, QPointF(12, 14.5), 0, 1);
}

void paintCityBlockFlipped(QPainter& p)
{
    // The vertical leg first, then right into the arrow.
    p.setPen(inkPen(1.5));
    p.drawPolyline(QPolygonF() << QPointF(3, 1.5) << QPointF(3, 12) << QPointF(10, 12));
    arrowHead(p, QPointF(14.5, 12), 1, 0);
}

void paintDirect(QPainter& p)
{
    const qreal d = 1 / std::sqrt(2.0);
    p.setPen(inkPen(1.5));
    p.drawLine(QPointF(2, 2), QPointF(10.5, 10.5));
    arrowHead(p, QPointF(14, 14), d, d, 5, 2.8);
}

} // namespace

// ---- The row of page buttons: faces tiled along the row, and the separator that the buttons
// after the first draw along their left edge ----------------------------------------------------

KELVO_IMAGE(inspectPageButtonNormal, "Inspector/InspectPageButtonNormal.png")
{
    return buttonFace(8, 24, QColor(250, 250, 250), QColor(218, 218, 218), QColor(160, 160, 160));
}

KELVO_IMAGE(inspectPageButtonPressed, "Inspector/InspectPageButtonPressed.png")
{
    return buttonFace(8, 24, QColor(196, 196, 196), QColor(176, 176, 176), QColor(140, 140, 140));
}

KELVO_IMAGE(inspectPageButtonSelected, "Inspector/InspectPageButtonSelected.png")
{
    return buttonFace(8, 24, QColor(190, 204, 222), QColor(160, 178, 202), QColor(120, 134, 156));
}

// Two dark columns at the left and nothing else: right whether the style sheet slices it (the
// columns fill the two-pixel border) or stretches it.
KELVO_IMAGE(inspectPageButtonSeparator, "Inspector/InspectPageButtonSeparator_workaround.png")
{
    QImage image = ImageRegistry::newImage(8, 24);
    QPainter p(&image);
    p.fillRect(QRect(0, 0, 2, 24), QColor(0, 0, 0, 70));
    return image;
}

KELVO_IMAGE(inspectDocument, "Inspector/InspectDocument.png")
{
    return icon(1, paintDocument);
}

KELVO_IMAGE(inspectDocument2x, "Inspector/InspectDocument@2x.png")
{
    return icon(2, paintDocument);
}

KELVO_IMAGE(inspectInstrument, "Inspector/InspectInstrument.png")
{
    return icon(1, paintInstrument);
}

KELVO_IMAGE(inspectInstrument2x, "Inspector/InspectInstrument@2x.png")
{
    return icon(2, paintInstrument);
}

KELVO_IMAGE(inspectEdge, "Inspector/InspectEdge.png")
{
    return icon(1, paintEdge);
}

KELVO_IMAGE(inspectEdge2x, "Inspector/InspectEdge@2x.png")
{
    return icon(2, paintEdge);
}

KELVO_IMAGE(inspectNode, "Inspector/InspectNode.png")
{
    return icon(1, paintNode);
}

KELVO_IMAGE(inspectNode2x, "Inspector/InspectNode@2x.png")
{
    return icon(2, paintNode);
}

KELVO_IMAGE(inspectVoiceGroup, "Inspector/InspectVoiceGroup.png")
{
    return icon(1, paintVoiceGroup);
}

KELVO_IMAGE(inspectVoiceGroup2x, "Inspector/InspectVoiceGroup@2x.png")
{
    return icon(2, paintVoiceGroup);
}

// ---- The strip under the instrument list: the add button and the strip beside it ------------

namespace {

QImage listStrip(int width, const QColor& top, const QColor& bottom)
{
    QImage image = buttonFace(width, 24, top, bottom, QColor(170, 170, 170));
    QPainter p(&image);
    p.fillRect(QRect(0, 0, width, 1), QColor(150, 150, 150));
    return image;
}

QImage listAddButton(const QColor& top, const QColor& bottom)
{
    QImage image = listStrip(32, top, bottom);
    QPainter p(&image);
    p.fillRect(QRect(0, 1, 1, 22), QColor(0, 0, 0, 50));
    p.fillRect(QRect(15, 7, 2, 10), Ink);
    p.fillRect(QRect(11, 11, 10, 2), Ink);
    return image;
}

} // namespace

KELVO_IMAGE(listAddNormal, "Inspector/ListAddNormal.png")
{
    return listAddButton(QColor(250, 250, 250), QColor(222, 222, 222));
}

KELVO_IMAGE(listAddPressed, "Inspector/ListAddPressed.png")
{
    return listAddButton(QColor(200, 200, 200), QColor(180, 180, 180));
}

KELVO_IMAGE(listButtonsSpacer, "Inspector/ListButtonsSpacer.png")
{
    return listStrip(8, QColor(250, 250, 250), QColor(222, 222, 222));
}

// ---- Edge paths ------------------------------------------------------------------------------

KELVO_IMAGE(edgePathCityBlock, "Inspector/EdgePathCityBlock.png")
{
    return icon(1, paintCityBlock);
}

KELVO_IMAGE(edgePathCityBlock2x, "Inspector/EdgePathCityBlock@2x.png")
{
    return icon(2, paintCityBlock);
}

KELVO_IMAGE(edgePathCityBlockFlipped, "Inspector/EdgePathCityBlockFlipped.png")
{
    return icon(1, paintCityBlockFlipped);
}

KELVO_IMAGE(edgePathCityBlockFlipped2x, "Inspector/EdgePathCityBlockFlipped@2x.png")
{
    return icon(2, paintCityBlockFlipped);
}

KELVO_IMAGE(edgePathDirect, "Inspector/EdgePathDirect.png")
{
    return icon(1, paintDirect);
}

KELVO_IMAGE(edgePathDirect2x, "Inspector/EdgePathDirect@2x.png")
{
    return icon(2, paintDirect);
}
