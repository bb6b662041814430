#include "MidiSync.h"

#include "DeadlineSleep.h"
#include "HostTime.h"
#include "MidiInput.h"
#include "MidiOutputSyncClock.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"

#include <QMutexLocker>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <shared_mutex>

namespace {

// The values the rates are computed with: tempo 1..999, ratio parts at least 1.
uint timedTempo(uint t)
{
    return std::clamp(t, 1u, 999u);
}

uint timedRatioPart(uint v)
{
    return std::max(v, 1u);
}

} // namespace

MidiSync::MidiSync(QObject* parent)
    : AbstractSync(parent)
{ }

MidiSync::~MidiSync()
{
    setController(nullptr);
}

void MidiSync::setController(QmdKelvoController* newController)
{
    if (controller) {
        disconnect(controller,
                   qOverload<const QmdIndex&, const QStringList&, QmdRequestId>(
                       &QmdController::itemsChanged),
                   this, &MidiSync::onItemsChanged);
        disconnect(controller,
                   qOverload<const QmdIndex&, const QStringList&, QmdRequestId>(
                       &QmdController::itemsRemoved),
                   this, &MidiSync::onItemsRemoved);
    }
    closeSyncPorts();
    AbstractSync::setController(newController);
    if (!controller)
        return;
    connect(
        controller,
        qOverload<const QmdIndex&, const QStringList&, QmdRequestId>(&QmdController::itemsChanged),
        this, &MidiSync::onItemsChanged);
    connect(
        controller,
        qOverload<const QmdIndex&, const QStringList&, QmdRequestId>(&QmdController::itemsRemoved),
        this, &MidiSync::onItemsRemoved);
    for (const QString& key : {QmdKelvoKeys::SyncMidiInputs, QmdKelvoKeys::SyncMidiOutputs}) {
        const QmdIndex root = controller->index(key, QmdIndex());
        onItemsChanged(root, controller->keys(root));
    }
}

void MidiSync::closeSyncPorts()
{
    // Inputs are detached first and go once a handler running on them has returned; the
    // outputs' threads are stopped and awaited before they go.
    {
        QMutexLocker handler(&handlerMutex);
        std::unique_lock<std::shared_mutex> locker(lock);
        retiredInputs.append(syncInputs);
        syncInputs.clear();
        retiredOutputs.append(syncOutputs);
        syncOutputs.clear();
    }
    deleteRetiredPorts();
}

void MidiSync::deleteRetiredPorts()
{
    QList<MidiInput*> inputs;
    QList<MidiOutputSyncClock*> outputs;
    {
        QMutexLocker handler(&handlerMutex);
        inputs.swap(retiredInputs);
        outputs.swap(retiredOutputs);
    }
    for (MidiInput* input : std::as_const(inputs)) {
        disconnect(input, nullptr, this, nullptr);
        delete input;
    }
    for (MidiOutputSyncClock* output : std::as_const(outputs))
        output->terminateSafely();
    qDeleteAll(outputs);
}

QStringList MidiSync::syncInputPorts() const
{
    std::shared_lock<std::shared_mutex> locker(lock);
    QStringList names;
    for (const MidiInput* input : syncInputs)
        names.append(input->objectName());
    return names;
}

QStringList MidiSync::syncOutputPorts() const
{
    std::shared_lock<std::shared_mutex> locker(lock);
    QStringList names;
    for (const MidiOutputSyncClock* output : syncOutputs)
        names.append(output->objectName());
    return names;
}

