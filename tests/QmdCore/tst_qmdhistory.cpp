#include "ModelSignalRecorder.h"
#include "QmdMemModel.h"

#include <QtTest>

typedef QHash<QString, QVariant> StrValues;
typedef QHash<QString, Qmd::ContainerType> StrTypes;

// A model with a StrDict root holding the StrDicts "A", "B" and "C", made outside the history.
class HistoryModel : public QmdMemModel
{
public:
    HistoryModel()
        : QmdMemModel(Qmd::StrDict)
    {
        beginRequest(1, Qmd::NotUndoable, QStringLiteral("Setup"));
        setTypes(StrTypes {{QStringLiteral("A"), Qmd::StrDict},
                           {QStringLiteral("B"), Qmd::StrDict},
                           {QStringLiteral("C"), Qmd::StrDict}},
                 QmdIndex());
        endRequest();
    }

    QmdIndex at(const QString& key) const { return index(key, QmdIndex()); }

    // One request that sets key to value in container.
    void edit(QmdRequestId id, const QString& intent,
              const QString& container = QStringLiteral("A"), const QVariant& value = 1,
              Qmd::RequestFlags flags = Qmd::NoRequestFlags)
    {
        beginRequest(id, flags, intent);
        setData(StrValues {{QStringLiteral("k"), value}}, at(container));
        endRequest();
    }

    void undoRequest()
    {
        beginRequest(900, Qmd::NotUndoable, QStringLiteral("Undo"));
        undo();
        endRequest();
    }

    void redoRequest()
    {
        beginRequest(901, Qmd::NotUndoable, QStringLiteral("Redo"));
        redo();
        endRequest();
    }
};

class TestQmdHistory : public QObject
{
    Q_OBJECT

private slots:
    void oneRequestIsOneStep();
    void undoStateSignalsFollowItemSignals();
    void newStepClearsRedo();
    void limitOne();
    void lowerLimitTrimsRedoFirst();
    void negativeLimitIsRejected();
    void cleanAfterEditAndUndo();
    void cleanLostWhenMarkedStepIsDiscarded();
    void cleanWithEmptyUndoStack();
    void cleanMarkerDroppedByLimit();
    void cleanUnreachableWhenEmptyStateIsDropped();
    void cleanUnreachableWhenLimitTrims();
    void undoOfSetSignals();
    void undoOfRemovalSignals();
    void releaseOfReplacedContainers();
    void requestZeroMerges();
    void commandWhoseContainerHasGone();
};

void TestQmdHistory::oneRequestIsOneStep()
{
    HistoryModel m;
    m.beginRequest(5, Qmd::NoRequestFlags, QStringLiteral("Three"));
    m.setData(StrValues {{QStringLiteral("k"), 1}}, m.at(QStringLiteral("A")));
    m.setData(StrValues {{QStringLiteral("k"), 2}}, m.at(QStringLiteral("B")));
    m.setData(StrValues {{QStringLiteral("k"), 3}}, m.at(QStringLiteral("C")));
    m.endRequest();
    QCOMPARE(m.currentHistoryCount(), 1);
    QCOMPARE(m.undoText(), QStringLiteral("Three"));

    ModelSignalRecorder rec(&m);
    m.undoRequest();
    QCOMPARE(rec.take().filter(QStringLiteral("removed")),
             QStringList({"removed(C) k rid=900", "removed(B) k rid=900", "removed(A) k rid=900"}));
    QCOMPARE(m.redoText(), QStringLiteral("Three"));
    QVERIFY(!m.canUndo());
    m.redoRequest();
    QCOMPARE(rec.take().filter(QStringLiteral("changed")),
             QStringList({"changed(A) k rid=901", "changed(B) k rid=901", "changed(C) k rid=901"}));
    QCOMPARE(m.data(m.index(QStringLiteral("k"), m.at(QStringLiteral("C")))), QVariant(3));
}

