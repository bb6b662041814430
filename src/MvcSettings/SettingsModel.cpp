#include "SettingsModel.h"

#include "AbstractController.h"
#include "SettingsController.h"
#include "SettingsEvents.h"

SettingsModel::SettingsModel(const QString& organization, const QString& application,
                             QObject* parent)
    : QObject(parent)
    , AbstractModel(this)
    , m_settings(new QSettings(organization, application, this))
{ }

SettingsModel::SettingsModel(QSettings::Scope scope, const QString& organization,
                             const QString& application, QObject* parent)
    : QObject(parent)
    , AbstractModel(this)
    , m_settings(new QSettings(scope, organization, application, this))
{ }

SettingsModel::SettingsModel(QSettings::Format format, QSettings::Scope scope,
                             const QString& organization, const QString& application,
                             QObject* parent)
    : QObject(parent)
    , AbstractModel(this)
    , m_settings(new QSettings(format, scope, organization, application, this))
{ }

SettingsModel::SettingsModel(const QString& fileName, QSettings::Format format, QObject* parent)
    : QObject(parent)
    , AbstractModel(this)
    , m_settings(new QSettings(fileName, format, this))
{ }

SettingsModel::SettingsModel(QObject* parent)
    : QObject(parent)
    , AbstractModel(this)
    , m_settings(new QSettings(this))
{ }

SettingsModel::~SettingsModel() = default;

QVariant SettingsModel::value(const QString& key, const QVariant& defaultValue) const
{
    QVariant stored = m_settings->value(key, defaultValue);
    if (!defaultValue.isValid() || stored.metaType() == defaultValue.metaType())
        return stored;
    return stored.convert(defaultValue.metaType()) ? stored : defaultValue;
}

quint32 SettingsModel::moduleId() const
{
    return MvcSettings::id();
}

void SettingsModel::customEvent(QEvent* event)
{
    if (auto* e = dynamic_cast<MEvent*>(event))
        mvcEvent(e);
}

void SettingsModel::mvcEvent(MvcEvent* event)
{
    AbstractModel::mvcEvent(event);
    if (event->moduleId() != MvcSettings::id())
        return;
    switch (int(event->type())) {
    case MSettingsEvent::ChangeValue:
        if (auto* e = dynamic_cast<MSettingsChangeValueEvent*>(event))
            changeValueEvent(e);
        break;
    case MSettingsEvent::RemoveKey:
        if (auto* e = dynamic_cast<MSettingsRemoveKeyEvent*>(event))
            removeKeyEvent(e);
        break;
    case MSettingsEvent::Clear:
        if (auto* e = dynamic_cast<MSettingsEvent*>(event))
            clearEvent(e);
        break;
    case MSettingsEvent::Sync:
        if (auto* e = dynamic_cast<MSettingsEvent*>(event))
            syncEvent(e);
        break;
    default:
        break;
    }
}

void SettingsModel::changeControllerEvent(MChangeControllerEvent* event)
{
    AbstractModel::changeControllerEvent(event);
    m_settingsController
        = qobject_cast<SettingsController*>(controller() ? controller()->objectPtr() : nullptr);
}

void SettingsModel::changeValueEvent(MSettingsChangeValueEvent* event)
{
    m_settings->setValue(event->key(), event->value());
}

void SettingsModel::removeKeyEvent(MSettingsRemoveKeyEvent* event)
{
    m_settings->remove(event->key());
}

void SettingsModel::clearEvent(MSettingsEvent*)
{
    m_settings->clear();
}

void SettingsModel::syncEvent(MSettingsEvent*)
{
    m_settings->sync();
}
