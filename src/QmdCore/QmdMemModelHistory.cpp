// The undo history of QmdMemModel: the two stacks, merging by request id, the limit, the clean
// marker and the announcement of the five undo-state values.

#include "QmdMemModel.h"

#include "QmdMemModelCommands.h"

void QmdMemModel::pushCommand(QmdCommand* command)
{
    if (!command->isUndoable()) {
        // Outside the history: the stacks, and so the undo state, stay as they are.
        command->redo();
        delete command;
        return;
    }
    saveUndoState();
    while (!m_redoStack.isEmpty())
        delete m_redoStack.takeFirst();
    if (!m_undoStack.isEmpty() && m_undoStack.last()->id() == command->id()) {
        m_undoStack.last()->pushSubCommand(command);
    } else {
        m_undoStack.append(command);
        if (undoRedoLimit() != 0 && currentHistoryCount() > undoRedoLimit())
            dropBottomUndoCommand();
    }
    command->redo();
    emitUndoStateChanges();
}

void QmdMemModel::dropBottomUndoCommand()
{
    QmdCommand* dropped = m_undoStack.takeFirst();
    if (m_cleanMarker == CleanMarker::Command && m_cleanCommand == dropped->serial()) {
        // The state after the dropped command is the clean one; it is reached with an
        // empty undo stack from now on.
        m_cleanMarker = CleanMarker::EmptyUndoStack;
        m_cleanCommand = 0;
    } else if (m_cleanMarker == CleanMarker::EmptyUndoStack) {
        // The clean state was the one before the dropped command: it cannot come back.
        m_cleanMarker = CleanMarker::Unreachable;
    }
    delete dropped;
}

void QmdMemModel::undo()
{
    saveUndoState();
    if (!m_undoStack.isEmpty()) {
        QmdCommand* command = m_undoStack.takeLast();
        command->undo();
        m_redoStack.append(command);
    }
    emitUndoStateChanges();
}

void QmdMemModel::redo()
{
    saveUndoState();
    if (!m_redoStack.isEmpty()) {
        QmdCommand* command = m_redoStack.takeLast();
        command->redo();
        m_undoStack.append(command);
    }
    emitUndoStateChanges();
}

void QmdMemModel::clearHistory()
{
    saveUndoState();
    while (!m_redoStack.isEmpty())
        delete m_redoStack.takeFirst();
    while (!m_undoStack.isEmpty())
        delete m_undoStack.takeFirst();
    m_cleanMarker = CleanMarker::EmptyUndoStack;
    m_cleanCommand = 0;
    emitUndoStateChanges();
}

void QmdMemModel::setUndoRedoLimit(int limit)
{
    if (limit < 0)
        return;
    QmdModel::setUndoRedoLimit(limit);
    if (limit == 0 || limit >= currentHistoryCount())
        return;
    saveUndoState();
    while (currentHistoryCount() > limit && !m_redoStack.isEmpty())
        delete m_redoStack.takeFirst();
    while (currentHistoryCount() > limit && !m_undoStack.isEmpty())
        dropBottomUndoCommand();
    emitUndoStateChanges();
}

bool QmdMemModel::atCleanState() const
{
    switch (m_cleanMarker) {
    case CleanMarker::EmptyUndoStack:
        return m_undoStack.isEmpty();
    case CleanMarker::Command:
        return !m_undoStack.isEmpty() && m_undoStack.last()->serial() == m_cleanCommand;
    case CleanMarker::Unreachable:
        return false;
    }
    return false;
}

void QmdMemModel::markAsCleanState()
{
    saveUndoState();
    if (m_undoStack.isEmpty()) {
        m_cleanMarker = CleanMarker::EmptyUndoStack;
        m_cleanCommand = 0;
    } else {
        m_cleanMarker = CleanMarker::Command;
        m_cleanCommand = m_undoStack.last()->serial();
    }
    emitUndoStateChanges();
}

int QmdMemModel::currentHistoryCount() const
{
    return int(m_undoStack.size() + m_redoStack.size());
}

bool QmdMemModel::canRedo() const
{
    return !m_redoStack.isEmpty();
}

bool QmdMemModel::canUndo() const
{
    return !m_undoStack.isEmpty();
}

const QString& QmdMemModel::redoText() const
{
    return m_redoStack.isEmpty() ? QmdModel::redoText() : m_redoStack.last()->intent();
}

const QString& QmdMemModel::undoText() const
{
    return m_undoStack.isEmpty() ? QmdModel::undoText() : m_undoStack.last()->intent();
}

void QmdMemModel::saveUndoState()
{
    Q_ASSERT(!m_undoState.saved);
    m_undoState.saved = true;
    m_undoState.atCleanState = atCleanState();
    m_undoState.canRedo = canRedo();
    m_undoState.canUndo = canUndo();
    m_undoState.redoText = redoText();
    m_undoState.undoText = undoText();
}

void QmdMemModel::emitUndoStateChanges()
{
    const UndoState before = m_undoState;
    m_undoState = UndoState();
    const QmdRequestId rid = requestId();
    if (atCleanState() != before.atCleanState)
        emit atCleanStateChanged(atCleanState(), rid);
    if (canRedo() != before.canRedo)
        emit canRedoChanged(canRedo(), rid);
    if (canUndo() != before.canUndo)
        emit canUndoChanged(canUndo(), rid);
    if (redoText() != before.redoText)
        emit redoTextChanged(redoText(), rid);
    if (undoText() != before.undoText)
        emit undoTextChanged(undoText(), rid);
}
