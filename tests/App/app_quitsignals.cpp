// Runs the application as the program does, with the quit on SIGINT and SIGTERM, for tests that
// send it signals. Without MIDI and without audio.
//
// KELVO_PROBE_MODIFIED: when set, the document of the start-up window is changed, so that
//   quitting asks to save it.
// KELVO_PROBE_CANCELS: how many of those prompts to cancel.
// KELVO_PROBE_SAVE_FAILS: a file the start-up document is saved to before it is changed and
//   that is then made read-only; the first prompt is answered Save, and the box that tells of
//   the failed save OK ("save failed").
//
// Prints "ready" once the start-up window is up, "prompt" whenever a message box shows,
// "cancelled" for each prompt cancelled, "quit ended" when a quit was given up (from then on a
// signal asks again), and "returned <code>" when the event loop ends.

#include "DialogAnswerer.h"
#include "KelvoApplication.h"
#include "KelvoWindow.h"
#include "QmdKelvoController.h"
#include "QuitSignals.h"

#include <QAbstractButton>
#include <QFile>
#include <QTimer>

#include <cstdio>

namespace {

void say(const char* line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("KELVO_MIDI_API", "jack");
    qputenv("JACK_DEFAULT_SERVER", "kelvo-no-such-server");
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    KelvoApplication app(argc, argv, MidiSynth::NoAudioOutput);
    QuitSignals quitSignals(&app);
    QObject::connect(&app, &KelvoApplication::quitEnded, &app, [] { say("quit ended"); });

    DialogAnswerer answerer;
    const QString failingSave = qEnvironmentVariable("KELVO_PROBE_SAVE_FAILS");
    if (!failingSave.isEmpty()) {
        answerer.answer([](QWidget* dialog) {
            say("prompt");
            qobject_cast<QMessageBox*>(dialog)->button(QMessageBox::Save)->click();
        });
        answerer.answer([](QWidget* dialog) {
            say("save failed");
            qobject_cast<QMessageBox*>(dialog)->button(QMessageBox::Ok)->click();
        });
    }
    for (int i = qEnvironmentVariableIntValue("KELVO_PROBE_CANCELS"); i > 0; --i) {
        answerer.answer([](QWidget* dialog) {
            say("prompt");
            if (auto* box = qobject_cast<QMessageBox*>(dialog))
                box->button(QMessageBox::Cancel)->click();
            say("cancelled");
        });
    }
    // Once no answer is left, the next prompt stays open.
    answerer.answer([](QWidget*) { say("prompt"); });

    QTimer ready;
    QObject::connect(&ready, &QTimer::timeout, &app, [&app, &ready, &failingSave] {
        if (app.windows().isEmpty())
            return;
        ready.stop();
        QmdKelvoController* controller = app.windows().first()->controller();
        if (!failingSave.isEmpty())
            controller->requestSave(failingSave);
        if (qEnvironmentVariableIsSet("KELVO_PROBE_MODIFIED"))
            controller->requestAddNode(QmdKelvo::TickPoint {0, 0});
        if (!failingSave.isEmpty())
            QFile::setPermissions(failingSave, QFile::ReadOwner);
        say("ready");
    });
    ready.start(20);
    // A probe that does not end by itself fails.
    QTimer::singleShot(60000, &app, [] { std::_Exit(3); });
    const int code = app.exec();
    std::printf("returned %d\n", code);
    return code;
}
