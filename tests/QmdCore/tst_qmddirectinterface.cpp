#include "ModelSignalRecorder.h"
#include "QmdDirectModelInterface.h"
#include "QmdMemModel.h"

#include <QtTest>

class TestQmdDirectInterface : public QObject
{
    Q_OBJECT

private slots:
    void singleFormsForward();
    void addDataOutsideIntDict();
    void setDataIfInvalid();
    void setTypeIfInvalid();
    void childValues();
    void severalKeysAtOnce();
    void requestBracketGroupsSteps();
    void requestStatus();
    void modelGone();
};

void TestQmdDirectInterface::singleFormsForward()
{
    QmdMemModel model(Qmd::StrDict);
    QmdDirectModelInterface d(&model);
    QCOMPARE(d.model(), &model);
    d.directSetType(QStringLiteral("E"), Qmd::IntDict, QmdIndex());
    const QmdIndex e = d.directIndex(QStringLiteral("E"), QmdIndex());
    QCOMPARE(d.directType(e), Qmd::IntDict);
    QCOMPARE(d.directAddData(QVariant(5), e), QmdItemId(1));
    QCOMPARE(d.directAddType(Qmd::StrDict, e), QmdItemId(2));
    d.directSetData(QmdItemId(1), QVariant(6), e);
    QCOMPARE(d.directData(QmdItemId(1), e), QVariant(6));
    const QmdIndex two = d.directIndex(QmdItemId(2), e);
    d.directSetData(QStringLiteral("k"), QStringLiteral("v"), two);
    QCOMPARE(d.directData(QStringLiteral("k"), two), QVariant(QStringLiteral("v")));
    d.directSetData(d.directIndex(QStringLiteral("k"), two), QVariant(7));
    QCOMPARE(d.directData(d.directIndex(QStringLiteral("k"), two)), QVariant(7));
    QCOMPARE(d.directParent(d.directIndex(QStringLiteral("k"), two)), two);
    QCOMPARE(d.directIdList(e), QmdItemIdList({1, 2}));
    QCOMPARE(d.directKeys(two), QStringList({"k"}));
    // An absent child reads as nothing, not as the root.
    QVERIFY(!d.directData(QmdItemId(9), e).isValid());

    d.directRemove(QmdItemId(1), e);
    d.directRemove(QStringLiteral("k"), two);
    QCOMPARE(d.directIdList(e), QmdItemIdList({2}));
    QVERIFY(!d.directHasChildren(two));
    d.directRemove(two);
    QVERIFY(!d.directHasChildren(e));
    d.directSetType(d.directIndex(QStringLiteral("E"), QmdIndex()), Qmd::StrDict);
    QCOMPARE(d.directType(d.directIndex(QStringLiteral("E"), QmdIndex())), Qmd::StrDict);
}

void TestQmdDirectInterface::addDataOutsideIntDict()
{
    QmdMemModel model(Qmd::StrDict);
    QmdDirectModelInterface d(&model);
    QCOMPARE(d.directAddData(QVariant(1), QmdIndex()), QmdItemId(0));
    QCOMPARE(d.directAddType(Qmd::IntDict, QmdIndex()), QmdItemId(0));
}

void TestQmdDirectInterface::setDataIfInvalid()
{
    QmdMemModel model(Qmd::StrDict);
    QmdDirectModelInterface d(&model);
    d.directSetData(QStringLiteral("held"), QVariant(), QmdIndex());
    d.directSetData(QStringLiteral("value"), 1, QmdIndex());
    d.directSetDataIfInvalid(QStringLiteral("held"), 2, QmdIndex());
    d.directSetDataIfInvalid(QStringLiteral("value"), 2, QmdIndex());
    d.directSetDataIfInvalid(QStringLiteral("missing"), 3, QmdIndex());
    QVERIFY(!d.directData(QStringLiteral("held"), QmdIndex()).isValid());
    QCOMPARE(d.directData(QStringLiteral("value"), QmdIndex()), QVariant(1));
    QCOMPARE(d.directData(QStringLiteral("missing"), QmdIndex()), QVariant(3));

    d.directSetType(QStringLiteral("ids"), Qmd::IntDict, QmdIndex());
    const QmdIndex ids = d.directIndex(QStringLiteral("ids"), QmdIndex());
    d.directSetDataIfInvalid(QmdItemId(4), 4, ids);
    d.directSetDataIfInvalid(QmdItemId(4), 5, ids);
    QCOMPARE(d.directData(QmdItemId(4), ids), QVariant(4));
}

