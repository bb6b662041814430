#include "ModelSignalRecorder.h"
#include "QmdMemModel.h"

#include <QtTest>

typedef QHash<QString, QVariant> StrValues;
typedef QHash<QmdItemId, QVariant> IdValues;
typedef QHash<QString, Qmd::ContainerType> StrTypes;

// A model whose root is a StrDict with an IntDict "Elements" and a StrDict "Props".
struct SampleModel
{
    QmdMemModel model {Qmd::StrDict};
    QmdIndex elements;
    QmdIndex props;

    SampleModel()
    {
        model.setTypes(StrTypes {{QStringLiteral("Elements"), Qmd::IntDict},
                                 {QStringLiteral("Props"), Qmd::StrDict}},
                       QmdIndex());
        elements = model.index(QStringLiteral("Elements"), QmdIndex());
        props = model.index(QStringLiteral("Props"), QmdIndex());
    }
};

class TestQmdMemModel : public QObject
{
    Q_OBJECT

private slots:
    void modelWithoutRoot();
    void queries();
    void addDataAllocatesIdsInOrder();
    void idAllocation();
    void idAllocationWraps();
    void refusedKeysAreSkipped();
    void overwritingContainerAndUndo();
    void plainOverPlain();
    void removeAbsentKeys();
    void clearRootAndUndo();
    void clearContainer();
    void removeByIndexesAcrossContainers();
    void setByIndexes();
    void setTypesByIndexes();
    void failedLookupsNeverReachTheRoot();
    void removedContainerIndexesLiveWithTheirCommand();
    void staleIndexAfterAddressReuse();
    void foreignIndexIsRefused();
    void freeingNestedContainers();
};

void TestQmdMemModel::modelWithoutRoot()
{
    QmdMemModel model;
    ModelSignalRecorder rec(&model);
    QCOMPARE(model.type(QmdIndex()), Qmd::NoContainer);
    QVERIFY(!model.hasChildren(QmdIndex()));
    QVERIFY(model.children(QmdIndex()).isEmpty());
    QVERIFY(model.addData({1, 2}, QmdIndex()).isEmpty());
    model.setData(StrValues {{QStringLiteral("a"), 1}}, QmdIndex());
    model.remove(QStringList {QStringLiteral("a")}, QmdIndex());
    QVERIFY(rec.lines.isEmpty());
    QCOMPARE(model.currentHistoryCount(), 0);

    // A root set on purpose makes the tree usable.
    model.setRootType(Qmd::StrDict);
    QCOMPARE(model.type(QmdIndex()), Qmd::StrDict);
    model.setData(StrValues {{QStringLiteral("a"), 1}}, QmdIndex());
    QCOMPARE(model.data(model.index(QStringLiteral("a"), QmdIndex())), QVariant(1));
}

void TestQmdMemModel::queries()
{
    SampleModel s;
    QmdMemModel& m = s.model;
    m.setData(StrValues {{QStringLiteral("b"), 2},
                         {QStringLiteral("a"), QStringLiteral("x")},
                         {QStringLiteral("c"), 3.5}},
              s.props);
    m.addData({10, 20, 30}, s.elements);
    m.addTypes({Qmd::StrDict}, s.elements);

    QCOMPARE(m.keys(QmdIndex()), QStringList({"Elements", "Props"}));
    QCOMPARE(m.keys(s.props), QStringList({"a", "b", "c"}));
    QCOMPARE(m.idList(s.elements), QmdItemIdList({1, 2, 3, 4}));
    QVERIFY(m.idList(s.props).isEmpty());
    QVERIFY(m.keys(s.elements).isEmpty());

    const QmdIndexList children = m.children(s.elements);
    QCOMPARE(children.size(), 4);
    QCOMPARE(children.at(1), m.index(2, s.elements));
    QCOMPARE(m.data(children.at(2)), QVariant(30));

    QCOMPARE(m.parent(children.at(0)), s.elements);
    QCOMPARE(m.parent(s.elements), QmdIndex());
    QCOMPARE(m.parent(QmdIndex()), QmdIndex());

    const QmdIndex container = m.index(4, s.elements);
    QCOMPARE(m.type(container), Qmd::StrDict);
    QVERIFY(!m.data(container).isValid());
    QVERIFY(!m.hasChildren(container));
    QVERIFY(m.hasChildren(s.elements));
    QCOMPARE(m.type(children.at(0)), Qmd::NoContainer);

    // Absent children and wrong kinds give the default index.
    QCOMPARE(m.index(99, s.elements), QmdIndex());
    QCOMPARE(m.index(QStringLiteral("a"), s.elements), QmdIndex());
    QCOMPARE(m.index(1, s.props), QmdIndex());
}

