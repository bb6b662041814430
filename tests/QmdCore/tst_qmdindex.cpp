#include "QmdMemModel.h"

#include <QtTest>

// Builds indexes as a model does, carrying the identity of the container that they name.
class IndexMaker : public QmdMemModel
{
public:
    using QmdMemModel::QmdMemModel;
    using QmdModel::createIndex;
};

class TestQmdIndex : public QObject
{
    Q_OBJECT

private slots:
    void defaultIndex();
    void idAndKeyIndexesDiffer();
    void equalIdsInTwoContainers();
    void removedChildStaysValid();
    void freedContainerInvalidatesIndexes();
    void indexWithoutIdOrKeyIsInvalid();
    void copiesAndFieldChanges();
};

void TestQmdIndex::defaultIndex()
{
    QmdIndex index;
    QVERIFY(!index.isValid());
    QCOMPARE(index, QmdIndex());
    QCOMPARE(qHash(index), size_t(0));
    QCOMPARE(index.toString(), QString());
    QVERIFY(index.model() == nullptr);
    QVERIFY(index.internalPointer() == nullptr);
}

void TestQmdIndex::idAndKeyIndexesDiffer()
{
    QmdMemModel model(Qmd::IntDict);
    QmdIndex byId(5, quint64(0), &model);
    QmdIndex byKey(QStringLiteral("5"), quint64(0), &model);
    QVERIFY(byId != byKey);
    QCOMPARE(byId.toString(), QStringLiteral("5"));
    QCOMPARE(byKey.toString(), QStringLiteral("5"));
    QCOMPARE(qHash(byId), size_t(5));
    QCOMPARE(qHash(byKey), qHash(QStringLiteral("5")));
    QCOMPARE(QmdIndex(4294967295u, quint64(0), &model).toString(), QStringLiteral("4294967295"));
}

void TestQmdIndex::equalIdsInTwoContainers()
{
    QmdMemModel model(Qmd::IntDict);
    model.addTypes({Qmd::IntDict, Qmd::IntDict}, QmdIndex());
    const QmdIndex first = model.index(1, QmdIndex());
    const QmdIndex second = model.index(2, QmdIndex());
    model.addData({7, 8, 9, 10, 11, 12, 13}, first);
    model.addData({7, 8, 9, 10, 11, 12, 13}, second);
    const QmdIndex a = model.index(7, first);
    const QmdIndex b = model.index(7, second);
    QVERIFY(a.isValid());
    QVERIFY(b.isValid());
    QCOMPARE(qHash(a), qHash(b));
    QVERIFY(a != b);

    QHash<QmdIndex, int> table;
    table.insert(a, 1);
    table.insert(b, 2);
    QCOMPARE(table.size(), 2);
    QCOMPARE(table.value(model.index(7, first)), 1);
}

void TestQmdIndex::removedChildStaysValid()
{
    QmdMemModel model(Qmd::StrDict);
    model.setData(QHash<QString, QVariant> {{QStringLiteral("a"), 1}}, QmdIndex());
    const QmdIndex a = model.index(QStringLiteral("a"), QmdIndex());
    QCOMPARE(model.data(a), QVariant(1));
    model.remove(QStringList {QStringLiteral("a")}, QmdIndex());
    QVERIFY(a.isValid());
    QVERIFY(!model.data(a).isValid());
}

void TestQmdIndex::freedContainerInvalidatesIndexes()
{
    QmdMemModel model(Qmd::StrDict);
    model.setTypes(QHash<QString, Qmd::ContainerType> {{QStringLiteral("c"), Qmd::IntDict}},
                   QmdIndex());
    const QmdIndex c = model.index(QStringLiteral("c"), QmdIndex());
    model.addData({1}, c);
    const QmdIndex child = model.index(1, c);
    QVERIFY(child.isValid());

    // A removal outside any undoable step frees the container at once.
    model.beginRequest(2, Qmd::NotUndoable, QStringLiteral("Remove"));
    model.remove(QStringList {QStringLiteral("c")}, QmdIndex());
    model.endRequest();
    QVERIFY(!child.isValid());
    QVERIFY(!model.data(child).isValid());
}

void TestQmdIndex::indexWithoutIdOrKeyIsInvalid()
{
    IndexMaker model(Qmd::IntDict);
    model.addTypes({Qmd::StrDict}, QmdIndex());
    const QmdIndex child = model.index(1, QmdIndex());
    QVERIFY(child.isValid());
    QCOMPARE(model.createIndex(QmdItemId(1), child.internalPointer()), child);
    QVERIFY(!model.createIndex(QmdItemId(0), child.internalPointer()).isValid());
    QVERIFY(!model.createIndex(QString(), child.internalPointer()).isValid());
}

void TestQmdIndex::copiesAndFieldChanges()
{
    IndexMaker model(Qmd::IntDict);
    IndexMaker other(Qmd::IntDict);
    model.addData({1}, QmdIndex());
    const QmdIndex original = model.index(1, QmdIndex());
    QmdIndex copy = original;
    QCOMPARE(copy, original);
    QCOMPARE(qHash(copy), qHash(original));

    // Pairs that differ in exactly one field.
    void* container = original.internalPointer();
    int dummy = 0;
    const QList<QPair<QmdIndex, QmdIndex>> pairs = {
        {original, model.createIndex(QmdItemId(2), container)},
        {model.createIndex(QStringLiteral("a"), container),
         model.createIndex(QStringLiteral("b"), container)},
        {model.createIndex(QmdItemId(1), quint64(3)), model.createIndex(QmdItemId(1), quint64(4))},
        {QmdIndex(1, container, &model), QmdIndex(1, static_cast<void*>(&dummy), &model)},
        {QmdIndex(1, container, &model), QmdIndex(1, container, &other)},
        {original, QmdIndex(1, container, &model)},
    };
    for (const auto& pair : pairs)
        QVERIFY(pair.first != pair.second);
}

QTEST_GUILESS_MAIN(TestQmdIndex)
#include "tst_qmdindex.moc"