MidiSync::PortChanges MidiSync::portChanges(const QmdIndex& parent, const QStringList& keys,
                                            bool removed) const
{
    PortChanges changes;
    if (!controller)
        return changes;
    const QmdIndex inputsRoot = controller->index(QmdKelvoKeys::SyncMidiInputs, QmdIndex());
    const QmdIndex outputsRoot = controller->index(QmdKelvoKeys::SyncMidiOutputs, QmdIndex());
    auto collect = [&](const QmdIndex& root, QSet<QString>& add, QSet<QString>& remove) {
        if (parent == root) {
            for (const QString& key : keys) {
                if (removed)
                    remove.insert(key);
                else if (controller->data(QmdKelvoKeys::MidiSync, controller->index(key, root))
                             .toBool())
                    add.insert(key);
            }
        } else if (parent.isValid() && controller->parent(parent) == root
                   && keys.contains(QmdKelvoKeys::MidiSync)) {
            const QString port = parent.key();
            if (!removed && controller->data(QmdKelvoKeys::MidiSync, parent).toBool())
                add.insert(port);
            else
                remove.insert(port);
        }
    };
    collect(inputsRoot, changes.addInputs, changes.removeInputs);
    collect(outputsRoot, changes.addOutputs, changes.removeOutputs);
    return changes;
}

void MidiSync::applyPortChanges(const PortChanges& changes)
{
    if (changes.addInputs.isEmpty() && changes.removeInputs.isEmpty()
        && changes.addOutputs.isEmpty() && changes.removeOutputs.isEmpty())
        return;
    {
        QMutexLocker handler(&handlerMutex);
        std::unique_lock<std::shared_mutex> locker(lock);
        removeSyncInput(changes.removeInputs);
        addSyncInput(changes.addInputs);
        removeSyncOutput(changes.removeOutputs);
        addSyncOutput(changes.addOutputs);
    }
    deleteRetiredPorts();
}

void MidiSync::onItemsChanged(const QmdIndex& parent, const QStringList& keys)
{
    applyPortChanges(portChanges(parent, keys, false));
}

void MidiSync::onItemsRemoved(const QmdIndex& parent, const QStringList& keys)
{
    applyPortChanges(portChanges(parent, keys, true));
}

void MidiSync::removeSyncInput(const QSet<QString>& names)
{
    for (auto it = syncInputs.begin(); it != syncInputs.end();) {
        if (names.contains((*it)->objectName())) {
            retiredInputs.append(*it);
            it = syncInputs.erase(it);
        } else {
            ++it;
        }
    }
}

void MidiSync::addSyncInput(const QSet<QString>& names)
{
    for (const QString& name : names) {
        // A port already followed is not opened twice.
        if (std::any_of(syncInputs.cbegin(), syncInputs.cend(),
                        [&](const MidiInput* input) { return input->objectName() == name; }))
            continue;
        auto* input = new MidiInput(this);
        input->setObjectName(name);
        input->setIgnoreTypes(input->ignoreTypes() ^ MidiInput::IgnoreTiming);
        input->openPort(name);
        connect(input, &MidiInput::readyRead, this, &MidiSync::onMidiSyncReadyRead,
                Qt::DirectConnection);
        syncInputs.append(input);
    }
}

void MidiSync::removeSyncOutput(const QSet<QString>& names)
{
    for (auto it = syncOutputs.begin(); it != syncOutputs.end();) {
        if (names.contains((*it)->objectName())) {
            retiredOutputs.append(*it);
            it = syncOutputs.erase(it);
        } else {
            ++it;
        }
    }
}

void MidiSync::addSyncOutput(const QSet<QString>& names)
{
    const bool running = isPlaying();
    for (const QString& name : names) {
        if (std::any_of(
                syncOutputs.cbegin(), syncOutputs.cend(),
                [&](const MidiOutputSyncClock* output) { return output->objectName() == name; }))
            continue;
        auto* output = new MidiOutputSyncClock(this);
        output->setObjectName(name);
        output->setSync(this);
        output->setInterval(clockOutputInterval(tempo()));
        output->openPort(name);
        if (running) {
            // It joins the run where it stands, with a Start and the clock of the moment.
            output->startCountingAt(directPulsesElapsed());
            output->safeWrite({0xFA});
            output->safeWrite({0xF8});
            output->play();
        }
        output->start(QThread::TimeCriticalPriority);
        syncOutputs.append(output);
    }
}

QString MidiSync::staticTypeId()
{
    return QStringLiteral("internal");
}

QString MidiSync::staticTypeName()
{
    return tr("MidiSync");
}

quint64 MidiSync::hostTimeNs() const
{
    return Platform::hostTimeNs();
}

