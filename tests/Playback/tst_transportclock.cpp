#include "ManualClock.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"
#include "TestSync.h"

#include <QSignalSpy>
#include <QtTest>

class TestTransportClock : public QObject
{
    Q_OBJECT

private slots:
    void factory();
    void registeredTypes();
    void conversions_data();
    void conversions();
    void largeValuesAndZeroSettings();
    void runningPositionStaysContinuous();
    void propertySignals();
    void followsTheDocument();
};

static constexpr quint64 Second = 1000000000ULL;

void TestTransportClock::factory()
{
    QObject parent;
    for (const char* id : {"internal", "INTERNAL", "Internal"}) {
        AbstractSync* sync = createSync(QString::fromLatin1(id), &parent);
        QVERIFY(qobject_cast<MidiSync*>(sync));
        QCOMPARE(sync->parent(), &parent);
        QCOMPARE(sync->typeId(), QStringLiteral("internal"));
    }
    QVERIFY(!createSync(QStringLiteral("midi"), &parent));
    QVERIFY(!createSync(QString(), &parent));
    QCOMPARE(syncTypeIds(), QStringList {QStringLiteral("internal")});
    QCOMPARE(syncTypeName(QStringLiteral("INTERNAL")), MidiSync::staticTypeName());
    QVERIFY(syncTypeName(QStringLiteral("external")).isEmpty());
}

// A registered type is made by the factory but offered nowhere; the built-in type stays.
void TestTransportClock::registeredTypes()
{
    QObject parent;
    QVERIFY(!createSync(TestSync::staticTypeId(), &parent));
    TestSync::registerType();
    TestSync::registerType();
    auto* test = qobject_cast<TestSync*>(createSync(QStringLiteral("TEST"), &parent));
    QVERIFY(test);
    QCOMPARE(test->parent(), &parent);
    QCOMPARE(syncTypeIds(), QStringList {QStringLiteral("internal")});
    QVERIFY(syncTypeName(TestSync::staticTypeId()).isEmpty());

    registerSyncType(QStringLiteral("Internal"), [](QObject* p) { return new TestSync(p); });
    QVERIFY(qobject_cast<MidiSync*>(createSync(QStringLiteral("internal"), &parent)));

    // The test's clock moves only by hand, playing or not.
    test->setTempo(60);
    test->setPlaying(true);
    QTest::qWait(20);
    QCOMPARE(test->ticksElapsed(), quint64(0));
    test->advanceTicks(665280 / 2);
    QCOMPARE(test->nanosElapsed(), Second / 2);
    QCOMPARE(test->pulsesElapsed(), quint64(665280 / 2));
    test->setPrincipalsToBeatsNumerator(2);
    QCOMPARE(test->pulsesElapsed(), quint64(665280 / 4));
    QCOMPARE(test->nanosToTicks(Second), quint64(2 * 665280));
    test->reset();
    QVERIFY(!test->isPlaying());
    QCOMPARE(test->ticksElapsed(), quint64(0));
}

void TestTransportClock::conversions_data()
{
    QTest::addColumn<uint>("tempo");
    QTest::addColumn<uint>("n");
    QTest::addColumn<uint>("d");
    QTest::newRow("120 1/1") << 120u << 1u << 1u;
    QTest::newRow("60 3/2") << 60u << 3u << 2u;
    QTest::newRow("999 1/7") << 999u << 1u << 7u;
    QTest::newRow("1 5/3") << 1u << 5u << 3u;
}

