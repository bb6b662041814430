#ifndef KELVOAPPLICATION_H
#define KELVOAPPLICATION_H

#include "AbstractSettingsView.h"
#include "MidiPortLists.h"
#include "MidiSynth.h"
#include "ui_AboutBoxForm.h"

#include <QApplication>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QWindow>

#include <memory>

class AppServices;
class Inspector;
class KelvoWindow;
class MidiInput;
class MidiInstrument;
class MidiSync;
class MidiSynthDialog;
class PreferencesDialog;
class QDialog;
class QMessageBox;
class QAuthenticator;
class QNetworkAccessManager;
class QNetworkReply;
class QSettings;
class QSplashScreen;
struct MidiInputMessage;
class SettingsController;
class SettingsModel;
class SharedDialogs;

// The process-wide application object: the splash, the preferences, the MIDI objects that
// belong to no document (the MIDI-entry input, the thru output and its clock, the built-in
// synthesizer), the shared dialogs, the inspector and the list of document windows.
class KelvoApplication : public QApplication, public AbstractSettingsView
{
    Q_OBJECT

public:
    // synthOutput: whether the built-in synthesizer plays through the sound server (tests
    // make one without audio).
    KelvoApplication(int& argc, char** argv,
                     MidiSynth::AudioOutput synthOutput = MidiSynth::SystemAudioOutput);
    ~KelvoApplication() override;

    static KelvoApplication* instance();
    // What the editor and the inspector use of the application.
    AppServices* services() const { return m_services; }

    // The preferences store; null until the settings are loaded.
    QSettings* settings() const;
    SettingsController* settingsController() const { return m_settingsController; }
    KelvoWindow* focusWindow() const { return m_focusWindow; }
    const QList<KelvoWindow*>& windows() const { return m_windows; }
    // The untitled window made at start-up, while it may still take the first opened file.
    KelvoWindow* replaceableWindow() const;
    Inspector* inspector() const { return m_inspector; }
    MidiSynth* synth() const { return m_synth; }
    MidiSynthDialog* synthDialog() const;
    // The shared font and colour dialogs, made at first use.
    SharedDialogs* sharedDialogs();
    QSplashScreen* splash() const { return m_splash; }
    // The About box while it is open.
    QDialog* aboutBox() const;
    bool isQuitting() const { return m_quitting; }
    // Clearing the flag ends a quit without ending the program: quitEnded() tells so.
    void setQuitting(bool quitting);
    // A quit met `window` with a dialog of its own up (a Save As dialog, a close or undo
    // prompt): the quit stops now and starts again once that dialog has ended, or the window
    // has gone.
    void resumeQuitAfterDialog(KelvoWindow* window);
    bool isSynthDialogOpen() const;
    PreferencesDialog* preferencesDialog() const;
    // The input of MIDI triggering and entry, and the output thread of MIDI thru; null before
    // start-up.
    MidiInput* triggeringInput() const { return m_triggeringInput; }
    MidiInstrument* thruInstrument() const { return m_thru; }
    // How long the update check waits for the server while nothing arrives (15 s by default).
    void setUpdateCheckTimeout(int milliseconds) { m_updateCheckTimeoutMs = milliseconds; }

    // A string preference, trimmed; empty before the settings are loaded.
    QString preferenceText(const QString& key) const;

    bool isAppFontDialogVisible() const;
    QObject* appFontDialogReceiver() const;
    bool isAppColorDialogVisible() const;
    QObject* appColorDialogReceiver() const;

    const QSet<QString>& midiInputPortSet() const { return m_ports.inputSet(); }
    const QSet<QString>& midiOutputPortSet() const { return m_ports.outputSet(); }
    const QStringList& midiInputPorts() const { return m_ports.inputs(); }
    const QStringList& midiOutputPorts() const { return m_ports.outputs(); }

