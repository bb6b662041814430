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

#include <QTimer>

#include <cstdio>
#include <memory>

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
        const double before = EditorBench::threadCpuMs();
        ports.poll();
        pollMs += EditorBench::threadCpuMs() - before;
        ++polls;
    });

    const int seconds = 10;
    pollTimer.start();
    const EditorBench::Played played = bench.play(seconds);
    pollTimer.stop();

    std::printf("  %d of %lld voice groups playing; %d polls, %lld input and %lld output ports\n",
                played.voiceGroupsPlaying, qlonglong(bench.voiceGroups.size()), polls,
                qlonglong(ports.inputs().size()), qlonglong(ports.outputs().size()));
    EditorBench::report("GUI thread while playing, CPU per second (25 % of a core)",
                        played.guiCpuMs / seconds, 250.0);
    EditorBench::report("of it the port poll, CPU per second", pollMs / seconds, 25.0);

    MidiIO<RtMidiIn>::macCloseVirtualPorts();
    MidiIO<RtMidiOut>::macCloseVirtualPorts();
}
