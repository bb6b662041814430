#include "AbstractSync.h"
#include "MidiInstrument.h"
#include "ModelSignalRecorder.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"
#include "VoiceGroup.h"

#include <QPainterPath>
#include <QtTest>

namespace K = QmdKelvoKeys;
using QmdKelvo::TickPoint;

static constexpr qint64 P = 665280; // ticks per principal

class TestVoiceGroups : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void edgeChoice();
    void voicePool();
    void goneEdgeTakesNoOtherEdgesVoice();
    void scaleSteps();
    void notesWalk();
    void controllerCurves();
    void curveSampling_data();
    void curveSampling();
    void playback();
    void mutedGroup();
    void runTimeWrites();
    void arrivalsOfOneStep();
    void preparedStart();
    void stepsWithoutTheModelLock();
    void changesReachAPlayingGroup();

private:
    QmdItemId addNode(qint64 x, qint64 y, const QString& notes);
    QmdItemId addEdge(QmdItemId from, QmdItemId to, bool wormhole = false);
    VoiceGroup* startGroup(QmdItemId startNode);
    void set(QmdItemId element, const QString& key, const QVariant& value);
    void setState(QmdItemId element, const QHash<QString, QVariant>& values);
    QVariant state(QmdItemId element, const QString& key);
    QList<InstrumentMsg> drain();
    uint firstEdge(VoiceGroup* group, QmdItemId node);

    QScopedPointer<QmdMemModel> model;
    QScopedPointer<QmdKelvoController> c;
    QmdItemId instrument = 0;
};

void TestVoiceGroups::init()
{
    model.reset(new QmdMemModel);
    c.reset(new QmdKelvoController);
    c->setModel(model.data());
    c->requestSetData(K::Tempo, 999u, QmdIndex());
    c->requestAddInstrument();
    instrument = c->instruments().value(0);
    deliverRelays();
    QVERIFY(c->instrumentsCopy().contains(instrument));
}

void TestVoiceGroups::cleanup()
{
    c.reset();
    model.reset();
}

QmdItemId TestVoiceGroups::addNode(qint64 x, qint64 y, const QString& notes)
{
    QmdItemId id = 0;
    c->requestAddNode(TickPoint {x, y}, QmdKelvo::NoCreationFlags, QmdRequestOptions(QString()),
                      &id);
    set(id, K::Notes, notes);
    c->requestRebuildNotesTree(id);
    return id;
}

QmdItemId TestVoiceGroups::addEdge(QmdItemId from, QmdItemId to, bool wormhole)
{
    QmdItemId id = 0;
    c->requestAddEdge(c->elementIndex(from), c->elementIndex(to), QmdKelvo::CityBlock,
                      QmdKelvo::NoCreationFlags, QmdRequestOptions(QString()), &id);
    set(id, K::IsWormhole, wormhole);
    return id;
}

VoiceGroup* TestVoiceGroups::startGroup(QmdItemId startNode)
{
    c->requestAddVoiceGroup(c->elementIndex(startNode));
    const QmdItemId id = c->elements().last();
    set(id, K::InitialInstrument, uint(instrument));
    deliverRelays();
    VoiceGroup* group = c->voiceGroupsCopy().value(id);
    if (group)
        group->reseedForTesting(1);
    return group;
}

void TestVoiceGroups::set(QmdItemId element, const QString& key, const QVariant& value)
{
    c->requestSetData(key, value, c->elementIndex(element));
}

void TestVoiceGroups::setState(QmdItemId element, const QHash<QString, QVariant>& values)
{
    c->requestSetData(values, c->index(element, c->elementStatesRoot()));
}

QVariant TestVoiceGroups::state(QmdItemId element, const QString& key)
{
    return c->data(key, c->index(element, c->elementStatesRoot()));
}

QList<InstrumentMsg> TestVoiceGroups::drain()
{
    QVector<InstrumentMsg> messages;
    c->instrumentsCopy().value(instrument)->pipe.tryReadIfReady(messages, 100000, ~0ULL);
    return messages.toList();
}

