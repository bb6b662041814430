#ifndef ABSTRACTOUTPUTTHREAD_H
#define ABSTRACTOUTPUTTHREAD_H

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

class AbstractSync;

// A thread that polls the transport clock: while running it calls iterate() and sleeps
// `interval` microseconds (on absolute deadlines, so late wake-ups do not add up); while paused
// or not yet played it waits on its condition and uses no time. Started at
// QThread::TimeCriticalPriority it asks for real-time scheduling.
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
    // previous clock any more, so it may be deleted.
    void setSync(AbstractSync* sync);
    AbstractSync* currentSync() const { return sync.load(); }
    void setInterval(int microseconds) { interval.store(microseconds); }
    int currentInterval() const { return interval.load(); }
    State currentState() const { return State(state.load()); }

public slots:
    // Lets the thread iterate.
    virtual void play();
    // Stops the iterations. Returns once the thread is outside iterate() and will not enter it
    // again until play(); called on the thread itself it returns at once.
    virtual void pauseAndWait();
    // Ends the thread's loop; returns at once. wait() then returns once the loop has ended.
    virtual void terminateSafely();

protected:
    void run() override;
    virtual void iterate() = 0;
    // terminateSafely() and wait(): for the destructors of concrete classes.
    void stopThread();
    // Stops the iterations without waiting for the pass in progress.
    void requestPause();

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
};

#endif // ABSTRACTOUTPUTTHREAD_H
