// VoiceGroup: choosing a node's out-edges, travelling them and their controller curves.

#include "VoiceGroup.h"

#include "AbstractSync.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdKelvoTypes.h"

#include <QPainterPath>
#include <QPolygonF>

#include <boost/random/uniform_int_distribution.hpp>

#include <cmath>

namespace K = QmdKelvoKeys;

namespace {

// Curve paths stretch time this far (16383 squared), so that a fraction of the path's length
// is practically the same fraction of the travel time.
constexpr double CurveTimeStretch = 268402689.0;
constexpr quint64 NanosPerCurveSample = 25000000;

int roundHalfAway(double value)
{
    const double rounded = std::round(value);
    if (!(rounded == rounded)) // NaN
        return 0;
    return int(qBound(-32768.0, rounded, 32767.0));
}

quint8 dataByte(int value)
{
    return quint8(qBound(0, value, 127));
}

} // namespace

quint64 VoiceGroup::elementTravelTicks(uint element, bool* ok) const
{
    *ok = false;
    QmdKelvoController* c = controller;
    if (!c)
        return 0;
    if (element == elementId) {
        *ok = true;
        return 0;
    }
    const bool wormhole = c->lockedRead([c, element] {
        const QmdIndex elements = c->directElementsRoot();
        const QmdIndex edge = elements.isValid() ? c->directIndex(element, elements) : QmdIndex();
        return edge != QmdIndex() && c->directIsValidIndex(edge)
            && c->directData(K::IsWormhole, edge).toBool();
    });
    if (wormhole) {
        *ok = true;
        return 0;
    }
    const QmdKelvo::Ticks length = c->edgeLength(element, ok);
    return *ok ? quint64(qMax<QmdKelvo::Ticks>(length, 0)) : 0;
}

void VoiceGroup::chooseEdge(const QmdIndex& node, uint* firstEdge, QList<uint>* furtherEdges)
{
    *firstEdge = 0;
    furtherEdges->clear();
    QmdKelvoController* c = controller;
    if (!c)
        return;

    struct Usage
    {
        bool valid = false;
        int method = 0;
        QString list;
        QmdIndex state;
        uint index = 0;
        int uses = 0;
    };
    const Usage usage = c->lockedRead([c, &node] {
        Usage u;
        if (node == QmdIndex() || !c->directIsValidIndex(node))
            return u;
        u.method = c->directData(K::SignallingMethod, node).toInt();
        u.list = c->directData(K::ArcUsageList, node).toString();
        const QmdIndex states = c->elementStatesRoot();
        u.state = states != QmdIndex() ? c->directIndex(node.itemId(), states) : QmdIndex();
        if (u.state == QmdIndex() || !c->directIsValidIndex(u.state))
            return u;
        u.valid = !u.list.isEmpty();
        u.index = c->directData(K::CurrentEdgeUsageId, u.state).toUInt();
        u.uses = c->directData(K::CurrentEdgeUsageUses, u.state).toInt();
        return u;
    });
    if (!usage.valid)
        return;

    switch (usage.method) {
    case QmdKelvo::Sequential: {
        const QStringList sections = usage.list.split(QLatin1Char(','));
        const auto section = [&sections](uint i) {
            return i < uint(sections.size()) ? sections.at(i) : QString();
        };
        uint index = usage.index;
        int uses = usage.uses;
        QString entry = section(index);
        if (entry.isEmpty()) {
            entry = section(0);
            index = 0;
            uses = 0;
            if (entry.isEmpty())
                return;
        }
        const int count = QmdKelvo::arcUsageCount(entry);
        if (count != 0) {
            if (count <= uses) {
                ++index;
                entry = section(index);
                uses = 0;
                if (entry.isEmpty()) {
                    index = 0;
                    entry = section(0);
                    if (entry.isEmpty())
                        return;
                }
            }
            ++uses;
        }
        if (freeVoiceCount() == 0)
            return;
        *firstEdge = QmdKelvo::arcUsageEdgeId(entry);
        const QmdIndex state = usage.state;
        c->lockedRead([c, &state, index, uses] {
            if (c->directIsValidIndex(state))
                c->requestSetData(QHash<QString, QVariant> {{K::CurrentEdgeUsageId, index},
                                                            {K::CurrentEdgeUsageUses, uses}},
                                  state, QmdRequestOptions(Qmd::NotUndoable, QString()));
        });
        break;
    }
    case QmdKelvo::Parallel: {
        quint64 longest = 0;
        const QStringList entries = usage.list.split(QLatin1Char(','), Qt::SkipEmptyParts);
        for (const QString& entry : entries) {
            if (freeVoiceCount() == 0)
                break;
            const uint edge = QmdKelvo::arcUsageEdgeId(entry);
            bool ok = false;
            const quint64 travel = elementTravelTicks(edge, &ok);
            if (!ok)
                continue;
            furtherEdges->append(edge);
            if (*firstEdge == 0 || travel > longest) {
                *firstEdge = edge;
                longest = travel;
            }
        }
        furtherEdges->removeAll(*firstEdge);
        break;
    }
    case QmdKelvo::Random: {
        const QStringList entries = usage.list.split(QLatin1Char(','), Qt::SkipEmptyParts);
        qint64 sum = 0;
        for (const QString& entry : entries) {
            const int count = QmdKelvo::arcUsageCount(entry);
            if (count == 0) {
                *firstEdge = QmdKelvo::arcUsageEdgeId(entry);
                return;
            }
            sum += count;
        }
        // Only negative counts can bring the sum below 1: nothing is chosen then.
        if (sum < 1)
            return;
        boost::random::uniform_int_distribution<qint64> draw(1, sum);
        const qint64 r = draw(randomEngine);
        qint64 running = 0;
        for (const QString& entry : entries) {
            running += QmdKelvo::arcUsageCount(entry);
            if (running >= r) {
                *firstEdge = QmdKelvo::arcUsageEdgeId(entry);
                return;
            }
        }
        break;
    }
    default:
        break;
    }
}

