#include "QmdDirectModelInterface.h"

QmdDirectModelInterface::QmdDirectModelInterface(QmdModel* model)
    : m_model(model)
{ }

QmdDirectModelInterface::~QmdDirectModelInterface() = default;

void QmdDirectModelInterface::setModel(QmdModel* model)
{
    m_model = model;
}

// ---------------------------------------------------------------------------------------------
// Reading

QmdIndex QmdDirectModelInterface::directIndex(QmdItemId id, const QmdIndex& parent) const
{
    return m_model ? m_model->index(id, parent) : QmdIndex();
}

QmdIndex QmdDirectModelInterface::directIndex(const QString& key, const QmdIndex& parent) const
{
    return m_model ? m_model->index(key, parent) : QmdIndex();
}

QmdIndex QmdDirectModelInterface::directParent(const QmdIndex& index) const
{
    return m_model ? m_model->parent(index) : QmdIndex();
}

bool QmdDirectModelInterface::directHasChildren(const QmdIndex& index) const
{
    return m_model && m_model->hasChildren(index);
}

QmdIndexList QmdDirectModelInterface::directChildren(const QmdIndex& index) const
{
    return m_model ? m_model->children(index) : QmdIndexList();
}

QmdItemIdList QmdDirectModelInterface::directIdList(const QmdIndex& index) const
{
    return m_model ? m_model->idList(index) : QmdItemIdList();
}

QStringList QmdDirectModelInterface::directKeys(const QmdIndex& index) const
{
    return m_model ? m_model->keys(index) : QStringList();
}

QVariant QmdDirectModelInterface::directData(const QmdIndex& index) const
{
    return m_model ? m_model->data(index) : QVariant();
}

QVariant QmdDirectModelInterface::directData(QmdItemId id, const QmdIndex& parent) const
{
    return m_model ? m_model->data(id, parent) : QVariant();
}

QVariant QmdDirectModelInterface::directData(const QString& key, const QmdIndex& parent) const
{
    return m_model ? m_model->data(key, parent) : QVariant();
}

QList<QVariant> QmdDirectModelInterface::directData(const QStringList& keys,
                                                    const QmdIndex& parent) const
{
    return m_model ? m_model->data(keys, parent) : QList<QVariant>(keys.size());
}

Qmd::ContainerType QmdDirectModelInterface::directType(const QmdIndex& index) const
{
    return m_model ? m_model->type(index) : Qmd::NoContainer;
}

QList<QVariant> QmdDirectModelInterface::directChildValues(const QmdIndex& index) const
{
    QList<QVariant> values;
    for (const QmdIndex& child : directChildren(index)) {
        if (directType(child) == Qmd::NoContainer)
            values.append(directData(child));
    }
    return values;
}

bool QmdDirectModelInterface::directIsValidIndex(const QmdIndex& index) const
{
    return m_model && m_model->isValidIndex(index);
}

// ---------------------------------------------------------------------------------------------
// Changing the tree

QmdItemIdList QmdDirectModelInterface::directAddData(const QList<QVariant>& values,
                                                     const QmdIndex& parent)
{
    return m_model ? m_model->addData(values, parent) : QmdItemIdList();
}

QmdItemId QmdDirectModelInterface::directAddData(const QVariant& value, const QmdIndex& parent)
{
    const QmdItemIdList ids = directAddData(QList<QVariant> {value}, parent);
    return ids.isEmpty() ? 0 : ids.first();
}

void QmdDirectModelInterface::directSetData(const QHash<QmdItemId, QVariant>& values,
                                            const QmdIndex& parent)
{
    if (m_model)
        m_model->setData(values, parent);
}

void QmdDirectModelInterface::directSetData(const QHash<QString, QVariant>& values,
                                            const QmdIndex& parent)
{
    if (m_model)
        m_model->setData(values, parent);
}

void QmdDirectModelInterface::directSetData(const QHash<QmdIndex, QVariant>& values)
{
    if (m_model)
        m_model->setData(values);
}

void QmdDirectModelInterface::directSetData(QmdItemId id, const QVariant& value,
                                            const QmdIndex& parent)
{
    directSetData(QHash<QmdItemId, QVariant> {{id, value}}, parent);
}

void QmdDirectModelInterface::directSetData(const QString& key, const QVariant& value,
                                            const QmdIndex& parent)
{
    directSetData(QHash<QString, QVariant> {{key, value}}, parent);
}

void QmdDirectModelInterface::directSetData(const QmdIndex& index, const QVariant& value)
{
    directSetData(QHash<QmdIndex, QVariant> {{index, value}});
}

void QmdDirectModelInterface::directSetDataIfInvalid(QmdItemId id, const QVariant& value,
                                                     const QmdIndex& parent)
{
    if (!directIndex(id, parent).isValid())
        directSetData(id, value, parent);
}

void QmdDirectModelInterface::directSetDataIfInvalid(const QString& key, const QVariant& value,
                                                     const QmdIndex& parent)
{
    if (!directIndex(key, parent).isValid())
        directSetData(key, value, parent);
}

QmdItemIdList QmdDirectModelInterface::directAddTypes(const QList<Qmd::ContainerType>& types,
                                                      const QmdIndex& parent)
{
    return m_model ? m_model->addTypes(types, parent) : QmdItemIdList();
}