int MidiSync::clockOutputInterval(uint tempo)
{
    // A clock's period is 20,833 microseconds at 120 BPM, 2,502 at 999.
    const quint64 periodUs = 60000000 / (24 * timedTempo(tempo));
    return int(std::min<quint64>(500, std::max<quint64>(1, periodUs / 10)));
}

quint64 MidiSync::convert(quint64 value, long double rate)
{
    const long double product = floorl((long double)value * rate);
    if (!(product > 0))
        return 0;
    if (product >= 18446744073709551616.0L)
        return std::numeric_limits<quint64>::max();
    return quint64(product);
}

void MidiSync::updateRates()
{
    const quint64 t = timedTempo(tempoValue.load());
    const quint64 n = timedRatioPart(numeratorValue.load());
    const quint64 d = timedRatioPart(denominatorValue.load());
    const double minuteD = double(d) * 60000000000.0;
    ticksPerNano = (long double)(t * n * TicksPerPrincipal) / (long double)minuteD;
    nanosPerTick = (long double)minuteD / (long double)(t * n * TicksPerPrincipal);
    pulsesPerNano = (long double)(t * PulsesPerBeat) / (long double)NanosPerMinute;
    nanosPerPulse = (long double)NanosPerMinute / (long double)(t * PulsesPerBeat);
    pulsesPerTick = (long double)(d * TicksPerPrincipal) / (long double)(n * TicksPerPrincipal);
    ticksPerPulse = (long double)(n * TicksPerPrincipal) / (long double)(d * TicksPerPrincipal);
    // Toward zero, whichever the sign.
    const quint64 magnitude = convert(
        pulsesOffset < 0 ? quint64(-(pulsesOffset + 1)) + 1 : quint64(pulsesOffset), ticksPerPulse);
    ticksOffset = pulsesOffset < 0 ? -qint64(magnitude) : qint64(magnitude);
    publishPulseState();
}

void MidiSync::carryRunOver(quint64 t)
{
    // A stop stamped before the run began ends it where it began.
    const quint64 d = t > runStartNs ? t - runStartNs : 0;
    t = std::max(t, runStartNs);
    nanosAccumulated += d;
    ticksAccumulated += convert(d, ticksPerNano);
    pulsesAccumulated += convert(d, pulsesPerNano);
    runStartNs = t;
}

void MidiSync::publishPulseState()
{
    QMutexLocker locker(&pulseStateMutex);
    pulseState.playing = playing.load();
    pulseState.accumulated = pulsesAccumulated;
    pulseState.runStartNs = runStartNs;
    pulseState.offset = pulsesOffset;
    pulseState.perNano = pulsesPerNano;
}

quint64 MidiSync::position(quint64 accumulated, long double perNano, qint64 offset) const
{
    quint64 value = accumulated;
    if (isPlaying()) {
        const quint64 now = hostTimeNs();
        // A reader may come just before the run's delayed start.
        if (now > runStartNs)
            value += convert(now - runStartNs, perNano);
    }
    if (offset >= 0)
        return value + quint64(offset);
    const quint64 back = quint64(-(offset + 1)) + 1;
    return back > value ? 0 : value - back;
}

quint64 MidiSync::nanosElapsed() const
{
    std::shared_lock<std::shared_mutex> locker(lock);
    if (!isPlaying())
        return nanosAccumulated;
    const quint64 now = hostTimeNs();
    return nanosAccumulated + (now > runStartNs ? now - runStartNs : 0);
}

quint64 MidiSync::ticksElapsed() const
{
    std::shared_lock<std::shared_mutex> locker(lock);
    return position(ticksAccumulated, ticksPerNano, ticksOffset);
}

quint64 MidiSync::pulsesElapsed() const
{
    std::shared_lock<std::shared_mutex> locker(lock);
    return position(pulsesAccumulated, pulsesPerNano, pulsesOffset);
}

