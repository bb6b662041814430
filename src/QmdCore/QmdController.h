#ifndef QMDCONTROLLER_H
#define QMDCONTROLLER_H

#include "QmdBindingInfo.h"
#include "QmdDirectModelInterface.h"
#include "QmdRequestOptions.h"

#include <QMultiHash>
#include <QObject>
#include <QObjectList>
#include <QSet>

#include <functional>
#include <mutex>
#include <vector>

// The front through which the program reads and changes a model. Every read runs between the
// read-lock hooks; every change is a numbered request that runs at once on the caller's thread
// between the write-lock hooks and becomes one undo step (unless it is not undoable). The
// model's change signals reach the controller queued, on its own thread, and are re-emitted
// under the same names. The controller also keeps objects' properties bound to model items.
//
// The lock hooks are empty here: used alone, a controller belongs to one thread.
class QmdController : public QObject, public QmdDirectModelInterface
{
    Q_OBJECT

public:
    enum UnbindAction { RemoveBinding = 1, ResetProperty = 2, DisconnectSignals = 4 };
    Q_DECLARE_FLAGS(UnbindActions, UnbindAction)

    explicit QmdController(QObject* parent = nullptr);
    ~QmdController() override;

    void setModel(QmdModel* model) override;
    virtual const QSet<QmdRequestId>& requestsPending() const;

    // Read API
    virtual int undoRedoLimit() const;
    virtual bool atCleanState() const;
    virtual bool canRedo() const;
    virtual bool canUndo() const;
    virtual QString redoText() const;
    virtual QString undoText() const;
    virtual bool isValidIndex(const QmdIndex& index) const;
    virtual QmdIndex index(QmdItemId id, const QmdIndex& parent) const;
    virtual QmdIndex index(const QString& key, const QmdIndex& parent) const;
    virtual QmdIndex parent(const QmdIndex& index) const;
    virtual bool hasChildren(const QmdIndex& index) const;
    virtual QmdIndexList children(const QmdIndex& index) const;
    virtual Qmd::ContainerType type(const QmdIndex& index) const;
    virtual QVariant data(QmdItemId id, const QmdIndex& parent) const;
    virtual QVariant data(const QString& key, const QmdIndex& parent) const;
    virtual QVariant data(const QmdIndex& index) const;
    virtual QList<QVariant> childValues(const QmdIndex& index) const;
    virtual QmdItemIdList idList(const QmdIndex& parent) const;
    virtual QStringList keys(const QmdIndex& parent) const;

    QList<QmdRequestId> unfinishedUndoRedoRequests() const;

    // Request plumbing, for subclasses that run several model operations in one request.
    QmdRequestId beginRequest(const QmdRequestOptions& options);
    virtual void beginRequest(QmdRequestId id, Qmd::RequestFlags flags, const QString& intent);
    virtual QmdRequestId endRequest(QmdRequestId id);
    // Ends the request with a status that its finish signal reports.
    QmdRequestId endRequest(int status, QmdRequestId id);
    QmdRequestId requestId(const QmdRequestOptions& options);

    // Bindings
    void bind(QObject* object, const char* property, const char* signal, const QString& key,
              const QmdIndex& parent, const QVariant& defaultValue, const QVariant& mixedValue,
              const QString& intent, Qmd::RequestFlags flags = Qmd::NoRequestFlags);
    void bind(QObject* object, const char* property, const char* signal,
              const QHash<QmdIndex, QSet<QString>>& items, const QVariant& defaultValue,
              const QVariant& mixedValue, const QString& intent,
              Qmd::RequestFlags flags = Qmd::NoRequestFlags);
    QMultiHash<QObject*, QmdBindingInfo> bindings() const;
    QList<QmdBindingInfo> bindings(QObject* object) const;

    // Two values are the same when they are equal, or when the second converts to the type of
    // the first and is then equal to it (a number and its text are the same value).
    static bool sameValue(const QVariant& a, const QVariant& b);

public slots:
    virtual QmdRequestId requestSetUndoRedoLimit(int limit);
    virtual QmdRequestId requestMarkAsCleanState();
    virtual QmdRequestId requestRedo();
    virtual QmdRequestId requestUndo();

    QmdRequestId requestAddData(const QVariant& data, const QmdIndex& parent,
                                const QmdRequestOptions& options);
    QmdRequestId requestAddData(const QVariant& data, const QmdIndex& parent = QmdIndex());
    virtual QmdRequestId requestAddData(const QList<QVariant>& data, const QmdIndex& parent,
                                        const QmdRequestOptions& options);
    QmdRequestId requestAddData(const QList<QVariant>& data, const QmdIndex& parent = QmdIndex());