QmdItemId QmdDirectModelInterface::directAddType(Qmd::ContainerType type, const QmdIndex& parent)
{
    const QmdItemIdList ids = directAddTypes(QList<Qmd::ContainerType> {type}, parent);
    return ids.isEmpty() ? 0 : ids.first();
}

void QmdDirectModelInterface::directSetTypes(const QHash<QmdItemId, Qmd::ContainerType>& types,
                                             const QmdIndex& parent)
{
    if (m_model)
        m_model->setTypes(types, parent);
}

void QmdDirectModelInterface::directSetTypes(const QHash<QString, Qmd::ContainerType>& types,
                                             const QmdIndex& parent)
{
    if (m_model)
        m_model->setTypes(types, parent);
}

void QmdDirectModelInterface::directSetTypes(const QHash<QmdIndex, Qmd::ContainerType>& types)
{
    if (m_model)
        m_model->setTypes(types);
}

void QmdDirectModelInterface::directSetType(QmdItemId id, Qmd::ContainerType type,
                                            const QmdIndex& parent)
{
    directSetTypes(QHash<QmdItemId, Qmd::ContainerType> {{id, type}}, parent);
}

void QmdDirectModelInterface::directSetType(const QString& key, Qmd::ContainerType type,
                                            const QmdIndex& parent)
{
    directSetTypes(QHash<QString, Qmd::ContainerType> {{key, type}}, parent);
}

void QmdDirectModelInterface::directSetType(const QmdIndex& index, Qmd::ContainerType type)
{
    directSetTypes(QHash<QmdIndex, Qmd::ContainerType> {{index, type}});
}

void QmdDirectModelInterface::directSetTypeIfInvalid(QmdItemId id, Qmd::ContainerType type,
                                                     const QmdIndex& parent)
{
    if (!directIndex(id, parent).isValid())
        directSetType(id, type, parent);
}

void QmdDirectModelInterface::directSetTypeIfInvalid(const QString& key, Qmd::ContainerType type,
                                                     const QmdIndex& parent)
{
    if (!directIndex(key, parent).isValid())
        directSetType(key, type, parent);
}

void QmdDirectModelInterface::directRemove(const QmdItemIdList& ids, const QmdIndex& parent)
{
    if (m_model)
        m_model->remove(ids, parent);
}

void QmdDirectModelInterface::directRemove(const QStringList& keys, const QmdIndex& parent)
{
    if (m_model)
        m_model->remove(keys, parent);
}

void QmdDirectModelInterface::directRemove(const QmdIndexList& indexes)
{
    if (m_model)
        m_model->remove(indexes);
}

void QmdDirectModelInterface::directRemove(QmdItemId id, const QmdIndex& parent)
{
    directRemove(QmdItemIdList {id}, parent);
}

void QmdDirectModelInterface::directRemove(const QString& key, const QmdIndex& parent)
{
    directRemove(QStringList {key}, parent);
}

void QmdDirectModelInterface::directRemove(const QmdIndex& index)
{
    directRemove(QmdIndexList {index});
}

bool QmdDirectModelInterface::directIsContainer(const QmdIndex& index,
                                                Qmd::ContainerType type) const
{
    return directIsValidIndex(index) && directType(index) == type;
}

void QmdDirectModelInterface::directClear(const QmdIndex& index)
{
    if (m_model)
        m_model->clear(index);
}

void QmdDirectModelInterface::directSetRoot(const QVariant& value)
{
    if (m_model)
        m_model->setRoot(value);
}

void QmdDirectModelInterface::directSetRootType(Qmd::ContainerType type)
{
    if (m_model)
        m_model->setRootType(type);
}

// ---------------------------------------------------------------------------------------------
// History

int QmdDirectModelInterface::directUndoRedoLimit() const
{
    return m_model ? m_model->undoRedoLimit() : 0;
}

void QmdDirectModelInterface::directSetUndoRedoLimit(int limit)
{
    if (m_model)
        m_model->setUndoRedoLimit(limit);
}

bool QmdDirectModelInterface::directAtCleanState() const
{
    return m_model && m_model->atCleanState();
}

void QmdDirectModelInterface::directMarkAsCleanState()
{
    if (m_model)
        m_model->markAsCleanState();
}

bool QmdDirectModelInterface::directCanUndo() const
{
    return m_model && m_model->canUndo();
}

bool QmdDirectModelInterface::directCanRedo() const
{
    return m_model && m_model->canRedo();
}

QString QmdDirectModelInterface::directUndoText() const
{
    return m_model ? m_model->undoText() : QString();
}

QString QmdDirectModelInterface::directRedoText() const
{
    return m_model ? m_model->redoText() : QString();
}

void QmdDirectModelInterface::directUndo()
{
    if (m_model)
        m_model->undo();
}

void QmdDirectModelInterface::directRedo()
{
    if (m_model)
        m_model->redo();
}

void QmdDirectModelInterface::directClearHistory()
{
    if (m_model)
        m_model->clearHistory();
}

// ---------------------------------------------------------------------------------------------
// Requests

void QmdDirectModelInterface::directBeginRequest(QmdRequestId id, Qmd::RequestFlags flags,
                                                 const QString& intent)
{
    if (m_model)
        m_model->beginRequest(id, flags, intent);
}

void QmdDirectModelInterface::directSetRequestStatus(int status)
{
    if (m_model)
        m_model->setRequestStatus(status);
}

void QmdDirectModelInterface::directEndRequest()
{
    if (m_model)
        m_model->endRequest();
}
