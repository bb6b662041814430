// The GUI thread while the network plays, with the application's poll of the MIDI ports running
// once a second on the MIDI system of the machine (ALSA when present, else a JACK server with
// the dummy driver that the section starts itself).

#include "EditorBench.h"
#include "JackTestServer.h"
#include "MidiIO.h"
#include "MidiPortLists.h"
#include "MidiSystem.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"

#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <memory>

namespace {

// CPU time of the calling thread, in milliseconds.
double threadCpuMs()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
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
            std::printf("  no MIDI system, and no JACK server could be started: %s\n",
                        qPrintable(error));
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
        const double before = threadCpuMs();
        ports.poll();
        pollMs += threadCpuMs() - before;
        ++polls;
    });

    const int seconds = 10;
    c->requestPlay();
    pollTimer.start();
    const double before = threadCpuMs();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double guiMs = threadCpuMs() - before;
    pollTimer.stop();
    int playing = 0;
    for (const QmdItemId group : std::as_const(bench.voiceGroups))
        playing += c->isVoiceGroupIterating(group) ? 1 : 0;
    c->requestPause();
    EditorBench::settle();

    std::printf("  %d of %lld voice groups playing; %d polls, %lld input and %lld output ports\n",
                playing, qlonglong(bench.voiceGroups.size()), polls,
                qlonglong(ports.inputs().size()), qlonglong(ports.outputs().size()));
    EditorBench::report("GUI thread while playing, CPU per second (25 % of a core)",
                        guiMs / seconds, 250.0);
    EditorBench::report("of it the port poll, CPU per second", pollMs / seconds, 25.0);

    MidiIO<RtMidiIn>::macCloseVirtualPorts();
    MidiIO<RtMidiOut>::macCloseVirtualPorts();
}
