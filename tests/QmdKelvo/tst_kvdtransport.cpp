#include "AbstractSync.h"
#include "MidiInput.h"
#include "MidiInstrument.h"
#include "ModelSignalRecorder.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"
#include "TestSync.h"
#include "VoiceGroup.h"

#include <QtTest>

#include <mutex>
#include <thread>

namespace K = QmdKelvoKeys;
using QmdKelvo::TickPoint;

static constexpr quint64 P = 665280;

class TestKvdTransport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void playbackAndSwitches();
    void primingAndGotoStart();
    void startQuantization_data();
    void startQuantization();
    void midiTrigger();
    void playsAgainstATestClock();
    void gotoStartWaitsForAStepInProgress();
    void gotoStartForgetsTheDisplayFeedback();
    void stoppedOrDeletedGroupDropsItsQueuedNotes();

private:
    // Makes the document play against a clock the test drives, at 60 beats per minute (a
    // voice group then looks ahead 0.08 principals, one per second of its look-ahead); the
    // instruments stay paused.
    TestSync* useTestClock();
    QmdItemId addNode(qint64 x, const QString& notes);
    void addEdge(QmdItemId from, QmdItemId to);
    // Starts a group on `start` that plays the document's instrument.
    QmdItemId startGroup(QmdItemId start);
    uint hitCount(QmdItemId node) const
    {
        return c->data(K::HitCount, c->index(node, c->elementStatesRoot())).toUInt();
    }
    MidiInstrument* instrument() const { return c->instrumentsCopy().begin().value(); }
    // Takes every message queued for the instrument.
    QList<InstrumentMsg> drain(quint64 upTo = ~0ULL);
    QmdItemId addGroup(const QString& triggerPitches);
    QmdRequestId trigger(uchar status, uchar pitch, uchar velocity, quint64 ms, int timeout = 200);
    QVariant get(QmdItemId element, const QString& key) const
    {
        return c->data(key, c->elementIndex(element));
    }

    QScopedPointer<QmdMemModel> model;
    QScopedPointer<QmdKelvoController> c;
    QmdItemId node = 0;
};

void TestKvdTransport::init()
{
    model.reset(new QmdMemModel);
    c.reset(new QmdKelvoController);
    c->setModel(model.data());
    c->requestSetData(K::Tempo, 999u, QmdIndex());
    c->requestAddInstrument();
    c->requestAddNode(TickPoint {0, 0}, QmdKelvo::NoCreationFlags, QmdRequestOptions(QString()),
                      &node);
    deliverRelays();
}

void TestKvdTransport::cleanup()
{
    c.reset();
    model.reset();
}

QmdItemId TestKvdTransport::addGroup(const QString& triggerPitches)
{
    c->requestAddVoiceGroup(c->elementIndex(node));
    const QmdItemId id = c->elements().last();
    c->requestSetData(K::TriggeringMidiPitchList, triggerPitches, c->elementIndex(id));
    deliverRelays();
    return c->voiceGroupsCopy().contains(id) ? id : 0;
}

QmdRequestId TestKvdTransport::trigger(uchar status, uchar pitch, uchar velocity, quint64 ms,
                                       int timeout)
{
    MidiInputMessage msg;
    msg.bytes = {status, pitch, velocity};
    msg.hostTimeNs = ms * 1000000ULL;
    return c->requestMidiTriggerVoiceGroups(msg, timeout);
}

