// The icons of the five editing tools, 14 by 16 points at twice the pixel density.

#include "ImageRegistry.h"

#include <QPainter>
#include <QPainterPath>

namespace {

const QColor Ink(60, 60, 60);

QImage toolImage(void (*paint)(QPainter&))
{
    QImage image = ImageRegistry::newImage(28, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    paint(p);
    return image;
}

} // namespace

KELVO_IMAGE(selectionTool, "Tools/SelectionTool@2x.png")
{
    return toolImage([](QPainter& p) {
        QPolygonF arrow;
        arrow << QPointF(8, 4) << QPointF(8, 26) << QPointF(13, 21) << QPointF(17, 29)
              << QPointF(20.5, 27.5) << QPointF(16.5, 19.5) << QPointF(23, 19.5);
        p.setPen(QPen(Qt::white, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Ink);
        p.drawPolygon(arrow);
    });
}

KELVO_IMAGE(zoomTool, "Tools/ZoomTool@2x.png")
{
    return toolImage([](QPainter& p) {
        p.setPen(QPen(Ink, 3.5, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(12, 13), 7, 7);
        p.setPen(QPen(Ink, 4.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(17.5, 18.5), QPointF(23.5, 25.5));
    });
}

KELVO_IMAGE(nodeAndEdgeTool, "Tools/NodeAndEdgeTool@2x.png")
{
    return toolImage([](QPainter& p) {
        // Two nodes joined by a city-block edge with its arrow head.
        p.setPen(QPen(Ink, 2.5, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
        p.setBrush(Qt::NoBrush);
        QPainterPath edge(QPointF(7, 20));
        edge.lineTo(7, 8);
        edge.lineTo(21.5, 8);
        edge.lineTo(21.5, 13.5);
        p.drawPath(edge);
        p.setPen(Qt::NoPen);
        p.setBrush(Ink);
        QPolygonF head;
        head << QPointF(17.5, 13) << QPointF(25.5, 13) << QPointF(21.5, 18);
        p.drawPolygon(head);
        p.drawEllipse(QPointF(7, 23), 4.5, 4.5);
        p.drawEllipse(QPointF(21.5, 23), 4.5, 4.5);
    });
}

KELVO_IMAGE(voiceGroupTool, "Tools/VoiceGroupTool@2x.png")
{
    return toolImage([](QPainter& p) {
        QPolygonF triangle;
        triangle << QPointF(4, 25) << QPointF(24, 25) << QPointF(14, 8);
        p.setPen(QPen(Ink, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(QColor(Ink.red(), Ink.green(), Ink.blue(), 90));
        p.drawPolygon(triangle);
    });
}

KELVO_IMAGE(textBoxTool, "Tools/TextBoxTool@2x.png")
{
    return toolImage([](QPainter& p) {
        // A capital T inside a dashed box.
        p.setPen(QPen(Ink, 1.5, Qt::DashLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(3.75, 5.75, 20.5, 21.5));
        p.setPen(Qt::NoPen);
        p.setBrush(Ink);
        p.drawRect(QRectF(8, 9.5, 12, 3));
        p.drawRect(QRectF(12.5, 9.5, 3, 14));
    });
}
