#include "QmdController.h"

QmdController::QmdController(QObject* parent)
    : QObject(parent)
{
    m_pendingRequests.reserve(100);
}

QmdController::~QmdController() = default;

// ---------------------------------------------------------------------------------------------
// Model and reset

void QmdController::setModel(QmdModel* newModel)
{
    if (QmdModel* old = model())
        disconnect(old, nullptr, this, nullptr);
    QmdDirectModelInterface::setModel(newModel);
    if (newModel) {
        relay(&QmdModel::atCleanStateChanged, &QmdController::receivedAtCleanStateChanged);
        relay(&QmdModel::canRedoChanged, &QmdController::receivedCanRedoChanged);
        relay(&QmdModel::canUndoChanged, &QmdController::receivedCanUndoChanged);
        relay(&QmdModel::redoTextChanged, &QmdController::receivedRedoTextChanged);
        relay(&QmdModel::undoTextChanged, &QmdController::receivedUndoTextChanged);
        relay<const QmdIndex&, const QmdItemIdList&, QmdRequestId>(
            &QmdModel::itemsChanged, &QmdController::receivedItemsChanged);
        relay<const QmdIndex&, const QStringList&, QmdRequestId>(
            &QmdModel::itemsChanged, &QmdController::receivedItemsChanged);
        relay<const QmdIndex&, const QmdItemIdList&, QmdRequestId>(
            &QmdModel::itemsRemoved, &QmdController::receivedItemsRemoved);
        relay<const QmdIndex&, const QStringList&, QmdRequestId>(
            &QmdModel::itemsRemoved, &QmdController::receivedItemsRemoved);
        relay(&QmdModel::rootChanged, &QmdController::receivedRootChanged);
        relay(&QmdModel::requestFinished, &QmdController::receivedRequestFinished);
    }
    reset();
}

// The model's signals reach their relay slots queued: later, on this controller's thread, in
// the order the model emitted them, whichever thread emitted them. Signals that come before
// the controller's thread gets to them are delivered together, for one posted event: a request
// that changes many containers wakes the controller's thread once, not once per change.
template<class... Args>
void QmdController::relay(void (QmdModel::*signal)(Args...), void (QmdController::*slot)(Args...))
{
    connect(
        model(), signal, this,
        [this, slot](Args... args) {
            queueRelay([this, slot, args...] { (this->*slot)(args...); });
        },
        Qt::DirectConnection);
}

void QmdController::queueRelay(std::function<void()> relay)
{
    bool first;
    {
        std::lock_guard<std::mutex> lock(m_relayMutex);
        first = m_relays.empty();
        m_relays.push_back(std::move(relay));
    }
    if (first)
        QMetaObject::invokeMethod(this, &QmdController::deliverRelays, Qt::QueuedConnection);
}

void QmdController::deliverRelays()
{
    std::vector<std::function<void()>> relays;
    {
        std::lock_guard<std::mutex> lock(m_relayMutex);
        relays.swap(m_relays);
    }
    for (const std::function<void()>& relay : relays)
        relay();
}

void QmdController::reset()
{
    Reset();
    emit modelReset();
}

void QmdController::Reset()
{
    QList<QObject*> objects;
    {
        const ReadLocker locker(this);
        objects = m_bindings.uniqueKeys();
    }
    for (QObject* object : objects)
        updateBoundObject(object, nullptr);
}

const QSet<QmdRequestId>& QmdController::requestsPending() const
{
    return m_pendingRequests;
}

// ---------------------------------------------------------------------------------------------
// Read API

int QmdController::undoRedoLimit() const
{
    const ReadLocker locker(this);
    return directUndoRedoLimit();
}

bool QmdController::atCleanState() const
{
    const ReadLocker locker(this);
    return directAtCleanState();
}

bool QmdController::canRedo() const
{
    const ReadLocker locker(this);
    return directCanRedo();
}

bool QmdController::canUndo() const
{
    const ReadLocker locker(this);
    return directCanUndo();
}

QString QmdController::redoText() const
{
    const ReadLocker locker(this);
    return directRedoText();
}

QString QmdController::undoText() const
{
    const ReadLocker locker(this);
    return directUndoText();
}

bool QmdController::isValidIndex(const QmdIndex& index) const
{
    const ReadLocker locker(this);
    return directIsValidIndex(index);
}

