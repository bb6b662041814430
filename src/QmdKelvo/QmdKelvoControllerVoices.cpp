// Edge lengths of QmdKelvoController: how long a voice travels an edge.

#include "QmdKelvoController.h"

#include "QmdKelvoKeys.h"

#include <cmath>

namespace K = QmdKelvoKeys;

QmdKelvo::Ticks QmdKelvoController::edgeLength(QmdItemId edge, bool* ok) const
{
    if (ok)
        *ok = false;
    const ReadLocker locker(this);
    const QmdIndex elements = directElementsRoot();
    const QmdIndex element = elements.isValid() ? directIndex(edge, elements) : QmdIndex();
    if (edge == 0 || !directIsValidIndex(element) || element == QmdIndex())
        return 0;
    const QmdIndex from = directIndex(directData(K::FromNode, element).toUInt(), elements);
    const QmdIndex to = directIndex(directData(K::ToNode, element).toUInt(), elements);
    const auto path = QmdKelvo::EdgePath(directData(K::Path, element).toInt());
    return edgeLength(from, to, path, ok);
}

QmdKelvo::Ticks QmdKelvoController::edgeLength(const QmdIndex& fromNode, const QmdIndex& toNode,
                                               QmdKelvo::EdgePath path, bool* ok) const
{
    if (ok)
        *ok = false;
    const ReadLocker locker(this);
    // A lookup that found nothing gives the root's index, which is no node.
    if (fromNode == QmdIndex() || toNode == QmdIndex() || !directIsValidIndex(fromNode)
        || !directIsValidIndex(toNode))
        return 0;
    const QVariant from = directData(K::TickPos, fromNode);
    const QVariant to = directData(K::TickPos, toNode);
    const auto point = [](const QVariant& value) {
        return value.canConvert<QmdKelvo::TickPoint>() ? value.value<QmdKelvo::TickPoint>()
                                                       : QmdKelvo::TickPoint();
    };
    if (ok)
        *ok = true;
    return pathLength(point(from), point(to), path);
}

QmdKelvo::Ticks QmdKelvoController::pathLength(QmdKelvo::TickPoint from, QmdKelvo::TickPoint to,
                                               QmdKelvo::EdgePath path)
{
    const long double dx = (long double)(to.x) - (long double)(from.x);
    const long double dy = (long double)(to.y) - (long double)(from.y);
    switch (path) {
    case QmdKelvo::CityBlock:
    case QmdKelvo::CityBlockFlipped:
        return QmdKelvo::Ticks(std::fabs(dx) + std::fabs(dy));
    case QmdKelvo::Direct:
        return QmdKelvo::Ticks(std::llround(std::sqrt(dx * dx + dy * dy)));
    default:
        return 0;
    }
}
