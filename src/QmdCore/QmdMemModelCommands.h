#ifndef QMDMEMMODELCOMMANDS_H
#define QMDMEMMODELCOMMANDS_H

// The undo commands of QmdMemModel. Each holds exactly the values that are out of the tree
// because of it, and frees the containers among them when it is destroyed.

#include "QmdMemModel.h"

namespace QmdMemModelKeys {

// Keys that a container can hold: ids from 1 to 4294967295, and non-empty strings.
inline bool isAcceptable(QmdItemId id)
{
    return id != 0;
}

inline bool isAcceptable(const QString& key)
{
    return !key.isEmpty();
}

} // namespace QmdMemModelKeys

class QmdMemModel::QmdCommand
{
public:
    QmdCommand(QmdMemModel* model, QmdRequestId id, Qmd::RequestFlags flags, const QString& intent);
    virtual ~QmdCommand();
    virtual void redo();
    virtual void undo();

    QmdRequestId id() const { return m_id; }
    const QString& intent() const { return m_intent; }
    QmdMemModel* model() const { return m_model; }
    bool isUndoable() const { return !m_flags.testFlag(Qmd::NotUndoable); }
    // A number that no other command of the model carries, even one that reuses this
    // command's storage after it has been deleted.
    quint64 serial() const { return m_serial; }
    void pushSubCommand(QmdCommand* command) { m_subCommands.append(command); }

    QmdCommand(const QmdCommand&) = delete;
    QmdCommand& operator=(const QmdCommand&) = delete;

protected:
    void redoSubCommands();
    void undoSubCommands();

    QmdMemModel* m_model;

private:
    QmdRequestId m_id;
    Qmd::RequestFlags m_flags;
    QString m_intent;
    quint64 m_serial;
    QList<QmdCommand*> m_subCommands;
};

template<class K, class S>
class QmdMemModel::QmdSetCommand : public QmdMemModel::QmdCommand
{
public:
    QmdSetCommand(QmdMemModel* model, S* container, const QMap<K, QVariant>& values);
    ~QmdSetCommand() override;
    void redo() override;
    void undo() override;

private:
    QMap<K, QVariant> m_valuesToApply;
    QMap<K, QVariant> m_previousValues;
    QList<K> m_createdKeys;
    QmdIndex m_parent;
    quint64 m_containerIdentity;
};

template<class K, class S>
class QmdMemModel::QmdRemoveCommand : public QmdMemModel::QmdCommand
{
public:
    QmdRemoveCommand(QmdMemModel* model, S* container, const QList<K>& keys);
    ~QmdRemoveCommand() override;
    void redo() override;
    void undo() override;

private:
    QList<K> m_keysToRemove;
    QMap<K, QVariant> m_removedValues;
    QmdIndex m_parent;
    quint64 m_containerIdentity;
};

class QmdMemModel::QmdSetRootCommand : public QmdMemModel::QmdCommand
{
public:
    QmdSetRootCommand(QmdMemModel* model, const QVariant& newRoot);
    ~QmdSetRootCommand() override;
    void redo() override;
    void undo() override;

private:
    void swapRoot();

    QVariant m_heldRoot;
};

#endif // QMDMEMMODELCOMMANDS_H
