#include "ModelSignalRecorder.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QtTest>

namespace K = QmdKelvoKeys;
using QmdKelvo::TickPoint;

static constexpr qint64 P = 665280;

class TestKvdClipboard : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void copyPasteRemapsReferences();
    void pasteDropsWhatHangs();
    void pastedInstrumentChangeNamesAnInstrument();
    void pastePlacement_data();
    void pastePlacement();
    void pasteRefusesForeignContent_data();
    void pasteRefusesForeignContent();

private:
    QmdItemId addNode(qint64 x, qint64 y);
    QmdItemId addEdge(QmdItemId from, QmdItemId to);
    QVariant get(QmdItemId element, const QString& key) const;
    TickPoint pos(QmdItemId element) const { return get(element, K::TickPos).value<TickPoint>(); }
    QmdItemIdList pasted(const QmdItemIdList& before) const;
    static void setClipboard(const QByteArray& bytes);

    QScopedPointer<QmdMemModel> model;
    QScopedPointer<QmdKelvoController> c;
};

void TestKvdClipboard::init()
{
    model.reset(new QmdMemModel);
    c.reset(new QmdKelvoController);
    c->setModel(model.data());
    deliverRelays();
}

void TestKvdClipboard::cleanup()
{
    c.reset();
    model.reset();
}

QmdItemId TestKvdClipboard::addNode(qint64 x, qint64 y)
{
    QmdItemId id = 0;
    c->requestAddNode(TickPoint {x, y}, QmdKelvo::NoCreationFlags, QmdRequestOptions(QString()),
                      &id);
    return id;
}

QmdItemId TestKvdClipboard::addEdge(QmdItemId from, QmdItemId to)
{
    QmdItemId id = 0;
    c->requestAddEdge(c->elementIndex(from), c->elementIndex(to), QmdKelvo::CityBlock,
                      QmdKelvo::NoCreationFlags, QmdRequestOptions(QString()), &id);
    return id;
}

QVariant TestKvdClipboard::get(QmdItemId element, const QString& key) const
{
    return c->data(key, c->elementIndex(element));
}

QmdItemIdList TestKvdClipboard::pasted(const QmdItemIdList& before) const
{
    QmdItemIdList added;
    for (QmdItemId id : c->elements())
        if (!before.contains(id))
            added.append(id);
    return added;
}

void TestKvdClipboard::setClipboard(const QByteArray& bytes)
{
    auto* mime = new QMimeData;
    mime->setData(K::ElementsMimeType, bytes);
    QGuiApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
}