// Every conversion is the exact quotient rounded down (or at most one below it, the precision
// of the extended type at these magnitudes), never above it.
void TestTransportClock::conversions()
{
    QFETCH(uint, tempo);
    QFETCH(uint, n);
    QFETCH(uint, d);
    ManualSync sync;
    sync.reset();
    sync.setTempo(tempo);
    sync.setPrincipalsToBeatsNumerator(n);
    sync.setPrincipalsToBeatsDenominator(d);
    typedef unsigned __int128 Wide;
    const Wide minute = 60000000000ULL;
    const Wide unit = 665280;
    auto check = [](quint64 got, Wide num, Wide den) {
        const Wide exact = num / den;
        return got <= exact && got + 1 >= exact;
    };
    for (quint64 x : {quint64(0), quint64(1), quint64(27720), quint64(665280), 3 * Second,
                      quint64(1) << 40, quint64(12345678901234ULL)}) {
        QVERIFY(check(sync.nanosToTicks(x), Wide(x) * tempo * n * unit, minute * d));
        QVERIFY(check(sync.ticksToNanos(x), Wide(x) * minute * d, Wide(tempo) * n * unit));
        QVERIFY(check(sync.nanosToPulses(x), Wide(x) * tempo * unit, minute));
        QVERIFY(check(sync.pulsesToNanos(x), Wide(x) * minute, Wide(tempo) * unit));
        QVERIFY(check(sync.ticksToPulses(x), Wide(x) * d, n));
        QVERIFY(check(sync.pulsesToTicks(x), Wide(x) * n, d));
        if (n == d) {
            QCOMPARE(sync.pulsesToTicks(x), x);
            QCOMPARE(sync.ticksToPulses(x), x);
        }
    }
    QCOMPARE(sync.pulsesToTicks(1), quint64(n / d));
}

void TestTransportClock::largeValuesAndZeroSettings()
{
    ManualSync sync;
    sync.setTempo(999);
    sync.setPrincipalsToBeatsNumerator(1000);
    // Past the range of the result: the largest value, not a wrapped one.
    const quint64 max = std::numeric_limits<quint64>::max();
    QCOMPARE(sync.nanosToTicks(max), max);
    QCOMPARE(sync.pulsesToTicks(max / 10), max);
    QCOMPARE(sync.ticksToPulses(max), max / 1000);

    // Zero settings are stored but timed as tempo 1 and ratio 1/1.
    QSignalSpy timing(&sync, &AbstractSync::timingChanged);
    sync.setTempo(0);
    sync.setPrincipalsToBeatsNumerator(0);
    sync.setPrincipalsToBeatsDenominator(0);
    QCOMPARE(timing.count(), 3);
    QCOMPARE(sync.tempo(), 0u);
    QCOMPARE(sync.principalsToBeatsNumerator(), 0u);
    QCOMPARE(sync.nanosToPulses(60 * Second), quint64(665280));
    QCOMPARE(sync.pulsesToTicks(5), quint64(5));
    sync.setPlaying(true);
    sync.advance(120 * Second);
    QCOMPARE(sync.ticksElapsed(), quint64(2 * 665280));
    sync.setTempo(5000);
    QCOMPARE(sync.nanosToPulses(60 * Second), quint64(999 * 665280));
    QCOMPARE(MidiSync::clockOutputInterval(0), MidiSync::clockOutputInterval(1));
    // A clock output polls a tenth of a clock's period (in microseconds), at most 500.
    QCOMPARE(MidiSync::clockOutputInterval(120), 500);
    QCOMPARE(MidiSync::clockOutputInterval(999), 250);
}

void TestTransportClock::runningPositionStaysContinuous()
{
    ManualSync sync;
    sync.reset();
    QCOMPARE(sync.ticksElapsed(), quint64(0));
    sync.setPrincipalsToBeatsNumerator(2);
    sync.setPlaying(true);
    QVERIFY(sync.isPlaying());
    sync.advance(Second); // two beats at 120
    QCOMPARE(sync.pulsesElapsed(), quint64(2 * 665280));
    QCOMPARE(sync.ticksElapsed(), quint64(4 * 665280));
    QCOMPARE(sync.nanosElapsed(), Second);

    // The tempo change keeps the position and continues at the new rate.
    sync.setTempo(60);
    QCOMPARE(sync.pulsesElapsed(), quint64(2 * 665280));
    sync.advance(Second);
    QCOMPARE(sync.pulsesElapsed(), quint64(3 * 665280));
    sync.setPrincipalsToBeatsNumerator(1);
    QCOMPARE(sync.ticksElapsed(), quint64(6 * 665280));
    sync.advance(Second / 2);
    QCOMPARE(sync.ticksElapsed(), quint64(6 * 665280 + 332640));

    // Stopped twice: the position stays where the first stop left it; a start continues.
    sync.setPlaying(false);
    sync.advance(Second);
    sync.setPlaying(false);
    QCOMPARE(sync.pulsesElapsed(), quint64(3 * 665280 + 332640));
    QCOMPARE(sync.directPulsesElapsed(), sync.pulsesElapsed());
    sync.setPlaying(true);
    sync.setPlaying(true); // a second start keeps the run
    sync.advance(Second);
    QCOMPARE(sync.pulsesElapsed(), quint64(4 * 665280 + 332640));
    QCOMPARE(sync.directPulsesElapsed(), sync.pulsesElapsed());
    QCOMPARE(sync.nanosElapsed(), 3 * Second + Second / 2);

    sync.reset();
    QVERIFY(!sync.isPlaying());
    QCOMPARE(sync.ticksElapsed(), quint64(0));
    QCOMPARE(sync.nanosElapsed(), quint64(0));
}

