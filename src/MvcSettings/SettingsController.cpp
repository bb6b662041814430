#include "SettingsController.h"

#include "AbstractModel.h"
#include "AbstractView.h"
#include "SettingsEvents.h"
#include "SettingsModel.h"

#include <QCoreApplication>
#include <QMetaProperty>

namespace {

// The store hands back text for numbers and booleans; convert a value to the type of the
// property it is written to. A value that does not convert is returned as it is, and Qt's
// property write then refuses it.
QVariant forProperty(const QObject* object, const char* property, const QVariant& value)
{
    const QMetaObject* meta = object->metaObject();
    const int index = meta->indexOfProperty(property);
    if (index < 0)
        return value;
    const QMetaType type = meta->property(index).metaType();
    if (!type.isValid() || type == QMetaType::fromType<QVariant>() || value.metaType() == type)
        return value;
    QVariant converted = value;
    return converted.convert(type) ? converted : value;
}

// Sets the property when it differs from the value.
void writeProperty(QObject* object, const char* property, const QVariant& value)
{
    const QVariant typed = forProperty(object, property, value);
    if (object->property(property) != typed)
        object->setProperty(property, typed);
}

} // namespace

SettingsController::SettingsController(QObject* parent)
    : QObject(parent)
    , AbstractController(this)
{ }

SettingsController::SettingsController(SettingsModel* model, QObject* parent)
    : QObject(parent)
    , AbstractController(this)
{
    setModel(model);
}

SettingsController::~SettingsController() = default;

quint32 SettingsController::moduleId() const
{
    return MvcSettings::id();
}

void SettingsController::customEvent(QEvent* event)
{
    if (auto* e = dynamic_cast<CEvent*>(event))
        mvcEvent(e);
}

void SettingsController::mvcEvent(MvcEvent* event)
{
    AbstractController::mvcEvent(event);
    if (event->moduleId() != MvcSettings::id())
        return;
    switch (int(event->type())) {
    case CSettingsEvent::ChangeValue:
        if (auto* e = dynamic_cast<CSettingsChangeValueEvent*>(event))
            changeValueEvent(e);
        break;
    case CSettingsEvent::RemoveKey:
        if (auto* e = dynamic_cast<CSettingsRemoveKeyEvent*>(event))
            removeKeyEvent(e);
        break;
    case CSettingsEvent::Clear:
        if (auto* e = dynamic_cast<CSettingsEvent*>(event))
            clearEvent(e);
        break;
    case CSettingsEvent::Sync:
        if (auto* e = dynamic_cast<CSettingsEvent*>(event))
            syncEvent(e);
        break;
    default:
        break;
    }
}

void SettingsController::changeModelEvent(CChangeModelEvent* event)
{
    AbstractController::changeModelEvent(event);
    m_settingsModel = qobject_cast<SettingsModel*>(model() ? model()->objectPtr() : nullptr);
}

bool SettingsController::tellsView(const CEvent* event, const AbstractView* view)
{
    return event->updateSender() || view->objectPtr() != event->sender();
}

void SettingsController::changeValueEvent(CSettingsChangeValueEvent* event)
{
    const QString key = event->key();
    const QVariant value = event->value();
    postTo(m_settingsModel, new MSettingsChangeValueEvent(key, value));
    for (AbstractView* view : views()) {
        if (tellsView(event, view))
            postToView(view, new VSettingsValueChangedEvent(key, value, this));
    }

    // Setting a property runs other code, which may unbind or delete objects: work from a
    // guarded copy and skip what has gone meanwhile.
    QList<QPair<QPointer<QObject>, BindingInfo>> bound;
    for (auto it = m_bindings.cbegin(); it != m_bindings.cend(); ++it) {
        if (it->key == key)
            bound.append({it.key(), it.value()});
    }
    for (const auto& [object, binding] : std::as_const(bound)) {
        if (!object || !m_bindings.contains(object, binding))
            continue;
        disconnectBinding(object, binding);
        writeProperty(object, binding.property.constData(), value);
        if (object)
            connectBinding(object, binding);
    }
}

void SettingsController::removeKeyEvent(CSettingsRemoveKeyEvent* event)
{
    postTo(m_settingsModel, new MSettingsRemoveKeyEvent(event->key()));
    for (AbstractView* view : views()) {
        if (tellsView(event, view))
            postToView(view, new VSettingsKeyRemovedEvent(event->key(), this));
    }
}

void SettingsController::clearEvent(CSettingsEvent* event)
{
    postTo(m_settingsModel, new MSettingsEvent(MSettingsEvent::Clear));
    for (AbstractView* view : views()) {
        if (tellsView(event, view))
            postToView(view, new VEvent(VEvent::Reset, this));
    }
}

void SettingsController::syncEvent(CSettingsEvent* event)
{
    postTo(m_settingsModel, new MSettingsEvent(MSettingsEvent::Sync));
    for (AbstractView* view : views()) {
        if (tellsView(event, view))
            postToView(view, new VEvent(VEvent::Reset, this));
    }
}

void SettingsController::bind(QObject* object, const char* property, const char* signal,
                              const QString& key)
{
    if (!object || !property || !signal)
        return;
    const BindingInfo binding {property, signal, key};
    m_bindings.insert(object, binding);
    // One connection per signal, however many bindings share it.
    disconnectBinding(object, binding);
    if (m_settingsModel) {
        // A key without a stored value leaves the property as it is.
        const QVariant stored = m_settingsModel->value(key);
        if (stored.isValid())
            writeProperty(object, property, stored);
    }
    connect(object, SIGNAL(destroyed(QObject*)), this, SLOT(unbind(QObject*)),
            Qt::UniqueConnection);
    connectBinding(object, binding);
}

void SettingsController::onBoundObjectSignalled()
{
    QObject* object = sender();
    if (!object)
        return;
    const QList<BindingInfo> bindings = m_bindings.values(object);
    for (const BindingInfo& binding : bindings) {
        postTo(this,
               new CSettingsChangeValueEvent(
                   binding.key, object->property(binding.property.constData()), object));
    }
}

void SettingsController::unbind(QObject* obj)
{
    disconnect(obj, nullptr, this, nullptr);
    m_bindings.remove(obj);
}

void SettingsController::unbind(QObject* obj, const QString& settingsKey)
{
    for (auto it = m_bindings.find(obj); it != m_bindings.end() && it.key() == obj; ++it) {
        if (it->key != settingsKey)
            continue;
        const BindingInfo removed = *it;
        m_bindings.erase(it);
        disconnectBinding(obj, removed);
        // The object's other bindings stay live, including those on the same signal.
        const QList<BindingInfo> rest = m_bindings.values(obj);
        for (const BindingInfo& binding : rest) {
            if (binding.signal == removed.signal) {
                connectBinding(obj, binding);
                break;
            }
        }
        if (rest.isEmpty())
            disconnect(obj, SIGNAL(destroyed(QObject*)), this, SLOT(unbind(QObject*)));
        return;
    }
}

void SettingsController::connectBinding(QObject* object, const BindingInfo& binding)
{
    connect(object, binding.signal.constData(), this, SLOT(onBoundObjectSignalled()));
}

void SettingsController::disconnectBinding(QObject* object, const BindingInfo& binding)
{
    disconnect(object, binding.signal.constData(), this, SLOT(onBoundObjectSignalled()));
}
