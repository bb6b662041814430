// Property bindings of QmdController: objects' properties follow string-keyed model items, and
// an object's change signal writes its properties back as one request.

#include "QmdController.h"

#include <QMetaMethod>
#include <QMetaProperty>

namespace {

// The index of a signal as senderSignalIndex() reports it: a signal with default arguments is
// always reported under its full form, whichever shorter form was connected.
int fullSignalIndex(const QMetaObject* meta, const QByteArray& signal)
{
    int index = meta->indexOfSignal(signal.mid(1).constData());
    while (index > 0 && (meta->method(index).attributes() & QMetaMethod::Cloned))
        --index;
    return index;
}

QByteArray signalText(const char* signal)
{
    if (!signal)
        return QByteArray();
    QByteArray text(signal);
    // Accept both SIGNAL(...) texts and bare signatures.
    if (!text.isEmpty() && text.at(0) != '2')
        text.prepend('2');
    return '2' + QMetaObject::normalizedSignature(text.constData() + 1);
}

} // namespace

bool QmdController::sameValue(const QVariant& a, const QVariant& b)
{
    if (a == b)
        return true;
    if (!a.isValid() || !b.isValid() || a.metaType() == b.metaType())
        return false;
    QVariant converted = b;
    return converted.convert(a.metaType()) && converted == a;
}

void QmdController::bind(QObject* object, const char* property, const char* signal,
                         const QString& key, const QmdIndex& parent, const QVariant& defaultValue,
                         const QVariant& mixedValue, const QString& intent, Qmd::RequestFlags flags)
{
    bind(object, property, signal, QHash<QmdIndex, QSet<QString>> {{parent, {key}}}, defaultValue,
         mixedValue, intent, flags);
}

void QmdController::bind(QObject* object, const char* property, const char* signal,
                         const QHash<QmdIndex, QSet<QString>>& items, const QVariant& defaultValue,
                         const QVariant& mixedValue, const QString& intent, Qmd::RequestFlags flags)
{
    if (!object || !property)
        return;
    unbind(object, property, UnbindActions(7));

    QmdBindingInfo binding;
    binding.property = property;
    binding.signal = signalText(signal);
    binding.items = items;
    binding.defaultValue = defaultValue;
    binding.mixedValue = mixedValue;
    binding.intent = intent;
    binding.flags = flags;

    bool hadBinding;
    {
        const WriteLocker locker(this);
        hadBinding = m_bindings.contains(object);
        m_bindings.insert(object, binding);
        for (auto it = items.cbegin(); it != items.cend(); ++it)
            m_boundObjectsByIndex[it.key()].insert(object);
    }

    updateBoundObject(object, property);

    if (!hadBinding) {
        connect(object, &QObject::destroyed, this,
                qOverload<QObject*>(&QmdController::unbindForDeletion));
    }
}

QMultiHash<QObject*, QmdBindingInfo> QmdController::bindings() const
{
    const ReadLocker locker(this);
    return m_bindings;
}

QList<QmdBindingInfo> QmdController::bindings(QObject* object) const
{
    const ReadLocker locker(this);
    return m_bindings.values(object);
}

QVariant QmdController::shownValue(const QmdBindingInfo& binding, bool* mixed) const
{
    // An absent item holds the binding's value when absent, so that it agrees with an item
    // that holds that value and the property never keeps a value the document lost (undoing
    // the first value of a key removes the key).
    bool haveFirst = false;
    QVariant first;
    bool firstIsContainer = false;
    for (auto items = binding.items.cbegin(); items != binding.items.cend(); ++items) {
        for (const QString& key : items.value()) {
            const QmdIndex item = directIndex(key, items.key());
            const bool container = item.isValid() && directType(item) != Qmd::NoContainer;
            const QVariant value = !item.isValid() ? binding.defaultValue
                : container                        ? QVariant()
                                                   : directData(item);
            if (!haveFirst) {
                haveFirst = true;
                first = value;
                firstIsContainer = container;
            } else if (!sameValue(first, value)) {
                if (mixed)
                    *mixed = true;
                return binding.mixedValue;
            }
        }
    }
    if (mixed)
        *mixed = false;
    return haveFirst && !firstIsContainer ? first : binding.defaultValue;
}

