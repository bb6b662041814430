#include "QmdKelvoUnits.h"

#include <QObject>
#include <QPaintDevice>
#include <QSettings>

#include <algorithm>
#include <cmath>

namespace QmdKelvo {

void initTickGeometry(QPaintDevice* device)
{
    if (!device)
        return;
    const double sx = device->logicalDpiX() / double(ReferenceDpi);
    const double sy = device->logicalDpiY() / double(ReferenceDpi);
    dpiScaleX = sx;
    dpiScaleY = sy;
    pixelsPerTickX = (SceneUnitsPerPrincipal * sx) / TicksPerPrincipal;
    pixelsPerTickY = (SceneUnitsPerPrincipal * sy) / TicksPerPrincipal;
    ticksPerPixelX = TicksPerPrincipal / (SceneUnitsPerPrincipal * sx);
    ticksPerPixelY = TicksPerPrincipal / (SceneUnitsPerPrincipal * sy);
}

QPointF toScenePoint(TickPoint point)
{
    return QPointF(double(point.x) * pixelsPerTickX, double(point.y) * pixelsPerTickY);
}

TickPoint toTickPoint(QPointF scenePoint)
{
    return TickPoint {std::llround(scenePoint.x() * ticksPerPixelX),
                      std::llround(scenePoint.y() * ticksPerPixelY)};
}

Ticks ticksPerDivision(qint64 divsPerPrincipal)
{
    return std::max<Ticks>(1, TicksPerPrincipal / std::max<qint64>(1, divsPerPrincipal));
}

QString elementTypeName(ElementType type)
{
    switch (uint(type)) {
    case InvalidElement:
        return QObject::tr("Invalid");
    case EdgeElement:
        return QObject::tr("Edge");
    case NodeElement:
        return QObject::tr("Node");
    case TextBoxElement:
        return QObject::tr("Text Box");
    case VoiceGroupElement:
        return QObject::tr("Voice Group");
    default:
        return QString();
    }
}

namespace {

struct PaletteEntry
{
    const char* label;
    int red, green, blue;
};

const PaletteEntry defaultPalette[] = {
    {QT_TRANSLATE_NOOP("QObject", "Tangerine"), 255, 128, 0},
    {QT_TRANSLATE_NOOP("QObject", "Pistachio"), 131, 204, 7},
    {QT_TRANSLATE_NOOP("QObject", "Aqua"), 0, 128, 255},
    {QT_TRANSLATE_NOOP("QObject", "Grape"), 128, 0, 255},
    {QT_TRANSLATE_NOOP("QObject", "Strawberry"), 255, 0, 128},
    {QT_TRANSLATE_NOOP("QObject", "Asparagus"), 128, 128, 0},
    {QT_TRANSLATE_NOOP("QObject", "Mocha"), 128, 64, 0},
    {QT_TRANSLATE_NOOP("QObject", "Nickel"), 128, 128, 128},
};

const PaletteEntry alternatePalette[] = {
    {QT_TRANSLATE_NOOP("QObject", "Orange"), 230, 159, 0},
    {QT_TRANSLATE_NOOP("QObject", "Sky Blue"), 86, 180, 233},
    {QT_TRANSLATE_NOOP("QObject", "Bluish Green"), 0, 158, 115},
    {QT_TRANSLATE_NOOP("QObject", "Yellow"), 240, 228, 66},
    {QT_TRANSLATE_NOOP("QObject", "Blue"), 0, 114, 178},
    {QT_TRANSLATE_NOOP("QObject", "Vermillon"), 213, 94, 0},
    {QT_TRANSLATE_NOOP("QObject", "Reddish Purple"), 204, 121, 167},
};

const int paletteRepetitions = 9;

} // namespace

QList<ColoredLabel> makeColorPalette(bool alternate)
{
    QList<ColoredLabel> base;
    auto addBase = [&base](const auto& table) {
        for (const PaletteEntry& entry : table)
            base.append({QObject::tr(entry.label), QColor(entry.red, entry.green, entry.blue)});
    };
    if (alternate)
        addBase(alternatePalette);
    else
        addBase(defaultPalette);

    QList<ColoredLabel> palette = base;
    for (int n = 2; n <= paletteRepetitions; ++n) {
        for (const ColoredLabel& entry : std::as_const(base))
            palette.append({QStringLiteral("%1 %2").arg(entry.label).arg(n), entry.color});
    }
    return palette;
}

const QList<ColoredLabel>& colorPalettes()
{
    // Built once, thread-safely, at the first use; the preference is read then only.
    static const QList<ColoredLabel> palette = makeColorPalette(
        QSettings().value(QStringLiteral("AlternateColorPalette"), false).toBool());
    return palette;
}

QColor paletteColor(int index)
{
    const QList<ColoredLabel>& palette = colorPalettes();
    if (index < 0 || index >= palette.size())
        return QColor(Qt::black);
    return palette.at(index).color;
}

QString paletteColorName(int index)
{
    const QList<ColoredLabel>& palette = colorPalettes();
    if (index < 0 || index >= palette.size())
        return QString();
    return palette.at(index).label;
}

} // namespace QmdKelvo