bool VoiceGroup::spawnVoice(const VoiceState& state, uint edgeId)
{
    QmdKelvoController* c = controller;
    if (edgeId == 0 || !c)
        return false;
    bool ok = false;
    const quint64 travel = elementTravelTicks(edgeId, &ok);
    if (!ok)
        return false;
    struct Edge
    {
        bool hasState = false;
        bool wormhole = false;
    };
    const Edge edge = c->lockedRead([c, edgeId] {
        Edge e;
        const QmdIndex states = c->elementStatesRoot();
        const QmdIndex state = states != QmdIndex() ? c->directIndex(edgeId, states) : QmdIndex();
        e.hasState = state != QmdIndex() && c->directIsValidIndex(state);
        const QmdIndex elements = c->directElementsRoot();
        const QmdIndex element = elements.isValid() ? c->directIndex(edgeId, elements) : QmdIndex();
        e.wormhole = element != QmdIndex() && c->directIsValidIndex(element)
            && c->directData(K::IsWormhole, element).toBool();
        return e;
    });
    if (!edge.hasState)
        return false;
    Voice* voice = takeFreeVoice();
    if (!voice) {
        writeFeedback(FeedbackMsg::VoicesExhausted, state.arrival, 0);
        return false;
    }
    voice->state = state;
    voice->state.elementId = edgeId;
    voice->state.departure = state.arrival;
    voice->state.arrival = state.arrival + travel;
    writeFeedback(FeedbackMsg::VoiceDeparted, voice->state.departure, voice->id);
    if (!edge.wormhole)
        edgeControllerValues(voice->state, edgeId, travel);
    return true;
}

