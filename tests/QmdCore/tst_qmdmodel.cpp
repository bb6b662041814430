#include "ModelSignalRecorder.h"
#include "QmdMemModel.h"

#include <QtTest>

// The request bracket and the idle state that every model shares.
class TestQmdModel : public QObject
{
    Q_OBJECT

private slots:
    void freshModel();
    void requestBracket();
    void secondBeginReplacesTheFirst();
    void endWithoutBegin();
    void twoArgumentFinishedSignal();
    void queuedSignalsCrossThreads();
};

void TestQmdModel::freshModel()
{
    QmdMemModel model;
    QCOMPARE(model.requestId(), QmdRequestId(0));
    QCOMPARE(model.requestFlags(), Qmd::RequestFlags());
    QCOMPARE(model.requestIntent(), QString());
    QCOMPARE(model.requestStatus(), 0);
    QCOMPARE(model.undoRedoLimit(), 0);
    QVERIFY(QMetaType::fromName("QmdIndex").isValid());
    QVERIFY(QMetaType::fromName("QmdItemIdList").isValid());
    QVERIFY(QMetaType::fromName("QmdRequestId").isValid());
    QVERIFY(QMetaType::fromName("Qmd::RequestFlags").isValid());
}

void TestQmdModel::requestBracket()
{
    QmdMemModel model(Qmd::StrDict);
    ModelSignalRecorder rec(&model);
    model.beginRequest(7, Qmd::NotUndoable, QStringLiteral("Set Data"));
    QCOMPARE(model.requestId(), QmdRequestId(7));
    QCOMPARE(model.requestIntent(), QStringLiteral("Set Data"));
    model.setData(QHash<QString, QVariant> {{QStringLiteral("k"), 1}}, QmdIndex());
    model.setRequestStatus(2);
    model.endRequest();
    QCOMPARE(rec.take(), QStringList({"changed k rid=7", "finished 7 flags=1 status=2"}));
    QCOMPARE(model.requestId(), QmdRequestId(0));
    QCOMPARE(model.requestFlags(), Qmd::RequestFlags());
    QCOMPARE(model.requestIntent(), QString());
    QCOMPARE(model.requestStatus(), 0);

    // Changes outside a request carry id 0.
    model.setData(QHash<QString, QVariant> {{QStringLiteral("k"), 2}}, QmdIndex());
    QCOMPARE(rec.take().first(), QStringLiteral("changed k rid=0"));
}

void TestQmdModel::secondBeginReplacesTheFirst()
{
    QmdMemModel model;
    ModelSignalRecorder rec(&model);
    model.beginRequest(3, Qmd::NoRequestFlags, QStringLiteral("A"));
    model.setRequestStatus(5);
    model.beginRequest(4, Qmd::NotUndoable, QStringLiteral("B"));
    QCOMPARE(model.requestStatus(), 0);
    model.endRequest();
    QCOMPARE(rec.take(), QStringList({"finished 4 flags=1 status=0"}));
}

void TestQmdModel::endWithoutBegin()
{
    QmdMemModel model;
    ModelSignalRecorder rec(&model);
    model.endRequest();
    QCOMPARE(rec.take(), QStringList({"finished 0 flags=0 status=0"}));
}

void TestQmdModel::twoArgumentFinishedSignal()
{
    QmdMemModel model;
    // The signal's default argument gives a second signature for string-based connections.
    QSignalSpy spy(&model, SIGNAL(requestFinished(QmdRequestId, Qmd::RequestFlags)));
    QVERIFY(spy.isValid());
    model.beginRequest(9, Qmd::NoRequestFlags, QString());
    model.setRequestStatus(1);
    model.endRequest();
    model.beginRequest(10, Qmd::NotUndoable, QString());
    model.endRequest();
    QCOMPARE(spy.size(), 2);
    QCOMPARE(spy.at(0).at(0).value<QmdRequestId>(), QmdRequestId(9));
    QCOMPARE(spy.at(1).at(0).value<QmdRequestId>(), QmdRequestId(10));
}

void TestQmdModel::queuedSignalsCrossThreads()
{
    // The model's signals carry typedef'd arguments; they must survive a queued connection.
    QmdMemModel model(Qmd::IntDict);
    QThread thread;
    QObject receiver;
    receiver.moveToThread(&thread);
    thread.start();
    QmdItemIdList received;
    QmdRequestId receivedRid = 0;
    QSemaphore done;
    connect(
        &model,
        qOverload<const QmdIndex&, const QmdItemIdList&, QmdRequestId>(&QmdModel::itemsChanged),
        &receiver,
        [&](const QmdIndex&, const QmdItemIdList& ids, QmdRequestId rid) {
            received = ids;
            receivedRid = rid;
            done.release();
        },
        Qt::QueuedConnection);
    model.beginRequest(12, Qmd::NoRequestFlags, QString());
    model.addData({QStringLiteral("x"), QStringLiteral("y")}, QmdIndex());
    model.endRequest();
    QVERIFY(done.tryAcquire(1, 5000));
    thread.quit();
    thread.wait();
    QCOMPARE(received, QmdItemIdList({1, 2}));
    QCOMPARE(receivedRid, QmdRequestId(12));
}

QTEST_GUILESS_MAIN(TestQmdModel)
#include "tst_qmdmodel.moc"
