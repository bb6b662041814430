#ifndef QMDMEMMODEL_H
#define QMDMEMMODEL_H

#include "QmdModel.h"

#include <QHash>
#include <QList>
#include <QMap>

// The model of every document: the whole tree lives in memory as QVariant values. A container
// is a QVariant holding a pointer to a container object. Every change becomes an undo command,
// one per container touched, which the history executes at once and keeps as an undo step
// unless its request is not undoable.
//
// Children are kept in ascending order of their ids or keys, so queries, signals and files
// list them the same way on every run.
class QmdMemModel : public QmdModel
{
    Q_OBJECT

public:
    class SpecialItem
    {
    public:
        Qmd::ContainerType type;
        QmdIndex index; // where this container is stored; QmdIndex() for the root
        QmdMemModel* model;
        quint64 identity; // never given to another container of the model

    protected:
        SpecialItem(Qmd::ContainerType t, const QmdIndex& where, QmdMemModel* m, quint64 id)
            : type(t)
            , index(where)
            , model(m)
            , identity(id)
        { }
    };

    class StrDictSpecialItem : public SpecialItem
    {
    public:
        StrDictSpecialItem(const QmdIndex& where, QmdMemModel* m, quint64 id)
            : SpecialItem(Qmd::StrDict, where, m, id)
        { }
        QMap<QString, QVariant> children;
    };

    class IntDictSpecialItem : public SpecialItem
    {
    public:
        IntDictSpecialItem(const QmdIndex& where, QmdMemModel* m, quint64 id)
            : SpecialItem(Qmd::IntDict, where, m, id)
        { }
        QMap<QmdItemId, QVariant> children;
        QmdItemId lastItemId = 0;
    };

    class QmdCommand;
    template<class K, class S>
    class QmdSetCommand;
    template<class K, class S>
    class QmdRemoveCommand;
    class QmdSetRootCommand;

    explicit QmdMemModel(QObject* parent = nullptr);
    explicit QmdMemModel(Qmd::ContainerType rootType, QObject* parent = nullptr);
    ~QmdMemModel() override;

    // History
    void setUndoRedoLimit(int limit) override;
    bool atCleanState() const override;
    void markAsCleanState() override;
    int currentHistoryCount() const override;
    bool canRedo() const override;
    bool canUndo() const override;
    const QString& redoText() const override;
    const QString& undoText() const override;
    void redo() override;
    void undo() override;
    void clearHistory() override;

    // Queries
    bool isValidIndex(const QmdIndex& index) const override;
    QmdIndex index(QmdItemId id, const QmdIndex& parent) const override;
    QmdIndex index(const QString& key, const QmdIndex& parent) const override;
    QmdIndex parent(const QmdIndex& index) const override;
    bool hasChildren(const QmdIndex& index) const override;
    QmdIndexList children(const QmdIndex& index) const override;
    QVariant data(const QmdIndex& index) const override;
    QVariant data(const QString& key, const QmdIndex& parent) const override;
    QVariant data(QmdItemId id, const QmdIndex& parent) const override;
    QList<QVariant> data(const QStringList& keys, const QmdIndex& parent) const override;
    Qmd::ContainerType type(const QmdIndex& index) const override;
    QmdItemIdList idList(const QmdIndex& index) const override;
    QStringList keys(const QmdIndex& index) const override;

    // Changes
    QmdItemIdList addData(const QList<QVariant>& values, const QmdIndex& parent) override;
    void setData(const QHash<QmdItemId, QVariant>& values, const QmdIndex& parent) override;
    void setData(const QHash<QString, QVariant>& values, const QmdIndex& parent) override;
    void setData(const QHash<QmdIndex, QVariant>& values) override;
    QmdItemIdList addTypes(const QList<Qmd::ContainerType>& types, const QmdIndex& parent) override;
    void setTypes(const QHash<QmdItemId, Qmd::ContainerType>& types,
                  const QmdIndex& parent) override;
    void setTypes(const QHash<QString, Qmd::ContainerType>& types, const QmdIndex& parent) override;
    void setTypes(const QHash<QmdIndex, Qmd::ContainerType>& types) override;
    void remove(const QmdItemIdList& ids, const QmdIndex& parent) override;
    void remove(const QStringList& keys, const QmdIndex& parent) override;
    void remove(const QmdIndexList& indexes) override;
    void clear(const QmdIndex& index) override;
    void setRoot(const QVariant& value) override;
    void setRootType(Qmd::ContainerType type) override;