QmdIndex QmdController::index(QmdItemId id, const QmdIndex& parent) const
{
    const ReadLocker locker(this);
    return directIndex(id, parent);
}

QmdIndex QmdController::index(const QString& key, const QmdIndex& parent) const
{
    const ReadLocker locker(this);
    return directIndex(key, parent);
}

QmdIndex QmdController::parent(const QmdIndex& index) const
{
    const ReadLocker locker(this);
    return directParent(index);
}

bool QmdController::hasChildren(const QmdIndex& index) const
{
    const ReadLocker locker(this);
    return directHasChildren(index);
}

QmdIndexList QmdController::children(const QmdIndex& index) const
{
    const ReadLocker locker(this);
    return directChildren(index);
}

Qmd::ContainerType QmdController::type(const QmdIndex& index) const
{
    const ReadLocker locker(this);
    return directType(index);
}

QVariant QmdController::data(QmdItemId id, const QmdIndex& parent) const
{
    const ReadLocker locker(this);
    return directData(id, parent);
}

QVariant QmdController::data(const QString& key, const QmdIndex& parent) const
{
    const ReadLocker locker(this);
    return directData(key, parent);
}

QVariant QmdController::data(const QmdIndex& index) const
{
    const ReadLocker locker(this);
    return directData(index);
}

QList<QVariant> QmdController::childValues(const QmdIndex& index) const
{
    const ReadLocker locker(this);
    return directChildValues(index);
}

QmdItemIdList QmdController::idList(const QmdIndex& parent) const
{
    const ReadLocker locker(this);
    return directIdList(parent);
}

QStringList QmdController::keys(const QmdIndex& parent) const
{
    const ReadLocker locker(this);
    return directKeys(parent);
}

QList<QmdRequestId> QmdController::unfinishedUndoRedoRequests() const
{
    const ReadLocker locker(this);
    return m_unfinishedUndoRedoRequestIds;
}

// ---------------------------------------------------------------------------------------------
// Request plumbing

QmdRequestId QmdController::registerNewRequestId()
{
    // Ids run 2, 3, ... and wrap to 1. 0xFFFFFFFF is skipped: the transport requests return it
    // as "no request id".
    if (requestCounter >= 1 && requestCounter < 0xFFFFFFFEu)
        ++requestCounter;
    else
        requestCounter = 1;
    return requestCounter;
}

void QmdController::deregisterRequestId(QmdRequestId) { }

void QmdController::lockRead() const { }

void QmdController::unlockRead() const { }

void QmdController::lockWrite() { }

void QmdController::unlockWrite() { }

QmdRequestId QmdController::requestId(const QmdRequestOptions& options)
{
    return options.id != 0 ? options.id : registerNewRequestId();
}

QmdRequestId QmdController::beginRequest(const QmdRequestOptions& options)
{
    const QmdRequestId id = requestId(options);
    beginRequest(id, options.flags, options.intent);
    return id;
}

void QmdController::beginRequest(QmdRequestId id, Qmd::RequestFlags flags, const QString& intent)
{
    lockWrite();
    // Requests on one model never nest: the model knows one current request only.
    Q_ASSERT_X(!m_requestOpen, "QmdController::beginRequest",
               "a request was begun while another one is open");
    m_requestOpen = true;
    directBeginRequest(id, flags, intent);
}

QmdRequestId QmdController::endRequest(QmdRequestId id)
{
    directEndRequest();
    m_requestOpen = false;
    unlockWrite();
    return id;
}

QmdRequestId QmdController::endRequest(int status, QmdRequestId id)
{
    directSetRequestStatus(status);
    return endRequest(id);
}

template<class Op>
QmdRequestId QmdController::runRequest(const QmdRequestOptions& options, Op op)
{
    if (!model())
        return 0;
    const QmdRequestId id = beginRequest(options);
    op();
    return endRequest(id);
}

template<class Op>
QmdRequestId QmdController::runHistoryRequest(const QString& intent, bool undoOrRedo, Op op)
{
    if (!model())
        return 0;
    const QmdRequestId id = registerNewRequestId();
    beginRequest(id, Qmd::NotUndoable, intent);
    if (undoOrRedo)
        m_unfinishedUndoRedoRequestIds.append(id);
    op();
    return endRequest(id);
}

