// Change and removal handling of QmdKelvoController: threads, notes trees and edge records
// kept in step with the document, the clean-up after removed elements and instruments, the
// instrument of a node's instrument change, and instruments and scale modes announced in the
// document's terms.
//
// The handlers run on the controller's thread after the request that made the change. The
// clean-up and the instrument run as further requests under the changing request's id, so
// that their undoable part joins that change's undo step; during undo and redo the history
// replays that part and only the run-time part is redone here.

#include "QmdKelvoController.h"

#include "QmdKelvoKeys.h"

namespace K = QmdKelvoKeys;

void QmdKelvoController::receivedItemsChanged(const QmdIndex& parent, const QmdItemIdList& idList,
                                              QmdRequestId rid)
{
    const bool undoRedo = unfinishedUndoRedoRequests().contains(rid);
    if (parent == elementsRoot()) {
        createVoiceGroups(idList);
        for (QmdItemId id : idList) {
            switch (elementType(id)) {
            case QmdKelvo::NodeElement:
                // Nodes added by a request get their tree from it; nodes that an undo or redo
                // brings back get it here.
                if (undoRedo)
                    requestRebuildNotesTree(id);
                break;
            case QmdKelvo::EdgeElement: {
                const WriteLocker locker(this);
                const QmdItemId from = directElementData(id, K::FromNode).toUInt();
                const QmdIndex elements = directElementsRoot();
                if (from != 0 && elements.isValid() && directIndex(from, elements).isValid())
                    edgeFromNodes.insert(id, from);
                break;
            }
            default:
                break;
            }
        }
    } else if (parent == index(K::Instruments, QmdIndex())) {
        createInstruments(idList);
        emit instrumentsAdded(idList, rid);
    } else if (parent == index(K::ScaleModes, QmdIndex())) {
        emit scaleModesAdded(idList, rid);
    }
    QmdSyncronizedController<QmdElementDocController>::receivedItemsChanged(parent, idList, rid);
}

void QmdKelvoController::receivedItemsChanged(const QmdIndex& parent, const QStringList& keys,
                                              QmdRequestId rid)
{
    QmdSyncronizedController<QmdElementDocController>::receivedItemsChanged(parent, keys, rid);
    // The reset makes the clock itself once its request has ended; the default "SyncType" it
    // wrote comes back here afterwards and must not replace that clock a second time.
    if (parent == QmdIndex() && keys.contains(K::SyncType) && rid != resetRequestId)
        recreateSync();
    handleItemDataEffected(parent, keys, rid);
}

void QmdKelvoController::receivedItemsRemoved(const QmdIndex& parent, const QStringList& keys,
                                              QmdRequestId rid)
{
    QmdSyncronizedController<QmdElementDocController>::receivedItemsRemoved(parent, keys, rid);
    handleItemDataEffected(parent, keys, rid);
}

void QmdKelvoController::handleItemDataEffected(const QmdIndex& item, const QStringList& keys,
                                                QmdRequestId rid)
{
    if (item == QmdIndex())
        return;
    const QString containerKey = parent(item).key();
    if (containerKey == K::Elements) {
        const bool node = data(K::Type, item).toInt() == QmdKelvo::NodeElement;
        if (node && keys.contains(K::Notes) && !takePastedNotesTree(item.itemId(), rid))
            requestRebuildNotesTree(item.itemId());
        if (node && keys.contains(K::DoInstrumentChange)
            && !unfinishedUndoRedoRequests().contains(rid))
            completeInstrumentChange(item.itemId(), rid);
    } else if (containerKey == K::Instruments) {
        emit instrumentDataEffected(item.itemId(), keys, rid);
    } else if (containerKey == K::ScaleModes) {
        emit scaleModeDataEffected(item.itemId(), keys, rid);
    }
}

void QmdKelvoController::receivedItemsRemoved(const QmdIndex& parent, const QmdItemIdList& idList,
                                              QmdRequestId rid)
{
    const bool undoRedo = unfinishedUndoRedoRequests().contains(rid);
    QmdSyncronizedController<QmdElementDocController>::receivedItemsRemoved(parent, idList, rid);

    if (parent == elementsRoot()) {
        if (!undoRedo)
            removeElementStates(idList, rid);

        // Notes trees and voice-group threads, also during undo and redo.
        beginRequest(rid, Qmd::NotUndoable, tr("Remove notes tree and voice groups"));
        for (QmdItemId id : idList)
            removeNodeNotesTree(id);
        QList<VoiceGroupHandle> groups = takeVoiceGroups(idList);
        endRequest(rid);
        const bool hadGroups = !groups.isEmpty();
        stopVoiceGroups(std::move(groups));
        if (hadGroups)
            dropQueuedNotes(idList);

        if (undoRedo) {
            // The history restores or removes the references itself.
            const WriteLocker locker(this);
            for (QmdItemId id : idList)
                edgeFromNodes.remove(id);
        } else {
            removeRefsToEdges(idList, rid);
        }
    } else if (parent == index(K::Instruments, QmdIndex())) {
        removeRefsToInstruments(idList, rid, undoRedo);
    } else if (parent == index(K::ScaleModes, QmdIndex())) {
        emit scaleModesRemoved(idList, rid);
    }
}

