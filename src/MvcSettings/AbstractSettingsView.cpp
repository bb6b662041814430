#include "AbstractSettingsView.h"

#include "AbstractController.h"
#include "AbstractModel.h"
#include "SettingsController.h"
#include "SettingsEvents.h"
#include "SettingsModel.h"

AbstractSettingsView::AbstractSettingsView(QObject* host)
    : AbstractView(host)
{ }

AbstractSettingsView::~AbstractSettingsView() = default;

quint32 AbstractSettingsView::moduleId() const
{
    return MvcSettings::id();
}

void AbstractSettingsView::mvcEvent(MvcEvent* event)
{
    AbstractView::mvcEvent(event);
    if (event->moduleId() != MvcSettings::id())
        return;
    switch (int(event->type())) {
    case VSettingsEvent::ValueChanged:
        if (auto* e = dynamic_cast<VSettingsValueChangedEvent*>(event))
            settingsValueChangedEvent(e);
        break;
    case VSettingsEvent::KeyRemoved:
        if (auto* e = dynamic_cast<VSettingsKeyRemovedEvent*>(event))
            settingsKeyRemovedEvent(e);
        break;
    default:
        break;
    }
}

void AbstractSettingsView::changeControllerEvent(VChangeControllerEvent* event)
{
    AbstractView::changeControllerEvent(event);
    m_settingsController
        = qobject_cast<SettingsController*>(controller() ? controller()->objectPtr() : nullptr);
    changeSettingsControllerEvent(event);
}

void AbstractSettingsView::modelChangedEvent(VModelChangedEvent* event)
{
    AbstractView::modelChangedEvent(event);
    m_settingsModel = qobject_cast<SettingsModel*>(model() ? model()->objectPtr() : nullptr);
    settingsModelChangedEvent(event);
}

void AbstractSettingsView::resetEvent(VEvent* event)
{
    settingsResetEvent(event);
}

SettingsController* AbstractSettingsView::settingsController() const
{
    return m_settingsController;
}

SettingsModel* AbstractSettingsView::settingsModel() const
{
    return m_settingsModel;
}

void AbstractSettingsView::postToSettingsController(QEvent* event) const
{
    postTo(m_settingsController, event);
}
