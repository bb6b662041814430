#include "QmdKelvoController.h"

#include "QmdKelvoKeys.h"

QmdKelvoController::QmdKelvoController(QObject* parent)
    : QmdSyncronizedController<QmdElementDocController>(parent)
{
    qRegisterMetaType<NotesTokenMap>("QmdKelvoController::NotesTokenMap");
}

QmdKelvoController::~QmdKelvoController() = default;

QmdIndex QmdKelvoController::nodeNotesTreesRoot() const
{
    const ReadLocker locker(this);
    return directIndex(QmdKelvoKeys::NodeNotesTrees, directIndex(QmdKelvoKeys::Temp, QmdIndex()));
}

void QmdKelvoController::Reset()
{
    QmdSyncronizedController<QmdElementDocController>::Reset();
    if (!model())
        return;
    const QmdRequestId rid = registerNewRequestId();
    beginRequest(rid, Qmd::NotUndoable, tr("QmdKelvoController::Reset"));
    ensureRunTimePart();
    endRequest(rid);
}

void QmdKelvoController::ensureRunTimePart()
{
    directSetType(QmdKelvoKeys::Temp, Qmd::StrDict, QmdIndex());
    tempRoot = directIndex(QmdKelvoKeys::Temp, QmdIndex());
    directSetType(QmdKelvoKeys::NodeNotesTrees, Qmd::IntDict, tempRoot);
    nodeNotesTreesRootIndex = directIndex(QmdKelvoKeys::NodeNotesTrees, tempRoot);
}