    // How many containers this model has made and not yet freed.
    int liveContainerCount() const { return int(m_liveContainers.size()); }

    static bool isContainerValue(const QVariant& value);

protected:
    quint64 containerIdentity(const void* container) const override;
    // A new id for a child of container, after the last one handed out or stored. It changes
    // the container outside any undo command: only the change operations call it.
    virtual QmdItemId registerNewItemId(IntDictSpecialItem* container);

private:
    // The undo commands change the tree and free what they hold through the operations
    // below, which bypass the history.
    friend class QmdCommand;
    template<class K, class S>
    friend class QmdSetCommand;
    template<class K, class S>
    friend class QmdRemoveCommand;
    friend class QmdSetRootCommand;

    // Frees the container held by value and every container nested inside it.
    void freeAnyMem(const QVariant& value);
    void freeAnyMem(const QList<QVariant>& values);
    QVariant& root() { return m_root; }

    // How an index is taken: the root (the default index, or any index of no model), a child
    // (a valid index of this model), or refused (an index of another model, or one whose
    // container has been freed). Nothing is read or changed through a refused index.
    enum class Address { Root, Child, Refused };
    Address addressOf(const QmdIndex& index) const;
    // Whether index is a valid index of this model whose item exists.
    bool addressesItem(const QmdIndex& index) const;

    QVariant makeContainer(Qmd::ContainerType type, const QmdIndex& where);
    const QVariant* valueAt(const QmdIndex& index) const;
    SpecialItem* specialItemAt(const QmdIndex& index) const;
    static SpecialItem* specialItemOf(const QVariant& value);
    template<class S>
    S* safeSpecialItemAt(const QmdIndex& index) const;
    // The container of kind S stored at parent, when it is the one with this identity.
    template<class S>
    S* containerAt(const QmdIndex& parent, quint64 identity) const;

    template<class K, class S>
    void setValues(const QMap<K, QVariant>& values, const QmdIndex& parent);
    template<class K, class S>
    void setContainerTypes(const QHash<K, Qmd::ContainerType>& types, const QmdIndex& parent);
    template<class K, class S>
    void removeKeys(const QList<K>& keys, const QmdIndex& parent);
    template<class K, class S>
    void pushSet(S* container, const QMap<K, QVariant>& values);
    template<class K, class S>
    void pushRemove(S* container, const QList<K>& keys);
    void pushSetRoot(const QVariant& newRoot);

    template<class K, class S>
    void primitiveSet(const QMap<K, QVariant>& values, S* container, const QmdIndex& parent);
    template<class K, class S>
    void primitiveRemove(const QList<K>& keys, S* container, const QmdIndex& parent);
    void primitiveSetRoot(const QVariant& newRoot);

    void pushCommand(QmdCommand* command);
    void dropBottomUndoCommand();
    void saveUndoState();
    void emitUndoStateChanges();
    quint64 nextCommandSerial() { return ++m_lastCommandSerial; }

    QVariant m_root;
    QList<QmdCommand*> m_redoStack; // last = next to redo
    QList<QmdCommand*> m_undoStack; // last = next to undo

    // The clean state: the one with an empty undo stack, the one with a given command on top
    // of the undo stack, or none that the history can reach any more.
    enum class CleanMarker { EmptyUndoStack, Command, Unreachable };
    CleanMarker m_cleanMarker = CleanMarker::EmptyUndoStack;
    quint64 m_cleanCommand = 0;

    QHash<const void*, quint64> m_liveContainers;
    quint64 m_lastContainerIdentity = 0;
    quint64 m_lastCommandSerial = 0;

    struct UndoState
    {
        bool saved = false;
        bool atCleanState = false;
        bool canRedo = false;
        bool canUndo = false;
        QString redoText;
        QString undoText;
    };
    UndoState m_undoState;
};

Q_DECLARE_METATYPE(QmdMemModel::SpecialItem*)

#endif // QMDMEMMODEL_H
