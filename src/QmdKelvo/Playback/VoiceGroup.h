#ifndef VOICEGROUP_H
#define VOICEGROUP_H

#include "FeedbackMsg.h"
#include "InstrumentMsg.h"
#include "QmdGlobal.h"
#include "QmdIndex.h"
#include "QmdKelvoTypes.h"
#include "QmdObserver.h"
#include "VoiceState.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QPolygonF>
#include <QSet>
#include <QThread>
#include <QVariant>

#include <boost/random/mersenne_twister.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <unordered_map>
#include <vector>

class AbstractSync;
class QmdKelvoController;

// The thread that plays one voice-group element. It owns a pool of 24 voices; started, it
// places a voice on its start node, and every 10 ms it steps its active voices: a voice whose
// travel time has run out arrives at a node, sounds the node's next notes, and is replaced by
// fresh voices that travel the node's chosen out-edges. Messages carry the exact tick of the
// arrival they belong to. Arrivals up to a little more than one step ahead of the clock are
// handled early; the instruments' time-sorted pipes hold their messages until the tick.
//
// The controller drives the group through the slots, from its own thread; the group reads the
// document under the controller's model lock and writes it only through requests that are not
// undoable. What it reads of the elements it keeps while the controller's document generation
// stays the same, so that a step whose voices are all under way needs no lock. The arrivals a
// step finds are handled together, under the document's voice-step mutex and one hold of the
// model lock, and their run-time values are written in one request. Messages to instruments
// and to the display, and the sampling of controller curves, wait until both are free again.
class VoiceGroup : public QThread, public QmdObserver<QmdKelvoController>
{
    Q_OBJECT

public:
    static constexpr int VoiceCount = 24;
    // The step period, and how far ahead of the clock a step handles arrivals. The look-ahead
    // covers a period, the step itself and a wait for the document's voice-step mutex, which
    // many busy groups share: the notes then reach their pipes before they are due. When the
    // groups' voices arrive at one tick (16 groups of 24 voices on loops started together),
    // the groups handle that tick one after another, some 12 ms of work in all; on a machine
    // whose memory other work keeps busy the same work has taken 60 ms and more. A change to
    // the document is heard at most this much later.
    static constexpr unsigned long StepMicroseconds = 10000;
    static constexpr quint64 LookAheadNanos = 80000000;
    // How many times one step goes on with the voices that its arrivals placed and that arrive
    // within the look-ahead (a loop of wormholes would never end).
    static constexpr int MaxArrivalRounds = 8;
    // The longest note, in ticks: 10,000 principals.
    static constexpr quint64 MaxDuration = 6652800000ULL;
    // The most scale steps one relative pitch may move.
    static constexpr int MaxScaleSteps = 128;

    VoiceGroup(uint elementId, QmdKelvoController* controller);
    ~VoiceGroup() override;

    QmdItemId id() const { return elementId; }
    // Returns once run() has built the voice pool (polled every 50 microseconds).
    void waitUntilStarted();

    AbstractSync* sync() const { return m_sync.load(); }
    bool isIterating() const { return iterating.load(); }
    bool isStarted() const { return started.load(); }
    // How many steps have run, and how long the last one took in nanoseconds.
    quint64 stepsDone() const { return stepCount.load(); }
    quint64 lastStepNanos() const { return lastStepDuration.load(); }

    // Seeds: every living group holds one that no other holds.
    static quint32 uniqueSeed();
    static void releaseSeed(quint32 seed);
    // For tests only: restarts the group's random engine from `seed`.
    void reseedForTesting(quint32 seed);

    // The voice pool; safe from any thread.
    Voice* takeFreeVoice();
    void deactivateVoice(Voice* voice);
    void deactivateAllVoices();
    int freeVoiceCount() const;
    int activeVoiceCount() const;

