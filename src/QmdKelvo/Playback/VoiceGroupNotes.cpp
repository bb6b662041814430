// VoiceGroup: the scale in force, walking a node's notes tree, and what sounds at a node.

#include "VoiceGroup.h"

#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"

#include <QStringTokenizer>

#include <boost/random/uniform_int_distribution.hpp>

#include <algorithm>
#include <cmath>

namespace K = QmdKelvoKeys;

namespace {

constexpr quint64 TicksPerPrincipal = 665280;

// The entry of a list text at position *k (empty sections skipped); when there is none, the
// first entry and *k = 0.
QStringView listEntry(QStringView text, uint* k)
{
    QStringView first;
    uint i = 0;
    for (QStringView entry : qTokenize(text, u',', Qt::SkipEmptyParts)) {
        if (i == 0)
            first = entry;
        if (i == *k)
            return entry;
        ++i;
    }
    *k = 0;
    return first;
}

// The entry at position *k of a list read from a notes tree; when there is none, the first
// entry and *k = 0 (null when the list has no entries).
template<class List>
auto entryAt(const List& entries, uint* k) -> decltype(&*std::cbegin(entries))
{
    if (*k >= uint(std::size(entries)))
        *k = 0;
    return *k < uint(std::size(entries)) ? &*(std::cbegin(entries) + *k) : nullptr;
}

// The names of the 128 pitches, as the display shows the notes sent.
const QStringList& noteNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (int pitch = 0; pitch < 128; ++pitch)
            list.append(QmdKelvoController::noteName(uchar(pitch)));
        return list;
    }();
    return names;
}

} // namespace

void VoiceGroup::readScale()
{
    QmdKelvoController* c = controller;
    if (!c)
        return;
    c->lockedRead([this] {
        Batch batch;
        directBeginBatch(batch);
        directReadGroup(batch);
    });
}

void VoiceGroup::directReadGroup(const Batch& batch)
{
    if (groupRead)
        return;
    QmdKelvoController* c = controller;
    const QmdIndex element = directChild(batch.elements, elementId);
    groupMuted = element != QmdIndex() && c->directData(K::DontPlayNote, element).toBool();
    const bool useGroup = element != QmdIndex() && c->directData(K::UseScale, element).toBool();
    const QmdIndex source = useGroup ? element : QmdIndex();
    scaleKey = c->directData(K::ScaleKey, source).toUInt();
    scaleDegreeMask = 0;
    groupRead = true;
    const QmdItemId modeId = c->directData(K::ScaleMode, source).toUInt();
    const QmdIndex modes = c->directIndex(K::ScaleModes, QmdIndex());
    if (modeId == 0 || modes == QmdIndex() || !c->directIsValidIndex(modes))
        return;
    const QmdIndex mode = c->directIndex(modeId, modes);
    if (mode != QmdIndex() && c->directIsValidIndex(mode))
        scaleDegreeMask = uint(c->directData(K::ChromaticScaleDegreeSet, mode).toLongLong());
}

void VoiceGroup::advancePitch(int* pitch, int relativeOffsetSteps, int direction, uint key,
                              uint degreeMask)
{
    Q_ASSERT_X(relativeOffsetSteps >= 0, "advancePitch", "relativeOffsetSteps >= 0");
    Q_ASSERT_X(direction == 1 || direction == -1, "advancePitch",
               "direction == 1 || direction == -1");
    const int steps = qBound(0, relativeOffsetSteps, MaxScaleSteps);
    direction = direction < 0 ? -1 : 1;
    uint mask = degreeMask & 0xFFF;
    if (mask == 0)
        mask = 0xFFF;
    if (mask == 0xFFF) {
        *pitch += direction * steps;
        return;
    }
    const int tonic = int(key % 12);
    const auto inScale = [mask, tonic](int p) {
        const int degree = (((p - 60 - tonic) % 12) + 12) % 12;
        return (mask & (1u << degree)) != 0;
    };
    if (steps == 0) {
        while (!inScale(*pitch))
            *pitch += direction;
        return;
    }
    for (int i = 0; i < steps; ++i) {
        *pitch += direction;
        while (!inScale(*pitch))
            *pitch += direction;
    }
}

