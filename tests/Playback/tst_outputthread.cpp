#include "AbstractOutputThread.h"

#include <QtTest>

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

class TestOutputThread : public QObject
{
    Q_OBJECT

private slots:
    void playPauseAndTerminate();
    void pauseFromItsOwnThread();
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

QTEST_GUILESS_MAIN(TestOutputThread)
#include "tst_outputthread.moc"
