#include "JackTestServer.h"
#include "ManualClock.h"
#include "MidiInstrument.h"
#include "MidiPeer.h"
#include "MidiSystem.h"
#include "PlaybackTestSupport.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"

#include <QtTest>

namespace K = QmdKelvoKeys;

namespace {

const QString synth = QStringLiteral("Kelvo Synthesizer");

InstrumentMsg note(quint32 kind, quint64 time, quint8 pitch, quint8 velocity = 100)
{
    InstrumentMsg m;
    m.kind = kind;
    m.time = time;
    m.data1 = pitch;
    m.data2 = velocity;
    return m;
}

// The manual clock's time for a tick at 120 BPM, ratio 1/1, rounded up.
quint64 tickNs(quint64 tick)
{
    return (tick * 60000000000ULL + 120 * 665280 - 1) / (120 * 665280);
}

} // namespace

class TestInstruments : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void sendsEachMessageAtItsTickInOrder();
    void pauseSendsNothingButNoteOffs();
    void heldNotesReleasedOnChangesAndClose();
    void resetReleasesNotesAndKeepsThePort();
    void bankAndProgram();
    void missingPortIsKeptAndOpenedOnceBack();
    void closedVirtualPortFallsBack();
    void gotoStartAndResetListNoPorts();

private:
    // Sets keys of the instrument and delivers the change as the controller reports it.
    void setKeys(const QHash<QString, QVariant>& values);
    void moveClockTo(quint64 tick) { sync->now = start + tickNs(tick); }
    QString storedPort() const
    {
        return controller->data(K::MidiPort, controller->instrumentIndex(id)).toString();
    }
    // Queues a note at `tick` and moves the clock there.
    void playNoteAt(quint64 tick)
    {
        QVERIFY(instrument->pipe.tryWrite(note(InstrumentMsg::NoteOn, tick, 60),
                                          note(InstrumentMsg::NoteOff, tick, 60, 0)));
        moveClockTo(tick);
    }

    JackTestServer server;
    MidiInput listener;
    MidiOutput keeper;
    QmdMemModel* model = nullptr;
    QmdKelvoController* controller = nullptr;
    ManualSync* sync = nullptr;
    MidiInstrument* instrument = nullptr;
    QmdItemId id = 0;
    quint64 start = 0;
};

void TestInstruments::initTestCase()
{
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    QVERIFY(MidiIO<RtMidiIn>::macOpenVirtualPorts());
    QVERIFY(listener.openPort(synth));
    QVERIFY(warmUp(keeper, listener, synth));
}

void TestInstruments::cleanupTestCase()
{
    keeper.closePort();
    listener.closePort();
    QVERIFY(MidiIO<RtMidiIn>::macCloseVirtualPorts());
}

void TestInstruments::init()
{
    model = new QmdMemModel;
    controller = new QmdKelvoController;
    controller->setModel(model);
    controller->requestAddInstrument(QStringLiteral("Piano"), Qt::red, channelMask({0, 2}));
    QCoreApplication::sendPostedEvents();
    QCOMPARE(controller->instruments().size(), 1);
    id = controller->instruments().first();
    sync = new ManualSync;
    sync->reset();
    start = sync->now;
    sync->setPlaying(true);
    // The controller's own output thread of the instrument, moved onto the manual clock.
    instrument = controller->instrumentsCopy().value(id);
    QVERIFY(instrument);
    instrument->setSync(sync);
    QCOMPARE(instrument->port(), synth);
    listener.takeMessages();
}

void TestInstruments::cleanup()
{
    delete controller; // and the instrument's thread with it
    delete sync;
    delete model;
    // What this test left sounding, before the next one listens.
    if (!keeper.port().isEmpty())
        collectAll(listener, keeper);
}

void TestInstruments::setKeys(const QHash<QString, QVariant>& values)
{
    controller->requestSetData(values, controller->instrumentIndex(id));
    QCoreApplication::sendPostedEvents();
}