uint TestVoiceGroups::firstEdge(VoiceGroup* g, QmdItemId node)
{
    uint first = 0;
    QList<uint> further;
    g->chooseEdge(c->elementIndex(node), &first, &further);
    return first;
}

void TestVoiceGroups::edgeChoice()
{
    const QmdItemId n0 = addNode(0, 0, QString());
    const QmdItemId e1 = addEdge(n0, addNode(3 * P, 0, QString()));
    const QmdItemId e2 = addEdge(n0, addNode(5 * P, 0, QString()));
    const QmdItemId e3 = addEdge(n0, addNode(0, 5 * P, QString()));
    VoiceGroup* g = startGroup(n0);
    const auto usage = [&](const QString& list) {
        set(n0, K::ArcUsageList, list);
        setState(n0, {{K::CurrentEdgeUsageId, 0u}, {K::CurrentEdgeUsageUses, 0}});
    };
    const auto visits = [&](int count) {
        QList<uint> edges;
        for (int i = 0; i < count; ++i)
            edges.append(firstEdge(g, n0));
        return edges;
    };

    usage(QStringLiteral("%1=2,%2=1").arg(e1).arg(e2));
    QCOMPARE(visits(3), (QList<uint> {e1, e1, e2}));
    QCOMPARE(state(n0, K::CurrentEdgeUsageId).toUInt(), 1u);
    QCOMPARE(state(n0, K::CurrentEdgeUsageUses).toInt(), 1);
    QCOMPARE(visits(3), (QList<uint> {e1, e1, e2}));
    usage(QStringLiteral("%1=0,%2=1").arg(e1).arg(e2));
    QCOMPARE(visits(3), (QList<uint> {e1, e1, e1}));
    QCOMPARE(state(n0, K::CurrentEdgeUsageUses).toInt(), 0);
    usage(QStringLiteral("%1=1,,%2=1").arg(e1).arg(e2));
    QCOMPARE(visits(3), (QList<uint> {e1, e1, e1}));
    usage(QString());
    QCOMPARE(visits(1), QList<uint> {0});

    // Random by weight, from a fixed seed; a count of 0 means always; negative counts nothing.
    set(n0, K::SignallingMethod, int(QmdKelvo::Random));
    usage(QStringLiteral("%1=1,%2=3").arg(e1).arg(e2));
    const QList<uint> drawn = visits(4000);
    QVERIFY2(drawn.count(e1) > 850 && drawn.count(e1) < 1150,
             qPrintable(QString::number(drawn.count(e1))));
    QCOMPARE(drawn.count(e1) + drawn.count(e2), 4000);
    usage(QStringLiteral("%1=3,%2=0").arg(e1).arg(e2));
    QCOMPARE(visits(3), (QList<uint> {e2, e2, e2}));
    usage(QStringLiteral("%1=-1,%2=-2").arg(e1).arg(e2));
    QCOMPARE(visits(2), (QList<uint> {0, 0}));

    // Parallel: every edge; the first is the longest, the earliest of equally long ones.
    set(n0, K::SignallingMethod, int(QmdKelvo::Parallel));
    usage(QStringLiteral("%1=1,%2=1,%3=1").arg(e1).arg(e2).arg(e3));
    uint first = 0;
    QList<uint> further;
    g->chooseEdge(c->elementIndex(n0), &first, &further);
    QCOMPARE(first, uint(e2));
    QCOMPARE(further, (QList<uint> {e1, e3}));

    // A node without its element state chooses nothing.
    c->requestRemove(n0, c->elementStatesRoot());
    QCOMPARE(firstEdge(g, n0), 0u);
}