quint64 VoiceGroup::directApplyDuration(const Batch& batch, QStringView entry, quint64 duration,
                                        uint firstEdgeId)
{
    double factor = 1.0;
    double unit = double(TicksPerPrincipal);
    bool edgeUnit = false;
    if (entry.endsWith(QLatin1Char('%'))) {
        entry.chop(1);
        factor = 0.01;
        if (firstEdgeId) {
            const ElementInfo& edge = directElementInfo(batch, firstEdgeId);
            if (edge.travels) {
                unit = double(edge.travel);
                edgeUnit = true;
            }
        }
    }
    const double d = double(duration);
    double result = d;
    const QChar first = entry.isEmpty() ? QChar() : entry.at(0);
    if (first == QLatin1Char('*')) {
        if (!edgeUnit)
            result = d * entry.mid(1).toDouble();
    } else if (first == QLatin1Char('/')) {
        if (!edgeUnit) {
            const double divisor = entry.mid(1).toDouble();
            result = divisor != 0.0 ? d / divisor : double(MaxDuration);
        }
    } else if (first == QLatin1Char('+') || first == QLatin1Char('-')) {
        result = d + std::round(unit * factor * entry.toDouble());
    } else {
        result = unit * factor * entry.toDouble();
    }
    if (!(result > 0.0)) // also NaN
        return 0;
    return quint64(std::llround(qMin(result, double(MaxDuration))));
}

QList<VoiceState> VoiceGroup::advanceNotesTree(const QmdIndex& treeNode, uint firstEdgeId,
                                               VoiceState s)
{
    if (!controller)
        return {};
    QList<VoiceState> notes;
    inBatch([&](Batch& batch) { notes = directAdvanceNotesTree(batch, treeNode, firstEdgeId, s); });
    return notes;
}

const VoiceGroup::TreeNodeInfo& VoiceGroup::directTreeNodeInfo(const QmdIndex& treeNode)
{
    const auto known = treeNodesRead.find(TreePlace {treeNode});
    if (known != treeNodesRead.end())
        return known->second;

    QmdKelvoController* c = controller;
    TreeNodeInfo info;
    if (treeNode != QmdIndex() && c->directIsValidIndex(treeNode)) {
        static const QStringList keys
            = {K::PitchList, K::VelocityList, K::DurationList, K::SignallingMethod};
        const QList<QVariant> values = c->directData(keys, treeNode);
        info.exists = true;
        const QString pitches = values.at(0).toString();
        const QString velocities = values.at(1).toString();
        const QString durations = values.at(2).toString();
        info.hasPitches = !pitches.isEmpty();
        info.hasVelocities = !velocities.isEmpty();
        info.hasDurations = !durations.isEmpty();
        for (QStringView part : qTokenize(pitches, u',', Qt::SkipEmptyParts)) {
            const QStringView entry = part.trimmed();
            PitchEntry pitch;
            pitch.given = !entry.isEmpty();
            if (entry.startsWith(QLatin1Char('-')) || entry.startsWith(QLatin1Char('+'))) {
                pitch.direction = entry.startsWith(QLatin1Char('+')) ? 1 : -1;
                pitch.steps = int(std::clamp<qint64>(entry.mid(1).toLongLong(), 0, MaxScaleSteps));
            } else if (pitch.given) {
                pitch.pitch = QmdKelvoController::parseNoteName(entry.toString());
            }
            info.pitches.push_back(pitch);
        }
        for (QStringView part : qTokenize(velocities, u',', Qt::SkipEmptyParts)) {
            const QStringView entry = part.trimmed();
            VelocityEntry velocity;
            velocity.given = !entry.isEmpty();
            velocity.value = entry.toLongLong();
            velocity.relative
                = entry.startsWith(QLatin1Char('+')) || entry.startsWith(QLatin1Char('-'));
            info.velocities.push_back(velocity);
        }
        for (QStringView part : qTokenize(durations, u',', Qt::SkipEmptyParts))
            info.durations.append(part.trimmed().toString());
        info.method = values.at(3).toInt();
        const QmdIndex children = c->directIndex(K::Children, treeNode);
        if (children != QmdIndex() && c->directIsValidIndex(children))
            info.children = c->directChildren(children);
    }
    return treeNodesRead.emplace(TreePlace {treeNode}, std::move(info)).first->second;
}

