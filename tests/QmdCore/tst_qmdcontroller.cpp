#include "ModelSignalRecorder.h"
#include "QmdController.h"
#include "QmdMemModel.h"

#include <QtTest>

typedef QHash<QString, QVariant> StrValues;

// A controller whose request counter a test can move, and which records its model resets.
class TestController : public QmdController
{
public:
    using QmdController::requestCounter;
    int resets = 0;

protected:
    void Reset() override
    {
        ++resets;
        QmdController::Reset();
    }
};

// Records the controller's signals in order, with the thread they arrived on.
struct ControllerLog : QObject
{
    QStringList lines;
    QList<QThread*> threads;

    explicit ControllerLog(QmdController* c)
    {
        auto add = [this](const QString& line) {
            lines.append(line);
            threads.append(QThread::currentThread());
        };
        connect(c,
                qOverload<const QmdIndex&, const QStringList&, QmdRequestId>(
                    &QmdController::itemsChanged),
                this, [=](const QmdIndex&, const QStringList& keys, QmdRequestId rid) {
                    add(QStringLiteral("changed %1 %2").arg(keys.join(',')).arg(rid));
                });
        connect(c,
                qOverload<const QmdIndex&, const QmdItemIdList&, QmdRequestId>(
                    &QmdController::itemsChanged),
                this, [=](const QmdIndex&, const QmdItemIdList& ids, QmdRequestId rid) {
                    add(QStringLiteral("changed #%1 %2").arg(ids.size()).arg(rid));
                });
        connect(c,
                qOverload<const QmdIndex&, const QStringList&, QmdRequestId>(
                    &QmdController::itemsRemoved),
                this, [=](const QmdIndex&, const QStringList& keys, QmdRequestId rid) {
                    add(QStringLiteral("removed %1 %2").arg(keys.join(',')).arg(rid));
                });
        connect(c, &QmdController::rootChanged, this,
                [=](QmdRequestId rid) { add(QStringLiteral("root %1").arg(rid)); });
        connect(c, &QmdController::canUndoChanged, this, [=](bool v, QmdRequestId rid) {
            add(QStringLiteral("canUndo %1 %2").arg(v).arg(rid));
        });
        connect(c, &QmdController::undoTextChanged, this, [=](const QString& v, QmdRequestId rid) {
            add(QStringLiteral("undoText '%1' %2").arg(v).arg(rid));
        });
        connect(c, &QmdController::requestFinished, this, [=](QmdRequestId rid, int status) {
            add(QStringLiteral("finished %1 %2").arg(rid).arg(status));
        });
        connect(c, &QmdController::modelReset, this, [=] { add(QStringLiteral("reset")); });
    }
};

class TestQmdController : public QObject
{
    Q_OBJECT

private slots:
    void requestIdsAndWrap();
    void presetIdJoinsStep();
    void defaultIntents();
    void undoRedoRequests();
    void historyRequestsLeaveNoStep();
    void relaysAfterTheRequestReturns();
    void relaysFromAnotherThread();
    void requestMadeByARelay();
    void setModelTwice();
    void withoutModel();
    void statusAndPlumbing();
    void nestedRequestStopsDebugBuilds();
};

void TestQmdController::requestIdsAndWrap()
{
    QmdMemModel model(Qmd::StrDict);
    TestController c;
    c.setModel(&model);
    QCOMPARE(c.requestSetData(QStringLiteral("a"), 1), QmdRequestId(2));
    QCOMPARE(c.requestSetData(QStringLiteral("a"), 2), QmdRequestId(3));
    // 0xFFFFFFFF means "no request id" to the transport requests, so ids skip it; 0 is never
    // issued.
    c.requestCounter = 0xFFFFFFFDu;
    QCOMPARE(c.requestSetData(QStringLiteral("a"), 3), QmdRequestId(0xFFFFFFFEu));
    QCOMPARE(c.requestUndo(), QmdRequestId(1));
    QCOMPARE(c.requestSetData(QStringLiteral("a"), 4), QmdRequestId(2));
    c.requestCounter = 0;
    QCOMPARE(c.requestMarkAsCleanState(), QmdRequestId(1));
}