// An edge that can no longer take a voice when it is spawned (it went after the choice, or has
// no state) leaves the node's other chosen edges their voices.
void TestVoiceGroups::goneEdgeTakesNoOtherEdgesVoice()
{
    const QmdItemId a = addNode(0, 0, QStringLiteral("C3:100:0.1"));
    const QmdItemId b = addNode(P / 4, 0, QStringLiteral("E3:100:0.1"));
    const QmdItemId far = addNode(P, 0, QStringLiteral("G3:100:0.1"));
    addEdge(a, b);
    const QmdItemId longest = addEdge(a, far);
    set(a, K::SignallingMethod, int(QmdKelvo::Parallel));
    // The longest edge, chosen first, has lost its state.
    c->requestRemove(longest, c->elementStatesRoot());
    VoiceGroup* g = startGroup(a);
    QCOMPARE(firstEdge(g, a), uint(longest));
    c->sync()->setPlaying(true);
    g->continueIterating();
    QTRY_VERIFY_WITH_TIMEOUT(state(b, K::HitCount).toUInt() >= 1, 10000);
    c->sync()->setPlaying(false);
    QCOMPARE(state(far, K::HitCount).toUInt(), 0u);
}

void TestVoiceGroups::voicePool()
{
    const QmdItemId n0 = addNode(0, 0, QString());
    const QmdItemId e1 = addEdge(n0, addNode(P, 0, QString()));
    const QmdItemId e2 = addEdge(n0, addNode(2 * P, 0, QString()));
    VoiceGroup* g = startGroup(n0);
    QCOMPARE(g->freeVoiceCount(), 24);
    QCOMPARE(g->activeVoiceCount(), 0);
    QList<Voice*> taken;
    QSet<quint32> ids;
    while (Voice* v = g->takeFreeVoice()) {
        taken.append(v);
        ids.insert(v->id);
    }
    QCOMPARE(taken.size(), 24);
    QCOMPARE(*std::min_element(ids.begin(), ids.end()), 1u);
    QCOMPARE(*std::max_element(ids.begin(), ids.end()), 24u);

    // All voices in use: Sequential and Parallel choose nothing, Random still chooses.
    set(n0, K::ArcUsageList, QStringLiteral("%1=1,%2=1").arg(e1).arg(e2));
    QCOMPARE(firstEdge(g, n0), 0u);
    set(n0, K::SignallingMethod, int(QmdKelvo::Parallel));
    QCOMPARE(firstEdge(g, n0), 0u);
    set(n0, K::SignallingMethod, int(QmdKelvo::Random));
    QVERIFY(firstEdge(g, n0) != 0);

    // One voice free: the first spawn gets it, the next is refused and reported.
    g->deactivateVoice(taken.takeLast());
    c->feedbackPipe.clear();
    VoiceState s;
    s.arrival = 7 * P;
    QVERIFY(g->spawnVoice(s, e2));
    QVERIFY(!g->spawnVoice(s, e1));
    QVector<FeedbackMsg> feedback;
    c->feedbackPipe.tryReadIfReady(feedback, 10, ~0ULL);
    QCOMPARE(feedback.size(), 2);
    QCOMPARE(feedback.at(0).kind, quint32(FeedbackMsg::VoiceDeparted));
    QCOMPARE(feedback.at(1).kind, quint32(FeedbackMsg::VoicesExhausted));
    QCOMPARE(feedback.at(1).time, quint64(7 * P));
    for (Voice* v : std::as_const(taken))
        g->deactivateVoice(v);
}

void TestVoiceGroups::scaleSteps()
{
    const uint major = (1 << 0) | (1 << 2) | (1 << 4) | (1 << 5) | (1 << 7) | (1 << 9) | (1 << 11);
    const auto moved = [](int pitch, int steps, int direction, uint key, uint mask) {
        VoiceGroup::advancePitch(&pitch, steps, direction, key, mask);
        return pitch;
    };
    QCOMPARE(moved(64, 2, 1, 0, major), 67);
    QCOMPARE(moved(61, 0, 1, 0, major), 62);
    QCOMPARE(moved(61, 0, -1, 0, major), 60);
    QCOMPARE(moved(64, 2, 1, 0, 0), 66);
    QCOMPARE(moved(64, 2, 1, 0, 4095), 66);
    QCOMPARE(moved(57, 1, 1, 9, major), 59); // A major: A to B
    QCOMPARE(moved(60, 2000000000, 1, 0, major),
             60 + 18 * 12 + 4); // capped at 128 steps: 18 octaves and 2 steps
}

