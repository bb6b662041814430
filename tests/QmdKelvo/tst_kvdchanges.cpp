#include "ModelSignalRecorder.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"

#include <QtTest>

namespace K = QmdKelvoKeys;
using QmdKelvo::TickPoint;

class TestKvdChanges : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void removingANodeCleansUp();
    void removingAnInstrumentClearsReferences();
    void instrumentChangeNamesAnInstrument();
    void instrumentAndScaleModeSignals();

private:
    QmdItemId addNode(qint64 x);
    QmdItemId addEdge(QmdItemId from, QmdItemId to);
    QVariant value(QmdItemId id, const QString& key) const
    {
        return c->data(key, c->elementIndex(id));
    }

    std::unique_ptr<QmdMemModel> model;
    std::unique_ptr<QmdKelvoController> c;
};

void TestKvdChanges::init()
{
    c.reset();
    model = std::make_unique<QmdMemModel>();
    c = std::make_unique<QmdKelvoController>();
    c->setModel(model.get());
}

QmdItemId TestKvdChanges::addNode(qint64 x)
{
    QmdItemId id = 0;
    c->requestAddNode(TickPoint {x, 0}, {}, QmdRequestOptions(QStringLiteral("Node")), &id);
    return id;
}

QmdItemId TestKvdChanges::addEdge(QmdItemId from, QmdItemId to)
{
    QmdItemId id = 0;
    c->requestAddEdge(c->elementIndex(from), c->elementIndex(to), QmdKelvo::CityBlock, {},
                      QmdRequestOptions(QStringLiteral("Edge")), &id);
    return id;
}

// Node B with an edge in from A, an edge out to C and a voice group on it: the edges and the
// group go in the same step, A forgets the incoming edge, and one undo brings all back.
void TestKvdChanges::removingANodeCleansUp()
{
    const QmdItemId a = addNode(0), b = addNode(665280), c3 = addNode(1330560);
    const QmdItemId in = addEdge(a, b), out = addEdge(b, c3), other = addEdge(a, c3);
    const QmdItemId lone = addEdge(c3, c3);
    c->requestAddVoiceGroup(c->elementIndex(b));
    const QmdItemId group = c->elements().last();
    c->requestSetData(K::ArcUsageList, QStringLiteral("%1=1,,%2=2").arg(in).arg(other),
                      c->elementIndex(a));
    c->requestSetData(K::ArcUsageList, QString(), c->elementIndex(c3));
    deliverRelays();
    QCOMPARE(c->edgeFromNodesCopy(),
             (QHash<QmdItemId, QmdItemId> {{in, a}, {out, b}, {other, a}, {lone, c3}}));
    const QString nodeC = c->keys(c->elementIndex(c3)).join(',');

    QSignalSpy removed(c.get(), &QmdElementDocController::elementsRemoved);
    const QmdRequestId rid
        = c->requestRemove(b, c->elementsRoot(), QmdRequestOptions(QStringLiteral("Remove")));
    for (int i = 0; i < 3; ++i)
        deliverRelays();
    QCOMPARE(removed.size(), 2);
    QCOMPARE(removed.at(0).at(0).value<QmdItemIdList>(), QmdItemIdList({b}));
    QCOMPARE(removed.at(1).at(0).value<QmdItemIdList>(), QmdItemIdList({in, out, group}));
    QCOMPARE(removed.at(1).at(1).value<QmdRequestId>(), rid);
    QCOMPARE(c->idList(c->index(K::ArcIdentifiers, c->elementIndex(a))), QmdItemIdList({other}));
    QCOMPARE(value(a, K::ArcUsageList), QVariant(QStringLiteral(",%1=2").arg(other)));
    QCOMPARE(c->keys(c->elementIndex(c3)).join(','), nodeC);
    QCOMPARE(c->idList(c->elementStatesRoot()), QmdItemIdList({a, c3, other, lone}));
    QCOMPARE(c->idList(c->nodeNotesTreesRoot()), QmdItemIdList({a, c3}));
    QCOMPARE(c->edgeFromNodesCopy(), (QHash<QmdItemId, QmdItemId> {{other, a}, {lone, c3}}));
    QCOMPARE(c->undoText(), QStringLiteral("Remove"));

    // Removing an edge whose from-node has an empty usage list writes the empty text back.
    c->requestRemove(lone, c->elementsRoot(), QmdRequestOptions(QStringLiteral("Remove")));
    deliverRelays();
    QCOMPARE(value(c3, K::ArcUsageList), QVariant(QString()));
    c->requestUndo();
    deliverRelays();

    c->requestUndo();
    for (int i = 0; i < 3; ++i)
        deliverRelays();
    QCOMPARE(c->elements(), QmdItemIdList({a, b, c3, in, out, other, lone, group}));
    QCOMPARE(value(a, K::ArcUsageList), QVariant(QStringLiteral("%1=1,,%2=2").arg(in).arg(other)));
    QCOMPARE(c->idList(c->index(K::ArcIdentifiers, c->elementIndex(a))),
             QmdItemIdList({in, other}));
    QCOMPARE(c->idList(c->elementStatesRoot()), QmdItemIdList({a, b, c3, in, out, other, lone}));
    QCOMPARE(c->idList(c->nodeNotesTreesRoot()), QmdItemIdList({a, b, c3}));
    QCOMPARE(c->edgeFromNodesCopy(),
             (QHash<QmdItemId, QmdItemId> {{in, a}, {out, b}, {other, a}, {lone, c3}}));

    // Undoing an edge's addition forgets it without a clean-up request.
    c->requestRedo();
    deliverRelays();
    const QmdItemId late = addEdge(a, c3);
    deliverRelays();
    QVERIFY(c->edgeFromNodesCopy().contains(late));
    c->requestUndo();
    deliverRelays();
    QVERIFY(!c->edgeFromNodesCopy().contains(late));
    QCOMPARE(c->undoText(), QStringLiteral("Remove"));
}