void TestKvdClipboard::copyPasteRemapsReferences()
{
    const QmdItemId a = addNode(0, 0);
    const QmdItemId b = addNode(P, 0);
    const QmdItemId edge = addEdge(a, b);
    c->requestSetData(K::ArcUsageList, QStringLiteral("%1=3").arg(edge), c->elementIndex(a));
    c->requestSetData(K::Notes, QStringLiteral("E3:90:0.5"), c->elementIndex(a));
    c->requestAddVoiceGroup(c->elementIndex(a));
    const QmdItemId group = c->elements().last();
    c->requestAddTextBox(TickPoint {P / 2, P});
    const QmdItemId box = c->elements().last();
    deliverRelays();
    const int marker = c->edgeMarker(a, edge);

    c->requestCopy({a, b, edge, group, box});
    QVERIFY(QmdKelvoController::canPaste());
    const QmdItemIdList before = c->elements();
    QSignalSpy removed(c.data(),
                       qOverload<const QmdIndex&, const QmdItemIdList&, QmdRequestId>(
                           &QmdController::itemsRemoved));
    c->requestPaste(TickPoint {P * 4, P * 2});
    QCOMPARE(c->undoText(), QStringLiteral("Paste"));
    const QmdItemIdList added = pasted(before);
    QCOMPARE(added.size(), 5);
    QHash<int, QmdItemIdList> byType;
    for (QmdItemId id : added)
        byType[get(id, K::Type).toInt()].append(id);
    const QmdItemIdList nodes = byType.value(QmdKelvo::NodeElement);
    QCOMPARE(nodes.size(), 2);
    const QmdItemId newA
        = get(nodes[0], K::TickPos).value<TickPoint>().x < pos(nodes[1]).x ? nodes[0] : nodes[1];
    const QmdItemId newB = newA == nodes[0] ? nodes[1] : nodes[0];
    const QmdItemId newEdge = byType.value(QmdKelvo::EdgeElement).value(0);
    QCOMPARE(get(newEdge, K::FromNode).toUInt(), newA);
    QCOMPARE(get(newEdge, K::ToNode).toUInt(), newB);
    QCOMPARE(c->edgeMarker(newA, newEdge), marker);
    QCOMPARE(get(newA, K::ArcUsageList).toString(), QStringLiteral("%1=3").arg(newEdge));
    QCOMPARE(get(byType.value(QmdKelvo::VoiceGroupElement).value(0), K::ToNode).toUInt(), newA);
    QCOMPARE(byType.value(QmdKelvo::TextBoxElement).size(), 1);
    // Centred on the point: the pair spans one principal, so a lands half of it to the left.
    QCOMPARE(pos(newA), (TickPoint {P * 4 - P / 2, P * 2 - P / 2}));
    // Run-time parts: states of nodes and edges, the notes trees, the group's thread.
    QVERIFY(c->index(newEdge, c->elementStatesRoot()).isValid());
    QVERIFY(c->index(newA, c->elementStatesRoot()).isValid());
    QVERIFY(c->index(newA, c->nodeNotesTreesRoot()).isValid());
    deliverRelays();
    QVERIFY(c->voiceGroupsCopy().contains(byType.value(QmdKelvo::VoiceGroupElement).value(0)));
    QVERIFY(c->edgeFromNodesCopy().value(newEdge) == newA);
    // Each pasted notes tree was built once: none was taken down again.
    for (const QList<QVariant>& args : std::as_const(removed))
        QVERIFY(args.at(0).value<QmdIndex>() != c->nodeNotesTreesRoot());

    // A second paste gives new ids again; undo takes it away in one step.
    const QmdItemIdList afterFirst = c->elements();
    c->requestPaste(TickPoint {0, 0});
    QCOMPARE(pasted(afterFirst).size(), 5);
    c->requestUndo();
    QCOMPARE(c->elements(), afterFirst);
    c->requestUndo();
    QCOMPARE(c->elements(), before);
}

void TestKvdClipboard::pasteDropsWhatHangs()
{
    const QmdItemId a = addNode(0, 0);
    const QmdItemId b = addNode(P, 0);
    const QmdItemId edge = addEdge(a, b);
    c->requestAddVoiceGroup(c->elementIndex(b));
    const QmdItemId group = c->elements().last();

    // The edge without its target node, and the group without its start node.
    c->requestCopy({a, edge, group});
    QmdItemIdList before = c->elements();
    c->requestPaste(TickPoint {0, 0});
    QmdItemIdList added = pasted(before);
    QCOMPARE(added.size(), 1);
    QCOMPARE(get(added[0], K::Type).toInt(), int(QmdKelvo::NodeElement));
    QCOMPARE(c->idList(c->index(K::ArcIdentifiers, c->elementIndex(added[0]))).size(), 0);
    QCOMPARE(get(added[0], K::ArcUsageList).toString(), QString());

    // An edge whose "FromNode" names another edge hangs too.
    c->requestSetData(K::FromNode, uint(edge), c->elementIndex(edge));
    c->requestCopy({a, b, edge});
    before = c->elements();
    c->requestPaste(TickPoint {0, 0});
    added = pasted(before);
    QCOMPARE(added.size(), 2);
}

