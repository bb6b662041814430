#include "AbstractModel.h"

#include "AbstractController.h"
#include "MvcEvents.h"
#include "MvcModuleId.h"

AbstractModel::AbstractModel(QObject* host)
    : MvcBase(host)
{ }

AbstractModel::~AbstractModel()
{
    if (QObject* host = m_controller.host())
        postTo(host, CChangeModelEvent::modelDestroyed());
}

void AbstractModel::mvcEvent(MvcEvent* event)
{
    if (event->moduleId() != MvcCore::id())
        return;
    if (int(event->type()) == MEvent::ChangeController) {
        if (auto* e = dynamic_cast<MChangeControllerEvent*>(event))
            changeControllerEvent(e);
    }
}

void AbstractModel::changeControllerEvent(MChangeControllerEvent* event)
{
    m_controller = MvcPointer<AbstractController>(event->controller());
}

void AbstractModel::postToController(QEvent* event) const
{
    postTo(m_controller.host(), event);
}
