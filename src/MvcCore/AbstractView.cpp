#include "AbstractView.h"

#include "AbstractController.h"
#include "AbstractModel.h"
#include "MvcEvents.h"
#include "MvcModuleId.h"

AbstractView::AbstractView(QObject* host)
    : MvcBase(host)
{ }

AbstractView::~AbstractView()
{
    const QSet<AbstractController*> controllers = m_listedBy;
    for (AbstractController* c : controllers)
        c->forgetView(this);
    for (AbstractView* view : std::as_const(m_superViews))
        view->m_subViews.remove(this);
    for (AbstractView* view : std::as_const(m_subViews))
        view->m_superViews.remove(this);
}

void AbstractView::mvcEvent(MvcEvent* event)
{
    if (event->moduleId() != MvcCore::id())
        return;
    switch (int(event->type())) {
    case VEvent::ChangeController:
        if (auto* e = dynamic_cast<VChangeControllerEvent*>(event))
            changeControllerEvent(e);
        break;
    case VEvent::ModelChanged:
        if (auto* e = dynamic_cast<VModelChangedEvent*>(event))
            modelChangedEvent(e);
        break;
    case VEvent::Reset:
        if (auto* e = dynamic_cast<VEvent*>(event))
            resetEvent(e);
        break;
    default:
        break;
    }
}

void AbstractView::changeControllerEvent(VChangeControllerEvent* event)
{
    m_controller = MvcPointer<AbstractController>(event->controller());
    AbstractController* newController = controller();
    for (AbstractView* view : std::as_const(m_subViews)) {
        if (view->controller() == newController)
            continue;
        if (AbstractController* old = view->controller())
            old->detachView(view);
        if (newController)
            newController->attachView(view);
    }
    postTo(objectPtr(),
           new VModelChangedEvent(newController ? newController->model() : nullptr, this));
}

void AbstractView::modelChangedEvent(VModelChangedEvent* event)
{
    m_model = MvcPointer<AbstractModel>(event->model());
    postTo(objectPtr(), new VEvent(VEvent::Reset, this));
}

void AbstractView::resetEvent(VEvent*) { }

void AbstractView::postToController(QEvent* event) const
{
    postTo(m_controller.host(), event);
}

void AbstractView::addSubView(AbstractView* view)
{
    if (!view)
        return;
    m_subViews.insert(view);
    view->m_superViews.insert(this);
    AbstractController* own = controller();
    if (view->controller() == own)
        return;
    if (AbstractController* old = view->controller())
        old->detachView(view);
    if (own)
        own->attachView(view);
}

void AbstractView::removeSubView(AbstractView* view)
{
    if (m_subViews.remove(view))
        view->m_superViews.remove(this);
}

void AbstractView::clearSubViews()
{
    for (AbstractView* view : std::as_const(m_subViews))
        view->m_superViews.remove(this);
    m_subViews.clear();
}