    // The parts of an arrival, each on its own: they take the model lock, write what they
    // change in one request and send what they send. The step itself handles its arrivals
    // together. Not while the group steps.
    quint64 elementTravelTicks(uint elementId, bool* ok);
    void chooseEdge(const QmdIndex& node, uint* firstEdge, QList<uint>* furtherEdges);
    bool spawnVoice(const VoiceState& state, uint edgeId);
    void edgeControllerValues(const VoiceState& state, uint edgeId, quint64 travelTicks);
    void readScale();
    static void advancePitch(int* pitch, int relativeOffsetSteps, int direction, uint key,
                             uint degreeMask);
    QList<VoiceState> advanceNotesTree(const QmdIndex& treeNode, uint firstEdgeId,
                                       VoiceState state);
    uint currentScaleKey() const { return scaleKey; }
    uint currentScaleDegreeMask() const { return scaleDegreeMask; }

    // One sample of a controller curve: a tick and a 14-bit value (not yet clamped).
    struct CurveSample
    {
        quint64 tick;
        int value;
    };
    // The samples of a curve along a travel from `departure` to `arrival`: `count` samples
    // evenly spaced from the departure on, then the last point's value at the arrival; a
    // Single curve gives its first point's value at the departure alone. One pass over the
    // points, however many samples.
    static QList<CurveSample> curveSamples(int curveType, const QPolygonF& points,
                                           quint64 departure, quint64 arrival, quint64 count);

public slots:
    void syncSync();
    void reset();
    void resetTo(QmdKelvo::Ticks startPos, QmdKelvo::Scale velocityScale);
    void continueIterating();
    // Before the clock starts: steps once, on the calling thread, so that what is due within
    // the look-ahead of the clock's position (where it stands until it runs) is queued before
    // the clock's first tick. Places the start voice first when the group has none. The group
    // does not iterate until it is continued, which then places no start voice again. Does
    // nothing while the group iterates.
    void prepareStart();
    void pauseIterating();
    void deactivateAllVoicesAndPauseIterating();
    // Stops the steps: returns once a step in progress has ended, and none starts until the
    // group is continued. Returns whether the group was iterating.
    bool haltSteps();
    // Places the start voice at the clock's tick, and iterates again if the group was
    // iterating; the second form iterates again when `resume` is set.
    void gotoStart();
    void gotoStart(bool resume);
    void run() override;
    void terminateSafely();

private:
    // A controller curve of an edge, to sample along a travel.
    struct Curve
    {
        int type = 0;
        QPolygonF points;
        int msb = -1;
        int lsb = -1;
    };

    // Something the arrivals leave to be sent once the locks are free: a message to an
    // instrument, a note-on with its note-off, or a controller curve along a travel.
    struct Outgoing
    {
        enum Kind { Message, NotePair, CurveTravel };
        Kind kind = Message;
        quint32 instrument = 0;
        InstrumentMsg first;
        InstrumentMsg second; // NotePair: the note-off
        Curve curve;
        quint64 departure = 0;
        quint64 arrival = 0;
    };

    // A notes-tree node as a hash key. QmdIndex hashes by item id alone, which the nodes of
    // notes trees share: their children are numbered from 1 in every tree.
    struct TreePlace
    {
        QmdIndex index;
        friend bool operator==(const TreePlace& a, const TreePlace& b)
        {
            return a.index == b.index;
        }
        friend size_t qHash(const TreePlace& place, size_t seed = 0) noexcept
        {
            return qHashMulti(seed, place.index.internalPointer(), place.index.itemId(),
                              place.index.key());
        }
    };

    struct TreePlaceHash
    {
        size_t operator()(const TreePlace& place) const noexcept { return qHash(place); }
    };

    // What arrivals share while the model lock is held: the document's fixed places, the
    // run-time values written so far by container (later arrivals read them back; they reach
    // the document in one request), and what is to be sent afterwards, in the order it arose.
    struct Batch
    {
        QmdIndex elements;
        QmdIndex states;
        QmdIndex trees;
        QList<QPair<QmdIndex, QHash<QString, QVariant>>> writes; // as the controller takes them
        QHash<TreePlace, qsizetype> writeAt; // where in `writes` each container is
        std::vector<Outgoing> outgoing;
        std::vector<FeedbackMsg> feedback;
    };