    QmdRequestId requestSetData(QmdItemId id, const QVariant& data, const QmdIndex& parent,
                                const QmdRequestOptions& options);
    QmdRequestId requestSetData(QmdItemId id, const QVariant& data,
                                const QmdIndex& parent = QmdIndex());
    virtual QmdRequestId requestSetData(const QHash<QmdItemId, QVariant>& pairs,
                                        const QmdIndex& parent, const QmdRequestOptions& options);
    QmdRequestId requestSetData(const QHash<QmdItemId, QVariant>& pairs,
                                const QmdIndex& parent = QmdIndex());
    QmdRequestId requestSetData(const QString& key, const QVariant& data, const QmdIndex& parent,
                                const QmdRequestOptions& options);
    QmdRequestId requestSetData(const QString& key, const QVariant& data,
                                const QmdIndex& parent = QmdIndex());
    virtual QmdRequestId requestSetData(const QHash<QString, QVariant>& pairs,
                                        const QmdIndex& parent, const QmdRequestOptions& options);
    QmdRequestId requestSetData(const QHash<QString, QVariant>& pairs,
                                const QmdIndex& parent = QmdIndex());
    QmdRequestId requestSetRoot(const QVariant& data, const QmdRequestOptions& options);
    QmdRequestId requestSetRoot(const QVariant& data);
    QmdRequestId requestSetData(const QmdIndex& index, const QVariant& data,
                                const QmdRequestOptions& options);
    QmdRequestId requestSetData(const QmdIndex& index, const QVariant& data);
    virtual QmdRequestId requestSetData(const QHash<QmdIndex, QVariant>& pairs,
                                        const QmdRequestOptions& options);
    QmdRequestId requestSetData(const QHash<QmdIndex, QVariant>& pairs);
    virtual QmdRequestId requestSetDataIfInvalid(QmdItemId id, const QVariant& fallbackData,
                                                 const QmdIndex& parent,
                                                 const QmdRequestOptions& options);
    QmdRequestId requestSetDataIfInvalid(QmdItemId id, const QVariant& fallbackData,
                                         const QmdIndex& parent = QmdIndex());
    virtual QmdRequestId requestSetDataIfInvalid(const QString& key, const QVariant& fallbackData,
                                                 const QmdIndex& parent,
                                                 const QmdRequestOptions& options);
    QmdRequestId requestSetDataIfInvalid(const QString& key, const QVariant& fallbackData,
                                         const QmdIndex& parent = QmdIndex());

    QmdRequestId requestAddType(Qmd::ContainerType type, const QmdIndex& parent,
                                const QmdRequestOptions& options);
    QmdRequestId requestAddType(Qmd::ContainerType type, const QmdIndex& parent = QmdIndex());
    virtual QmdRequestId requestAddTypes(const QList<Qmd::ContainerType>& types,
                                         const QmdIndex& parent, const QmdRequestOptions& options);
    QmdRequestId requestAddTypes(const QList<Qmd::ContainerType>& types,
                                 const QmdIndex& parent = QmdIndex());
    QmdRequestId requestSetType(QmdItemId id, Qmd::ContainerType type, const QmdIndex& parent,
                                const QmdRequestOptions& options);
    QmdRequestId requestSetType(QmdItemId id, Qmd::ContainerType type,
                                const QmdIndex& parent = QmdIndex());
    virtual QmdRequestId requestSetTypes(const QHash<QmdItemId, Qmd::ContainerType>& types,
                                         const QmdIndex& parent, const QmdRequestOptions& options);
    QmdRequestId requestSetTypes(const QHash<QmdItemId, Qmd::ContainerType>& types,
                                 const QmdIndex& parent = QmdIndex());
    QmdRequestId requestSetType(const QString& key, Qmd::ContainerType type, const QmdIndex& parent,
                                const QmdRequestOptions& options);
    QmdRequestId requestSetType(const QString& key, Qmd::ContainerType type,
                                const QmdIndex& parent = QmdIndex());
    virtual QmdRequestId requestSetTypes(const QHash<QString, Qmd::ContainerType>& types,
                                         const QmdIndex& parent, const QmdRequestOptions& options);
    QmdRequestId requestSetTypes(const QHash<QString, Qmd::ContainerType>& types,
                                 const QmdIndex& parent = QmdIndex());
    QmdRequestId requestSetRootType(Qmd::ContainerType type, const QmdRequestOptions& options);
    QmdRequestId requestSetRootType(Qmd::ContainerType type);
    QmdRequestId requestSetType(const QmdIndex& index, Qmd::ContainerType type,
                                const QmdRequestOptions& options);
    QmdRequestId requestSetType(const QmdIndex& index, Qmd::ContainerType type);
    virtual QmdRequestId requestSetTypes(const QHash<QmdIndex, Qmd::ContainerType>& types,
                                         const QmdRequestOptions& options);
    QmdRequestId requestSetTypes(const QHash<QmdIndex, Qmd::ContainerType>& types);
    virtual QmdRequestId requestSetTypeIfInvalid(QmdItemId id, Qmd::ContainerType fallbackType,
                                                 const QmdIndex& parent,
                                                 const QmdRequestOptions& options);
    QmdRequestId requestSetTypeIfInvalid(QmdItemId id, Qmd::ContainerType fallbackType,
                                         const QmdIndex& parent = QmdIndex());
    virtual QmdRequestId requestSetTypeIfInvalid(const QString& key,
                                                 Qmd::ContainerType fallbackType,
                                                 const QmdIndex& parent,
                                                 const QmdRequestOptions& options);
    QmdRequestId requestSetTypeIfInvalid(const QString& key, Qmd::ContainerType fallbackType,
                                         const QmdIndex& parent = QmdIndex());

