#include "QmdMemModel.h"

#include "QmdMemModelCommands.h"
#include "QmdThreadSanitizer.h"

#include <QDebug>
#include <QVarLengthArray>

#include <type_traits>

using QmdMemModelKeys::isAcceptable;

namespace {

// Storing a child under an id moves the container's search start for new ids there.
void noteStoredKey(QmdMemModel::IntDictSpecialItem* container, QmdItemId id)
{
    container->lastItemId = id;
}

void noteStoredKey(QmdMemModel::StrDictSpecialItem*, const QString&) { }

template<class S>
constexpr Qmd::ContainerType kindOf()
{
    return std::is_same_v<S, QmdMemModel::IntDictSpecialItem> ? Qmd::IntDict : Qmd::StrDict;
}

template<class K>
QMap<K, QVariant> sortedTable(const QHash<K, QVariant>& values)
{
    QMap<K, QVariant> table;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        table.insert(it.key(), it.value());
    return table;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Construction

QmdMemModel::QmdMemModel(QObject* parent)
    : QmdModel(parent)
{
    qRegisterMetaType<SpecialItem*>("QmdMemModel::SpecialItemStar");
}

QmdMemModel::QmdMemModel(Qmd::ContainerType rootType, QObject* parent)
    : QmdMemModel(parent)
{
    m_root = makeContainer(rootType, QmdIndex());
}

QmdMemModel::~QmdMemModel()
{
    while (!m_redoStack.isEmpty())
        delete m_redoStack.takeFirst();
    while (!m_undoStack.isEmpty())
        delete m_undoStack.takeFirst();
    freeAnyMem(m_root);
    m_root = QVariant();
}

// ---------------------------------------------------------------------------------------------
// Containers

bool QmdMemModel::isContainerValue(const QVariant& value)
{
    return value.metaType() == QMetaType::fromType<SpecialItem*>();
}

QmdMemModel::SpecialItem* QmdMemModel::specialItemOf(const QVariant& value)
{
    if (!isContainerValue(value))
        return nullptr;
    return value.value<SpecialItem*>();
}

QVariant QmdMemModel::makeContainer(Qmd::ContainerType type, const QmdIndex& where)
{
    SpecialItem* item = nullptr;
    const quint64 identity = ++m_lastContainerIdentity;
    if (type == Qmd::IntDict)
        item = new IntDictSpecialItem(where, this, identity);
    else if (type == Qmd::StrDict)
        item = new StrDictSpecialItem(where, this, identity);
    else
        return QVariant();
    m_liveContainers.insert(item, identity);
    return QVariant::fromValue(item);
}

void QmdMemModel::freeAnyMem(const QVariant& value)
{
    // Iterative, so that a deeply nested tree cannot exhaust the stack.
    QList<SpecialItem*> pending;
    if (SpecialItem* item = specialItemOf(value))
        pending.append(item);
    while (!pending.isEmpty()) {
        SpecialItem* item = pending.takeLast();
        m_liveContainers.remove(item);
        const auto collect = [&pending](const QVariant& child) {
            if (SpecialItem* nested = specialItemOf(child))
                pending.append(nested);
            else
                QmdThreadSanitizer::droppingShared(child);
        };
        if (item->type == Qmd::IntDict) {
            auto* dict = static_cast<IntDictSpecialItem*>(item);
            for (const QVariant& child : std::as_const(dict->children))
                collect(child);
            delete dict;
        } else {
            auto* dict = static_cast<StrDictSpecialItem*>(item);
            for (const QVariant& child : std::as_const(dict->children))
                collect(child);
            delete dict;
        }
    }
}

void QmdMemModel::freeAnyMem(const QList<QVariant>& values)
{
    for (const QVariant& value : values)
        freeAnyMem(value);
}

quint64 QmdMemModel::containerIdentity(const void* container) const
{
    return m_liveContainers.value(container, 0);
}

QmdMemModel::Address QmdMemModel::addressOf(const QmdIndex& index) const
{
    if (isValidIndex(index))
        return Address::Child;
    return index.model() ? Address::Refused : Address::Root;
}

const QVariant* QmdMemModel::valueAt(const QmdIndex& index) const
{
    switch (addressOf(index)) {
    case Address::Root:
        return &m_root;
    case Address::Refused:
        return nullptr;
    case Address::Child:
        break;
    }
    auto* container = static_cast<SpecialItem*>(index.internalPointer());
    if (!container)
        return nullptr;
    if (container->type == Qmd::IntDict) {
        const auto& children = static_cast<IntDictSpecialItem*>(container)->children;
        auto it = children.constFind(index.itemId());
        return it == children.cend() ? nullptr : &it.value();
    }
    const auto& children = static_cast<StrDictSpecialItem*>(container)->children;
    auto it = children.constFind(index.key());
    return it == children.cend() ? nullptr : &it.value();
}

QmdMemModel::SpecialItem* QmdMemModel::specialItemAt(const QmdIndex& index) const
{
    const QVariant* value = valueAt(index);
    return value ? specialItemOf(*value) : nullptr;
}

template<class S>
S* QmdMemModel::safeSpecialItemAt(const QmdIndex& index) const
{
    SpecialItem* item = specialItemAt(index);
    if (!item || item->type != kindOf<S>())
        return nullptr;
    return static_cast<S*>(item);
}

template<class S>
S* QmdMemModel::containerAt(const QmdIndex& parent, quint64 identity) const
{
    S* container = safeSpecialItemAt<S>(parent);
    if (!container || container->identity != identity)
        return nullptr;
    return container;
}

template QmdMemModel::IntDictSpecialItem*
QmdMemModel::containerAt<QmdMemModel::IntDictSpecialItem>(const QmdIndex&, quint64) const;
template QmdMemModel::StrDictSpecialItem*
QmdMemModel::containerAt<QmdMemModel::StrDictSpecialItem>(const QmdIndex&, quint64) const;

QmdItemId QmdMemModel::registerNewItemId(IntDictSpecialItem* container)
{
    QmdItemId candidate = container->lastItemId + 1;
    if (candidate == 0)
        candidate = 1;
    bool wrapped = false;
    for (;;) {
        if (!container->children.contains(candidate)) {
            container->lastItemId = candidate;
            return candidate;
        }
        if (candidate == 0xFFFFFFFFu) {
            if (wrapped) {
                qDebug() << "registerNewItemId: item IDs have been exhausted for the given hash";
                return 0;
            }
            candidate = 1;
            wrapped = true;
        } else {
            ++candidate;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Queries

bool QmdMemModel::isValidIndex(const QmdIndex& index) const
{
    if (index.model() != this)
        return false;
    if (const void* container = index.internalPointer()) {
        const quint64 identity = m_liveContainers.value(container, 0);
        if (identity == 0 || identity != index.containerIdentity())
            return false;
    }
    return index.itemId() != 0 || !index.key().isEmpty();
}

QmdIndex QmdMemModel::index(QmdItemId id, const QmdIndex& parent) const
{
    auto* container = safeSpecialItemAt<IntDictSpecialItem>(parent);
    if (!container || !container->children.contains(id))
        return QmdIndex();
    return createIndex(id, static_cast<void*>(container));
}

QmdIndex QmdMemModel::index(const QString& key, const QmdIndex& parent) const
{
    auto* container = safeSpecialItemAt<StrDictSpecialItem>(parent);
    if (!container || !container->children.contains(key))
        return QmdIndex();
    return createIndex(key, static_cast<void*>(container));
}

QmdIndex QmdMemModel::parent(const QmdIndex& index) const
{
    if (!isValidIndex(index) || !index.internalPointer())
        return QmdIndex();
    return static_cast<SpecialItem*>(index.internalPointer())->index;
}

bool QmdMemModel::hasChildren(const QmdIndex& index) const
{
    SpecialItem* item = specialItemAt(index);
    if (!item)
        return false;
    if (item->type == Qmd::IntDict)
        return !static_cast<IntDictSpecialItem*>(item)->children.isEmpty();
    return !static_cast<StrDictSpecialItem*>(item)->children.isEmpty();
}

QmdIndexList QmdMemModel::children(const QmdIndex& index) const
{
    QmdIndexList result;
    SpecialItem* item = specialItemAt(index);
    if (!item)
        return result;
    if (item->type == Qmd::IntDict) {
        const auto& children = static_cast<IntDictSpecialItem*>(item)->children;
        result.reserve(children.size());
        for (auto it = children.cbegin(); it != children.cend(); ++it)
            result.append(createIndex(it.key(), static_cast<void*>(item)));
    } else {
        const auto& children = static_cast<StrDictSpecialItem*>(item)->children;
        result.reserve(children.size());
        for (auto it = children.cbegin(); it != children.cend(); ++it)
            result.append(createIndex(it.key(), static_cast<void*>(item)));
    }
    return result;
}

QVariant QmdMemModel::data(const QmdIndex& index) const
{
    const QVariant* value = valueAt(index);
    if (!value || isContainerValue(*value))
        return QVariant();
    return *value;
}

QVariant QmdMemModel::data(const QString& key, const QmdIndex& parent) const
{
    const auto* container = safeSpecialItemAt<StrDictSpecialItem>(parent);
    if (!container)
        return QVariant();
    const auto it = container->children.constFind(key);
    return it == container->children.cend() || isContainerValue(*it) ? QVariant() : *it;
}

QVariant QmdMemModel::data(QmdItemId id, const QmdIndex& parent) const
{
    const auto* container = safeSpecialItemAt<IntDictSpecialItem>(parent);
    if (!container)
        return QVariant();
    const auto it = container->children.constFind(id);
    return it == container->children.cend() || isContainerValue(*it) ? QVariant() : *it;
}

QList<QVariant> QmdMemModel::data(const QStringList& keys, const QmdIndex& parent) const
{
    QList<QVariant> values(keys.size());
    const auto* container = safeSpecialItemAt<StrDictSpecialItem>(parent);
    if (!container)
        return values;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        const auto it = container->children.constFind(keys.at(i));
        if (it != container->children.cend() && !isContainerValue(*it))
            values[i] = *it;
    }
    return values;
}

Qmd::ContainerType QmdMemModel::type(const QmdIndex& index) const
{
    SpecialItem* item = specialItemAt(index);
    return item ? item->type : Qmd::NoContainer;
}

QmdItemIdList QmdMemModel::idList(const QmdIndex& index) const
{
    auto* container = safeSpecialItemAt<IntDictSpecialItem>(index);
    return container ? container->children.keys() : QmdItemIdList();
}

QStringList QmdMemModel::keys(const QmdIndex& index) const
{
    auto* container = safeSpecialItemAt<StrDictSpecialItem>(index);
    return container ? container->children.keys() : QStringList();
}

// ---------------------------------------------------------------------------------------------
// Changes: each builds one command per container touched and hands it to the history.

template<class K, class S>
void QmdMemModel::pushSet(S* container, const QMap<K, QVariant>& values)
{
    pushCommand(new QmdSetCommand<K, S>(this, container, values));
}

template<class K, class S>
void QmdMemModel::pushRemove(S* container, const QList<K>& keys)
{
    pushCommand(new QmdRemoveCommand<K, S>(this, container, keys));
}

void QmdMemModel::pushSetRoot(const QVariant& newRoot)
{
    pushCommand(new QmdSetRootCommand(this, newRoot));
}

template<class K, class S>
void QmdMemModel::setValues(const QMap<K, QVariant>& values, const QmdIndex& parent)
{
    if (S* container = safeSpecialItemAt<S>(parent))
        pushSet<K, S>(container, values);
}

template<class K, class S>
void QmdMemModel::setContainerTypes(const QHash<K, Qmd::ContainerType>& types,
                                    const QmdIndex& parent)
{
    S* container = safeSpecialItemAt<S>(parent);
    if (!container)
        return;
    QMap<K, QVariant> values;
    for (auto it = types.cbegin(); it != types.cend(); ++it) {
        // A key the container cannot hold gets no container made for it.
        values.insert(it.key(),
                      isAcceptable(it.key()) ? makeContainer(
                          it.value(), createIndex(it.key(), static_cast<void*>(container)))
                                             : QVariant());
    }
    pushSet<K, S>(container, values);
}

template<class K, class S>
void QmdMemModel::removeKeys(const QList<K>& keys, const QmdIndex& parent)
{
    if (S* container = safeSpecialItemAt<S>(parent))
        pushRemove<K, S>(container, keys);
}

QmdItemIdList QmdMemModel::addData(const QList<QVariant>& values, const QmdIndex& parent)
{
    auto* container = safeSpecialItemAt<IntDictSpecialItem>(parent);
    if (!container)
        return QmdItemIdList();
    QMap<QmdItemId, QVariant> table;
    for (const QVariant& value : values) {
        const QmdItemId id = registerNewItemId(container);
        if (id != 0)
            table.insert(id, value);
    }
    pushSet<QmdItemId>(container, table);
    if (requestStatus() != 0)
        return QmdItemIdList();
    return table.keys();
}

QmdItemIdList QmdMemModel::addTypes(const QList<Qmd::ContainerType>& types, const QmdIndex& parent)
{
    auto* container = safeSpecialItemAt<IntDictSpecialItem>(parent);
    if (!container)
        return QmdItemIdList();
    QMap<QmdItemId, QVariant> table;
    for (Qmd::ContainerType type : types) {
        const QmdItemId id = registerNewItemId(container);
        if (id != 0)
            table.insert(id, makeContainer(type, createIndex(id, static_cast<void*>(container))));
    }
    pushSet<QmdItemId>(container, table);
    if (requestStatus() != 0)
        return QmdItemIdList();
    return table.keys();
}

void QmdMemModel::setData(const QHash<QmdItemId, QVariant>& values, const QmdIndex& parent)
{
    setValues<QmdItemId, IntDictSpecialItem>(sortedTable(values), parent);
}

void QmdMemModel::setData(const QHash<QString, QVariant>& values, const QmdIndex& parent)
{
    setValues<QString, StrDictSpecialItem>(sortedTable(values), parent);
}

void QmdMemModel::setTypes(const QHash<QmdItemId, Qmd::ContainerType>& types,
                           const QmdIndex& parent)
{
    setContainerTypes<QmdItemId, IntDictSpecialItem>(types, parent);
}

void QmdMemModel::setTypes(const QHash<QString, Qmd::ContainerType>& types, const QmdIndex& parent)
{
    setContainerTypes<QString, StrDictSpecialItem>(types, parent);
}

void QmdMemModel::remove(const QmdItemIdList& ids, const QmdIndex& parent)
{
    removeKeys<QmdItemId, IntDictSpecialItem>(ids, parent);
}

void QmdMemModel::remove(const QStringList& keys, const QmdIndex& parent)
{
    removeKeys<QString, StrDictSpecialItem>(keys, parent);
}

namespace {

// Entries addressed by index, grouped by the container that holds them. Containers are kept
// in the order in which they were made, so the commands come out the same on every run.
template<class Entry>
struct GroupedByContainer
{
    QMap<quint64, QmdMemModel::IntDictSpecialItem*> intDicts;
    QMap<quint64, QMap<QmdItemId, Entry>> intEntries;
    QMap<quint64, QmdMemModel::StrDictSpecialItem*> strDicts;
    QMap<quint64, QMap<QString, Entry>> strEntries;

    void add(const QmdIndex& index, const Entry& entry)
    {
        auto* container = static_cast<QmdMemModel::SpecialItem*>(index.internalPointer());
        if (!container)
            return;
        if (container->type == Qmd::IntDict) {
            intDicts.insert(container->identity,
                            static_cast<QmdMemModel::IntDictSpecialItem*>(container));
            intEntries[container->identity].insert(index.itemId(), entry);
        } else {
            strDicts.insert(container->identity,
                            static_cast<QmdMemModel::StrDictSpecialItem*>(container));
            strEntries[container->identity].insert(index.key(), entry);
        }
    }
};

} // namespace

// The index forms of set and remove change only items that exist. An entry that is the
// default index is skipped like any other that addresses no item: it is what a lookup gives
// when it finds nothing, so taking it for the root would change the whole document.
bool QmdMemModel::addressesItem(const QmdIndex& index) const
{
    return addressOf(index) == Address::Child && valueAt(index);
}

void QmdMemModel::setData(const QHash<QmdIndex, QVariant>& values)
{
    GroupedByContainer<QVariant> groups;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (addressesItem(it.key()))
            groups.add(it.key(), it.value());
    }
    for (auto it = groups.intDicts.cbegin(); it != groups.intDicts.cend(); ++it)
        pushSet<QmdItemId>(it.value(), groups.intEntries.value(it.key()));
    for (auto it = groups.strDicts.cbegin(); it != groups.strDicts.cend(); ++it)
        pushSet<QString>(it.value(), groups.strEntries.value(it.key()));
}

void QmdMemModel::setTypes(const QHash<QmdIndex, Qmd::ContainerType>& types)
{
    GroupedByContainer<QVariant> groups;
    for (auto it = types.cbegin(); it != types.cend(); ++it) {
        const QmdIndex& index = it.key();
        if (addressesItem(index))
            groups.add(index, makeContainer(it.value(), index));
    }
    for (auto it = groups.intDicts.cbegin(); it != groups.intDicts.cend(); ++it)
        pushSet<QmdItemId>(it.value(), groups.intEntries.value(it.key()));
    for (auto it = groups.strDicts.cbegin(); it != groups.strDicts.cend(); ++it)
        pushSet<QString>(it.value(), groups.strEntries.value(it.key()));
}

void QmdMemModel::remove(const QmdIndexList& indexes)
{
    GroupedByContainer<bool> groups;
    for (const QmdIndex& index : indexes) {
        if (addressesItem(index))
            groups.add(index, true);
    }
    for (auto it = groups.intDicts.cbegin(); it != groups.intDicts.cend(); ++it)
        pushRemove<QmdItemId>(it.value(), groups.intEntries.value(it.key()).keys());
    for (auto it = groups.strDicts.cbegin(); it != groups.strDicts.cend(); ++it)
        pushRemove<QString>(it.value(), groups.strEntries.value(it.key()).keys());
}

void QmdMemModel::clear(const QmdIndex& index)
{
    switch (addressOf(index)) {
    case Address::Root:
        pushSetRoot(QVariant());
        return;
    case Address::Refused:
        return;
    case Address::Child:
        break;
    }
    SpecialItem* item = specialItemAt(index);
    if (!item)
        return;
    if (item->type == Qmd::IntDict) {
        auto* dict = static_cast<IntDictSpecialItem*>(item);
        pushRemove<QmdItemId>(dict, dict->children.keys());
    } else {
        auto* dict = static_cast<StrDictSpecialItem*>(item);
        pushRemove<QString>(dict, dict->children.keys());
    }
}

void QmdMemModel::setRoot(const QVariant& value)
{
    pushSetRoot(value);
}

void QmdMemModel::setRootType(Qmd::ContainerType type)
{
    pushSetRoot(makeContainer(type, QmdIndex()));
}

// ---------------------------------------------------------------------------------------------
// Primitives: the only code that changes the tree; run by the commands.

template<class K, class S>
void QmdMemModel::primitiveSet(const QMap<K, QVariant>& values, S* container,
                               const QmdIndex& parent)
{
    // Containers being overwritten leave the tree first; the command holds them. Where each
    // key is, found once: a value that replaces a plain value is stored in its place.
    auto& children = container->children;
    QList<K> replacedContainers;
    QVarLengthArray<typename std::remove_reference_t<decltype(children)>::iterator, 16> places;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        auto found = children.find(it.key());
        if (found != children.end() && isContainerValue(found.value()))
            replacedContainers.append(it.key());
        places.append(found);
    }
    if (!replacedContainers.isEmpty()) {
        primitiveRemove(replacedContainers, container, parent);
        places.clear();
    }

    QList<K> stored;
    stored.reserve(values.size());
    qsizetype i = 0;
    for (auto it = values.cbegin(); it != values.cend(); ++it, ++i) {
        if (!isAcceptable(it.key()))
            continue;
        if (i < places.size() && places[i] != children.end()) {
            QmdThreadSanitizer::droppingShared(places[i].value());
            places[i].value() = it.value();
        } else
            children.insert(it.key(), it.value());
        noteStoredKey(container, it.key());
        stored.append(it.key());
    }
    if (!stored.isEmpty())
        emit itemsChanged(parent, stored, requestId());
}

template<class K, class S>
void QmdMemModel::primitiveRemove(const QList<K>& keys, S* container, const QmdIndex& parent)
{
    QList<K> removed;
    for (const K& key : keys) {
        const auto found = container->children.find(key);
        if (found == container->children.end())
            continue;
        QmdThreadSanitizer::droppingShared(found.value());
        container->children.erase(found);
        removed.append(key);
    }
    if (!removed.isEmpty())
        emit itemsRemoved(parent, removed, requestId());
}

void QmdMemModel::primitiveSetRoot(const QVariant& newRoot)
{
    m_root = newRoot;
    emit rootChanged(requestId());
}

template void QmdMemModel::primitiveSet(const QMap<QmdItemId, QVariant>&, IntDictSpecialItem*,
                                        const QmdIndex&);
template void QmdMemModel::primitiveSet(const QMap<QString, QVariant>&, StrDictSpecialItem*,
                                        const QmdIndex&);
template void QmdMemModel::primitiveRemove(const QList<QmdItemId>&, IntDictSpecialItem*,
                                           const QmdIndex&);
template void QmdMemModel::primitiveRemove(const QList<QString>&, StrDictSpecialItem*,
                                           const QmdIndex&);
