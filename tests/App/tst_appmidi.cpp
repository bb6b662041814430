#include "AppTestFiles.h"
#include "AppTestMain.h"
#include "HostTime.h"
#include "JackTestServer.h"
#include "MidiEvent.h"
#include "MidiInput.h"
#include "MidiInstrument.h"
#include "MidiPeer.h"
#include "MidiPortLists.h"
#include "MidiSync.h"
#include "PreferenceKeys.h"
#include "QmdKelvoKeys.h"
#include "QmdKelvoUnits.h"
#include "SettingsController.h"
#include "SettingsEvents.h"
#include "SettingsModel.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QThread>

namespace {

const QString KelvoInput = QStringLiteral("Kelvo Input");
const QString KelvoSynthesizer = QStringLiteral("Kelvo Synthesizer");

KelvoApplication* app()
{
    return KelvoApplication::instance();
}

QSettings* store()
{
    return app()->settings();
}

// Writes a preference as the preferences dialog does and lets the application apply it.
void setPreference(const QString& key, const QVariant& value)
{
    QCoreApplication::postEvent(app()->settingsController(),
                                new CSettingsChangeValueEvent(key, value));
    settle();
}

QByteArray bytes(std::initializer_list<uchar> list)
{
    QByteArray result;
    for (uchar b : list)
        result.append(char(b));
    return result;
}

// What reaches the peer within `timeoutMs` (at least `count` messages unless the time runs
// out), while the application's event loop runs.
QList<QByteArray> receive(MidiPeer& peer, int count, int timeoutMs = 3000)
{
    QList<QByteArray> messages;
    const QDeadlineTimer deadline(timeoutMs);
    while (messages.size() < count && !deadline.hasExpired()) {
        QTest::qWait(5);
        for (const MidiPeer::TimedMessage& message : peer.takeTimed())
            messages.append(message.bytes);
    }
    return messages;
}

// Waits, without letting the event loop run, until the triggering input holds a message.
bool waitForQueuedMessage(int timeoutMs = 3000)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!app()->triggeringInput()->hasMessages()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(2);
    }
    return true;
}

// A focus widget that records the MIDI-entry events it gets; it may delete itself at the
// first.
class MidiRecorder : public QWidget
{
public:
    explicit MidiRecorder(QWidget* parent = nullptr)
        : QWidget(parent)
    {
        setFocusPolicy(Qt::StrongFocus);
    }

    QList<QVector<uchar>> received;
    QList<Qt::KeyboardModifiers> modifiers;
    bool deleteAtFirst = false;
    // Events delivered to any recorder, deleted ones included.
    static int delivered;

protected:
    void customEvent(QEvent* event) override
    {
        auto* midi = dynamic_cast<MidiEvent*>(event);
        if (!midi)
            return;
        ++delivered;
        QCOMPARE(midi->type(), QEvent::Type(1000));
        received.append(midi->bytes());
        modifiers.append(midi->modifiers());
        if (deleteAtFirst)
            delete this;
    }
};

int MidiRecorder::delivered = 0;

} // namespace

// MIDI triggering, entry and thru, the MIDI preferences and the port lists, on a JACK server
// with the dummy driver, with a peer program that plays into "Kelvo Input" and receives thru.
class TestAppMidi : public QObject
{
    Q_OBJECT

private:
    MidiPeer m_peer {"Peer"};
    QString m_thruPort; // the peer's input, as Kelvo lists it

    // A document that plays with MIDI triggering on and one voice group triggered by C3. Its
    // voices travel an edge of 1,000 principals: a started group plays for minutes, not only
    // until a lone node's voice has ended.
    QmdItemId prepareTriggeredDocument(KelvoWindow* window)
    {
        QmdKelvoController* c = window->controller();
        QmdItemId node = 0;
        QmdItemId far = 0;
        c->requestAddNode(QmdKelvo::TickPoint {0, 0}, QmdKelvo::NoCreationFlags,
                          QmdRequestOptions(QString()), &node);
        c->requestAddNode(QmdKelvo::TickPoint {1000 * QmdKelvo::TicksPerPrincipal, 0},
                          QmdKelvo::NoCreationFlags, QmdRequestOptions(QString()), &far);
        c->requestAddEdge(c->elementIndex(node), c->elementIndex(far), QmdKelvo::CityBlock);
        c->requestAddVoiceGroup(c->elementIndex(node));
        const QmdItemId group = c->elements().last();
        c->requestSetData(QmdKelvoKeys::TriggeringMidiPitchList, QmdKelvoController::noteName(60),
                          c->elementIndex(group));
        c->requestSetData(QmdKelvoKeys::MidiTriggeringEnabled, true, QmdIndex());
        c->requestPlay();
        settle();
        return group;
    }

