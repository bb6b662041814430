// Benchmark: going to the start while playing. A network of 16 voice groups plays through 16
// instruments, each with bank and program change on, to the built-in synthesizer's port on a
// JACK dummy server; the transport goes back to the start 50 times, 100 ms apart. Reports how
// long each go-to-start takes (the time the transport stands still), against a target of 5 ms,
// and how many times the MIDI ports were listed meanwhile.

#include "AbstractSync.h"
#include "HostTime.h"
#include "JackTestServer.h"
#include "MidiInput.h"
#include "MidiSystem.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace K = QmdKelvoKeys;

namespace {

constexpr qint64 P = 665280;
constexpr int Instruments = 16;
constexpr int Jogs = 50;
constexpr double TargetMs = 5.0;

// Runs the events posted so far (the controller's relays among them) for `ms` milliseconds.
void runEvents(int ms)
{
    const quint64 end = Platform::hostTimeNs() + quint64(ms) * 1000000ULL;
    do {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QThread::msleep(1);
    } while (Platform::hostTimeNs() < end);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    JackTestServer server;
    QString error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "JACK dummy server: %s\n", qPrintable(error));
        return 1;
    }
    MidiIO<RtMidiIn>::macOpenVirtualPorts();
    // Another program listening on the synthesizer's port, which the instruments play to.
    MidiInput listener;
    listener.openPort(K::synthesizerPortName());

    QmdMemModel model;
    QmdKelvoController c;
    c.setModel(&model);
    c.requestSetData(K::Tempo, 120u, QmdIndex());
    for (int i = 0; i < Instruments; ++i) {
        QBitArray channels(16);
        channels.setBit(i);
        c.requestAddInstrument(QStringLiteral("Instrument %1").arg(i + 1), Qt::red, channels);
        c.requestSetData(K::MidiDoProgramChange, true, c.instrumentIndex(c.instruments().last()));
    }
    // A ring of 16 nodes a sixteenth of a principal apart, one group starting on each.
    QList<QmdItemId> nodes;
    for (int i = 0; i < 16; ++i) {
        QmdItemId id = 0;
        c.requestAddNode(QmdKelvo::TickPoint {i * P / 16, 0}, QmdKelvo::NoCreationFlags,
                         QmdRequestOptions(QString()), &id);
        c.requestSetData(K::Notes, QStringLiteral("C3:96:50% E3 G3"), c.elementIndex(id));
        nodes.append(id);
    }
    for (int i = 0; i < 16; ++i)
        c.requestAddEdge(c.elementIndex(nodes[i]), c.elementIndex(nodes[(i + 1) % 16]));
    const QmdItemIdList instruments = c.instruments();
    for (int g = 0; g < 16; ++g) {
        c.requestAddVoiceGroup(c.elementIndex(nodes[g]));
        c.requestSetData(K::InitialInstrument, uint(instruments[g]),
                         c.elementIndex(c.elements().last()));
    }
    runEvents(100);
    if (c.instrumentsCopy().size() != Instruments || c.voiceGroupsCopy().size() != 16) {
        std::fprintf(stderr, "the document's threads did not start\n");
        return 1;
    }

    c.requestPlay();
    runEvents(1000);
    std::vector<double> ms;
    const quint64 listingsBefore = Platform::MidiSystem::portListings();
    for (int i = 0; i < Jogs; ++i) {
        const quint64 begin = Platform::hostTimeNs();
        c.requestGotoStart();
        ms.push_back(double(Platform::hostTimeNs() - begin) / 1e6);
        runEvents(100);
        listener.takeMessages();
    }
    const quint64 listings = Platform::MidiSystem::portListings() - listingsBefore;
    const bool playing = c.sync()->isPlaying();
    c.requestPause();

    std::sort(ms.begin(), ms.end());
    const auto at = [&ms](double q) { return ms[size_t(q * double(ms.size() - 1))]; };
    std::printf("go to start while playing: %d instruments, 16 voice groups, JACK dummy server\n",
                Instruments);
    std::printf("  duration (ms): median %.3f  p99 %.3f  max %.3f  (%d)\n", at(0.5), at(0.99),
                ms.back(), Jogs);
    std::printf("  target %.1f ms: median %s, p99 %s, max %s\n", TargetMs,
                at(0.5) <= TargetMs ? "met" : "missed", at(0.99) <= TargetMs ? "met" : "missed",
                ms.back() <= TargetMs ? "met" : "missed");
    std::printf("  ports listed meanwhile: %llu; still playing afterwards: %s\n",
                (unsigned long long)listings, playing ? "yes" : "no");
    return 0;
}
