#ifndef KELVOAPPLICATION_H
#define KELVOAPPLICATION_H

#include "AbstractSettingsView.h"
#include "MidiSynth.h"
#include "ui_AboutBoxForm.h"

#include <QApplication>
#include <QPointer>
#include <QSet>
#include <QStringList>

class AppServices;
class Inspector;
class KelvoWindow;
class MidiInput;
class MidiInstrument;
class MidiSync;
class MidiSynthDialog;
class QSettings;
class QSplashScreen;
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
    bool isQuitting() const { return m_quitting; }
    void setQuitting(bool quitting) { m_quitting = quitting; }
    bool isSynthDialogOpen() const;

    bool isAppFontDialogVisible() const;
    QObject* appFontDialogReceiver() const;
    bool isAppColorDialogVisible() const;
    QObject* appColorDialogReceiver() const;

    const QSet<QString>& midiInputPortSet() const { return m_inputPortSet; }
    const QSet<QString>& midiOutputPortSet() const { return m_outputPortSet; }
    const QStringList& midiInputPorts() const { return m_inputPorts; }
    const QStringList& midiOutputPorts() const { return m_outputPorts; }

signals:
    void kelvoFocusWindowChanged(KelvoWindow* window);
    void mac_inspectorVisibilityToggled();
    void synthDialogToggled();
    void midiInputPortsChanged();
    void midiOutputPortsChanged();

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
    // Quits with the windows' consent.
    void appQuit();
    // The staged start-up; runs once.
    void init();
    void pollMidiPorts();
    void onFocusChanged(QWidget* old, QWidget* now);
    void onKelvoWindowDestroyed(QObject* object);
    void smartShowDocument(KelvoWindow* window);

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
    // The inspector and the synthesizer dialog float above the focus window.
    void updateTransientParents();

    bool m_initBegun = false;
    bool m_uiStarted = false;
    Inspector* m_inspector = nullptr;
    bool m_quitting = false;
    QStringList m_pendingOpenFiles;
    KelvoWindow* m_focusWindow = nullptr;
    QList<KelvoWindow*> m_windows;
    QPointer<KelvoWindow> m_replaceableWindow;
    // Windows that are closing because their file could not be read.
    QSet<QObject*> m_loadFailedWindows;
    SharedDialogs* m_dialogs = nullptr;
    QSplashScreen* m_splash = nullptr;
    Ui_AboutBoxForm m_aboutForm;
    QPointer<MidiSynthDialog> m_synthDialog;
    SettingsModel* m_settingsModel = nullptr;
    SettingsController* m_settingsController = nullptr;
    MidiInput* m_triggeringInput = nullptr;
    MidiInstrument* m_thru = nullptr;
    MidiSync* m_clock = nullptr;
    MidiSynth* m_synth = nullptr;
    MidiInput* m_synthInput = nullptr;
    QSet<QString> m_inputPortSet;
    QSet<QString> m_outputPortSet;
    QStringList m_inputPorts;
    QStringList m_outputPorts;
    const MidiSynth::AudioOutput m_synthOutput;
    AppServices* m_services = nullptr;
};

#endif // KELVOAPPLICATION_H
