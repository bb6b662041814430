#include "AbstractController.h"

#include "AbstractModel.h"
#include "AbstractView.h"
#include "MvcEvents.h"
#include "MvcModuleId.h"

AbstractController::AbstractController(QObject* host)
    : MvcBase(host)
{ }

AbstractController::~AbstractController()
{
    for (AbstractView* view : std::as_const(m_views))
        view->m_listedBy.remove(this);
}

void AbstractController::mvcEvent(MvcEvent* event)
{
    if (event->moduleId() != MvcCore::id())
        return;
    switch (int(event->type())) {
    case CEvent::ChangeModel:
        if (auto* e = dynamic_cast<CChangeModelEvent*>(event))
            changeModelEvent(e);
        break;
    case CEvent::ViewAttach:
        if (auto* e = dynamic_cast<CViewAttachEvent*>(event))
            viewAttachEvent(e);
        break;
    case CEvent::ViewDetach:
        if (auto* e = dynamic_cast<CViewDetachEvent*>(event))
            viewDetachEvent(e);
        break;
    case CEvent::ClearViews:
        if (auto* e = dynamic_cast<CEvent*>(event))
            clearViewsEvent(e);
        break;
    default:
        break;
    }
}

void AbstractController::changeModelEvent(CChangeModelEvent* event)
{
    if (event->modelGone()) {
        // The model named by the event no longer exists. A model given since stays.
        if (!m_model.get())
            m_model = {};
        return;
    }
    m_model = MvcPointer<AbstractModel>(event->model());
    AbstractModel* newModel = model();
    if (!newModel)
        return;
    postTo(m_model.host(), new MChangeControllerEvent(this));
    for (AbstractView* view : std::as_const(m_views))
        postToView(view, new VModelChangedEvent(newModel, this));
}

void AbstractController::viewAttachEvent(CViewAttachEvent* event)
{
    AbstractView* view = event->view();
    if (!view)
        return;
    m_views.insert(view);
    m_viewHosts.insert(view, view->objectPtr());
    view->m_listedBy.insert(this);
    postToView(view, new VChangeControllerEvent(this, this));
}

void AbstractController::viewDetachEvent(CViewDetachEvent* event)
{
    if (AbstractView* view = event->view())
        forgetView(view);
}

void AbstractController::clearViewsEvent(CEvent*)
{
    for (AbstractView* view : std::as_const(m_views))
        view->m_listedBy.remove(this);
    m_views.clear();
    m_viewHosts.clear();
}

void AbstractController::setModel(AbstractModel* model)
{
    postTo(objectPtr(), new CChangeModelEvent(model));
}

void AbstractController::attachView(AbstractView* view)
{
    postTo(objectPtr(), new CViewAttachEvent(view));
}

void AbstractController::detachView(AbstractView* view)
{
    postTo(objectPtr(), new CViewDetachEvent(view));
}

void AbstractController::postToView(AbstractView* view, QEvent* event) const
{
    postTo(m_viewHosts.value(view), event);
}

void AbstractController::forgetView(AbstractView* view)
{
    m_views.remove(view);
    m_viewHosts.remove(view);
    view->m_listedBy.remove(this);
}