    QmdRequestId requestRemove(QmdItemId id, const QmdIndex& parent,
                               const QmdRequestOptions& options);
    QmdRequestId requestRemove(QmdItemId id, const QmdIndex& parent = QmdIndex());
    virtual QmdRequestId requestRemove(const QmdItemIdList& idList, const QmdIndex& parent,
                                       const QmdRequestOptions& options);
    QmdRequestId requestRemove(const QmdItemIdList& idList, const QmdIndex& parent = QmdIndex());
    QmdRequestId requestRemove(const QString& key, const QmdIndex& parent,
                               const QmdRequestOptions& options);
    QmdRequestId requestRemove(const QString& key, const QmdIndex& parent = QmdIndex());
    virtual QmdRequestId requestRemove(const QStringList& keys, const QmdIndex& parent,
                                       const QmdRequestOptions& options);
    QmdRequestId requestRemove(const QStringList& keys, const QmdIndex& parent = QmdIndex());
    QmdRequestId requestRemove(const QmdIndex& index, const QmdRequestOptions& options);
    QmdRequestId requestRemove(const QmdIndex& index);
    virtual QmdRequestId requestRemove(const QmdIndexList& indexes,
                                       const QmdRequestOptions& options);
    QmdRequestId requestRemove(const QmdIndexList& indexes);
    virtual QmdRequestId requestClear(const QmdIndex& parent, const QmdRequestOptions& options);
    QmdRequestId requestClear(const QmdIndex& parent = QmdIndex());

    void reset();

    void unbind(QObject* obj, const char* objProperty = nullptr,
                QmdController::UnbindActions actions = UnbindActions(7));
    void unbind(const QObjectList& objs, QmdController::UnbindActions actions = UnbindActions(7));
    void updateBoundObject(QObject* obj, const char* objProperty = nullptr);

signals:
    void atCleanStateChanged(bool atCleanState, QmdRequestId rid);
    void canRedoChanged(bool canRedo, QmdRequestId rid);
    void canUndoChanged(bool canUndo, QmdRequestId rid);
    void redoTextChanged(const QString& redoText, QmdRequestId rid);
    void undoTextChanged(const QString& undoText, QmdRequestId rid);
    void modelReset();
    void itemsChanged(const QmdIndex& parent, const QmdItemIdList& idList, QmdRequestId rid);
    void itemsChanged(const QmdIndex& parent, const QStringList& keys, QmdRequestId rid);
    void itemsRemoved(const QmdIndex& parent, const QmdItemIdList& idList, QmdRequestId rid);
    void itemsRemoved(const QmdIndex& parent, const QStringList& keys, QmdRequestId rid);
    void rootChanged(QmdRequestId rid);
    void requestFinished(QmdRequestId rid, int status);

protected:
    // Holds the model lock for one scope, in the manner of QMutexLocker. A read does all of
    // its work inside one: an index must not be looked at once the lock is gone, since asking
    // whether it is valid reads the model.
    class ReadLocker
    {
    public:
        explicit ReadLocker(const QmdController* controller)
            : m_controller(controller)
        {
            m_controller->lockRead();
        }
        ~ReadLocker() { m_controller->unlockRead(); }
        Q_DISABLE_COPY_MOVE(ReadLocker)