// ---------------------------------------------------------------------------------------------
// History requests

QmdRequestId QmdController::requestSetUndoRedoLimit(int limit)
{
    return runHistoryRequest(tr("Undo/Redo Limit"), false, [&] { directSetUndoRedoLimit(limit); });
}

QmdRequestId QmdController::requestMarkAsCleanState()
{
    return runHistoryRequest(tr("Mark Clean State"), false, [&] { directMarkAsCleanState(); });
}

QmdRequestId QmdController::requestRedo()
{
    return runHistoryRequest(tr("Redo"), true, [&] { directRedo(); });
}

QmdRequestId QmdController::requestUndo()
{
    return runHistoryRequest(tr("Undo"), true, [&] { directUndo(); });
}

// ---------------------------------------------------------------------------------------------
// Requests

QmdRequestId QmdController::requestAddData(const QVariant& data, const QmdIndex& parent,
                                           const QmdRequestOptions& options)
{
    return requestAddData(QList<QVariant> {data}, parent, options);
}

QmdRequestId QmdController::requestAddData(const QVariant& data, const QmdIndex& parent)
{
    return requestAddData(data, parent, QmdRequestOptions(tr("Add Data")));
}

QmdRequestId QmdController::requestAddData(const QList<QVariant>& data, const QmdIndex& parent,
                                           const QmdRequestOptions& options)
{
    return runRequest(options, [&] { directAddData(data, parent); });
}

QmdRequestId QmdController::requestAddData(const QList<QVariant>& data, const QmdIndex& parent)
{
    return requestAddData(data, parent, QmdRequestOptions(tr("Add Data")));
}

QmdRequestId QmdController::requestSetData(QmdItemId id, const QVariant& data,
                                           const QmdIndex& parent, const QmdRequestOptions& options)
{
    return requestSetData(QHash<QmdItemId, QVariant> {{id, data}}, parent, options);
}

QmdRequestId QmdController::requestSetData(QmdItemId id, const QVariant& data,
                                           const QmdIndex& parent)
{
    return requestSetData(id, data, parent, QmdRequestOptions(tr("Set Data")));
}

QmdRequestId QmdController::requestSetData(const QHash<QmdItemId, QVariant>& pairs,
                                           const QmdIndex& parent, const QmdRequestOptions& options)
{
    return runRequest(options, [&] { directSetData(pairs, parent); });
}

QmdRequestId QmdController::requestSetData(const QHash<QmdItemId, QVariant>& pairs,
                                           const QmdIndex& parent)
{
    return requestSetData(pairs, parent, QmdRequestOptions(tr("Set Data")));
}

QmdRequestId QmdController::requestSetData(const QString& key, const QVariant& data,
                                           const QmdIndex& parent, const QmdRequestOptions& options)
{
    return requestSetData(QHash<QString, QVariant> {{key, data}}, parent, options);
}

QmdRequestId QmdController::requestSetData(const QString& key, const QVariant& data,
                                           const QmdIndex& parent)
{
    return requestSetData(key, data, parent, QmdRequestOptions(tr("Set Data")));
}

QmdRequestId QmdController::requestSetData(const QHash<QString, QVariant>& pairs,
                                           const QmdIndex& parent, const QmdRequestOptions& options)
{
    return runRequest(options, [&] { directSetData(pairs, parent); });
}

QmdRequestId QmdController::requestSetData(const QHash<QString, QVariant>& pairs,
                                           const QmdIndex& parent)
{
    return requestSetData(pairs, parent, QmdRequestOptions(tr("Set Data")));
}

QmdRequestId QmdController::requestSetRoot(const QVariant& data, const QmdRequestOptions& options)
{
    return runRequest(options, [&] { directSetRoot(data); });
}

QmdRequestId QmdController::requestSetRoot(const QVariant& data)
{
    return requestSetRoot(data, QmdRequestOptions(tr("Set Root")));
}

QmdRequestId QmdController::requestSetData(const QmdIndex& index, const QVariant& data,
                                           const QmdRequestOptions& options)
{
    return requestSetData(QHash<QmdIndex, QVariant> {{index, data}}, options);
}

