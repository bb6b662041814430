#ifndef MIDISYNC_H
#define MIDISYNC_H

#include "AbstractSync.h"
#include "QmdIndex.h"

#include <QList>
#include <QMutex>
#include <QSet>

#include <atomic>
#include <shared_mutex>

// The transport clock: keeps time from the host clock and turns it into ticks and pulses at
// the document's tempo and principals-to-beats ratio.
//
// Timing state sits behind `lock` (taken for reading by every position and conversion, for
// writing by every change). The getters of the three properties and isPlaying() read atomics
// without it. Tempo, numerator and denominator are stored as given but timed with the tempo
// limited to 1..999 and the ratio's parts to at least 1.
class MidiInput;
struct MidiInputMessage;
class MidiOutputSyncClock;

// It also follows MIDI clock on the input ports marked under "SyncMidiInputs" and sends MIDI
// clock to the output ports marked under "SyncMidiOutputs".
class MidiSync : public AbstractSync
{
    Q_OBJECT

public:
    explicit MidiSync(QObject* parent = nullptr);
    ~MidiSync() override;

    static QString staticTypeId();
    static QString staticTypeName();
    QString typeId() const override { return staticTypeId(); }
    QString typeName() const override { return staticTypeName(); }

    bool isPlaying() const override { return playing.load(std::memory_order_acquire); }
    void setPlaying(bool play) override;
    // Starts or stops the transport as of host time `t`; a start begins `delayNs` later. Until
    // then the clock plays but stands at its position, and readers are not held up.
    void setPlayingAt(quint64 t, quint64 delayNs, bool play);
    void startWithLead() override;

    uint tempo() const override { return tempoValue.load(); }
    uint principalsToBeatsNumerator() const override { return numeratorValue.load(); }
    uint principalsToBeatsDenominator() const override { return denominatorValue.load(); }

    // Also opens the marked sync ports of the document; null closes them all.
    void setController(QmdKelvoController* controller) override;

    quint64 nanosElapsed() const override;
    quint64 ticksElapsed() const override;
    quint64 pulsesElapsed() const override;
    // The pulse position without taking `lock`, for threads that must not wait on it; with
    // `aheadNs`, where the running clock will be that much later.
    quint64 directPulsesElapsed(quint64 aheadNs = 0) const;

    quint64 nanosToTicks(const quint64& nanos) const override;
    quint64 ticksToNanos(const quint64& ticks) const override;
    quint64 nanosToPulses(const quint64& nanos) const override;
    quint64 pulsesToNanos(const quint64& pulses) const override;
    quint64 ticksToPulses(const quint64& ticks) const override;
    quint64 pulsesToTicks(const quint64& pulses) const override;
    bool hostTimeOfTicks(quint64 ticks, quint64* hostNs) const override;
    bool hostTimeOfStop(quint64* hostNs) const override;
    // The host time at which the running clock is at `pulses`, without taking `lock`; false
    // as for hostTimeOfTicks.
    bool directHostTimeOfPulses(quint64 pulses, quint64* hostNs) const;

    // The polling interval of a MIDI clock output at `tempo`, in microseconds: a tenth of a
    // clock's period, at most 500. The output polls only while the clock keeps no host time.
    static int clockOutputInterval(uint tempo);

    // The names of the open sync ports, for inspection.
    QStringList syncInputPorts() const;
    QStringList syncOutputPorts() const;

public slots:
    void reset() override;
    void setTempo(uint t) override;
    void setPrincipalsToBeatsNumerator(uint n) override;
    void setPrincipalsToBeatsDenominator(uint d) override;
    void onItemsChanged(const QmdIndex& parent, const QStringList& keys);
    void onItemsRemoved(const QmdIndex& parent, const QStringList& keys);
    // Runs on the MIDI input thread.
    void onMidiSyncReadyRead(MidiInput* input);

protected:
    // Host time in nanoseconds. Virtual so that tests can drive the clock by hand.
    virtual quint64 hostTimeNs() const;

private:
    // Which marked ports a change of the document opens and closes, read from the controller
    // before `lock` is taken.
    struct PortChanges
    {
        QSet<QString> addInputs, removeInputs, addOutputs, removeOutputs;
    };
    PortChanges portChanges(const QmdIndex& parent, const QStringList& keys, bool removed) const;
    void applyPortChanges(const PortChanges& changes);
    // Deletes the ports taken out of the lists; called with neither mutex held.
    void deleteRetiredPorts();
    // Closes every sync port; a MIDI handler in progress is waited for.
    void closeSyncPorts();
    void handleTimingClock(const MidiInputMessage& message, bool* counted);
    void requestGotoStart();
    void primePlayback(bool playing);
    void startAt(quint64 t, quint64 delayNs);

    // The following run with `lock` held for writing.
    void addSyncInput(const QSet<QString>& names);
    void removeSyncInput(const QSet<QString>& names);
    void addSyncOutput(const QSet<QString>& names);
    void removeSyncOutput(const QSet<QString>& names);
    void updateRates();
    void carryRunOver(quint64 t);
    void publishPulseState();

    quint64 position(quint64 accumulated, long double perNano, qint64 offset) const;
    static quint64 convert(quint64 value, long double rate);
    // The inverse of position() while running: when the run reaches `value`.
    static quint64 hostTimeAt(quint64 value, quint64 accumulated, long double perNano,
                              qint64 offset, quint64 runStartNs);
    // Whether hostTimeNs() reads the host clock (a test may drive it by hand).
    bool keepsHostTime() const;

    // Standard rather than Qt's read-write lock, so that the sanitizers see its ordering.
    mutable std::shared_mutex lock;
    std::atomic<bool> playing {false};
    std::atomic<uint> tempoValue {120};
    std::atomic<uint> numeratorValue {1};
    std::atomic<uint> denominatorValue {1};
    quint64 nanosAccumulated = 0;
    quint64 ticksAccumulated = 0;
    quint64 pulsesAccumulated = 0;
    quint64 runStartNs = 0;
    // Host time of the last stop since the last reset; 0 for none.
    quint64 lastStopNs = 0;
    qint64 ticksOffset = 0;
    qint64 pulsesOffset = 0;
    long double ticksPerNano = 0;
    long double nanosPerTick = 0;
    long double pulsesPerNano = 0;
    long double nanosPerPulse = 0;
    long double pulsesPerTick = 0;
    long double ticksPerPulse = 0;

    // What directPulsesElapsed needs, copied at every change under its own small mutex, which
    // is never held across anything else.
    struct PulseState
    {
        bool playing = false;
        quint64 accumulated = 0;
        quint64 runStartNs = 0;
        qint64 offset = 0;
        long double perNano = 0;
    };
    mutable QMutex pulseStateMutex;
    PulseState pulseState;

    QList<MidiInput*> syncInputs;
    bool startPending = false;
    QList<MidiOutputSyncClock*> syncOutputs;
    quint64 pulsesReceived = 0;
    int driftCount = 0;

    // Held by the MIDI input handler for its whole run, and (before `lock`) by whoever changes
    // the port lists. An input taken out of `syncInputs` is ignored by the handler and deleted
    // only after both are released: deleting waits for a delivery in progress on it.
    QMutex handlerMutex;
    QList<MidiInput*> retiredInputs;
    QList<MidiOutputSyncClock*> retiredOutputs;

    // The tempo estimate from incoming clock; touched only by the MIDI input handler.
    QList<quint64> clockTimes;
    quint64 windowStartNs = 0;
    long double lastEstimate = 0;
    quint64 lastTempoSetNs = 0;
};

#endif // MIDISYNC_H