void TestQmdDirectInterface::setTypeIfInvalid()
{
    QmdMemModel model(Qmd::StrDict);
    QmdDirectModelInterface d(&model);
    d.directSetData(QStringLiteral("plain"), 1, QmdIndex());
    d.directSetType(QStringLiteral("dict"), Qmd::IntDict, QmdIndex());
    const QmdIndex dict = d.directIndex(QStringLiteral("dict"), QmdIndex());
    d.directAddData(QVariant(1), dict);
    d.directSetTypeIfInvalid(QStringLiteral("plain"), Qmd::StrDict, QmdIndex());
    d.directSetTypeIfInvalid(QStringLiteral("dict"), Qmd::StrDict, QmdIndex());
    d.directSetTypeIfInvalid(QStringLiteral("new"), Qmd::StrDict, QmdIndex());
    QCOMPARE(d.directData(QStringLiteral("plain"), QmdIndex()), QVariant(1));
    QCOMPARE(d.directType(dict), Qmd::IntDict);
    QVERIFY(d.directHasChildren(dict));
    QCOMPARE(d.directType(d.directIndex(QStringLiteral("new"), QmdIndex())), Qmd::StrDict);
    d.directSetTypeIfInvalid(QmdItemId(7), Qmd::StrDict, dict);
    QCOMPARE(d.directType(d.directIndex(QmdItemId(7), dict)), Qmd::StrDict);
}

void TestQmdDirectInterface::childValues()
{
    QmdMemModel model(Qmd::StrDict);
    QmdDirectModelInterface d(&model);
    d.directSetData(QStringLiteral("b"), 2, QmdIndex());
    d.directSetType(QStringLiteral("a"), Qmd::StrDict, QmdIndex());
    d.directSetData(QStringLiteral("c"), 3, QmdIndex());
    d.directSetData(QStringLiteral("x"), 99, d.directIndex(QStringLiteral("a"), QmdIndex()));
    QCOMPARE(d.directChildValues(QmdIndex()), QList<QVariant>({2, 3}));
}

// Several keys of one container read together give what one key at a time gives: values of
// children that exist and are no containers, nothing else; a parent that is gone, or not
// string-keyed, gives nothing for every key.
void TestQmdDirectInterface::severalKeysAtOnce()
{
    QmdMemModel model(Qmd::StrDict);
    QmdDirectModelInterface d(&model);
    d.directSetType(QStringLiteral("s"), Qmd::StrDict, QmdIndex());
    const QmdIndex s = d.directIndex(QStringLiteral("s"), QmdIndex());
    d.directSetData(QStringLiteral("a"), 1, s);
    d.directSetData(QStringLiteral("b"), QStringLiteral("two"), s);
    d.directSetType(QStringLiteral("c"), Qmd::IntDict, s);
    const QStringList keys = {"b", "missing", "c", "a"};
    const QList<QVariant> values = d.directData(keys, s);
    QCOMPARE(values, QList<QVariant>({QStringLiteral("two"), QVariant(), QVariant(), 1}));
    for (qsizetype i = 0; i < keys.size(); ++i)
        QCOMPARE(d.directData(keys.at(i), s), values.at(i));
    QCOMPARE(d.directData(QStringList({"s"}), QmdIndex()), QList<QVariant>({QVariant()}));

    const QmdIndex c = d.directIndex(QStringLiteral("c"), s);
    d.directAddData(QVariant(5), c);
    QCOMPARE(d.directData(QmdItemId(1), c), QVariant(5));
    QCOMPARE(d.directData(QStringList({"a"}), c), QList<QVariant>({QVariant()}));

    d.directRemove(QStringLiteral("s"), QmdIndex());
    QCOMPARE(d.directData(keys, s), QList<QVariant>(4));
    QVERIFY(!d.directData(QStringLiteral("a"), s).isValid());
}