    // Writes the defaults of missing preferences and applies the MIDI ones.
    void settingsResetEvent(VEvent* event) override;
    // Applies a changed MIDI preference.
    void settingsValueChangedEvent(VSettingsValueChangedEvent* event) override;

signals:
    void kelvoFocusWindowChanged(KelvoWindow* window);
    void mac_inspectorVisibilityToggled();
    void synthDialogToggled();
    void midiInputPortsChanged();
    void midiOutputPortsChanged();
    // A quit was given up and the program goes on (a close was cancelled, a save failed).
    void quitEnded();
    // A document window opened or closed, or one's blockedByDialog changed.
    void documentWindowsBlockedChanged();

public slots:
    KelvoWindow* newDocument();
    void openDocuments(const QStringList& fileNames, bool asTemplates = false);
    void openDocument(const QString& fileName, bool asTemplate = false);
    // The Open dialog.
    void openDocuments();
    void saveAllDocuments();
    void closeActiveWindow();
    void mac_setInspectorVisible(bool visible);
    void mac_toggleInspector();
    void setSynthDialogOpen(bool open);
    void toggleSynthDialog();
    void showAppFontDialog();
    void connectAppFontDialog(QObject* receiver, const char* member);
    void disconnectAppFontDialog();
    void updateAppFontDialog(const QFont& font);
    void showAppColorDialog();
    void connectAppColorDialog(QObject* receiver, const char* member);
    void disconnectAppColorDialog();
    void updateAppColorDialog(const QColor& color);
    // The preferences dialog, made when there is none, and raised.
    void showAppPrefs();
    void showAppHelp();
    // The About box: the splash's picture and texts in a dialog with a close button.
    void showAppAbout();
    void openKelvoManual();
    // The website, its community page and a mail to support, as the preferences name them;
    // nothing while they are empty.
    void openKelvoWebsiteUrl();
    void openKelvoCommunityUrl();
    void openKelvoSupportUrl();
    // Quits with the windows' consent.
    void appQuit();
    // The staged start-up; runs once.
    void init();
    // MIDI triggering, entry and thru of what the triggering input has received.
    void onMidiInputReadyRead();
    void pollMidiPorts();
    void onFocusChanged(QWidget* old, QWidget* now);
    void onKelvoWindowDestroyed(QObject* object);
    void smartShowDocument(KelvoWindow* window);
    // Asks the update server for the newest version. An automatic check reports only a
    // version not reported before; a manual one always reports, failures included.
    void checkForUpdate(bool isAutoUpdate = false);
    void onNetworkAuthenticationRequired(QNetworkReply* reply, QAuthenticator* authenticator);
    void onNetworkReplyFinished();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void customEvent(QEvent* event) override;

private:
    void initMidi();
    void initUi();
    void createSharedWidgets();
    void setLaunchInfo(const QString& text);
    // A new window in the list (newDocument's steps before showing).
    KelvoWindow* createWindow();
    // Lets `window` take the next opened file while its document is untitled and unchanged.
    void setReplaceableWindow(KelvoWindow* window);
    // The focus document's commands reach the inspector and the synthesizer dialog.
    void updateTransientParents();

    // Opens the triggering input on the entry port of the preferences (the program's own input
    // when that is missing), or closes it while input is disabled.
    void applyMidiInput();
    // Opens thru on the thru port of the preferences (the synthesizer when that is missing or
    // would feed the entry port), or closes it while thru is disabled.
    void applyMidiThru();
    // Moves thru to `port` (closed when empty): what was sent to the old port is switched off.
    void setMidiThruPort(const QString& port);
    void passThru(const MidiInputMessage& message);
    // Tells the user, once each time, that the JACK server has gone.
    void tellJackServerLoss();
    // Writes a preference in the name of the application; `flags` as for CEvent.
    void postPreference(const QString& key, const QVariant& value, int flags = 0);

    // The update check's box; closing it deletes `reply` when there is one.
    void showUpdateBox(const QString& text, const QString& informativeText, QNetworkReply* reply);

    bool m_initBegun = false;
    bool m_uiStarted = false;
    Inspector* m_inspector = nullptr;
    // What the tool windows are transient for, so that they float above every document
    // window (ToolWindows); null without an X11 display.
    std::unique_ptr<QWindow> m_toolGroupParent;
    bool m_quitting = false;
    QStringList m_pendingOpenFiles;
    KelvoWindow* m_focusWindow = nullptr;
    QList<KelvoWindow*> m_windows;
    QPointer<KelvoWindow> m_replaceableWindow;
    // While a quit waits for a window's dialog: the receiver of the window's signals.
    QPointer<QObject> m_quitWait;
    // Windows that are closing because their file could not be read.
    QSet<QObject*> m_loadFailedWindows;
    SharedDialogs* m_dialogs = nullptr;
    QSplashScreen* m_splash = nullptr;
    Ui_AboutBoxForm m_aboutForm;
    QPointer<QDialog> m_aboutBox;
    QPointer<MidiSynthDialog> m_synthDialog;
    SettingsModel* m_settingsModel = nullptr;
    SettingsController* m_settingsController = nullptr;
    MidiInput* m_triggeringInput = nullptr;
    MidiInstrument* m_thru = nullptr;
    MidiSync* m_clock = nullptr;
    MidiSynth* m_synth = nullptr;
    MidiInput* m_synthInput = nullptr;
    MidiPortLists m_ports;
    quint64 m_jackServerLossesTold = 0;
    QPointer<QMessageBox> m_jackServerGoneBox;
    QPointer<PreferencesDialog> m_preferencesDialog;
    QPointer<QNetworkAccessManager> m_network;
    QPointer<QNetworkReply> m_pendingReply;
    bool m_automaticCheck = false;
    int m_updateCheckTimeoutMs = 15000;
    const MidiSynth::AudioOutput m_synthOutput;
    AppServices* m_services = nullptr;
};

#endif // KELVOAPPLICATION_H