void TestKvdTransport::playbackAndSwitches()
{
    QSignalSpy state(c.data(), &QmdKelvoController::playbackStateChanged);
    QCOMPARE(c->requestTogglePlayback(), QmdKelvoController::NoRequestId);
    QVERIFY(c->sync()->isPlaying());
    QCOMPARE(c->requestTogglePlayback(), QmdKelvoController::NoRequestId);
    QVERIFY(!c->sync()->isPlaying());
    QCOMPARE(state.size(), 2);
    QCOMPARE(state.at(0).at(0).toBool(), true);
    QCOMPARE(state.at(1).at(0).toBool(), false);

    // The switches flip document keys without leaving an undo step.
    const QString undoText = c->undoText();
    const QList<QPair<QString, QmdRequestId (QmdKelvoController::*)()>> switches
        = {{K::ShowGrid, &QmdKelvoController::requestToggleShowGrid},
           {K::SnapToGrid, &QmdKelvoController::requestToggleSnapToGrid},
           {K::ShowNodeCounters, &QmdKelvoController::requestToggleShowNodeCounters},
           {K::ShowNodeLastNotesSent, &QmdKelvoController::requestToggleShowNodeLastNotesSent},
           {K::ShowEdgeSignalling, &QmdKelvoController::requestToggleShowEdgeSignalling},
           {K::MidiTriggeringEnabled, &QmdKelvoController::requestToggleMidiTriggering}};
    for (const auto& [key, toggle] : switches) {
        const bool before = c->data(key, QmdIndex()).toBool();
        QVERIFY((c.data()->*toggle)() != 0);
        QCOMPARE(c->data(key, QmdIndex()).toBool(), !before);
        (c.data()->*toggle)();
        QCOMPARE(c->data(key, QmdIndex()).toBool(), before);
    }
    QCOMPARE(c->undoText(), undoText);

    QCOMPARE(c->requestShuffleNodeNotes({node}), QmdRequestId(0));
    QVERIFY(!c->isVoiceGroupIterating(node));
    // With the clock stopped nothing starts or stops.
    const QmdItemId group = addGroup(QString());
    QCOMPARE(c->requestStartVoiceGroups({group}), QmdRequestId(0));
    QCOMPARE(c->requestStopVoiceGroups({group}), QmdRequestId(0));
    QVERIFY(!c->isVoiceGroupIterating(group));
}

void TestKvdTransport::primingAndGotoStart()
{
    // A and B, a principal apart (60 ms, more than half the look-ahead), joined both ways.
    QmdItemId other = 0;
    c->requestAddNode(TickPoint {qint64(P), 0}, QmdKelvo::NoCreationFlags,
                      QmdRequestOptions(QString()), &other);
    c->requestAddEdge(c->elementIndex(node), c->elementIndex(other));
    c->requestAddEdge(c->elementIndex(other), c->elementIndex(node));
    const QmdItemId free = addGroup(QString());
    const QmdItemId triggered = addGroup(QStringLiteral("C3"));
    c->requestPlay();
    QVERIFY(c->isVoiceGroupIterating(free));
    QVERIFY(!c->isVoiceGroupIterating(triggered));
    const QmdIndex state = c->index(node, c->elementStatesRoot());
    // The start is handled before the clock runs, so before the request returns.
    QVERIFY(c->data(K::HitCount, state).toUInt() >= 1);
    QTRY_VERIFY_WITH_TIMEOUT(c->data(K::HitCount, state).toUInt() >= 3, 10000);

    const QString undoText = c->undoText();
    QSignalSpy jogged(c.data(), &QmdKelvoController::playbackJogged);
    QCOMPARE(c->requestGotoStart(), QmdKelvoController::NoRequestId);
    QCOMPARE(jogged.size(), 1);
    QVERIFY(c->sync()->isPlaying());
    QVERIFY(c->isVoiceGroupIterating(free));
    QCOMPARE(c->undoText(), undoText);
    // Counters start again from nothing; the group plays on from the start, which it has
    // handled before the clock runs again.
    QVERIFY(c->data(K::HitCount, state).toUInt() == 1);
    QVERIFY(c->sync()->ticksElapsed() < 10 * P);

    c->requestPause();
    QVERIFY(!c->isVoiceGroupIterating(free));
    QVERIFY(!c->sync()->isPlaying());
}

void TestKvdTransport::startQuantization_data()
{
    QTest::addColumn<int>("quantization");
    QTest::addColumn<uint>("divs");
    QTest::newRow("none") << 0 << 4u;
    QTest::newRow("division") << 1 << 4u;
    QTest::newRow("division of a document with 0 divisions") << 1 << 0u;
    QTest::newRow("principal") << 2 << 4u;
    QTest::newRow("beat") << 3 << 4u;
    QTest::newRow("unknown") << 7 << 4u;
}

