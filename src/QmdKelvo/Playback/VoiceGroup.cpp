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

std::chrono::microseconds VoiceGroup::nextStepPhase()
{
    // Spread evenly however many groups there are: each new one falls in the largest gap
    // that the ones before it left (the golden ratio's sequence).
    static std::atomic<quint32> made {0};
    const double turn = std::fmod(double(made.fetch_add(1)) * 0.6180339887498949, 1.0);
    return std::chrono::microseconds(qMax<qint64>(1, qint64(turn * double(StepMicroseconds))));
}

VoiceGroup::VoiceGroup(uint elementId, QmdKelvoController* controller)
    : QThread(nullptr)
    , elementId(elementId)
    , stepPhase(nextStepPhase())
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
    writeFeedback(feedback(FeedbackMsg::VoiceFreed, voice->state.arrival, voice->id));
}

void VoiceGroup::deactivateAllVoices()
{
    const std::lock_guard<std::mutex> locker(voicesMutex);
    for (Voice* voice : std::as_const(activeVoices))
        writeFeedback(feedback(FeedbackMsg::VoiceFreed, voice->state.arrival, voice->id));
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

FeedbackMsg VoiceGroup::feedback(quint32 kind, quint64 time, quint32 voiceId,
                                 const VoiceState* note, quint32 nodeId) const
{
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
    return msg;
}

void VoiceGroup::writeFeedback(const FeedbackMsg& msg)
{
    if (controller)
        controller->feedbackPipe.tryWrite(msg);
}

void VoiceGroup::releaseVoice(Batch& batch, Voice* voice)
{
    const std::lock_guard<std::mutex> locker(voicesMutex);
    if (!activeVoices.remove(voice))
        return;
    freeVoices.insert(voice);
    batch.feedback.push_back(feedback(FeedbackMsg::VoiceFreed, voice->state.arrival, voice->id));
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
    // A group whose voices have all ended starts again from its start node, unless they
    // ended in the step that prepared this start.
    if (activeVoiceCount() == 0 && !prepared)
        resetVoices(currentTicks(), 1.0);
    prepared = false;
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

void VoiceGroup::prepareStart()
{
    if (!startedAndRunning())
        return;
    const std::lock_guard<std::mutex> locker(slotMutex);
    AbstractSync* clock = sync();
    // A group that steps already has handled what is due.
    if (terminating.load() || iterating.load() || !clock || !controller)
        return;
    if (activeVoiceCount() == 0)
        resetVoices(currentTicks(), 1.0);
    if (activeVoiceCount() > 0)
        step(clock);
    prepared = true;
}

void VoiceGroup::pauseIterating()
{
    if (!startedAndRunning())
        return;
    const std::lock_guard<std::mutex> locker(slotMutex);
    prepared = false;
    iterating.store(false);
    wake();
}

void VoiceGroup::deactivateAllVoicesAndPauseIterating()
{
    if (!startedAndRunning())
        return;
    const std::lock_guard<std::mutex> locker(slotMutex);
    prepared = false;
    deactivateAllVoices();
    iterating.store(false);
    wake();
}

bool VoiceGroup::haltSteps()
{
    // A step holds the slot mutex from start to end, and sees the cleared flag before it
    // begins.
    const std::lock_guard<std::mutex> locker(slotMutex);
    prepared = false;
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
    // Steps keep to a schedule of their own: the next one is due a period after the last was
    // due, however long the last one took, and a group that fell behind starts afresh.
    const auto period = std::chrono::microseconds(StepMicroseconds);
    auto due = std::chrono::steady_clock::now();
    while (!terminating.load()) {
        if (activeVoiceCount() == 0 && iterating.load()) {
            iterating.store(false);
            wake();
        }
        if (iterating.load()) {
            stepping.store(true);
            iterate();
            due += period;
            const auto now = std::chrono::steady_clock::now();
            if (due + period < now)
                due = now;
            // A slot that pauses the group or ends it wakes this wait early.
            std::unique_lock<std::mutex> locker(waitMutex);
            waitCondition.wait_until(locker, due,
                                     [this] { return !iterating.load() || terminating.load(); });
        } else {
            std::unique_lock<std::mutex> locker(waitMutex);
            stepping.store(false);
            waitCondition.wait(locker, [this] { return iterating.load() || terminating.load(); });
            // The first step at once, the next one this group's phase later: groups that are
            // continued together then step at moments of their own, and a burst of arrivals
            // that they share reaches the voice-step mutex spread over a period, not all at
            // once.
            due = std::chrono::steady_clock::now() - period + stepPhase;
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
    Voice* voice = takeFreeVoice();
    if (!voice || !controller)
        return;

    struct Initial
    {
        QString pitch;
        qint64 velocity = 0;
        double duration = 0;
        quint32 instrument = 0;
    };
    QmdKelvoController* c = controller;
    const Initial initial = c->lockedRead([this, c] {
        Initial values;
        Batch batch;
        directBeginBatch(batch);
        directReadGroup(batch);
        const QmdIndex element = directChild(batch.elements, elementId);
        if (element == QmdIndex())
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
    writeFeedback(feedback(FeedbackMsg::VoiceDeparted, startPos, voice->id));
}

// ---------------------------------------------------------------------------------------------
// Batches

void VoiceGroup::inBatch(const std::function<void(Batch&)>& work)
{
    Batch batch;
    controller->lockedRead([&] {
        directBeginBatch(batch);
        work(batch);
        directCommit(batch);
    });
    send(batch);
}

void VoiceGroup::directBeginBatch(Batch& batch)
{
    QmdKelvoController* c = controller;
    const quint64 generation = c->documentGeneration();
    if (generation != readGeneration) {
        readGeneration = generation;
        groupRead = false;
        elementsRead.clear();
        nodesRead.clear();
        treeNodesRead.clear();
    }
    batch.elements = c->directElementsRoot();
    const QmdIndex temp = c->directIndex(K::Temp, QmdIndex());
    const bool hasTemp = temp != QmdIndex() && c->directIsValidIndex(temp);
    batch.states = hasTemp ? c->directIndex(K::ElementStates, temp) : QmdIndex();
    batch.trees = hasTemp ? c->directIndex(K::NodeNotesTrees, temp) : QmdIndex();
}

qsizetype VoiceGroup::writtenAt(const Batch& batch, const QmdIndex& container)
{
    // A busy step writes to a hundred containers and more, each several times.
    return batch.writeAt.value(TreePlace {container}, -1);
}

QList<QVariant> VoiceGroup::runTimeValues(const Batch& batch, const QmdIndex& container,
                                          const QStringList& keys) const
{
    QList<QVariant> values = controller->directData(keys, container);
    const qsizetype at = writtenAt(batch, container);
    if (at < 0)
        return values;
    const QHash<QString, QVariant>& written = batch.writes.at(at).second;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        const auto value = written.constFind(keys.at(i));
        if (value != written.cend())
            values[i] = *value;
    }
    return values;
}

void VoiceGroup::setRunTimeValue(Batch& batch, const QmdIndex& container, const QString& key,
                                 const QVariant& value)
{
    qsizetype at = writtenAt(batch, container);
    if (at < 0) {
        at = batch.writes.size();
        batch.writes.append({container, {}});
        batch.writeAt.insert(TreePlace {container}, at);
    }
    batch.writes[at].second.insert(key, value);
}

void VoiceGroup::directCommit(Batch& batch)
{
    if (batch.writes.isEmpty())
        return;
    controller->requestSetRunTimeData(batch.writes);
    batch.writes.clear();
    batch.writeAt.clear();
}

void VoiceGroup::send(Batch& batch)
{
    QmdKelvoController* c = controller;
    for (Outgoing& out : batch.outgoing) {
        // Each message names this group, so that stopping it can take back what it queued.
        out.first.source = elementId;
        out.second.source = elementId;
        switch (out.kind) {
        case Outgoing::Message:
            c->tryWriteToInstrument(out.instrument, out.first);
            break;
        case Outgoing::NotePair:
            c->tryWriteToInstrument(out.instrument, out.first, out.second);
            break;
        case Outgoing::CurveTravel:
            sendCurve(out);
            break;
        }
    }
    batch.outgoing.clear();
    for (const FeedbackMsg& msg : batch.feedback)
        writeFeedback(msg);
    batch.feedback.clear();
}

QmdIndex VoiceGroup::directChild(const QmdIndex& container, uint id) const
{
    QmdKelvoController* c = controller;
    if (id == 0 || container == QmdIndex())
        return QmdIndex();
    const QmdIndex child = c->directIndex(id, container);
    return child != QmdIndex() && c->directIsValidIndex(child) ? child : QmdIndex();
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
    step(clock);
}

void VoiceGroup::step(AbstractSync* clock)
{
    QmdKelvoController* c = controller;
    const quint64 began = Platform::hostTimeNs();

    // The group's own settings and how long each voice's travel takes, as the document now
    // has them (a node moved while a voice travels moves its arrival). Read under the model
    // lock only when the document has changed or a voice travels an element not yet read.
    {
        const std::lock_guard<std::mutex> voicesLocker(voicesMutex);
        stepVoices.assign(activeVoices.cbegin(), activeVoices.cend());
    }
    bool known = groupRead && c->documentGeneration() == readGeneration;
    for (size_t i = 0; known && i < stepVoices.size(); ++i)
        known = elementsRead.count(stepVoices[i]->state.elementId) != 0;
    if (!known) {
        c->lockedRead([this] {
            directBeginBatch(stepBatch);
            directReadGroup(stepBatch);
            for (Voice* voice : stepVoices)
                directElementInfo(stepBatch, voice->state.elementId);
        });
    }

    // Arrivals due before the next step comes round are handled now. The clock is asked
    // before the locks are taken.
    stepHorizon = clock->ticksElapsed() + clock->nanosToTicks(LookAheadNanos);
    mutedNoteTicks = clock->nanosToTicks(100000000);
    arrivals.clear();
    for (Voice* voice : stepVoices) {
        const auto element = elementsRead.find(voice->state.elementId);
        if (element == elementsRead.end() || !element->second.travels) {
            deactivateVoice(voice);
            continue;
        }
        voice->state.arrival = voice->state.departure + element->second.travel;
        if (voice->state.arrival <= stepHorizon)
            arrivals.push_back(voice);
    }

    if (!arrivals.empty()) {
        {
            const std::lock_guard<std::mutex> stepLocker(c->voiceStepMutex);
            c->lockedRead([this] {
                directBeginBatch(stepBatch);
                // Voices that these arrivals place and that arrive before the next step (along
                // a wormhole, say) arrive now too, a few rounds at most: a chain of them at
                // the start is then ready as soon as the first step is.
                for (int round = 0; round < MaxArrivalRounds && !arrivals.empty(); ++round) {
                    for (Voice* voice : arrivals)
                        arrive(stepBatch, voice);
                    arrivals.clear();
                    const std::lock_guard<std::mutex> voicesLocker(voicesMutex);
                    for (Voice* voice : std::as_const(activeVoices)) {
                        if (voice->state.arrival <= stepHorizon)
                            arrivals.push_back(voice);
                    }
                }
                directCommit(stepBatch);
            });
        }
        send(stepBatch);
    }
    lastStepDuration.store(Platform::hostTimeNs() - began);
    stepCount.fetch_add(1);
}

void VoiceGroup::arrive(Batch& batch, Voice* voice)
{
    const ElementInfo& from = directElementInfo(batch, voice->state.elementId);
    const NodeInfo& node = directNodeInfo(batch, from.toNode);
    if (!node.exists) {
        releaseVoice(batch, voice);
        return;
    }
    const bool muted = groupMuted || node.dontPlay;

    uint firstEdge = 0;
    QList<uint> furtherEdges;
    directChooseEdge(batch, node, &firstEdge, &furtherEdges);
    if (node.instrumentChange)
        voice->state.instrumentId = node.instrument;
    if (node.state != QmdIndex())
        directSendUserMidiMessage(batch, node, voice->state);
    QList<VoiceState> notes;
    if (node.tree != QmdIndex()) {
        notes = directAdvanceNotesTree(batch, node.tree, firstEdge, voice->state);
        if (!notes.isEmpty())
            voice->state = notes.first();
    }
    const VoiceState kept = voice->state;
    const quint32 voiceId = voice->id;
    releaseVoice(batch, voice);

    // The first edge, then the others, while the pool has voices. An edge that takes none for
    // another reason (it went since it was chosen) costs the others nothing: the voice would
    // otherwise end here.
    if (directSpawnVoice(batch, kept, firstEdge) || freeVoiceCount() > 0) {
        for (uint edge : std::as_const(furtherEdges)) {
            if (!directSpawnVoice(batch, kept, edge) && freeVoiceCount() == 0)
                break;
        }
    }
    if (!muted)
        directSoundNotes(batch, notes, from.toNode, voiceId, node.state);

    batch.feedback.push_back(
        feedback(FeedbackMsg::NoteSounded, kept.arrival, voiceId, &kept, from.toNode));
    if (muted)
        batch.feedback.push_back(feedback(FeedbackMsg::NoteEnded, kept.arrival + mutedNoteTicks,
                                          voiceId, &kept, from.toNode));
}
