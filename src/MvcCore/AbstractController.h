#ifndef ABSTRACTCONTROLLER_H
#define ABSTRACTCONTROLLER_H

#include "MvcBase.h"
#include "MvcPointer.h"

#include <QHash>
#include <QPointer>
#include <QSet>

class AbstractModel;
class AbstractView;
class CChangeModelEvent;
class CEvent;
class CViewAttachEvent;
class CViewDetachEvent;

// A controller knows one model and a set of views. setModel, attachView and detachView only
// post events to the controller's own host; the change happens when the event is delivered.
class AbstractController : public MvcBase
{
public:
    explicit AbstractController(QObject* host);
    ~AbstractController() override;

    void mvcEvent(MvcEvent* event) override;
    virtual void changeModelEvent(CChangeModelEvent* event);
    virtual void viewAttachEvent(CViewAttachEvent* event);
    virtual void viewDetachEvent(CViewDetachEvent* event);
    virtual void clearViewsEvent(CEvent* event);

    void setModel(AbstractModel* model);
    void attachView(AbstractView* view);
    void detachView(AbstractView* view);

    // Null once the model or its host is gone.
    AbstractModel* model() const { return m_model.get(); }
    // A view leaves this set when it is destroyed, so the set never holds a freed view.
    const QSet<AbstractView*>& views() const { return m_views; }

protected:
    // Posts an event to the host of an attached view; deletes it when that host is gone.
    void postToView(AbstractView* view, QEvent* event) const;

private:
    friend class AbstractView;
    void forgetView(AbstractView* view);

    MvcPointer<AbstractModel> m_model;
    QSet<AbstractView*> m_views;
    QHash<AbstractView*, QPointer<QObject>> m_viewHosts;
};

#endif // ABSTRACTCONTROLLER_H