void TestInstruments::sendsEachMessageAtItsTickInOrder()
{
    QVERIFY(instrument->pipe.tryWrite(note(InstrumentMsg::NoteOn, 100, 60),
                                      note(InstrumentMsg::NoteOff, 200, 60, 0)));
    for (int i = 0; i < 40; ++i)
        QVERIFY(instrument->pipe.tryWrite(note(InstrumentMsg::ControlChange, 300, 7, quint8(i))));

    // Not played yet: nothing goes out though everything is due.
    moveClockTo(1000);
    QTest::qWait(20);
    QVERIFY(collectAll(listener, keeper).isEmpty());
    moveClockTo(0);

    instrument->play();
    moveClockTo(99);
    QTest::qWait(20);
    QVERIFY(collectAll(listener, keeper).isEmpty());
    moveClockTo(100);
    QCOMPARE(collect(listener, 2), QStringList({"90 3c 64", "92 3c 64"}));
    moveClockTo(299);
    QCOMPARE(collect(listener, 2), QStringList({"80 3c 00", "82 3c 00"}));
    moveClockTo(300);
    const QStringList controls = collect(listener, 80);
    QCOMPARE(controls.size(), 80);
    for (int i = 0; i < 40; ++i) {
        const QString value = QString::asprintf("%02x", i);
        QCOMPARE(controls.at(2 * i), "b0 07 " + value);
        QCOMPARE(controls.at(2 * i + 1), "b2 07 " + value);
    }
}

void TestInstruments::pauseSendsNothingButNoteOffs()
{
    instrument->play();
    for (int round = 0; round < 10; ++round) {
        // Notes keep coming due while the pause lands; the release is the first note off.
        const quint64 base = 20000 * quint64(round);
        for (int i = 0; i < 40; ++i)
            instrument->pipe.tryWrite(note(InstrumentMsg::NoteOn, base + 5 * i, quint8(40 + i)));
        moveClockTo(base + 100);
        QThread::usleep(100 + 97 * round);
        instrument->pauseAndWait();
        QVERIFY(instrument->notesHeld().isEmpty());
        moveClockTo(base + 1000);
        QTest::qWait(20);
        const QStringList sent = collectAll(listener, keeper);
        qsizetype i = 0;
        while (i < sent.size() && sent.at(i).startsWith('9'))
            ++i;
        if (i > 0)
            QVERIFY(i < sent.size());
        for (; i < sent.size(); ++i)
            QVERIFY2(sent.at(i).startsWith('8'), qPrintable(sent.at(i)));
        instrument->reset();
        instrument->play();
    }
}

void TestInstruments::heldNotesReleasedOnChangesAndClose()
{
    instrument->play();
    QVERIFY(instrument->pipe.tryWrite(note(InstrumentMsg::NoteOn, 0, 64)));
    QCOMPARE(collect(listener, 2), QStringList({"90 40 64", "92 40 64"}));

    setKeys({{K::MidiChannels, channelMask({5})}});
    QCOMPARE(collect(listener, 2), QStringList({"80 40 00", "82 40 00"}));
    QVERIFY(instrument->pipe.tryWrite(note(InstrumentMsg::NoteOn, 0, 65)));
    QCOMPARE(collect(listener, 1), QStringList({"95 41 64"}));

    // Another instrument's change leaves this one alone.
    emit controller->instrumentDataEffected(id + 1, {K::MidiChannels}, 0);
    QVERIFY(collectAll(listener, keeper).isEmpty());

    // Removing the instrument stops and deletes its thread, which releases what it holds.
    controller->requestRemove(id, controller->index(K::Instruments, QmdIndex()));
    QCoreApplication::sendPostedEvents();
    QVERIFY(controller->instrumentsCopy().isEmpty());
    instrument = nullptr;
    QCOMPARE(collect(listener, 1), QStringList({"85 41 00"}));
}

void TestInstruments::resetReleasesNotesAndKeepsThePort()
{
    instrument->play();
    QVERIFY(instrument->pipe.tryWrite(note(InstrumentMsg::NoteOn, 10, 60),
                                      note(InstrumentMsg::NoteOff, 1000000, 60, 0)));
    moveClockTo(10);
    QCOMPARE(collect(listener, 2), QStringList({"90 3c 64", "92 3c 64"}));
    // The instrument alone on its port, which closing would end.
    keeper.closePort();
    const QWeakPointer<MidiOutput::SharedMidi> record = instrument->sharedMidi();
    instrument->pauseAndWait();
    instrument->reset();
    QCOMPARE(collect(listener, 2), QStringList({"80 3c 00", "82 3c 00"}));
    QVERIFY(record.toStrongRef());
    QCOMPARE(instrument->sharedMidi(), record.toStrongRef());
    QVERIFY(warmUp(keeper, listener, synth));
}

