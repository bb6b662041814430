// The built-in synthesizer: how soon a note-on that reaches the worker is heard, and what
// rendering costs. Offline (no audio output), so the figures are the synthesizer's own.
#include "MidiSynth.h"
#include "MusicDevice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMutex>
#include <QThread>

#include <cmath>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QMutex mutex;
    MidiSynthWorker worker(&mutex, false);
    Platform::MusicDevice* device = worker.device();
    const double rate = device->sampleRate();
    std::printf("sound bank: %s, %d instruments, %.0f Hz\n", qPrintable(worker.soundBankName()),
                worker.instrumentCount(), rate);

    // 1. Note-on to the first non-silent sample, rendered in blocks of 64 frames.
    std::vector<float> left(44100), right(44100);
    device->render(left.data(), right.data(), 4096);
    worker.sendMidiEvent({0x90, 60, 100});
    long firstSample = -1;
    for (long rendered = 0; rendered < 44100 && firstSample < 0; rendered += 64) {
        device->render(left.data(), right.data(), 64);
        for (int i = 0; i < 64; ++i) {
            if (left[size_t(i)] != 0.f) {
                firstSample = rendered + i;
                break;
            }
        }
    }
    std::printf("note-on to first sound: %ld samples (%.3f ms)\n", firstSample,
                firstSample * 1000.0 / rate);
    worker.sendMidiEvent({0xB0, 123, 0});

    // 2. One second of 16 channels, 4 notes each (64 voices), rendered as an audio driver would
    //    in periods of 128 frames.
    for (int channel = 0; channel < 16; ++channel) {
        worker.sendMidiEvent({uchar(0xC0 + channel), uchar(channel * 5), 0});
        for (int n = 0; n < 4; ++n)
            worker.sendMidiEvent({uchar(0x90 + channel), uchar(48 + channel + n * 7), 90});
    }
    QElapsedTimer timer;
    timer.start();
    for (int frames = 0; frames < int(rate); frames += 128)
        device->render(left.data(), right.data(), 128);
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("rendering 1 s of 16 channels, 64 voices: %.1f ms, %.1f %% of one core\n",
                seconds * 1000, seconds * 100);
    return 0;
}