void TestQmdHistory::undoStateSignalsFollowItemSignals()
{
    HistoryModel m;
    ModelSignalRecorder rec(&m);
    m.edit(2, QStringLiteral("First"));
    QCOMPARE(rec.take(),
             QStringList({"changed(A) k rid=2", "clean 0 rid=2", "canUndo 1 rid=2",
                          "undoText 'First' rid=2", "finished 2 flags=0 status=0"}));
    m.undoRequest();
    QCOMPARE(rec.take(),
             QStringList({"removed(A) k rid=900", "clean 1 rid=900", "canRedo 1 rid=900",
                          "canUndo 0 rid=900", "redoText 'First' rid=900", "undoText '' rid=900",
                          "finished 900 flags=1 status=0"}));
    // Nothing to undo: nothing announced.
    m.undoRequest();
    QCOMPARE(rec.take(), QStringList({"finished 900 flags=1 status=0"}));
}

void TestQmdHistory::newStepClearsRedo()
{
    HistoryModel m;
    m.edit(2, QStringLiteral("One"));
    m.edit(3, QStringLiteral("Two"));
    m.undoRequest();
    QVERIFY(m.canRedo());
    m.edit(4, QStringLiteral("Playback"), QStringLiteral("B"), 7, Qmd::NotUndoable);
    QVERIFY(m.canRedo());
    QCOMPARE(m.undoText(), QStringLiteral("One"));
    m.edit(5, QStringLiteral("Three"));
    QVERIFY(!m.canRedo());
    QCOMPARE(m.currentHistoryCount(), 2);
}

void TestQmdHistory::limitOne()
{
    HistoryModel m;
    m.setUndoRedoLimit(1);
    for (QmdRequestId id = 2; id < 8; ++id) {
        m.edit(id, QStringLiteral("Step %1").arg(id), QStringLiteral("A"), int(id));
        QCOMPARE(m.currentHistoryCount(), 1);
        QCOMPARE(m.undoText(), QStringLiteral("Step %1").arg(id));
    }
    m.undoRequest();
    QCOMPARE(m.data(m.index(QStringLiteral("k"), m.at(QStringLiteral("A")))), QVariant(6));
    QVERIFY(!m.canUndo());
}

void TestQmdHistory::lowerLimitTrimsRedoFirst()
{
    HistoryModel m;
    for (QmdRequestId id = 2; id < 7; ++id)
        m.edit(id, QStringLiteral("Step %1").arg(id), QStringLiteral("A"), int(id));
    m.undoRequest();
    m.undoRequest();
    QCOMPARE(m.currentHistoryCount(), 5);
    ModelSignalRecorder rec(&m);
    m.setUndoRedoLimit(2);
    QCOMPARE(m.undoRedoLimit(), 2);
    QCOMPARE(m.currentHistoryCount(), 2);
    QVERIFY(!m.canRedo());
    QCOMPARE(m.undoText(), QStringLiteral("Step 4"));
    QCOMPARE(rec.take(), QStringList({"canRedo 0 rid=0", "redoText '' rid=0"}));
    m.undoRequest();
    m.undoRequest();
    QVERIFY(!m.canUndo());
    QCOMPARE(m.data(m.index(QStringLiteral("k"), m.at(QStringLiteral("A")))), QVariant(2));

    // Raising the limit drops nothing.
    m.setUndoRedoLimit(10);
    QCOMPARE(m.currentHistoryCount(), 2);
}

void TestQmdHistory::negativeLimitIsRejected()
{
    HistoryModel m;
    m.setUndoRedoLimit(3);
    m.setUndoRedoLimit(-1);
    QCOMPARE(m.undoRedoLimit(), 3);
}

void TestQmdHistory::cleanAfterEditAndUndo()
{
    HistoryModel m;
    QVERIFY(m.atCleanState());
    m.edit(2, QStringLiteral("One"));
    m.markAsCleanState();
    QVERIFY(m.atCleanState());
    m.edit(3, QStringLiteral("Two"));
    QVERIFY(!m.atCleanState());
    m.undoRequest();
    QVERIFY(m.atCleanState());
    m.redoRequest();
    QVERIFY(!m.atCleanState());
    // Not-undoable changes and changes that join the top step leave the state alone.
    m.undoRequest();
    m.edit(4, QStringLiteral("Playback"), QStringLiteral("B"), 1, Qmd::NotUndoable);
    QVERIFY(m.atCleanState());
}

