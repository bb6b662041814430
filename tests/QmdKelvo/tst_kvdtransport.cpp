#include "AbstractSync.h"
#include "MidiInput.h"
#include "MidiInstrument.h"
#include "ModelSignalRecorder.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"
#include "VoiceGroup.h"

#include <QtTest>

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

private:
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
    // A and B, a quarter principal apart, joined both ways.
    QmdItemId other = 0;
    c->requestAddNode(TickPoint {qint64(P / 4), 0}, QmdKelvo::NoCreationFlags,
                      QmdRequestOptions(QString()), &other);
    c->requestAddEdge(c->elementIndex(node), c->elementIndex(other));
    c->requestAddEdge(c->elementIndex(other), c->elementIndex(node));
    const QmdItemId free = addGroup(QString());
    const QmdItemId triggered = addGroup(QStringLiteral("C3"));
    c->requestPlay();
    QVERIFY(c->isVoiceGroupIterating(free));
    QVERIFY(!c->isVoiceGroupIterating(triggered));
    const QmdIndex state = c->index(node, c->elementStatesRoot());
    QTRY_VERIFY_WITH_TIMEOUT(c->data(K::HitCount, state).toUInt() >= 3, 10000);

    const QString undoText = c->undoText();
    QSignalSpy jogged(c.data(), &QmdKelvoController::playbackJogged);
    QCOMPARE(c->requestGotoStart(), QmdKelvoController::NoRequestId);
    QCOMPARE(jogged.size(), 1);
    QVERIFY(c->sync()->isPlaying());
    QVERIFY(c->isVoiceGroupIterating(free));
    QCOMPARE(c->undoText(), undoText);
    // Counters start again from nothing; the group plays on from the start.
    QVERIFY(c->data(K::HitCount, state).toUInt() <= 1);
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

QTEST_GUILESS_MAIN(TestKvdTransport)
#include "tst_kvdtransport.moc"