QList<QPair<QmdBindingInfo, QVariant>> QmdController::boundValues(QObject* obj,
                                                                  const char* objProperty) const
{
    QList<QPair<QmdBindingInfo, QVariant>> result;
    const ReadLocker locker(this);
    for (auto it = m_bindings.constFind(obj); it != m_bindings.cend() && it.key() == obj; ++it) {
        const QmdBindingInfo& binding = it.value();
        if (objProperty && binding.property != objProperty)
            continue;
        result.append(qMakePair(binding, shownValue(binding, nullptr)));
    }
    return result;
}

void QmdController::updateBoundObject(QObject* obj, const char* objProperty)
{
    if (!obj)
        return;
    const QList<QPair<QmdBindingInfo, QVariant>> values = boundValues(obj, objProperty);
    for (const auto& pair : values)
        applyBoundValue(obj, pair.first, pair.second);
}

void QmdController::applyBoundValue(QObject* obj, const QmdBindingInfo& binding,
                                    const QVariant& value)
{
    const bool hasSignal = !binding.signal.isEmpty();
    // The signal is never connected while the controller writes the property, so that the
    // write does not come back as a request.
    if (hasSignal && m_connectedSignals.contains(obj, binding.signal))
        disconnectBindingSignal(obj, binding.signal);

    const QVariant current = obj->property(binding.property.constData());
    if (current != value) {
        // Qt would write a default-constructed value for an invalid one: a typed property keeps
        // its value instead, and only a property of type QVariant takes the invalid value.
        const QMetaObject* meta = obj->metaObject();
        const int propertyIndex = meta->indexOfProperty(binding.property.constData());
        const bool holdsVariants = propertyIndex < 0
            || meta->property(propertyIndex).metaType() == QMetaType::fromType<QVariant>();
        if (value.isValid() || holdsVariants)
            obj->setProperty(binding.property.constData(), value);
    }

    if (hasSignal && !m_connectedSignals.contains(obj, binding.signal))
        connectBindingSignal(obj, binding.signal);
}

void QmdController::connectBindingSignal(QObject* obj, const QByteArray& signal)
{
    if (connect(obj, signal.constData(), this, SLOT(onBoundObjectSignalled())))
        m_connectedSignals.insert(obj, signal);
}

void QmdController::disconnectBindingSignal(QObject* obj, const QByteArray& signal)
{
    disconnect(obj, signal.constData(), this, SLOT(onBoundObjectSignalled()));
    m_connectedSignals.remove(obj, signal);
}

bool QmdController::signalSharedWithOtherBinding(QObject* obj, const QmdBindingInfo& binding) const
{
    for (auto it = m_bindings.constFind(obj); it != m_bindings.cend() && it.key() == obj; ++it)
        if (it.value().property != binding.property && it.value().signal == binding.signal)
            return true;
    return false;
}

void QmdController::onBoundObjectSignalled()
{
    QObject* obj = sender();
    const WriteLocker locker(this);
    if (!obj || !m_bindings.contains(obj) || !model())
        return;
    // Only the bindings on the signal that fired write back; they share one request id and so
    // one undo step. The id is taken with the first item that changes: a signal that changes
    // nothing (a field that the focus merely passed through) makes no request.
    const int firedSignal = senderSignalIndex();
    QmdRequestId id = 0;
    const QList<QmdBindingInfo> bindings = m_bindings.values(obj);
    for (auto b = bindings.crbegin(); b != bindings.crend(); ++b) {
        const QmdBindingInfo& binding = *b;
        if (binding.signal.isEmpty()
            || fullSignalIndex(obj->metaObject(), binding.signal) != firedSignal)
            continue;
        const QVariant value = obj->property(binding.property.constData());
        if (!value.isValid())
            continue;
        // A property still showing the value for differing items has not been changed by the
        // user: writing it would make the items equal to a value that none of them holds.
        bool mixed = false;
        const QVariant shown = shownValue(binding, &mixed);
        if (mixed && sameValue(shown, value))
            continue;
        bool begun = false;
        for (auto items = binding.items.cbegin(); items != binding.items.cend(); ++items) {
            QHash<QString, QVariant> pairs;
            for (const QString& key : items.value()) {
                const QmdIndex item = directIndex(key, items.key());
                const bool plain = item.isValid() && directType(item) == Qmd::NoContainer;
                const QVariant stored = !item.isValid() ? binding.defaultValue
                    : plain                             ? directData(item)
                                                        : QVariant();
                if (!sameValue(stored, value))
                    pairs.insert(key, value);
            }
            if (pairs.isEmpty())
                continue;
            if (!begun) {
                if (id == 0)
                    id = registerNewRequestId();
                directBeginRequest(id, binding.flags, binding.intent);
                begun = true;
            }
            directSetData(pairs, items.key());
        }
        if (begun)
            directEndRequest();
    }
}