QList<VoiceState> VoiceGroup::directAdvanceNotesTree(Batch& batch, const QmdIndex& treeNode,
                                                     uint firstEdgeId, VoiceState s)
{
    QList<VoiceState> notes;
    const TreeNodeInfo& tree = directTreeNodeInfo(treeNode);
    if (!tree.exists)
        return notes;
    static const QStringList keys
        = {K::CurrentPitchId, K::CurrentVelocityId, K::CurrentDurationId, K::CurrentChildId};
    const QList<QVariant> positions = runTimeValues(batch, treeNode, keys);

    bool sounds = false;
    if (tree.hasPitches) {
        uint k = positions.at(0).toUInt();
        const PitchEntry* entry = entryAt(tree.pitches, &k);
        if (entry && entry->given) {
            int pitch = entry->pitch;
            if (entry->direction != 0) {
                pitch = s.pitch;
                advancePitch(&pitch, entry->steps, entry->direction, scaleKey, scaleDegreeMask);
            }
            s.pitch = quint8(qBound(0, pitch, 127));
        }
        setRunTimeValue(batch, treeNode, K::CurrentPitchId, k + 1);
        sounds = true;
    }
    if (tree.hasVelocities) {
        uint k = positions.at(1).toUInt();
        const VelocityEntry* entry = entryAt(tree.velocities, &k);
        if (entry && entry->given) {
            const qint64 value = entry->value;
            s.velocity
                = quint8(std::clamp<qint64>(entry->relative ? s.velocity + value : value, 0, 127));
        }
        setRunTimeValue(batch, treeNode, K::CurrentVelocityId, k + 1);
        sounds = true;
    }
    if (tree.hasDurations) {
        uint k = positions.at(2).toUInt();
        const QString* entry = entryAt(tree.durations, &k);
        if (entry && !entry->isEmpty())
            s.duration = directApplyDuration(batch, *entry, s.duration, firstEdgeId);
        setRunTimeValue(batch, treeNode, K::CurrentDurationId, k + 1);
        sounds = true;
    }
    if (sounds)
        notes.append(s);

    const int n = int(tree.children.size());
    if (n == 0)
        return notes;
    switch (tree.method) {
    case QmdKelvo::Sequential: {
        const int current = positions.at(3).toInt();
        const int i = current >= 0 && current < n ? current : 0;
        notes += directAdvanceNotesTree(batch, tree.children.at(i), firstEdgeId, s);
        setRunTimeValue(batch, treeNode, K::CurrentChildId, i + 1);
        break;
    }
    case QmdKelvo::Parallel:
        for (const QmdIndex& child : tree.children)
            notes += directAdvanceNotesTree(batch, child, firstEdgeId, s);
        break;
    case QmdKelvo::Random: {
        boost::random::uniform_int_distribution<int> draw(0, n - 1);
        notes
            += directAdvanceNotesTree(batch, tree.children.at(draw(randomEngine)), firstEdgeId, s);
        break;
    }
    default:
        break;
    }
    return notes;
}

void VoiceGroup::directSendUserMidiMessage(Batch& batch, const NodeInfo& node,
                                           const VoiceState& voice)
{
    static const QStringList keys = {K::HitCount, K::CurrentUserMidiMessageId};
    const QList<QVariant> values = runTimeValues(batch, node.state, keys);
    setRunTimeValue(batch, node.state, K::HitCount, values.at(0).toUInt() + 1);
    if (node.userMessages.isEmpty())
        return;
    uint k = values.at(1).toUInt();
    const QStringView entry = listEntry(node.userMessages, &k);
    if (!entry.isEmpty()) {
        Outgoing out;
        out.instrument = voice.instrumentId;
        out.first.kind = InstrumentMsg::Raw;
        out.first.time = voice.arrival;
        for (QStringView part : qTokenize(entry, u' ')) {
            bool ok = false;
            const qulonglong byte = part.toULongLong(&ok, 16);
            out.first.bytes.push_back((unsigned char)(ok ? byte & 0xFF : 0));
        }
        batch.outgoing.push_back(std::move(out));
    }
    setRunTimeValue(batch, node.state, K::CurrentUserMidiMessageId, k + 1);
}

void VoiceGroup::directSoundNotes(Batch& batch, const QList<VoiceState>& notes, quint32 nodeId,
                                  quint32 voiceId, const QmdIndex& nodeState)
{
    if (notes.isEmpty())
        return;
    QString text;
    for (const VoiceState& note : notes) {
        // The note-on and its note-off are queued together or not at all, so that no note
        // is left sounding.
        Outgoing out;
        out.kind = Outgoing::NotePair;
        out.instrument = note.instrumentId;
        out.first.kind = InstrumentMsg::NoteOn;
        out.first.time = note.arrival;
        out.first.data1 = quint8(qMin<int>(note.pitch, 127));
        out.first.data2 = note.scaledVelocity();
        out.second.kind = InstrumentMsg::NoteOff;
        out.second.time = note.arrival + note.duration;
        out.second.data1 = out.first.data1;
        batch.outgoing.push_back(std::move(out));
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += noteNames().at(qMin<int>(note.pitch, 127));
        text += QLatin1Char(':');
        text += QString::number(note.scaledVelocity());
        // The display ends the note with its note-off.
        batch.feedback.push_back(
            feedback(FeedbackMsg::NoteEnded, note.arrival + note.duration, voiceId, &note, nodeId));
    }
    if (nodeState != QmdIndex())
        setRunTimeValue(batch, nodeState, K::LastNotesSent, text);
}
