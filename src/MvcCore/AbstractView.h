#ifndef ABSTRACTVIEW_H
#define ABSTRACTVIEW_H

#include "MvcBase.h"
#include "MvcPointer.h"

#include <QSet>

class AbstractController;
class AbstractModel;
class VChangeControllerEvent;
class VEvent;
class VModelChangedEvent;

// A view knows its controller, the controller's model and its own sub-views, which follow it
// from controller to controller. Attaching runs, in delivery order, the controller's attach,
// then this view's changeControllerEvent, modelChangedEvent and resetEvent.
class AbstractView : public MvcBase
{
public:
    explicit AbstractView(QObject* host);
    // Leaves every controller's view set and every view's sub-view set at once, so nothing
    // queued later can reach this view.
    ~AbstractView() override;

    void mvcEvent(MvcEvent* event) override;
    virtual void changeControllerEvent(VChangeControllerEvent* event);
    virtual void modelChangedEvent(VModelChangedEvent* event);
    virtual void resetEvent(VEvent* event);

    // Null once the partner or its host is gone.
    AbstractController* controller() const { return m_controller.get(); }
    AbstractModel* model() const { return m_model.get(); }
    // Posts an event to the controller's host; without a controller the event is deleted.
    void postToController(QEvent* event) const;

    void addSubView(AbstractView* view);
    void removeSubView(AbstractView* view);
    void clearSubViews();
    QSet<AbstractView*> subViews() const { return m_subViews; }

private:
    friend class AbstractController;

    MvcPointer<AbstractController> m_controller;
    MvcPointer<AbstractModel> m_model;
    QSet<AbstractView*> m_subViews;
    // The other side of the sets that hold this view: views that have it as a sub-view and
    // controllers that have it attached.
    QSet<AbstractView*> m_superViews;
    QSet<AbstractController*> m_listedBy;
};

#endif // ABSTRACTVIEW_H
