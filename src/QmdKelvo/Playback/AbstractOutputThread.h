#ifndef ABSTRACTOUTPUTTHREAD_H
#define ABSTRACTOUTPUTTHREAD_H

#include <QThread>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>

class AbstractSync;

// A thread that follows the transport clock: while running it calls iterate() and sleeps
// `interval` microseconds (on absolute deadlines, so late wake-ups do not add up), or, when
// iterate() asked for it with sleepUntil(), until a given host time or a wakeUp(); while paused
// or not yet played it waits on its condition and uses no time. A change of the clock's timing
// wakes it. Started at QThread::TimeCriticalPriority it asks for real-time scheduling.
//
// Owners stop the thread (terminateSafely(), wait()) before deleting it; a concrete class's
// destructor calls stopThread() first, so that no iteration runs in a half-destroyed object.
class AbstractOutputThread : public QThread
{
    Q_OBJECT

public:
    enum State { New = 0, Paused = 1, Running = 2 };

    explicit AbstractOutputThread(QObject* parent = nullptr);
    ~AbstractOutputThread() override;

    // The clock may be replaced while the thread runs: once this returns, no pass uses the
    // previous clock any more, so it may be deleted. A sleep in progress ends.
    void setSync(AbstractSync* sync);
    // The longest sleep that iterate() can ask for.
    static constexpr quint64 MaxSleepNs = 20000000;
    AbstractSync* currentSync() const { return sync.load(); }
    void setInterval(int microseconds) { interval.store(microseconds); }
    int currentInterval() const { return interval.load(); }
    State currentState() const { return State(state.load()); }

public slots:
    // Lets the thread iterate; a sleep in progress ends.
    virtual void play();
    // Stops the iterations. Returns once the thread is outside iterate() and will not enter it
    // again until play(); called on the thread itself it returns at once.
    virtual void pauseAndWait();
    // Ends the thread's loop; returns at once. wait() then returns once the loop has ended.
    virtual void terminateSafely();
    // Ends a sleep that iterate() asked for: the next pass comes at once. Any thread may call it.
    void wakeUp();

protected:
    void run() override;
    virtual void iterate() = 0;
    // terminateSafely() and wait(): for the destructors of concrete classes.
    void stopThread();
    // Stops the iterations without waiting for the pass in progress.
    void requestPause();
    // From iterate(): after this pass, sleep until host time `hostNs` (Platform::hostTimeNs,
    // at most MaxSleepNs from now) or a wakeUp(), instead of the interval.
    void sleepUntil(quint64 hostNs) { plannedWakeNs = std::max<quint64>(hostNs, 1); }
    // From iterate(): after this pass, sleep until a wakeUp(), play(), setSync() or a pause,
    // however long that takes: for a pass that found nothing to do until one of those.
    void sleepUntilWoken() { plannedWakeNs = UntilWoken; }

    std::atomic<AbstractSync*> sync {nullptr};
    std::atomic<int> state {New};
    std::atomic<bool> quit {false};
    std::atomic<int> interval {500};

private:
    // Standard primitives rather than Qt's: the sanitizers see every wait release the mutex.
    std::condition_variable waitCondition;
    std::condition_variable idleCondition;
    std::mutex waitMutex;
    // The loop is inside iterate(); guarded by waitMutex.
    bool iterating = false;
    // A wakeUp() since the pass began; guarded by waitMutex.
    bool wakeRequested = false;
    static constexpr quint64 UntilWoken = ~quint64(0);
    // What iterate() asked for with sleepUntil() or sleepUntilWoken(); the thread's own.
    quint64 plannedWakeNs = 0;
    QMetaObject::Connection timingConnection; // the clock's timing changes to wakeUp()
};

#endif // ABSTRACTOUTPUTTHREAD_H
