#include "QmdIndex.h"

#include "QmdModel.h"

QmdIndex::QmdIndex(QmdItemId id, quint64 internalId, QmdModel* model)
    : m_itemId(id)
    , m_internalId(internalId)
    , m_model(model)
{ }

QmdIndex::QmdIndex(QmdItemId id, void* internalPointer, QmdModel* model)
    : m_itemId(id)
    , m_internalPointer(internalPointer)
    , m_model(model)
{ }

QmdIndex::QmdIndex(const QString& key, quint64 internalId, QmdModel* model)
    : m_key(key)
    , m_internalId(internalId)
    , m_model(model)
{ }

QmdIndex::QmdIndex(const QString& key, void* internalPointer, QmdModel* model)
    : m_key(key)
    , m_internalPointer(internalPointer)
    , m_model(model)
{ }

bool QmdIndex::isValid() const
{
    return m_model && m_model->isValidIndex(*this);
}

QString QmdIndex::toString() const
{
    if (m_itemId != 0)
        return QString::number(m_itemId);
    return m_key;
}

bool operator==(const QmdIndex& a, const QmdIndex& b)
{
    return a.m_itemId == b.m_itemId && a.m_key == b.m_key && a.m_internalId == b.m_internalId
        && a.m_internalPointer == b.m_internalPointer && a.m_model == b.m_model
        && a.m_containerIdentity == b.m_containerIdentity;
}

size_t qHash(const QmdIndex& index, size_t seed) noexcept
{
    if (index.key().isEmpty())
        return size_t(index.itemId());
    return qHash(index.key(), seed);
}
