#ifndef APPTESTMAIN_H
#define APPTESTMAIN_H

#include "KelvoApplication.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

// Points the preferences at an empty folder of the test's own, as on a first run.
inline void useFreshPreferences(const QTemporaryDir& folder)
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
}

// The main function of a test of the application: one KelvoApplication for the whole
// executable, with no MIDI system (a JACK server that does not run), a synthesizer without
// audio, widget-based dialogs and empty preferences, started up before the first test function
// runs.
#define KELVO_APP_TEST_MAIN(TestClass)                                                             \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        qputenv("KELVO_MIDI_API", "jack");                                                         \
        qputenv("JACK_DEFAULT_SERVER", "kelvo-no-such-server");                                    \
        const QTemporaryDir preferences;                                                           \
        useFreshPreferences(preferences);                                                          \
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);                               \
        KelvoApplication app(argc, argv, MidiSynth::NoAudioOutput);                                \
        app.init();                                                                                \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }

#endif // APPTESTMAIN_H