void TestQmdHistory::cleanLostWhenMarkedStepIsDiscarded()
{
    HistoryModel m;
    m.edit(2, QStringLiteral("One"));
    m.markAsCleanState();
    m.undoRequest();
    m.edit(3, QStringLiteral("Two"));
    QVERIFY(!m.atCleanState());
    // The marked command was deleted with the redo stack; no later command matches it, even
    // when it is built in the storage the marked one had.
    for (QmdRequestId id = 4; id < 20; ++id) {
        m.edit(id, QStringLiteral("More"));
        QVERIFY(!m.atCleanState());
        m.undoRequest();
        QVERIFY(!m.atCleanState());
        m.undoRequest();
        QVERIFY(!m.atCleanState());
        m.redoRequest();
        m.redoRequest();
    }
    m.markAsCleanState();
    QVERIFY(m.atCleanState());
}

void TestQmdHistory::cleanWithEmptyUndoStack()
{
    HistoryModel m;
    m.markAsCleanState();
    m.edit(2, QStringLiteral("One"));
    m.edit(3, QStringLiteral("Two"));
    m.undoRequest();
    QVERIFY(!m.atCleanState());
    m.undoRequest();
    QVERIFY(m.atCleanState());
}

void TestQmdHistory::cleanMarkerDroppedByLimit()
{
    HistoryModel m;
    m.setUndoRedoLimit(2);
    m.edit(2, QStringLiteral("One"));
    m.edit(3, QStringLiteral("Two"));
    m.markAsCleanState();
    m.edit(4, QStringLiteral("Three"));
    m.edit(5, QStringLiteral("Four"));
    QVERIFY(!m.atCleanState());
    m.undoRequest();
    QVERIFY(!m.atCleanState());
    m.undoRequest();
    QVERIFY(m.atCleanState());
}

void TestQmdHistory::cleanUnreachableWhenEmptyStateIsDropped()
{
    // The state with an empty undo stack was the clean one. Once the oldest step is dropped,
    // undoing everything no longer returns to it.
    HistoryModel m;
    m.setUndoRedoLimit(1);
    QVERIFY(m.atCleanState());
    m.edit(2, QStringLiteral("One"));
    m.edit(3, QStringLiteral("Two"));
    m.undoRequest();
    QVERIFY(!m.canUndo());
    QVERIFY(!m.atCleanState());
    m.markAsCleanState();
    QVERIFY(m.atCleanState());
}

void TestQmdHistory::cleanUnreachableWhenLimitTrims()
{
    HistoryModel m;
    m.edit(2, QStringLiteral("One"));
    m.edit(3, QStringLiteral("Two"));
    m.edit(4, QStringLiteral("Three"));
    m.setUndoRedoLimit(2);
    m.undoRequest();
    m.undoRequest();
    QVERIFY(!m.atCleanState());
}

void TestQmdHistory::undoOfSetSignals()
{
    HistoryModel m;
    const QmdIndex a = m.at(QStringLiteral("A"));
    m.setData(StrValues {{QStringLiteral("old"), 1}}, a);
    m.markAsCleanState();
    m.beginRequest(2, Qmd::NoRequestFlags, QStringLiteral("Set"));
    m.setData(StrValues {{QStringLiteral("old"), 2}, {QStringLiteral("new"), 3}}, a);
    m.endRequest();
    ModelSignalRecorder rec(&m);
    m.undoRequest();
    QCOMPARE(rec.take().mid(0, 2),
             QStringList({"removed(A) new rid=900", "changed(A) old rid=900"}));
    QCOMPARE(m.keys(a), QStringList({"old"}));
    QCOMPARE(m.data(m.index(QStringLiteral("old"), a)), QVariant(1));
    m.redoRequest();
    QCOMPARE(rec.take().mid(0, 1), QStringList({"changed(A) new,old rid=901"}));
}

