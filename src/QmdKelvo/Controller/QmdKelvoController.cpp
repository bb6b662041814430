#include "QmdKelvoController.h"

#include "QmdKelvoKeys.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>

// ---------------------------------------------------------------------------------------------
// Scale modes of the process

namespace {

struct BuiltInScaleModes
{
    QList<ScaleMode> list;
    QSet<ScaleMode> set;
};

const BuiltInScaleModes& builtInScaleModes()
{
    // Loaded once per process, thread-safely, and never changed afterwards.
    static const BuiltInScaleModes modes = [] {
        BuiltInScaleModes loaded;
        ScaleMode::builtInScaleModes(&loaded.list, &loaded.set,
                                     QmdKelvoController::chromaticScaleMode());
        return loaded;
    }();
    return modes;
}

} // namespace

const QList<ScaleMode>& QmdKelvoController::builtInScaleModeList()
{
    return builtInScaleModes().list;
}

const QSet<ScaleMode>& QmdKelvoController::builtInScaleModeSet()
{
    return builtInScaleModes().set;
}

const ScaleMode& QmdKelvoController::chromaticScaleMode()
{
    static const ScaleMode chromatic(
        QStringLiteral("Chromatic"),
        ScaleMode::parseDegreeSet(QStringLiteral("{0,1,2,3,4,5,6,7,8,9,10,11}")), -1);
    return chromatic;
}

QmdItemId QmdKelvoController::chromaticScaleModeId() const
{
    const ReadLocker locker(this);
    return m_chromaticScaleModeId;
}

// ---------------------------------------------------------------------------------------------
// Index helpers

QmdItemIdList QmdKelvoController::instruments() const
{
    const ReadLocker locker(this);
    const QmdIndex root = directIndex(QmdKelvoKeys::Instruments, QmdIndex());
    const QmdItemIdList ids = root.isValid() ? directIdList(root) : QmdItemIdList();
    return ids;
}

QmdIndex QmdKelvoController::instrumentIndex(QmdItemId id) const
{
    const ReadLocker locker(this);
    const QmdIndex root = directIndex(QmdKelvoKeys::Instruments, QmdIndex());
    const QmdIndex instrument = root.isValid() ? directIndex(id, root) : QmdIndex();
    return instrument;
}

QmdIndex QmdKelvoController::scaleModeIndex(QmdItemId id) const
{
    const ReadLocker locker(this);
    const QmdIndex root = directIndex(QmdKelvoKeys::ScaleModes, QmdIndex());
    const QmdIndex mode = root.isValid() ? directIndex(id, root) : QmdIndex();
    return mode;
}

QmdItemIdList QmdKelvoController::scaleModes() const
{
    const ReadLocker locker(this);
    const QmdIndex root = directIndex(QmdKelvoKeys::ScaleModes, QmdIndex());
    const QmdItemIdList ids = root.isValid() ? directIdList(root) : QmdItemIdList();
    return ids;
}

QmdIndex QmdKelvoController::elementStatesRoot() const
{
    const ReadLocker locker(this);
    const QmdIndex temp = directIndex(QmdKelvoKeys::Temp, QmdIndex());
    const QmdIndex root
        = temp.isValid() ? directIndex(QmdKelvoKeys::ElementStates, temp) : QmdIndex();
    return root;
}

QmdIndex QmdKelvoController::nodeNotesTreesRoot() const
{
    const ReadLocker locker(this);
    const QmdIndex temp = directIndex(QmdKelvoKeys::Temp, QmdIndex());
    const QmdIndex root
        = temp.isValid() ? directIndex(QmdKelvoKeys::NodeNotesTrees, temp) : QmdIndex();
    return root;
}

bool QmdKelvoController::isElementState(const QmdIndex& index) const
{
    const QmdIndex root = elementStatesRoot();
    return root.isValid() && parent(index) == root;
}

int QmdKelvoController::edgeMarker(QmdItemId nodeId, QmdItemId edgeId) const
{
    const ReadLocker locker(this);
    int marker = 0;
    const QmdIndex node = directIndex(nodeId, directElementsRoot());
    const QmdIndex arcs
        = node.isValid() ? directIndex(QmdKelvoKeys::ArcIdentifiers, node) : QmdIndex();
    const QmdIndex entry = arcs.isValid() ? directIndex(edgeId, arcs) : QmdIndex();
    if (entry.isValid())
        marker = directData(entry).toInt();
    return marker;
}

QmdIndex QmdKelvoController::directExistingElement(const QmdIndex& index) const
{
    const QmdIndex elements = directElementsRoot();
    if (!index.isValid() || !elements.isValid() || index.itemId() == 0)
        return QmdIndex();
    const QmdIndex element = directIndex(index.itemId(), elements);
    return element.isValid() && element == index ? element : QmdIndex();
}

