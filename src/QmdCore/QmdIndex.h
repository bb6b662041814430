#ifndef QMDINDEX_H
#define QMDINDEX_H

#include "QmdGlobal.h"

#include <QHashFunctions>
#include <QList>
#include <QMetaType>
#include <QString>

class QmdModel;

// Addresses one child of a model: its item id or its key, a model-defined number, the
// container that holds it and the model. The default index addresses the root.
//
// Besides the container's address an index carries the container's identity: a number
// that the model gives each container it makes and never gives again. A container that
// has been freed and whose address was reused therefore never matches an old index.
class QmdIndex
{
public:
    QmdIndex() = default;
    QmdIndex(QmdItemId id, quint64 internalId, QmdModel* model);
    QmdIndex(QmdItemId id, void* internalPointer, QmdModel* model);
    QmdIndex(const QString& key, quint64 internalId, QmdModel* model);
    QmdIndex(const QString& key, void* internalPointer, QmdModel* model);

    QmdItemId itemId() const { return m_itemId; }
    const QString& key() const { return m_key; }
    quint64 internalId() const { return m_internalId; }
    void* internalPointer() const { return m_internalPointer; }
    QmdModel* model() const { return m_model; }
    // The identity of the container named by internalPointer(), 0 when none was recorded.
    quint64 containerIdentity() const { return m_containerIdentity; }

    bool isValid() const;
    QString toString() const;

    friend bool operator==(const QmdIndex& a, const QmdIndex& b);
    friend bool operator!=(const QmdIndex& a, const QmdIndex& b) { return !(a == b); }

private:
    friend class QmdModel;

    QmdItemId m_itemId = 0;
    QString m_key;
    quint64 m_internalId = 0;
    void* m_internalPointer = nullptr;
    QmdModel* m_model = nullptr;
    quint64 m_containerIdentity = 0;
};

typedef QList<QmdIndex> QmdIndexList;

// The hash is the item id itself, or the string hash of the key when there is one.
size_t qHash(const QmdIndex& index, size_t seed = 0) noexcept;

Q_DECLARE_METATYPE(QmdIndex)

#endif // QMDINDEX_H
