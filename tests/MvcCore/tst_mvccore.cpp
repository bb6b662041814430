#include "AbstractController.h"
#include "AbstractModel.h"
#include "AbstractView.h"
#include "MvcEvents.h"
#include "MvcModuleId.h"

#include <QtTest>

// What the parties received, in delivery order: "<party> <what> <partner>".
static QStringList journal;

static QString nameOf(const MvcBase* party)
{
    return party ? party->objectPtr()->objectName() : QStringLiteral("-");
}

static void deliver()
{
    for (int i = 0; i < 8; ++i)
        QCoreApplication::sendPostedEvents();
}

class Controller : public QObject, public AbstractController
{
public:
    explicit Controller(const QString& name)
        : AbstractController(this)
    {
        setObjectName(name);
    }
    void changeModelEvent(CChangeModelEvent* e) override
    {
        journal << objectName() + " model " + nameOf(e->model());
        AbstractController::changeModelEvent(e);
    }
    void viewAttachEvent(CViewAttachEvent* e) override
    {
        journal << objectName() + " attach " + nameOf(e->view());
        AbstractController::viewAttachEvent(e);
    }

protected:
    void customEvent(QEvent* e) override
    {
        if (auto* c = dynamic_cast<CEvent*>(e))
            mvcEvent(c);
    }
};

class Model : public QObject, public AbstractModel
{
public:
    explicit Model(const QString& name)
        : AbstractModel(this)
    {
        setObjectName(name);
    }
    void changeControllerEvent(MChangeControllerEvent* e) override
    {
        journal << objectName() + " controller " + nameOf(e->controller());
        AbstractModel::changeControllerEvent(e);
    }

protected:
    void customEvent(QEvent* e) override
    {
        if (auto* m = dynamic_cast<MEvent*>(e))
            mvcEvent(m);
    }
};

class View : public QObject, public AbstractView
{
public:
    explicit View(const QString& name)
        : AbstractView(this)
    {
        setObjectName(name);
    }
    void changeControllerEvent(VChangeControllerEvent* e) override
    {
        journal << objectName() + " controller " + nameOf(e->controller());
        AbstractView::changeControllerEvent(e);
    }
    void modelChangedEvent(VModelChangedEvent* e) override
    {
        journal << objectName() + " model " + nameOf(e->model());
        AbstractView::modelChangedEvent(e);
    }
    void resetEvent(VEvent*) override { journal << objectName() + " reset"; }

protected:
    void customEvent(QEvent* e) override
    {
        if (auto* v = dynamic_cast<VEvent*>(e))
            mvcEvent(v);
    }
};

// A controller event of another module that reuses a core type number.
class ForeignEvent : public CEvent
{
public:
    ForeignEvent()
        : CEvent(CEvent::ClearViews)
    { }
    quint32 moduleId() const override
    {
        static const quint32 id = allocateModuleId();
        return id;
    }
};

class TestMvcCore : public QObject
{
    Q_OBJECT

private slots:
    void init() { journal.clear(); }

    void attachingRunsInQueueOrder()
    {
        Controller c("c");
        Model m("m");
        View v("v");
        c.setModel(&m);
        c.attachView(&v);
        deliver();
        QCOMPARE(journal,
                 QStringList({"c model m", "c attach v", "m controller c", "v controller c",
                              "v model m", "v reset"}));
        QCOMPARE(v.controller(), &c);
        QCOMPARE(v.model(), &m);
        QCOMPARE(m.controller(), &c);

        // Attaching again keeps one entry but tells the view again.
        journal.clear();
        c.attachView(&v);
        deliver();
        QCOMPARE(c.views().size(), 1);
        QCOMPARE(journal.count("v controller c"), 1);
    }

    void newModelReachesEveryView()
    {
        Controller c("c");
        View v1("v1");
        View v2("v2");
        c.attachView(&v1);
        c.attachView(&v2);
        deliver();
        QCOMPARE(v1.model(), nullptr);
        QVERIFY(journal.contains("v2 reset"));

        Model m("m");
        journal.clear();
        c.setModel(&m);
        deliver();
        QCOMPARE(journal.size(), 6);
        QCOMPARE(journal.mid(0, 2), QStringList({"c model m", "m controller c"}));
        for (const QString v : {"v1", "v2"})
            QVERIFY(journal.indexOf(v + " model m") < journal.indexOf(v + " reset"));
        QCOMPARE(v2.model(), &m);

        // Dropping the model does not reach the views.
        c.setModel(nullptr);
        deliver();
        QCOMPARE(c.model(), nullptr);
        QCOMPARE(v1.model(), &m);
    }

    void otherModulesEventsAreNotHandled()
    {
        Controller c("c");
        View v("v");
        c.attachView(&v);
        deliver();
        QCoreApplication::postEvent(&c, new ForeignEvent);
        deliver();
        QCOMPARE(c.views().size(), 1);
        QCoreApplication::postEvent(&c, new CEvent(CEvent::ClearViews));
        deliver();
        QVERIFY(c.views().isEmpty());
    }

    void subViewsFollowTheirView()
    {
        Controller c1("c1");
        Controller c2("c2");
        View parent("p");
        View sub("s");
        parent.addSubView(&sub);
        c1.attachView(&sub);
        deliver();
        QCOMPARE(sub.controller(), &c1);

        c2.attachView(&parent);
        deliver();
        QCOMPARE(sub.controller(), &c2);
        QVERIFY(c1.views().isEmpty());
        QCOMPARE(c2.views(), QSet<AbstractView*>({&parent, &sub}));
    }

    // Parties destroyed while events to or about them wait in the queue: run under
    // AddressSanitizer, any touch of a freed party fails the test.
    void destroyedPartiesAreNeverTouched()
    {
        Controller c("c");
        auto* a = new Model("a");
        c.setModel(a);

        // The controller has taken the view; the view's own events are still queued.
        auto* v = new View("v");
        c.attachView(v);
        QCoreApplication::sendPostedEvents(&c);
        QCOMPARE(c.views().size(), 1);
        delete v;
        QVERIFY(c.views().isEmpty());

        // A detach queued for a view that is then destroyed must not remove a later view.
        auto* w = new View("w");
        c.attachView(w);
        deliver();
        c.detachView(w);
        delete w;
        View x("x");
        c.attachView(&x);
        deliver();
        QCOMPARE(c.views(), QSet<AbstractView*>({&x}));

        // A model destroyed after the controller was given another keeps the new one; a
        // model destroyed before its change arrives leaves none.
        auto* b = new Model("b");
        c.setModel(b);
        delete a;
        deliver();
        QCOMPARE(c.model(), b);
        auto* gone = new Model("gone");
        c.setModel(gone);
        delete gone;
        delete b;
        deliver();
        QCOMPARE(c.model(), nullptr);
        QCOMPARE(x.model(), nullptr);

        // A destroyed sub-view leaves its view; a destroyed controller reads as null.
        auto* sub = new View("sub");
        x.addSubView(sub);
        delete sub;
        QVERIFY(x.subViews().isEmpty());
        auto* d = new Controller("d");
        d->attachView(&x);
        deliver();
        delete d;
        QCOMPARE(x.controller(), nullptr);
    }
};

QTEST_GUILESS_MAIN(TestMvcCore)
#include "tst_mvccore.moc"