void TestQmdMemModel::addDataAllocatesIdsInOrder()
{
    SampleModel s;
    ModelSignalRecorder rec(&s.model);
    QCOMPARE(s.model.addData({QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z")},
                             s.elements),
             QmdItemIdList({1, 2, 3}));
    // The set-up was made outside any request too, so the addition joins its step.
    QCOMPARE(rec.take(), QStringList({"changed(Elements) 1,2,3 rid=0"}));
    // Adding below a string-keyed container or a plain value does nothing.
    QVERIFY(s.model.addData({1}, s.props).isEmpty());
    QVERIFY(s.model.addData({1}, s.model.index(1, s.elements)).isEmpty());
    QVERIFY(rec.lines.isEmpty());
}

void TestQmdMemModel::idAllocation()
{
    SampleModel s;
    for (int i = 1; i <= 5; ++i)
        QCOMPARE(s.model.addData({i}, s.elements), QmdItemIdList({QmdItemId(i)}));
    s.model.remove(QmdItemIdList {5}, s.elements);
    QCOMPARE(s.model.addData({6}, s.elements), QmdItemIdList({6}));

    s.model.setData(IdValues {{100, QStringLiteral("far")}}, s.elements);
    QCOMPARE(s.model.addData({7}, s.elements), QmdItemIdList({101}));

    // addTypes allocates the same way, and the new containers know their place.
    const QmdItemIdList ids = s.model.addTypes({Qmd::IntDict, Qmd::StrDict}, s.elements);
    QCOMPARE(ids, QmdItemIdList({102, 103}));
    const QmdIndex made = s.model.index(102, s.elements);
    QCOMPARE(s.model.type(made), Qmd::IntDict);
    QCOMPARE(s.model.addData({1}, made), QmdItemIdList({1}));
    QCOMPARE(s.model.parent(s.model.index(1, made)), made);
}

void TestQmdMemModel::idAllocationWraps()
{
    SampleModel s;
    s.model.setData(IdValues {{1, 1}, {2, 2}}, s.elements);
    s.model.setData(IdValues {{4294967295u, 3}}, s.elements);
    // The last id stored is the largest: the search wraps and skips the ids in use.
    QCOMPARE(s.model.addData({QStringLiteral("a"), QStringLiteral("b")}, s.elements),
             QmdItemIdList({3, 4}));
    QCOMPARE(s.model.addData({QStringLiteral("c")}, s.elements), QmdItemIdList({5}));
}

void TestQmdMemModel::refusedKeysAreSkipped()
{
    SampleModel s;
    ModelSignalRecorder rec(&s.model);
    s.model.setData(IdValues {{0, 1}}, s.elements);
    s.model.setData(StrValues {{QString(), 1}}, s.props);
    s.model.setTypes(QHash<QmdItemId, Qmd::ContainerType> {{0, Qmd::StrDict}}, s.elements);
    QVERIFY(s.model.idList(s.elements).isEmpty());
    QVERIFY(s.model.keys(s.props).isEmpty());
    // Each still went to the history as a (harmless) step of request 0.
    QVERIFY(!rec.lines.filter(QStringLiteral("changed")).size());
    QCOMPARE(s.model.liveContainerCount(), 3);

    s.model.setData(IdValues {{0, 1}, {9, 2}}, s.elements);
    QCOMPARE(rec.lines.filter(QStringLiteral("changed")),
             QStringList({"changed(Elements) 9 rid=0"}));
}

void TestQmdMemModel::overwritingContainerAndUndo()
{
    SampleModel s;
    QmdMemModel& m = s.model;
    m.beginRequest(2, Qmd::NoRequestFlags, QStringLiteral("Fill"));
    m.addData({QStringLiteral("one"), QStringLiteral("two")}, s.elements);
    m.endRequest();
    const QmdIndex two = m.index(2, s.elements);

    ModelSignalRecorder rec(&m);
    m.beginRequest(3, Qmd::NoRequestFlags, QStringLiteral("Flatten"));
    m.setData(StrValues {{QStringLiteral("Elements"), 42}}, QmdIndex());
    m.endRequest();
    QCOMPARE(rec.take().mid(0, 2),
             QStringList({"removed Elements rid=3", "changed Elements rid=3"}));
    QCOMPARE(m.data(m.index(QStringLiteral("Elements"), QmdIndex())), QVariant(42));
    // The replaced container is held by the command, so indexes into it stay valid.
    QVERIFY(two.isValid());

    m.beginRequest(4, Qmd::NotUndoable, QStringLiteral("Undo"));
    m.undo();
    m.endRequest();
    QCOMPARE(rec.take().mid(0, 1), QStringList({"changed Elements rid=4"}));
    QCOMPARE(m.type(s.elements), Qmd::IntDict);
    QCOMPARE(m.data(two), QVariant(QStringLiteral("two")));
    QCOMPARE(m.index(QStringLiteral("Elements"), QmdIndex()), s.elements);
}

void TestQmdMemModel::plainOverPlain()
{
    SampleModel s;
    s.model.setData(StrValues {{QStringLiteral("a"), 1}}, s.props);
    ModelSignalRecorder rec(&s.model);
    s.model.setData(StrValues {{QStringLiteral("a"), 2}}, s.props);
    QCOMPARE(rec.lines.filter(QStringLiteral("(Props)")), QStringList({"changed(Props) a rid=0"}));
}

void TestQmdMemModel::removeAbsentKeys()
{
    SampleModel s;
    ModelSignalRecorder rec(&s.model);
    s.model.beginRequest(5, Qmd::NoRequestFlags, QStringLiteral("Remove"));
    s.model.remove(QStringList {QStringLiteral("nothing")}, s.props);
    s.model.remove(QmdItemIdList {1, 2}, s.elements);
    s.model.endRequest();
    QCOMPARE(rec.lines.filter(QStringLiteral("removed")), QStringList());
    // The removal still forms an undo step that changes nothing.
    QCOMPARE(s.model.undoText(), QStringLiteral("Remove"));
}

void TestQmdMemModel::clearRootAndUndo()
{
    SampleModel s;
    s.model.addData({1, 2}, s.elements);
    ModelSignalRecorder rec(&s.model);
    s.model.beginRequest(6, Qmd::NoRequestFlags, QStringLiteral("Clear"));
    s.model.clear(QmdIndex());
    s.model.endRequest();
    QCOMPARE(rec.take().first(), QStringLiteral("root rid=6"));
    QCOMPARE(s.model.type(QmdIndex()), Qmd::NoContainer);
    QVERIFY(!s.model.data(QmdIndex()).isValid());
    // Indexes into the old tree stay valid while the command holds it.
    QVERIFY(s.elements.isValid());

    s.model.undo();
    QCOMPARE(rec.take().first(), QStringLiteral("root rid=0"));
    QCOMPARE(s.model.type(QmdIndex()), Qmd::StrDict);
    QCOMPARE(s.model.data(s.model.index(2, s.elements)), QVariant(2));
}

void TestQmdMemModel::clearContainer()
{
    SampleModel s;
    s.model.addData({1, 2, 3}, s.elements);
    ModelSignalRecorder rec(&s.model);
    s.model.clear(s.elements);
    QCOMPARE(rec.lines.first(), QStringLiteral("removed(Elements) 1,2,3 rid=0"));
    QVERIFY(!s.model.hasChildren(s.elements));
    rec.take();
    // Clearing a plain value does nothing.
    s.model.setData(StrValues {{QStringLiteral("p"), 1}}, s.props);
    rec.take();
    s.model.clear(s.model.index(QStringLiteral("p"), s.props));
    QVERIFY(rec.lines.isEmpty());
}

void TestQmdMemModel::removeByIndexesAcrossContainers()
{
    SampleModel s;
    QmdMemModel& m = s.model;
    m.addData({1, 2, 3}, s.elements);
    m.setData(StrValues {{QStringLiteral("a"), 1}, {QStringLiteral("b"), 2}}, s.props);
    m.markAsCleanState();
    const int before = m.currentHistoryCount();
    ModelSignalRecorder rec(&m);
    m.beginRequest(8, Qmd::NoRequestFlags, QStringLiteral("Remove"));
    m.remove(QmdIndexList {m.index(3, s.elements), m.index(QStringLiteral("b"), s.props),
                           m.index(1, s.elements)});
    m.endRequest();
    QCOMPARE(rec.lines.filter(QStringLiteral("removed")),
             QStringList({"removed(Elements) 1,3 rid=8", "removed(Props) b rid=8"}));
    QCOMPARE(m.currentHistoryCount(), before + 1);
    QCOMPARE(m.idList(s.elements), QmdItemIdList({2}));
    m.undo();
    QCOMPARE(m.idList(s.elements), QmdItemIdList({1, 2, 3}));
    QCOMPARE(m.keys(s.props), QStringList({"a", "b"}));
    QVERIFY(m.atCleanState());
}

void TestQmdMemModel::setByIndexes()
{
    SampleModel s;
    QmdMemModel& m = s.model;
    m.addData({1, 2}, s.elements);
    m.setData(StrValues {{QStringLiteral("a"), 1}}, s.props);
    ModelSignalRecorder rec(&m);
    m.setData(QHash<QmdIndex, QVariant> {{m.index(1, s.elements), 10},
                                         {m.index(2, s.elements), 20},
                                         {m.index(QStringLiteral("a"), s.props), 30}});
    QCOMPARE(rec.take().filter(QStringLiteral("changed")),
             QStringList({"changed(Elements) 1,2 rid=0", "changed(Props) a rid=0"}));
    QCOMPARE(m.data(m.index(2, s.elements)), QVariant(20));

    // Only the operation made for it replaces the root.
    m.setRoot(QStringLiteral("plain root"));
    QCOMPARE(rec.take(), QStringList({"root rid=0"}));
    QCOMPARE(m.data(QmdIndex()), QVariant(QStringLiteral("plain root")));
    QVERIFY(!m.hasChildren(QmdIndex()));
}

void TestQmdMemModel::failedLookupsNeverReachTheRoot()
{
    // A lookup of a missing child gives the default index; the index forms of set and
    // remove skip it, and any index whose item is gone, instead of taking the root.
    SampleModel s;
    QmdMemModel& m = s.model;
    m.addData({1, 2}, s.elements);
    m.setData(StrValues {{QStringLiteral("a"), 1}}, s.props);
    const QmdIndex a = m.index(QStringLiteral("a"), s.props);
    m.remove(QStringList {QStringLiteral("a")}, s.props);
    ModelSignalRecorder rec(&m);

    m.remove(QmdIndexList {m.index(2, s.elements), m.index(2, s.elements)});
    m.remove(QmdIndexList {m.index(2, s.elements), m.index(1, s.elements)});
    m.setData(QHash<QmdIndex, QVariant> {{m.index(QStringLiteral("gone"), s.props), 5}, {a, 6}});
    m.setTypes(QHash<QmdIndex, Qmd::ContainerType> {{m.index(9, s.elements), Qmd::IntDict},
                                                    {a, Qmd::StrDict}});
    QCOMPARE(rec.take(), QStringList({"removed(Elements) 2 rid=0", "removed(Elements) 1 rid=0"}));
    QCOMPARE(m.type(QmdIndex()), Qmd::StrDict);
    QCOMPARE(m.keys(QmdIndex()), QStringList({"Elements", "Props"}));
    QVERIFY(m.keys(s.props).isEmpty());

    // Asked for on purpose, the root is still there to replace or clear.
    m.setRootType(Qmd::IntDict);
    QCOMPARE(m.type(QmdIndex()), Qmd::IntDict);
    m.clear(QmdIndex());
    QCOMPARE(rec.take(), QStringList({"root rid=0", "root rid=0"}));
    QCOMPARE(m.type(QmdIndex()), Qmd::NoContainer);
}

void TestQmdMemModel::setTypesByIndexes()
{
    SampleModel s;
    QmdMemModel& m = s.model;
    m.addData({1}, s.elements);
    const QmdIndex one = m.index(1, s.elements);
    m.setTypes(QHash<QmdIndex, Qmd::ContainerType> {{one, Qmd::StrDict}});
    QCOMPARE(m.type(one), Qmd::StrDict);
    m.setData(StrValues {{QStringLiteral("k"), 1}}, one);
    QCOMPARE(m.keys(one), QStringList({"k"}));
    QCOMPARE(m.parent(m.index(QStringLiteral("k"), one)), one);
}

void TestQmdMemModel::removedContainerIndexesLiveWithTheirCommand()
{
    SampleModel s;
    QmdMemModel& m = s.model;
    m.setUndoRedoLimit(1);
    m.beginRequest(2, Qmd::NoRequestFlags, QStringLiteral("Remove"));
    m.remove(QStringList {QStringLiteral("Props")}, QmdIndex());
    m.endRequest();
    QVERIFY(s.props.isValid());
    QVERIFY(!m.data(m.index(QStringLiteral("Props"), QmdIndex())).isValid());
    // The next step pushes the removal out of the history, which frees the container.
    m.beginRequest(3, Qmd::NoRequestFlags, QStringLiteral("Other"));
    m.addData({1}, s.elements);
    m.endRequest();
    const QmdIndex insideProps(QStringLiteral("x"), s.props.internalPointer(), &m);
    QVERIFY(!insideProps.isValid());
    QCOMPARE(m.liveContainerCount(), 2);
}

void TestQmdMemModel::staleIndexAfterAddressReuse()
{
    // Replace a container again and again without undo: each old one is freed at once and
    // a new one may be made at the same address. No old index may reach the new ones.
    SampleModel s;
    QmdMemModel& m = s.model;
    QList<QmdIndex> stale;
    for (int round = 0; round < 50; ++round) {
        m.beginRequest(2 + round, Qmd::NotUndoable, QStringLiteral("Replace"));
        m.setTypes(StrTypes {{QStringLiteral("Box"), Qmd::StrDict}}, QmdIndex());
        m.endRequest();
        const QmdIndex box = m.index(QStringLiteral("Box"), QmdIndex());
        m.setData(StrValues {{QStringLiteral("v"), round}}, box);
        for (const QmdIndex& old : std::as_const(stale)) {
            QVERIFY(!old.isValid());
            QVERIFY(!m.data(old).isValid());
            QCOMPARE(m.type(old), Qmd::NoContainer);
        }
        stale.append(m.index(QStringLiteral("v"), box));
    }
    ModelSignalRecorder rec(&m);
    const int history = m.currentHistoryCount();
    const QmdIndex old = stale.first();
    m.setData(StrValues {{QStringLiteral("w"), 1}}, old);
    m.setData(QHash<QmdIndex, QVariant> {{old, 1}});
    m.setTypes(QHash<QmdIndex, Qmd::ContainerType> {{old, Qmd::IntDict}});
    m.remove(QmdIndexList {old});
    m.clear(old);
    QVERIFY(m.addData({1}, old).isEmpty());
    QVERIFY(rec.lines.isEmpty());
    QCOMPARE(m.currentHistoryCount(), history);
    QCOMPARE(m.type(QmdIndex()), Qmd::StrDict);
    QCOMPARE(m.keys(QmdIndex()), QStringList({"Box", "Elements", "Props"}));
}

void TestQmdMemModel::foreignIndexIsRefused()
{
    SampleModel a;
    SampleModel b;
    b.model.addData({1}, b.elements);
    ModelSignalRecorder rec(&a.model);
    const QmdIndex foreign = b.model.index(1, b.elements);
    QVERIFY(!a.model.isValidIndex(foreign));
    QVERIFY(!a.model.data(foreign).isValid());
    QCOMPARE(a.model.type(b.elements), Qmd::NoContainer);
    a.model.setData(QHash<QmdIndex, QVariant> {{foreign, 5}});
    a.model.remove(QmdIndexList {b.elements});
    a.model.clear(b.elements);
    a.model.setData(IdValues {{1, 1}}, b.elements);
    QVERIFY(rec.lines.isEmpty());
    QCOMPARE(a.model.type(QmdIndex()), Qmd::StrDict);
    QCOMPARE(a.model.currentHistoryCount(), 1);
}

void TestQmdMemModel::freeingNestedContainers()
{
    SampleModel s;
    QmdMemModel& m = s.model;
    QmdIndex level = s.elements;
    for (int depth = 0; depth < 5; ++depth) {
        m.addTypes({Qmd::IntDict}, level);
        level = m.index(1, level);
    }
    QCOMPARE(m.liveContainerCount(), 8);

    // An undoable removal keeps the whole branch; undo brings it back intact.
    m.beginRequest(2, Qmd::NoRequestFlags, QStringLiteral("Remove"));
    m.remove(QmdItemIdList {1}, s.elements);
    m.endRequest();
    QCOMPARE(m.liveContainerCount(), 8);
    QVERIFY(level.isValid());
    m.undo();
    QCOMPARE(m.type(level), Qmd::IntDict);

    // A removal that is not undoable frees the branch with every container nested in it.
    m.beginRequest(3, Qmd::NotUndoable, QStringLiteral("Remove"));
    m.remove(QmdItemIdList {1}, s.elements);
    m.endRequest();
    QCOMPARE(m.liveContainerCount(), 3);
    QVERIFY(!level.isValid());
    QCOMPARE(m.type(level), Qmd::NoContainer);
}

QTEST_GUILESS_MAIN(TestQmdMemModel)
#include "tst_qmdmemmodel.moc"