void TestQmdDirectInterface::requestBracketGroupsSteps()
{
    QmdMemModel model(Qmd::StrDict);
    QmdDirectModelInterface d(&model);
    d.directBeginRequest(1, Qmd::NotUndoable, QStringLiteral("Setup"));
    d.directSetType(QStringLiteral("A"), Qmd::StrDict, QmdIndex());
    d.directSetType(QStringLiteral("B"), Qmd::StrDict, QmdIndex());
    d.directEndRequest();
    QCOMPARE(d.directCanUndo(), false);
    const QmdIndex a = d.directIndex(QStringLiteral("A"), QmdIndex());
    const QmdIndex b = d.directIndex(QStringLiteral("B"), QmdIndex());

    d.directBeginRequest(2, Qmd::NoRequestFlags, QStringLiteral("Both"));
    d.directSetData(QStringLiteral("k"), 1, a);
    d.directSetData(QStringLiteral("k"), 2, b);
    d.directEndRequest();
    QCOMPARE(model.currentHistoryCount(), 1);
    QCOMPARE(d.directUndoText(), QStringLiteral("Both"));

    d.directBeginRequest(3, Qmd::NotUndoable, QStringLiteral("Neither"));
    d.directSetData(QStringLiteral("j"), 1, a);
    d.directSetData(QStringLiteral("j"), 2, b);
    d.directEndRequest();
    QCOMPARE(model.currentHistoryCount(), 1);

    d.directUndo();
    QVERIFY(!d.directIndex(QStringLiteral("k"), a).isValid());
    QVERIFY(d.directIndex(QStringLiteral("j"), b).isValid());
    QCOMPARE(d.directRedoText(), QStringLiteral("Both"));
    QVERIFY(d.directCanRedo());
    d.directRedo();
    QVERIFY(!d.directAtCleanState());
    d.directMarkAsCleanState();
    QVERIFY(d.directAtCleanState());
    d.directSetUndoRedoLimit(5);
    QCOMPARE(d.directUndoRedoLimit(), 5);
}

void TestQmdDirectInterface::requestStatus()
{
    QmdMemModel model;
    QmdDirectModelInterface d(&model);
    ModelSignalRecorder rec(&model);
    d.directBeginRequest(4, Qmd::NoRequestFlags, QStringLiteral("Save"));
    d.directSetRequestStatus(-1);
    d.directEndRequest();
    d.directBeginRequest(5, Qmd::NoRequestFlags, QStringLiteral("Save"));
    QCOMPARE(model.requestStatus(), 0);
    d.directEndRequest();
    QCOMPARE(rec.take(),
             QStringList({"finished 4 flags=0 status=-1", "finished 5 flags=0 status=0"}));
}

void TestQmdDirectInterface::modelGone()
{
    auto* model = new QmdMemModel(Qmd::StrDict);
    QmdDirectModelInterface d(model);
    d.directSetData(QStringLiteral("k"), 1, QmdIndex());
    delete model;
    QVERIFY(d.model() == nullptr);
    QVERIFY(!d.directData(QStringLiteral("k"), QmdIndex()).isValid());
    QCOMPARE(d.directType(QmdIndex()), Qmd::NoContainer);
    QVERIFY(d.directKeys(QmdIndex()).isEmpty());
    QCOMPARE(d.directAddData(QVariant(1), QmdIndex()), QmdItemId(0));
    d.directSetData(QStringLiteral("k"), 2, QmdIndex());
    d.directBeginRequest(2, Qmd::NoRequestFlags, QString());
    d.directUndo();
    d.directEndRequest();
    QVERIFY(!d.directCanUndo());
    QCOMPARE(d.directUndoText(), QString());
}

QTEST_GUILESS_MAIN(TestQmdDirectInterface)
#include "tst_qmddirectinterface.moc"