    private:
        const QmdController* m_controller;
    };

    class WriteLocker
    {
    public:
        explicit WriteLocker(QmdController* controller)
            : m_controller(controller)
        {
            m_controller->lockWrite();
        }
        ~WriteLocker() { m_controller->unlockWrite(); }
        Q_DISABLE_COPY_MOVE(WriteLocker)

    private:
        QmdController* m_controller;
    };

    virtual void Reset();
    virtual QmdRequestId registerNewRequestId();
    virtual void deregisterRequestId(QmdRequestId rid);
    virtual void lockRead() const;
    virtual void unlockRead() const;
    virtual void lockWrite();
    virtual void unlockWrite();

    void queueBoundObjectUpdates(const QmdIndex& parent, const QSet<QString>& keys,
                                 QmdRequestId rid);
    // Whether any binding watches keys of the container at parent.
    bool watchesContainer(const QmdIndex& parent) const;

    quint32 requestCounter = 1; // the last request id issued

protected slots:
    virtual void receivedAtCleanStateChanged(bool atCleanState, QmdRequestId rid);
    virtual void receivedCanRedoChanged(bool canRedo, QmdRequestId rid);
    virtual void receivedCanUndoChanged(bool canUndo, QmdRequestId rid);
    virtual void receivedRedoTextChanged(const QString& redoText, QmdRequestId rid);
    virtual void receivedUndoTextChanged(const QString& undoText, QmdRequestId rid);
    virtual void receivedItemsChanged(const QmdIndex& parent, const QmdItemIdList& idList,
                                      QmdRequestId rid);
    virtual void receivedItemsChanged(const QmdIndex& parent, const QStringList& keys,
                                      QmdRequestId rid);
    virtual void receivedItemsRemoved(const QmdIndex& parent, const QmdItemIdList& idList,
                                      QmdRequestId rid);
    virtual void receivedItemsRemoved(const QmdIndex& parent, const QStringList& keys,
                                      QmdRequestId rid);
    virtual void receivedRootChanged(QmdRequestId rid);
    virtual void receivedRequestFinished(QmdRequestId rid, Qmd::RequestFlags flags, int status);

    void unbindForDeletion(QObject* obj);
    void unbindForDeletion(const QObjectList& objs);

private slots:
    void onBoundObjectSignalled();

private:
    template<class... Args>
    void relay(void (QmdModel::*signal)(Args...), void (QmdController::*slot)(Args...));
    void queueRelay(std::function<void()> relay);
    void deliverRelays();

    // Runs op as one request, or does nothing and returns 0 when there is no model.
    template<class Op>
    QmdRequestId runRequest(const QmdRequestOptions& options, Op op);
    // Runs op as a request that is not undoable, under a new id.
    template<class Op>
    QmdRequestId runHistoryRequest(const QString& intent, bool undoOrRedo, Op op);

    // Bindings
    // What the binding's property shows for the document as it is; `mixed` tells whether the
    // watched items differ.
    QVariant shownValue(const QmdBindingInfo& binding, bool* mixed) const;
    QList<QPair<QmdBindingInfo, QVariant>> boundValues(QObject* obj, const char* objProperty) const;
    void applyBoundValue(QObject* obj, const QmdBindingInfo& binding, const QVariant& value);
    bool signalSharedWithOtherBinding(QObject* obj, const QmdBindingInfo& binding) const;
    void connectBindingSignal(QObject* obj, const QByteArray& signal);
    void disconnectBindingSignal(QObject* obj, const QByteArray& signal);

    QSet<QmdRequestId> m_pendingRequests;
    QList<QmdRequestId> m_unfinishedUndoRedoRequestIds;
    bool m_requestOpen = false;

    QMultiHash<QObject*, QmdBindingInfo> m_bindings;
    QHash<QmdIndex, QSet<QObject*>> m_boundObjectsByIndex;
    QMultiHash<QmdRequestId, QObject*> m_pendingBoundUpdates;
    QMultiHash<QObject*, QByteArray> m_connectedSignals;

    // Relays of model signals waiting for this controller's thread, in the order emitted.
    std::mutex m_relayMutex;
    std::vector<std::function<void()>> m_relays;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(QmdController::UnbindActions)

#endif // QMDCONTROLLER_H
