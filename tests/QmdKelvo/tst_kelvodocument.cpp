#include "ModelSignalRecorder.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdKelvoUnits.h"
#include "QmdMemModel.h"

#include <QtTest>

namespace K = QmdKelvoKeys;
using QmdKelvo::TickPoint;

class TestKelvoDocument : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void defaultsAndTypes();
    void stylePresets();
    void notesTreesFollowNotes();
    void nodesEdgesVoiceGroupsTextBoxes();
    void defaultInstruments();
    void controllerCurves();
    void missingIdsNeverAddressTheRoot();

private:
    QmdMemModel* model = nullptr;
    QmdKelvoController* c = nullptr;
    QScopedPointer<QmdMemModel> modelOwner;
    QScopedPointer<QmdKelvoController> controllerOwner;
};

void TestKelvoDocument::init()
{
    controllerOwner.reset();
    modelOwner.reset(model = new QmdMemModel);
    controllerOwner.reset(c = new QmdKelvoController);
    c->setModel(model);
}

// Delivers the relays, and those of the requests that they make in turn.
static void settle()
{
    for (int i = 0; i < 4; ++i)
        deliverRelays();
}

static QVariant elementValue(QmdKelvoController* c, QmdItemId id, const QString& key)
{
    return c->data(key, c->elementIndex(id));
}

// The keys of an item with their values' types and values, as "key:type=value" in key order.
static QString describe(QmdKelvoController* c, const QmdIndex& item)
{
    QStringList parts;
    for (const QString& key : c->keys(item)) {
        const QmdIndex child = c->index(key, item);
        const Qmd::ContainerType type = c->type(child);
        if (type != Qmd::NoContainer) {
            parts.append(key + (type == Qmd::IntDict ? ":IntDict" : ":StrDict"));
            continue;
        }
        const QVariant value = c->data(child);
        parts.append(key + ':' + value.typeName() + '=' + value.toString());
    }
    return parts.join(' ');
}

static QString notesTree(QmdKelvoController* c, QmdItemId nodeId)
{
    const QmdIndex tree = c->index(nodeId, c->nodeNotesTreesRoot());
    if (!tree.isValid())
        return QStringLiteral("none");
    const QmdIndex first = c->index(1, c->index(K::Children, tree));
    return c->data(K::PitchList, first).toString() + '/'
        + c->data(K::DurationList, first).toString();
}

void TestKelvoDocument::defaultsAndTypes()
{
    const QmdIndex root;
    QCOMPARE(c->data(K::Tempo, root), QVariant(120u));
    QCOMPARE(c->data(K::DivsPerPrincipal, root), QVariant(4u));
    QCOMPARE(c->data(K::PrincipalsToBeatsDenominator, root), QVariant(1u));
    QVERIFY(c->chromaticScaleModeId() != 0);
    QCOMPARE(c->data(K::ScaleMode, root), QVariant(uint(c->chromaticScaleModeId())));
    QCOMPARE(c->data(K::ShowGrid, root), QVariant(true));
    QCOMPARE(c->data(K::ShowEdgeSignalling, root), QVariant(false));
    QCOMPARE(c->data(K::ZoomScale, root), QVariant(1.0));
    QCOMPARE(c->data(K::SyncType, root), QVariant(QStringLiteral("internal")));
    QCOMPARE(c->data(K::StyleBackgroundColor, root), QVariant(QColor(39, 39, 47)));
    QCOMPARE(c->data(K::StyleAnnotationColor, root), QVariant(QColor(255, 255, 255, 128)));
    QCOMPARE(c->type(c->index(K::Instruments, root)), Qmd::IntDict);
    QCOMPARE(c->type(c->index(K::ScaleModes, root)), Qmd::IntDict);
    QCOMPARE(c->type(c->index(K::SyncMidiOutputs, root)), Qmd::StrDict);
    QCOMPARE(describe(c, c->index(K::Temp, root)),
             QStringLiteral("ElementStates:IntDict NodeNotesTrees:IntDict Tool:int=2"));
    QVERIFY(!c->canUndo());

    // A present value stays, whatever its type; the run-time part is made anew, with a state
    // for every node and edge and a tree for every node.
    QmdItemId node = 0, edge = 0;
    c->requestAddNode(TickPoint {1, 2}, {}, QmdRequestOptions(QStringLiteral("Node")), &node);
    c->requestAddEdge(c->elementIndex(node), c->elementIndex(node), QmdKelvo::Direct, {},
                      QmdRequestOptions(QStringLiteral("Edge")), &edge);
    c->requestAddTextBox(TickPoint {});
    c->requestSetData(K::Tempo, QStringLiteral("fast"));
    c->requestSetData(K::Tool, 4, c->index(K::Temp, root));
    c->requestSetData(QStringLiteral("Junk"), 1, c->index(K::Temp, root));
    c->requestRemove(edge, c->elementStatesRoot());
    c->requestRemove(node, c->nodeNotesTreesRoot());
    c->reset();
    QCOMPARE(c->data(K::Tempo, root), QVariant(QStringLiteral("fast")));
    QCOMPARE(describe(c, c->index(K::Temp, root)),
             QStringLiteral("ElementStates:IntDict NodeNotesTrees:IntDict Tool:int=2"));
    QCOMPARE(c->idList(c->elementStatesRoot()), QmdItemIdList({node, edge}));
    QCOMPARE(c->idList(c->nodeNotesTreesRoot()), QmdItemIdList({node}));
}