    // What the group read of the document, kept while the controller's document generation
    // stays the same (nothing has changed then but run-time values, which are read afresh).
    // An element that voices travel: an edge, or the group's own element, which a start
    // voice leaves at once for the start node.
    struct ElementInfo
    {
        bool travels = false; // it exists, and its travel time could be read
        quint64 travel = 0;
        bool wormhole = false;
        bool hasState = false;
        quint32 toNode = 0;
        QList<Curve> curves;
    };
    // A node: what it does with an arriving voice, and where its run-time values are.
    struct NodeInfo
    {
        bool exists = false;
        QmdIndex state; // QmdIndex() when the node has no element state
        QmdIndex tree; // QmdIndex() when it has no notes tree
        bool dontPlay = false;
        bool instrumentChange = false;
        quint32 instrument = 0;
        int method = 0;
        QString usageList;
        QString userMessages;
    };
    // An entry of a notes-tree node's pitch list: a note name, or a number of scale steps up
    // (direction 1) or down (-1) from the voice's pitch; `given` is false for an entry of
    // blanks, which keeps the pitch.
    struct PitchEntry
    {
        bool given = false;
        int direction = 0; // 0: the absolute `pitch`
        int steps = 0;
        int pitch = 0;
    };
    // An entry of a velocity list: a velocity, or a change of the voice's (`relative`).
    struct VelocityEntry
    {
        bool given = false;
        bool relative = false;
        qint64 value = 0;
    };
    // A node of a notes tree, its lists read once: the entries of each list in order (empty
    // sections left out, blanks trimmed), and whether the list is there at all.
    struct TreeNodeInfo
    {
        bool exists = false;
        bool hasPitches = false;
        bool hasVelocities = false;
        bool hasDurations = false;
        std::vector<PitchEntry> pitches;
        std::vector<VelocityEntry> velocities;
        QStringList durations;
        int method = 0;
        QmdIndexList children;
    };

    bool startedAndRunning() const { return started.load() && isRunning(); }
    void wake();
    void rereadClock();
    void stopAndWait();
    void resetVoices(quint64 startPos, double velocityScale);
    // Iterates again if there are voices, placing new ones first when none is left.
    void resumeWithVoices();
    // The body of gotoStart, under the slot mutex.
    void restart(bool resume);
    quint64 currentTicks() const;

    // The step: where the voices are, then their arrivals. iterate() runs it on the group's
    // own thread while the clock plays; step() is its body, with the slot mutex held.
    void iterate();
    void step(AbstractSync* clock);
    void arrive(Batch& batch, Voice* voice);

    // Runs `work` on a batch of its own under the model lock, writes what it changed and sends
    // what it left.
    void inBatch(const std::function<void(Batch&)>& work);
    // With the model lock held: finds the fixed places (and forgets what the group read of a
    // document that has changed since), reads run-time values as written so far and writes
    // them, and ends the batch's writes with their request.
    void directBeginBatch(Batch& batch);
    QList<QVariant> runTimeValues(const Batch& batch, const QmdIndex& container,
                                  const QStringList& keys) const;
    static void setRunTimeValue(Batch& batch, const QmdIndex& container, const QString& key,
                                const QVariant& value);
    // Where the values written to a container so far are in the batch; -1 when there are none.
    static qsizetype writtenAt(const Batch& batch, const QmdIndex& container);
    void directCommit(Batch& batch);
    // Without any lock: sends what the batch left.
    void send(Batch& batch);
    void sendCurve(const Outgoing& travel);

