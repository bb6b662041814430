#include "ModelSignalRecorder.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdKelvoUnits.h"
#include "QmdMemModel.h"

#include <QtTest>

namespace K = QmdKelvoKeys;

// A document written by an older version (fixtures/legacy.kvd), loaded as a file or as a
// template: the reset converts it to the current layout.
class TestKvdReset : public QObject
{
    Q_OBJECT

private slots:
    void legacyDocument_data();
    void legacyDocument();
    void plainValuesWhereContainersBelong();
    void instrumentChangesNameAnInstrument();
};

void TestKvdReset::legacyDocument_data()
{
    QTest::addColumn<bool>("asTemplate");
    QTest::newRow("file") << false;
    QTest::newRow("template") << true;
}

void TestKvdReset::legacyDocument()
{
    QFETCH(bool, asTemplate);
    QmdMemModel model;
    QmdKelvoController c;
    c.setModel(&model);
    const QString file = QStringLiteral(KELVO_FIXTURES "/legacy.kvd");
    QSignalSpy resets(&c, &QmdController::modelReset);
    if (asTemplate)
        c.requestLoadTemplate(file);
    else
        c.requestLoad(file);
    deliverRelays();
    QCOMPARE(resets.size(), 1);
    QCOMPARE(c.fileName(), asTemplate ? QString() : file);
    QVERIFY(!c.canUndo());

    auto value = [&](QmdItemId id, const QString& key) { return c.data(key, c.elementIndex(id)); };
    const QmdIndex root;
    QCOMPARE(c.data(K::Tempo, root), QVariant(90));

    // Nodes: edge usages and notes.
    QCOMPARE(value(1, K::ArcUsageList), QVariant(QStringLiteral("5=2,7=1")));
    QVERIFY(!c.index(QStringLiteral("OrderedArcUsages"), c.elementIndex(1)).isValid());
    QCOMPARE(value(2, K::ArcUsageList), QVariant(QString()));
    const QStringList notes = {"C3", "+0:+0:1.0", "+0:96", "C3:96:1.0", "D4"};
    for (QmdItemId node = 3; node <= 7; ++node) {
        QCOMPARE(value(node, K::Notes).toString(), notes.at(node - 3));
        for (const QString& key : {K::PitchList, K::VelocityList, K::DurationList})
            QVERIFY(!c.index(key, c.elementIndex(node)).isValid());
    }
    // Notes set by the conversion get their trees once the changes are delivered.
    QCOMPARE(c.idList(c.nodeNotesTreesRoot()), QmdItemIdList({1, 2, 3, 4, 5, 6, 7}));
    const QmdIndex tree = c.index(1, c.index(K::Children, c.index(6, c.nodeNotesTreesRoot())));
    QCOMPARE(c.data(K::VelocityList, tree), QVariant(QStringLiteral("96")));

    // Voice groups' own MIDI settings became instruments.
    QCOMPARE(c.instruments().size(), 2);
    const QmdIndex first = c.instrumentIndex(value(8, K::InitialInstrument).toUInt());
    QCOMPARE(c.data(K::Label, first), QVariant(QStringLiteral("Instrument 1")));
    QCOMPARE(c.data(K::Color, first), QVariant(QmdKelvo::paletteColor(0)));
    QCOMPARE(c.data(K::Type, first), QVariant(QStringLiteral("midi")));
    QCOMPARE(c.data(K::MidiProgram, first), QVariant(5));
    QCOMPARE(c.data(K::MidiBankLSB, first), QVariant(2));
    QCOMPARE(c.data(K::MidiChannels, first).toBitArray().count(true), 1);
    const QmdIndex second = c.instrumentIndex(value(9, K::InitialInstrument).toUInt());
    QCOMPARE(c.data(K::Label, second), QVariant(QStringLiteral("Instrument 100")));
    QCOMPARE(c.data(K::Color, second), QVariant(QColor(Qt::black)));
    QCOMPARE(c.keys(c.elementIndex(8)),
             QStringList({"DontPlayNote", "InitialInstrument", "ScaleKey", "ScaleMode", "ToNode",
                          "Type", "UseScale"}));

    // Scale modes: a copy of a built-in one is that one, user modes are numbered in id order,
    // every built-in mode is there, and references to missing modes name "Chromatic".
    const QList<ScaleMode>& builtIns = QmdKelvoController::builtInScaleModeList();
    QCOMPARE(c.scaleModes().size(), builtIns.size() + 3);
    auto mode = [&](QmdItemId id, const QString& key) { return c.data(key, c.scaleModeIndex(id)); };
    QCOMPARE(mode(1, K::IsBuiltIn), QVariant(true));
    QCOMPARE(mode(1, K::DisplayOrder),
             QVariant(builtIns.at(builtIns.indexOf(ScaleMode("Major", 2741, 0))).displayOrder));
    for (QmdItemId id = 2; id <= 4; ++id) {
        QCOMPARE(mode(id, K::IsBuiltIn), QVariant(false));
        QCOMPARE(mode(id, K::DisplayOrder), QVariant(int(10000 + id - 2)));
    }
    const QmdItemId chromatic = c.chromaticScaleModeId();
    QCOMPARE(mode(chromatic, K::Label), QVariant(QStringLiteral("Chromatic")));
    QCOMPARE(c.data(K::ScaleMode, root), QVariant(uint(chromatic)));
    QCOMPARE(value(10, K::ScaleMode), QVariant(uint(chromatic)));
    QCOMPARE(value(10, K::UseScale), QVariant(true));
    QCOMPARE(value(10, K::ScaleKey), QVariant(3));
    QCOMPARE(value(10, K::DontPlayNote), QVariant(false));

    // Run-time part: states for nodes and edges, and the edges' from-nodes.
    QCOMPARE(c.idList(c.elementStatesRoot()), QmdItemIdList({1, 2, 3, 4, 5, 6, 7, 11, 12}));
    QCOMPARE(c.edgeFromNodesCopy(), (QHash<QmdItemId, QmdItemId> {{11, 1}}));
    QCOMPARE(value(11, K::Path), QVariant(2));
}

