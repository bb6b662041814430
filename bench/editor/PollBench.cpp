// The GUI thread while the network plays in the full document window (its network view, tool
// bar with the position display redrawn every 32 ms, and menu bar), with the application's poll
// of the MIDI ports running once a second on the MIDI system of the machine (ALSA when present,
// else a JACK server with the dummy driver that the section starts itself); and what one redraw
// of the position display costs, painting included.

#include "EditorBench.h"
#include "JackTestServer.h"
#include "KelvoWindow.h"
#include "MidiIO.h"
#include "MidiPortLists.h"
#include "MidiSystem.h"
#include "NetworkView.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"

#include <QFrame>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

// Times what the position display's timer sets off: the redraw slot, before the repaint that
// it asks for.
class TimerCost : public QObject
{
public:
    double ms = 0;
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Timer)
            return false;
        const double before = EditorBench::threadCpuMs();
        watched->event(event);
        ms += EditorBench::threadCpuMs() - before;
        ++count;
        return true;
    }
};

// CPU per redraw of the position display with its repaint, in milliseconds, over `runs`
// redraws while the transport plays, so that the steps of the beat change between them.
double redrawCostMs(KelvoWindow* window, int runs)
{
    auto* frame = window->findChild<QFrame*>(QStringLiteral("lcdFrame"));
    const double before = EditorBench::threadCpuMs();
    for (int i = 0; i < runs; ++i) {
        window->updatePlaybackPosDisplayForCurrentMode();
        frame->repaint();
    }
    return (EditorBench::threadCpuMs() - before) / runs;
}

} // namespace

EDITOR_BENCH_SECTION(poll, 70)
{
    // The server outlives the bench, whose instruments hold ports on it until the end.
    static std::unique_ptr<JackTestServer> jack;
    if (Platform::MidiSystem::api() == Platform::MidiSystem::NoApi) {
        jack = std::make_unique<JackTestServer>();
        QString error;
        if (!jack->start(&error)) {
            EditorBench::cannotMeasure(
                QStringLiteral("no MIDI system, and no JACK server could be started: ") + error);
            return;
        }
    }
    std::printf("  MIDI system: %s\n",
                qPrintable(Platform::MidiSystem::apiName(Platform::MidiSystem::api())));
    MidiIO<RtMidiIn>::macOpenVirtualPorts();
    MidiIO<RtMidiOut>::macOpenVirtualPorts();

    // The instruments open their ports now that there are some.
    QmdKelvoController* c = bench.controller();
    for (const QmdItemId instrument : std::as_const(bench.instruments))
        c->requestSetData(QmdKelvoKeys::MidiPort, QString(), c->instrumentIndex(instrument),
                          QmdRequestOptions(Qmd::NotUndoable, QString()));
    EditorBench::settle();

    MidiPortLists ports;
    double pollMs = 0;
    int polls = 0;
    QTimer pollTimer;
    pollTimer.setInterval(1000);
    QObject::connect(&pollTimer, &QTimer::timeout, [&] {
        const double before = EditorBench::threadCpuMs();
        ports.poll();
        pollMs += EditorBench::threadCpuMs() - before;
        ++polls;
    });

    // The document window itself, in place of the bench's own view.
    KelvoWindow* window = bench.window();
    bench.view()->hide();
    window->resize(1920, 1080);
    window->show();
    window->setPlaybackPosDisplayMode(3);
    EditorBench::settle();
    TimerCost displayTimer;
    QTimer* positionTimer = nullptr;
    for (QTimer* timer : window->findChildren<QTimer*>()) {
        if (timer->interval() == 32 && timer->parent() == window)
            positionTimer = timer;
    }
    if (positionTimer)
        positionTimer->installEventFilter(&displayTimer);

    const int seconds = 10;
    pollTimer.start();
    const EditorBench::Played played = bench.play(seconds);
    pollTimer.stop();
    // A redraw with its repaint, 31.25 times a second, while the clock runs.
    c->requestPlay();
    const double redrawMs = redrawCostMs(window, 2000);
    c->requestPause();
    EditorBench::settle();

    std::printf("  %d of %lld voice groups playing; %d polls, %lld input and %lld output ports\n",
                played.voiceGroupsPlaying, qlonglong(bench.voiceGroups.size()), polls,
                qlonglong(ports.inputs().size()), qlonglong(ports.outputs().size()));
    EditorBench::report("GUI thread while playing, CPU per second (25 % of a core)",
                        played.guiCpuMs / seconds, 250.0);
    EditorBench::report("of it the port poll, CPU per second", pollMs / seconds, 25.0);
    std::printf("  %d redraws of the position display\n", displayTimer.count);
    EditorBench::report("of it the display's redraw slot, CPU per second",
                        displayTimer.ms / seconds, 25.0);
    EditorBench::report("a redraw of the display with its repaint, CPU", redrawMs, 0.8);
    EditorBench::report("so the display's redraw and repaint, CPU per second", redrawMs * 31.25,
                        25.0);

    if (positionTimer)
        positionTimer->removeEventFilter(&displayTimer);
    window->hide();
    bench.view()->show();
    EditorBench::settle();

    MidiIO<RtMidiIn>::macCloseVirtualPorts();
    MidiIO<RtMidiOut>::macCloseVirtualPorts();
}