void TestQmdController::presetIdJoinsStep()
{
    QmdMemModel model(Qmd::StrDict);
    TestController c;
    c.setModel(&model);
    const QmdRequestId first = c.requestSetData(QStringLiteral("a"), 1);
    QmdRequestOptions options(QStringLiteral("Follow-up"));
    options.id = first;
    QCOMPARE(c.requestSetData(QStringLiteral("b"), 2, QmdIndex(), options), first);
    QCOMPARE(model.currentHistoryCount(), 1);
    QCOMPARE(c.undoText(), QStringLiteral("Set Data"));
    // No id was registered for the preset one.
    QCOMPARE(c.requestSetData(QStringLiteral("c"), 3), QmdRequestId(first + 1));
    c.requestUndo();
    c.requestUndo();
    QVERIFY(c.keys(QmdIndex()).isEmpty());
}

void TestQmdController::defaultIntents()
{
    QmdMemModel model(Qmd::StrDict);
    QmdController c;
    c.setModel(&model);
    struct Case
    {
        std::function<void()> request;
        QString intent;
    };
    const QList<Case> cases = {
        {[&] { c.requestSetType(QStringLiteral("ids"), Qmd::IntDict); }, "Set Type"},
        {[&] { c.requestAddData(5, c.index(QStringLiteral("ids"), QmdIndex())); }, "Add Data"},
        {[&] { c.requestAddType(Qmd::StrDict, c.index(QStringLiteral("ids"), QmdIndex())); },
         "Add Type"},
        {[&] { c.requestAddTypes({Qmd::StrDict}, c.index(QStringLiteral("ids"), QmdIndex())); },
         "Add Types"},
        {[&] { c.requestSetData(QmdItemId(1), 6, c.index(QStringLiteral("ids"), QmdIndex())); },
         "Set Data"},
        {[&] { c.requestSetDataIfInvalid(QStringLiteral("x"), 1); }, "Set Data If Invalid"},
        {[&] { c.requestSetTypeIfInvalid(QStringLiteral("y"), Qmd::IntDict); },
         "Set Type If Invalid"},
        {[&] {
             c.requestSetTypes(QHash<QString, Qmd::ContainerType> {{"z", Qmd::StrDict}});
         },
         "Set Types"},
        {[&] { c.requestRemove(QStringLiteral("z")); }, "Remove"},
        {[&] { c.requestClear(c.index(QStringLiteral("y"), QmdIndex())); }, "Clear"},
        {[&] { c.requestSetRootType(Qmd::StrDict); }, "Set Root Type"},
        {[&] { c.requestSetRoot(QStringLiteral("plain")); }, "Set Root"},
    };
    for (const Case& test : cases) {
        test.request();
        QCOMPARE(c.undoText(), test.intent);
    }
    QCOMPARE(c.data(QmdIndex()), QVariant(QStringLiteral("plain")));
    c.requestUndo();
    c.requestUndo();
    QCOMPARE(c.type(QmdIndex()), Qmd::StrDict);
    QCOMPARE(c.data(QmdItemId(1), c.index(QStringLiteral("ids"), QmdIndex())), QVariant(6));
    QCOMPARE(c.type(c.index(QStringLiteral("y"), QmdIndex())), Qmd::IntDict);
}