void TestKelvoDocument::stylePresets()
{
    QCOMPARE(QmdKelvoController::stylePresetNames(), QStringList({"Dark", "Light"}));
    const QStringList styleKeys
        = {K::StyleBackgroundColor,    K::StylePrincipalLinesColor, K::StylePrincipalPointsColor,
           K::StyleDivisionLinesColor, K::StyleDivisionPointsColor, K::StyleAnnotationColor,
           K::StyleNodesColor,         K::StyleEdgesColor};
    auto colors = [&] {
        QList<QColor> list;
        for (const QString& key : styleKeys)
            list.append(c->data(key, QmdIndex()).value<QColor>());
        return list;
    };
    const QList<QColor> dark = colors();
    const QList<QColor> light
        = {QColor(255, 255, 255), QColor(180, 180, 180),   QColor(Qt::transparent),
           QColor(220, 230, 240), QColor(Qt::transparent), QColor(Qt::black),
           QColor(44, 101, 169),  QColor(40, 40, 40)};

    QVERIFY(c->requestLoadStylePreset(QStringLiteral("Light")) != 0);
    QCOMPARE(colors(), light);
    QCOMPARE(c->undoText(), QStringLiteral("Color Preset: Light"));
    c->requestUndo();
    QCOMPARE(colors(), dark);
    QVERIFY(!c->canUndo());

    QCOMPARE(c->requestLoadStylePreset(QStringLiteral("dark")), QmdRequestId(0));
    QVERIFY(!c->canUndo());
    QVERIFY(c->requestLoadStylePreset(QStringLiteral("Dark")) != 0);
    QCOMPARE(c->undoText(), QStringLiteral("Color Preset: Dark"));
    QCOMPARE(colors(), dark);
}

void TestKelvoDocument::notesTreesFollowNotes()
{
    QmdItemId node = 0;
    const QmdRequestId rid
        = c->requestAddNode(TickPoint {}, {}, QmdRequestOptions(QStringLiteral("Node")), &node);
    QVERIFY(rid != 0 && node != 0);
    QCOMPARE(notesTree(c, node), QStringLiteral("C3/100%"));
    settle();
    QCOMPARE(c->undoText(), QStringLiteral("Node"));

    // Changed notes rebuild the tree; notes that do not parse leave none.
    c->requestSetData(K::Notes, QStringLiteral("D4:1:50%"), c->elementIndex(node));
    settle();
    QCOMPARE(notesTree(c, node), QStringLiteral("D4/50%"));
    c->requestSetData(K::Notes, QStringLiteral("D4:"), c->elementIndex(node));
    settle();
    QCOMPARE(notesTree(c, node), QStringLiteral("none"));
    c->requestRemove(K::Notes, c->elementIndex(node));
    settle();
    QCOMPARE(describe(c, c->index(node, c->nodeNotesTreesRoot())),
             QStringLiteral("SignallingMethod:int=0"));

    // Undo and redo keep the tree in step; the rebuild request leaves the history alone.
    c->requestUndo();
    settle();
    QCOMPARE(notesTree(c, node), QStringLiteral("none"));
    c->requestUndo();
    c->requestUndo();
    c->requestUndo();
    settle();
    QVERIFY(!c->elementIndex(node).isValid());
    QCOMPARE(c->idList(c->nodeNotesTreesRoot()), QmdItemIdList());
    c->requestRedo();
    settle();
    QCOMPARE(notesTree(c, node), QStringLiteral("C3/100%"));
    const QString undoText = c->undoText();
    QVERIFY(c->requestRebuildNotesTree(node) != 0);
    QCOMPARE(c->undoText(), undoText);
    QVERIFY(c->canRedo());

    // Only nodes have trees.
    c->requestAddTextBox(TickPoint {});
    settle();
    const QmdItemId textBox = c->elements().last();
    c->requestSetData(K::Notes, QStringLiteral("C3"), c->elementIndex(textBox));
    settle();
    QCOMPARE(c->idList(c->nodeNotesTreesRoot()), QmdItemIdList({node}));
    QCOMPARE(c->requestRebuildNotesTree(textBox), QmdRequestId(0));
}

