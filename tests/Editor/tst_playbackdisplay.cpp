#include "ElementItem.h"
#include "FeedbackMsg.h"
#include "GraphicsNodeItem.h"
#include "GraphicsVoiceGroupItem.h"
#include "QmdKelvoUnits.h"
#include "TestSync.h"
#include "ViewWindow.h"

#include <QTest>

namespace K = QmdKelvoKeys;

namespace {

constexpr qint64 P = QmdKelvo::TicksPerPrincipal;

// A document window playing against the test clock, at a tick the test chooses, with nodes, a
// voice group and an instrument whose colour the nodes light in.
struct Playing : ViewWindow
{
    Playing()
    {
        controller()->requestSetData(K::SyncType, TestSync::staticTypeId(), QmdIndex());
        settle();
        clock = qobject_cast<TestSync*>(controller()->sync());
        // The voice groups are never told to play: what the display shows comes from the
        // test alone.
        if (clock) {
            clock->setPlaying(true);
            clock->setTicksElapsed(10 * P);
        }
        const QmdItemIdList before = controller()->instruments();
        controller()->requestAddInstrument(QStringLiteral("Test"), InstrumentColor,
                                           QBitArray(16, true));
        for (const QmdItemId id : controller()->instruments()) {
            if (!before.contains(id))
                instrument = id;
        }
        for (int i = 0; i < 3; ++i)
            nodes.append(addNode(i * P, 0));
        group = addVoiceGroup(nodes.first());
        settle();
        scene->setMillisecondClock([this] { return msec; });
    }

    GraphicsNodeItem* node(int i) const
    {
        return static_cast<GraphicsNodeItem*>(scene->elementItem(nodes.at(i))->graphicsItem());
    }
    GraphicsVoiceGroupItem* groupItem() const
    {
        return static_cast<GraphicsVoiceGroupItem*>(scene->elementItem(group)->graphicsItem());
    }

    // A message due now (or `time`), written to the feedback pipe.
    void write(quint32 kind, quint32 voice, int nodeIndex = -1, quint8 velocity = 100,
               quint64 duration = P, qint64 time = -1)
    {
        FeedbackMsg msg;
        msg.kind = kind;
        msg.time = time < 0 ? clock->ticksElapsed() : quint64(time);
        msg.voiceGroupId = group;
        msg.voiceId = voice;
        msg.nodeId = nodeIndex >= 0 ? nodes.at(nodeIndex) : 0;
        msg.instrumentId = instrument;
        msg.pitch = 60;
        msg.velocity = velocity;
        msg.duration = duration;
        QVERIFY(controller()->feedbackPipe.tryWrite(msg));
    }
    void sound(quint32 voice, int nodeIndex, quint8 velocity = 100, quint64 duration = P)
    {
        write(FeedbackMsg::NoteSounded, voice, nodeIndex, velocity, duration);
    }
    void tick() { scene->checkFeedbackPipe(); }

    static inline const QColor InstrumentColor = QColor::fromHsvF(0.25f, 1.0f, 0.8f, 0.5f);
    TestSync* clock = nullptr;
    QmdItemId instrument = 0;
    QmdItemIdList nodes;
    QmdItemId group = 0;
    qint64 msec = 0;
};

} // namespace

