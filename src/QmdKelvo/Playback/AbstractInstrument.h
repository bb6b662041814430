#ifndef ABSTRACTINSTRUMENT_H
#define ABSTRACTINSTRUMENT_H

#include "AbstractOutputThread.h"
#include "InstrumentMsg.h"
#include "QmdGlobal.h"
#include "QmdObserver.h"
#include "SortedPipe.h"

#include <QSet>
#include <QVector>

class QmdKelvoController;

// An output thread that sends an instrument's timed messages: each pass takes the messages of
// `pipe` that are due at the clock's tick (at most 32) and hands them as one batch to
// writeMessages(), each stamped with the host time it is due at.
//
// When the output places each message at its time a constant latency later (handOverAheadNs(),
// on JACK one period) and the clock keeps host time, a pass takes the messages due within that
// latency. Between passes the thread sleeps until a write into the pipe brings an earlier
// message, or until the next message is due (less that latency) when the clock can tell its
// host time; with an empty pipe it sleeps until a write, however long. A sleep until a message
// ends after MaxSleepNs at the latest, so that a clock that changed is read again. Only while
// messages are queued whose host time the clock cannot tell (it stands, or a test drives it by
// hand) does the thread poll, every `interval`.
class AbstractInstrument : public AbstractOutputThread, public QmdObserver<QmdKelvoController>
{
    Q_OBJECT

public:
    static constexpr int PipeCapacity = 1000;
    static constexpr int MaxBatch = 32;

    explicit AbstractInstrument(QmdItemId instrumentId);

    QmdItemId id() const { return instrumentId; }
    // Any thread may queue messages here.
    SortedPipe<InstrumentMsg> pipe {PipeCapacity};

    virtual QString typeId() const = 0;
    virtual QString typeName() const = 0;
    // Follows the controller's instrument data; ends in reset().
    void setController(QmdKelvoController* controller) override;
    // Sends one message now, past the pipe, on the caller's thread.
    virtual void playMessage(const InstrumentMsg& message);
    // Takes back what the given sources queued: notes not yet begun go with their note-offs,
    // and the note-off of a note that sounds already becomes due at once.
    void dropQueuedFrom(const QSet<quint32>& sources);

    // Drops every pending message.
    virtual void dropPending();

public slots:
    // Drops every pending message; a concrete instrument also applies its settings again.
    virtual void reset();
    virtual void onInstrumentDataEffected(QmdItemId instrument, const QStringList& keys,
                                          QmdRequestId rid);

protected:
    void iterate() override;
    virtual void writeMessages(const QVector<InstrumentMsg>& batch) = 0;
    // How long before its due time a message may be handed to writeMessages() and still sound
    // at its time; 0 (the base) when it must be handed over when due.
    virtual quint64 handOverAheadNs() const { return 0; }

    const QmdItemId instrumentId;

private:
    QVector<InstrumentMsg> batch;
};

#endif // ABSTRACTINSTRUMENT_H
