#ifndef QMDKELVOUNITS_H
#define QMDKELVOUNITS_H

#include "QmdKelvoTypes.h"

#include <QColor>
#include <QList>
#include <QPointF>
#include <QString>

class QPaintDevice;

// Units of the grid and the screen, the names of the element types and the built-in colour
// palette, shared by the document, the network editor and the inspector.
namespace QmdKelvo {

// One principal, the grid's main division, in ticks.
inline constexpr Ticks TicksPerPrincipal = 665280;
// One principal in scene units on a screen of the reference resolution.
inline constexpr int SceneUnitsPerPrincipal = 120;
// The resolution, in dots per inch, at which the dpi scale factors are 1.0.
inline constexpr int ReferenceDpi = 72;

// The tick geometry: set once by initTickGeometry at start-up, read everywhere else. All 0
// until then.
inline double dpiScaleX = 0;
inline double dpiScaleY = 0;
inline double pixelsPerTickX = 0;
inline double pixelsPerTickY = 0;
inline double ticksPerPixelX = 0;
inline double ticksPerPixelY = 0;

// Sets the tick geometry from the logical resolution of device.
void initTickGeometry(QPaintDevice* device);

// A tick position as a point of the scene, and a scene point as the nearest tick position
// (halves rounded away from zero).
QPointF toScenePoint(TickPoint point);
TickPoint toTickPoint(QPointF scenePoint);

// The length of one grid division for a document's "DivsPerPrincipal": at least one tick, also
// for a count of 0 or one above the ticks of a principal.
Ticks ticksPerDivision(qint64 divsPerPrincipal);

// The translated name of an element type; a null string for a value outside the enumeration.
QString elementTypeName(ElementType type);

// One entry of the colour palette.
struct ColoredLabel
{
    QString label;
    QColor color;
};

// The palette of the process: the base palette followed by eight numbered repetitions of it
// ("Tangerine 2" ... "Nickel 9"). Chosen at the first call by the preference
// "AlternateColorPalette"; never rebuilt. The reference stays valid for the life of the process.
const QList<ColoredLabel>& colorPalettes();

// Builds the palette from the default or the alternate base palette.
QList<ColoredLabel> makeColorPalette(bool alternate);

// The colour and label of a palette entry; black and a null string outside the palette.
QColor paletteColor(int index);
QString paletteColorName(int index);

} // namespace QmdKelvo

#endif // QMDKELVOUNITS_H