void TestVoiceGroups::notesWalk()
{
    const QmdItemId n0 = addNode(0, 0,
                                 QStringLiteral("C3:+10:50% +12:-200:*2 (E3 G3) [C3 E3] {C3 D3} "
                                                "C3::/4 C3::+0.5 C3::20000"));
    const QmdItemId e1 = addEdge(n0, addNode(2 * P, 0, QString()));
    VoiceGroup* g = startGroup(n0);
    const QmdIndex tree = c->index(n0, c->nodeNotesTreesRoot());
    VoiceState s;
    s.pitch = 120;
    s.velocity = 120;
    s.duration = quint64(P);
    const auto walk = [&](uint edge = 0) { return g->advanceNotesTree(tree, edge, s); };

    QList<VoiceState> notes = walk(e1);
    QCOMPARE(notes.size(), 1);
    QCOMPARE(int(notes[0].pitch), 60);
    QCOMPARE(int(notes[0].velocity), 127);
    QCOMPARE(notes[0].duration, quint64(P)); // half of a 2-principal edge
    notes = walk();
    QCOMPARE(int(notes[0].pitch), 127);
    QCOMPARE(int(notes[0].velocity), 0);
    QCOMPARE(notes[0].duration, quint64(2 * P));
    notes = walk();
    QCOMPARE(notes.size(), 1);
    QCOMPARE(int(notes[0].pitch), 64);
    notes = walk();
    QCOMPARE(notes.size(), 2);
    QCOMPARE(int(notes[1].pitch), 64);
    notes = walk();
    QCOMPARE(notes.size(), 1);
    QVERIFY(notes[0].pitch == 60 || notes[0].pitch == 62);
    QCOMPARE(walk()[0].duration, quint64(P / 4));
    QCOMPARE(walk()[0].duration, quint64(P + P / 2));
    QCOMPARE(walk()[0].duration, VoiceGroup::MaxDuration);
    // Round again: the first item, the nested sequence on to its second child.
    QCOMPARE(walk(e1)[0].duration, quint64(P));
    walk();
    QCOMPARE(int(walk()[0].pitch), 67);
    QCOMPARE(c->data(K::CurrentChildId, tree).toInt(), 3);

    // The start voice counts relative pitches from the scale's tonic.
    const QmdItemId vg = g->id();
    set(vg, K::InitialPitch, QStringLiteral("+2"));
    set(vg, K::InitialDuration, QStringLiteral("0.5"));
    g->reset();
    QCOMPARE(g->activeVoiceCount(), 1);
}

void TestVoiceGroups::controllerCurves()
{
    c->requestSetData(K::Tempo, 60u, QmdIndex());
    QTRY_COMPARE(c->sync()->tempo(), 60u);
    const QmdItemId n0 = addNode(0, 0, QString());
    const QmdItemId e1 = addEdge(n0, addNode(P, 0, QString()));
    c->requestAddControllerToEdge(c->elementIndex(e1), QmdKelvo::LinearCurve, 1, 33);
    const QmdIndex curves = c->index(K::ContinuousControllers, c->elementIndex(e1));
    const QmdIndex curve = c->index(c->idList(curves).first(), curves);
    c->requestSetData(K::CurvePoints, QVariant::fromValue(QPolygonF({{0, 0}, {1, 16383}})), curve);
    VoiceGroup* g = startGroup(n0);
    drain();
    VoiceState s;
    s.instrumentId = instrument;
    s.arrival = 100;
    QVERIFY(g->spawnVoice(s, e1));
    QList<InstrumentMsg> sent = drain();
    QCOMPARE(sent.size(), 82); // 40 samples 25 ms apart over one second, and the end value
    QCOMPARE(sent[0].time, quint64(100));
    QCOMPARE(int(sent[0].data1), 1);
    QCOMPARE(int(sent[0].data2), 0);
    QCOMPARE(int(sent[1].data1), 33);
    QCOMPARE(sent[2].time, quint64(100 + P / 40));
    QVERIFY(sent[40].data2 > sent[2].data2);
    QCOMPARE(sent[80].time, quint64(100 + P));
    QCOMPARE(int(sent[80].data2), 127);
    QCOMPARE(int(sent[81].data2), 127);

    // Pitch bend; and a Single curve sends one value at the departure.
    c->requestSetData(
        QHash<QString, QVariant> {{K::CurveType, int(QmdKelvo::SingleCurve)},
                                  {K::MsbCode, -2},
                                  {K::CurvePoints, QVariant::fromValue(QPolygonF({{0, 20000}}))}},
        curve);
    QVERIFY(g->spawnVoice(s, e1));
    sent = drain();
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent[0].kind, quint32(InstrumentMsg::PitchBend));
    QCOMPARE(int(sent[0].data1), 127); // clamped to the 14-bit range
}