void TestKvdChanges::removingAnInstrumentClearsReferences()
{
    c->requestAddInstrument();
    c->requestAddInstrument();
    const QmdItemIdList instruments = c->instruments();
    const QmdItemId node = addNode(0);
    c->requestAddVoiceGroup(c->elementIndex(node));
    const QmdItemId group = c->elements().last();
    c->requestSetData(QHash<QString, QVariant> {{K::Instrument, uint(instruments.first())},
                                                {K::DoInstrumentChange, true}},
                      c->elementIndex(node));
    deliverRelays();
    QCOMPARE(value(group, K::InitialInstrument), QVariant(uint(instruments.first())));

    QSignalSpy gone(c.get(), &QmdKelvoController::instrumentsRemoved);
    c->requestRemove(instruments.first(), c->index(K::Instruments, QmdIndex()),
                     QmdRequestOptions(QStringLiteral("Remove Instrument")));
    deliverRelays();
    QCOMPARE(gone.size(), 1);
    QCOMPARE(gone.first().at(0).value<QmdItemIdList>(), QmdItemIdList({instruments.first()}));
    QCOMPARE(value(group, K::InitialInstrument), QVariant(0u));
    QCOMPARE(value(node, K::Instrument), QVariant(0u));
    QCOMPARE(value(node, K::DoInstrumentChange), QVariant(false));

    c->requestUndo();
    deliverRelays();
    QCOMPARE(c->instruments(), instruments);
    QCOMPARE(value(group, K::InitialInstrument), QVariant(uint(instruments.first())));
    QCOMPARE(value(node, K::DoInstrumentChange), QVariant(true));
}

// A node that changes its voices' instrument changes to one of the document's: switched on
// without one, the change takes the first, in the same undo step.
void TestKvdChanges::instrumentChangeNamesAnInstrument()
{
    const QmdItemId node = addNode(0), named = addNode(665280);
    const auto tick = [&](QmdItemId id) {
        c->requestSetData(K::DoInstrumentChange, true, c->elementIndex(id),
                          QmdRequestOptions(QStringLiteral("Instrument Change")));
        deliverRelays();
    };
    tick(node);
    QCOMPARE(value(node, K::DoInstrumentChange), QVariant(false));
    QVERIFY(!value(node, K::Instrument).isValid());

    c->requestAddInstrument();
    c->requestAddInstrument();
    const QmdItemIdList instruments = c->instruments();
    c->requestSetData(K::Instrument, uint(instruments.last()), c->elementIndex(named),
                      QmdRequestOptions(QStringLiteral("Instrument")));
    tick(node);
    tick(named);
    QCOMPARE(value(node, K::DoInstrumentChange), QVariant(true));
    QCOMPARE(value(node, K::Instrument), QVariant(uint(instruments.first())));
    QCOMPARE(value(named, K::Instrument), QVariant(uint(instruments.last())));

    c->requestUndo();
    c->requestUndo();
    deliverRelays();
    QCOMPARE(c->undoText(), QStringLiteral("Instrument"));
    QVERIFY(!value(node, K::Instrument).isValid());
    c->requestRedo();
    deliverRelays();
    QCOMPARE(c->undoText(), QStringLiteral("Instrument Change"));
    QCOMPARE(value(node, K::DoInstrumentChange), QVariant(true));
    QCOMPARE(value(node, K::Instrument), QVariant(uint(instruments.first())));
}

void TestKvdChanges::instrumentAndScaleModeSignals()
{
    QSignalSpy added(c.get(), &QmdKelvoController::instrumentsAdded);
    QSignalSpy effected(c.get(), &QmdKelvoController::instrumentDataEffected);
    QSignalSpy modeEffected(c.get(), &QmdKelvoController::scaleModeDataEffected);
    c->requestAddInstrument();
    deliverRelays();
    QCOMPARE(added.size(), 1);
    effected.clear(); // the new instrument's own values
    const QmdItemId instrument = c->instruments().first();
    c->requestSetData(
        QHash<QString, QVariant> {{K::Label, QStringLiteral("Bass")}, {K::MidiProgram, 33}},
        c->instrumentIndex(instrument));
    c->requestRemove(K::MidiBankLSB, c->instrumentIndex(instrument));
    const QmdItemId mode = c->scaleModes().first();
    c->requestSetData(K::Label, QStringLiteral("Mine"), c->scaleModeIndex(mode));
    // A key named like an instrument's, elsewhere, is no instrument's.
    c->requestSetData(K::Label, QStringLiteral("Node"), c->elementIndex(addNode(0)));
    deliverRelays();
    QCOMPARE(effected.size(), 2);
    QCOMPARE(effected.at(0).at(0).value<QmdItemId>(), instrument);
    QStringList keys = effected.at(0).at(1).toStringList();
    keys.sort();
    QCOMPARE(keys, QStringList({"Label", "MidiProgram"}));
    QCOMPARE(effected.at(1).at(1).toStringList(), QStringList({"MidiBankLSB"}));
    QCOMPARE(modeEffected.size(), 1);
    QCOMPARE(modeEffected.first().at(0).value<QmdItemId>(), mode);
}

QTEST_GUILESS_MAIN(TestKvdChanges)
#include "tst_kvdchanges.moc"