void VoiceGroup::edgeControllerValues(const VoiceState& state, uint edgeId, quint64 travelTicks)
{
    QmdKelvoController* c = controller;
    if (!c)
        return;
    struct Curve
    {
        int type = 0;
        QPolygonF points;
        int msb = -1;
        int lsb = -1;
    };
    const QList<Curve> curves = c->lockedRead([c, edgeId] {
        QList<Curve> found;
        const QmdIndex elements = c->directElementsRoot();
        const QmdIndex edge = elements.isValid() ? c->directIndex(edgeId, elements) : QmdIndex();
        if (edge == QmdIndex() || !c->directIsValidIndex(edge))
            return found;
        const QmdIndex root = c->directIndex(K::ContinuousControllers, edge);
        if (root == QmdIndex() || !c->directIsValidIndex(root))
            return found;
        for (const QmdIndex& child : c->directChildren(root)) {
            Curve curve;
            curve.type = c->directData(K::CurveType, child).toInt();
            const QVariant points = c->directData(K::CurvePoints, child);
            if (points.canConvert<QPolygonF>())
                curve.points = points.value<QPolygonF>();
            const QVariant msb = c->directData(K::MsbCode, child);
            const QVariant lsb = c->directData(K::LsbCode, child);
            curve.msb = msb.isValid() ? msb.toInt() : -1;
            curve.lsb = lsb.isValid() ? lsb.toInt() : -1;
            found.append(curve);
        }
        return found;
    });

    for (const Curve& curve : curves) {
        if (curve.type == QmdKelvo::NoCurve || curve.points.isEmpty() || curve.msb == -1)
            continue;
        const bool pitchBend = curve.msb == -2 || curve.lsb == -2;
        for (const CurveSample& sample :
             curveSamples(curve.type, curve.points, state, travelTicks)) {
            // Values leave as 14-bit numbers split into two 7-bit data bytes.
            const int value = qBound(0, sample.value, 16383);
            InstrumentMsg msg;
            msg.time = sample.tick;
            msg.source = elementId;
            if (pitchBend) {
                msg.kind = InstrumentMsg::PitchBend;
                msg.data1 = dataByte(value / 128);
                msg.data2 = dataByte(value % 128);
                c->tryWriteToInstrument(state.instrumentId, msg);
            } else if (curve.msb < 0 || curve.lsb < 0) {
                msg.kind = InstrumentMsg::ControlChange;
                if (curve.msb >= 0) {
                    msg.data1 = dataByte(curve.msb);
                    msg.data2 = dataByte(value / 128);
                } else {
                    msg.data1 = dataByte(curve.lsb);
                    msg.data2 = dataByte(value % 128);
                }
                c->tryWriteToInstrument(state.instrumentId, msg);
            } else {
                msg.kind = InstrumentMsg::ControlChange;
                InstrumentMsg fine = msg;
                msg.data1 = dataByte(curve.msb);
                msg.data2 = dataByte(value / 128);
                fine.data1 = dataByte(curve.lsb);
                fine.data2 = dataByte(value % 128);
                c->tryWriteToInstrument(state.instrumentId, msg, fine);
            }
        }
    }
}

QList<VoiceGroup::CurveSample> VoiceGroup::curveSamples(int curveType, const QPolygonF& points,
                                                        const VoiceState& state,
                                                        quint64 travelTicks) const
{
    QList<CurveSample> samples;
    if (points.isEmpty())
        return samples;
    if (curveType == QmdKelvo::SingleCurve) {
        samples.append({state.departure, roundHalfAway(points.first().y())});
        return samples;
    }
    QPainterPath path(points.first());
    for (qsizetype i = 1; i < points.size(); ++i) {
        const QPointF& previous = points.at(i - 1);
        const QPointF& point = points.at(i);
        const QPointF end(point.x() * CurveTimeStretch, point.y());
        if (curveType == QmdKelvo::CubicCurve) {
            const double middle
                = (previous.x() + (point.x() - previous.x()) * 0.5) * CurveTimeStretch;
            path.cubicTo(QPointF(middle, previous.y()), QPointF(middle, point.y()), end);
        } else {
            path.lineTo(end);
        }
    }
    quint64 count = 1;
    quint64 step = 0;
    AbstractSync* clock = sync();
    if (travelTicks > 0) {
        // A microsecond absorbs the clock's rounding, so that a travel of exactly one second
        // gets its 40 samples.
        const quint64 nanos = clock ? clock->ticksToNanos(travelTicks) + 1000 : 0;
        count = qMax<quint64>(nanos / NanosPerCurveSample, 1);
        // One sample per 25 ms of travel; a travel of hours still stays within reason.
        count = qMin<quint64>(count, 100000);
        step = travelTicks / count;
    }
    for (quint64 i = 0; i < count; ++i) {
        const double percent = double(i) / double(count);
        samples.append(
            {state.departure + i * step, roundHalfAway(path.pointAtPercent(percent).y())});
    }
    samples.append({state.arrival, roundHalfAway(points.last().y())});
    return samples;
}