// A curve's values as a painter path gives them: a path from the first point as stored through
// every further point with x stretched by 16383 squared (straight, or in cubic pieces that leave
// and enter their points level), read at each fraction i / count of its length.
static QList<int> pathValues(int type, const QPolygonF& points, int count)
{
    const double stretch = 268402689.0;
    QPainterPath path(points.first());
    for (qsizetype i = 1; i < points.size(); ++i) {
        const QPointF& previous = points.at(i - 1);
        const QPointF end(points.at(i).x() * stretch, points.at(i).y());
        if (type == QmdKelvo::CubicCurve) {
            const double middle
                = (previous.x() + (points.at(i).x() - previous.x()) * 0.5) * stretch;
            path.cubicTo(QPointF(middle, previous.y()), QPointF(middle, end.y()), end);
        } else {
            path.lineTo(end);
        }
    }
    QList<int> values;
    for (int i = 0; i < count; ++i)
        values.append(int(std::round(path.pointAtPercent(double(i) / count).y())));
    return values;
}

void TestVoiceGroups::curveSampling_data()
{
    QTest::addColumn<QPolygonF>("points");
    QTest::newRow("rise") << QPolygonF({{0, 0}, {1, 16383}});
    QTest::newRow("several") << QPolygonF(
        {{0, 100}, {0.25, 9000}, {0.5, 9000}, {0.75, 200}, {1, 16000}});
    QTest::newRow("late start, early end") << QPolygonF({{0.3, 5000}, {0.6, 12000}, {0.9, 1000}});
    QTest::newRow("back in time") << QPolygonF({{0, 0}, {0.5, 8000}, {0.4, 16000}, {0.8, 3000}});
    QTest::newRow("steps") << QPolygonF({{0, 0}, {0.5, 0}, {0.5, 16383}, {1, 16383}, {1, 40}});
    QTest::newRow("a point twice") << QPolygonF({{0, 10}, {0, 10}, {0.7, 20}, {1, 15000}});
    QTest::newRow("one point") << QPolygonF({{0.5, 300}});
    QTest::newRow("one place") << QPolygonF({{0, 300}, {0, 300}, {0, 300}});
    QTest::newRow("beyond the range") << QPolygonF({{-0.5, -400}, {2, 20000}});
}

// Samples match the painter path's reading of the curve, for every curve type and number of
// samples; ticks are spread evenly, and the last point's value comes at the arrival.
void TestVoiceGroups::curveSampling()
{
    QFETCH(QPolygonF, points);
    for (int type : {int(QmdKelvo::LinearCurve), int(QmdKelvo::CubicCurve), 7}) {
        for (int count : {1, 2, 7, 40, 333}) {
            const QList<VoiceGroup::CurveSample> samples
                = VoiceGroup::curveSamples(type, points, 1000, 1000 + 700 * 333, quint64(count));
            const QList<int> expected = pathValues(type, points, count);
            QCOMPARE(samples.size(), count + 1);
            for (int i = 0; i < count; ++i) {
                QCOMPARE(samples[i].tick, quint64(1000 + i * (700 * 333 / count)));
                QVERIFY2(std::abs(samples[i].value - expected[i]) <= 1,
                         qPrintable(QStringLiteral("type %1, %2 samples: sample %3 is %4, not %5")
                                        .arg(type)
                                        .arg(count)
                                        .arg(i)
                                        .arg(samples[i].value)
                                        .arg(expected[i])));
            }
            QCOMPARE(samples.last().tick, quint64(1000 + 700 * 333));
            QCOMPARE(samples.last().value, int(std::round(points.last().y())));
        }
    }
    // A Single curve: the first point's value at the departure, nothing more.
    const QList<VoiceGroup::CurveSample> single
        = VoiceGroup::curveSamples(QmdKelvo::SingleCurve, points, 1000, 5000, 40);
    QCOMPARE(single.size(), 1);
    QCOMPARE(single[0].tick, quint64(1000));
    QCOMPARE(single[0].value, int(std::round(points.first().y())));
}

