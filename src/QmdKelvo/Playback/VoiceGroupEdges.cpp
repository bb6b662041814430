// VoiceGroup: choosing a node's out-edges, travelling them and their controller curves.

#include "VoiceGroup.h"

#include "AbstractSync.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdKelvoTypes.h"

#include <QStringTokenizer>

#include <boost/random/uniform_int_distribution.hpp>

namespace K = QmdKelvoKeys;

namespace {

constexpr quint64 NanosPerCurveSample = 25000000;

quint8 dataByte(int value)
{
    return quint8(qBound(0, value, 127));
}

// Section i of a comma-separated list, empty sections counted; empty when there is none.
QStringView section(QStringView list, uint i)
{
    for (QStringView part : qTokenize(list, u',')) {
        if (i == 0)
            return part;
        --i;
    }
    return QStringView();
}

// The sections of a list that are not empty, found as they are walked.
auto entries(QStringView list)
{
    return qTokenize(list, u',', Qt::SkipEmptyParts);
}

} // namespace

quint64 VoiceGroup::elementTravelTicks(uint element, bool* ok)
{
    *ok = false;
    if (!controller)
        return 0;
    ElementInfo info;
    controller->lockedRead([&] {
        Batch batch;
        directBeginBatch(batch);
        info = directElementInfo(batch, element);
    });
    *ok = info.travels;
    return info.travel;
}

const VoiceGroup::ElementInfo& VoiceGroup::directElementInfo(const Batch& batch, uint id)
{
    const auto known = elementsRead.find(id);
    if (known != elementsRead.end())
        return known->second;

    QmdKelvoController* c = controller;
    ElementInfo info;
    const QmdIndex element = directChild(batch.elements, id);
    if (id == elementId) {
        // The group's own element: its start voice leaves for the start node at once.
        info.travels = true;
        info.toNode = element != QmdIndex() ? c->directData(K::ToNode, element).toUInt() : 0;
    } else if (element != QmdIndex()) {
        static const QStringList keys = {K::IsWormhole, K::FromNode, K::ToNode, K::Path};
        const QList<QVariant> values = c->directData(keys, element);
        info.wormhole = values.at(0).toBool();
        info.toNode = values.at(2).toUInt();
        if (info.wormhole) {
            info.travels = true;
        } else {
            const QmdIndex from = directChild(batch.elements, values.at(1).toUInt());
            const QmdIndex to = directChild(batch.elements, info.toNode);
            bool ok = false;
            const QmdKelvo::Ticks length = from != QmdIndex() && to != QmdIndex()
                ? c->edgeLength(from, to, QmdKelvo::EdgePath(values.at(3).toInt()), &ok)
                : 0;
            info.travels = ok;
            info.travel = ok ? quint64(qMax<QmdKelvo::Ticks>(length, 0)) : 0;
        }
        info.hasState = directChild(batch.states, id) != QmdIndex();
        const QmdIndex curves = c->directIndex(K::ContinuousControllers, element);
        if (!info.wormhole && curves != QmdIndex() && c->directIsValidIndex(curves)) {
            static const QStringList curveKeys
                = {K::CurveType, K::CurvePoints, K::MsbCode, K::LsbCode};
            for (const QmdIndex& child : c->directChildren(curves)) {
                const QList<QVariant> values = c->directData(curveKeys, child);
                Curve curve;
                curve.type = values.at(0).toInt();
                if (values.at(1).canConvert<QPolygonF>())
                    curve.points = values.at(1).value<QPolygonF>();
                curve.msb = values.at(2).isValid() ? values.at(2).toInt() : -1;
                curve.lsb = values.at(3).isValid() ? values.at(3).toInt() : -1;
                if (curve.type != QmdKelvo::NoCurve && !curve.points.isEmpty() && curve.msb != -1)
                    info.curves.append(curve);
            }
        }
    }
    return elementsRead.emplace(id, std::move(info)).first->second;
}

