#include "InstrumentMsg.h"
#include "SortedPipe.h"

#include <QTest>

namespace {

InstrumentMsg message(quint64 time, quint8 id)
{
    InstrumentMsg m;
    m.time = time;
    m.data1 = id;
    return m;
}

// The ids of what a reader takes at `now`, at most `max`.
QList<int> read(SortedPipe<InstrumentMsg>& pipe, quint64 now, int max = 1000)
{
    QVector<InstrumentMsg> out;
    pipe.tryReadIfReady(out, max, now);
    QList<int> ids;
    for (const InstrumentMsg& m : out)
        ids.append(m.data1);
    return ids;
}

} // namespace

class TestSortedPipe : public QObject
{
    Q_OBJECT

private slots:
    // An edit may drop and retime items; the pipe is in time order again afterwards, equal
    // times in their former order.
    void editKeepsTimeOrder()
    {
        SortedPipe<InstrumentMsg> pipe(1000);
        for (quint8 id = 1; id <= 6; ++id)
            QVERIFY(pipe.tryWrite(message(10 * id, id)));
        pipe.edit([](QList<InstrumentMsg>& items) {
            items.removeAt(1); // 20
            items[3].time = 0; // 50
            items[4].time = 10; // 60, after the 10 already there
        });
        QCOMPARE(read(pipe, 10), (QList<int> {5, 1, 6}));
        QCOMPARE(read(pipe, 100), (QList<int> {3, 4}));
    }

    void capacityOfSingleAndPairWrites()
    {
        SortedPipe<InstrumentMsg> pipe(1000);
        for (int i = 0; i < 998; ++i)
            QVERIFY(pipe.tryWrite(message(i, 0)));
        QVERIFY(pipe.tryWrite(message(1, 1), message(2, 2))); // two places left
        QCOMPARE(pipe.size(), 1000);
        QVERIFY(!pipe.tryWrite(message(0, 3)));

        read(pipe, 0, 1);
        QCOMPARE(pipe.size(), 999);
        QVERIFY(!pipe.tryWrite(message(5, 4), message(6, 5))); // neither of a pair
        QCOMPARE(pipe.size(), 999);
        QVERIFY(pipe.tryWrite(message(5, 4)));
        QVERIFY(!pipe.tryWrite(message(5, 6)));
    }

    void equalTimesKeepWriteOrder()
    {
        SortedPipe<InstrumentMsg> pipe(1000);
        pipe.tryWrite(message(5, 1));
        pipe.tryWrite(message(3, 2));
        pipe.tryWrite(message(5, 3));
        pipe.tryWrite(message(0, 4));
        pipe.tryWrite(message(5, 5));
        QCOMPARE(read(pipe, 10), QList<int>({4, 2, 1, 3, 5}));
    }

    void pairIsSplitAroundQueuedItems()
    {
        SortedPipe<InstrumentMsg> pipe(1000);
        pipe.tryWrite(message(10, 1));
        pipe.tryWrite(message(20, 2));
        QVERIFY(pipe.tryWrite(message(10, 3), message(30, 4)));
        QCOMPARE(read(pipe, 100), QList<int>({1, 3, 2, 4}));
    }

    void readerTakesDueItemsUpToMax()
    {
        SortedPipe<InstrumentMsg> pipe(1000);
        for (int i = 0; i < 40; ++i)
            pipe.tryWrite(message(100, quint8(i)));
        pipe.tryWrite(message(~quint64(0), 99)); // the largest time, compared unsigned

        QVector<InstrumentMsg> out;
        pipe.tryReadIfReady(out, 32, 100);
        QCOMPARE(out.size(), 32);
        pipe.tryReadIfReady(out, 32, 100); // `max` bounds the vector, not the call
        QCOMPARE(out.size(), 32);
        QCOMPARE(read(pipe, 99), QList<int>()); // one tick early
        QCOMPARE(read(pipe, 100).size(), 8);
        QCOMPARE(read(pipe, ~quint64(0) - 1), QList<int>());
        QCOMPARE(read(pipe, ~quint64(0)), QList<int>({99}));
    }

    void readsCopiesAndClearDropsEverything()
    {
        SortedPipe<InstrumentMsg> pipe(10);
        InstrumentMsg raw = message(1, 7);
        raw.kind = InstrumentMsg::Raw;
        raw.bytes = {0xf0, 0x01, 0xf7};
        pipe.tryWrite(raw);
        raw.bytes[1] = 0x02; // the queued copy is the writer's no longer
        QVector<InstrumentMsg> out;
        pipe.tryReadIfReady(out, 1, 1);
        QCOMPARE(out.value(0).bytes, std::vector<unsigned char>({0xf0, 0x01, 0xf7}));

        pipe.tryWrite(message(1, 1), message(2, 2));
        pipe.clear();
        QCOMPARE(pipe.size(), 0);
        QCOMPARE(read(pipe, 100), QList<int>());
    }

    void pipeOfCapacityOneRefusesPairs()
    {
        SortedPipe<InstrumentMsg> pipe(1);
        QVERIFY(!pipe.tryWrite(message(1, 1), message(2, 2)));
        QVERIFY(pipe.tryWrite(message(1, 1)));
    }
};

QTEST_GUILESS_MAIN(TestSortedPipe)
#include "tst_sortedpipe.moc"
