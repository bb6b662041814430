// The run-time objects of a network document: the clock, one output thread per instrument and
// one thread per voice group, made by every reset and kept in step with the document while it
// plays. The instruments' pipes are read directly; no port is needed.

#include "AbstractSync.h"
#include "MidiInstrument.h"
#include "ModelSignalRecorder.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"
#include "VoiceGroup.h"

#include <QPointer>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>

namespace K = QmdKelvoKeys;
using QmdKelvo::TickPoint;

namespace {

constexpr qint64 P = 665280; // ticks per principal

// A controller over a model of its own.
struct Document
{
    Document()
    {
        c->setModel(model.get());
        deliverRelays();
    }
    ~Document()
    {
        c.reset();
        model.reset();
    }
    std::unique_ptr<QmdMemModel> model = std::make_unique<QmdMemModel>();
    std::unique_ptr<QmdKelvoController> c = std::make_unique<QmdKelvoController>();
};

} // namespace

class TestKvdThreads : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void oneThreadPerInstrumentAndVoiceGroup();
    void loadWhilePlayingReplacesEveryThread();
    void syncTypeAtTheRootReplacesTheClock();
    void destroyingWhilePlayingStopsEverything();
    void changesWhilePlaying();
    void transportFromAnotherThreadWhileThreadsGo();

private:
    // Two nodes that send a voice back and forth, a quarter principal apart, an instrument,
    // and a voice group starting at the first node; returns the group's id.
    QmdItemId buildNetwork();
    QmdItemId addNode(qint64 x);
    QmdItemId addEdge(QmdItemId from, QmdItemId to);
    QmdItemId addVoiceGroup(QmdItemId node);
    void play();
    QVariant hitCount(QmdItemId node) const
    {
        return c()->data(K::HitCount, c()->index(node, c()->elementStatesRoot()));
    }
    // Whether the thread tables hold exactly one running thread for each instrument and each
    // voice group of the document, and nothing else.
    void verifyThreadsMatchDocument() const;
    QmdKelvoController* c() const { return doc->c.get(); }

    std::unique_ptr<Document> doc;
    QmdItemId a = 0, b = 0, instrument = 0;
    QTemporaryDir dir;
};

void TestKvdThreads::init()
{
    doc = std::make_unique<Document>();
    c()->requestSetData(K::Tempo, 999u, QmdIndex());
}

void TestKvdThreads::cleanup()
{
    doc.reset();
}

QmdItemId TestKvdThreads::addNode(qint64 x)
{
    QmdItemId id = 0;
    c()->requestAddNode(TickPoint {x, 0}, QmdKelvo::NoCreationFlags, QmdRequestOptions(QString()),
                        &id);
    c()->requestSetData(K::Notes, QStringLiteral("C3:100:0.1"), c()->elementIndex(id));
    return id;
}

QmdItemId TestKvdThreads::addEdge(QmdItemId from, QmdItemId to)
{
    QmdItemId id = 0;
    c()->requestAddEdge(c()->elementIndex(from), c()->elementIndex(to), QmdKelvo::CityBlock,
                        QmdKelvo::NoCreationFlags, QmdRequestOptions(QStringLiteral("Edge")), &id);
    return id;
}

QmdItemId TestKvdThreads::addVoiceGroup(QmdItemId node)
{
    c()->requestAddVoiceGroup(c()->elementIndex(node));
    const QmdItemId id = c()->elements().last();
    c()->requestSetData(K::InitialInstrument, uint(instrument), c()->elementIndex(id));
    deliverRelays();
    return id;
}

QmdItemId TestKvdThreads::buildNetwork()
{
    a = addNode(0);
    b = addNode(P / 4);
    addEdge(a, b);
    addEdge(b, a);
    c()->requestAddInstrument();
    instrument = c()->instruments().last();
    return addVoiceGroup(a);
}

void TestKvdThreads::play()
{
    c()->sync()->setPlaying(true);
    for (MidiInstrument* thread : c()->instrumentsCopy())
        thread->play();
    for (VoiceGroup* group : c()->voiceGroupsCopy())
        group->continueIterating();
}

