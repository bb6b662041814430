// The icon of a network file (the desktop's "application/x-kelvo-network" type) at every size
// of the icon theme: a page with a folded corner that carries a small network.

#include "ImageRegistry.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

// Drawn in a 256-unit square.
void paintDocument(QPainter& p)
{
    const qreal left = 40, top = 12, right = 216, bottom = 244, fold = 56;
    QPainterPath page(QPointF(left, top));
    page.lineTo(right - fold, top);
    page.lineTo(right, top + fold);
    page.lineTo(right, bottom);
    page.lineTo(left, bottom);
    page.closeSubpath();
    QLinearGradient paper(0, top, 0, bottom);
    paper.setColorAt(0, QColor(250, 251, 252));
    paper.setColorAt(1, QColor(226, 230, 236));
    p.setPen(QPen(QColor(120, 128, 140), 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(paper);
    p.drawPath(page);

    QPainterPath corner(QPointF(right - fold, top));
    corner.lineTo(right - fold, top + fold);
    corner.lineTo(right, top + fold);
    p.setBrush(QColor(200, 206, 215));
    p.drawPath(corner);

    // The network: a dark tile with three nodes, one lit, joined along the grid.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(44, 50, 62));
    p.drawRoundedRect(QRectF(64, 96, 128, 124), 20, 20);
    const QPointF a(94, 128), b(162, 128), c(162, 190), d(94, 190);
    p.setPen(QPen(QColor(143, 163, 191), 10, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPainterPath edges(a);
    edges.lineTo(b);
    edges.lineTo(c);
    edges.lineTo(d);
    p.drawPath(edges);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(229, 233, 240));
    for (const QPointF& node : {a, b, d})
        p.drawEllipse(node, 17, 17);
    p.setBrush(QColor(240, 160, 64));
    p.drawEllipse(c, 20, 20);
}

QImage documentIcon(int size)
{
    QImage image = ImageRegistry::newImage(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);
    paintDocument(p);
    return image;
}

} // namespace

KELVO_IMAGE(documentIcon16, "DocumentIcon/kelvo-network-16.png")
{
    return documentIcon(16);
}

KELVO_IMAGE(documentIcon24, "DocumentIcon/kelvo-network-24.png")
{
    return documentIcon(24);
}

KELVO_IMAGE(documentIcon32, "DocumentIcon/kelvo-network-32.png")
{
    return documentIcon(32);
}

KELVO_IMAGE(documentIcon48, "DocumentIcon/kelvo-network-48.png")
{
    return documentIcon(48);
}

KELVO_IMAGE(documentIcon64, "DocumentIcon/kelvo-network-64.png")
{
    return documentIcon(64);
}

KELVO_IMAGE(documentIcon128, "DocumentIcon/kelvo-network-128.png")
{
    return documentIcon(128);
}

KELVO_IMAGE(documentIcon256, "DocumentIcon/kelvo-network-256.png")
{
    return documentIcon(256);
}
