#include "QmdModel.h"

QmdModel::QmdModel(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<QmdIndex>("QmdIndex");
    qRegisterMetaType<QmdItemIdList>("QmdItemIdList");
    qRegisterMetaType<QmdRequestId>("QmdRequestId");
    qRegisterMetaType<Qmd::RequestFlags>("Qmd::RequestFlags");
}

QmdModel::~QmdModel() = default;

void QmdModel::setRequestStatus(int status)
{
    m_requestStatus = status;
}

void QmdModel::beginRequest(QmdRequestId id, Qmd::RequestFlags flags, const QString& intent)
{
    m_requestId = id;
    m_requestFlags = flags;
    m_requestIntent = intent;
    m_requestStatus = 0;
}

void QmdModel::endRequest()
{
    emit requestFinished(m_requestId, m_requestFlags, m_requestStatus);
    m_requestId = 0;
    m_requestFlags = Qmd::RequestFlags();
    m_requestIntent.clear();
    m_requestStatus = 0;
}

int QmdModel::undoRedoLimit() const
{
    return m_undoRedoLimit;
}

void QmdModel::setUndoRedoLimit(int limit)
{
    m_undoRedoLimit = limit;
}

bool QmdModel::atCleanState() const
{
    return false;
}

void QmdModel::markAsCleanState() { }

int QmdModel::currentHistoryCount() const
{
    return 0;
}

bool QmdModel::canRedo() const
{
    return false;
}

bool QmdModel::canUndo() const
{
    return false;
}

static const QString& emptyText()
{
    static const QString empty;
    return empty;
}

const QString& QmdModel::redoText() const
{
    return emptyText();
}

const QString& QmdModel::undoText() const
{
    return emptyText();
}

QVariant QmdModel::data(const QString& key, const QmdIndex& parent) const
{
    const QmdIndex child = index(key, parent);
    return child.isValid() ? data(child) : QVariant();
}

QVariant QmdModel::data(QmdItemId id, const QmdIndex& parent) const
{
    const QmdIndex child = index(id, parent);
    return child.isValid() ? data(child) : QVariant();
}

QList<QVariant> QmdModel::data(const QStringList& keys, const QmdIndex& parent) const
{
    QList<QVariant> values;
    values.reserve(keys.size());
    for (const QString& key : keys)
        values.append(data(key, parent));
    return values;
}

void QmdModel::redo() { }

void QmdModel::clearHistory() { }

void QmdModel::undo() { }

QmdIndex QmdModel::createIndex(QmdItemId id, quint64 internalId)
{
    return QmdIndex(id, internalId, this);
}

QmdIndex QmdModel::createIndex(const QString& key, quint64 internalId)
{
    return QmdIndex(key, internalId, this);
}

QmdIndex QmdModel::createIndex(QmdItemId id, void* container) const
{
    QmdIndex index(id, container, const_cast<QmdModel*>(this));
    index.m_containerIdentity = containerIdentity(container);
    return index;
}

QmdIndex QmdModel::createIndex(const QString& key, void* container) const
{
    QmdIndex index(key, container, const_cast<QmdModel*>(this));
    index.m_containerIdentity = containerIdentity(container);
    return index;
}

quint64 QmdModel::containerIdentity(const void*) const
{
    return 0;
}