// A file whose nodes and edges hold something else where they keep a container
// (fixtures/plain-values.kvd): the reset gives them the empty container, so that the requests
// that fill it work.
void TestKvdReset::plainValuesWhereContainersBelong()
{
    QmdMemModel model;
    QmdKelvoController c;
    c.setModel(&model);
    c.requestLoad(QStringLiteral(KELVO_FIXTURES "/plain-values.kvd"));
    deliverRelays();
    QVERIFY(!c.canUndo());

    auto container
        = [&](QmdItemId id, const QString& key) { return c.index(key, c.elementIndex(id)); };
    for (QmdItemId node : {1, 2}) {
        QCOMPARE(c.type(container(node, K::ArcIdentifiers)), Qmd::IntDict);
        QVERIFY(c.idList(container(node, K::ArcIdentifiers)).isEmpty());
    }
    QCOMPARE(c.type(container(3, K::ContinuousControllers)), Qmd::IntDict);
    QVERIFY(c.idList(container(3, K::ContinuousControllers)).isEmpty());
    // A curve that was a plain value is an empty one; the other keeps what it held.
    const QmdIndex curves = container(4, K::ContinuousControllers);
    QCOMPARE(c.idList(curves), QmdItemIdList({1, 2}));
    QCOMPARE(c.type(c.index(1, curves)), Qmd::StrDict);
    QVERIFY(c.keys(c.index(1, curves)).isEmpty());
    QCOMPARE(c.data(K::CurveType, c.index(2, curves)), QVariant(2));

    // The requests that fill the containers now do.
    QmdItemId edge = 0;
    QVERIFY(c.requestAddEdge(c.elementIndex(1), c.elementIndex(2), QmdKelvo::CityBlock,
                             QmdKelvo::NoCreationFlags, QmdRequestOptions(QString()), &edge)
            != 0);
    QCOMPARE(c.idList(container(1, K::ArcIdentifiers)), QmdItemIdList({edge}));
    QVERIFY(c.requestAddControllerToEdge(c.elementIndex(3), QmdKelvo::LinearCurve, 1, -1) != 0);
    QCOMPARE(c.idList(container(3, K::ContinuousControllers)).size(), 1);
}

// Ticked nodes that name none of the document's instruments (fixtures/instrument-changes.kvd:
// node 1 names none, node 2 a missing one, node 3 the second; node 4 is not ticked), as an
// older version saved a node ticked without a choice: they change to the first instrument.
void TestKvdReset::instrumentChangesNameAnInstrument()
{
    QmdMemModel model;
    QmdKelvoController c;
    c.setModel(&model);
    c.requestLoad(QStringLiteral(KELVO_FIXTURES "/instrument-changes.kvd"));
    deliverRelays();
    QCOMPARE(c.instruments(), QmdItemIdList({4, 6}));
    QVERIFY(!c.canUndo());
    auto value = [&](QmdItemId id, const QString& key) { return c.data(key, c.elementIndex(id)); };
    const QList<uint> instruments = {4, 4, 6, 9};
    for (QmdItemId node = 1; node <= 4; ++node) {
        QCOMPARE(value(node, K::DoInstrumentChange).toBool(), node != 4);
        QCOMPARE(value(node, K::Instrument).toUInt(), instruments.at(node - 1));
    }
}

QTEST_GUILESS_MAIN(TestKvdReset)
#include "tst_kvdreset.moc"