void TestKvdThreads::verifyThreadsMatchDocument() const
{
    const QHash<QmdItemId, MidiInstrument*> instruments = c()->instrumentsCopy();
    QmdItemIdList ids = instruments.keys();
    std::sort(ids.begin(), ids.end());
    QmdItemIdList expected = c()->instruments();
    std::sort(expected.begin(), expected.end());
    QCOMPARE(ids, expected);
    for (auto it = instruments.begin(); it != instruments.end(); ++it) {
        QCOMPARE(it.value()->id(), it.key());
        QVERIFY(it.value()->isRunning());
        QCOMPARE(it.value()->currentSync(), c()->sync());
    }

    const QHash<QmdItemId, VoiceGroup*> groups = c()->voiceGroupsCopy();
    ids = groups.keys();
    std::sort(ids.begin(), ids.end());
    expected.clear();
    for (QmdItemId id : c()->elements()) {
        if (c()->elementType(id) == QmdKelvo::VoiceGroupElement)
            expected.append(id);
    }
    QCOMPARE(ids, expected);
    for (auto it = groups.begin(); it != groups.end(); ++it) {
        QCOMPARE(it.value()->id(), it.key());
        QVERIFY(it.value()->isRunning());
        QCOMPARE(it.value()->sync(), c()->sync());
    }
}

// After the reset of a new, a loaded and a template document; asking again for threads that
// exist makes none.
void TestKvdThreads::oneThreadPerInstrumentAndVoiceGroup()
{
    QVERIFY(c()->sync());
    verifyThreadsMatchDocument();
    QVERIFY(c()->instrumentsCopy().isEmpty());

    const QmdItemId group = buildNetwork();
    c()->requestAddInstrument();
    addVoiceGroup(b);
    verifyThreadsMatchDocument();
    QCOMPARE(c()->instrumentsCopy().size(), 2);
    QCOMPARE(c()->voiceGroupsCopy().size(), 2);
    const auto before = c()->voiceGroupsCopy();
    const auto instrumentsBefore = c()->instrumentsCopy();
    c()->createVoiceGroups(c()->elements() + QmdItemIdList {group});
    c()->createInstruments(c()->instruments());
    QCOMPARE(c()->voiceGroupsCopy(), before);
    QCOMPARE(c()->instrumentsCopy(), instrumentsBefore);

    const QString file = dir.filePath(QStringLiteral("threads.kvd"));
    QSignalSpy saved(c(), &QmdDocController::fileSaved);
    c()->requestSave(file);
    QCOMPARE(saved.size(), 1);
    for (const bool asTemplate : {false, true}) {
        doc = std::make_unique<Document>();
        if (asTemplate)
            c()->requestLoadTemplate(file);
        else
            c()->requestLoad(file);
        deliverRelays();
        QCOMPARE(c()->instruments().size(), 2);
        verifyThreadsMatchDocument();
        QCOMPARE(c()->voiceGroupsCopy().size(), 2);
    }
}

// The previous document's threads are gone, its display feedback with them.
void TestKvdThreads::loadWhilePlayingReplacesEveryThread()
{
    buildNetwork();
    const QString file = dir.filePath(QStringLiteral("playing.kvd"));
    c()->requestSave(file);
    play();
    QTRY_VERIFY_WITH_TIMEOUT(hitCount(b).toUInt() >= 2, 10000);
    QVERIFY(c()->feedbackPipe.size() > 0);

    QList<QPointer<QThread>> old;
    for (MidiInstrument* thread : c()->instrumentsCopy())
        old.append(thread);
    for (VoiceGroup* group : c()->voiceGroupsCopy())
        old.append(group);
    QCOMPARE(old.size(), 2);
    c()->requestLoad(file);
    for (const QPointer<QThread>& thread : std::as_const(old))
        QVERIFY(thread.isNull());
    QCOMPARE(c()->feedbackPipe.size(), 0);
    deliverRelays();
    verifyThreadsMatchDocument();
    QVERIFY(!c()->sync()->isPlaying());
}

