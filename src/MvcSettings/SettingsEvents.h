#ifndef SETTINGSEVENTS_H
#define SETTINGSEVENTS_H

#include "MvcEvents.h"

#include <QString>
#include <QVariant>

namespace MvcSettings {
// The id of the settings module's events and parties.
quint32 id();
} // namespace MvcSettings

class KeyContainer
{
public:
    explicit KeyContainer(const QString& key)
        : m_key(key)
    { }
    virtual ~KeyContainer() = default;

    QString key() const { return m_key; }

private:
    QString m_key;
};

class ValueContainer
{
public:
    explicit ValueContainer(const QVariant& value)
        : m_value(value)
    { }
    virtual ~ValueContainer() = default;

    QVariant value() const { return m_value; }

private:
    QVariant m_value;
};

// Settings requests to the controller. Types 2002 (clear) and 2003 (sync) are plain
// CSettingsEvents.
class CSettingsEvent : public CEvent
{
public:
    enum Type { ChangeValue = 2000, RemoveKey = 2001, Clear = 2002, Sync = 2003 };

    explicit CSettingsEvent(int type, QObject* sender = nullptr, Flags flags = {});

    quint32 moduleId() const override;
    static quint32 classModuleId();
};

class CSettingsChangeValueEvent : public CSettingsEvent, public KeyContainer, public ValueContainer
{
public:
    CSettingsChangeValueEvent(const QString& key, const QVariant& value, QObject* sender = nullptr,
                              Flags flags = {});
};

class CSettingsRemoveKeyEvent : public CSettingsEvent, public KeyContainer
{
public:
    explicit CSettingsRemoveKeyEvent(const QString& key, QObject* sender = nullptr,
                                     Flags flags = {});
};

// What the controller asks of the model. Types 2002 and 2003 are plain MSettingsEvents.
class MSettingsEvent : public MEvent
{
public:
    enum Type { ChangeValue = 2000, RemoveKey = 2001, Clear = 2002, Sync = 2003 };

    explicit MSettingsEvent(int type);

    quint32 moduleId() const override;
    static quint32 classModuleId();
};

class MSettingsChangeValueEvent : public MSettingsEvent, public KeyContainer, public ValueContainer
{
public:
    MSettingsChangeValueEvent(const QString& key, const QVariant& value);
};

class MSettingsRemoveKeyEvent : public MSettingsEvent, public KeyContainer
{
public:
    explicit MSettingsRemoveKeyEvent(const QString& key);
};

// What the controller tells the views. Clear and sync reach them as the core reset event.
class VSettingsEvent : public VEvent
{
public:
    enum Type { ValueChanged = 2000, KeyRemoved = 2001 };

    VSettingsEvent(int type, MvcBase* source);

    quint32 moduleId() const override;
    static quint32 classModuleId();
};

class VSettingsValueChangedEvent : public VSettingsEvent, public KeyContainer, public ValueContainer
{
public:
    VSettingsValueChangedEvent(const QString& key, const QVariant& value, MvcBase* source);
};

class VSettingsKeyRemovedEvent : public VSettingsEvent, public KeyContainer
{
public:
    VSettingsKeyRemovedEvent(const QString& key, MvcBase* source);
};

#endif // SETTINGSEVENTS_H
