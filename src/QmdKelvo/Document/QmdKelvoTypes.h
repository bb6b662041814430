#ifndef QMDKELVOTYPES_H
#define QMDKELVOTYPES_H

#include <QFlags>
#include <QMetaType>
#include <QString>
#include <QtGlobal>

// The value types and enumerations stored in a network document.
namespace QmdKelvo {

// A count of ticks. 665280 ticks make one principal, the grid's main division.
typedef qint64 Ticks;

// A scale factor; 1.0 leaves a value unchanged.
typedef double Scale;

// A position on the grid, in ticks.
struct TickPoint
{
    qint64 x = 0;
    qint64 y = 0;

    friend bool operator==(const TickPoint& a, const TickPoint& b)
    {
        return a.x == b.x && a.y == b.y;
    }
    friend bool operator!=(const TickPoint& a, const TickPoint& b) { return !(a == b); }
};

// Registers TickPoint with the meta-type system under the name "QmdKelvo::TickPoint", so that
// it travels in a QVariant and through queued connections. Safe to call any number of times.
void registerTickPointType();

// The parts of an "ArcUsageList" entry, "edge=count": the edge id before the first "=" (the
// whole entry when it has none), and the count after it up to any further "="; 0 for a part
// that is missing or not a number.
uint arcUsageEdgeId(QStringView entry);
int arcUsageCount(QStringView entry);

enum ElementType {
    InvalidElement = 0,
    EdgeElement = 1,
    NodeElement = 2,
    TextBoxElement = 3,
    VoiceGroupElement = 4
};

enum EdgePath { CityBlock = 0, CityBlockFlipped = 1, Direct = 2 };

enum SignallingMethod { Sequential = 0, Parallel = 1, Random = 2 };

enum ControllerCurveType { NoCurve = 0, SingleCurve = 1, LinearCurve = 2, CubicCurve = 3 };

// Flags of the requests that add elements.
enum CreationFlag { NoCreationFlags = 0x0, CreateHidden = 0x1 };
Q_DECLARE_FLAGS(CreationFlags, CreationFlag)

} // namespace QmdKelvo

Q_DECLARE_OPERATORS_FOR_FLAGS(QmdKelvo::CreationFlags)
Q_DECLARE_METATYPE(QmdKelvo::TickPoint)

#endif // QMDKELVOTYPES_H
