#ifndef MIDISYNC_H
#define MIDISYNC_H

#include "AbstractSync.h"

#include <QMutex>
#include <QReadWriteLock>

#include <atomic>

// The transport clock: keeps time from the host clock and turns it into ticks and pulses at
// the document's tempo and principals-to-beats ratio.
//
// Timing state sits behind `lock` (taken for reading by every position and conversion, for
// writing by every change). The getters of the three properties and isPlaying() read atomics
// without it. Tempo, numerator and denominator are stored as given but timed with the tempo
// limited to 1..999 and the ratio's parts to at least 1.
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
    // Starts or stops the transport as of host time `t`; a start begins `delayNs` later.
    void setPlayingAt(quint64 t, quint64 delayNs, bool play);

    uint tempo() const override { return tempoValue.load(); }
    uint principalsToBeatsNumerator() const override { return numeratorValue.load(); }
    uint principalsToBeatsDenominator() const override { return denominatorValue.load(); }

    quint64 nanosElapsed() const override;
    quint64 ticksElapsed() const override;
    quint64 pulsesElapsed() const override;
    // The pulse position without taking `lock`, for threads that must not wait on it.
    quint64 directPulsesElapsed() const;

    quint64 nanosToTicks(const quint64& nanos) const override;
    quint64 ticksToNanos(const quint64& ticks) const override;
    quint64 nanosToPulses(const quint64& nanos) const override;
    quint64 pulsesToNanos(const quint64& pulses) const override;
    quint64 ticksToPulses(const quint64& ticks) const override;
    quint64 pulsesToTicks(const quint64& pulses) const override;

    // The polling interval of a MIDI clock output at `tempo`, in microseconds.
    static int clockOutputInterval(uint tempo);

public slots:
    void reset() override;
    void setTempo(uint t) override;
    void setPrincipalsToBeatsNumerator(uint n) override;
    void setPrincipalsToBeatsDenominator(uint d) override;

protected:
    // Host time in nanoseconds. Virtual so that tests can drive the clock by hand.
    virtual quint64 hostTimeNs() const;

private:
    // The following run with `lock` held for writing.
    void updateRates();
    void carryRunOver(quint64 t);
    void publishPulseState();

    quint64 position(quint64 accumulated, long double perNano, qint64 offset) const;
    static quint64 convert(quint64 value, long double rate);

    mutable QReadWriteLock lock;
    std::atomic<bool> playing {false};
    std::atomic<uint> tempoValue {120};
    std::atomic<uint> numeratorValue {1};
    std::atomic<uint> denominatorValue {1};
    quint64 nanosAccumulated = 0;
    quint64 ticksAccumulated = 0;
    quint64 pulsesAccumulated = 0;
    quint64 runStartNs = 0;
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
};

#endif // MIDISYNC_H