void QmdKelvoController::removeElementStates(const QmdItemIdList& idList, QmdRequestId rid)
{
    beginRequest(rid, Qmd::NoRequestFlags, tr("Remove Element States"));
    if (elementStatesRootIndex.isValid()) {
        for (QmdItemId id : idList) {
            const QmdIndex state = directIndex(id, elementStatesRootIndex);
            if (state.isValid())
                directRemove(QmdIndexList {state});
        }
    }
    endRequest(rid);
}

void QmdKelvoController::removeRefsToEdges(const QmdItemIdList& idList, QmdRequestId rid)
{
    beginRequest(rid, Qmd::NoRequestFlags, tr("Remove Refs To Edges"));
    const QmdIndex elements = directElementsRoot();

    // The from-nodes of removed edges forget them.
    for (QmdItemId edgeId : idList) {
        const auto from = edgeFromNodes.constFind(edgeId);
        if (from == edgeFromNodes.cend())
            continue;
        const QmdIndex node = elements.isValid() ? directIndex(*from, elements) : QmdIndex();
        if (node.isValid()) {
            const QmdIndex arcs = directIndex(K::ArcIdentifiers, node);
            if (directIsContainer(arcs, Qmd::IntDict))
                directRemove(edgeId, arcs);
            QStringList entries = directData(K::ArcUsageList, node)
                                      .toString()
                                      .split(QLatin1Char(','), Qt::KeepEmptyParts);
            entries.removeIf([edgeId](const QString& entry) {
                return QmdKelvo::arcUsageEdgeId(entry) == edgeId;
            });
            directSetData(K::ArcUsageList, entries.join(QLatin1Char(',')), node);
        }
        edgeFromNodes.remove(edgeId);
    }

    // Edges and voice groups left hanging on removed nodes go in the same step. Their removal
    // comes back here under the same id, and is cleaned up in turn.
    if (elements.isValid()) {
        const QSet<QmdItemId> removed(idList.cbegin(), idList.cend());
        QmdItemIdList dependents;
        for (QmdItemId id : directIdList(elements)) {
            const uint type = directElementData(id, K::Type).toUInt();
            const bool toRemoved = removed.contains(directElementData(id, K::ToNode).toUInt());
            if ((type == QmdKelvo::EdgeElement
                 && (toRemoved || removed.contains(directElementData(id, K::FromNode).toUInt())))
                || (type == QmdKelvo::VoiceGroupElement && toRemoved))
                dependents.append(id);
        }
        if (!dependents.isEmpty())
            directRemove(dependents, elements);
    }
    endRequest(rid);
}

void QmdKelvoController::completeInstrumentChange(QmdItemId node, QmdRequestId rid)
{
    QmdItemIdList instrumentIds;
    {
        const ReadLocker locker(this);
        const QmdIndex instruments = directIndex(K::Instruments, QmdIndex());
        if (instruments.isValid())
            instrumentIds = directIdList(instruments);
        if (!directLacksChangedInstrument(node, instrumentIds))
            return;
    }
    beginRequest(rid, Qmd::NoRequestFlags, tr("Instrument Change"));
    directCompleteInstrumentChange(node, instrumentIds);
    endRequest(rid);
}

bool QmdKelvoController::directLacksChangedInstrument(QmdItemId node,
                                                      const QmdItemIdList& instruments) const
{
    return directElementData(node, K::DoInstrumentChange).toBool()
        && !instruments.contains(directElementData(node, K::Instrument).toUInt());
}

void QmdKelvoController::directCompleteInstrumentChange(QmdItemId node,
                                                        const QmdItemIdList& instruments)
{
    if (!directLacksChangedInstrument(node, instruments))
        return;
    if (instruments.isEmpty())
        directSetElementData(node, K::DoInstrumentChange, false);
    else
        directSetElementData(node, K::Instrument, uint(instruments.first()));
}

void QmdKelvoController::removeRefsToInstruments(const QmdItemIdList& idList, QmdRequestId rid,
                                                 bool undoRedo)
{
    beginRequest(rid, Qmd::NoRequestFlags, tr("Remove Refs To Instruments"));
    QList<InstrumentHandle> taken = takeInstruments(idList);
    const QmdIndex elements = directElementsRoot();
    if (!undoRedo && elements.isValid()) {
        const QSet<QmdItemId> removed(idList.cbegin(), idList.cend());
        for (QmdItemId id : directIdList(elements)) {
            switch (directElementData(id, K::Type).toUInt()) {
            case QmdKelvo::VoiceGroupElement:
                if (removed.contains(directElementData(id, K::InitialInstrument).toUInt()))
                    directSetElementData(id, K::InitialInstrument, 0u);
                break;
            case QmdKelvo::NodeElement:
                if (removed.contains(directElementData(id, K::Instrument).toUInt())) {
                    directSetElementData(id, K::DoInstrumentChange, false);
                    directSetElementData(id, K::Instrument, 0u);
                }
                break;
            default:
                break;
            }
        }
    }
    endRequest(rid);
    stopInstruments(std::move(taken));
    emit instrumentsRemoved(idList, rid);
}
