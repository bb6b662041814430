// Opens Kelvo's ports on the ALSA sequencer as the program does (its virtual ports, an output
// to "Peer:Synth" and an input from "Peer:Out", which the test's peer holds) and prints what
// another client sees of this process: one line per client, "seen: client NAME: PORTS", with
// the port numbers of the virtual ports. Exits non-zero when a port does not open.
#include "AlsaPeer.h"
#include "MidiInput.h"
#include "MidiOutput.h"
#include "MidiPortNames.h"
#include "MidiSystem.h"

#include <QCoreApplication>

#include <cstdio>

#include <unistd.h>

int main(int argc, char** argv)
{
    qputenv("KELVO_MIDI_API", "alsa");
    QCoreApplication app(argc, argv);
    int status = 0;
    if (!MidiIO<RtMidiIn>::macOpenVirtualPorts() || !MidiIO<RtMidiOut>::macOpenVirtualPorts()) {
        std::fprintf(stderr, "the virtual ports do not open\n");
        status = 1;
    }
    {
        MidiOutput out;
        MidiInput in;
        if (!out.openPort(QStringLiteral("Peer:Synth"))
            || !in.openPort(QStringLiteral("Peer:Out"))) {
            std::fprintf(stderr, "the ports to and from the peer do not open\n");
            status = 1;
        }
        const QSet<QString> virtualPorts
            = {MidiPortNames::inputPortName(), MidiPortNames::synthesizerPortName(),
               MidiPortNames::outputPortName()};
        AlsaPeer observer(QStringLiteral("Observer"));
        QStringList lines;
        for (const AlsaPeer::Client& client : observer.clients()) {
            if (client.pid != int(getpid()) || client.id == observer.clientId())
                continue;
            QStringList ports;
            for (const AlsaPeer::Port& port : client.ports) {
                ports.append(virtualPorts.contains(port.name)
                                 ? QStringLiteral("%1 %2").arg(port.name).arg(port.number)
                                 : port.name);
            }
            ports.sort();
            lines.append(QStringLiteral("seen: client %1: %2").arg(client.name, ports.join(", ")));
        }
        lines.sort();
        for (const QString& line : lines)
            std::printf("%s\n", qPrintable(line));
    }
    MidiIO<RtMidiIn>::macCloseVirtualPorts();
    MidiIO<RtMidiOut>::macCloseVirtualPorts();
    Platform::MidiSystem::shutDown();
    return status;
}