void TestVoiceGroups::playback()
{
    // A plays, then B after a quarter principal, then A again through a wormhole.
    const QmdItemId a = addNode(0, 0, QStringLiteral("C3:100:0.1"));
    const QmdItemId b = addNode(P / 4, 0, QStringLiteral("E3:90:0.1"));
    addEdge(a, b);
    addEdge(b, a, true);
    set(a, K::UserMidiMessageList, QStringLiteral("B0 07 64,B0  07"));
    VoiceGroup* g = startGroup(a);
    AbstractSync* clock = c->sync();
    clock->setPlaying(true);
    const quint64 start = clock->ticksElapsed();
    g->continueIterating();
    QVERIFY(g->isIterating());
    QTRY_VERIFY_WITH_TIMEOUT(state(b, K::HitCount).toUInt() >= 4, 10000);
    clock->setPlaying(false);
    const quint64 stopped = clock->ticksElapsed();
    g->pauseIterating();
    QCOMPARE(c->data(K::LastNotesSent, c->index(b, c->elementStatesRoot())).toString(),
             QStringLiteral("E3:90"));

    const QList<InstrumentMsg> sent = drain();
    QList<quint64> ons;
    QHash<quint8, int> balance;
    QStringList raw;
    quint64 first = 0;
    for (const InstrumentMsg& m : sent) {
        if (m.kind == InstrumentMsg::NoteOn) {
            if (ons.isEmpty())
                first = m.time;
            ons.append(m.time);
            ++balance[m.data1];
            // Stamped with the exact arrival, never further ahead than one look-ahead.
            QCOMPARE((m.time - first) % quint64(P / 4), 0ull);
            QVERIFY(m.time <= stopped + clock->nanosToTicks(VoiceGroup::LookAheadNanos) + 1);
        } else if (m.kind == InstrumentMsg::NoteOff) {
            --balance[m.data1];
        } else if (m.kind == InstrumentMsg::Raw) {
            raw.append(
                QByteArray(reinterpret_cast<const char*>(m.bytes.data()), int(m.bytes.size()))
                    .toHex(' '));
        }
    }
    QVERIFY(first >= start);
    QVERIFY(ons.size() >= 8);
    QCOMPARE(balance.value(60), 0); // every note-on has its note-off
    QCOMPARE(balance.value(64), 0);
    QCOMPARE(raw.mid(0, 3), (QStringList {"b0 07 64", "b0 00 07", "b0 07 64"}));
    QCOMPARE(state(a, K::HitCount).toUInt(), uint(raw.size()));

    // Moving B while paused lengthens the travel that follows.
    set(b, K::TickPos, QVariant::fromValue(TickPoint {P / 2, 0}));
    clock->setPlaying(true);
    g->continueIterating();
    const uint hits = state(b, K::HitCount).toUInt();
    QTRY_VERIFY_WITH_TIMEOUT(state(b, K::HitCount).toUInt() >= hits + 2, 10000);
    clock->setPlaying(false);
    g->gotoStart();
    QList<quint64> later;
    for (const InstrumentMsg& m : drain())
        if (m.kind == InstrumentMsg::NoteOn && m.data1 == 64)
            later.append(m.time);
    QVERIFY(later.size() >= 2);
    QCOMPARE(later.last() - later.at(later.size() - 2), quint64(P / 2));
    QVERIFY(g->isIterating()); // go to start keeps an iterating group iterating
    g->deactivateAllVoicesAndPauseIterating();
    QCOMPARE(g->activeVoiceCount(), 0);
    QVERIFY(!g->isIterating());
}