void TestKelvoDocument::nodesEdgesVoiceGroupsTextBoxes()
{
    QmdItemId a = 0, b = 0, first = 0, second = 0, loop = 0, loose = 0;
    const QmdRequestOptions node(QStringLiteral("Node"));
    const QmdRequestOptions edge(QStringLiteral("Edge"));
    c->requestAddNode(TickPoint {665280, -3}, {}, node, &a);
    c->requestAddNode(TickPoint {}, QmdKelvo::CreateHidden, node, &b);
    c->requestAddEdge(c->elementIndex(a), c->elementIndex(b), QmdKelvo::CityBlockFlipped, {}, edge,
                      &first);
    c->requestAddEdge(c->elementIndex(a), c->elementIndex(a), QmdKelvo::Direct, {}, edge, &second);
    c->requestAddEdge(QmdIndex(), c->elementIndex(b), QmdKelvo::CityBlock, QmdKelvo::CreateHidden,
                      edge, &loose);
    QCOMPARE(elementValue(c, a, K::TickPos).value<TickPoint>(), (TickPoint {665280, -3}));
    QCOMPARE(describe(c, c->elementIndex(b)),
             QStringLiteral("ArcIdentifiers:IntDict IsHidden:bool=true Notes:QString=C3:96:100% "
                            "SignallingMethod:int=0 TickPos:QmdKelvo::TickPoint= Type:int=2"));
    QCOMPARE(describe(c, c->elementIndex(first)),
             QStringLiteral("ContinuousControllers:IntDict FromNode:uint=%1 Path:int=1 "
                            "ToNode:uint=%2 Type:int=1")
                 .arg(a)
                 .arg(b));
    QCOMPARE(describe(c, c->elementIndex(loose)),
             QStringLiteral("ContinuousControllers:IntDict IsHidden:bool=true Path:int=0 "
                            "ToNode:uint=%1 Type:int=1")
                 .arg(b));
    QCOMPARE(describe(c, c->index(a, c->elementStatesRoot())),
             QStringLiteral("CurrentEdgeUsageId:uint=0 CurrentEdgeUsageUses:int=0 "
                            "CurrentUserMidiMessageId:int=0 HitCount:int=0 "
                            "LastNotesSent:QString="));
    QCOMPARE(describe(c, c->index(first, c->elementStatesRoot())),
             QStringLiteral("CurrentScaleId:int=0"));
    QCOMPARE(c->edgeMarker(a, first), 0);
    QCOMPARE(c->edgeMarker(a, second), 1);
    QCOMPARE(elementValue(c, a, K::ArcUsageList).toString(),
             QStringLiteral("%1=1,%2=1").arg(first).arg(second));
    QVERIFY(c->children(c->index(K::ArcIdentifiers, c->elementIndex(b))).isEmpty());
    QVERIFY(!elementValue(c, b, K::ArcUsageList).isValid());

    // A marker that is free again is taken first.
    c->requestRemove(first, c->index(K::ArcIdentifiers, c->elementIndex(a)));
    c->requestAddEdge(c->elementIndex(a), c->elementIndex(b), QmdKelvo::CityBlock, {}, edge, &loop);
    QCOMPARE(c->edgeMarker(a, loop), 0);

    // Voice groups start at a node with the first instrument; text boxes hold their text.
    c->requestAddVoiceGroup(c->elementIndex(b));
    const QmdItemId lonely = c->elements().last();
    c->requestAddInstrument();
    c->requestAddInstrument();
    c->requestAddVoiceGroup(QmdIndex(), QmdKelvo::CreateHidden,
                            QmdRequestOptions(QStringLiteral("Group")));
    const QmdItemId group = c->elements().last();
    QCOMPARE(elementValue(c, lonely, K::InitialInstrument), QVariant(0u));
    QCOMPARE(describe(c, c->elementIndex(group)),
             QStringLiteral("DontPlayNote:bool=false "
                            "InitialDuration:QString=1.0 InitialInstrument:uint=%1 "
                            "InitialPitch:QString=C3 InitialVelocity:QString=96 "
                            "IsHidden:bool=true ScaleKey:uint=0 ScaleMode:uint=%2 "
                            "ToNode:uint=0 TriggeringQuantization:int=3 Type:int=4 "
                            "UseScale:bool=false")
                 .arg(c->instruments().first())
                 .arg(c->chromaticScaleModeId()));
    QCOMPARE(elementValue(c, lonely, K::ToNode), QVariant(uint(b)));
    c->requestAddTextBox(TickPoint {5, 6});
    const QmdItemId text = c->elements().last();
    QCOMPARE(elementValue(c, text, K::Text).toString(),
             QStringLiteral("<html><body>Text</body></html>"));
    QVERIFY(!c->index(text, c->elementStatesRoot()).isValid());
    QVERIFY(!c->index(group, c->elementStatesRoot()).isValid());

    // Each request is one undo step, element state included; redo brings all back.
    const QString before = describe(c, c->elementIndex(a)) + describe(c, c->elementStatesRoot());
    while (c->canUndo())
        c->requestUndo();
    settle();
    QVERIFY(c->elements().isEmpty());
    QVERIFY(c->idList(c->elementStatesRoot()).isEmpty());
    QVERIFY(c->idList(c->nodeNotesTreesRoot()).isEmpty());
    while (c->canRedo())
        c->requestRedo();
    settle();
    QCOMPARE(describe(c, c->elementIndex(a)) + describe(c, c->elementStatesRoot()), before);
    QCOMPARE(c->idList(c->nodeNotesTreesRoot()), QmdItemIdList({a, b}));
    QCOMPARE(c->elements().size(), 9);
}