void TestTransportClock::propertySignals()
{
    MidiSync sync;
    QSignalSpy tempo(&sync, &AbstractSync::tempoChanged);
    QSignalSpy numerator(&sync, &AbstractSync::principalsToBeatsNumeratorChanged);
    QSignalSpy timing(&sync, &AbstractSync::timingChanged);
    sync.setTempo(120);
    sync.setPrincipalsToBeatsNumerator(1);
    QCOMPARE(timing.count(), 0);
    sync.setPrincipalsToBeatsNumerator(3);
    QCOMPARE(numerator.takeFirst(), QVariantList {3u});
    QCOMPARE(timing.count(), 1);
    sync.setProperty("tempo", 90u);
    QCOMPARE(tempo.takeFirst(), QVariantList {90u});
    QCOMPARE(timing.count(), 2);
    QCOMPARE(numerator.count(), 0);
}

void TestTransportClock::followsTheDocument()
{
    QmdMemModel model;
    QmdKelvoController controller;
    controller.setModel(&model);
    controller.requestSetData(QmdKelvoKeys::Tempo, 90, QmdIndex());
    controller.requestSetData(QmdKelvoKeys::PrincipalsToBeatsNumerator, 3, QmdIndex());
    QCoreApplication::sendPostedEvents();

    ManualSync sync;
    sync.setController(&controller);
    QCOMPARE(sync.tempo(), 90u);
    QCOMPARE(sync.principalsToBeatsNumerator(), 3u);
    QCOMPARE(sync.principalsToBeatsDenominator(), 1u);

    // A tempo set on the clock (as from MIDI clock input) reaches the document, not undoable.
    const bool couldUndo = controller.canUndo();
    sync.setTempo(133);
    QCOMPARE(controller.data(QmdKelvoKeys::Tempo, QmdIndex()).toUInt(), 133u);
    QCOMPARE(controller.canUndo(), couldUndo);

    controller.requestSetData(QmdKelvoKeys::PrincipalsToBeatsDenominator, 4, QmdIndex());
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QCOMPARE(sync.principalsToBeatsDenominator(), 4u);

    // A model reset stops and rewinds the clock.
    sync.setPlaying(true);
    sync.advance(Second);
    QVERIFY(sync.ticksElapsed() > 0);
    emit controller.modelReset();
    QVERIFY(!sync.isPlaying());
    QCOMPARE(sync.ticksElapsed(), quint64(0));

    // Detached: the bindings are gone and the clock is reset.
    sync.setPlaying(true);
    sync.advance(Second);
    sync.setController(nullptr);
    QVERIFY(!sync.isPlaying());
    QCOMPARE(sync.pulsesElapsed(), quint64(0));
    controller.requestSetData(QmdKelvoKeys::PrincipalsToBeatsDenominator, 2, QmdIndex());
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QVERIFY(sync.principalsToBeatsDenominator() != 2u);
    sync.setTempo(77);
    QCOMPARE(controller.data(QmdKelvoKeys::Tempo, QmdIndex()).toUInt(), 133u);
}

QTEST_GUILESS_MAIN(TestTransportClock)
#include "tst_transportclock.moc"