void TestVoiceGroups::mutedGroup()
{
    const QmdItemId a = addNode(0, 0, QStringLiteral("C3:100:0.1"));
    VoiceGroup* g = startGroup(a);
    set(g->id(), K::DontPlayNote, true);
    c->sync()->setPlaying(true);
    g->continueIterating();
    // A node without out-edges ends the voice there (freed before its arrival is reported),
    // and the group pauses itself.
    QTRY_VERIFY_WITH_TIMEOUT(!g->isIterating(), 10000);
    QCOMPARE(state(a, K::HitCount).toUInt(), 1u);
    QCOMPARE(drain().size(), 0);
    QVector<FeedbackMsg> feedback;
    c->feedbackPipe.tryReadIfReady(feedback, 10, ~0ULL);
    QStringList kinds;
    for (const FeedbackMsg& m : feedback)
        kinds.append(QString::number(m.kind));
    QCOMPARE(kinds.join(' '), QStringLiteral("2 3 0 1"));
}

// Run-time values go to the document in requests that leave the document's generation as it
// was; every other change moves it on.
void TestVoiceGroups::runTimeWrites()
{
    const QmdItemId a = addNode(0, 0, QStringLiteral("C3"));
    const QmdIndex stateOfA = c->index(a, c->elementStatesRoot());
    const quint64 before = c->documentGeneration();
    const bool undoable = c->canUndo();
    QVERIFY(c->requestSetRunTimeData({{stateOfA, {{K::HitCount, 5u}}}, {QmdIndex(), {{"X", 1}}}})
            != 0);
    QCOMPARE(state(a, K::HitCount).toUInt(), 5u);
    QVERIFY(!c->index(QStringLiteral("X"), QmdIndex()).isValid()); // never the root
    QCOMPARE(c->canUndo(), undoable);
    QCOMPARE(c->documentGeneration(), before);
    set(a, K::TickPos, QVariant::fromValue(TickPoint {P, 0}));
    QVERIFY(c->documentGeneration() != before);
}

// Two voices that reach one node in the same step each take the node's next notes; the step
// writes what its arrivals changed in one request.
void TestVoiceGroups::arrivalsOfOneStep()
{
    const QmdItemId start = addNode(0, 0, QString());
    set(start, K::SignallingMethod, int(QmdKelvo::Parallel));
    const QmdItemId b = addNode(P, 0, QStringLiteral("C3 E3 G3"));
    addEdge(start, b, true);
    addEdge(start, b, true);
    VoiceGroup* g = startGroup(start);
    drain();
    QMutex mutex;
    QSet<QmdRequestId> requests; // made on other threads than this one
    QThread* testThread = QThread::currentThread();
    connect(
        model.data(), &QmdModel::requestFinished, this,
        [&](QmdRequestId rid) {
            if (QThread::currentThread() != testThread) {
                const QMutexLocker locker(&mutex);
                requests.insert(rid);
            }
        },
        Qt::DirectConnection);
    c->sync()->setPlaying(true);
    g->continueIterating();
    // The start voice leaves along both wormholes; both voices end at B.
    QTRY_VERIFY_WITH_TIMEOUT(!g->isIterating(), 10000);
    QCOMPARE(state(b, K::HitCount).toUInt(), 2u);
    QList<int> pitches;
    for (const InstrumentMsg& m : drain())
        if (m.kind == InstrumentMsg::NoteOn)
            pitches.append(m.data1);
    QCOMPARE(pitches, (QList<int> {60, 64}));
    QCOMPARE(c->data(K::CurrentChildId, c->index(b, c->nodeNotesTreesRoot())).toInt(), 2);
    const QMutexLocker locker(&mutex);
    // One step: the voices that the start node placed arrive at B within the same step, as
    // they arrive before the next.
    QCOMPARE(requests.size(), 1);
}

