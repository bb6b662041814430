#include "QmdKelvoController.h"
#include "QmdMemModel.h"

#include <QtTest>

// The model's subtree at index as compact text: containers in braces with their children in
// key order, plain values as their text (strings quoted).
static QString dump(const QmdController& c, const QmdIndex& index)
{
    if (c.type(index) == Qmd::NoContainer) {
        const QVariant value = c.data(index);
        if (value.typeId() == QMetaType::QString)
            return '"' + value.toString() + '"';
        return value.toString();
    }
    QStringList parts;
    for (const QmdIndex& child : c.children(index))
        parts.append(child.toString() + ':' + dump(c, child));
    return '{' + parts.join(',') + '}';
}

class TestNotesTrees : public QObject
{
    Q_OBJECT

private slots:
    void runTimePart();
    void storedTrees_data();
    void storedTrees();
    void invalidTextStoresNothing();
    void rebuildWithoutRunTimePart();
    void validateThroughMetaObject();
};

// Builds node 5's notes tree from text inside a request, as the controller's rebuild does.
static bool build(QmdKelvoController& c, const QString& text)
{
    const QmdRequestId rid
        = c.beginRequest(QmdRequestOptions(Qmd::NotUndoable, QStringLiteral("Rebuild Notes Tree")));
    c.directRemove(QmdItemId(5), c.nodeNotesTreesRoot());
    const bool ok = QmdKelvoController::parseNotes(
        text, [&](bool valid, ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* tree) {
            c.onNotesParsed(valid, adaptor, tree, 5);
        });
    c.endRequest(rid);
    return ok;
}

void TestNotesTrees::runTimePart()
{
    QmdMemModel model;
    QmdKelvoController c;
    c.setModel(&model);
    const QmdIndex temp = c.index(QStringLiteral("Temp"), QmdIndex());
    QCOMPARE(c.type(temp), Qmd::StrDict);
    QCOMPARE(c.type(c.nodeNotesTreesRoot()), Qmd::IntDict);
    QCOMPARE(c.parent(c.nodeNotesTreesRoot()), temp);
    QVERIFY(!c.canUndo());

    // A reset empties the run-time part.
    build(c, QStringLiteral("C3"));
    QVERIFY(c.hasChildren(c.nodeNotesTreesRoot()));
    c.reset();
    QVERIFY(!c.hasChildren(c.nodeNotesTreesRoot()));
    QVERIFY(!c.canUndo());
}

void TestNotesTrees::storedTrees_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tree");

    const QString zeros
        = QStringLiteral("CurrentDurationId:0,CurrentPitchId:0,CurrentVelocityId:0");
    QTest::newRow("one note") << "C3"
                              << "{Children:{1:{" + zeros
            + ",PitchList:\"C3\"}},CurrentChildId:0,SignallingMethod:0}";
    QTest::newRow("empty") << ""
                           << "{SignallingMethod:0}";
    QTest::newRow("comment only") << "// nothing to play"
                                  << "{SignallingMethod:0}";
    QTest::newRow("empty group") << "()"
                                 << "{Children:{1:{SignallingMethod:0}},CurrentChildId:0,"
                                    "SignallingMethod:0}";
    QTest::newRow("parallel and random")
        << "[C3 E3] {D3}"
        << "{Children:{1:{Children:{1:{" + zeros + ",PitchList:\"C3\"},2:{" + zeros
            + ",PitchList:\"E3\"}},CurrentChildId:0,SignallingMethod:1},2:{Children:{1:{" + zeros
            + ",PitchList:\"D3\"}},CurrentChildId:0,SignallingMethod:2}},CurrentChildId:0,"
              "SignallingMethod:0}";
    QTest::newRow("all lists") << "C3:96:100%"
                               << "{Children:{1:{" + zeros
            + ",DurationList:\"100%\",PitchList:\"C3\",VelocityList:\"96\"}},"
              "CurrentChildId:0,SignallingMethod:0}";
    QTest::newRow("lists as typed, without white space") << "c3 , +2 : 96 : *2, 50%"
                                                         << "{Children:{1:{" + zeros
            + ",DurationList:\"*2,50%\",PitchList:\"c3,+2\",VelocityList:\"96\"}},"
              "CurrentChildId:0,SignallingMethod:0}";
    QTest::newRow("nested sequence")
        << "(C3 (D3))"
        << "{Children:{1:{Children:{1:{" + zeros + ",PitchList:\"C3\"},2:{Children:{1:{" + zeros
            + ",PitchList:\"D3\"}},CurrentChildId:0,SignallingMethod:0}},CurrentChildId:0,"
              "SignallingMethod:0}},CurrentChildId:0,SignallingMethod:0}";
}

void TestNotesTrees::storedTrees()
{
    QFETCH(QString, text);
    QFETCH(QString, tree);
    QmdMemModel model;
    QmdKelvoController c;
    c.setModel(&model);
    QVERIFY(build(c, text));
    QCOMPARE(c.idList(c.nodeNotesTreesRoot()), QmdItemIdList({5}));
    QCOMPARE(dump(c, c.index(5, c.nodeNotesTreesRoot())), tree);
    QVERIFY(!c.canUndo());
}

void TestNotesTrees::invalidTextStoresNothing()
{
    QmdMemModel model;
    QmdKelvoController c;
    c.setModel(&model);
    QVERIFY(build(c, QStringLiteral("C3")));
    for (const QString& text : {QStringLiteral("C3 X D3"), QStringLiteral("C3:"),
                                QStringLiteral("(C3"), QString(300, QLatin1Char('('))}) {
        QVERIFY(!build(c, text));
        QVERIFY(!c.hasChildren(c.nodeNotesTreesRoot()));
    }
}

void TestNotesTrees::rebuildWithoutRunTimePart()
{
    // Once "Temp" is gone, a rebuild has nowhere to store and stores nothing; above all not
    // into the document root, which would be saved.
    QmdMemModel model;
    QmdKelvoController c;
    c.setModel(&model);
    const QStringList rootKeys = c.keys(QmdIndex());
    c.requestRemove(QStringLiteral("Temp"), QmdIndex(),
                    QmdRequestOptions(Qmd::NotUndoable, QStringLiteral("Remove")));
    QVERIFY(build(c, QStringLiteral("(C3 [D3])")));
    QStringList expected = rootKeys;
    expected.removeOne(QStringLiteral("Temp"));
    QCOMPARE(c.keys(QmdIndex()), expected);
}

void TestNotesTrees::validateThroughMetaObject()
{
    // The notes editor finds validateNotes through the controller's meta-object.
    QmdKelvoController c;
    bool ok = false;
    QmdKelvoController::NotesTokenMap map;
    QVERIFY(QMetaObject::invokeMethod(&c, "validateNotes", Qt::DirectConnection,
                                      Q_RETURN_ARG(bool, ok), Q_ARG(QString, "C3:96:100%"),
                                      Q_ARG(QmdKelvoController::NotesTokenMap&, map)));
    QVERIFY(ok);
    QmdKelvoController::NotesTokenMap expected;
    expected.insert(0, qMakePair(2, QmdKelvoController::PitchListToken));
    expected.insert(3, qMakePair(2, QmdKelvoController::VelocityListToken));
    expected.insert(6, qMakePair(4, QmdKelvoController::DurationListToken));
    QCOMPARE(map, expected);
}

QTEST_GUILESS_MAIN(TestNotesTrees)
#include "tst_notestrees.moc"