// A pasted node whose instrument change names an instrument that the document lacks (copied
// from another document, or the instrument went since) changes to the document's first.
void TestKvdClipboard::pastedInstrumentChangeNamesAnInstrument()
{
    c->requestAddInstrument();
    c->requestAddInstrument();
    const QmdItemIdList instruments = c->instruments();
    const QmdItemId node = addNode(0, 0);
    c->requestSetData(QHash<QString, QVariant> {{K::Instrument, uint(instruments.last())},
                                                {K::DoInstrumentChange, true}},
                      c->elementIndex(node));
    c->requestCopy({node});
    c->requestRemove(instruments.last(), c->index(K::Instruments, QmdIndex()));
    deliverRelays();
    const QmdItemIdList before = c->elements();
    c->requestPaste(TickPoint {0, 0});
    deliverRelays();
    const QmdItemIdList added = pasted(before);
    QCOMPARE(added.size(), 1);
    QCOMPARE(get(added[0], K::DoInstrumentChange), QVariant(true));
    QCOMPARE(get(added[0], K::Instrument).toUInt(), uint(instruments.first()));
    QCOMPARE(c->undoText(), QStringLiteral("Paste"));
}

void TestKvdClipboard::pastePlacement_data()
{
    QTest::addColumn<uint>("divs");
    QTest::addColumn<qint64>("centerX");
    QTest::addColumn<qint64>("expectedA");
    QTest::newRow("four divisions") << 4u << qint64(100000) << qint64(-166320);
    QTest::newRow("zero divisions snap to principals") << 0u << qint64(100000) << qint64(0);
    QTest::newRow("too many divisions") << 1000000u << qint64(100000) << qint64(-232640);
}

void TestKvdClipboard::pastePlacement()
{
    QFETCH(uint, divs);
    QFETCH(qint64, centerX);
    QFETCH(qint64, expectedA);
    c->requestSetData(K::DivsPerPrincipal, divs, QmdIndex());
    const QmdItemId a = addNode(0, 0);
    const QmdItemId b = addNode(P, 0);
    c->requestCopy({a, b});
    const QmdItemIdList before = c->elements();
    c->requestPaste(TickPoint {centerX, 0});
    QList<qint64> xs;
    for (QmdItemId id : pasted(before))
        xs.append(pos(id).x);
    std::sort(xs.begin(), xs.end());
    QCOMPARE(xs, (QList<qint64> {expectedA, expectedA + P}));
    QCOMPARE(c->data(K::DivsPerPrincipal, QmdIndex()).toUInt(), divs); // the stored value stays

    // A text box alone is centred without snapping.
    c->requestAddTextBox(TickPoint {1000, 2000});
    c->requestCopy({c->elements().last()});
    const QmdItemIdList withBox = c->elements();
    c->requestPaste(TickPoint {0, 0});
    QCOMPARE(pos(pasted(withBox).value(0)), (TickPoint {0, 0}));
}

