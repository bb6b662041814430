#include "QmdMemModelCommands.h"

#include "QmdThreadSanitizer.h"

using QmdMemModelKeys::isAcceptable;

// ---------------------------------------------------------------------------------------------
// QmdCommand

QmdMemModel::QmdCommand::QmdCommand(QmdMemModel* model, QmdRequestId id, Qmd::RequestFlags flags,
                                    const QString& intent)
    : m_model(model)
    , m_id(id)
    , m_flags(flags)
    , m_intent(intent)
    , m_serial(model->nextCommandSerial())
{ }

QmdMemModel::QmdCommand::~QmdCommand()
{
    for (QmdCommand* command : std::as_const(m_subCommands))
        delete command;
}

void QmdMemModel::QmdCommand::redo()
{
    redoSubCommands();
}

void QmdMemModel::QmdCommand::undo()
{
    undoSubCommands();
}

void QmdMemModel::QmdCommand::redoSubCommands()
{
    for (QmdCommand* command : std::as_const(m_subCommands))
        command->redo();
}

void QmdMemModel::QmdCommand::undoSubCommands()
{
    for (auto it = m_subCommands.crbegin(); it != m_subCommands.crend(); ++it)
        (*it)->undo();
}

// ---------------------------------------------------------------------------------------------
// QmdSetCommand
//
// A command whose container has gone (freed, or replaced by another container at its place)
// changes nothing when it is undone or redone, and keeps holding what it holds.

template<class K, class S>
QmdMemModel::QmdSetCommand<K, S>::QmdSetCommand(QmdMemModel* model, S* container,
                                                const QMap<K, QVariant>& values)
    : QmdCommand(model, model->requestId(), model->requestFlags(), model->requestIntent())
    , m_valuesToApply(values)
    , m_parent(container->index)
    , m_containerIdentity(container->identity)
{ }

template<class K, class S>
QmdMemModel::QmdSetCommand<K, S>::~QmdSetCommand()
{
    for (const QVariant& value : std::as_const(m_valuesToApply))
        QmdThreadSanitizer::droppingShared(value);
    for (const QVariant& value : std::as_const(m_previousValues))
        QmdThreadSanitizer::droppingShared(value);
    m_model->freeAnyMem(m_valuesToApply.values());
    m_model->freeAnyMem(m_previousValues.values());
}

template<class K, class S>
void QmdMemModel::QmdSetCommand<K, S>::redo()
{
    if (S* container = m_model->containerAt<S>(m_parent, m_containerIdentity)) {
        // A command outside the history is never undone: of what it replaces it keeps only
        // the containers, which it frees.
        const bool undoable = isUndoable();
        for (auto it = m_valuesToApply.cbegin(); it != m_valuesToApply.cend(); ++it) {
            auto found = container->children.constFind(it.key());
            if (found != container->children.cend()) {
                if (undoable || isContainerValue(found.value()))
                    m_previousValues.insert(it.key(), found.value());
            } else if (undoable && isAcceptable(it.key())) {
                m_createdKeys.append(it.key());
            }
        }
        m_model->primitiveSet(m_valuesToApply, container, m_parent);
        // Values under keys the container cannot hold never entered the tree.
        for (auto it = m_valuesToApply.cbegin(); it != m_valuesToApply.cend(); ++it)
            if (!isAcceptable(it.key()))
                m_model->freeAnyMem(it.value());
        m_valuesToApply.clear();
    }
    redoSubCommands();
}

template<class K, class S>
void QmdMemModel::QmdSetCommand<K, S>::undo()
{
    undoSubCommands();
    S* container = m_model->containerAt<S>(m_parent, m_containerIdentity);
    if (!container)
        return;
    const auto record = [&](const K& key) {
        auto found = container->children.constFind(key);
        if (found != container->children.cend())
            m_valuesToApply.insert(key, found.value());
    };
    for (auto it = m_previousValues.cbegin(); it != m_previousValues.cend(); ++it)
        record(it.key());
    for (const K& key : std::as_const(m_createdKeys))
        record(key);
    m_model->primitiveRemove(m_createdKeys, container, m_parent);
    m_model->primitiveSet(m_previousValues, container, m_parent);
    m_previousValues.clear();
    m_createdKeys.clear();
}

// ---------------------------------------------------------------------------------------------
// QmdRemoveCommand

template<class K, class S>
QmdMemModel::QmdRemoveCommand<K, S>::QmdRemoveCommand(QmdMemModel* model, S* container,
                                                      const QList<K>& keys)
    : QmdCommand(model, model->requestId(), model->requestFlags(), model->requestIntent())
    , m_keysToRemove(keys)
    , m_parent(container->index)
    , m_containerIdentity(container->identity)
{ }

template<class K, class S>
QmdMemModel::QmdRemoveCommand<K, S>::~QmdRemoveCommand()
{
    for (const QVariant& value : std::as_const(m_removedValues))
        QmdThreadSanitizer::droppingShared(value);
    m_model->freeAnyMem(m_removedValues.values());
}

template<class K, class S>
void QmdMemModel::QmdRemoveCommand<K, S>::redo()
{
    if (S* container = m_model->containerAt<S>(m_parent, m_containerIdentity)) {
        for (const K& key : std::as_const(m_keysToRemove)) {
            auto found = container->children.constFind(key);
            if (found != container->children.cend())
                m_removedValues.insert(key, found.value());
        }
        m_model->primitiveRemove(m_keysToRemove, container, m_parent);
        m_keysToRemove.clear();
    }
    redoSubCommands();
}

template<class K, class S>
void QmdMemModel::QmdRemoveCommand<K, S>::undo()
{
    undoSubCommands();
    S* container = m_model->containerAt<S>(m_parent, m_containerIdentity);
    if (!container)
        return;
    m_keysToRemove = m_removedValues.keys();
    m_model->primitiveSet(m_removedValues, container, m_parent);
    m_removedValues.clear();
}

template class QmdMemModel::QmdSetCommand<QmdItemId, QmdMemModel::IntDictSpecialItem>;
template class QmdMemModel::QmdSetCommand<QString, QmdMemModel::StrDictSpecialItem>;
template class QmdMemModel::QmdRemoveCommand<QmdItemId, QmdMemModel::IntDictSpecialItem>;
template class QmdMemModel::QmdRemoveCommand<QString, QmdMemModel::StrDictSpecialItem>;

// ---------------------------------------------------------------------------------------------
// QmdSetRootCommand

QmdMemModel::QmdSetRootCommand::QmdSetRootCommand(QmdMemModel* model, const QVariant& newRoot)
    : QmdCommand(model, model->requestId(), model->requestFlags(), model->requestIntent())
    , m_heldRoot(newRoot)
{ }

QmdMemModel::QmdSetRootCommand::~QmdSetRootCommand()
{
    m_model->freeAnyMem(m_heldRoot);
}

void QmdMemModel::QmdSetRootCommand::redo()
{
    swapRoot();
    redoSubCommands();
}

void QmdMemModel::QmdSetRootCommand::undo()
{
    undoSubCommands();
    swapRoot();
}

void QmdMemModel::QmdSetRootCommand::swapRoot()
{
    const QVariant previous = m_model->root();
    m_model->primitiveSetRoot(m_heldRoot);
    m_heldRoot = previous;
}