QmdRequestId QmdController::requestSetData(const QmdIndex& index, const QVariant& data)
{
    return requestSetData(index, data, QmdRequestOptions(tr("Set Data")));
}

QmdRequestId QmdController::requestSetData(const QHash<QmdIndex, QVariant>& pairs,
                                           const QmdRequestOptions& options)
{
    return runRequest(options, [&] { directSetData(pairs); });
}

QmdRequestId QmdController::requestSetData(const QHash<QmdIndex, QVariant>& pairs)
{
    return requestSetData(pairs, QmdRequestOptions(tr("Set Data")));
}

QmdRequestId QmdController::requestSetDataIfInvalid(QmdItemId id, const QVariant& fallbackData,
                                                    const QmdIndex& parent,
                                                    const QmdRequestOptions& options)
{
    return runRequest(options, [&] { directSetDataIfInvalid(id, fallbackData, parent); });
}

QmdRequestId QmdController::requestSetDataIfInvalid(QmdItemId id, const QVariant& fallbackData,
                                                    const QmdIndex& parent)
{
    return requestSetDataIfInvalid(id, fallbackData, parent,
                                   QmdRequestOptions(tr("Set Data If Invalid")));
}

QmdRequestId QmdController::requestSetDataIfInvalid(const QString& key,
                                                    const QVariant& fallbackData,
                                                    const QmdIndex& parent,
                                                    const QmdRequestOptions& options)
{
    return runRequest(options, [&] { directSetDataIfInvalid(key, fallbackData, parent); });
}

QmdRequestId QmdController::requestSetDataIfInvalid(const QString& key,
                                                    const QVariant& fallbackData,
                                                    const QmdIndex& parent)
{
    return requestSetDataIfInvalid(key, fallbackData, parent,
                                   QmdRequestOptions(tr("Set Data If Invalid")));
}

QmdRequestId QmdController::requestAddType(Qmd::ContainerType type, const QmdIndex& parent,
                                           const QmdRequestOptions& options)
{
    return requestAddTypes(QList<Qmd::ContainerType> {type}, parent, options);
}

QmdRequestId QmdController::requestAddType(Qmd::ContainerType type, const QmdIndex& parent)
{
    return requestAddType(type, parent, QmdRequestOptions(tr("Add Type")));
}

QmdRequestId QmdController::requestAddTypes(const QList<Qmd::ContainerType>& types,
                                            const QmdIndex& parent,
                                            const QmdRequestOptions& options)
{
    return runRequest(options, [&] { directAddTypes(types, parent); });
}

QmdRequestId QmdController::requestAddTypes(const QList<Qmd::ContainerType>& types,
                                            const QmdIndex& parent)
{
    return requestAddTypes(types, parent, QmdRequestOptions(tr("Add Types")));
}

QmdRequestId QmdController::requestSetType(QmdItemId id, Qmd::ContainerType type,
                                           const QmdIndex& parent, const QmdRequestOptions& options)
{
    return requestSetTypes(QHash<QmdItemId, Qmd::ContainerType> {{id, type}}, parent, options);
}

QmdRequestId QmdController::requestSetType(QmdItemId id, Qmd::ContainerType type,
                                           const QmdIndex& parent)
{
    return requestSetType(id, type, parent, QmdRequestOptions(tr("Set Type")));
}

QmdRequestId QmdController::requestSetTypes(const QHash<QmdItemId, Qmd::ContainerType>& types,
                                            const QmdIndex& parent,
                                            const QmdRequestOptions& options)
{
    return runRequest(options, [&] { directSetTypes(types, parent); });
}

QmdRequestId QmdController::requestSetTypes(const QHash<QmdItemId, Qmd::ContainerType>& types,
                                            const QmdIndex& parent)
{
    return requestSetTypes(types, parent, QmdRequestOptions(tr("Set Types")));
}

QmdRequestId QmdController::requestSetType(const QString& key, Qmd::ContainerType type,
                                           const QmdIndex& parent, const QmdRequestOptions& options)
{
    return requestSetTypes(QHash<QString, Qmd::ContainerType> {{key, type}}, parent, options);
}

QmdRequestId QmdController::requestSetType(const QString& key, Qmd::ContainerType type,
                                           const QmdIndex& parent)
{
    return requestSetType(key, type, parent, QmdRequestOptions(tr("Set Type")));
}