// At the root it replaces the clock and hands the new one to every thread; elsewhere a key of
// that name does nothing.
void TestKvdThreads::syncTypeAtTheRootReplacesTheClock()
{
    buildNetwork();
    const QPointer<AbstractSync> previous = c()->sync();
    c()->requestSetData(K::SyncType, QStringLiteral("internal"), c()->elementIndex(a));
    deliverRelays();
    QCOMPARE(c()->sync(), previous.data());

    play();
    c()->requestSetData(K::SyncType, QStringLiteral("no such clock"), QmdIndex());
    deliverRelays();
    QVERIFY(c()->sync());
    QVERIFY(c()->sync() != previous.data());
    verifyThreadsMatchDocument();
    // The group goes on playing against the new clock once it runs.
    const uint hits = hitCount(b).toUInt();
    play();
    QTRY_VERIFY_WITH_TIMEOUT(hitCount(b).toUInt() > hits, 10000);
}

void TestKvdThreads::destroyingWhilePlayingStopsEverything()
{
    buildNetwork();
    addVoiceGroup(b);
    play();
    QTRY_VERIFY_WITH_TIMEOUT(hitCount(b).toUInt() >= 2, 10000);
    QList<QPointer<QObject>> objects {c()->sync()};
    for (MidiInstrument* thread : c()->instrumentsCopy())
        objects.append(thread);
    for (VoiceGroup* group : c()->voiceGroupsCopy())
        objects.append(group);
    QCOMPARE(objects.size(), 4);
    doc->c.reset();
    for (const QPointer<QObject>& object : std::as_const(objects))
        QVERIFY(object.isNull());
}

// Threads come and go with their instruments and voice groups, also by undo and redo;
// removing elements that voices travel leaves the rest playing.
void TestKvdThreads::changesWhilePlaying()
{
    const QmdItemId group = buildNetwork();
    play();
    QTRY_VERIFY_WITH_TIMEOUT(hitCount(b).toUInt() >= 2, 10000);

    // A new instrument's thread plays at once, as the transport does.
    QSignalSpy added(c(), &QmdKelvoController::instrumentsAdded);
    c()->requestAddInstrument();
    deliverRelays();
    QCOMPARE(added.size(), 1);
    const QmdItemId second = c()->instruments().last();
    verifyThreadsMatchDocument();
    QCOMPARE(c()->instrumentsCopy().value(second)->currentState(), AbstractOutputThread::Running);

    // Removing the played instrument stops its thread and clears the group's reference.
    QSignalSpy removed(c(), &QmdKelvoController::instrumentsRemoved);
    QPointer<QThread> thread = c()->instrumentsCopy().value(instrument);
    c()->requestRemove(instrument, c()->index(K::Instruments, QmdIndex()),
                       QmdRequestOptions(QStringLiteral("Remove")));
    deliverRelays();
    QCOMPARE(removed.size(), 1);
    QVERIFY(thread.isNull());
    QCOMPARE(c()->data(K::InitialInstrument, c()->elementIndex(group)).toUInt(), 0u);
    verifyThreadsMatchDocument();
    c()->requestUndo();
    deliverRelays();
    QCOMPARE(c()->data(K::InitialInstrument, c()->elementIndex(group)).toUInt(), uint(instrument));
    verifyThreadsMatchDocument();
    QCOMPARE(c()->instrumentsCopy().size(), 2);

    // A second group comes and goes with its element, by request, undo and redo.
    const QmdItemId other = addVoiceGroup(b);
    c()->voiceGroupsCopy().value(other)->continueIterating();
    verifyThreadsMatchDocument();
    QPointer<QThread> otherThread = c()->voiceGroupsCopy().value(other);
    c()->requestRemove(other, c()->elementsRoot(), QmdRequestOptions(QStringLiteral("Remove")));
    deliverRelays();
    QVERIFY(otherThread.isNull());
    verifyThreadsMatchDocument();
    c()->requestUndo();
    deliverRelays();
    verifyThreadsMatchDocument();
    QVERIFY(c()->voiceGroupsCopy().contains(other));
    c()->requestRedo();
    deliverRelays();
    QVERIFY(!c()->voiceGroupsCopy().contains(other));

    // An edge the voices travel goes, and a node with its edges while voices travel to it:
    // the group whose start node it was goes with it, the rest plays on. The branch through C
    // ends at D, so that every visit of A sends one voice each way. Were C to lead back to A,
    // every visit would double the voices until the pool ran out, and whether any were left
    // on the way through B when C goes would depend on how long the network had played.
    // A sends in parallel before it has the edge to C, which would otherwise take its turn.
    c()->requestSetData(K::SignallingMethod, int(QmdKelvo::Parallel), c()->elementIndex(a));
    const QmdItemId c3 = addNode(P / 2);
    const QmdItemId d = addNode(P);
    const QmdItemId toC = addEdge(a, c3);
    addEdge(c3, d);
    deliverRelays();
    const QmdItemId onC = addVoiceGroup(c3);
    c()->voiceGroupsCopy().value(onC)->continueIterating();
    QTRY_VERIFY_WITH_TIMEOUT(hitCount(c3).toUInt() >= 2, 10000);
    c()->requestRemove(toC, c()->elementsRoot(), QmdRequestOptions(QStringLiteral("Remove")));
    deliverRelays();
    QVERIFY(!c()->edgeFromNodesCopy().contains(toC));
    c()->requestRemove(c3, c()->elementsRoot(), QmdRequestOptions(QStringLiteral("Remove")));
    for (int i = 0; i < 3; ++i)
        deliverRelays();
    QVERIFY(!c()->voiceGroupsCopy().contains(onC));
    verifyThreadsMatchDocument();
    const uint hits = hitCount(b).toUInt();
    QTRY_VERIFY_WITH_TIMEOUT(hitCount(b).toUInt() > hits + 1, 10000);
    c()->requestUndo();
    for (int i = 0; i < 3; ++i)
        deliverRelays();
    QVERIFY(c()->voiceGroupsCopy().contains(onC));
    verifyThreadsMatchDocument();
}

