#ifndef ABSTRACTSETTINGSVIEW_H
#define ABSTRACTSETTINGSVIEW_H

#include "AbstractView.h"

#include <QPointer>

class SettingsController;
class SettingsModel;
class VSettingsKeyRemovedEvent;
class VSettingsValueChangedEvent;

// The base of any party that wants to hear about the preferences. Its host's customEvent
// hands every VEvent to mvcEvent. A view changes a setting by posting a
// CSettingsChangeValueEvent with postToSettingsController.
class AbstractSettingsView : public AbstractView
{
public:
    explicit AbstractSettingsView(QObject* host);
    ~AbstractSettingsView() override;

    quint32 moduleId() const override;
    void mvcEvent(MvcEvent* event) override;
    void changeControllerEvent(VChangeControllerEvent* event) override;
    void modelChangedEvent(VModelChangedEvent* event) override;
    void resetEvent(VEvent* event) override;

    virtual void changeSettingsControllerEvent(VChangeControllerEvent*) { }
    virtual void settingsModelChangedEvent(VModelChangedEvent*) { }
    virtual void settingsResetEvent(VEvent*) { }
    virtual void settingsValueChangedEvent(VSettingsValueChangedEvent*) { }
    virtual void settingsKeyRemovedEvent(VSettingsKeyRemovedEvent*) { }

    SettingsController* settingsController() const;
    SettingsModel* settingsModel() const;
    // Without a settings controller the event is deleted.
    void postToSettingsController(QEvent* event) const;

private:
    QPointer<SettingsController> m_settingsController;
    QPointer<SettingsModel> m_settingsModel;
};

#endif // ABSTRACTSETTINGSVIEW_H
