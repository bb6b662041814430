// Starts the application as the program does, with the arguments given, and reports the
// windows it ends up with, for tests of start-up that need arguments or an event loop of their
// own. Without MIDI and without audio.
//
// KELVO_PROBE: "destroy-before-init" makes and destroys the application without starting it;
//   "close-last" closes the last window after the report (the program must then end); any
//   other value quits through appQuit after the report.
// KELVO_PROBE_EARLY, KELVO_PROBE_LATE: files (separated by '|') whose file-open events are
//   posted before start-up and once start-up is done.
// KELVO_PROBE_ANSWERS: how many message boxes to answer with OK.
//
// Prints one line per window, "window <file or untitled> replaceable=<0|1> visible=<0|1>", one
// line per message box answered, "box <text>", and "returned <code>" when the loop ends.

#include "DialogAnswerer.h"
#include "KelvoApplication.h"
#include "KelvoWindow.h"
#include "QmdKelvoController.h"

#include <QElapsedTimer>
#include <QFileOpenEvent>
#include <QTimer>

#include <cstdio>

namespace {

void postFileOpenEvents(const char* variable)
{
    const QString files = qEnvironmentVariable(variable);
    for (const QString& file : files.split(QLatin1Char('|'), Qt::SkipEmptyParts))
        QCoreApplication::postEvent(QCoreApplication::instance(), new QFileOpenEvent(file));
}

void report(KelvoApplication& app, const DialogAnswerer& answerer)
{
    for (KelvoWindow* window : app.windows()) {
        const QString file = window->controller()->fileName();
        std::printf("window %s replaceable=%d visible=%d\n",
                    qPrintable(file.isEmpty() ? QStringLiteral("untitled") : file),
                    int(window == app.replaceableWindow()), int(window->isVisible()));
    }
    for (const QString& message : answerer.messages())
        std::printf("box %s\n", qPrintable(message));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("KELVO_MIDI_API", "jack");
    qputenv("JACK_DEFAULT_SERVER", "kelvo-no-such-server");
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    const QByteArray mode = qgetenv("KELVO_PROBE");

    if (mode == "destroy-before-init") {
        {
            KelvoApplication app(argc, argv, MidiSynth::NoAudioOutput);
            std::printf("synth=%d windows=%d\n", int(app.synth() != nullptr),
                        int(app.windows().size()));
        }
        std::printf("destroyed\n");
        return 0;
    }

    KelvoApplication app(argc, argv, MidiSynth::NoAudioOutput);
    DialogAnswerer answerer;
    for (int i = qEnvironmentVariableIntValue("KELVO_PROBE_ANSWERS"); i > 0; --i)
        answerer.clickButton(QMessageBox::Ok);
    postFileOpenEvents("KELVO_PROBE_EARLY");
    // Start-up waits for the synthesizer with the event loop running, however long a busy
    // machine takes: the late events and the report count from the first window.
    // The report waits for a window of every late file as well, however long opening takes
    // (a quit before would leave the window of a file opened after it, and the program
    // running), for 20 seconds at most.
    QTimer started;
    QTimer reporting;
    QElapsedTimer sinceLate;
    const QStringList late
        = qEnvironmentVariable("KELVO_PROBE_LATE").split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QObject::connect(&reporting, &QTimer::timeout, &app, [&] {
        for (const QString& file : late) {
            bool open = false;
            for (KelvoWindow* window : app.windows())
                open = open || window->controller()->fileName() == file;
            if (!open && sinceLate.elapsed() < 20000)
                return;
        }
        reporting.stop();
        report(app, answerer);
        if (mode == "close-last")
            app.windows().last()->close();
        else
            app.appQuit();
    });
    QObject::connect(&started, &QTimer::timeout, &app, [&] {
        if (app.windows().isEmpty())
            return;
        started.stop();
        QTimer::singleShot(200, &app, [&] {
            postFileOpenEvents("KELVO_PROBE_LATE");
            sinceLate.start();
        });
        QTimer::singleShot(600, &app, [&] { reporting.start(10); });
    });
    started.start(10);
    // A probe that does not end by itself fails.
    QTimer::singleShot(50000, &app, [] { std::_Exit(3); });
    const int code = app.exec();
    std::printf("returned %d\n", code);
    return code;
}