void TestQmdController::undoRedoRequests()
{
    QmdMemModel model(Qmd::StrDict);
    QmdController c;
    c.setModel(&model);
    deliverRelays();
    const QmdRequestId nothing = c.requestUndo();
    QVERIFY(nothing != 0);
    QCOMPARE(c.unfinishedUndoRedoRequests(), QList<QmdRequestId>({nothing}));

    QList<QmdRequestId> listedAtFinish;
    connect(&c, &QmdController::requestFinished, this, [&](QmdRequestId rid, int) {
        if (c.unfinishedUndoRedoRequests().contains(rid))
            listedAtFinish.append(rid);
    });
    c.requestSetData(QStringLiteral("a"), 1);
    const QmdRequestId undo = c.requestUndo();
    const QmdRequestId redo = c.requestRedo();
    QCOMPARE(c.unfinishedUndoRedoRequests(), QList<QmdRequestId>({nothing, undo, redo}));
    deliverRelays();
    QCOMPARE(listedAtFinish, QList<QmdRequestId>({nothing, undo, redo}));
    QVERIFY(c.unfinishedUndoRedoRequests().isEmpty());
    QCOMPARE(c.data(QStringLiteral("a"), QmdIndex()), QVariant(1));
}

void TestQmdController::historyRequestsLeaveNoStep()
{
    QmdMemModel model(Qmd::StrDict);
    QmdController c;
    c.setModel(&model);
    c.requestSetData(QStringLiteral("a"), 1);
    c.requestMarkAsCleanState();
    c.requestSetUndoRedoLimit(100);
    c.requestUndo();
    c.requestRedo();
    QCOMPARE(model.currentHistoryCount(), 1);
    QCOMPARE(c.undoRedoLimit(), 100);
    QVERIFY(c.atCleanState());
    // A negative limit is refused.
    c.requestSetUndoRedoLimit(-5);
    QCOMPARE(c.undoRedoLimit(), 100);
}

void TestQmdController::relaysAfterTheRequestReturns()
{
    QmdMemModel model(Qmd::StrDict);
    QmdController c;
    c.setModel(&model);
    deliverRelays();
    ControllerLog log(&c);
    const QmdRequestId rid = c.requestSetData(StrValues {{"a", 1}, {"b", 2}});
    QVERIFY(log.lines.isEmpty());
    deliverRelays();
    QCOMPARE(log.lines,
             QStringList({QStringLiteral("changed a,b %1").arg(rid),
                          QStringLiteral("canUndo 1 %1").arg(rid),
                          QStringLiteral("undoText 'Set Data' %1").arg(rid),
                          QStringLiteral("finished %1 0").arg(rid)}));
}

void TestQmdController::relaysFromAnotherThread()
{
    QmdMemModel model(Qmd::StrDict);
    QmdController c;
    c.setModel(&model);
    deliverRelays();
    ControllerLog log(&c);
    QmdRequestId rid = 0;
    QThread* worker = QThread::create([&] {
        QmdRequestOptions options(Qmd::NotUndoable, QString());
        rid = c.requestSetData(QStringLiteral("state"), 7, QmdIndex(), options);
    });
    worker->start();
    QVERIFY(worker->wait(5000));
    delete worker;
    QVERIFY(log.lines.isEmpty());
    deliverRelays();
    QCOMPARE(log.lines,
             QStringList({QStringLiteral("changed state %1").arg(rid),
                          QStringLiteral("finished %1 0").arg(rid)}));
    for (QThread* thread : std::as_const(log.threads))
        QCOMPARE(thread, QThread::currentThread());
}

void TestQmdController::requestMadeByARelay()
{
    // An observer that answers a change with a request of its own gets that request's relays
    // after those of the request it answered, never in the middle of them.
    QmdMemModel model(Qmd::StrDict);
    QmdController c;
    c.setModel(&model);
    deliverRelays();
    ControllerLog log(&c);
    QmdRequestId answer = 0;
    connect(
        &c,
        qOverload<const QmdIndex&, const QStringList&, QmdRequestId>(&QmdController::itemsChanged),
        this, [&](const QmdIndex&, const QStringList& keys, QmdRequestId) {
            if (keys.contains(QStringLiteral("a")))
                answer = c.requestSetData(QStringLiteral("b"), 2);
        });
    const QmdRequestId first = c.requestSetData(QStringLiteral("a"), 1);
    deliverRelays();
    deliverRelays();
    QCOMPARE(log.lines.filter(QRegularExpression(QStringLiteral("^(changed|finished)"))),
             QStringList({QStringLiteral("changed a %1").arg(first),
                          QStringLiteral("finished %1 0").arg(first),
                          QStringLiteral("changed b %1").arg(answer),
                          QStringLiteral("finished %1 0").arg(answer)}));
}

