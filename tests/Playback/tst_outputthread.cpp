#include "AbstractInstrument.h"
#include "AbstractOutputThread.h"
#include "HostTime.h"
#include "MidiOutputSyncClock.h"
#include "MidiSync.h"
#include "QmdKelvoController.h"

#include <QtTest>

#include <algorithm>
#include <atomic>

// Counts its passes, notes any pass made after a pause was acknowledged, and pauses itself
// from its own thread at pass `selfPauseAt`.
class CountingThread : public AbstractOutputThread
{
public:
    ~CountingThread() override { stopThread(); }
    std::atomic<int> passes {0};
    std::atomic<bool> pauseAcknowledged {false};
    std::atomic<int> passesAfterPause {0};
    std::atomic<int> selfPauseAt {-1};

protected:
    void iterate() override
    {
        if (pauseAcknowledged.load())
            ++passesAfterPause;
        const int n = ++passes;
        QThread::usleep(50); // a pass that takes time, so pauses land inside it
        if (n == selfPauseAt.load())
            pauseAndWait();
    }
};

// Counts its passes and notes when the last message reached its output.
class RecordingInstrument : public AbstractInstrument
{
public:
    RecordingInstrument()
        : AbstractInstrument(1)
    { }
    ~RecordingInstrument() override { stopThread(); }
    QString typeId() const override { return QStringLiteral("recording"); }
    QString typeName() const override { return typeId(); }
    std::atomic<int> passes {0};
    std::atomic<int> written {0};
    std::atomic<quint64> writtenNs {0};

protected:
    void iterate() override
    {
        ++passes;
        AbstractInstrument::iterate();
    }
    void writeMessages(const QVector<InstrumentMsg>& batch) override
    {
        writtenNs = Platform::hostTimeNs();
        written += int(batch.size());
    }
};

// Counts its passes. Without a port, its first clock fails and pauses it.
class CountingClockOutput : public MidiOutputSyncClock
{
public:
    ~CountingClockOutput() override { stopThread(); }
    std::atomic<int> passes {0};

protected:
    void iterate() override
    {
        ++passes;
        MidiOutputSyncClock::iterate();
    }
};

class TestOutputThread : public QObject
{
    Q_OBJECT

private slots:
    void playPauseAndTerminate();
    void pauseFromItsOwnThread();
    void idleInstrumentSleepsUntilAWrite();
    void clockOutputSleepsBetweenClocks();
};

void TestOutputThread::playPauseAndTerminate()
{
    CountingThread thread;
    thread.start();
    QThread::msleep(20);
    QCOMPARE(thread.passes.load(), 0); // not played yet
    QCOMPARE(thread.currentState(), AbstractOutputThread::New);

    for (int round = 0; round < 5; ++round) {
        thread.pauseAcknowledged = false;
        const int before = thread.passes.load();
        thread.play();
        QTRY_VERIFY(thread.passes.load() > before + 2);
        thread.pauseAndWait();
        thread.pauseAcknowledged = true;
        const int atPause = thread.passes.load();
        QThread::msleep(2);
        QCOMPARE(thread.passes.load(), atPause);
    }
    QCOMPARE(thread.passesAfterPause.load(), 0);

    // Ends from the paused state and from the running one.
    thread.terminateSafely();
    QVERIFY(thread.wait(5000));
    CountingThread running;
    running.start(QThread::TimeCriticalPriority);
    running.play();
    QTRY_VERIFY(running.passes.load() > 0);
    running.terminateSafely();
    QVERIFY(running.wait(5000));
}

void TestOutputThread::pauseFromItsOwnThread()
{
    CountingThread thread;
    thread.selfPauseAt = 3;
    thread.start();
    thread.play();
    QTRY_COMPARE(thread.currentState(), AbstractOutputThread::Paused);
    thread.pauseAndWait(); // returns: the thread is idle
    QCOMPARE(thread.passes.load(), 3);
    thread.play();
    QTRY_VERIFY(thread.passes.load() > 3);
}

void TestOutputThread::idleInstrumentSleepsUntilAWrite()
{
    MidiSync clock;
    clock.reset();
    RecordingInstrument instrument;
    instrument.setSync(&clock);
    instrument.start(QThread::TimeCriticalPriority);
    instrument.play();
    // A clock that runs tells the host time of its ticks; one that stands does not.
    for (const bool running : {true, false}) {
        clock.setPlaying(running);
        QElapsedTimer window;
        window.start();
        const int before = instrument.passes.load();
        QThread::msleep(300);
        const qint64 ms = window.elapsed();
        const int passes = instrument.passes.load() - before;
        // A pass every 20 ms: at most half as many are allowed, a poll made hundreds.
        QVERIFY2(passes <= ms / 10 + 2,
                 qPrintable(QStringLiteral("%1 passes in %2 ms").arg(passes).arg(ms)));

        // A message written as a sleep begins wakes it at once, not at the end of the sleep.
        std::vector<quint64> delays;
        for (int i = 0; i < 5; ++i) {
            QElapsedTimer waited;
            waited.start();
            const int pass = instrument.passes.load();
            while (instrument.passes.load() == pass && waited.elapsed() < 5000)
                QThread::usleep(100);
            InstrumentMsg message;
            message.kind = InstrumentMsg::Raw;
            message.time = clock.ticksElapsed();
            const int count = instrument.written.load();
            const quint64 writeNs = Platform::hostTimeNs();
            QVERIFY(instrument.pipe.tryWrite(message));
            QTRY_COMPARE_WITH_TIMEOUT(instrument.written.load(), count + 1, 5000);
            delays.push_back(instrument.writtenNs.load() - writeNs);
        }
        std::sort(delays.begin(), delays.end());
        QVERIFY2(delays[2] < AbstractOutputThread::MaxSleepNs / 2,
                 qPrintable(QStringLiteral("%1 ns").arg(delays[2])));
    }
}

void TestOutputThread::clockOutputSleepsBetweenClocks()
{
    MidiSync clock; // 120 BPM: a clock every 20.8 ms
    clock.reset();
    CountingClockOutput output;
    output.setSync(&clock);
    output.setInterval(MidiSync::clockOutputInterval(clock.tempo()));
    output.start(QThread::TimeCriticalPriority);
    clock.setPlaying(true);
    output.play();
    // With no port open, the first clock's write fails and pauses the output, a clock's
    // period after the start. A sleep lasts 20 ms at most: three passes; a poll made hundreds.
    QTRY_COMPARE_WITH_TIMEOUT(output.currentState(), AbstractOutputThread::Paused, 5000);
    QVERIFY2(output.passes.load() <= 6, qPrintable(QString::number(output.passes.load())));
}

QTEST_GUILESS_MAIN(TestOutputThread)
#include "tst_outputthread.moc"