void TestKelvoDocument::defaultInstruments()
{
    for (int i = 0; i < 17; ++i)
        QVERIFY(c->requestAddInstrument() != 0);
    const QmdItemIdList ids = c->instruments();
    QCOMPARE(ids.size(), 17);
    auto value
        = [&](int i, const QString& key) { return c->data(key, c->instrumentIndex(ids.at(i))); };
    QCOMPARE(describe(c, c->instrumentIndex(ids.first())),
             QStringLiteral("Color:QColor=#ff8000 Label:QString=Instrument MidiBankLSB:int=0 "
                            "MidiBankMSB:int=0 MidiChannels:QBitArray= "
                            "MidiDoProgramChange:bool=false MidiPort:QString=Kelvo Synthesizer "
                            "MidiProgram:int=1 Type:QString=midi"));
    QCOMPARE(value(0, K::MidiChannels).toBitArray(), QBitArray(16) | QBitArray(1, true));
    QCOMPARE(value(1, K::Label).toString(), QStringLiteral("Instrument 2"));
    QCOMPARE(value(1, K::Color).value<QColor>(), QmdKelvo::paletteColor(1));
    QBitArray second(16);
    second.setBit(1);
    QCOMPARE(value(1, K::MidiChannels).toBitArray(), second);
    QCOMPARE(value(15, K::MidiChannels).toBitArray().count(true), 1);
    QCOMPARE(value(16, K::MidiChannels).toBitArray(), QBitArray(16));
    QCOMPARE(value(16, K::Label).toString(), QStringLiteral("Instrument 17"));

    // The first free label is taken, whatever other labels exist.
    c->requestSetData(K::Label, QStringLiteral("Bass"), c->instrumentIndex(ids.first()));
    c->requestAddInstrument();
    QCOMPARE(c->data(K::Label, c->instrumentIndex(c->instruments().last())).toString(),
             QStringLiteral("Instrument"));
    c->requestAddInstrument();
    QCOMPARE(c->data(K::Label, c->instrumentIndex(c->instruments().last())).toString(),
             QStringLiteral("Instrument 18"));
    QCOMPARE(c->undoText(), QStringLiteral("Instrument"));
}