void QmdController::unbind(QObject* obj, const char* objProperty, UnbindActions actions)
{
    if (!obj)
        return;
    const WriteLocker locker(this);
    QList<QmdBindingInfo> matching;
    for (auto it = m_bindings.constFind(obj); it != m_bindings.cend() && it.key() == obj; ++it)
        if (!objProperty || it.value().property == objProperty)
            matching.append(it.value());

    for (const QmdBindingInfo& binding : std::as_const(matching)) {
        if (actions & DisconnectSignals) {
            if (!binding.signal.isEmpty() && m_connectedSignals.contains(obj, binding.signal)) {
                // Another binding of the object on the same signal keeps it connected.
                if (!(actions & RemoveBinding) || !signalSharedWithOtherBinding(obj, binding))
                    disconnectBindingSignal(obj, binding.signal);
            }
        }
        if (actions & ResetProperty) {
            const bool wasBlocked = obj->signalsBlocked();
            obj->blockSignals(true);
            if (binding.defaultValue.isValid())
                obj->setProperty(binding.property.constData(), binding.defaultValue);
            obj->blockSignals(wasBlocked);
        }
        if (actions & RemoveBinding) {
            for (auto it = m_bindings.find(obj); it != m_bindings.end() && it.key() == obj;) {
                if (it.value().property == binding.property)
                    it = m_bindings.erase(it);
                else
                    ++it;
            }
            // The object stays listed under an index while another of its bindings watches it.
            for (auto items = binding.items.cbegin(); items != binding.items.cend(); ++items) {
                bool stillWatched = false;
                for (auto it = m_bindings.constFind(obj);
                     it != m_bindings.cend() && it.key() == obj; ++it)
                    if (it.value().items.contains(items.key()))
                        stillWatched = true;
                if (stillWatched)
                    continue;
                auto entry = m_boundObjectsByIndex.find(items.key());
                if (entry != m_boundObjectsByIndex.end()) {
                    entry->remove(obj);
                    if (entry->isEmpty())
                        m_boundObjectsByIndex.erase(entry);
                }
            }
            if (!m_bindings.contains(obj)) {
                for (auto it = m_pendingBoundUpdates.begin(); it != m_pendingBoundUpdates.end();) {
                    if (it.value() == obj)
                        it = m_pendingBoundUpdates.erase(it);
                    else
                        ++it;
                }
            }
        }
    }
    // The hook on the object's destruction goes only with the last of the bindings that it
    // protects: a binding left behind would otherwise outlive its object.
    if ((actions & RemoveBinding) && !matching.isEmpty() && !m_bindings.contains(obj))
        disconnect(obj, &QObject::destroyed, this,
                   qOverload<QObject*>(&QmdController::unbindForDeletion));
}

void QmdController::unbind(const QObjectList& objs, UnbindActions actions)
{
    for (QObject* obj : objs)
        unbind(obj, nullptr, actions);
}

void QmdController::unbindForDeletion(QObject* obj)
{
    unbind(obj, nullptr, RemoveBinding);
    const WriteLocker locker(this);
    m_connectedSignals.remove(obj);
}

void QmdController::unbindForDeletion(const QObjectList& objs)
{
    for (QObject* obj : objs)
        unbindForDeletion(obj);
}

bool QmdController::watchesContainer(const QmdIndex& parent) const
{
    const ReadLocker locker(this);
    return m_boundObjectsByIndex.contains(parent);
}

void QmdController::queueBoundObjectUpdates(const QmdIndex& parent, const QSet<QString>& keys,
                                            QmdRequestId rid)
{
    const ReadLocker locker(this);
    const auto entry = m_boundObjectsByIndex.constFind(parent);
    if (entry != m_boundObjectsByIndex.cend()) {
        for (QObject* object : entry.value()) {
            for (auto it = m_bindings.constFind(object);
                 it != m_bindings.cend() && it.key() == object; ++it) {
                const auto watched = it.value().items.constFind(parent);
                if (watched != it.value().items.cend() && watched.value().intersects(keys)) {
                    m_pendingBoundUpdates.insert(rid, object);
                    break;
                }
            }
        }
    }
}