void TestInstruments::bankAndProgram()
{
    setKeys({{K::MidiProgram, 5}});
    QVERIFY(collectAll(listener, keeper).isEmpty()); // program change off

    setKeys({{K::MidiDoProgramChange, true}, {K::MidiBankMSB, 3}, {K::MidiBankLSB, 200}});
    QCOMPARE(collect(listener, 6),
             QStringList({"b0 00 03", "b0 20 7f", "c0 04", "b2 00 03", "b2 20 7f", "c2 04"}));
    setKeys({{K::MidiProgram, 1}});
    QCOMPARE(collect(listener, 6).mid(2, 1), QStringList({"c0 00"}));

    // A channel change alone sends bank and program on the new channels; so does every start.
    setKeys({{K::MidiChannels, channelMask({1})}});
    QCOMPARE(collect(listener, 3), QStringList({"b1 00 03", "b1 20 7f", "c1 00"}));
    instrument->play();
    QCOMPARE(collect(listener, 3), QStringList({"b1 00 03", "b1 20 7f", "c1 00"}));
}

// A stored port that is missing stays in the document, unchanged and without an undo step;
// the instrument plays to the built-in synthesizer meanwhile, and opens the stored port once it
// is there again.
void TestInstruments::missingPortIsKeptAndOpenedOnceBack()
{
    const auto devicePort = [] {
        for (const QString& name : MidiOutput::ports()) {
            if (name.startsWith(QStringLiteral("Device")) && name.endsWith(QStringLiteral(":in")))
                return name;
        }
        return QString();
    };
    QString device;
    {
        MidiPeer unplugged("Device");
        unplugged.openInput(QStringLiteral("in"));
        device = devicePort();
    }
    QVERIFY(!device.isEmpty());
    QVERIFY(devicePort().isEmpty());

    const bool couldUndo = controller->canUndo();
    controller->requestSetData(K::MidiPort, device, controller->instrumentIndex(id),
                               QmdRequestOptions(Qmd::NotUndoable, QString()));
    QCoreApplication::sendPostedEvents();
    QCOMPARE(instrument->port(), synth);
    QCOMPARE(storedPort(), device);
    QCOMPARE(controller->canUndo(), couldUndo);
    instrument->play();
    playNoteAt(10);
    QCOMPARE(collect(listener, 4), QStringList({"90 3c 64", "92 3c 64", "80 3c 00", "82 3c 00"}));
    // A reset while it is still missing keeps the synthesizer, and the name.
    instrument->reset();
    QCOMPARE(instrument->port(), synth);
    QCOMPARE(storedPort(), device);

    // Plugged in again: found when the ports are looked at again.
    MidiPeer plugged("Device");
    plugged.openInput(QStringLiteral("in"));
    QCOMPARE(devicePort(), device);
    controller->reopenMissingPorts();
    QCOMPARE(instrument->port(), device);
    QCOMPARE(storedPort(), device);
    QCOMPARE(controller->canUndo(), couldUndo);
    playNoteAt(20);
    QCOMPARE(plugged.receive(4).mid(0, 2),
             QList<QByteArray>({QByteArray("\x90\x3c\x64"), QByteArray("\x92\x3c\x64")}));
    QVERIFY(collectAll(listener, keeper).isEmpty());
}

// The program's own output port, while closed, is missing like any other port.
void TestInstruments::closedVirtualPortFallsBack()
{
    const QString own = QStringLiteral("Kelvo Output");
    QVERIFY(MidiIO<RtMidiOut>::macCloseVirtualPorts());
    setKeys({{K::MidiPort, own}});
    QCOMPARE(instrument->port(), synth);
    QCOMPARE(storedPort(), own);
    instrument->play();
    playNoteAt(10);
    QCOMPARE(collect(listener, 4), QStringList({"90 3c 64", "92 3c 64", "80 3c 00", "82 3c 00"}));

    // Open again, it is found at the next reset.
    QVERIFY(MidiIO<RtMidiOut>::macOpenVirtualPorts());
    instrument->reset();
    QCOMPARE(instrument->port(), own);
    QVERIFY(MidiIO<RtMidiOut>::macCloseVirtualPorts());
}

// Going to the start while playing, and a reset of an instrument whose port is open, never
// ask the MIDI system for its ports: the port open stays open.
void TestInstruments::gotoStartAndResetListNoPorts()
{
    // The controller's own clock, which go to start drives.
    instrument->setSync(controller->sync());
    controller->requestPlay();
    const QSharedPointer<MidiOutput::SharedMidi> record = instrument->sharedMidi();
    QVERIFY(record);
    const quint64 listings = Platform::MidiSystem::portListings();
    controller->requestGotoStart();
    instrument->reset();
    QCOMPARE(Platform::MidiSystem::portListings(), listings);
    QCOMPARE(instrument->sharedMidi(), record);
    QCOMPARE(instrument->currentState(), AbstractOutputThread::Running);
    controller->requestPause();
}

QTEST_MAIN(TestInstruments)
#include "tst_instruments.moc"
