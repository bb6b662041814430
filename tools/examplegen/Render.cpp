// Plays a network without a MIDI system, faster than it is meant to go, and writes the MIDI its
// instruments would have sent as a Standard MIDI File timed at the network's own tempo, so that
// a synthesizer can render it offline. Prints what was played.

#include "Render.h"

#include "AbstractSync.h"
#include "FeedbackMsg.h"
#include "MidiInstrument.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"
#include "VoiceGroup.h"

#include <QBitArray>
#include <QCoreApplication>
#include <QFile>
#include <QMap>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace K = QmdKelvoKeys;

namespace {

struct TimedBytes
{
    quint64 ms;
    QByteArray bytes;
};

QByteArray variableLength(quint32 value)
{
    QByteArray out(1, char(value & 0x7F));
    while (value >>= 7)
        out.prepend(char((value & 0x7F) | 0x80));
    return out;
}

// One track, 1000 divisions of a quarter note at 60 beats per minute: one division is 1 ms.
QByteArray standardMidiFile(QList<TimedBytes> events)
{
    std::stable_sort(events.begin(), events.end(),
                     [](const TimedBytes& a, const TimedBytes& b) { return a.ms < b.ms; });
    QByteArray track = QByteArray::fromHex("00ff5103"
                                           "0f4240");
    quint64 last = 0;
    for (const TimedBytes& event : std::as_const(events)) {
        track += variableLength(quint32(event.ms - last)) + event.bytes;
        last = event.ms;
    }
    track += QByteArray::fromHex("00ff2f00");
    QByteArray file = QByteArray::fromHex("4d546864"
                                          "00000006"
                                          "0000"
                                          "0001"
                                          "03e8"
                                          "4d54726b");
    const quint32 size = quint32(track.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        file += char((size >> shift) & 0xFF);
    return file + track;
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int value : values)
        out += char(value);
    return out;
}

QByteArray messageBytes(const InstrumentMsg& m, int channel)
{
    switch (m.kind) {
    case InstrumentMsg::NoteOn:
        return bytes({0x90 | channel, m.data1, m.data2});
    case InstrumentMsg::NoteOff:
        return bytes({0x80 | channel, m.data1, 0});
    case InstrumentMsg::PitchBend:
        return bytes({0xE0 | channel, m.data2, m.data1});
    case InstrumentMsg::ControlChange:
        return bytes({0xB0 | channel, m.data1, m.data2});
    default:
        return QByteArray();
    }
}

} // namespace

int renderMidi(const QString& document, double seconds, const QString& midiFile)
{
    QmdMemModel model;
    QmdKelvoController controller;
    controller.setModel(&model);
    bool loaded = false;
    QObject::connect(&controller, &QmdDocController::fileLoaded, [&loaded] { loaded = true; });
    controller.requestLoad(document);
    QCoreApplication::processEvents();
    AbstractSync* clock = controller.sync();
    if (!loaded || !clock) {
        std::fprintf(stderr, "cannot load %s\n", qPrintable(document));
        return 1;
    }

    // Every instrument's channels and program, sent first.
    QList<TimedBytes> events;
    QHash<QmdItemId, QList<int>> channels;
    for (QmdItemId id : controller.instruments()) {
        const QmdIndex index = controller.instrumentIndex(id);
        const QBitArray mask = controller.data(K::MidiChannels, index).toBitArray();
        for (int c = 0; c < mask.size(); ++c) {
            if (!mask.testBit(c))
                continue;
            channels[id].append(c);
            if (controller.data(K::MidiDoProgramChange, index).toBool())
                events.append(
                    {0, bytes({0xC0 | c, controller.data(K::MidiProgram, index).toInt() - 1})});
        }
    }

    // Faster by a whole factor, so that ticks turn back into the network's own time exactly.
    const uint speed = std::max(1u, 999u / std::max(1u, clock->tempo()));
    clock->setTempo(clock->tempo() * speed);
    const quint64 end = clock->nanosToTicks(quint64(seconds * 1e9 / speed));
    const auto toMs = [&](quint64 ticks) { return clock->ticksToNanos(ticks) * speed / 1000000; };

    // Every group places its first voice at tick 0 while the clock stands, so that all start
    // together when it plays.
    const QHash<QmdItemId, VoiceGroup*> groups = controller.voiceGroupsCopy();
    for (VoiceGroup* group : groups)
        group->continueIterating();
    clock->setPlaying(true);

    QMap<int, int> notesByPitch;
    int exhausted = 0;
    quint64 lastNoteOn = 0;
    QVector<InstrumentMsg> messages;
    QVector<FeedbackMsg> feedback;
    const auto drain = [&] {
        const QHash<QmdItemId, MidiInstrument*> instruments = controller.instrumentsCopy();
        for (auto it = instruments.cbegin(); it != instruments.cend(); ++it) {
            messages.clear();
            it.value()->pipe.tryReadIfReady(messages, 100000, ~0ULL);
            for (const InstrumentMsg& m : std::as_const(messages)) {
                if (m.kind == InstrumentMsg::NoteOn) {
                    if (m.time > end)
                        continue;
                    ++notesByPitch[m.data1];
                    lastNoteOn = std::max(lastNoteOn, m.time);
                }
                for (int c : channels.value(it.key()))
                    events.append({toMs(m.time), messageBytes(m, c)});
            }
        }
        feedback.clear();
        controller.feedbackPipe.tryReadIfReady(feedback, 100000, ~0ULL);
        for (const FeedbackMsg& m : std::as_const(feedback))
            exhausted += m.kind == FeedbackMsg::VoicesExhausted;
    };
    while (clock->ticksElapsed() < end) {
        QThread::msleep(5);
        drain();
    }
    for (VoiceGroup* group : groups)
        group->pauseIterating();
    clock->setPlaying(false);
    drain();

    QFile out(midiFile);
    if (!out.open(QIODevice::WriteOnly) || out.write(standardMidiFile(events)) < 0) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(midiFile));
        return 1;
    }
    int notes = 0;
    QStringList pitches;
    for (auto it = notesByPitch.cbegin(); it != notesByPitch.cend(); ++it) {
        notes += it.value();
        pitches << QStringLiteral("%1x%2").arg(it.key()).arg(it.value());
    }
    std::printf("%s: %d notes, last at %.2f s, voices exhausted %d times\n  pitches %s\n",
                qPrintable(document), notes, toMs(lastNoteOn) / 1000.0, exhausted,
                qPrintable(pitches.join(u' ')));
    return 0;
}
