// VoiceGroup: the thread, its voice pool, the slots and the step.

#include "VoiceGroup.h"

#include "AbstractSync.h"
#include "HostTime.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "RealtimeScheduling.h"

#include <QMutexLocker>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>

namespace K = QmdKelvoKeys;

namespace {

// The process's seed source: one engine, reseeded once from the host clock, and the seeds
// that living groups hold.
struct SeedSource
{
    QMutex mutex;
    boost::random::mt19937 engine; // default state until the first seed is drawn
    bool reseeded = false;
    QSet<quint32> inUse;
};

SeedSource& seedSource()
{
    static SeedSource source;
    return source;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Seeds

quint32 VoiceGroup::uniqueSeed()
{
    SeedSource& source = seedSource();
    const QMutexLocker locker(&source.mutex);
    if (!source.reseeded) {
        source.engine.seed(quint32(Platform::hostTimeNs() % 4294967295ULL));
        source.reseeded = true;
    }
    quint32 seed = 0;
    do {
        seed = quint32(source.engine());
    } while (source.inUse.contains(seed));
    source.inUse.insert(seed);
    return seed;
}

void VoiceGroup::releaseSeed(quint32 seed)
{
    SeedSource& source = seedSource();
    const QMutexLocker locker(&source.mutex);
    source.inUse.remove(seed);
}

void VoiceGroup::reseedForTesting(quint32 testSeed)
{
    const std::lock_guard<std::mutex> locker(slotMutex);
    randomEngine.seed(testSeed);
}

// ---------------------------------------------------------------------------------------------
// Construction

VoiceGroup::VoiceGroup(uint elementId, QmdKelvoController* controller)
    : QThread(nullptr)
    , elementId(elementId)
    , seed(uniqueSeed())
    , randomEngine(seed)
{
    setController(controller);
}

VoiceGroup::~VoiceGroup()
{
    {
        const std::lock_guard<std::mutex> ended(waitMutex);
    }
    const std::lock_guard<std::mutex> locker(slotMutex);
    {
        const std::lock_guard<std::mutex> voices(voicesMutex);
        qDeleteAll(freeVoices);
        qDeleteAll(activeVoices);
        freeVoices.clear();
        activeVoices.clear();
    }
    releaseSeed(seed);
}

void VoiceGroup::waitUntilStarted()
{
    while (!started.load())
        QThread::usleep(50);
}

// ---------------------------------------------------------------------------------------------
// The voice pool

Voice* VoiceGroup::takeFreeVoice()
{
    const std::lock_guard<std::mutex> locker(voicesMutex);
    if (freeVoices.isEmpty())
        return nullptr;
    Voice* voice = *freeVoices.begin();
    freeVoices.erase(freeVoices.begin());
    voice->state = VoiceState();
    activeVoices.insert(voice);
    return voice;
}

void VoiceGroup::deactivateVoice(Voice* voice)
{
    const std::lock_guard<std::mutex> locker(voicesMutex);
    if (!activeVoices.remove(voice))
        return;
    freeVoices.insert(voice);
    writeFeedback(FeedbackMsg::VoiceFreed, voice->state.arrival, voice->id);
}

void VoiceGroup::deactivateAllVoices()
{
    const std::lock_guard<std::mutex> locker(voicesMutex);
    for (Voice* voice : std::as_const(activeVoices))
        writeFeedback(FeedbackMsg::VoiceFreed, voice->state.arrival, voice->id);
    freeVoices.unite(activeVoices);
    activeVoices.clear();
}

int VoiceGroup::freeVoiceCount() const
{
    const std::lock_guard<std::mutex> locker(voicesMutex);
    return int(freeVoices.size());
}

int VoiceGroup::activeVoiceCount() const
{
    const std::lock_guard<std::mutex> locker(voicesMutex);
    return int(activeVoices.size());
}

void VoiceGroup::writeFeedback(quint32 kind, quint64 time, quint32 voiceId, const VoiceState* note,
                               quint32 nodeId)
{
    if (!controller)
        return;
    FeedbackMsg msg;
    msg.kind = kind;
    msg.time = time;
    msg.voiceGroupId = elementId;
    msg.voiceId = voiceId;
    if (note) {
        msg.nodeId = nodeId;
        msg.instrumentId = note->instrumentId;
        msg.pitch = note->pitch;
        msg.velocity = note->scaledVelocity();
        msg.duration = note->duration;
    }
    controller->feedbackPipe.tryWrite(msg);
}

// ---------------------------------------------------------------------------------------------
// Slots

void VoiceGroup::wake()
{
    const std::lock_guard<std::mutex> locker(waitMutex);
    waitCondition.notify_all();
}

quint64 VoiceGroup::currentTicks() const
{
    AbstractSync* clock = sync();
    return clock ? clock->ticksElapsed() : 0;
}

void VoiceGroup::syncSync()
{
    if (!startedAndRunning())
        return;
    const std::lock_guard<std::mutex> locker(slotMutex);
    rereadClock();
}

void VoiceGroup::reset()
{
    if (!startedAndRunning())
        return;
    const std::lock_guard<std::mutex> locker(slotMutex);
    resetVoices(currentTicks(), 1.0);
}

void VoiceGroup::resetTo(QmdKelvo::Ticks startPos, QmdKelvo::Scale velocityScale)
{
    if (!startedAndRunning())
        return;
    const std::lock_guard<std::mutex> locker(slotMutex);
    resetVoices(quint64(qMax<QmdKelvo::Ticks>(startPos, 0)), velocityScale);
}

void VoiceGroup::resumeWithVoices()
{
    // A group whose voices have all ended starts again from its start node.
    if (activeVoiceCount() == 0)
        resetVoices(currentTicks(), 1.0);
    if (activeVoiceCount() > 0) {
        iterating.store(true);
        wake();
    }
}

void VoiceGroup::continueIterating()
{
    if (!startedAndRunning())
        return;
    const std::lock_guard<std::mutex> locker(slotMutex);
    resumeWithVoices();
}

void VoiceGroup::pauseIterating()
{
    if (!startedAndRunning())
        return;
    const std::lock_guard<std::mutex> locker(slotMutex);
    iterating.store(false);
    wake();
}

void VoiceGroup::deactivateAllVoicesAndPauseIterating()
{
    if (!startedAndRunning())
        return;
    const std::lock_guard<std::mutex> locker(slotMutex);
    deactivateAllVoices();
    iterating.store(false);
    wake();
}

bool VoiceGroup::haltSteps()
{
    // A step holds the slot mutex from start to end, and sees the cleared flag before it
    // begins.
    const std::lock_guard<std::mutex> locker(slotMutex);
    const bool wasIterating = iterating.exchange(false);
    wake();
    return wasIterating;
}

void VoiceGroup::gotoStart()
{
    const std::lock_guard<std::mutex> locker(slotMutex);
    restart(iterating.load());
}

void VoiceGroup::gotoStart(bool resume)
{
    const std::lock_guard<std::mutex> locker(slotMutex);
    restart(resume);
}

void VoiceGroup::restart(bool resume)
{
    // A group that has ended is left as it is: its voices are no longer shown.
    if (terminating.load())
        return;
    resetVoices(currentTicks(), 1.0);
    if (resume)
        resumeWithVoices();
}

void VoiceGroup::terminateSafely()
{
    terminating.store(true);
    wake();
}

// ---------------------------------------------------------------------------------------------
// The thread

void VoiceGroup::run()
{
    if (priority() == QThread::TimeCriticalPriority)
        Platform::requestRealtimeScheduling();
    {
        const std::lock_guard<std::mutex> locker(slotMutex);
        {
            const std::lock_guard<std::mutex> voices(voicesMutex);
            for (int id = 1; id < voiceCapacity; ++id) {
                auto* voice = new Voice;
                voice->id = quint32(id);
                freeVoices.insert(voice);
            }
        }
        rereadClock();
    }
    started.store(true);
    while (!terminating.load()) {
        if (activeVoiceCount() == 0 && iterating.load()) {
            iterating.store(false);
            wake();
        }
        if (iterating.load()) {
            stepping.store(true);
            iterate();
            // A slot that pauses the group or ends it wakes this wait early.
            std::unique_lock<std::mutex> locker(waitMutex);
            waitCondition.wait_for(locker, std::chrono::microseconds(StepMicroseconds),
                                   [this] { return !iterating.load() || terminating.load(); });
        } else {
            std::unique_lock<std::mutex> locker(waitMutex);
            stepping.store(false);
            waitCondition.wait(locker, [this] { return iterating.load() || terminating.load(); });
        }
    }
    // The last thing the thread does: the destructor takes this mutex before it frees
    // anything, which orders the two for the thread sanitizer too.
    const std::lock_guard<std::mutex> locker(waitMutex);
    stepping.store(false);
}

void VoiceGroup::rereadClock()
{
    const bool wasIterating = iterating.load();
    stopAndWait();
    m_sync.store(controller ? controller->sync() : nullptr);
    if (!wasIterating)
        return;
    resumeWithVoices();
}

void VoiceGroup::stopAndWait()
{
    if (!stepping.load())
        return;
    iterating.store(false);
    wake();
    while (stepping.load() && !iterating.load() && isRunning())
        QThread::usleep(50);
}

void VoiceGroup::resetVoices(quint64 startPos, double velocityScale)
{
    stopAndWait();
    deactivateAllVoices();
    // The display forgets the notes of the voices just freed; their note-offs are already
    // queued with their note-ons.
    noteOffs.clear();
    Voice* voice = takeFreeVoice();
    if (!voice || !controller)
        return;
    readScale();

    struct Initial
    {
        QString pitch;
        qint64 velocity = 0;
        double duration = 0;
        quint32 instrument = 0;
    };
    QmdKelvoController* c = controller;
    const quint32 group = elementId;
    const Initial initial = c->lockedRead([c, group] {
        Initial values;
        const QmdIndex elements = c->directElementsRoot();
        const QmdIndex element = elements.isValid() ? c->directIndex(group, elements) : QmdIndex();
        if (element == QmdIndex() || !c->directIsValidIndex(element))
            return values;
        values.pitch = c->directData(K::InitialPitch, element).toString();
        values.velocity = c->directData(K::InitialVelocity, element).toLongLong();
        values.duration = c->directData(K::InitialDuration, element).toDouble();
        values.instrument = c->directData(K::InitialInstrument, element).toUInt();
        return values;
    });

    VoiceState& state = voice->state;
    state.elementId = elementId;
    state.departure = startPos;
    state.arrival = startPos;
    const QString pitch = initial.pitch.trimmed();
    if (pitch.startsWith(QLatin1Char('+')) || pitch.startsWith(QLatin1Char('-'))) {
        // Counted in scale steps from the scale's tonic near middle C.
        int value = int(scaleKey <= 8 ? 60 + scaleKey : 48 + qMin<uint>(scaleKey, 127));
        const qint64 steps = pitch.mid(1).toLongLong();
        advancePitch(&value, int(std::clamp<qint64>(steps, 0, MaxScaleSteps)),
                     pitch.startsWith(QLatin1Char('+')) ? 1 : -1, scaleKey, scaleDegreeMask);
        state.pitch = quint8(qBound(1, value, 127));
    } else {
        state.pitch = QmdKelvoController::parseNoteName(pitch);
    }
    state.velocity = quint8(std::clamp<qint64>(initial.velocity, 0, 127));
    state.velocityScale = velocityScale;
    const double ticks = initial.duration * 665280.0;
    state.duration = ticks > 0 ? quint64(std::llround(qMin(ticks, double(MaxDuration)))) : 0;
    state.instrumentId = initial.instrument;
    writeFeedback(FeedbackMsg::VoiceDeparted, startPos, voice->id);
}

// ---------------------------------------------------------------------------------------------
// The step

void VoiceGroup::iterate()
{
    std::unique_lock<std::mutex> locker(slotMutex, std::try_to_lock);
    while (!locker.owns_lock()) {
        if (terminating.load() || !iterating.load())
            return;
        QThread::usleep(50);
        locker.try_lock();
    }
    // A slot that held the mutex may have paused the group meanwhile.
    if (terminating.load() || !iterating.load())
        return;
    AbstractSync* clock = sync();
    if (!clock || !clock->isPlaying() || !controller)
        return;
    const quint64 began = Platform::hostTimeNs();

    QmdKelvoController* c = controller;
    const quint32 group = elementId;
    groupMuted = c->lockedRead([c, group] {
        const QmdIndex elements = c->directElementsRoot();
        const QmdIndex element = elements.isValid() ? c->directIndex(group, elements) : QmdIndex();
        return element != QmdIndex() && c->directIsValidIndex(element)
            && c->directData(K::DontPlayNote, element).toBool();
    });
    readScale();

    QList<Voice*> voices;
    {
        const std::lock_guard<std::mutex> voicesLocker(voicesMutex);
        voices = activeVoices.values();
    }
    // Arrivals due before the next step comes round are handled now.
    stepHorizon = clock->ticksElapsed() + clock->nanosToTicks(LookAheadNanos);
    // One after another on this thread: every arrival is handled under the model lock and the
    // document's voice-step mutex, so handing voices to other threads would only add the
    // hand-over to each step.
    for (Voice* voice : std::as_const(voices))
        iterateVoice(voice);

    // The display learns of the note ends; the note-offs themselves went out with the notes.
    for (auto it = noteOffs.begin(); it != noteOffs.end();) {
        bool ok = false;
        const quint64 travel = elementTravelTicks(it->state.elementId, &ok);
        const quint64 due = it->state.departure + (ok ? travel : 0);
        if (!groupMuted && due > stepHorizon) {
            ++it;
            continue;
        }
        writeFeedback(FeedbackMsg::NoteEnded, due + it->state.duration, it->voiceId, &it->state,
                      it->nodeId);
        it = noteOffs.erase(it);
    }
    lastStepDuration.store(Platform::hostTimeNs() - began);
    stepCount.fetch_add(1);
}

void VoiceGroup::iterateVoice(Voice* voice)
{
    QmdKelvoController* c = controller;
    if (!c)
        return;
    bool ok = false;
    const quint64 travel = elementTravelTicks(voice->state.elementId, &ok);
    if (!ok) {
        deactivateVoice(voice);
        return;
    }
    voice->state.arrival = voice->state.departure + travel;
    if (voice->state.arrival > stepHorizon)
        return;

    struct Node
    {
        QmdIndex index;
        QmdIndex state;
        QmdIndex tree;
        bool found = false;
        bool hasState = false;
        bool hasTree = false;
        bool dontPlay = false;
        bool instrumentChange = false;
        quint32 instrument = 0;
    };
    const quint32 element = voice->state.elementId;
    const Node node = c->lockedRead([c, element] {
        Node n;
        const QmdIndex elements = c->directElementsRoot();
        const QmdIndex from = elements.isValid() ? c->directIndex(element, elements) : QmdIndex();
        if (from == QmdIndex() || !c->directIsValidIndex(from))
            return n;
        const QmdItemId nodeId = c->directData(K::ToNode, from).toUInt();
        n.index = nodeId ? c->directIndex(nodeId, elements) : QmdIndex();
        if (n.index == QmdIndex() || !c->directIsValidIndex(n.index))
            return n;
        n.found = true;
        n.dontPlay = c->directData(K::DontPlayNote, n.index).toBool();
        n.instrumentChange = c->directData(K::DoInstrumentChange, n.index).toBool();
        n.instrument = c->directData(K::Instrument, n.index).toUInt();
        const QmdIndex states = c->elementStatesRoot();
        n.state = states != QmdIndex() ? c->directIndex(nodeId, states) : QmdIndex();
        n.hasState = n.state != QmdIndex() && c->directIsValidIndex(n.state);
        const QmdIndex trees = c->nodeNotesTreesRoot();
        n.tree = trees != QmdIndex() ? c->directIndex(nodeId, trees) : QmdIndex();
        n.hasTree = n.tree != QmdIndex() && c->directIsValidIndex(n.tree);
        return n;
    });
    if (!node.found) {
        deactivateVoice(voice);
        return;
    }
    const bool muted = node.dontPlay || groupMuted;

    const std::lock_guard<std::mutex> stepLocker(c->voiceStepMutex);
    uint firstEdge = 0;
    QList<uint> furtherEdges;
    chooseEdge(node.index, &firstEdge, &furtherEdges);
    if (node.instrumentChange)
        voice->state.instrumentId = node.instrument;
    if (node.hasState)
        sendUserMidiMessage(node.state, voice->state);
    QList<VoiceState> notes;
    if (node.hasTree) {
        notes = advanceNotesTree(node.tree, firstEdge, voice->state);
        if (!notes.isEmpty())
            voice->state = notes.first();
    }
    const VoiceState kept = voice->state;
    const quint32 voiceId = voice->id;
    deactivateVoice(voice);

    // The first edge, then the others, while the pool has voices. An edge that takes none for
    // another reason (it went since it was chosen) costs the others nothing: the voice would
    // otherwise end here.
    if (spawnVoice(kept, firstEdge) || freeVoiceCount() > 0) {
        for (uint edge : std::as_const(furtherEdges)) {
            if (!spawnVoice(kept, edge) && freeVoiceCount() == 0)
                break;
        }
    }
    if (!muted)
        soundNotes(notes, node.index.itemId(), voiceId, node.hasState ? &node.state : nullptr);

    writeFeedback(FeedbackMsg::NoteSounded, kept.arrival, voiceId, &kept, node.index.itemId());
    if (muted) {
        AbstractSync* clock = sync();
        const quint64 later = clock ? clock->nanosToTicks(100000000) : 0;
        writeFeedback(FeedbackMsg::NoteEnded, kept.arrival + later, voiceId, &kept,
                      node.index.itemId());
    }
}