// ---------------------------------------------------------------------------------------------
// Geometry

QmdKelvo::Ticks QmdKelvoController::edgeLength(QmdItemId edgeId, bool* ok) const
{
    if (ok)
        *ok = false;
    QmdIndex from;
    QmdIndex to;
    QmdKelvo::EdgePath path = QmdKelvo::CityBlock;
    {
        const ReadLocker locker(this);
        const QmdIndex elements = directElementsRoot();
        const QmdIndex edge = elements.isValid() ? directIndex(edgeId, elements) : QmdIndex();
        if (!edge.isValid())
            return 0;
        from = directIndex(directData(QmdKelvoKeys::FromNode, edge).toUInt(), elements);
        to = directIndex(directData(QmdKelvoKeys::ToNode, edge).toUInt(), elements);
        path = QmdKelvo::EdgePath(directData(QmdKelvoKeys::Path, edge).toInt());
    }
    return edgeLength(from, to, path, ok);
}

QmdKelvo::Ticks QmdKelvoController::edgeLength(const QmdIndex& fromNode, const QmdIndex& toNode,
                                               QmdKelvo::EdgePath path, bool* ok) const
{
    if (ok)
        *ok = false;
    const ReadLocker locker(this);
    if (!fromNode.isValid() || !toNode.isValid())
        return 0;
    auto position = [this](const QmdIndex& node) {
        const QVariant value = directData(QmdKelvoKeys::TickPos, node);
        return value.canConvert<QmdKelvo::TickPoint>() ? value.value<QmdKelvo::TickPoint>()
                                                       : QmdKelvo::TickPoint();
    };
    const QmdKelvo::Ticks length = pathLength(position(fromNode), position(toNode), path);
    if (ok)
        *ok = true;
    return length;
}

QmdKelvo::Ticks QmdKelvoController::pathLength(QmdKelvo::TickPoint from, QmdKelvo::TickPoint to,
                                               QmdKelvo::EdgePath path)
{
    // In extended precision: grid positions may be far apart.
    const long double dx = (long double)to.x - (long double)from.x;
    const long double dy = (long double)to.y - (long double)from.y;
    long double length = 0;
    switch (path) {
    case QmdKelvo::CityBlock:
    case QmdKelvo::CityBlockFlipped:
        length = std::fabs(dx) + std::fabs(dy);
        break;
    case QmdKelvo::Direct:
        length = std::round(std::sqrt(dx * dx + dy * dy));
        break;
    default:
        return 0;
    }
    const long double limit = (long double)std::numeric_limits<QmdKelvo::Ticks>::max();
    return length >= limit ? std::numeric_limits<QmdKelvo::Ticks>::max() : QmdKelvo::Ticks(length);
}

// ---------------------------------------------------------------------------------------------
// Note names

QString QmdKelvoController::noteLetterName(uchar pitch)
{
    static const char* const names[12]
        = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    return QLatin1String(names[pitch % 12]);
}

int QmdKelvoController::noteOctave(uchar pitch)
{
    return pitch / 12 - 2;
}

QString QmdKelvoController::noteName(uchar pitch)
{
    return QStringLiteral("%1%2").arg(noteLetterName(pitch)).arg(noteOctave(pitch));
}

uchar QmdKelvoController::pitchFromNoteName(const QString& letters, int octave)
{
    if (letters.isEmpty())
        return 0;
    int semitone = 0;
    switch (letters.at(0).toUpper().unicode()) {
    case 'A':
        semitone = 9;
        break;
    case 'B':
        semitone = 11;
        break;
    case 'C':
        semitone = 0;
        break;
    case 'D':
        semitone = 2;
        break;
    case 'E':
        semitone = 4;
        break;
    case 'F':
        semitone = 5;
        break;
    case 'G':
        semitone = 7;
        break;
    default:
        break;
    }
    if (letters.size() > 1 && letters.at(1) == QLatin1Char('#'))
        semitone += 1;
    // A name beyond the MIDI range gives its nearest end.
    const qint64 pitch = qint64(octave) * 12 + semitone + 24;
    return uchar(std::clamp<qint64>(pitch, 0, 127));
}

uchar QmdKelvoController::parseNoteName(const QString& name)
{
    static const QRegularExpression octaveStart(QStringLiteral("-|[0-8]"));
    const QRegularExpressionMatch match = octaveStart.match(name);
    if (!match.hasMatch() || match.capturedStart() == 0)
        return 0;
    const qsizetype at = match.capturedStart();
    bool ok = false;
    const short octave = name.mid(at).toShort(&ok, 10);
    return pitchFromNoteName(name.left(at), ok ? octave : 0);
}
