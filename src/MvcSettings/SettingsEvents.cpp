#include "SettingsEvents.h"

#include "MvcModuleId.h"

quint32 MvcSettings::id()
{
    static const quint32 moduleId = allocateModuleId();
    return moduleId;
}

CSettingsEvent::CSettingsEvent(int type, QObject* sender, Flags flags)
    : CEvent(type, sender, flags)
{ }

quint32 CSettingsEvent::moduleId() const
{
    return classModuleId();
}

quint32 CSettingsEvent::classModuleId()
{
    return MvcSettings::id();
}

CSettingsChangeValueEvent::CSettingsChangeValueEvent(const QString& key, const QVariant& value,
                                                     QObject* sender, Flags flags)
    : CSettingsEvent(ChangeValue, sender, flags)
    , KeyContainer(key)
    , ValueContainer(value)
{ }

CSettingsRemoveKeyEvent::CSettingsRemoveKeyEvent(const QString& key, QObject* sender, Flags flags)
    : CSettingsEvent(RemoveKey, sender, flags)
    , KeyContainer(key)
{ }

MSettingsEvent::MSettingsEvent(int type)
    : MEvent(type)
{ }

quint32 MSettingsEvent::moduleId() const
{
    return classModuleId();
}

quint32 MSettingsEvent::classModuleId()
{
    return MvcSettings::id();
}

MSettingsChangeValueEvent::MSettingsChangeValueEvent(const QString& key, const QVariant& value)
    : MSettingsEvent(ChangeValue)
    , KeyContainer(key)
    , ValueContainer(value)
{ }

MSettingsRemoveKeyEvent::MSettingsRemoveKeyEvent(const QString& key)
    : MSettingsEvent(RemoveKey)
    , KeyContainer(key)
{ }

VSettingsEvent::VSettingsEvent(int type, MvcBase* source)
    : VEvent(type, source)
{ }

quint32 VSettingsEvent::moduleId() const
{
    return classModuleId();
}

quint32 VSettingsEvent::classModuleId()
{
    return MvcSettings::id();
}

VSettingsValueChangedEvent::VSettingsValueChangedEvent(const QString& key, const QVariant& value,
                                                       MvcBase* source)
    : VSettingsEvent(ValueChanged, source)
    , KeyContainer(key)
    , ValueContainer(value)
{ }

VSettingsKeyRemovedEvent::VSettingsKeyRemovedEvent(const QString& key, MvcBase* source)
    : VSettingsEvent(KeyRemoved, source)
    , KeyContainer(key)
{ }