quint64 MidiSync::directPulsesElapsed(quint64 aheadNs) const
{
    PulseState state;
    {
        QMutexLocker locker(&pulseStateMutex);
        state = pulseState;
    }
    quint64 value = state.accumulated;
    if (state.playing) {
        const quint64 now = hostTimeNs() + aheadNs;
        if (now > state.runStartNs)
            value += convert(now - state.runStartNs, state.perNano);
    }
    if (state.offset >= 0)
        return value + quint64(state.offset);
    const quint64 back = quint64(-(state.offset + 1)) + 1;
    return back > value ? 0 : value - back;
}

bool MidiSync::keepsHostTime() const
{
    const quint64 before = Platform::hostTimeNs();
    const quint64 now = hostTimeNs();
    return now >= before && now <= Platform::hostTimeNs();
}

quint64 MidiSync::hostTimeAt(quint64 value, quint64 accumulated, long double perNano, qint64 offset,
                             quint64 runStartNs)
{
    const long double run = (long double)value - (long double)offset - (long double)accumulated;
    const long double ns = ceill((long double)runStartNs + run / perNano);
    return ns < 1 ? 1 : quint64(std::min(ns, 18446744073709551615.0L));
}

bool MidiSync::hostTimeOfTicks(quint64 ticks, quint64* hostNs) const
{
    std::shared_lock<std::shared_mutex> locker(lock);
    if (!isPlaying() || !(ticksPerNano > 0) || !keepsHostTime())
        return false;
    *hostNs = hostTimeAt(ticks, ticksAccumulated, ticksPerNano, ticksOffset, runStartNs);
    return true;
}

bool MidiSync::directHostTimeOfPulses(quint64 pulses, quint64* hostNs) const
{
    PulseState state;
    {
        QMutexLocker locker(&pulseStateMutex);
        state = pulseState;
    }
    if (!state.playing || !(state.perNano > 0) || !keepsHostTime())
        return false;
    *hostNs = hostTimeAt(pulses, state.accumulated, state.perNano, state.offset, state.runStartNs);
    return true;
}

quint64 MidiSync::nanosToTicks(const quint64& nanos) const
{
    std::shared_lock<std::shared_mutex> locker(lock);
    return convert(nanos, ticksPerNano);
}

quint64 MidiSync::ticksToNanos(const quint64& ticks) const
{
    std::shared_lock<std::shared_mutex> locker(lock);
    return convert(ticks, nanosPerTick);
}

quint64 MidiSync::nanosToPulses(const quint64& nanos) const
{
    std::shared_lock<std::shared_mutex> locker(lock);
    return convert(nanos, pulsesPerNano);
}

quint64 MidiSync::pulsesToNanos(const quint64& pulses) const
{
    std::shared_lock<std::shared_mutex> locker(lock);
    return convert(pulses, nanosPerPulse);
}

quint64 MidiSync::ticksToPulses(const quint64& ticks) const
{
    std::shared_lock<std::shared_mutex> locker(lock);
    return convert(ticks, pulsesPerTick);
}

quint64 MidiSync::pulsesToTicks(const quint64& pulses) const
{
    std::shared_lock<std::shared_mutex> locker(lock);
    return convert(pulses, ticksPerPulse);
}

void MidiSync::setPlaying(bool play)
{
    quint64 delay = 0;
    {
        std::shared_lock<std::shared_mutex> locker(lock);
        if (!syncOutputs.isEmpty())
            delay = 10000000;
    }
    setPlayingAt(hostTimeNs(), delay, play);
}

void MidiSync::startWithLead()
{
    quint64 delay = StartLeadNs;
    {
        std::shared_lock<std::shared_mutex> locker(lock);
        if (!syncOutputs.isEmpty())
            delay = std::max<quint64>(delay, 10000000);
    }
    setPlayingAt(hostTimeNs(), delay, true);
}