    // Plays a MIDI clock into "Kelvo Input": Start, timing clock at `bpm` for 1.5 s and on
    // until the transport's tempo follows it (20 s at most), and Stop. The transport follows
    // each, and thru passes Start and Stop on but no clock, which the entry input ignores.
    void playClock(AbstractSync* clock, uint bpm)
    {
        m_peer.send(bytes({0xFA}));
        const auto following = [&] { return qAbs(int(clock->tempo()) - int(bpm)) <= 4; };
        const quint64 interval = 2500000000ULL / bpm; // 24 clocks a beat
        const quint64 begin = Platform::hostTimeNs();
        quint64 sent = 0;
        for (; Platform::hostTimeNs() - begin < 1500000000ULL
             || (!following() && Platform::hostTimeNs() - begin < 20000000000ULL);
             ++sent) {
            m_peer.send(bytes({0xF8}));
            const quint64 next = begin + (sent + 1) * interval;
            const quint64 now = Platform::hostTimeNs();
            if (next > now)
                QThread::usleep((next - now) / 1000);
        }
        QVERIFY(clock->isPlaying());
        QVERIFY2(following(), qPrintable(QString::number(clock->tempo())));
        m_peer.send(bytes({0xFC}));
        QTRY_VERIFY(!clock->isPlaying());
        // The first clock marks the start; each after it is one clock's pulses.
        QCOMPARE(clock->pulsesElapsed(), (sent - 1) * 27720);
        QCOMPARE(receive(m_peer, 2), QList<QByteArray>({bytes({0xFA}), bytes({0xFC})}));
    }

    void focus(QWidget* widget)
    {
        widget->show();
        widget->window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(widget->window()));
        widget->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), widget);
    }

