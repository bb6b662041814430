// The application object's MIDI: the port lists, the preferences that choose the triggering
// input and the thru port, and what becomes of each message the input receives (MIDI
// triggering, MIDI entry and MIDI thru).

#include "KelvoApplication.h"

#include "KelvoWindow.h"
#include "MidiEvent.h"
#include "MidiInput.h"
#include "MidiInstrument.h"
#include "MidiPortNames.h"
#include "MidiSync.h"
#include "MidiSystem.h"
#include "PreferenceKeys.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "SettingsController.h"
#include "SettingsEvents.h"
#include "SettingsModel.h"

#include <QBitArray>
#include <QMessageBox>
#include <QPointer>

#include <limits>

namespace {

constexpr int MidiChannelCount = 16;
constexpr uchar ControlChange = 0xB0;
constexpr uchar AllNotesOff = 123;

} // namespace

void KelvoApplication::pollMidiPorts()
{
    const MidiPortLists::Changes changes = m_ports.poll();
    if (changes & MidiPortLists::InputsChanged)
        emit midiInputPortsChanged();
    if (changes & MidiPortLists::OutputsChanged)
        emit midiOutputPortsChanged();
    tellJackServerLoss();
}

void KelvoApplication::tellJackServerLoss()
{
    const quint64 losses = Platform::MidiSystem::jackServerLosses();
    if (losses == m_jackServerLossesTold)
        return;
    m_jackServerLossesTold = losses;
    // Once for each time the server goes; a box still open tells it already.
    if (m_jackServerGoneBox || !m_uiStarted)
        return;
    QWidget* parent = m_focusWindow ? static_cast<QWidget*>(m_focusWindow)
                                    : (m_windows.isEmpty() ? nullptr : m_windows.first());
    auto* box = new QMessageBox(QMessageBox::Warning, tr("Kelvo"),
                                tr("The JACK server has gone away."), QMessageBox::Ok, parent);
    box->setInformativeText(
        tr("Kelvo plays on, but its MIDI ports and the sound of its synthesizer are away with "
           "the server. As soon as a JACK server runs again, Kelvo takes it up by itself: its "
           "ports come back under the same names, with their connections to other programs' "
           "ports."));
    box->setObjectName(QStringLiteral("jackServerGoneBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Nothing waits for it: the windows go on as they were.
    box->setWindowModality(Qt::NonModal);
    box->show();
    m_jackServerGoneBox = box;
}

// ---- Incoming messages ----------------------------------------------------------------------

void KelvoApplication::onMidiInputReadyRead()
{
    if (!m_triggeringInput)
        return;
    // One decision for the whole batch: the messages were queued since the last call.
    const QPointer<QWidget> focus = focusWidget();
    const Qt::KeyboardModifiers modifiers = keyboardModifiers();
    bool triggering = false;
    int toggleTimeout = 0;
    if (m_focusWindow
        && m_focusWindow->controller()
               ->data(QmdKelvoKeys::MidiTriggeringEnabled, QmdIndex())
               .toBool()) {
        triggering = true;
        toggleTimeout = m_settingsModel
            ? m_settingsModel
                  ->value(PreferenceKeys::MidiTriggeringMsecToggleTimeout,
                          PreferenceKeys::MidiTriggeringMsecToggleTimeoutDefault)
                  .toInt()
            : PreferenceKeys::MidiTriggeringMsecToggleTimeoutDefault;
    }

    QList<MidiInputMessage> messages = m_triggeringInput->takeMessages();
    for (MidiInputMessage& message : messages) {
        message.modifiers = modifiers;
        if (triggering) {
            if (message.bytes.size() == 3) {
                for (KelvoWindow* window : std::as_const(m_windows))
                    window->controller()->requestMidiTriggerVoiceGroups(message, toggleTimeout);
            }
        } else if (focus) {
            // The receiver may delete the widget; the next message then finds it gone.
            MidiEvent event(modifiers, message.deltaTime, message.bytes);
            sendEvent(focus, &event);
        }
        passThru(message);
    }
}

void KelvoApplication::passThru(const MidiInputMessage& message)
{
    if (!m_thru || m_thru->port().isNull())
        return;
    InstrumentMsg thru;
    thru.kind = InstrumentMsg::Raw;
    // Due at once: the application's clock plays from start-up.
    thru.time = m_clock->ticksElapsed();
    thru.bytes.assign(message.bytes.cbegin(), message.bytes.cend());
    m_thru->pipe.tryWrite(thru); // dropped when the pipe is full
}

// ---- Preferences ----------------------------------------------------------------------------

void KelvoApplication::settingsResetEvent(VEvent* event)
{
    SettingsModel* model = settingsModel();
    if (!model)
        return;
    QSettings* store = model->settings();
    using namespace PreferenceKeys;
    const auto writeDefault = [this, store](const QString& key, const QVariant& value) {
        if (store->contains(key))
            return false;
        postPreference(key, value);
        return true;
    };
    // A stored MIDI switch is applied now; a default written is applied when its change comes
    // back to the application.
    const auto applyStored = [this, store, event](const QString& key) {
        VSettingsValueChangedEvent stored(key, store->value(key), event->source());
        settingsValueChangedEvent(&stored);
    };
    writeDefault(AutoCheckForUpdate, AutoCheckForUpdateDefault);
    writeDefault(ControllersAutoLsb, ControllersAutoLsbDefault);
    writeDefault(ControllersSmartReset, ControllersSmartResetDefault);
    if (!writeDefault(MidiInputEnabled, MidiInputEnabledDefault))
        applyStored(MidiInputEnabled);
    writeDefault(MidiTriggeringMsecToggleTimeout, MidiTriggeringMsecToggleTimeoutDefault);
    if (!writeDefault(MidiThruEnabled, MidiThruEnabledDefault))
        applyStored(MidiThruEnabled);
}

void KelvoApplication::settingsValueChangedEvent(VSettingsValueChangedEvent* event)
{
    using namespace PreferenceKeys;
    const QString key = event->key();
    if (key == MidiInputEnabled || key == MidiEntryPort) {
        applyMidiInput();
        // Thru may have been kept off the entry port.
        applyMidiThru();
    } else if (key == MidiThruEnabled || key == MidiThruPort) {
        applyMidiThru();
    }
}

void KelvoApplication::postPreference(const QString& key, const QVariant& value, int flags)
{
    postToSettingsController(
        new CSettingsChangeValueEvent(key, value, this, CEvent::Flags::fromInt(flags)));
}

void KelvoApplication::applyMidiInput()
{
    if (!m_triggeringInput || !m_settingsModel)
        return;
    using namespace PreferenceKeys;
    QString port;
    if (m_settingsModel->value(MidiInputEnabled).toBool()) {
        port = m_settingsModel->value(MidiEntryPort).toString();
        if (port.isEmpty() || !m_ports.inputSet().contains(port)) {
            port = MidiPortNames::inputPortName();
            // The other views learn of the replacement; this one knows it.
            postPreference(MidiEntryPort, port, CEvent::DontUpdateSender);
        }
        m_triggeringInput->setChannels(QBitArray(MidiChannelCount, true));
    }
    if (m_triggeringInput->port() == port)
        return;
    m_triggeringInput->closePort();
    if (!port.isEmpty())
        m_triggeringInput->openPort(port);
}

void KelvoApplication::applyMidiThru()
{
    if (!m_thru || !m_settingsModel)
        return;
    using namespace PreferenceKeys;
    QString port;
    if (m_settingsModel->value(MidiThruEnabled).toBool()) {
        // Thru to the port the triggering input listens on would send every message round
        // again for ever.
        const QString entry = m_triggeringInput ? m_triggeringInput->port() : QString();
        const QString stored = m_settingsModel->value(MidiThruPort).toString();
        port = stored;
        if (port.isEmpty() || !m_ports.outputSet().contains(port) || port == entry) {
            port = MidiPortNames::synthesizerPortName();
            if (port == entry)
                port.clear();
            else if (port != stored)
                postPreference(MidiThruPort, port, CEvent::DontUpdateSender);
        }
        // Raw messages, all thru sends, go out whatever the mask.
        m_thru->setChannels(QBitArray(1, true));
    }
    setMidiThruPort(port);
}

void KelvoApplication::setMidiThruPort(const QString& port)
{
    if (m_thru->port() == port)
        return;
    m_thru->pauseAndWait();
    if (!m_thru->port().isNull()) {
        // What was passed on is not tracked note by note: whatever is still queued goes to the
        // old port, and then every note it may have left sounding is switched off there.
        QVector<InstrumentMsg> last;
        m_thru->pipe.tryReadIfReady(last, m_thru->pipe.capacity(),
                                    std::numeric_limits<quint64>::max());
        for (int channel = 0; channel < MidiChannelCount; ++channel) {
            InstrumentMsg allNotesOff;
            allNotesOff.kind = InstrumentMsg::Raw;
            allNotesOff.bytes = {uchar(ControlChange | channel), AllNotesOff, 0};
            last.append(allNotesOff);
        }
        m_thru->write(last);
    }
    m_thru->closePort();
    if (!port.isEmpty() && m_thru->openPort(port))
        m_thru->play();
}