void MidiSync::setPlayingAt(quint64 t, quint64 delayNs, bool play)
{
    if (play) {
        startAt(t, delayNs);
        return;
    }
    std::unique_lock<std::shared_mutex> locker(lock);
    if (isPlaying()) {
        carryRunOver(t);
        lastStopNs = std::max<quint64>(t, 1);
    }
    playing.store(false, std::memory_order_release);
    publishPulseState();
    // The outputs send the clocks due up to the stop, then a Stop.
    for (MidiOutputSyncClock* output : std::as_const(syncOutputs))
        output->pauseAndWait();
    if (pulsesReceived != 0) {
        // The position becomes that of the clocks received from outside.
        pulsesOffset = qint64(pulsesReceived) - qint64(pulsesAccumulated);
        driftCount = 0;
        updateRates();
    }
}

void MidiSync::startAt(quint64 t, quint64 delayNs)
{
    quint64 start = 0;
    bool clockOutputs = false;
    {
        std::unique_lock<std::shared_mutex> locker(lock);
        // A start while running would drop the time run so far.
        if (isPlaying())
            return;
        // On the host clock, Start goes out as the start is asked for and the first clock at
        // the start itself, each at its time.
        const bool timed = keepsHostTime();
        for (MidiOutputSyncClock* output : std::as_const(syncOutputs))
            if (output->currentSync())
                output->safeWrite({uchar(output->sentClocks() != 0 ? 0xFB : 0xFA)}, timed ? t : 0);
        // Readers see the clock playing at once, standing at its position until the start.
        start = runStartNs = t + delayNs;
        playing.store(true, std::memory_order_release);
        publishPulseState();
        clockOutputs = !syncOutputs.isEmpty();
    }
    if (!clockOutputs)
        return;
    // The first clock marks the start; an output that sends at once must wait for it. The
    // clock's lock is free meanwhile.
    for (quint64 now = hostTimeNs(); now < start; now = hostTimeNs())
        Platform::sleepUntilNs(Platform::monotonicNs() + std::min<quint64>(start - now, 500000));
    std::shared_lock<std::shared_mutex> locker(lock);
    if (!isPlaying() || runStartNs != start)
        return; // stopped, or started again, meanwhile
    const bool timed = keepsHostTime();
    for (MidiOutputSyncClock* output : std::as_const(syncOutputs)) {
        if (output->currentSync())
            output->safeWrite({0xF8}, timed ? start : 0);
        output->play();
    }
}

bool MidiSync::hostTimeOfStop(quint64* hostNs) const
{
    std::shared_lock<std::shared_mutex> locker(lock);
    if (isPlaying() || lastStopNs == 0 || !keepsHostTime())
        return false;
    *hostNs = lastStopNs;
    return true;
}

void MidiSync::reset()
{
    std::unique_lock<std::shared_mutex> locker(lock);
    playing.store(false);
    startPending = false;
    pulsesReceived = 0;
    driftCount = 0;
    nanosAccumulated = ticksAccumulated = pulsesAccumulated = 0;
    runStartNs = 0;
    lastStopNs = 0;
    pulsesOffset = 0;
    updateRates();
    for (MidiOutputSyncClock* output : std::as_const(syncOutputs))
        output->reset();
}

void MidiSync::setTempo(uint t)
{
    {
        std::unique_lock<std::shared_mutex> locker(lock);
        if (t == tempoValue.load())
            return;
        if (isPlaying())
            carryRunOver(hostTimeNs());
        tempoValue.store(t);
        updateRates();
        for (MidiOutputSyncClock* output : std::as_const(syncOutputs))
            output->setInterval(clockOutputInterval(t));
    }
    emit tempoChanged(t);
}

void MidiSync::setPrincipalsToBeatsNumerator(uint n)
{
    {
        std::unique_lock<std::shared_mutex> locker(lock);
        if (n == principalsToBeatsNumerator())
            return;
        if (isPlaying())
            carryRunOver(hostTimeNs());
        numeratorValue.store(n);
        updateRates();
    }
    emit principalsToBeatsNumeratorChanged(n);
}

void MidiSync::setPrincipalsToBeatsDenominator(uint d)
{
    {
        std::unique_lock<std::shared_mutex> locker(lock);
        if (d == principalsToBeatsDenominator())
            return;
        if (isPlaying())
            carryRunOver(hostTimeNs());
        denominatorValue.store(d);
        updateRates();
    }
    emit principalsToBeatsDenominatorChanged(d);
}
