// Copy and paste of QmdKelvoController: elements go to the clipboard as a small property list
// and come back as new elements with their references rewritten to the new ids.
//
// The clipboard is input from any program: a paste reads it before its request, checks what
// it read in a model of its own and refuses content that does not parse or does not have the
// shape of a network's elements. Only then does it open one request, so that a paste is one
// undo step.

#include "QmdKelvoController.h"

#include "QmdKelvoFile.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <cmath>

namespace K = QmdKelvoKeys;

namespace {

constexpr qint64 TicksPerPrincipal = 665280;

QClipboard* clipboard()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance())
        ? QGuiApplication::clipboard()
        : nullptr;
}

// Whether every child of a container is a plain value.
bool onlyValues(const QmdModel& model, const QmdIndex& container)
{
    for (const QmdIndex& child : model.children(container)) {
        if (model.type(child) != Qmd::NoContainer)
            return false;
    }
    return true;
}

// Whether an element read from the clipboard has the shape of a document's element: a string
// dictionary of a known type whose position, when it has one, is a tick point, and whose only
// containers are those its type keeps: a node's "ArcIdentifiers" (ids to markers) and an edge's
// "ContinuousControllers" (curves of plain values). Such a key holds that container or is
// absent; a plain value in its place would leave later requests on the element without effect.
bool isPastableElement(const QmdModel& model, const QmdIndex& element)
{
    if (model.type(element) != Qmd::StrDict)
        return false;
    const QVariant type = model.data(model.index(K::Type, element));
    bool ok = false;
    const int elementType = type.toInt(&ok);
    if (!ok || elementType < QmdKelvo::EdgeElement || elementType > QmdKelvo::VoiceGroupElement)
        return false;
    const QmdIndex pos = model.index(K::TickPos, element);
    if (pos.isValid() && model.data(pos).metaType() != QMetaType::fromType<QmdKelvo::TickPoint>())
        return false;
    for (const QmdIndex& child : model.children(element)) {
        const Qmd::ContainerType childType = model.type(child);
        const Qmd::ContainerType needed
            = QmdKelvoController::elementContainerType(elementType, child.key());
        if (childType != needed)
            return false;
        if (child.key() == K::ArcIdentifiers && !onlyValues(model, child))
            return false;
        if (child.key() == K::ContinuousControllers) {
            for (const QmdIndex& curve : model.children(child)) {
                if (model.type(curve) != Qmd::StrDict || !onlyValues(model, curve))
                    return false;
            }
        }
    }
    return true;
}

// An unsigned id stored as a number; 0 when the value is none.
QmdItemId idValue(const QVariant& value)
{
    bool ok = false;
    const qulonglong id = value.toULongLong(&ok);
    return ok && id <= 0xFFFFFFFFULL ? QmdItemId(id) : 0;
}

} // namespace

bool QmdKelvoController::canPaste()
{
    const QClipboard* board = clipboard();
    const QMimeData* mime = board ? board->mimeData(QClipboard::Clipboard) : nullptr;
    return mime && mime->formats().contains(K::ElementsMimeType);
}

QmdRequestId QmdKelvoController::requestCopy(const QmdItemIdSet& elements)
{
    if (!model())
        return 0;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const QmdRequestId rid = registerNewRequestId();
    beginRequest(rid, Qmd::NotUndoable, tr("Copy"));
    const QmdIndex root = directElementsRoot();
    QmdIndexList list;
    for (QmdItemId id : elements) {
        const QmdIndex element = directIndex(id, root);
        if (element.isValid())
            list.append(element);
    }
    QmdKelvoExporter exporter(model(), &buffer);
    exporter.writeDocumentStart();
    exporter.writeIntDict(list);
    exporter.writeDocumentEnd();
    endRequest(rid);
    if (QClipboard* board = clipboard()) {
        auto* mime = new QMimeData;
        mime->setData(K::ElementsMimeType, buffer.data());
        board->setMimeData(mime, QClipboard::Clipboard);
    }
    return rid;
}

void QmdKelvoController::copyItemTree(const QmdIndex& source, const QmdIndex& target)
{
    const QmdModel* from = source.model();
    if (!from)
        return;
    switch (from->type(source)) {
    case Qmd::NoContainer:
        directSetData(target, from->data(source));
        break;
    case Qmd::StrDict: {
        QHash<QString, QVariant> values;
        for (const QmdIndex& child : from->children(source)) {
            const Qmd::ContainerType type = from->type(child);
            if (type == Qmd::NoContainer) {
                values.insert(child.key(), from->data(child));
            } else {
                directSetType(child.key(), type, target);
                copyItemTree(child, directIndex(child.key(), target));
            }
        }
        if (!values.isEmpty())
            directSetData(values, target);
        break;
    }
    case Qmd::IntDict: {
        QHash<QmdItemId, QVariant> values;
        for (const QmdIndex& child : from->children(source)) {
            const Qmd::ContainerType type = from->type(child);
            if (type == Qmd::NoContainer) {
                values.insert(child.itemId(), from->data(child));
            } else {
                const QmdItemId id = directAddType(type, target);
                copyItemTree(child, directIndex(id, target));
            }
        }
        if (!values.isEmpty())
            directSetData(values, target);
        break;
    }
    }
}

