#ifndef SETTINGSMODEL_H
#define SETTINGSMODEL_H

#include "AbstractModel.h"

#include <QObject>
#include <QPointer>
#include <QSettings>

class MSettingsChangeValueEvent;
class MSettingsEvent;
class MSettingsRemoveKeyEvent;
class SettingsController;

// The model of the preferences: owns the platform store and applies the changes the settings
// controller posts to it. The constructors mirror those of QSettings.
class SettingsModel : public QObject, public AbstractModel
{
    Q_OBJECT

public:
    SettingsModel(const QString& organization, const QString& application = QString(),
                  QObject* parent = nullptr);
    SettingsModel(QSettings::Scope scope, const QString& organization,
                  const QString& application = QString(), QObject* parent = nullptr);
    SettingsModel(QSettings::Format format, QSettings::Scope scope, const QString& organization,
                  const QString& application = QString(), QObject* parent = nullptr);
    SettingsModel(const QString& fileName, QSettings::Format format, QObject* parent = nullptr);
    explicit SettingsModel(QObject* parent = nullptr);
    ~SettingsModel() override;

    // The store itself, for reads and writes that need no notification.
    QSettings* settings() const { return m_settings; }
    // The stored value of the key, read at once. The store may hand back text for what was
    // written as a number or a boolean; with a valid default the value is converted to the
    // default's type, and a stored value that cannot be converted yields the default.
    QVariant value(const QString& key, const QVariant& defaultValue = QVariant()) const;

    SettingsController* settingsController() const { return m_settingsController; }

    quint32 moduleId() const override;
    void mvcEvent(MvcEvent* event) override;
    void changeControllerEvent(MChangeControllerEvent* event) override;
    virtual void changeValueEvent(MSettingsChangeValueEvent* event);
    virtual void removeKeyEvent(MSettingsRemoveKeyEvent* event);
    virtual void clearEvent(MSettingsEvent* event);
    virtual void syncEvent(MSettingsEvent* event);

protected:
    void customEvent(QEvent* event) override;

private:
    QSettings* m_settings;
    QPointer<SettingsController> m_settingsController;
};

#endif // SETTINGSMODEL_H