private slots:
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect"))); }

    void firstRunWritesTheDefaults()
    {
        using namespace PreferenceKeys;
        // The ports in use are written back, so that the preferences show them.
        QTRY_COMPARE(store()->value(MidiEntryPort).toString(), KelvoInput);
        QTRY_COMPARE(store()->value(MidiThruPort).toString(), KelvoSynthesizer);
        QCOMPARE(store()->value(AutoCheckForUpdate).toBool(), true);
        QCOMPARE(store()->value(ControllersAutoLsb).toBool(), false);
        QCOMPARE(store()->value(ControllersSmartReset).toBool(), true);
        QCOMPARE(store()->value(MidiInputEnabled).toBool(), true);
        QCOMPARE(store()->value(MidiTriggeringMsecToggleTimeout).toInt(), 200);
        QCOMPARE(store()->value(MidiThruEnabled).toBool(), true);
        QCOMPARE(app()->triggeringInput()->port(), KelvoInput);
        QCOMPARE(app()->thruInstrument()->port(), KelvoSynthesizer);
        QVERIFY(app()->midiInputPortSet().contains(KelvoInput));
        QVERIFY(app()->midiOutputPortSet().contains(KelvoSynthesizer));
    }

    void peerPortsAreListed()
    {
        QVERIFY(m_peer.connectOutput(KelvoInput));
        m_peer.openInput(QStringLiteral("thru-in"));
        QTRY_VERIFY_WITH_TIMEOUT(
            !app()->midiOutputPorts().filter(QStringLiteral(":thru-in")).isEmpty(), 3000);
        m_thruPort = app()->midiOutputPorts().filter(QStringLiteral(":thru-in")).first();
        setPreference(PreferenceKeys::MidiThruPort, m_thruPort);
        QCOMPARE(app()->thruInstrument()->port(), m_thruPort);
    }

    void missingEntryPortIsReplaced()
    {
        setPreference(PreferenceKeys::MidiEntryPort, QStringLiteral("No Such Port"));
        QCOMPARE(app()->triggeringInput()->port(), KelvoInput);
        QCOMPARE(store()->value(PreferenceKeys::MidiEntryPort).toString(), KelvoInput);
    }

    void theOpenPortIsNotReopened()
    {
        // Closing empties the input's queue: a message still queued shows that it stayed open.
        m_peer.send(bytes({0x90, 64, 1}));
        QVERIFY(waitForQueuedMessage());
        VSettingsValueChangedEvent same(PreferenceKeys::MidiEntryPort, KelvoInput, nullptr);
        app()->settingsValueChangedEvent(&same);
        QVERIFY(app()->triggeringInput()->hasMessages());
        QCOMPARE(app()->triggeringInput()->port(), KelvoInput);

        // Disabling the input closes it, and the queue with it.
        store()->setValue(PreferenceKeys::MidiInputEnabled, false);
        VSettingsValueChangedEvent off(PreferenceKeys::MidiInputEnabled, false, nullptr);
        app()->settingsValueChangedEvent(&off);
        QVERIFY(app()->triggeringInput()->port().isNull());
        QVERIFY(!app()->triggeringInput()->hasMessages());
        setPreference(PreferenceKeys::MidiInputEnabled, true);
        QCOMPARE(app()->triggeringInput()->port(), KelvoInput);
        m_peer.send(bytes({0x80, 64, 0}));
        receive(m_peer, 2, 500);
    }

    void thruPassesMessagesUnchanged()
    {
        KelvoWindow* window = app()->windows().first();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        const QList<QByteArray> sent
            = {bytes({0x91, 60, 100}), bytes({0xB3, 7, 99}), bytes({0xE0, 0x00, 0x40}),
               bytes({0xC5, 12}),      bytes({0xD2, 33}),    bytes({0x81, 60, 0})};
        for (const QByteArray& message : sent)
            m_peer.send(message);
        QCOMPARE(receive(m_peer, sent.size()), sent);
    }

    void triggeringStartsVoiceGroupsInEveryDocument()
    {
        KelvoWindow* first = app()->windows().first();
        KelvoWindow* second = app()->newDocument();
        const QmdItemId firstGroup = prepareTriggeredDocument(first);
        const QmdItemId secondGroup = prepareTriggeredDocument(second);
        QVERIFY(!first->controller()->isVoiceGroupIterating(firstGroup));
        auto* recorder = new MidiRecorder(first);
        focus(recorder);
        QCOMPARE(app()->focusWindow(), first);

        m_peer.send(bytes({0x90, 60, 100}));
        QTRY_VERIFY(first->controller()->isVoiceGroupIterating(firstGroup));
        QTRY_VERIFY(second->controller()->isVoiceGroupIterating(secondGroup));
        // A message of two bytes triggers nothing and still goes thru.
        m_peer.send(bytes({0xC0, 5}));
        QCOMPARE(receive(m_peer, 2), QList<QByteArray>({bytes({0x90, 60, 100}), bytes({0xC0, 5})}));
        QVERIFY(first->controller()->isVoiceGroupIterating(firstGroup));
        QVERIFY(recorder->received.isEmpty());

        delete second;
        first->controller()->requestSetData(QmdKelvoKeys::MidiTriggeringEnabled, false, QmdIndex());
        first->controller()->requestPause();
        delete recorder;
        settle();
    }

    void entryGoesToTheFocusWidget()
    {
        KelvoWindow* window = app()->windows().first();
        auto* recorder = new MidiRecorder(window);
        focus(recorder);
        QTest::keyPress(recorder, Qt::Key_Shift, Qt::ShiftModifier);
        m_peer.send(bytes({0x90, 62, 90}));
        QTRY_COMPARE(recorder->received.size(), 1);
        QTest::keyRelease(recorder, Qt::Key_Shift, Qt::NoModifier);
        QCOMPARE(recorder->received.first(), QVector<uchar>({0x90, 62, 90}));
        QCOMPARE(recorder->modifiers.first(), Qt::ShiftModifier);

        m_peer.send(bytes({0x80, 62, 0}));
        QTRY_COMPARE(recorder->received.size(), 2);
        QCOMPARE(recorder->modifiers.last(), Qt::NoModifier);
        QCOMPARE(receive(m_peer, 2).size(), 2);
        delete recorder;
    }

    void aFocusWidgetDeletedInABatchIsLeftAlone()
    {
        KelvoWindow* window = app()->windows().first();
        QPointer<MidiRecorder> recorder = new MidiRecorder(window);
        recorder->deleteAtFirst = true;
        focus(recorder);
        MidiRecorder::delivered = 0;
        // Both messages queue before the application takes them, so they come in one batch.
        m_peer.send(bytes({0x90, 65, 80}));
        m_peer.send(bytes({0x80, 65, 0}));
        QVERIFY(waitForQueuedMessage());
        QThread::msleep(300);
        settle();
        QVERIFY(!recorder);
        QCOMPARE(MidiRecorder::delivered, 1);
        // Both still went thru.
        QCOMPARE(receive(m_peer, 2).size(), 2);
    }

    void aHeldNoteIsSwitchedOffWhenThruMoves()
    {
        m_peer.send(bytes({0x92, 70, 100}));
        QCOMPARE(receive(m_peer, 1), QList<QByteArray>({bytes({0x92, 70, 100})}));
        setPreference(PreferenceKeys::MidiThruPort, KelvoSynthesizer);
        QCOMPARE(app()->thruInstrument()->port(), KelvoSynthesizer);
        QList<QByteArray> allNotesOff;
        for (uchar channel = 0; channel < 16; ++channel)
            allNotesOff.append(bytes({uchar(0xB0 | channel), 123, 0}));
        QCOMPARE(receive(m_peer, 16), allNotesOff);
        // Nothing further reaches the old port.
        m_peer.send(bytes({0x82, 70, 0}));
        QVERIFY(receive(m_peer, 1, 300).isEmpty());
    }

    void thruNeverFeedsTheEntryPort()
    {
        // "Kelvo Input" receives what the entry input reads: thru goes to the synthesizer.
        setPreference(PreferenceKeys::MidiThruPort, KelvoInput);
        QCOMPARE(app()->thruInstrument()->port(), KelvoSynthesizer);
        QCOMPARE(store()->value(PreferenceKeys::MidiThruPort).toString(), KelvoSynthesizer);

        // With the entry on the synthesizer's port there is nowhere to go: thru stays closed.
        setPreference(PreferenceKeys::MidiEntryPort, KelvoSynthesizer);
        QCOMPARE(app()->triggeringInput()->port(), KelvoSynthesizer);
        QVERIFY(app()->thruInstrument()->port().isNull());

        setPreference(PreferenceKeys::MidiEntryPort, KelvoInput);
        QCOMPARE(app()->thruInstrument()->port(), KelvoSynthesizer);
        setPreference(PreferenceKeys::MidiThruPort, m_thruPort);
        QCOMPARE(app()->thruInstrument()->port(), m_thruPort);
    }

    void disabledThruQueuesNothing()
    {
        setPreference(PreferenceKeys::MidiThruEnabled, false);
        QVERIFY(app()->thruInstrument()->port().isNull());
        // Closing switches off what may sound on the old port.
        QCOMPARE(receive(m_peer, 16).size(), 16);
        m_peer.send(bytes({0x90, 61, 10}));
        QVERIFY(receive(m_peer, 1, 500).isEmpty());
        QCOMPARE(app()->thruInstrument()->pipe.size(), 0);
        setPreference(PreferenceKeys::MidiThruEnabled, true);
        QCOMPARE(app()->thruInstrument()->port(), m_thruPort);
    }

    // MIDI entry listens on "Kelvo Input", as it does for a new user, and the document follows
    // the clock arriving there too, whichever of the two inputs opened last.
    void theTransportFollowsAClockWhereEntryListens()
    {
        QmdKelvoController* c = app()->windows().first()->controller();
        auto* clock = qobject_cast<MidiSync*>(c->sync());
        QVERIFY(clock);
        const QmdIndex inputs = c->index(QmdKelvoKeys::SyncMidiInputs, QmdIndex());
        c->requestSetTypeIfInvalid(KelvoInput, Qmd::StrDict, inputs);
        c->requestSetData(QmdKelvoKeys::MidiSync, true, c->index(KelvoInput, inputs));
        settle();
        QCOMPARE(clock->syncInputPorts(), QStringList({KelvoInput}));
        QCOMPARE(app()->triggeringInput()->port(), KelvoInput);
        playClock(clock, 150);
        if (QTest::currentTestFailed())
            return;
        QTRY_COMPARE(c->data(QmdKelvoKeys::Tempo, QmdIndex()).toUInt(), clock->tempo());

        // Switched off and on in the preferences, the entry input opens after the sync input.
        setPreference(PreferenceKeys::MidiInputEnabled, false);
        setPreference(PreferenceKeys::MidiInputEnabled, true);
        QCOMPARE(app()->triggeringInput()->port(), KelvoInput);
        playClock(clock, 125);
        if (QTest::currentTestFailed())
            return;

        c->requestSetData(QmdKelvoKeys::MidiSync, false, c->index(KelvoInput, inputs));
        settle();
        QVERIFY(clock->syncInputPorts().isEmpty());
    }

    void oneSignalPerPortChange()
    {
        QSignalSpy inputs(app(), &KelvoApplication::midiInputPortsChanged);
        QSignalSpy outputs(app(), &KelvoApplication::midiOutputPortsChanged);
        QTest::qWait(1500);
        QCOMPARE(inputs.size(), 0);
        QCOMPARE(outputs.size(), 0);

        {
            MidiPeer another("Another");
            another.openInput(QStringLiteral("new-port"));
            QTRY_COMPARE_WITH_TIMEOUT(outputs.size(), 1, 1500);
            QVERIFY(!app()->midiOutputPorts().filter(QStringLiteral(":new-port")).isEmpty());
            QTest::qWait(1200);
            QCOMPARE(outputs.size(), 1);
            QCOMPARE(inputs.size(), 0);
        }
        QTRY_COMPARE_WITH_TIMEOUT(outputs.size(), 2, 1500);
        QVERIFY(app()->midiOutputPorts().filter(QStringLiteral(":new-port")).isEmpty());
    }

    void aFailedListingKeepsTheLists()
    {
        MidiPortLists lists;
        QCOMPARE(lists.update({"b 10", "b 2", "a"}, true, {"x"}, true),
                 MidiPortLists::InputsChanged | MidiPortLists::OutputsChanged);
        QCOMPARE(lists.inputs(), QStringList({"a", "b 2", "b 10"}));
        // Nothing changed: nothing to tell.
        QCOMPARE(lists.update({"a", "b 2", "b 10"}, true, {"x"}, true), MidiPortLists::Changes());
        // The MIDI system failed for the inputs: they stay as they were, with the program's own
        // ports, which the failed listing still gives.
        QCOMPARE(lists.update({KelvoInput}, false, {"y"}, true),
                 MidiPortLists::InputsChanged | MidiPortLists::OutputsChanged);
        QCOMPARE(lists.inputSet(), QSet<QString>({"a", "b 2", "b 10", KelvoInput}));
        QCOMPARE(lists.outputSet(), QSet<QString>({"y"}));
        QCOMPARE(lists.update({KelvoInput}, false, {"y"}, false), MidiPortLists::Changes());

        // With no MIDI system from the start, the program's own ports are all there is.
        MidiPortLists none;
        QCOMPARE(none.update({KelvoInput}, false, {KelvoInput, "Kelvo Output"}, false),
                 MidiPortLists::InputsChanged | MidiPortLists::OutputsChanged);
        QCOMPARE(none.inputs(), QStringList({KelvoInput}));
        QCOMPARE(none.outputs(), QStringList({KelvoInput, "Kelvo Output"}));
    }
};

int main(int argc, char** argv)
{
    // The server comes first: the application opens its ports at start-up.
    JackTestServer server;
    QString error;
    if (!server.start(&error)) {
        qCritical("%s", qPrintable(error));
        return 1;
    }
    const QTemporaryDir preferences;
    useFreshPreferences(preferences);
    KelvoApplication app(argc, argv, MidiSynth::NoAudioOutput);
    app.init();
    TestAppMidi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_appmidi.moc"