QmdRequestId QmdController::requestSetTypes(const QHash<QString, Qmd::ContainerType>& types,
                                            const QmdIndex& parent,
                                            const QmdRequestOptions& options)
{
    return runRequest(options, [&] { directSetTypes(types, parent); });
}

QmdRequestId QmdController::requestSetTypes(const QHash<QString, Qmd::ContainerType>& types,
                                            const QmdIndex& parent)
{
    return requestSetTypes(types, parent, QmdRequestOptions(tr("Set Types")));
}

QmdRequestId QmdController::requestSetRootType(Qmd::ContainerType type,
                                               const QmdRequestOptions& options)
{
    return runRequest(options, [&] { directSetRootType(type); });
}

QmdRequestId QmdController::requestSetRootType(Qmd::ContainerType type)
{
    return requestSetRootType(type, QmdRequestOptions(tr("Set Root Type")));
}

QmdRequestId QmdController::requestSetType(const QmdIndex& index, Qmd::ContainerType type,
                                           const QmdRequestOptions& options)
{
    return requestSetTypes(QHash<QmdIndex, Qmd::ContainerType> {{index, type}}, options);
}

QmdRequestId QmdController::requestSetType(const QmdIndex& index, Qmd::ContainerType type)
{
    return requestSetType(index, type, QmdRequestOptions(tr("Set Type")));
}

QmdRequestId QmdController::requestSetTypes(const QHash<QmdIndex, Qmd::ContainerType>& types,
                                            const QmdRequestOptions& options)
{
    return runRequest(options, [&] { directSetTypes(types); });
}

QmdRequestId QmdController::requestSetTypes(const QHash<QmdIndex, Qmd::ContainerType>& types)
{
    return requestSetTypes(types, QmdRequestOptions(tr("Set Types")));
}

QmdRequestId QmdController::requestSetTypeIfInvalid(QmdItemId id, Qmd::ContainerType fallbackType,
                                                    const QmdIndex& parent,
                                                    const QmdRequestOptions& options)
{
    return runRequest(options, [&] { directSetTypeIfInvalid(id, fallbackType, parent); });
}

QmdRequestId QmdController::requestSetTypeIfInvalid(QmdItemId id, Qmd::ContainerType fallbackType,
                                                    const QmdIndex& parent)
{
    return requestSetTypeIfInvalid(id, fallbackType, parent,
                                   QmdRequestOptions(tr("Set Type If Invalid")));
}

QmdRequestId QmdController::requestSetTypeIfInvalid(const QString& key,
                                                    Qmd::ContainerType fallbackType,
                                                    const QmdIndex& parent,
                                                    const QmdRequestOptions& options)
{
    return runRequest(options, [&] { directSetTypeIfInvalid(key, fallbackType, parent); });
}

QmdRequestId QmdController::requestSetTypeIfInvalid(const QString& key,
                                                    Qmd::ContainerType fallbackType,
                                                    const QmdIndex& parent)
{
    return requestSetTypeIfInvalid(key, fallbackType, parent,
                                   QmdRequestOptions(tr("Set Type If Invalid")));
}

QmdRequestId QmdController::requestRemove(QmdItemId id, const QmdIndex& parent,
                                          const QmdRequestOptions& options)
{
    return requestRemove(QmdItemIdList {id}, parent, options);
}

QmdRequestId QmdController::requestRemove(QmdItemId id, const QmdIndex& parent)
{
    return requestRemove(id, parent, QmdRequestOptions(tr("Remove")));
}

QmdRequestId QmdController::requestRemove(const QmdItemIdList& idList, const QmdIndex& parent,
                                          const QmdRequestOptions& options)
{
    return runRequest(options, [&] { directRemove(idList, parent); });
}

QmdRequestId QmdController::requestRemove(const QmdItemIdList& idList, const QmdIndex& parent)
{
    return requestRemove(idList, parent, QmdRequestOptions(tr("Remove")));
}

QmdRequestId QmdController::requestRemove(const QString& key, const QmdIndex& parent,
                                          const QmdRequestOptions& options)
{
    return requestRemove(QStringList {key}, parent, options);
}

QmdRequestId QmdController::requestRemove(const QString& key, const QmdIndex& parent)
{
    return requestRemove(key, parent, QmdRequestOptions(tr("Remove")));
}