void TestKvdClipboard::pasteRefusesForeignContent_data()
{
    const QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
    const QByteArray node = "<key>1</key><dict><key>ContainerType</key><string>StrDict</string>"
                            "<key>Type</key><string>Node</string>"
                            "<key>TickPos</key><string>{0, 0}</string></dict>";
    auto dict = [&](const QByteArray& type, const QByteArray& body) {
        return head + "<dict><key>ContainerType</key><string>" + type + "</string>" + body
            + "</dict></plist>";
    };
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("expected");
    QTest::newRow("valid node") << dict("IntDict", node) << 1;
    QTest::newRow("not xml") << QByteArray("\x01\x02garbage<<<", 12) << 0;
    QTest::newRow("not a plist") << QByteArray("<html><body>hi</body></html>") << 0;
    QTest::newRow("a plain value") << head + "<string>x</string></plist>" << 0;
    QTest::newRow("string-keyed top") << dict("StrDict", "<key>a</key><integer>1</integer>") << 0;
    QTest::newRow("unknown element type")
        << dict("IntDict",
                "<key>1</key><dict><key>ContainerType</key><string>StrDict</string>"
                "<key>Type</key><integer>7</integer></dict>")
        << 0;
    QTest::newRow("element that is a value")
        << dict("IntDict", "<key>1</key><integer>2</integer>") << 0;
    QTest::newRow("unexpected container")
        << dict("IntDict",
                "<key>1</key><dict><key>ContainerType</key><string>StrDict</string>"
                "<key>Type</key><string>Node</string><key>ArcIdentifiers</key><dict>"
                "<key>ContainerType</key><string>StrDict</string></dict></dict>")
        << 0;
    const QByteArray edgeBetween = "<key>2</key><dict><key>ContainerType</key><string>StrDict"
                                   "</string><key>Type</key><string>Node</string>"
                                   "<key>TickPos</key><string>{665280, 0}</string></dict>"
                                   "<key>3</key><dict><key>ContainerType</key><string>StrDict"
                                   "</string><key>Type</key><string>Edge</string>"
                                   "<key>FromNode</key><integer>1</integer>"
                                   "<key>ToNode</key><integer>2</integer>";
    const QByteArray curve = "<key>ContinuousControllers</key><dict><key>ContainerType</key>"
                             "<string>IntDict</string><key>1</key><dict><key>ContainerType"
                             "</key><string>StrDict</string><key>CurveType</key><integer>2"
                             "</integer></dict></dict>";
    QTest::newRow("edge with a curve")
        << dict("IntDict", node + edgeBetween + curve + "</dict>") << 3;
    QTest::newRow("edge-identifier markers that are a value")
        << dict("IntDict",
                "<key>1</key><dict><key>ContainerType</key><string>StrDict</string>"
                "<key>Type</key><string>Node</string><key>ArcIdentifiers</key>"
                "<string>3=0</string></dict>")
        << 0;
    QTest::newRow("controllers that are a value")
        << dict("IntDict",
                node + edgeBetween + "<key>ContinuousControllers</key><integer>5</integer></dict>")
        << 2;
    QTest::newRow("a curve that is a value")
        << dict("IntDict",
                node + edgeBetween
                    + "<key>ContinuousControllers</key><dict><key>ContainerType</key>"
                      "<string>IntDict</string><key>1</key><integer>5</integer></dict></dict>")
        << 2;
    QTest::newRow("position that is no point")
        << dict("IntDict",
                "<key>1</key><dict><key>ContainerType</key><string>StrDict</string>"
                "<key>Type</key><string>Node</string>"
                "<key>TickPos</key><integer>5</integer></dict>")
        << 0;
    QTest::newRow("offsets that overflow")
        << dict("IntDict",
                "<key>1</key><dict><key>ContainerType</key><string>StrDict</string>"
                "<key>Type</key><string>TextBox</string>"
                "<key>TickPos</key><string>{9223372036854775000, 0}</string></dict>"
                "<key>2</key><dict><key>ContainerType</key><string>StrDict</string>"
                "<key>Type</key><string>TextBox</string>"
                "<key>TickPos</key><string>{-9223372036854775000, 0}</string></dict>")
        << 0;
}

void TestKvdClipboard::pasteRefusesForeignContent()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, expected);
    setClipboard(bytes);
    QVERIFY(QmdKelvoController::canPaste());
    const QmdItemIdList before = c->elements();
    QVERIFY(c->requestPaste(TickPoint {P, P}) != 0);
    QCOMPARE(pasted(before).size(), expected);
    QCOMPARE(c->canUndo(), expected > 0);

    QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
    QVERIFY(!QmdKelvoController::canPaste());
    QVERIFY(c->requestPaste(TickPoint {0, 0}) != 0);
    QCOMPARE(pasted(before).size(), expected);
}

QTEST_MAIN(TestKvdClipboard)
#include "tst_kvdclipboard.moc"
