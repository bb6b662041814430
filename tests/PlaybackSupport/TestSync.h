#ifndef TESTSYNC_H
#define TESTSYNC_H

#include "AbstractSync.h"

#include <atomic>

// A transport clock that a test drives: its position moves only when the test sets or advances
// it, playing or not. Once registerType() has run, a document whose "SyncType" is "test" plays
// against one:
//
//     TestSync::registerType();
//     controller.requestSetData("SyncType", TestSync::staticTypeId(), QmdIndex());
//     auto* clock = qobject_cast<TestSync*>(controller.sync());
//
// Tempo and the principals-to-beats ratio follow the document as they do for any clock and set
// the conversions between ticks, pulses and nanoseconds (tempo limited to 1..999, the ratio's
// parts to at least 1). Every operation may be called from any thread.
class TestSync : public AbstractSync
{
    Q_OBJECT

public:
    explicit TestSync(QObject* parent = nullptr);

    // "test".
    static QString staticTypeId();
    // Makes the type known to createSync(); repeating it does no harm.
    static void registerType();

    QString typeId() const override { return staticTypeId(); }
    QString typeName() const override { return staticTypeId(); }

    bool isPlaying() const override { return playing.load(); }
    void setPlaying(bool play) override { playing.store(play); }
    uint tempo() const override { return tempoValue.load(); }
    uint principalsToBeatsNumerator() const override { return numeratorValue.load(); }
    uint principalsToBeatsDenominator() const override { return denominatorValue.load(); }

    quint64 nanosElapsed() const override { return ticksToNanos(ticks.load()); }
    quint64 ticksElapsed() const override { return ticks.load(); }
    quint64 pulsesElapsed() const override { return ticksToPulses(ticks.load()); }
    quint64 nanosToTicks(const quint64& nanos) const override;
    quint64 ticksToNanos(const quint64& ticks) const override;
    quint64 nanosToPulses(const quint64& nanos) const override;
    quint64 pulsesToNanos(const quint64& pulses) const override;
    quint64 ticksToPulses(const quint64& ticks) const override;
    quint64 pulsesToTicks(const quint64& pulses) const override;

    // Moves the position.
    void setTicksElapsed(quint64 position) { ticks.store(position); }
    void advanceTicks(quint64 by) { ticks.fetch_add(by); }

public slots:
    // Stopped at position 0.
    void reset() override;
    void setTempo(uint t) override;
    void setPrincipalsToBeatsNumerator(uint n) override;
    void setPrincipalsToBeatsDenominator(uint d) override;

private:
    // Ticks per pulse and pulses per nanosecond at the current settings.
    long double ticksPerPulse() const;
    long double pulsesPerNano() const;

    std::atomic<bool> playing {false};
    std::atomic<quint64> ticks {0};
    std::atomic<uint> tempoValue {120};
    std::atomic<uint> numeratorValue {1};
    std::atomic<uint> denominatorValue {1};
};

#endif // TESTSYNC_H
