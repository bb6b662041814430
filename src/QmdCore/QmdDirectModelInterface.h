#ifndef QMDDIRECTMODELINTERFACE_H
#define QMDDIRECTMODELINTERFACE_H

#include "QmdModel.h"

#include <QPointer>

// Unlocked access to one model: every operation forwards to the model operation of the same
// name, without a lock and without opening a request. Changes join whatever request the
// caller has open. Once the model is gone, reads give empty answers and changes do nothing.
class QmdDirectModelInterface
{
public:
    explicit QmdDirectModelInterface(QmdModel* model = nullptr);
    virtual ~QmdDirectModelInterface();
    virtual void setModel(QmdModel* model);
    QmdModel* model() const { return m_model.data(); }

    // Reading
    QmdIndex directIndex(QmdItemId id, const QmdIndex& parent) const;
    QmdIndex directIndex(const QString& key, const QmdIndex& parent) const;
    QmdIndex directParent(const QmdIndex& index) const;
    bool directHasChildren(const QmdIndex& index) const;
    QmdIndexList directChildren(const QmdIndex& index) const;
    QmdItemIdList directIdList(const QmdIndex& index) const;
    QStringList directKeys(const QmdIndex& index) const;
    QVariant directData(const QmdIndex& index) const;
    QVariant directData(QmdItemId id, const QmdIndex& parent) const;
    QVariant directData(const QString& key, const QmdIndex& parent) const;
    QList<QVariant> directData(const QStringList& keys, const QmdIndex& parent) const;
    Qmd::ContainerType directType(const QmdIndex& index) const;
    QList<QVariant> directChildValues(const QmdIndex& index) const;
    bool directIsValidIndex(const QmdIndex& index) const;
    // Whether index addresses an existing child that is a container of type. A store into an
    // index that was looked up checks this first: a lookup that found nothing gives the
    // default index, which stands for the root.
    bool directIsContainer(const QmdIndex& index, Qmd::ContainerType type) const;

    // Changing the tree
    QmdItemIdList directAddData(const QList<QVariant>& values, const QmdIndex& parent);
    QmdItemId directAddData(const QVariant& value, const QmdIndex& parent);
    void directSetData(const QHash<QmdItemId, QVariant>& values, const QmdIndex& parent);
    void directSetData(const QHash<QString, QVariant>& values, const QmdIndex& parent);
    void directSetData(const QHash<QmdIndex, QVariant>& values);
    void directSetData(QmdItemId id, const QVariant& value, const QmdIndex& parent);
    void directSetData(const QString& key, const QVariant& value, const QmdIndex& parent);
    void directSetData(const QmdIndex& index, const QVariant& value);
    void directSetDataIfInvalid(QmdItemId id, const QVariant& value, const QmdIndex& parent);
    void directSetDataIfInvalid(const QString& key, const QVariant& value, const QmdIndex& parent);
    QmdItemIdList directAddTypes(const QList<Qmd::ContainerType>& types, const QmdIndex& parent);
    QmdItemId directAddType(Qmd::ContainerType type, const QmdIndex& parent);
    void directSetTypes(const QHash<QmdItemId, Qmd::ContainerType>& types, const QmdIndex& parent);
    void directSetTypes(const QHash<QString, Qmd::ContainerType>& types, const QmdIndex& parent);
    void directSetTypes(const QHash<QmdIndex, Qmd::ContainerType>& types);
    void directSetType(QmdItemId id, Qmd::ContainerType type, const QmdIndex& parent);
    void directSetType(const QString& key, Qmd::ContainerType type, const QmdIndex& parent);
    void directSetType(const QmdIndex& index, Qmd::ContainerType type);
    void directSetTypeIfInvalid(QmdItemId id, Qmd::ContainerType type, const QmdIndex& parent);
    void directSetTypeIfInvalid(const QString& key, Qmd::ContainerType type,
                                const QmdIndex& parent);
    void directRemove(const QmdItemIdList& ids, const QmdIndex& parent);
    void directRemove(const QStringList& keys, const QmdIndex& parent);
    void directRemove(const QmdIndexList& indexes);
    void directRemove(QmdItemId id, const QmdIndex& parent);
    void directRemove(const QString& key, const QmdIndex& parent);
    void directRemove(const QmdIndex& index);
    void directClear(const QmdIndex& index);
    void directSetRoot(const QVariant& value);
    void directSetRootType(Qmd::ContainerType type);

    // History
    int directUndoRedoLimit() const;
    void directSetUndoRedoLimit(int limit);
    bool directAtCleanState() const;
    void directMarkAsCleanState();
    bool directCanUndo() const;
    bool directCanRedo() const;
    QString directUndoText() const;
    QString directRedoText() const;
    void directUndo();
    void directRedo();
    void directClearHistory();

    // Requests
    void directBeginRequest(QmdRequestId id, Qmd::RequestFlags flags, const QString& intent);
    void directSetRequestStatus(int status);
    void directEndRequest();

private:
    QPointer<QmdModel> m_model;
};

#endif // QMDDIRECTMODELINTERFACE_H
