#ifndef VOICEGROUP_H
#define VOICEGROUP_H

#include "QmdGlobal.h"
#include "QmdIndex.h"
#include "QmdKelvoTypes.h"
#include "QmdObserver.h"
#include "VoiceState.h"

#include <QList>
#include <QSet>
#include <QThread>

#include <boost/random/mersenne_twister.hpp>

#include <atomic>
#include <condition_variable>
#include <mutex>

class AbstractSync;
class QmdKelvoController;
class QPolygonF;

// The thread that plays one voice-group element. It owns a pool of 24 voices; started, it
// places a voice on its start node, and every 10 ms it steps its active voices: a voice whose
// travel time has run out arrives at a node, sounds the node's next notes, and is replaced by
// fresh voices that travel the node's chosen out-edges. Messages carry the exact tick of the
// arrival they belong to. Arrivals up to a little more than one step ahead of the clock are
// handled early; the instruments' time-sorted pipes hold their messages until the tick.
//
// The controller drives the group through the slots, from its own thread; the group reads the
// document through the controller's locked reads and writes it only through requests that
// are not undoable.
class VoiceGroup : public QThread, public QmdObserver<QmdKelvoController>
{
    Q_OBJECT

public:
    // A sounded note whose note-end has not yet been reported to the display.
    struct NoteOffData
    {
        VoiceState state;
        quint32 nodeId = 0;
        quint32 voiceId = 0;
    };

    static constexpr int VoiceCount = 24;
    // The step period, and how far ahead of the clock a step handles arrivals. The look-ahead
    // covers a period, the step itself and a wait for the document's voice-step mutex, which
    // many busy groups share: the notes then reach their pipes before they are due.
    static constexpr unsigned long StepMicroseconds = 10000;
    static constexpr quint64 LookAheadNanos = 25000000;
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

    // Edge choice and travel. Called inside the controller's voice-step mutex.
    quint64 elementTravelTicks(uint elementId, bool* ok) const;
    void chooseEdge(const QmdIndex& node, uint* firstEdge, QList<uint>* furtherEdges);
    bool spawnVoice(const VoiceState& state, uint edgeId);
    void edgeControllerValues(const VoiceState& state, uint edgeId, quint64 travelTicks);

    // Note choice. readScale() runs under the slot mutex; the others inside the voice-step
    // mutex.
    void readScale();
    static void advancePitch(int* pitch, int relativeOffsetSteps, int direction, uint key,
                             uint degreeMask);
    QList<VoiceState> advanceNotesTree(const QmdIndex& treeNode, uint firstEdgeId,
                                       VoiceState state);
    uint currentScaleKey() const { return scaleKey; }
    uint currentScaleDegreeMask() const { return scaleDegreeMask; }

public slots:
    void syncSync();
    void reset();
    void resetTo(QmdKelvo::Ticks startPos, QmdKelvo::Scale velocityScale);
    void continueIterating();
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
    // One sample of a controller curve.
    struct CurveSample
    {
        quint64 tick;
        int value;
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

    void iterate();
    void iterateVoice(Voice* voice);
    void sendUserMidiMessage(const QmdIndex& state, const VoiceState& voice);
    void soundNotes(const QList<VoiceState>& notes, quint32 nodeId, quint32 voiceId,
                    const QmdIndex* nodeState);
    quint64 applyDuration(const QString& entry, quint64 duration, uint firstEdgeId) const;
    QList<CurveSample> curveSamples(int curveType, const QPolygonF& points, const VoiceState& state,
                                    quint64 travelTicks) const;
    void writeFeedback(quint32 kind, quint64 time, quint32 voiceId,
                       const VoiceState* note = nullptr, quint32 nodeId = 0);

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
    bool groupMuted = false;
    uint scaleKey = 0;
    uint scaleDegreeMask = 4095;
    QList<NoteOffData> noteOffs;
    quint32 seed = 0;
    boost::random::mt19937 randomEngine;
    // The tick up to which the running step handles arrivals; set before the voices step.
    quint64 stepHorizon = 0;
    std::atomic<quint64> stepCount {0};
    std::atomic<quint64> lastStepDuration {0};
};

#endif // VOICEGROUP_H