const VoiceGroup::NodeInfo& VoiceGroup::directNodeInfo(const Batch& batch, uint id)
{
    const auto known = nodesRead.find(id);
    if (known != nodesRead.end())
        return known->second;

    QmdKelvoController* c = controller;
    NodeInfo info;
    const QmdIndex node = directChild(batch.elements, id);
    if (node != QmdIndex()) {
        static const QStringList keys
            = {K::DontPlayNote,     K::DoInstrumentChange, K::Instrument,
               K::SignallingMethod, K::ArcUsageList,       K::UserMidiMessageList};
        const QList<QVariant> values = c->directData(keys, node);
        info.exists = true;
        info.dontPlay = values.at(0).toBool();
        info.instrumentChange = values.at(1).toBool();
        info.instrument = values.at(2).toUInt();
        info.method = values.at(3).toInt();
        info.usageList = values.at(4).toString();
        info.userMessages = values.at(5).toString();
        info.state = directChild(batch.states, id);
        info.tree = directChild(batch.trees, id);
    }
    return nodesRead.emplace(id, std::move(info)).first->second;
}

void VoiceGroup::chooseEdge(const QmdIndex& node, uint* firstEdge, QList<uint>* furtherEdges)
{
    *firstEdge = 0;
    furtherEdges->clear();
    QmdKelvoController* c = controller;
    if (!c)
        return;
    inBatch([&](Batch& batch) {
        if (node != QmdIndex() && c->directIsValidIndex(node))
            directChooseEdge(batch, directNodeInfo(batch, node.itemId()), firstEdge, furtherEdges);
    });
}

