// The application icon at every size, the icon of the document window's prompts, and the
// background of the splash screen and About box.

#include "ImageRegistry.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor NodeFill(229, 233, 240);
const QColor LitFill(240, 160, 64);
const QColor EdgeColor(143, 163, 191);

// A small network on a dark tile, drawn in a 256-unit square.
void paintIcon(QPainter& p)
{
    QLinearGradient tile(0, 8, 0, 248);
    tile.setColorAt(0, QColor(67, 76, 94));
    tile.setColorAt(1, QColor(32, 36, 44));
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(8, 8, 240, 240), 48, 48);

    p.setBrush(QColor(255, 255, 255, 40));
    for (int x = 48; x < 240; x += 40)
        for (int y = 48; y < 240; y += 40)
            p.drawEllipse(QPointF(x, y), 4, 4);

    const QPointF a(68, 76), b(188, 76), c(188, 188), d(68, 188);
    p.setPen(QPen(EdgeColor, 14, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    QPainterPath edges(a);
    edges.lineTo(b);
    edges.lineTo(c);
    edges.moveTo(a);
    edges.lineTo(d);
    edges.lineTo(c);
    p.drawPath(edges);

    p.setPen(Qt::NoPen);
    p.setBrush(NodeFill);
    for (const QPointF& node : {a, b, d})
        p.drawEllipse(node, 26, 26);
    p.setBrush(LitFill);
    p.drawEllipse(c, 30, 30);

    // A voice group at the first node.
    QPolygonF triangle;
    triangle << QPointF(40, 140) << QPointF(96, 140) << QPointF(68, 108);
    p.setBrush(LitFill);
    p.drawPolygon(triangle);
}

QImage icon(int size)
{
    QImage image = ImageRegistry::newImage(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);
    paintIcon(p);
    return image;
}

// The word "Kelvo" in strokes: lower-case letters 40 units high on a baseline at y 60, the
// capital 60 units high. Returns the path; the caller strokes it.
QPainterPath wordmark()
{
    QPainterPath path;
    // K
    path.moveTo(0, 0);
    path.lineTo(0, 60);
    path.moveTo(34, 0);
    path.lineTo(4, 32);
    path.moveTo(13, 23);
    path.lineTo(38, 60);
    // e
    const QRectF e(50, 20, 40, 40);
    path.moveTo(e.left(), e.center().y());
    path.lineTo(e.right(), e.center().y());
    path.arcTo(e, 0, 310);
    // l
    path.moveTo(104, 0);
    path.lineTo(104, 60);
    // v
    path.moveTo(118, 20);
    path.lineTo(137, 60);
    path.lineTo(156, 20);
    // o
    path.addEllipse(QRectF(168, 20, 40, 40));
    return path;
}

} // namespace

KELVO_IMAGE(kelvo64, "Kelvo64.png")
{
    return icon(64);
}

KELVO_IMAGE(appIcon16, "AppIcon/kelvo-16.png")
{
    return icon(16);
}

KELVO_IMAGE(appIcon24, "AppIcon/kelvo-24.png")
{
    return icon(24);
}

KELVO_IMAGE(appIcon32, "AppIcon/kelvo-32.png")
{
    return icon(32);
}

KELVO_IMAGE(appIcon48, "AppIcon/kelvo-48.png")
{
    return icon(48);
}

KELVO_IMAGE(appIcon64, "AppIcon/kelvo-64.png")
{
    return icon(64);
}

KELVO_IMAGE(appIcon128, "AppIcon/kelvo-128.png")
{
    return icon(128);
}

KELVO_IMAGE(appIcon256, "AppIcon/kelvo-256.png")
{
    return icon(256);
}

// 600 by 360: the art and the word mark on the left, a quiet column on the right for the
// version and the credits, and room at the bottom left for the start-up stage.
KELVO_IMAGE(aboutBackground, "AboutKelvoBeta.png")
{
    QImage image = ImageRegistry::newImage(600, 360);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient paper(0, 0, 0, 360);
    paper.setColorAt(0, QColor(255, 255, 255));
    paper.setColorAt(1, QColor(236, 239, 243));
    p.fillRect(image.rect(), paper);

    // The grid behind the art: principal lines and division points.
    p.setPen(QPen(QColor(225, 229, 235), 1));
    for (int x = 35; x <= 275; x += 40)
        p.drawLine(QPointF(x + 0.5, 120), QPointF(x + 0.5, 310));
    for (int y = 130; y <= 310; y += 40)
        p.drawLine(QPointF(35, y + 0.5), QPointF(275, y + 0.5));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(205, 211, 220));
    for (int x = 35; x <= 275; x += 10)
        for (int y = 130; y <= 310; y += 10)
            if ((x - 35) % 40 != 0 && (y - 130) % 40 != 0)
                p.drawEllipse(QPointF(x + 0.5, y + 0.5), 0.8, 0.8);

    // A network: edges along the grid, nodes at the corners, one lit, one voice group.
    const QPointF n1(75, 170), n2(195, 170), n3(235, 250), n4(115, 290), n5(155, 210);
    QPainterPath edges(n1);
    edges.lineTo(n2.x(), n1.y());
    edges.lineTo(n2);
    edges.lineTo(n2.x(), n3.y());
    edges.lineTo(n3);
    edges.moveTo(n1);
    edges.lineTo(n1.x(), n5.y());
    edges.lineTo(n5);
    edges.moveTo(n5);
    edges.lineTo(n5.x(), n4.y());
    edges.lineTo(n4);
    edges.moveTo(n3);
    edges.lineTo(n3.x(), n4.y());
    edges.lineTo(n4);
    p.setPen(QPen(EdgeColor, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(edges);
    p.setPen(QPen(QColor(92, 97, 106), 2));
    p.setBrush(NodeFill);
    for (const QPointF& node : {n1, n2, n4, n5})
        p.drawEllipse(node, 11, 11);
    p.setBrush(LitFill);
    p.drawEllipse(n3, 13, 13);
    QPolygonF triangle;
    triangle << QPointF(60, 198) << QPointF(90, 198) << QPointF(75, 181);
    p.setPen(Qt::NoPen);
    p.drawPolygon(triangle);

    // The word mark.
    p.save();
    p.translate(38, 36);
    p.scale(0.85, 0.85);
    p.setPen(QPen(QColor(60, 66, 78), 11, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wordmark());
    p.restore();

    // The column of the version and the credits.
    p.setPen(QPen(QColor(221, 225, 230), 1));
    p.drawLine(QPointF(299.5, 30), QPointF(299.5, 330));
    return image;
}
