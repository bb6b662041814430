#ifndef PREFERENCEKEYS_H
#define PREFERENCEKEYS_H

#include <QString>

// The keys of the application's preferences, with the defaults that are written when a key is
// missing. Keys are compared exactly (case-sensitive).
namespace PreferenceKeys {

// bool, default true: check for a newer version at start-up.
inline const QString AutoCheckForUpdate = QStringLiteral("AutoCheckForUpdate");
inline constexpr bool AutoCheckForUpdateDefault = true;
// bool, default false: a new controller curve pairs its LSB controller.
inline const QString ControllersAutoLsb = QStringLiteral("ControllersAutoLsb");
inline constexpr bool ControllersAutoLsbDefault = false;
// bool, default true: controllers return to their reset value when a curve changes in play.
inline const QString ControllersSmartReset = QStringLiteral("ControllersSmartReset");
inline constexpr bool ControllersSmartResetDefault = true;
// bool, default true: the MIDI-entry input is open.
inline const QString MidiInputEnabled = QStringLiteral("MidiInputEnabled");
inline constexpr bool MidiInputEnabledDefault = true;
// string, the input port of MIDI entry and triggering; no default.
inline const QString MidiEntryPort = QStringLiteral("MidiEntryPort");
// int, milliseconds: a note-off this soon after its note-on does not stop triggered groups.
inline const QString MidiTriggeringMsecToggleTimeout
    = QStringLiteral("MidiTriggeringMsecToggleTimeout");
inline constexpr int MidiTriggeringMsecToggleTimeoutDefault = 200;
// bool, default true: MIDI input is passed on to the thru port.
inline const QString MidiThruEnabled = QStringLiteral("MidiThruEnabled");
inline constexpr bool MidiThruEnabledDefault = true;
// string, the output port of MIDI thru; no default.
inline const QString MidiThruPort = QStringLiteral("MidiThruPort");
// string, the path of the file that new documents start from; no default.
inline const QString TemplateFile = QStringLiteral("TemplateFile");
// string, the full address of the update check (an http or https URL); empty by default, and
// while it is empty no check is made.
inline const QString UpdateCheckUrl = QStringLiteral("UpdateCheckUrl");
// string, the address of Kelvo's website (its community page is below it); empty by default.
inline const QString WebsiteUrl = QStringLiteral("WebsiteUrl");
// string, the mail address of Kelvo's support; empty by default.
inline const QString SupportMailAddress = QStringLiteral("SupportMailAddress");
// string, the newest version the update check has announced; no default.
inline const QString CheckForUpdateLatestKnownVersion
    = QStringLiteral("CheckForUpdateLatestKnownVersion");
// byte arrays: where the file dialogs and the synthesizer dialog were last.
inline const QString OpenDialogGeometry = QStringLiteral("OpenDialogGeometry");
inline const QString OpenDialogState = QStringLiteral("OpenDialogState");
inline const QString SaveAsDialogGeometry = QStringLiteral("SaveAsDialogGeometry");
inline const QString SaveAsDialogState = QStringLiteral("SaveAsDialogState");
inline const QString MidiSynthDialogGeometry = QStringLiteral("MidiSynthDialogGeometry");
// array of entries with the key "Path", newest first, at most RecentFilesMax.
inline const QString RecentFiles = QStringLiteral("RecentFiles");
inline const QString RecentFilesPath = QStringLiteral("Path");
inline constexpr int RecentFilesMax = 10;
// bool, default false: the colour palette of instruments and edge markers is the alternate
// one. Read once per process.
inline const QString AlternateColorPalette = QStringLiteral("AlternateColorPalette");

} // namespace PreferenceKeys

#endif // PREFERENCEKEYS_H
