// VoiceGroup: the scale in force, walking a node's notes tree, and what sounds at a node.

#include "VoiceGroup.h"

#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"

#include <boost/random/uniform_int_distribution.hpp>

#include <algorithm>
#include <cmath>

namespace K = QmdKelvoKeys;

namespace {

constexpr quint64 TicksPerPrincipal = 665280;

// The entry of a list text at position *k (empty sections skipped); when there is none, the
// first entry and *k = 0.
QString listEntry(const QString& text, uint* k)
{
    const QStringList entries = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (*k < uint(entries.size()))
        return entries.at(*k);
    *k = 0;
    return entries.value(0);
}

QmdRequestOptions runTimeRequest()
{
    return QmdRequestOptions(Qmd::NotUndoable, QString());
}

// Whether `index` addresses an existing item; a failed lookup gives the root's index.
bool exists(const QmdKelvoController* c, const QmdIndex& index)
{
    return index != QmdIndex() && c->directIsValidIndex(index);
}

} // namespace

void VoiceGroup::readScale()
{
    QmdKelvoController* c = controller;
    if (!c)
        return;
    const quint32 group = elementId;
    struct Scale
    {
        uint key = 0;
        uint mask = 0;
    };
    const Scale scale = c->lockedRead([c, group] {
        Scale s;
        const QmdIndex elements = c->directElementsRoot();
        const QmdIndex element = elements.isValid() ? c->directIndex(group, elements) : QmdIndex();
        const bool useGroup = exists(c, element) && c->directData(K::UseScale, element).toBool();
        const QmdIndex source = useGroup ? element : QmdIndex();
        s.key = c->directData(K::ScaleKey, source).toUInt();
        const QmdItemId modeId = c->directData(K::ScaleMode, source).toUInt();
        const QmdIndex modes = c->directIndex(K::ScaleModes, QmdIndex());
        const QmdIndex mode
            = exists(c, modes) && modeId ? c->directIndex(modeId, modes) : QmdIndex();
        if (exists(c, mode))
            s.mask = uint(c->directData(K::ChromaticScaleDegreeSet, mode).toLongLong());
        return s;
    });
    scaleKey = scale.key;
    scaleDegreeMask = scale.mask;
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

quint64 VoiceGroup::applyDuration(const QString& text, quint64 duration, uint firstEdgeId) const
{
    QString entry = text;
    double factor = 1.0;
    double unit = double(TicksPerPrincipal);
    bool edgeUnit = false;
    if (entry.endsWith(QLatin1Char('%'))) {
        entry.chop(1);
        factor = 0.01;
        bool ok = false;
        const quint64 travel = firstEdgeId ? elementTravelTicks(firstEdgeId, &ok) : 0;
        if (firstEdgeId && ok) {
            unit = double(travel);
            edgeUnit = true;
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
    QList<VoiceState> notes;
    QmdKelvoController* c = controller;
    if (!c)
        return notes;
    struct Lists
    {
        bool valid = false;
        QString pitch, velocity, duration;
        uint pitchAt = 0, velocityAt = 0, durationAt = 0;
        int method = 0;
        QmdIndexList children;
        int currentChild = 0;
    };
    const Lists lists = c->lockedRead([c, &treeNode] {
        Lists l;
        if (!exists(c, treeNode))
            return l;
        l.valid = true;
        l.pitch = c->directData(K::PitchList, treeNode).toString();
        l.velocity = c->directData(K::VelocityList, treeNode).toString();
        l.duration = c->directData(K::DurationList, treeNode).toString();
        l.pitchAt = c->directData(K::CurrentPitchId, treeNode).toUInt();
        l.velocityAt = c->directData(K::CurrentVelocityId, treeNode).toUInt();
        l.durationAt = c->directData(K::CurrentDurationId, treeNode).toUInt();
        l.method = c->directData(K::SignallingMethod, treeNode).toInt();
        l.currentChild = c->directData(K::CurrentChildId, treeNode).toInt();
        const QmdIndex children = c->directIndex(K::Children, treeNode);
        if (exists(c, children))
            l.children = c->directChildren(children);
        return l;
    });
    if (!lists.valid)
        return notes;

    QHash<QString, QVariant> positions;
    if (!lists.pitch.isEmpty()) {
        uint k = lists.pitchAt;
        const QString entry = listEntry(lists.pitch, &k).trimmed();
        if (!entry.isEmpty()) {
            int pitch = s.pitch;
            if (entry.startsWith(QLatin1Char('-')) || entry.startsWith(QLatin1Char('+'))) {
                const qint64 steps = entry.mid(1).toLongLong();
                advancePitch(&pitch, int(std::clamp<qint64>(steps, 0, MaxScaleSteps)),
                             entry.startsWith(QLatin1Char('+')) ? 1 : -1, scaleKey,
                             scaleDegreeMask);
            } else {
                pitch = QmdKelvoController::parseNoteName(entry);
            }
            s.pitch = quint8(qBound(0, pitch, 127));
        }
        positions.insert(K::CurrentPitchId, k + 1);
    }
    if (!lists.velocity.isEmpty()) {
        uint k = lists.velocityAt;
        const QString entry = listEntry(lists.velocity, &k).trimmed();
        if (!entry.isEmpty()) {
            const qint64 value = entry.toLongLong();
            const bool relative
                = entry.startsWith(QLatin1Char('+')) || entry.startsWith(QLatin1Char('-'));
            s.velocity = quint8(std::clamp<qint64>(relative ? s.velocity + value : value, 0, 127));
        }
        positions.insert(K::CurrentVelocityId, k + 1);
    }
    if (!lists.duration.isEmpty()) {
        uint k = lists.durationAt;
        const QString entry = listEntry(lists.duration, &k).trimmed();
        if (!entry.isEmpty())
            s.duration = applyDuration(entry, s.duration, firstEdgeId);
        positions.insert(K::CurrentDurationId, k + 1);
    }
    if (!positions.isEmpty()) {
        c->lockedRead([c, &treeNode, &positions] {
            if (exists(c, treeNode))
                c->requestSetData(positions, treeNode, runTimeRequest());
        });
        notes.append(s);
    }

    const int n = int(lists.children.size());
    if (n > 0) {
        switch (lists.method) {
        case QmdKelvo::Sequential: {
            const int i
                = lists.currentChild >= 0 && lists.currentChild < n ? lists.currentChild : 0;
            notes += advanceNotesTree(lists.children.at(i), firstEdgeId, s);
            c->lockedRead([c, &treeNode, i] {
                if (exists(c, treeNode))
                    c->requestSetData(K::CurrentChildId, i + 1, treeNode, runTimeRequest());
            });
            break;
        }
        case QmdKelvo::Parallel:
            for (const QmdIndex& child : lists.children)
                notes += advanceNotesTree(child, firstEdgeId, s);
            break;
        case QmdKelvo::Random: {
            boost::random::uniform_int_distribution<int> draw(0, n - 1);
            notes += advanceNotesTree(lists.children.at(draw(randomEngine)), firstEdgeId, s);
            break;
        }
        default:
            break;
        }
    }
    return notes;
}

void VoiceGroup::sendUserMidiMessage(const QmdIndex& state, const VoiceState& voice)
{
    QmdKelvoController* c = controller;
    struct Node
    {
        bool valid = false;
        QString list;
        uint index = 0;
        uint hits = 0;
    };
    const Node node = c->lockedRead([c, &state] {
        Node n;
        if (!exists(c, state))
            return n;
        n.valid = true;
        const QmdIndex nodeIndex = c->directIndex(state.itemId(), c->directElementsRoot());
        if (exists(c, nodeIndex))
            n.list = c->directData(K::UserMidiMessageList, nodeIndex).toString();
        n.index = c->directData(K::CurrentUserMidiMessageId, state).toUInt();
        n.hits = c->directData(K::HitCount, state).toUInt();
        return n;
    });
    if (!node.valid)
        return;
    QHash<QString, QVariant> values {{K::HitCount, node.hits + 1}};
    if (!node.list.isEmpty()) {
        uint k = node.index;
        const QString entry = listEntry(node.list, &k);
        if (!entry.isEmpty()) {
            InstrumentMsg msg;
            msg.kind = InstrumentMsg::Raw;
            msg.time = voice.arrival;
            msg.source = elementId;
            for (const QString& part : entry.split(QLatin1Char(' '))) {
                bool ok = false;
                const qulonglong byte = part.toULongLong(&ok, 16);
                msg.bytes.push_back((unsigned char)(ok ? byte & 0xFF : 0));
            }
            c->tryWriteToInstrument(voice.instrumentId, msg);
        }
        values.insert(K::CurrentUserMidiMessageId, k + 1);
    }
    c->lockedRead([c, &state, &values] {
        if (exists(c, state))
            c->requestSetData(values, state, runTimeRequest());
    });
}

void VoiceGroup::soundNotes(const QList<VoiceState>& notes, quint32 nodeId, quint32 voiceId,
                            const QmdIndex* nodeState)
{
    QmdKelvoController* c = controller;
    if (notes.isEmpty() || !c)
        return;
    QString text;
    for (const VoiceState& note : notes) {
        // The note-on and its note-off are queued together or not at all, so that no note
        // is left sounding.
        InstrumentMsg on;
        on.kind = InstrumentMsg::NoteOn;
        on.time = note.arrival;
        on.data1 = quint8(qMin<int>(note.pitch, 127));
        on.data2 = note.scaledVelocity();
        on.source = elementId;
        InstrumentMsg off;
        off.kind = InstrumentMsg::NoteOff;
        off.time = note.arrival + note.duration;
        off.data1 = on.data1;
        off.source = elementId;
        c->tryWriteToInstrument(note.instrumentId, on, off);
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += QStringLiteral("%1:%2")
                    .arg(QmdKelvoController::noteName(note.pitch))
                    .arg(note.scaledVelocity());
        noteOffs.append({note, nodeId, voiceId});
    }
    if (nodeState) {
        const QmdIndex state = *nodeState;
        c->lockedRead([c, &state, &text] {
            if (exists(c, state))
                c->requestSetData(K::LastNotesSent, text, state, runTimeRequest());
        });
    }
}
