#ifndef MVCEVENTS_H
#define MVCEVENTS_H

#include "MvcPointer.h"

#include <QEvent>
#include <QFlags>
#include <QPointer>

class AbstractController;
class AbstractModel;
class AbstractView;
class MvcBase;

// The base of every MVC event. Each kind (controller, model and view events) numbers its
// types on its own, within the module that moduleId() names.
class MvcEvent : public QEvent
{
public:
    explicit MvcEvent(int type);

    virtual quint32 moduleId() const;
    // 0 for a plain MvcEvent, 1 model events, 2 view events, 3 controller events.
    virtual int destType() const;

    static quint32 classModuleId();
    static int classDestType();
};

// An event for a controller. Without DontUpdateSender the controller also tells the view that
// sent the change.
class CEvent : public MvcEvent
{
public:
    enum Type { ChangeModel = 1000, ViewAttach = 1001, ViewDetach = 1002, ClearViews = 1003 };
    enum Flag { DontUpdateSender = 1 };
    Q_DECLARE_FLAGS(Flags, Flag)

    explicit CEvent(int type, QObject* sender = nullptr, Flags flags = {});

    int destType() const override;
    static int classDestType();

    // Null once the sender is gone.
    QObject* sender() const { return m_sender; }
    Flags flags() const { return m_flags; }
    bool updateSender() const { return !m_flags.testFlag(DontUpdateSender); }

private:
    QPointer<QObject> m_sender;
    Flags m_flags;
};
Q_DECLARE_OPERATORS_FOR_FLAGS(CEvent::Flags)

// An event for a model.
class MEvent : public MvcEvent
{
public:
    enum Type { ChangeController = 1000 };

    explicit MEvent(int type);

    int destType() const override;
    static int classDestType();
};

// An event for a view, with the party that posted it.
class VEvent : public MvcEvent
{
public:
    enum Type { ChangeController = 1000, ModelChanged = 1001, Reset = 1002 };

    VEvent(int type, MvcBase* source);

    int destType() const override;
    static int classDestType();

    // Null once the source is gone.
    MvcBase* source() const;

private:
    MvcPointer<MvcBase> m_source;
};

// The containers hold the party they carry through a guarded pointer: a party destroyed while
// the event waits in the queue reads as null on delivery.
class AbstractModelContainer
{
public:
    explicit AbstractModelContainer(AbstractModel* model);
    virtual ~AbstractModelContainer();

    AbstractModel* model() const;
    // True when the event named a model that has been destroyed since it was posted.
    bool modelGone() const { return m_modelGone || m_model.isGone(); }

protected:
    void setModelGone() { m_modelGone = true; }

private:
    MvcPointer<AbstractModel> m_model;
    bool m_modelGone = false;
};

class AbstractViewContainer
{
public:
    explicit AbstractViewContainer(AbstractView* view);
    virtual ~AbstractViewContainer();

    AbstractView* view() const;

private:
    MvcPointer<AbstractView> m_view;
};

class AbstractControllerContainer
{
public:
    explicit AbstractControllerContainer(AbstractController* controller);
    virtual ~AbstractControllerContainer();

    AbstractController* controller() const;

private:
    MvcPointer<AbstractController> m_controller;
};

class CChangeModelEvent : public CEvent, public AbstractModelContainer
{
public:
    explicit CChangeModelEvent(AbstractModel* model, QObject* sender = nullptr, Flags flags = {});

    // What a dying model tells its controller: the controller drops the model unless it has
    // been given another one meanwhile.
    static CChangeModelEvent* modelDestroyed();
};

class CViewAttachEvent : public CEvent, public AbstractViewContainer
{
public:
    explicit CViewAttachEvent(AbstractView* view, QObject* sender = nullptr, Flags flags = {});
};

class CViewDetachEvent : public CEvent, public AbstractViewContainer
{
public:
    explicit CViewDetachEvent(AbstractView* view, QObject* sender = nullptr, Flags flags = {});
};

class MChangeControllerEvent : public MEvent, public AbstractControllerContainer
{
public:
    explicit MChangeControllerEvent(AbstractController* controller);
};

class VChangeControllerEvent : public VEvent, public AbstractControllerContainer
{
public:
    VChangeControllerEvent(AbstractController* controller, MvcBase* source);
};

class VModelChangedEvent : public VEvent, public AbstractModelContainer
{
public:
    VModelChangedEvent(AbstractModel* model, MvcBase* source);
};

#endif // MVCEVENTS_H