    // The parts of an arrival, with the model lock held. A child that does not exist is
    // QmdIndex().
    QmdIndex directChild(const QmdIndex& container, uint id) const;
    // These read an element once and keep what they read until the document changes; the
    // references stay valid until then.
    const ElementInfo& directElementInfo(const Batch& batch, uint id);
    const NodeInfo& directNodeInfo(const Batch& batch, uint id);
    const TreeNodeInfo& directTreeNodeInfo(const QmdIndex& treeNode);
    void directReadGroup(const Batch& batch);
    void directChooseEdge(Batch& batch, const NodeInfo& node, uint* firstEdge,
                          QList<uint>* furtherEdges);
    bool directSpawnVoice(Batch& batch, const VoiceState& state, uint edgeId);
    void queueCurves(Batch& batch, const QList<Curve>& curves, const VoiceState& travel);
    QList<VoiceState> directAdvanceNotesTree(Batch& batch, const QmdIndex& treeNode,
                                             uint firstEdgeId, VoiceState state);
    quint64 directApplyDuration(const Batch& batch, QStringView entry, quint64 duration,
                                uint firstEdgeId);
    void directSendUserMidiMessage(Batch& batch, const NodeInfo& node, const VoiceState& voice);
    void directSoundNotes(Batch& batch, const QList<VoiceState>& notes, quint32 nodeId,
                          quint32 voiceId, const QmdIndex& nodeState);
    // Returns a voice to the pool, its display message left in the batch.
    void releaseVoice(Batch& batch, Voice* voice);

    // How many samples a curve takes along a travel: one per 25 ms of it, at least one.
    quint64 curveSampleCount(quint64 travelTicks) const;
    FeedbackMsg feedback(quint32 kind, quint64 time, quint32 voiceId,
                         const VoiceState* note = nullptr, quint32 nodeId = 0) const;
    void writeFeedback(const FeedbackMsg& msg);

    const quint32 elementId;
    std::atomic<bool> started {false};
    // Standard mutexes, whose ordering the thread sanitizer follows.
    mutable std::mutex voicesMutex;
    const int voiceCapacity = VoiceCount + 1;
    QSet<Voice*> freeVoices;
    QSet<Voice*> activeVoices;
    std::atomic<AbstractSync*> m_sync {nullptr};
    // Standard primitives, whose waits the thread sanitizer follows.
    std::condition_variable waitCondition;
    std::mutex waitMutex;
    std::atomic<bool> iterating {false};
    std::atomic<bool> stepping {false};
    std::atomic<bool> terminating {false};
    std::mutex slotMutex;
    // Set by prepareStart() until the group is continued or paused.
    bool prepared = false;
    // Where in the step period this group's steps fall, after the first one once continued.
    static std::chrono::microseconds nextStepPhase();
    const std::chrono::microseconds stepPhase;
    // The group's own settings, read again when the document has changed.
    bool groupRead = false;
    bool groupMuted = false;
    uint scaleKey = 0;
    uint scaleDegreeMask = 4095;
    quint32 seed = 0;
    boost::random::mt19937 randomEngine;
    // What the group read of the document, and the document generation it belongs to.
    quint64 readGeneration = ~0ULL;
    // Node-based, so that what was read stays where it is while more is read.
    std::unordered_map<quint32, ElementInfo> elementsRead;
    std::unordered_map<quint32, NodeInfo> nodesRead;
    std::unordered_map<TreePlace, TreeNodeInfo, TreePlaceHash> treeNodesRead;
    // The step's own, kept from step to step so that a step allocates little: the voices it
    // looks at, those that arrive, and the batch of their arrivals.
    std::vector<Voice*> stepVoices;
    std::vector<Voice*> arrivals;
    Batch stepBatch;
    // The tick up to which the running step handles arrivals, and how long after a muted
    // arrival the display ends its note (0.1 s); set before the voices step.
    quint64 stepHorizon = 0;
    quint64 mutedNoteTicks = 0;
    std::atomic<quint64> stepCount {0};
    std::atomic<quint64> lastStepDuration {0};
};

#endif // VOICEGROUP_H