void TestQmdHistory::undoOfRemovalSignals()
{
    HistoryModel m;
    const QmdIndex b = m.at(QStringLiteral("B"));
    m.setData(StrValues {{QStringLiteral("x"), 1}, {QStringLiteral("y"), 2}}, b);
    m.beginRequest(2, Qmd::NoRequestFlags, QStringLiteral("Remove"));
    m.remove(QStringList {QStringLiteral("y"), QStringLiteral("x"), QStringLiteral("z")}, b);
    m.endRequest();
    ModelSignalRecorder rec(&m);
    m.undoRequest();
    QCOMPARE(rec.take().mid(0, 1), QStringList({"changed(B) x,y rid=900"}));
    m.redoRequest();
    QCOMPARE(rec.take().mid(0, 1), QStringList({"removed(B) x,y rid=901"}));
}

void TestQmdHistory::releaseOfReplacedContainers()
{
    HistoryModel m;
    QCOMPARE(m.liveContainerCount(), 4);
    // Undoable: the replaced container lives until its command leaves the history.
    m.edit(2, QStringLiteral("Flatten"), QStringLiteral("A"));
    m.beginRequest(3, Qmd::NoRequestFlags, QStringLiteral("Flatten"));
    m.setData(StrValues {{QStringLiteral("A"), 0}}, QmdIndex());
    m.endRequest();
    QCOMPARE(m.liveContainerCount(), 4);
    m.setUndoRedoLimit(1);
    QCOMPARE(m.liveContainerCount(), 4);
    m.undoRequest();
    QCOMPARE(m.type(m.at(QStringLiteral("A"))), Qmd::StrDict);
    m.redoRequest();
    m.edit(4, QStringLiteral("Other"), QStringLiteral("B"));
    QCOMPARE(m.liveContainerCount(), 3);

    // Not undoable: released right after execution.
    m.beginRequest(5, Qmd::NotUndoable, QStringLiteral("Flatten"));
    m.setData(StrValues {{QStringLiteral("C"), 0}}, QmdIndex());
    m.endRequest();
    QCOMPARE(m.liveContainerCount(), 2);
}

void TestQmdHistory::requestZeroMerges()
{
    HistoryModel m;
    m.setData(StrValues {{QStringLiteral("k"), 1}}, m.at(QStringLiteral("A")));
    m.setData(StrValues {{QStringLiteral("k"), 2}}, m.at(QStringLiteral("B")));
    QCOMPARE(m.currentHistoryCount(), 1);
    m.undo();
    QVERIFY(!m.hasChildren(m.at(QStringLiteral("A"))));
    QVERIFY(!m.hasChildren(m.at(QStringLiteral("B"))));
}

void TestQmdHistory::commandWhoseContainerHasGone()
{
    HistoryModel m;
    m.edit(2, QStringLiteral("Edit A"), QStringLiteral("A"), 5);
    m.beginRequest(3, Qmd::NoRequestFlags, QStringLiteral("Remove B"));
    m.remove(QStringList {QStringLiteral("k")}, m.at(QStringLiteral("B")));
    m.endRequest();
    // Playback replaces A by a new container and frees B, outside the history.
    m.beginRequest(4, Qmd::NotUndoable, QStringLiteral("Replace"));
    m.setTypes(StrTypes {{QStringLiteral("A"), Qmd::StrDict}}, QmdIndex());
    m.remove(QStringList {QStringLiteral("B")}, QmdIndex());
    m.endRequest();
    const QmdIndex newA = m.at(QStringLiteral("A"));
    QVERIFY(!m.hasChildren(newA));

    ModelSignalRecorder rec(&m);
    m.undoRequest();
    m.undoRequest();
    m.redoRequest();
    m.redoRequest();
    m.undoRequest();
    QVERIFY(rec.lines.filter(QStringLiteral("changed")).isEmpty());
    QVERIFY(rec.lines.filter(QStringLiteral("removed")).isEmpty());
    QVERIFY(!m.hasChildren(newA));
    QCOMPARE(m.keys(QmdIndex()), QStringList({"A", "C"}));
}

QTEST_GUILESS_MAIN(TestQmdHistory)
#include "tst_qmdhistory.moc"
