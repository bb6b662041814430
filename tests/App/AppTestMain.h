#ifndef APPTESTMAIN_H
#define APPTESTMAIN_H

#include "KelvoApplication.h"

#include <QTest>

// The main function of a test of the application: one KelvoApplication for the whole
// executable, with no MIDI system (a JACK server that does not run), a synthesizer without
// audio and widget-based dialogs, started up before the first test function runs.
#define KELVO_APP_TEST_MAIN(TestClass)                                                             \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        qputenv("KELVO_MIDI_API", "jack");                                                         \
        qputenv("JACK_DEFAULT_SERVER", "kelvo-no-such-server");                                    \
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);                               \
        KelvoApplication app(argc, argv, MidiSynth::NoAudioOutput);                                \
        app.init();                                                                                \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }

#endif // APPTESTMAIN_H
