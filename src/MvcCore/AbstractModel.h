#ifndef ABSTRACTMODEL_H
#define ABSTRACTMODEL_H

#include "MvcBase.h"
#include "MvcPointer.h"

class AbstractController;
class MChangeControllerEvent;

// A model knows its controller, which it learns when the controller takes it.
class AbstractModel : public MvcBase
{
public:
    explicit AbstractModel(QObject* host);
    // Tells the controller, while it exists, that its model is gone.
    ~AbstractModel() override;

    void mvcEvent(MvcEvent* event) override;
    virtual void changeControllerEvent(MChangeControllerEvent* event);

    // Null once the controller or its host is gone.
    AbstractController* controller() const { return m_controller.get(); }
    // Posts an event to the controller's host; without a controller the event is deleted.
    void postToController(QEvent* event) const;

private:
    MvcPointer<AbstractController> m_controller;
};

#endif // ABSTRACTMODEL_H