void TestQmdController::setModelTwice()
{
    QmdMemModel model(Qmd::StrDict);
    TestController c;
    ControllerLog log(&c);
    c.setModel(&model);
    c.setModel(&model);
    QCOMPARE(c.resets, 2);
    QCOMPARE(log.lines, QStringList({"reset", "reset"}));
    log.lines.clear();
    const QmdRequestId rid = c.requestSetData(QStringLiteral("a"), 1);
    deliverRelays();
    QCOMPARE(log.lines.filter(QStringLiteral("changed")),
             QStringList({QStringLiteral("changed a %1").arg(rid)}));

    // Another model replaces every connection to the first.
    QmdMemModel other(Qmd::StrDict);
    c.setModel(&other);
    log.lines.clear();
    model.setData(StrValues {{"x", 1}}, QmdIndex());
    deliverRelays();
    QVERIFY(log.lines.isEmpty());
}

void TestQmdController::withoutModel()
{
    TestController c;
    c.setModel(nullptr);
    QCOMPARE(c.resets, 1);
    QCOMPARE(c.requestSetData(QStringLiteral("a"), 1), QmdRequestId(0));
    QCOMPARE(c.requestUndo(), QmdRequestId(0));
    QCOMPARE(c.requestAddData(1), QmdRequestId(0));
    QVERIFY(!c.data(QStringLiteral("a"), QmdIndex()).isValid());
    QVERIFY(c.unfinishedUndoRedoRequests().isEmpty());

    // A model that goes away leaves the controller harmless too.
    auto* model = new QmdMemModel(Qmd::StrDict);
    c.setModel(model);
    c.requestSetData(QStringLiteral("a"), 1);
    delete model;
    QCOMPARE(c.requestSetData(QStringLiteral("a"), 2), QmdRequestId(0));
    QVERIFY(!c.canUndo());
    deliverRelays();
}

void TestQmdController::statusAndPlumbing()
{
    QmdMemModel model(Qmd::StrDict);
    QmdController c;
    c.setModel(&model);
    deliverRelays();
    ControllerLog log(&c);
    const QmdRequestId id = c.beginRequest(QmdRequestOptions(QStringLiteral("Two steps")));
    c.directSetData(QStringLiteral("a"), 1, QmdIndex());
    c.directSetData(QStringLiteral("b"), 2, QmdIndex());
    QCOMPARE(c.endRequest(-1, id), id);
    deliverRelays();
    QCOMPARE(log.lines.last(), QStringLiteral("finished %1 -1").arg(id));
    QCOMPARE(model.currentHistoryCount(), 1);
    QCOMPARE(c.undoText(), QStringLiteral("Two steps"));
    QCOMPARE(c.childValues(QmdIndex()), QList<QVariant>({1, 2}));
    QVERIFY(c.requestsPending().isEmpty());
}

void TestQmdController::nestedRequestStopsDebugBuilds()
{
#ifdef QT_NO_DEBUG
    QSKIP("assertions are compiled out of release builds");
#else
    QProcess program;
    program.start(QStringLiteral(KELVO_NESTED_REQUEST), QStringList());
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::CrashExit);
    QVERIFY(program.readAllStandardError().contains("another one is open"));
#endif
}

QTEST_GUILESS_MAIN(TestQmdController)
#include "tst_qmdcontroller.moc"