class TestPlaybackDisplay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        ViewWindow::initTickGeometryAt72();
        TestSync::registerType();
    }

    // ---- Nodes --------------------------------------------------------------------------

    void voicesLightTheirNodesInTheInstrumentColour()
    {
        Playing p;
        QVERIFY(p.clock);
        p.sound(1, 0, 64);
        p.sound(2, 0, 127);
        p.sound(1, 1, 0);
        // Not due yet: it waits in the pipe.
        p.write(FeedbackMsg::NoteSounded, 1, 2, 100, P, 11 * P);
        p.tick();

        QCOMPARE(p.node(0)->segmentCount(), 2);
        QCOMPARE(p.node(1)->segmentCount(), 1);
        QCOMPARE(p.node(2)->segmentCount(), 0);
        QCOMPARE(p.scene->litNodeItems(), (QSet<GraphicsNodeItem*> {p.node(0), p.node(1)}));
        QCOMPARE(p.controller()->feedbackPipe.size(), 1);

        // Hue and value are the instrument's; the velocity sets the saturation from 0.3 to 1.0
        // and the alpha is 60 % of the instrument's.
        const QColor soft = p.node(0)->voiceGroupColor(p.group, 1);
        QCOMPARE_LE(qAbs(soft.hueF() - Playing::InstrumentColor.hueF()), 1e-3);
        QCOMPARE_LE(qAbs(soft.valueF() - Playing::InstrumentColor.valueF()), 1e-3);
        QCOMPARE_LE(qAbs(soft.saturationF() - 0.6528), 1e-3);
        QCOMPARE_LE(qAbs(soft.alphaF() - 0.3), 1e-3);
        QCOMPARE_LE(qAbs(p.node(0)->voiceGroupColor(p.group, 2).saturationF() - 1.0), 1e-3);
        QCOMPARE_LE(qAbs(p.node(1)->voiceGroupColor(p.group, 1).saturationF() - 0.3), 1e-3);

        // The instrument's new colour shows from the next note on.
        p.controller()->requestSetData(K::Color, QColor(Qt::blue),
                                       p.controller()->instrumentIndex(p.instrument));
        p.sound(3, 0, 127);
        p.tick();
        QCOMPARE(p.node(0)->voiceGroupColor(p.group, 3).rgb(), QColor(Qt::blue).rgb());
    }

    void noteEndedTakesTheColourAway()
    {
        Playing p;
        p.sound(1, 0);
        p.sound(2, 0);
        p.sound(1, 1);
        p.tick();
        p.write(FeedbackMsg::NoteEnded, 1, 1);
        p.write(FeedbackMsg::NoteEnded, 2, 0);
        p.tick();
        QCOMPARE(p.node(1)->segmentCount(), 0);
        QCOMPARE(p.node(0)->segmentCount(), 1);
        QCOMPARE(p.scene->litNodeItems(), (QSet<GraphicsNodeItem*> {p.node(0)}));
        p.write(FeedbackMsg::NoteEnded, 1, 0);
        p.tick();
        QVERIFY(p.scene->litNodeItems().isEmpty());
    }

    void everyDueMessageIsTakenInOneTick()
    {
        Playing p;
        for (quint32 voice = 1; voice <= 100; ++voice)
            p.sound(voice, int(voice % 3));
        p.tick();
        QCOMPARE(p.controller()->feedbackPipe.size(), 0);
        QCOMPARE(p.node(0)->segmentCount() + p.node(1)->segmentCount() + p.node(2)->segmentCount(),
                 100);

        // Reads that outlast the budget leave the rest for the next ticks.
        for (quint32 voice = 101; voice <= 200; ++voice)
            p.sound(voice, int(voice % 3));
        p.scene->setMillisecondClock([&p] { return p.msec += NetworkScene::FeedbackBudgetMs; });
        p.tick();
        QCOMPARE(p.controller()->feedbackPipe.size(), 100 - NetworkScene::FeedbackReadSize);
        p.tick();
        QCOMPARE(p.controller()->feedbackPipe.size(), 100 - 2 * NetworkScene::FeedbackReadSize);
    }

    void colourWithoutNoteEndedGoesWhenTheNoteHasEnded()
    {
        Playing p;
        const quint64 start = p.clock->ticksElapsed();
        p.sound(1, 0, 100, P);
        // A note too short to see stays 100 ms (at 120 beats a minute, a fifth of a beat).
        p.sound(2, 1, 100, 0);
        p.tick();
        const quint64 shortest = p.clock->nanosToTicks(100'000'000);
        QVERIFY(shortest > 0 && shortest < quint64(P));

        p.clock->setTicksElapsed(start + shortest - 1);
        p.tick();
        QCOMPARE(p.node(1)->segmentCount(), 1);
        p.clock->setTicksElapsed(start + shortest);
        p.tick();
        QCOMPARE(p.node(1)->segmentCount(), 0);
        QCOMPARE(p.node(0)->segmentCount(), 1);

        p.clock->setTicksElapsed(start + P - 1);
        p.tick();
        QCOMPARE(p.node(0)->segmentCount(), 1);
        p.clock->setTicksElapsed(start + P);
        p.tick();
        QCOMPARE(p.node(0)->segmentCount(), 0);
        QVERIFY(p.scene->litNodeItems().isEmpty());
    }

    void laterNoteOfTheSameVoiceKeepsItsOwnEnd()
    {
        Playing p;
        const quint64 start = p.clock->ticksElapsed();
        p.sound(1, 0, 100, P / 2);
        p.tick();
        p.clock->setTicksElapsed(start + P / 4);
        p.sound(1, 0, 100, P);
        p.tick();
        // The first note's end has passed; the second sounds on.
        p.clock->setTicksElapsed(start + P);
        p.tick();
        QCOMPARE(p.node(0)->segmentCount(), 1);
        p.clock->setTicksElapsed(start + P / 4 + P);
        p.tick();
        QCOMPARE(p.node(0)->segmentCount(), 0);
    }

    // ---- Voice groups -------------------------------------------------------------------

    void voiceGroupCountsItsVoicesOnTheNetwork()
    {
        Playing p;
        QCOMPARE(p.groupItem()->activeVoiceCount(), 0);
        p.write(FeedbackMsg::VoiceDeparted, 1);
        p.write(FeedbackMsg::VoiceDeparted, 2);
        // A voice leaving a node along an edge is still the same voice.
        p.write(FeedbackMsg::VoiceDeparted, 2);
        p.tick();
        QCOMPARE(p.groupItem()->activeVoiceCount(), 2);
        p.write(FeedbackMsg::VoiceFreed, 1);
        p.tick();
        QCOMPARE(p.groupItem()->activeVoiceCount(), 1);
        p.write(FeedbackMsg::VoiceFreed, 2);
        // A voice freed twice, or never placed, changes nothing more.
        p.write(FeedbackMsg::VoiceFreed, 2);
        p.write(FeedbackMsg::VoiceFreed, 7);
        p.tick();
        QCOMPARE(p.groupItem()->activeVoiceCount(), 0);
    }

    void alertLabelShowsForTwoSeconds()
    {
        Playing p;
        QVERIFY(!p.groupItem()->isAlertLabelVisible());
        p.write(FeedbackMsg::VoicesExhausted, 0);
        p.tick();
        QVERIFY(p.groupItem()->isAlertLabelVisible());
        p.msec = 1500;
        p.write(FeedbackMsg::VoicesExhausted, 0);
        p.tick();
        // Two seconds from the later one.
        p.msec = 3499;
        p.tick();
        QVERIFY(p.groupItem()->isAlertLabelVisible());

        // While the transport stands, the label stays whatever the time.
        p.clock->setPlaying(false);
        p.msec = 60'000;
        p.tick();
        QVERIFY(p.groupItem()->isAlertLabelVisible());
        p.clock->setPlaying(true);
        p.tick();
        QVERIFY(!p.groupItem()->isAlertLabelVisible());
    }

    void stoppedTransportLeavesTheMessagesWaiting()
    {
        Playing p;
        p.clock->setPlaying(false);
        p.sound(1, 0);
        p.tick();
        QCOMPARE(p.node(0)->segmentCount(), 0);
        QCOMPARE(p.controller()->feedbackPipe.size(), 1);
        p.clock->setPlaying(true);
        p.tick();
        QCOMPARE(p.node(0)->segmentCount(), 1);
    }

    void pulseRunsAndReturnsToFullLevel()
    {
        Playing p;
        p.scene->setVoiceGroupPulseRunning(true);
        QVERIFY(p.scene->isVoiceGroupPulseRunning());
        QTRY_VERIFY(p.groupItem()->pulseValue() < 0.9);
        p.scene->setVoiceGroupPulseRunning(false);
        QVERIFY(!p.scene->isVoiceGroupPulseRunning());
        QCOMPARE(p.groupItem()->pulseValue(), 1.0);
    }

    // ---- Clearing -----------------------------------------------------------------------

    void goingToTheStartClearsEverything()
    {
        Playing p;
        p.sound(1, 0);
        p.sound(2, 1);
        p.write(FeedbackMsg::VoiceDeparted, 1);
        p.write(FeedbackMsg::VoicesExhausted, 0);
        p.tick();
        QVERIFY(p.groupItem()->isAlertLabelVisible());

        p.controller()->requestGotoStart();
        ViewWindow::settle();
        QVERIFY(p.scene->litNodeItems().isEmpty());
        QCOMPARE(p.node(0)->segmentCount(), 0);
        QCOMPARE(p.node(1)->segmentCount(), 0);
        QCOMPARE(p.groupItem()->activeVoiceCount(), 0);
        QVERIFY(!p.groupItem()->isAlertLabelVisible());
    }

    void messagesForDeletedElementsAreDropped()
    {
        Playing p;
        p.sound(1, 0);
        p.sound(1, 1);
        p.write(FeedbackMsg::VoiceDeparted, 1);
        p.tick();
        QCOMPARE(p.scene->litNodeItems().size(), 2);

        // Node 0 goes, and with it its voice group.
        const QmdItemId gone = p.nodes.at(0);
        p.controller()->requestRemove(QmdItemIdList {gone, p.group},
                                      p.controller()->index(K::Elements, QmdIndex()),
                                      QmdRequestOptions(QStringLiteral("Delete")));
        ViewWindow::settle();
        QVERIFY(!p.scene->elementItem(gone));
        QCOMPARE(p.scene->litNodeItems(), (QSet<GraphicsNodeItem*> {p.node(1)}));

        p.write(FeedbackMsg::NoteSounded, 2, 0);
        p.write(FeedbackMsg::NoteEnded, 1, 0);
        p.write(FeedbackMsg::VoiceFreed, 1);
        p.write(FeedbackMsg::VoicesExhausted, 0);
        // A node id of 0, and a kind beyond the last.
        p.write(FeedbackMsg::NoteSounded, 3, -1);
        p.write(9, 3, 1);
        p.tick();
        QCOMPARE(p.controller()->feedbackPipe.size(), 0);
        QCOMPARE(p.scene->litNodeItems(), (QSet<GraphicsNodeItem*> {p.node(1)}));
        QCOMPARE(p.node(1)->segmentCount(), 1);
    }
};

QTEST_MAIN(TestPlaybackDisplay)
#include "tst_playbackdisplay.moc"