void TestKvdTransport::startQuantization()
{
    QFETCH(int, quantization);
    QFETCH(uint, divs);
    c->requestSetData(K::DivsPerPrincipal, divs, QmdIndex());
    // A voice that travels on keeps the group iterating, however soon its start comes.
    const QmdItemId other = addNode(P, QString());
    addEdge(node, other);
    addEdge(other, node);
    const QmdItemId group = addGroup(QString());
    c->requestSetData(K::TriggeringQuantization, quantization, c->elementIndex(group));
    // The clock alone: the instrument stays paused and keeps what the group sends.
    AbstractSync* clock = c->sync();
    clock->setPlaying(true);
    QTest::qWait(90); // inside the second principal at 999 beats per minute
    const quint64 before = clock->ticksElapsed();
    QVERIFY(c->requestStartVoiceGroups({group}) != 0);
    const quint64 after = clock->ticksElapsed();
    QVERIFY(c->isVoiceGroupIterating(group));

    MidiInstrument* instrument = c->instrumentsCopy().begin().value();
    quint64 start = ~0ULL;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            QVector<InstrumentMsg> sent;
            instrument->pipe.tryReadIfReady(sent, 1000, ~0ULL);
            for (const InstrumentMsg& m : sent)
                if (m.kind == InstrumentMsg::NoteOn)
                    start = qMin(start, m.time);
            return start != ~0ULL;
        }(),
        5000);
    clock->setPlaying(false);
    const quint64 division = divs == 0 ? P : P / divs;
    switch (quantization) {
    case 0:
        QVERIFY(start >= before && start <= after);
        break;
    case 1:
        QCOMPARE(start % division, 0ULL);
        QVERIFY(start > before && start <= after + division);
        break;
    case 2:
    case 3: // principals and beats in the ratio 1/1
        QCOMPARE(start % P, 0ULL);
        QVERIFY(start > before && start <= after + P);
        break;
    default:
        QCOMPARE(start, 0ULL);
    }
}

void TestKvdTransport::midiTrigger()
{
    // A started group's voice travels an edge of 1,000 principals: the group plays for
    // minutes, not only until a lone node's voice has ended, however slow the machine.
    addEdge(node, addNode(qint64(1000 * P), QString()));
    const QmdItemId group = addGroup(QStringLiteral("C3,E3"));
    const QmdItemId blanks = addGroup(QStringLiteral("C3, E3"));
    c->requestPlay();
    QVERIFY(!c->isVoiceGroupIterating(group));
    QCOMPARE(trigger(0x90, 60, 100, 1000), QmdRequestId(0)); // triggering is off
    c->requestToggleMidiTriggering();

    QVERIFY(trigger(0x90, 60, 64, 1000) != 0);
    QVERIFY(c->isVoiceGroupIterating(group));
    QVERIFY(c->isVoiceGroupIterating(blanks));
    // Only notes trigger: aftertouch, controllers, programs, pressure, bend and system
    // messages of the same bytes do nothing.
    for (uchar status : {0xA0, 0xB0, 0xC0, 0xD0, 0xE0, 0xF2})
        QCOMPARE(trigger(status, 60, 100, 1050), QmdRequestId(0));
    QVERIFY(c->isVoiceGroupIterating(group));
    // A release within the time-out leaves the group running (toggle)...
    QCOMPARE(trigger(0x80, 60, 0, 1100), QmdRequestId(0));
    QVERIFY(c->isVoiceGroupIterating(group));
    // ... a second press stops it.
    QVERIFY(trigger(0x91, 60, 100, 2000) != 0);
    QVERIFY(!c->isVoiceGroupIterating(group));
    // A release held longer than the time-out stops it (momentary); so does a note-on of
    // velocity 0.
    trigger(0x90, 64, 100, 3000);
    QVERIFY(c->isVoiceGroupIterating(group));
    QVERIFY(!c->isVoiceGroupIterating(blanks)); // " E3" is not E3
    QVERIFY(trigger(0x80, 64, 0, 3500) != 0);
    QVERIFY(!c->isVoiceGroupIterating(group));
    trigger(0x90, 64, 100, 4000);
    QVERIFY(trigger(0x90, 64, 0, 4300) != 0);
    QVERIFY(!c->isVoiceGroupIterating(group));
    // A long time-out ignores releases up to its end.
    trigger(0x90, 60, 100, 10000, 10000);
    QCOMPARE(trigger(0x80, 60, 0, 19000, 10000), QmdRequestId(0));
    QVERIFY(c->isVoiceGroupIterating(group));

    c->requestPause();
    QCOMPARE(trigger(0x90, 60, 100, 30000), QmdRequestId(0));
}