// Before the clock runs, a prepared group has handled, on the calling thread, what is due
// within the look-ahead of the clock's position: the start node has sounded and its note is
// queued at the start. Continued, the group places no start voice again, although its voices
// ended in that step.
void TestVoiceGroups::preparedStart()
{
    const QmdItemId a = addNode(0, 0, QStringLiteral("C3"));
    VoiceGroup* g = startGroup(a);
    drain();
    QVERIFY(!c->sync()->isPlaying());
    g->prepareStart();
    QVERIFY(!g->isIterating());
    QCOMPARE(state(a, K::HitCount).toUInt(), 1u);
    QList<quint64> ons;
    for (const InstrumentMsg& m : drain())
        if (m.kind == InstrumentMsg::NoteOn)
            ons.append(m.time);
    QCOMPARE(ons, (QList<quint64> {0}));

    // A sends nowhere: the voice ended there, and the group has nothing more to play.
    c->sync()->setPlaying(true);
    g->continueIterating();
    QVERIFY(!g->isIterating());
    QCOMPARE(g->activeVoiceCount(), 0);
    QCOMPARE(state(a, K::HitCount).toUInt(), 1u);
}

// While the document stays as it is, a step whose voices are all under way takes no lock of
// the document: the group plays on while another thread holds it.
void TestVoiceGroups::stepsWithoutTheModelLock()
{
    const QmdItemId a = addNode(0, 0, QStringLiteral("C3"));
    addEdge(a, addNode(100 * P, 0, QStringLiteral("C3")));
    VoiceGroup* g = startGroup(a);
    c->sync()->setPlaying(true);
    g->continueIterating();
    QTRY_COMPARE_WITH_TIMEOUT(state(a, K::HitCount).toUInt(), 1u, 10000);
    deliverRelays();
    const quint64 before = g->stepsDone();
    const bool stepped = c->lockedRead([&] {
        QElapsedTimer waited;
        waited.start();
        while (g->stepsDone() < before + 5 && waited.elapsed() < 10000)
            QThread::msleep(5);
        return g->stepsDone() >= before + 5;
    });
    QVERIFY(stepped);
    g->deactivateAllVoicesAndPauseIterating();
}

// What a playing group has read of the document gives way to the document's changes: new
// notes at a node, a node moved, an edge removed.
void TestVoiceGroups::changesReachAPlayingGroup()
{
    const QmdItemId a = addNode(0, 0, QStringLiteral("C3"));
    const QmdItemId b = addNode(P / 4, 0, QStringLiteral("E3"));
    const QmdItemId ab = addEdge(a, b);
    addEdge(b, a, true);
    VoiceGroup* g = startGroup(a);
    c->sync()->setPlaying(true);
    g->continueIterating();
    QTRY_VERIFY_WITH_TIMEOUT(state(b, K::HitCount).toUInt() >= 2, 10000);
    QCOMPARE(state(b, K::LastNotesSent).toString(), QStringLiteral("E3:96"));
    set(b, K::Notes, QStringLiteral("G3"));
    QTRY_COMPARE_WITH_TIMEOUT(state(b, K::LastNotesSent).toString(), QStringLiteral("G3:96"),
                              10000);

    // B twice as far: the notes at B come half as often as those at A's.
    set(b, K::TickPos, QVariant::fromValue(TickPoint {P / 2, 0}));
    uint hits = state(b, K::HitCount).toUInt();
    QTRY_VERIFY_WITH_TIMEOUT(state(b, K::HitCount).toUInt() >= hits + 3, 10000);
    c->sync()->setPlaying(false);
    g->pauseIterating();
    QList<quint64> atB;
    for (const InstrumentMsg& m : drain())
        if (m.kind == InstrumentMsg::NoteOn && m.data1 == 67)
            atB.append(m.time);
    QVERIFY(atB.size() >= 3);
    QCOMPARE(atB.last() - atB.at(atB.size() - 2), quint64(P / 2));

    // The edge gone: the voice that travelled it ends, and the group with it.
    c->requestRemove(ab, c->elementsRoot());
    c->sync()->setPlaying(true);
    g->continueIterating();
    QTRY_VERIFY_WITH_TIMEOUT(!g->isIterating(), 10000);
    QCOMPARE(g->activeVoiceCount(), 0);
}

QTEST_GUILESS_MAIN(TestVoiceGroups)
#include "tst_voicegroups.moc"