// The clock makes the transport requests on the MIDI input thread when another program sends
// Start, Stop or Song Position 0; meanwhile the user adds and deletes instruments and voice
// groups. Every request finds the objects it calls alive, and none is left behind.
void TestKvdThreads::transportFromAnotherThreadWhileThreadsGo()
{
    buildNetwork();
    play();
    std::atomic<bool> done {false};
    std::atomic<int> rounds {0};
    // The rounds go on while objects come and go, one round each time the objects have changed
    // (or at will once they no longer change): a thread that only ever asked would keep the
    // other out of the locks that both take, for as long as it asked.
    std::atomic<int> changes {0};
    std::atomic<bool> changing {true};
    std::thread midi([this, &done, &rounds, &changes, &changing] {
        int seen = -1;
        while (!done.load()) {
            if (changing.load() && changes.load() == seen) {
                std::this_thread::yield();
                continue;
            }
            seen = changes.load();
            c()->requestGotoStart();
            c()->requestPrimePlaybackForSyncStateChange(false);
            c()->requestPrimePlaybackForSyncStateChange(true);
            ++rounds;
        }
    });
    const QmdIndex instrumentsRoot = c()->index(K::Instruments, QmdIndex());
    for (int i = 0; i < 40; ++i) {
        c()->requestAddInstrument();
        const QmdItemId added = c()->instruments().last();
        const QmdItemId group = addVoiceGroup(a);
        c()->requestSetData(K::InitialInstrument, uint(added), c()->elementIndex(group));
        deliverRelays();
        ++changes;
        c()->requestRemove(group, c()->elementsRoot(), QmdRequestOptions(QStringLiteral("Remove")));
        c()->requestRemove(added, instrumentsRoot, QmdRequestOptions(QStringLiteral("Remove")));
        deliverRelays();
        ++changes;
    }
    changing.store(false);
    // At least a few requests ran while the objects came and went.
    QTRY_VERIFY_WITH_TIMEOUT(rounds.load() >= 3, 10000);
    done.store(true);
    midi.join();
    verifyThreadsMatchDocument();
    QCOMPARE(c()->instrumentsCopy().size(), 1);
    QCOMPARE(c()->voiceGroupsCopy().size(), 1);
}

QTEST_GUILESS_MAIN(TestKvdThreads)
#include "tst_kvdthreads.moc"
