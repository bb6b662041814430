// MIDI layer benchmark: (1) time-sorted pipe throughput with 16 writer threads and one reader;
// (2) the delay from MidiOutput::write to MidiInput arrival through a JACK dummy server, which
// the program starts itself (jackd must be installed).

#include "HostTime.h"
#include "InstrumentMsg.h"
#include "JackTestServer.h"
#include "MidiInput.h"
#include "MidiOutput.h"
#include "SortedPipe.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

void pipeThroughput()
{
    const int writers = 16;
    const int perWriter = 200000;
    SortedPipe<InstrumentMsg> pipe(1000);
    std::atomic<quint64> now {0};
    std::atomic<int> writing {writers};
    const quint64 start = Platform::hostTimeNs();
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; ++w) {
        threads.emplace_back([&, w] {
            InstrumentMsg message;
            message.data1 = quint8(w);
            for (int i = 0; i < perWriter;) {
                message.time = now.load(std::memory_order_relaxed) + quint64(i % 64);
                if (pipe.tryWrite(message))
                    ++i;
                else
                    std::this_thread::yield();
            }
            --writing;
        });
    }
    qint64 read = 0;
    QVector<InstrumentMsg> out;
    while (writing.load() > 0 || pipe.size() > 0) {
        out.clear();
        pipe.tryReadIfReady(out, 32, now.fetch_add(8, std::memory_order_relaxed));
        read += out.size();
    }
    for (std::thread& t : threads)
        t.join();
    const double seconds = double(Platform::hostTimeNs() - start) / 1e9;
    std::printf("SortedPipe, %d writers, 1 reader: %lld messages in %.3f s = %.0f messages/s\n",
                writers, static_cast<long long>(read), seconds, double(read) / seconds);
}

bool jackDelay()
{
    JackTestServer server;
    QString error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    MidiIO<RtMidiIn>::macOpenVirtualPorts();
    MidiInput in;
    MidiOutput out;
    if (!in.openPort(QStringLiteral("Kelvo Synthesizer"))
        || !out.openPort(QStringLiteral("Kelvo Synthesizer"))) {
        std::fprintf(stderr, "the ports could not be opened\n");
        return false;
    }
    QBitArray channel1(16);
    channel1.setBit(0);
    out.setChannels(channel1);

    std::vector<double> delaysMs;
    InstrumentMsg message;
    message.kind = InstrumentMsg::ControlChange;
    for (int i = 0; i < 1000; ++i) {
        message.data2 = quint8(i % 128);
        const quint64 sent = Platform::hostTimeNs();
        out.write(message);
        MidiInputMessage received;
        while (!in.readMessage(received)) {
            if (Platform::hostTimeNs() - sent > 1000000000u) {
                std::fprintf(stderr, "a message did not arrive\n");
                return false;
            }
            QThread::usleep(20);
        }
        delaysMs.push_back(double(received.hostTimeNs - sent) / 1e6);
        QThread::usleep(500 + i % 7 * 300); // spread the sends over the server's periods
    }
    std::sort(delaysMs.begin(), delaysMs.end());
    std::printf("MidiOutput to MidiInput over JACK (dummy driver, 128 frames at 48 kHz): "
                "median %.2f ms, 99th percentile %.2f ms, of %zu messages\n",
                delaysMs[delaysMs.size() / 2], delaysMs[delaysMs.size() * 99 / 100],
                delaysMs.size());
    in.closePort();
    out.closePort();
    MidiIO<RtMidiIn>::macCloseVirtualPorts();
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    pipeThroughput();
    return jackDelay() ? 0 : 1;
}
