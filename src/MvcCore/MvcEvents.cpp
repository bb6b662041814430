#include "MvcEvents.h"

#include "AbstractController.h"
#include "AbstractModel.h"
#include "AbstractView.h"
#include "MvcModuleId.h"

MvcEvent::MvcEvent(int type)
    : QEvent(QEvent::Type(type))
{ }

quint32 MvcEvent::moduleId() const
{
    return classModuleId();
}

int MvcEvent::destType() const
{
    return classDestType();
}

quint32 MvcEvent::classModuleId()
{
    return MvcCore::id();
}

int MvcEvent::classDestType()
{
    return 0;
}

CEvent::CEvent(int type, QObject* sender, Flags flags)
    : MvcEvent(type)
    , m_sender(sender)
    , m_flags(flags)
{ }

int CEvent::destType() const
{
    return classDestType();
}

int CEvent::classDestType()
{
    return 3;
}

MEvent::MEvent(int type)
    : MvcEvent(type)
{ }

int MEvent::destType() const
{
    return classDestType();
}

int MEvent::classDestType()
{
    return 1;
}

VEvent::VEvent(int type, MvcBase* source)
    : MvcEvent(type)
    , m_source(source)
{ }

int VEvent::destType() const
{
    return classDestType();
}

int VEvent::classDestType()
{
    return 2;
}

MvcBase* VEvent::source() const
{
    return m_source.get();
}

AbstractModelContainer::AbstractModelContainer(AbstractModel* model)
    : m_model(model)
{ }

AbstractModelContainer::~AbstractModelContainer() = default;

AbstractModel* AbstractModelContainer::model() const
{
    return m_model.get();
}

AbstractViewContainer::AbstractViewContainer(AbstractView* view)
    : m_view(view)
{ }

AbstractViewContainer::~AbstractViewContainer() = default;

AbstractView* AbstractViewContainer::view() const
{
    return m_view.get();
}

AbstractControllerContainer::AbstractControllerContainer(AbstractController* controller)
    : m_controller(controller)
{ }

AbstractControllerContainer::~AbstractControllerContainer() = default;

AbstractController* AbstractControllerContainer::controller() const
{
    return m_controller.get();
}

CChangeModelEvent::CChangeModelEvent(AbstractModel* model, QObject* sender, Flags flags)
    : CEvent(ChangeModel, sender, flags)
    , AbstractModelContainer(model)
{ }

CChangeModelEvent* CChangeModelEvent::modelDestroyed()
{
    auto* event = new CChangeModelEvent(nullptr);
    event->setModelGone();
    return event;
}

CViewAttachEvent::CViewAttachEvent(AbstractView* view, QObject* sender, Flags flags)
    : CEvent(ViewAttach, sender, flags)
    , AbstractViewContainer(view)
{ }

CViewDetachEvent::CViewDetachEvent(AbstractView* view, QObject* sender, Flags flags)
    : CEvent(ViewDetach, sender, flags)
    , AbstractViewContainer(view)
{ }

MChangeControllerEvent::MChangeControllerEvent(AbstractController* controller)
    : MEvent(ChangeController)
    , AbstractControllerContainer(controller)
{ }

VChangeControllerEvent::VChangeControllerEvent(AbstractController* controller, MvcBase* source)
    : VEvent(ChangeController, source)
    , AbstractControllerContainer(controller)
{ }

VModelChangedEvent::VModelChangedEvent(AbstractModel* model, MvcBase* source)
    : VEvent(ModelChanged, source)
    , AbstractModelContainer(model)
{ }