TestSync* TestKvdTransport::useTestClock()
{
    TestSync::registerType();
    c->requestSetData(K::SyncType, TestSync::staticTypeId(), QmdIndex());
    deliverRelays();
    auto* clock = qobject_cast<TestSync*>(c->sync());
    if (!clock)
        return nullptr;
    c->requestSetData(K::Tempo, 60u, QmdIndex());
    c->requestSetData(K::Notes, QStringLiteral("C3:100:0.1"), c->elementIndex(node));
    deliverRelays();
    return clock;
}

QmdItemId TestKvdTransport::addNode(qint64 x, const QString& notes)
{
    QmdItemId id = 0;
    c->requestAddNode(TickPoint {x, 0}, QmdKelvo::NoCreationFlags, QmdRequestOptions(QString()),
                      &id);
    c->requestSetData(K::Notes, notes, c->elementIndex(id));
    deliverRelays();
    return id;
}

void TestKvdTransport::addEdge(QmdItemId from, QmdItemId to)
{
    c->requestAddEdge(c->elementIndex(from), c->elementIndex(to));
}

QmdItemId TestKvdTransport::startGroup(QmdItemId start)
{
    c->requestAddVoiceGroup(c->elementIndex(start));
    const QmdItemId id = c->elements().last();
    c->requestSetData(K::InitialInstrument, uint(c->instruments().first()), c->elementIndex(id));
    deliverRelays();
    VoiceGroup* group = c->voiceGroupsCopy().value(id);
    if (group)
        group->continueIterating();
    return group ? id : 0;
}

QList<InstrumentMsg> TestKvdTransport::drain(quint64 upTo)
{
    QVector<InstrumentMsg> taken;
    instrument()->pipe.tryReadIfReady(taken, 1000, upTo);
    return taken.toList();
}

// The document's clock is one of the registered type, and voices move only as the test moves
// it.
void TestKvdTransport::playsAgainstATestClock()
{
    TestSync* clock = useTestClock();
    QVERIFY(clock);
    QCOMPARE(c->data(K::SyncType, QmdIndex()).toString(), QStringLiteral("test"));
    const QmdItemId other = addNode(P / 4, QStringLiteral("E3:100:0.1"));
    addEdge(node, other);
    clock->setPlaying(true);
    QVERIFY(startGroup(node));
    QTRY_COMPARE(hitCount(node), 1u);
    QTest::qWait(100);
    QCOMPARE(hitCount(other), 0u);
    clock->setTicksElapsed(P / 4);
    QTRY_COMPARE(hitCount(other), 1u);
    const QList<InstrumentMsg> queued = drain();
    QCOMPARE(queued.size(), 4);
    QCOMPARE(queued.at(0).time, 0ULL);
    QCOMPARE(queued.at(2).time, quint64(P / 4));
}

// A step already under way when the transport goes back to the start ends before anything is
// reset: nothing it writes reaches the restarted piece.
void TestKvdTransport::gotoStartWaitsForAStepInProgress()
{
    TestSync* clock = useTestClock();
    QVERIFY(clock);
    const QmdItemId other = addNode(P / 4, QStringLiteral("E3:100:0.1"));
    addEdge(node, other);
    addEdge(other, node);
    clock->setPlaying(true);
    const QmdItemId group = startGroup(node);
    QTRY_COMPARE(hitCount(node), 1u);
    {
        // The step that reaches the second node waits for the document's voice-step mutex
        // while the transport goes back.
        std::unique_lock<std::mutex> step(c->voiceStepMutex);
        clock->setTicksElapsed(P / 4);
        QThread::msleep(50);
        std::thread jog([this] { c->requestGotoStart(); });
        QThread::msleep(50);
        step.unlock();
        jog.join();
    }
    QVERIFY(clock->isPlaying());
    QCOMPARE(clock->ticksElapsed(), 0ULL);
    QCOMPARE(hitCount(other), 0u);
    QVERIFY(c->isVoiceGroupIterating(group));
    // The group plays again from the start: the first node at tick 0, nothing later queued.
    QTRY_COMPARE(hitCount(node), 1u);
    QTest::qWait(50);
    for (const InstrumentMsg& m : drain())
        QVERIFY2(m.time < quint64(P / 4), qPrintable(QString::number(m.time)));
}

