#ifndef ABSTRACTSYNC_H
#define ABSTRACTSYNC_H

#include "QmdObserver.h"

#include <QObject>
#include <QStringList>

#include <functional>

class QmdKelvoController;

// The transport clock of a document: the position in host-time nanoseconds, in ticks of the
// grid (665280 per principal) and in pulses (665280 per beat), conversions between them at the
// current tempo and principals-to-beats ratio, and starting and stopping. Every operation may
// be called from any thread.
class AbstractSync : public QObject, public QmdObserver<QmdKelvoController>
{
    Q_OBJECT
    Q_PROPERTY(uint tempo READ tempo WRITE setTempo NOTIFY tempoChanged)
    Q_PROPERTY(uint principalsToBeatsNumerator READ principalsToBeatsNumerator WRITE
                   setPrincipalsToBeatsNumerator NOTIFY principalsToBeatsNumeratorChanged)
    Q_PROPERTY(uint principalsToBeatsDenominator READ principalsToBeatsDenominator WRITE
                   setPrincipalsToBeatsDenominator NOTIFY principalsToBeatsDenominatorChanged)

public:
    static constexpr quint64 TicksPerPrincipal = 665280;
    static constexpr quint64 PulsesPerBeat = 665280;
    static constexpr quint64 PulsesPerMidiClock = 27720;
    static constexpr quint64 NanosPerMinute = 60000000000ULL;

    explicit AbstractSync(QObject* parent = nullptr);
    ~AbstractSync() override;

    virtual QString typeId() const = 0;
    virtual QString typeName() const = 0;
    // Follows the controller's "Tempo", "PrincipalsToBeatsNumerator" and
    // "PrincipalsToBeatsDenominator" and resets with its model; null detaches. Ends in reset().
    void setController(QmdKelvoController* controller) override;
    virtual bool isPlaying() const = 0;
    virtual void setPlaying(bool play) = 0;
    // How long after a transport start asks for it the clock begins to run: long enough for
    // the voice groups to step and the instruments to hand over what is due at the start, so
    // that those notes are not late. Until then the clock plays but stands at its position.
    static constexpr quint64 StartLeadNs = 20000000;
    // Starts the transport StartLeadNs from now; a clock that keeps no host time starts at once
    // (the base class).
    virtual void startWithLead() { setPlaying(true); }
    virtual uint tempo() const = 0;
    virtual uint principalsToBeatsNumerator() const = 0;
    virtual uint principalsToBeatsDenominator() const = 0;
    virtual quint64 nanosElapsed() const = 0;
    virtual quint64 ticksElapsed() const = 0;
    virtual quint64 pulsesElapsed() const = 0;
    virtual quint64 nanosToTicks(const quint64& nanos) const = 0;
    virtual quint64 ticksToNanos(const quint64& ticks) const = 0;
    virtual quint64 nanosToPulses(const quint64& nanos) const = 0;
    virtual quint64 pulsesToNanos(const quint64& pulses) const = 0;
    virtual quint64 ticksToPulses(const quint64& ticks) const = 0;
    virtual quint64 pulsesToTicks(const quint64& pulses) const = 0;
    // The host time (Platform::hostTimeNs) at which the running clock is at `ticks`, which may
    // lie in the past; false while the clock stands or when it does not keep host time (a
    // clock driven by hand). The base class knows none.
    virtual bool hostTimeOfTicks(quint64 ticks, quint64* hostNs) const;
    // The host time at which the clock last stopped; false while it plays, after a reset, or
    // when it does not keep host time. The base class knows none.
    virtual bool hostTimeOfStop(quint64* hostNs) const;

public slots:
    virtual void reset() { }
    virtual void setTempo(uint t) = 0;
    virtual void setPrincipalsToBeatsNumerator(uint n) = 0;
    virtual void setPrincipalsToBeatsDenominator(uint d) = 0;

signals:
    void tempoChanged(uint tempo);
    void principalsToBeatsNumeratorChanged(uint n);
    void principalsToBeatsDenominatorChanged(uint d);
    // After any of the three, on the thread that changed it.
    void timingChanged();
};

// The clock types: a new clock of the type `typeId` (compared in lower case) owned by
// `parent`, or null for an unknown type.
AbstractSync* createSync(const QString& typeId, QObject* parent);
// The types a document offers, and their display names (empty for any other type).
QStringList syncTypeIds();
QString syncTypeName(const QString& typeId);

// Makes a clock owned by the given parent.
using SyncFactory = std::function<AbstractSync*(QObject* parent)>;
// Teaches createSync() a further clock type, such as a clock that a test drives by hand. The
// type is not offered: syncTypeIds() and syncTypeName() leave it out. Registering a type again
// replaces its factory; the built-in "internal" type cannot be replaced.
void registerSyncType(const QString& typeId, const SyncFactory& factory);

#endif // ABSTRACTSYNC_H
