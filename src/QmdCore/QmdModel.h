#ifndef QMDMODEL_H
#define QMDMODEL_H

#include "QmdGlobal.h"
#include "QmdIndex.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

// The abstract model of the document framework: a tree of QVariant values in integer-keyed
// and string-keyed containers, addressed by QmdIndex. It also carries the identity of the
// request being carried out, and reports every change through its signals. It takes no
// lock: callers serialise access.
class QmdModel : public QObject
{
    Q_OBJECT

public:
    explicit QmdModel(QObject* parent = nullptr);
    ~QmdModel() override;

    virtual void setRequestStatus(int status);
    virtual void beginRequest(QmdRequestId id, Qmd::RequestFlags flags, const QString& intent);
    virtual void endRequest();
    virtual int undoRedoLimit() const;
    virtual void setUndoRedoLimit(int limit);
    virtual bool atCleanState() const;
    virtual void markAsCleanState();
    virtual int currentHistoryCount() const;
    virtual bool canRedo() const;
    virtual bool canUndo() const;
    virtual const QString& redoText() const;
    virtual const QString& undoText() const;
    virtual bool isValidIndex(const QmdIndex& index) const = 0;
    virtual QmdIndex index(QmdItemId id, const QmdIndex& parent) const = 0;
    virtual QmdIndex index(const QString& key, const QmdIndex& parent) const = 0;
    virtual QmdIndex parent(const QmdIndex& index) const = 0;
    virtual bool hasChildren(const QmdIndex& index) const = 0;
    virtual QmdIndexList children(const QmdIndex& index) const = 0;
    virtual QVariant data(const QmdIndex& index) const = 0;
    // The plain value of one child of parent, or of several children of a string-keyed
    // parent (one value per key, in order), with the parent looked up once: what data(index)
    // gives for the child's index, and QVariant() for a child that does not exist.
    virtual QVariant data(const QString& key, const QmdIndex& parent) const;
    virtual QVariant data(QmdItemId id, const QmdIndex& parent) const;
    virtual QList<QVariant> data(const QStringList& keys, const QmdIndex& parent) const;
    virtual Qmd::ContainerType type(const QmdIndex& index) const = 0;
    virtual QmdItemIdList idList(const QmdIndex& index) const = 0;
    virtual QStringList keys(const QmdIndex& index) const = 0;
    virtual void redo();
    virtual void undo();
    virtual QmdItemIdList addData(const QList<QVariant>& values, const QmdIndex& parent) = 0;
    virtual void setData(const QHash<QmdItemId, QVariant>& values, const QmdIndex& parent) = 0;
    virtual void setData(const QHash<QString, QVariant>& values, const QmdIndex& parent) = 0;
    virtual void setData(const QHash<QmdIndex, QVariant>& values) = 0;
    virtual QmdItemIdList addTypes(const QList<Qmd::ContainerType>& types, const QmdIndex& parent)
        = 0;
    virtual void setTypes(const QHash<QmdItemId, Qmd::ContainerType>& types, const QmdIndex& parent)
        = 0;
    virtual void setTypes(const QHash<QString, Qmd::ContainerType>& types, const QmdIndex& parent)
        = 0;
    virtual void setTypes(const QHash<QmdIndex, Qmd::ContainerType>& types) = 0;
    virtual void remove(const QmdItemIdList& ids, const QmdIndex& parent) = 0;
    virtual void remove(const QStringList& keys, const QmdIndex& parent) = 0;
    virtual void remove(const QmdIndexList& indexes) = 0;
    virtual void clear(const QmdIndex& index) = 0;
    // Replace the root value as a whole: with value, or with a new empty container of type.
    // Nothing else replaces the root, so that an index from a lookup that found nothing (the
    // default index) never turns a change of one item into a change of the whole document.
    // Only clear() of the default index also does, when the root is asked for on purpose.
    virtual void setRoot(const QVariant& value) = 0;
    virtual void setRootType(Qmd::ContainerType type) = 0;
    // Forgets every undo and redo step; the state with an empty undo stack becomes the clean
    // one.
    virtual void clearHistory();

    QmdRequestId requestId() const { return m_requestId; }
    Qmd::RequestFlags requestFlags() const { return m_requestFlags; }
    const QString& requestIntent() const { return m_requestIntent; }
    int requestStatus() const { return m_requestStatus; }

signals:
    void atCleanStateChanged(bool atCleanState, QmdRequestId rid);
    void canRedoChanged(bool canRedo, QmdRequestId rid);
    void canUndoChanged(bool canUndo, QmdRequestId rid);
    void redoTextChanged(const QString& redoText, QmdRequestId rid);
    void undoTextChanged(const QString& undoText, QmdRequestId rid);
    void itemsChanged(const QmdIndex& parent, const QmdItemIdList& idList, QmdRequestId rid);
    void itemsChanged(const QmdIndex& parent, const QStringList& keys, QmdRequestId rid);
    void itemsRemoved(const QmdIndex& parent, const QmdItemIdList& idList, QmdRequestId rid);
    void itemsRemoved(const QmdIndex& parent, const QStringList& keys, QmdRequestId rid);
    void rootChanged(QmdRequestId rid);
    void requestFinished(QmdRequestId rid, Qmd::RequestFlags flags, int status = 0);

protected:
    QmdIndex createIndex(QmdItemId id, quint64 internalId);
    QmdIndex createIndex(const QString& key, quint64 internalId);
    QmdIndex createIndex(QmdItemId id, void* container) const;
    QmdIndex createIndex(const QString& key, void* container) const;

    // The identity that indexes into container carry; models that free and make containers
    // give each a number of its own. The default gives none.
    virtual quint64 containerIdentity(const void* container) const;

private:
    int m_undoRedoLimit = 0;
    QmdRequestId m_requestId = 0;
    Qmd::RequestFlags m_requestFlags;
    QString m_requestIntent;
    int m_requestStatus = 0;
};

#endif // QMDMODEL_H
