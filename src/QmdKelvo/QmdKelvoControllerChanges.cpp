// Change handling of QmdKelvoController: notes trees kept in step with the nodes' notes, and
// scale modes announced in the document's terms.

#include "QmdKelvoController.h"

#include "QmdKelvoKeys.h"

void QmdKelvoController::receivedItemsChanged(const QmdIndex& parent, const QmdItemIdList& idList,
                                              QmdRequestId rid)
{
    const bool undoRedo = unfinishedUndoRedoRequests().contains(rid);
    if (parent == elementsRoot()) {
        // Nodes added by a request get their tree from it; nodes that an undo or redo brings
        // back get it here.
        if (undoRedo) {
            for (QmdItemId id : idList) {
                if (elementType(id) == QmdKelvo::NodeElement)
                    requestRebuildNotesTree(id);
            }
        }
    } else if (parent == index(QmdKelvoKeys::ScaleModes, QmdIndex())) {
        emit scaleModesAdded(idList, rid);
    }
    QmdSyncronizedController<QmdElementDocController>::receivedItemsChanged(parent, idList, rid);
}

void QmdKelvoController::receivedItemsChanged(const QmdIndex& parent, const QStringList& keys,
                                              QmdRequestId rid)
{
    QmdSyncronizedController<QmdElementDocController>::receivedItemsChanged(parent, keys, rid);
    handleItemDataEffected(parent, keys, rid);
}

void QmdKelvoController::receivedItemsRemoved(const QmdIndex& parent, const QmdItemIdList& idList,
                                              QmdRequestId rid)
{
    QmdSyncronizedController<QmdElementDocController>::receivedItemsRemoved(parent, idList, rid);
    if (parent == elementsRoot()) {
        beginRequest(rid, Qmd::NotUndoable, tr("Remove notes tree and voice groups"));
        for (QmdItemId id : idList)
            removeNodeNotesTree(id);
        endRequest(rid);
    } else if (parent == index(QmdKelvoKeys::ScaleModes, QmdIndex())) {
        emit scaleModesRemoved(idList, rid);
    }
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
    if (!item.isValid())
        return;
    const QmdIndex container = parent(item);
    if (container == elementsRoot()) {
        if (keys.contains(QmdKelvoKeys::Notes)
            && data(QmdKelvoKeys::Type, item).toInt() == QmdKelvo::NodeElement)
            requestRebuildNotesTree(item.itemId());
    } else if (container.isValid() && container == index(QmdKelvoKeys::ScaleModes, QmdIndex())) {
        emit scaleModeDataEffected(item.itemId(), keys, rid);
    }
}
