#ifndef SORTEDPIPE_H
#define SORTEDPIPE_H

#include <QList>
#include <QVector>

#include <algorithm>
#include <functional>
#include <limits>
#include <mutex>

// A bounded queue of timed items in ascending order of their `time` field (unsigned 64-bit),
// handed from any number of writer threads to one reader, which takes the items that are due.
// Items with equal times are read in the order they were written. Writes fail when the pipe is
// full; nothing ever waits but for the pipe's own mutex, and no callback runs under it.
//
// A reader that sleeps until its next item is due learns of earlier ones through a wake-up
// function: armWakeUp() gives the time of the earliest item, and the first write after it of
// an item due before that time calls the function on the writer's thread.
template<class T>
class SortedPipe
{
public:
    explicit SortedPipe(int capacity)
        : m_capacity(capacity)
    { }
    SortedPipe(const SortedPipe&) = delete;
    SortedPipe& operator=(const SortedPipe&) = delete;

    int capacity() const { return m_capacity; }

    // Set before the pipe is shared.
    void setWakeUp(std::function<void()> wake) { m_wake = std::move(wake); }

    // The time of the earliest item (the largest time when the pipe is empty); a write of an
    // item due before it calls the wake-up function.
    quint64 armWakeUp()
    {
        const std::lock_guard<std::mutex> locker(m_mutex);
        m_wakeBefore = m_items.isEmpty() ? std::numeric_limits<quint64>::max()
                                         : quint64(m_items.first().time);
        return m_wakeBefore;
    }

    int size() const
    {
        const std::lock_guard<std::mutex> locker(m_mutex);
        return int(m_items.size());
    }

    // Queues a copy of `item` after every item due no later; false, and nothing queued, when
    // the pipe is full.
    bool tryWrite(const T& item)
    {
        {
            const std::lock_guard<std::mutex> locker(m_mutex);
            if (m_items.size() >= m_capacity)
                return false;
            insert(item);
            if (!wakesReader(item))
                return true;
        }
        m_wake();
        return true;
    }

    // Queues both items or neither (a note on is never queued without its note off).
    bool tryWrite(const T& first, const T& second)
    {
        {
            const std::lock_guard<std::mutex> locker(m_mutex);
            if (m_items.size() > m_capacity - 2)
                return false;
            insert(first);
            insert(second);
            if (!wakesReader(first) && !wakesReader(second))
                return true;
        }
        m_wake();
        return true;
    }

    // Moves the items due at `now` (time <= now), earliest first, to the end of `out` while
    // `out` holds fewer than `max` items.
    void tryReadIfReady(QVector<T>& out, int max, quint64 now)
    {
        const std::lock_guard<std::mutex> locker(m_mutex);
        qsizetype due = 0;
        const qsizetype room = qMax<qsizetype>(max - out.size(), 0);
        while (due < m_items.size() && due < room && quint64(m_items.at(due).time) <= now)
            ++due;
        if (due == 0)
            return;
        out.append(m_items.cbegin(), m_items.cbegin() + due);
        m_items.remove(0, due);
    }

    // Lets `edit` change the queued items in place, under the pipe's mutex (it must not call
    // the pipe); they are sorted by time again afterwards, equal times keeping their order. A
    // reader asleep until a later item is woken when the edit made one due earlier.
    template<class Edit>
    void edit(Edit edit)
    {
        {
            const std::lock_guard<std::mutex> locker(m_mutex);
            edit(m_items);
            std::stable_sort(m_items.begin(), m_items.end(), [](const T& a, const T& b) {
                return quint64(a.time) < quint64(b.time);
            });
            if (m_items.isEmpty() || !wakesReader(m_items.first()))
                return;
        }
        m_wake();
    }

    void clear()
    {
        const std::lock_guard<std::mutex> locker(m_mutex);
        m_items.clear();
    }

private:
    // Whether `item`, just written, is due before the time armed; the wake-up is disarmed then.
    bool wakesReader(const T& item)
    {
        if (quint64(item.time) >= m_wakeBefore || !m_wake)
            return false;
        m_wakeBefore = 0;
        return true;
    }

    // At the upper bound of the item's time: after every item with a time less or equal.
    void insert(const T& item)
    {
        qsizetype low = 0;
        qsizetype count = m_items.size();
        while (count > 0) {
            const qsizetype half = count / 2;
            const qsizetype middle = low + half;
            if (quint64(item.time) < quint64(m_items.at(middle).time)) {
                count = half;
            } else {
                low = middle + 1;
                count -= half + 1;
            }
        }
        m_items.insert(low, item);
    }

    // A standard mutex, whose ordering the thread sanitizer sees also when writers contend.
    mutable std::mutex m_mutex;
    const int m_capacity;
    QList<T> m_items;
    std::function<void()> m_wake;
    quint64 m_wakeBefore = 0; // disarmed: no time is before it
};

#endif // SORTEDPIPE_H
