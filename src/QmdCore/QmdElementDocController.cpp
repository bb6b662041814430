#include "QmdElementDocController.h"

static const QString elementsKey = QStringLiteral("Elements");
static const QString typeKey = QStringLiteral("Type");

QmdElementDocController::QmdElementDocController(QObject* parent)
    : QmdDocController(parent)
{ }

QmdElementDocController::~QmdElementDocController() = default;

// Each read takes the model lock once and does all its work under it: the element's index is
// looked up, checked and read through while no other thread can change the tree.

QmdIndex QmdElementDocController::elementsRoot() const
{
    const ReadLocker locker(this);
    return directIndex(elementsKey, QmdIndex());
}

bool QmdElementDocController::isElement(const QmdIndex& index) const
{
    const ReadLocker locker(this);
    const QmdIndex root = directIndex(elementsKey, QmdIndex());
    return root.isValid() && directParent(index) == root;
}

QmdItemIdList QmdElementDocController::elements() const
{
    const ReadLocker locker(this);
    return directIdList(directIndex(elementsKey, QmdIndex()));
}

QmdIndex QmdElementDocController::elementIndex(QmdItemId id) const
{
    const ReadLocker locker(this);
    return directIndex(id, directIndex(elementsKey, QmdIndex()));
}

int QmdElementDocController::elementType(QmdItemId id) const
{
    const ReadLocker locker(this);
    const QmdIndex element = directIndex(id, directIndex(elementsKey, QmdIndex()));
    return element.isValid() ? directData(typeKey, element).toInt() : 0;
}

QmdIndex QmdElementDocController::directElementsRoot() const
{
    return m_elementsRoot;
}

QVariant QmdElementDocController::directElementData(QmdItemId id, const QString& key) const
{
    const QmdIndex element = directIndex(id, m_elementsRoot);
    return element.isValid() ? directData(key, element) : QVariant();
}

void QmdElementDocController::directSetElementData(QmdItemId id, const QString& key,
                                                   const QVariant& value)
{
    const QmdIndex element = directIndex(id, m_elementsRoot);
    if (element.isValid())
        directSetData(key, value, element);
}

QmdItemId
QmdElementDocController::directAddElement(uint type, const QHash<QString, QVariant>& data,
                                          const QHash<QString, Qmd::ContainerType>& containers)
{
    if (!m_elementsRoot.isValid())
        return 0;
    const QmdItemId id = directAddType(Qmd::StrDict, m_elementsRoot);
    const QmdIndex element = directIndex(id, m_elementsRoot);
    if (element.isValid()) {
        QHash<QString, QVariant> values = data;
        values.insert(typeKey, int(type));
        directSetData(values, element);
        if (!containers.isEmpty())
            directSetTypes(containers, element);
    }
    return id;
}

QmdRequestId
QmdElementDocController::requestAddElement(uint type, const QHash<QString, QVariant>& data,
                                           const QHash<QString, Qmd::ContainerType>& containers,
                                           const QmdRequestOptions& options, QmdItemId* newId)
{
    if (!model())
        return 0;
    const QmdRequestId rid = beginRequest(options);
    const QmdItemId id = directAddElement(type, data, containers);
    endRequest(rid);
    if (newId)
        *newId = id;
    return rid;
}

void QmdElementDocController::Reset()
{
    QmdDocController::Reset();
    if (!model())
        return;
    const QmdRequestId rid = registerNewRequestId();
    beginRequest(rid, Qmd::NotUndoable, tr("QmdElementDocController::Reset"));
    if (directType(QmdIndex()) != Qmd::StrDict)
        directSetRootType(Qmd::StrDict);
    if (directType(directIndex(elementsKey, QmdIndex())) != Qmd::IntDict)
        directSetType(elementsKey, Qmd::IntDict, QmdIndex());
    m_elementsRoot = directIndex(elementsKey, QmdIndex());
    endRequest(rid);
}

void QmdElementDocController::receivedItemsChanged(const QmdIndex& parent,
                                                   const QmdItemIdList& idList, QmdRequestId rid)
{
    if (parent == elementsRoot())
        emit elementsAdded(idList, rid);
    QmdDocController::receivedItemsChanged(parent, idList, rid);
}

void QmdElementDocController::receivedItemsChanged(const QmdIndex& parent, const QStringList& keys,
                                                   QmdRequestId rid)
{
    if (isElement(parent))
        emit elementDataChanged(parent.itemId(), keys, rid);
    QmdDocController::receivedItemsChanged(parent, keys, rid);
}

void QmdElementDocController::receivedItemsRemoved(const QmdIndex& parent,
                                                   const QmdItemIdList& idList, QmdRequestId rid)
{
    if (parent == elementsRoot())
        emit elementsRemoved(idList, rid);
    QmdDocController::receivedItemsRemoved(parent, idList, rid);
}

void QmdElementDocController::receivedItemsRemoved(const QmdIndex& parent, const QStringList& keys,
                                                   QmdRequestId rid)
{
    if (isElement(parent))
        emit elementDataRemoved(parent.itemId(), keys, rid);
    QmdDocController::receivedItemsRemoved(parent, keys, rid);
}