// Messages for the display that the groups wrote ahead of the old position are gone once the
// transport is back at the start.
void TestKvdTransport::gotoStartForgetsTheDisplayFeedback()
{
    TestSync* clock = useTestClock();
    QVERIFY(clock);
    c->requestSetData(K::Notes, QStringLiteral("C3:100:4"), c->elementIndex(node));
    const QmdItemId other = addNode(P / 4, QStringLiteral("E3:100:4"));
    addEdge(node, other);
    addEdge(other, node);
    clock->setPlaying(true);
    startGroup(node);
    for (int quarter = 1; quarter <= 12; ++quarter) {
        clock->setTicksElapsed(quarter * P / 4);
        QTRY_COMPARE(hitCount(quarter % 2 ? other : node), uint(quarter / 2 + 1));
    }
    QVERIFY(c->feedbackPipe.size() > 0);

    c->requestGotoStart();
    QTRY_COMPARE(hitCount(node), 1u);
    QTest::qWait(50);
    // What the restarted group reports: its notes at 0 end at 4 principals.
    QVector<FeedbackMsg> feedback;
    c->feedbackPipe.tryReadIfReady(feedback, 1000, ~0ULL);
    for (const FeedbackMsg& m : std::as_const(feedback))
        QVERIFY2(m.time <= quint64(4 * P), qPrintable(QString::number(m.time)));
}

// A group that stops or goes takes back the notes it queued ahead; the notes of it already
// sounding end at once. Other groups' notes stay.
void TestKvdTransport::stoppedOrDeletedGroupDropsItsQueuedNotes()
{
    TestSync* clock = useTestClock();
    QVERIFY(clock);
    c->requestSetData(K::Notes, QStringLiteral("C3:100:1"), c->elementIndex(node));
    // Three eighths of the look-ahead apart: the groups reach three nodes within it.
    const qint64 apart = qint64(P * VoiceGroup::LookAheadNanos / 1000000000 * 3 / 8);
    const QmdItemId other = addNode(apart, QStringLiteral("E3:100:1"));
    addEdge(node, other);
    addEdge(other, node);
    clock->setPlaying(true);
    const QmdItemId stopped = startGroup(node);
    const QmdItemId deleted = startGroup(node);
    QTRY_COMPARE(instrument()->pipe.size(), 12);
    QTest::qWait(50);
    QCOMPARE(instrument()->pipe.size(), 12);
    // The note-ons at tick 0 leave, as the output thread would take them.
    const QList<InstrumentMsg> sent = drain(0);
    QCOMPARE(sent.size(), 2);
    for (const InstrumentMsg& m : sent)
        QCOMPARE(m.kind, quint32(InstrumentMsg::NoteOn));

    // The stopped group's four later messages go, and its sounding note's note-off is due
    // at once; the other group's five stay.
    QVERIFY(c->requestStopVoiceGroups({stopped}) != 0);
    QCOMPARE(instrument()->pipe.size(), 6);
    c->requestRemove(deleted, c->elementsRoot(), QmdRequestOptions(QStringLiteral("Remove")));
    deliverRelays();
    QVERIFY(!c->voiceGroupsCopy().contains(deleted));
    const QList<InstrumentMsg> left = drain(clock->ticksElapsed());
    QCOMPARE(instrument()->pipe.size(), 0);
    QCOMPARE(left.size(), 2);
    QCOMPARE(left.at(0).source, quint32(stopped));
    QCOMPARE(left.at(1).source, quint32(deleted));
    for (const InstrumentMsg& m : left) {
        QCOMPARE(m.kind, quint32(InstrumentMsg::NoteOff));
        QCOMPARE(m.data1, quint8(60));
    }
}

QTEST_GUILESS_MAIN(TestKvdTransport)
#include "tst_kvdtransport.moc"