void TestKelvoDocument::controllerCurves()
{
    QmdItemId edge = 0;
    c->requestAddEdge(QmdIndex(), QmdIndex(), QmdKelvo::CityBlock, {},
                      QmdRequestOptions(QStringLiteral("Edge")), &edge);
    const QmdIndex edgeIndex = c->elementIndex(edge);
    c->requestRemove(K::ContinuousControllers, edgeIndex);
    const QmdRequestId rid = c->requestAddControllerToEdge(
        edgeIndex, QmdKelvo::LinearCurve, 7, -1, QmdRequestOptions(QStringLiteral("Controller")));
    QVERIFY(rid != 0);
    const QmdIndex curves = c->index(K::ContinuousControllers, edgeIndex);
    QCOMPARE(c->idList(curves).size(), 1);
    QCOMPARE(describe(c, c->index(c->idList(curves).first(), curves)),
             QStringLiteral("CurveType:int=2 LsbCode:int=-1 MsbCode:int=7"));
    c->requestUndo();
    QCOMPARE(c->type(c->index(K::ContinuousControllers, edgeIndex)), Qmd::IntDict);
    QVERIFY(c->idList(c->index(K::ContinuousControllers, edgeIndex)).isEmpty());
}

void TestKelvoDocument::missingIdsNeverAddressTheRoot()
{
    QmdItemId node = 0, edge = 0;
    c->requestAddNode(TickPoint {}, {}, QmdRequestOptions(QStringLiteral("Node")), &node);
    c->requestAddEdge(c->elementIndex(node), QmdIndex(), QmdKelvo::CityBlock, {},
                      QmdRequestOptions(QStringLiteral("Edge")), &edge);
    const QmdIndex staleNode = c->elementIndex(node);
    const QmdIndex staleEdge = c->elementIndex(edge);
    c->requestRemove(QmdItemIdList {node, edge}, c->elementsRoot());
    settle();
    const QString root = describe(c, QmdIndex());
    const QString undoText = c->undoText();

    const QmdRequestOptions options(QStringLiteral("Controller"));
    QCOMPARE(c->requestAddControllerToEdge(staleEdge, QmdKelvo::SingleCurve, 1, 2, options),
             QmdRequestId(0));
    QCOMPARE(c->requestAddControllerToEdge(QmdIndex(), QmdKelvo::SingleCurve, 1, 2, options),
             QmdRequestId(0));
    QCOMPARE(c->requestRebuildNotesTree(node), QmdRequestId(0));
    QCOMPARE(c->edgeMarker(node, edge), 0);
    QVERIFY(!c->instrumentIndex(99).isValid());
    QVERIFY(!c->scaleModeIndex(99).isValid());
    QVERIFY(!c->isElementState(QmdIndex()));
    const QmdRequestId rid = c->beginRequest(QmdRequestOptions(QStringLiteral("Direct")));
    c->directSetElementData(node, K::Notes, QStringLiteral("C3"));
    c->addElementState(node);
    c->resetElementState(QmdIndex());
    c->buildNodeNotesTree(node);
    c->endRequest(rid);
    QCOMPARE(describe(c, QmdIndex()), root);
    QCOMPARE(c->undoText(), undoText);

    // An edge from a node that is gone gets no ends, and nothing lands at the root.
    QmdItemId newEdge = 0;
    c->requestAddEdge(staleNode, staleNode, QmdKelvo::CityBlock, {},
                      QmdRequestOptions(QStringLiteral("Edge")), &newEdge);
    QCOMPARE(describe(c, c->elementIndex(newEdge)),
             QStringLiteral("ContinuousControllers:IntDict Path:int=0 Type:int=1"));
    c->requestAddVoiceGroup(staleNode);
    QCOMPARE(elementValue(c, c->elements().last(), K::ToNode), QVariant(0u));
    QCOMPARE(describe(c, QmdIndex()), root);

    // Without the run-time part, nodes get no state and no tree, and the root stays as it was.
    c->requestRemove(K::Temp, QmdIndex(), QmdRequestOptions(Qmd::NotUndoable, "Drop"));
    const QString withoutTemp = describe(c, QmdIndex());
    QmdItemId another = 0;
    c->requestAddNode(TickPoint {}, {}, QmdRequestOptions(QStringLiteral("Node")), &another);
    QVERIFY(another != 0);
    QVERIFY(c->requestRebuildNotesTree(another) != 0);
    settle();
    QCOMPARE(describe(c, QmdIndex()), withoutTemp);
}

QTEST_GUILESS_MAIN(TestKelvoDocument)
#include "tst_kelvodocument.moc"