QmdRequestId QmdController::requestRemove(const QStringList& keys, const QmdIndex& parent,
                                          const QmdRequestOptions& options)
{
    return runRequest(options, [&] { directRemove(keys, parent); });
}

QmdRequestId QmdController::requestRemove(const QStringList& keys, const QmdIndex& parent)
{
    return requestRemove(keys, parent, QmdRequestOptions(tr("Remove")));
}

QmdRequestId QmdController::requestRemove(const QmdIndex& index, const QmdRequestOptions& options)
{
    return requestRemove(QmdIndexList {index}, options);
}

QmdRequestId QmdController::requestRemove(const QmdIndex& index)
{
    return requestRemove(index, QmdRequestOptions(tr("Remove")));
}

QmdRequestId QmdController::requestRemove(const QmdIndexList& indexes,
                                          const QmdRequestOptions& options)
{
    return runRequest(options, [&] { directRemove(indexes); });
}

QmdRequestId QmdController::requestRemove(const QmdIndexList& indexes)
{
    return requestRemove(indexes, QmdRequestOptions(tr("Remove")));
}

QmdRequestId QmdController::requestClear(const QmdIndex& parent, const QmdRequestOptions& options)
{
    return runRequest(options, [&] { directClear(parent); });
}

QmdRequestId QmdController::requestClear(const QmdIndex& parent)
{
    return requestClear(parent, QmdRequestOptions(tr("Clear")));
}

// ---------------------------------------------------------------------------------------------
// Relays from the model, run on the controller's thread

void QmdController::receivedAtCleanStateChanged(bool atCleanState, QmdRequestId rid)
{
    emit atCleanStateChanged(atCleanState, rid);
}

void QmdController::receivedCanRedoChanged(bool canRedo, QmdRequestId rid)
{
    emit canRedoChanged(canRedo, rid);
}

void QmdController::receivedCanUndoChanged(bool canUndo, QmdRequestId rid)
{
    emit canUndoChanged(canUndo, rid);
}

void QmdController::receivedRedoTextChanged(const QString& redoText, QmdRequestId rid)
{
    emit redoTextChanged(redoText, rid);
}

void QmdController::receivedUndoTextChanged(const QString& undoText, QmdRequestId rid)
{
    emit undoTextChanged(undoText, rid);
}

void QmdController::receivedItemsChanged(const QmdIndex& parent, const QmdItemIdList& idList,
                                         QmdRequestId rid)
{
    emit itemsChanged(parent, idList, rid);
}

void QmdController::receivedItemsChanged(const QmdIndex& parent, const QStringList& keys,
                                         QmdRequestId rid)
{
    emit itemsChanged(parent, keys, rid);
    if (watchesContainer(parent))
        queueBoundObjectUpdates(parent, QSet<QString>(keys.cbegin(), keys.cend()), rid);
}

void QmdController::receivedItemsRemoved(const QmdIndex& parent, const QmdItemIdList& idList,
                                         QmdRequestId rid)
{
    emit itemsRemoved(parent, idList, rid);
}

void QmdController::receivedItemsRemoved(const QmdIndex& parent, const QStringList& keys,
                                         QmdRequestId rid)
{
    emit itemsRemoved(parent, keys, rid);
    if (watchesContainer(parent))
        queueBoundObjectUpdates(parent, QSet<QString>(keys.cbegin(), keys.cend()), rid);
}

void QmdController::receivedRootChanged(QmdRequestId rid)
{
    emit rootChanged(rid);
}

void QmdController::receivedRequestFinished(QmdRequestId rid, Qmd::RequestFlags, int status)
{
    // Every relay of a request comes before its finish, so nothing is queued for rid after this.
    QList<QObject*> queued;
    {
        const WriteLocker locker(this);
        queued = m_pendingBoundUpdates.values(rid);
        m_pendingBoundUpdates.remove(rid);
    }
    QSet<QObject*> refreshed;
    for (QObject* object : queued) {
        if (!refreshed.contains(object)) {
            refreshed.insert(object);
            updateBoundObject(object, nullptr);
        }
    }
    emit requestFinished(rid, status);
    const WriteLocker locker(this);
    deregisterRequestId(rid);
    m_unfinishedUndoRedoRequestIds.removeOne(rid);
}
