// Notes trees of QmdKelvoController: rebuilding a node's tree from its notes text.

#include "QmdKelvoController.h"

#include "QmdKelvoKeys.h"

QmdRequestId QmdKelvoController::requestRebuildNotesTree(QmdItemId nodeId)
{
    if (!model())
        return 0;
    const WriteLocker locker(this);
    if (directElementData(nodeId, QmdKelvoKeys::Type).toInt() != QmdKelvo::NodeElement)
        return 0;
    const QmdRequestId rid = registerNewRequestId();
    beginRequest(rid, Qmd::NotUndoable, tr("Rebuild Notes Tree"));
    removeNodeNotesTree(nodeId);
    buildNodeNotesTree(nodeId);
    endRequest(rid);
    return rid;
}

void QmdKelvoController::removeNodeNotesTree(QmdItemId nodeId)
{
    if (!nodeNotesTreesRootIndex.isValid())
        return;
    const QmdIndex tree = directIndex(nodeId, nodeNotesTreesRootIndex);
    if (tree.isValid())
        directRemove(tree);
}

void QmdKelvoController::buildNodeNotesTree(QmdItemId nodeId)
{
    // Only existing nodes have trees, and only in the run-time part.
    if (!nodeNotesTreesRootIndex.isValid()
        || directElementData(nodeId, QmdKelvoKeys::Type).toInt() != QmdKelvo::NodeElement)
        return;
    const QString text = directElementData(nodeId, QmdKelvoKeys::Notes).toString();
    parseNotes(text,
               [this, nodeId](bool ok, ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* tree) {
                   onNotesParsed(ok, adaptor, tree, nodeId);
               });
}