void VoiceGroup::directChooseEdge(Batch& batch, const NodeInfo& node, uint* firstEdge,
                                  QList<uint>* furtherEdges)
{
    *firstEdge = 0;
    furtherEdges->clear();
    const QString& list = node.usageList;
    if (list.isEmpty() || node.state == QmdIndex())
        return;

    switch (node.method) {
    case QmdKelvo::Sequential: {
        static const QStringList keys = {K::CurrentEdgeUsageId, K::CurrentEdgeUsageUses};
        const QList<QVariant> values = runTimeValues(batch, node.state, keys);
        uint index = values.at(0).toUInt();
        int uses = values.at(1).toInt();
        QStringView entry = section(list, index);
        if (entry.isEmpty()) {
            entry = section(list, 0);
            index = 0;
            uses = 0;
            if (entry.isEmpty())
                return;
        }
        const int count = QmdKelvo::arcUsageCount(entry);
        if (count != 0) {
            if (count <= uses) {
                ++index;
                entry = section(list, index);
                uses = 0;
                if (entry.isEmpty()) {
                    index = 0;
                    entry = section(list, 0);
                    if (entry.isEmpty())
                        return;
                }
            }
            ++uses;
        }
        if (freeVoiceCount() == 0)
            return;
        *firstEdge = QmdKelvo::arcUsageEdgeId(entry);
        setRunTimeValue(batch, node.state, K::CurrentEdgeUsageId, index);
        setRunTimeValue(batch, node.state, K::CurrentEdgeUsageUses, uses);
        break;
    }
    case QmdKelvo::Parallel: {
        quint64 longest = 0;
        for (QStringView entry : entries(list)) {
            if (freeVoiceCount() == 0)
                break;
            const uint edge = QmdKelvo::arcUsageEdgeId(entry);
            const ElementInfo& info = directElementInfo(batch, edge);
            if (!info.travels)
                continue;
            furtherEdges->append(edge);
            if (*firstEdge == 0 || info.travel > longest) {
                *firstEdge = edge;
                longest = info.travel;
            }
        }
        furtherEdges->removeAll(*firstEdge);
        break;
    }
    case QmdKelvo::Random: {
        qint64 sum = 0;
        for (QStringView entry : entries(list)) {
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
        for (QStringView entry : entries(list)) {
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
    if (!controller)
        return false;
    bool spawned = false;
    inBatch([&](Batch& batch) { spawned = directSpawnVoice(batch, state, edgeId); });
    return spawned;
}

bool VoiceGroup::directSpawnVoice(Batch& batch, const VoiceState& state, uint edgeId)
{
    if (edgeId == 0)
        return false;
    const ElementInfo& edge = directElementInfo(batch, edgeId);
    if (!edge.travels || !edge.hasState)
        return false;
    Voice* voice = takeFreeVoice();
    if (!voice) {
        batch.feedback.push_back(feedback(FeedbackMsg::VoicesExhausted, state.arrival, 0));
        return false;
    }
    voice->state = state;
    voice->state.elementId = edgeId;
    voice->state.departure = state.arrival;
    voice->state.arrival = state.arrival + edge.travel;
    batch.feedback.push_back(
        feedback(FeedbackMsg::VoiceDeparted, voice->state.departure, voice->id));
    queueCurves(batch, edge.curves, voice->state);
    return true;
}

void VoiceGroup::edgeControllerValues(const VoiceState& state, uint edgeId, quint64 travelTicks)
{
    if (!controller)
        return;
    VoiceState travel = state;
    travel.arrival = state.departure + travelTicks;
    inBatch([&](Batch& batch) {
        const ElementInfo& edge = directElementInfo(batch, edgeId);
        queueCurves(batch, edge.curves, travel);
    });
}

void VoiceGroup::queueCurves(Batch& batch, const QList<Curve>& curves, const VoiceState& travel)
{
    for (const Curve& curve : curves) {
        Outgoing out;
        out.kind = Outgoing::CurveTravel;
        out.instrument = travel.instrumentId;
        out.curve = curve;
        out.departure = travel.departure;
        out.arrival = travel.arrival;
        batch.outgoing.push_back(std::move(out));
    }
}

void VoiceGroup::sendCurve(const Outgoing& travel)
{
    QmdKelvoController* c = controller;
    const Curve& curve = travel.curve;
    const quint32 instrument = travel.instrument;
    const bool pitchBend = curve.msb == -2 || curve.lsb == -2;
    const QList<CurveSample> samples
        = curveSamples(curve.type, curve.points, travel.departure, travel.arrival,
                       curveSampleCount(travel.arrival - travel.departure));
    for (const CurveSample& sample : samples) {
        // Values leave as 14-bit numbers split into two 7-bit data bytes.
        const int value = qBound(0, sample.value, 16383);
        InstrumentMsg msg;
        msg.time = sample.tick;
        msg.source = elementId;
        if (pitchBend) {
            msg.kind = InstrumentMsg::PitchBend;
            msg.data1 = dataByte(value / 128);
            msg.data2 = dataByte(value % 128);
            c->tryWriteToInstrument(instrument, msg);
        } else if (curve.msb < 0 || curve.lsb < 0) {
            msg.kind = InstrumentMsg::ControlChange;
            if (curve.msb >= 0) {
                msg.data1 = dataByte(curve.msb);
                msg.data2 = dataByte(value / 128);
            } else {
                msg.data1 = dataByte(curve.lsb);
                msg.data2 = dataByte(value % 128);
            }
            c->tryWriteToInstrument(instrument, msg);
        } else {
            msg.kind = InstrumentMsg::ControlChange;
            InstrumentMsg fine = msg;
            msg.data1 = dataByte(curve.msb);
            msg.data2 = dataByte(value / 128);
            fine.data1 = dataByte(curve.lsb);
            fine.data2 = dataByte(value % 128);
            c->tryWriteToInstrument(instrument, msg, fine);
        }
    }
}

quint64 VoiceGroup::curveSampleCount(quint64 travelTicks) const
{
    if (travelTicks == 0)
        return 1;
    // A microsecond absorbs the clock's rounding, so that a travel of exactly one second gets
    // its 40 samples.
    AbstractSync* clock = sync();
    const quint64 nanos = clock ? clock->ticksToNanos(travelTicks) + 1000 : 0;
    // One sample per 25 ms of travel; a travel of hours still stays within reason.
    return qBound<quint64>(1, nanos / NanosPerCurveSample, 100000);
}