QmdRequestId QmdKelvoController::requestPaste(QmdKelvo::TickPoint center)
{
    if (!model())
        return 0;
    // The clipboard first, before the model lock is taken.
    QByteArray bytes;
    if (const QClipboard* board = clipboard()) {
        const QMimeData* mime = board->mimeData(QClipboard::Clipboard);
        if (mime && mime->formats().contains(K::ElementsMimeType))
            bytes = mime->data(K::ElementsMimeType);
    }

    // Read and check the elements in a model of the paste's own, which keeps no history.
    QmdMemModel temp;
    temp.beginRequest(0xFFFFFFFF, Qmd::NotUndoable, QString());
    temp.setRootType(Qmd::StrDict);
    temp.setTypes(QHash<QString, Qmd::ContainerType> {{K::Elements, Qmd::IntDict}}, QmdIndex());
    const QmdIndex tempElements = temp.index(K::Elements, QmdIndex());
    bool readable = false;
    if (!bytes.isEmpty()) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QmdKelvoImporter importer(&temp, &buffer);
        readable = importer.readDocument(tempElements)
            && temp.type(temp.index(K::Elements, QmdIndex())) == Qmd::IntDict;
    }

    QmdIndexList pastable;
    bool placed = false;
    if (readable) {
        QSet<QmdItemId> copied;
        QSet<QmdItemId> copiedNodes;
        for (const QmdIndex& element : temp.children(tempElements)) {
            if (!isPastableElement(temp, element))
                continue;
            copied.insert(element.itemId());
            if (temp.data(temp.index(K::Type, element)).toInt() == QmdKelvo::NodeElement)
                copiedNodes.insert(element.itemId());
        }
        // Edges need both of their nodes, voice groups their start node.
        qint64 minX = 0, maxX = 0, minY = 0, maxY = 0;
        bool anyPosition = false;
        QmdIndex anchor;
        for (const QmdIndex& element : temp.children(tempElements)) {
            if (!copied.contains(element.itemId()))
                continue;
            const QmdIndex to = temp.index(K::ToNode, element);
            const QmdIndex from = temp.index(K::FromNode, element);
            if ((to.isValid() && !copiedNodes.contains(idValue(temp.data(to))))
                || (from.isValid() && !copiedNodes.contains(idValue(temp.data(from)))))
                continue;
            pastable.append(element);
            const QmdIndex pos = temp.index(K::TickPos, element);
            if (!pos.isValid())
                continue;
            const auto p = temp.data(pos).value<QmdKelvo::TickPoint>();
            minX = anyPosition ? qMin(minX, p.x) : p.x;
            maxX = anyPosition ? qMax(maxX, p.x) : p.x;
            minY = anyPosition ? qMin(minY, p.y) : p.y;
            maxY = anyPosition ? qMax(maxY, p.y) : p.y;
            anyPosition = true;
            if (!anchor.isValid()
                && temp.data(temp.index(K::Type, element)).toInt() == QmdKelvo::NodeElement)
                anchor = pos;
        }

        // The offset that centres the elements on center, with a node on the grid; every
        // step checked, since positions from the clipboard may be anywhere.
        const qint64 divs = qMax(1u, directData(K::DivsPerPrincipal, QmdIndex()).toUInt());
        const qint64 unit = qMax<qint64>(1, TicksPerPrincipal / divs);
        auto offset = [&](qint64 centre, qint64 low, qint64 high, qint64 anchorValue,
                          qint64* result) {
            qint64 span, d;
            if (__builtin_sub_overflow(high, low, &span) || __builtin_sub_overflow(centre, low, &d)
                || __builtin_sub_overflow(d, span / 2, &d))
                return false;
            if (anchor.isValid()) {
                qint64 target, snapped;
                if (__builtin_add_overflow(anchorValue, d, &target))
                    return false;
                const long double n
                    = std::round(static_cast<long double>(target) / static_cast<long double>(unit));
                if (std::fabs(n) > 9.0e18L || __builtin_mul_overflow(qint64(n), unit, &snapped)
                    || __builtin_sub_overflow(snapped, anchorValue, &d))
                    return false;
            }
            *result = d;
            return true;
        };
        const auto anchorPos = anchor.isValid() ? temp.data(anchor).value<QmdKelvo::TickPoint>()
                                                : QmdKelvo::TickPoint {0, 0};
        qint64 dx = 0, dy = 0;
        placed = offset(center.x, minX, maxX, anchorPos.x, &dx)
            && offset(center.y, minY, maxY, anchorPos.y, &dy);
        QHash<QmdIndex, QVariant> moved;
        for (const QmdIndex& element : std::as_const(pastable)) {
            const QmdIndex pos = temp.index(K::TickPos, element);
            if (!placed || !pos.isValid())
                continue;
            auto p = temp.data(pos).value<QmdKelvo::TickPoint>();
            placed
                = !__builtin_add_overflow(p.x, dx, &p.x) && !__builtin_add_overflow(p.y, dy, &p.y);
            moved.insert(pos, QVariant::fromValue(p));
        }
        if (placed && !moved.isEmpty())
            temp.setData(moved);
    }
    temp.endRequest();
    if (!placed)
        pastable.clear();

    const QmdRequestId rid = registerNewRequestId();
    beginRequest(rid, Qmd::NoRequestFlags, tr("Paste"));
    const QmdIndex elements = directElementsRoot();
    QHash<QmdItemId, QmdItemId> newIds;
    QList<QmdItemId> order;
    for (const QmdIndex& element : std::as_const(pastable)) {
        const QmdItemId newId = directAddType(Qmd::StrDict, elements);
        if (newId == 0)
            continue;
        newIds.insert(element.itemId(), newId);
        order.append(newId);
        copyItemTree(element, directIndex(newId, elements));
    }
    auto newIdOf = [&](const QVariant& value) { return newIds.value(idValue(value), 0); };

    // Edges first: one that lacks an end is not pasted, and no node keeps a reference to it.
    QmdItemIdList gone;
    for (auto it = newIds.begin(); it != newIds.end();) {
        const QmdIndex element = directIndex(it.value(), elements);
        if (directData(K::Type, element).toInt() != QmdKelvo::EdgeElement) {
            ++it;
            continue;
        }
        const QmdItemId from = newIdOf(directData(K::FromNode, element));
        const QmdItemId to = newIdOf(directData(K::ToNode, element));
        if (from == 0 || to == 0) {
            gone.append(it.value());
            order.removeOne(it.value());
            it = newIds.erase(it);
            continue;
        }
        directSetData(K::ToNode, uint(to), element);
        directSetData(K::FromNode, uint(from), element);
        ++it;
    }
    QmdItemIdSet nodes;
    for (QmdItemId id : std::as_const(order)) {
        const QmdIndex element = directIndex(id, elements);
        switch (directData(K::Type, element).toInt()) {
        case QmdKelvo::EdgeElement:
            addElementState(id);
            break;
        case QmdKelvo::NodeElement: {
            addElementState(id);
            if (directIndex(K::Notes, element).isValid())
                nodes.insert(id);
            const QmdIndex arcs = directIndex(K::ArcIdentifiers, element);
            if (arcs.isValid()) {
                QHash<QmdItemId, QVariant> markers;
                for (const QmdIndex& arc : directChildren(arcs)) {
                    if (const QmdItemId edge = newIds.value(arc.itemId(), 0))
                        markers.insert(edge, directData(arc).toUInt());
                }
                directClear(arcs);
                if (!markers.isEmpty())
                    directSetData(markers, arcs);
            }
            const QmdIndex usage = directIndex(K::ArcUsageList, element);
            if (usage.isValid()) {
                QStringList kept;
                const QStringList entries
                    = directData(usage).toString().split(u',', Qt::SkipEmptyParts);
                for (const QString& entry : entries) {
                    const QmdItemId edge = newIds.value(idValue(entry.section(u'=', 0, 0)), 0);
                    if (edge != 0)
                        kept.append(
                            QStringLiteral("%1=%2").arg(edge).arg(entry.section(u'=', -1, -1)));
                }
                directSetData(usage, kept.join(u','));
            }
            break;
        }
        case QmdKelvo::VoiceGroupElement: {
            const QmdItemId to = newIdOf(directData(K::ToNode, element));
            if (to == 0)
                gone.append(id);
            else
                directSetData(K::ToNode, uint(to), element);
            break;
        }
        default:
            break;
        }
    }
    if (!gone.isEmpty())
        directRemove(gone, elements);
    endRequest(rid);

    if (!nodes.isEmpty()) {
        beginRequest(rid, Qmd::NotUndoable, tr("Rebuild notes trees of pasted nodes"));
        for (QmdItemId node : std::as_const(nodes)) {
            removeNodeNotesTree(node);
            buildNodeNotesTree(node);
        }
        endRequest(rid);
        pastedNotesTrees.insert(rid, nodes);
    }
    return rid;
}

bool QmdKelvoController::takePastedNotesTree(QmdItemId nodeId, QmdRequestId rid)
{
    const auto it = pastedNotesTrees.find(rid);
    if (it == pastedNotesTrees.end() || !it->remove(nodeId))
        return false;
    if (it->isEmpty())
        pastedNotesTrees.erase(it);
    return true;
}
