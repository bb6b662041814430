#ifndef PLAYBACKTESTSUPPORT_H
#define PLAYBACKTESTSUPPORT_H

#include "HostTime.h"
#include "MidiInput.h"
#include "MidiOutput.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "RepeatedNoteOff.h"

#include <QBitArray>
#include <QHash>
#include <QStringList>
#include <QTest>

#include <functional>

// Waits until `in` holds `count` messages (or `timeoutMs` has passed) and takes them as hex.
// Here and below, note-offs repeated after a late cycle are left out.
inline QStringList collect(MidiInput& in, int count, int timeoutMs = 2000)
{
    QStringList messages;
    for (int waited = 0; waited < timeoutMs; waited += 2) {
        for (const MidiInputMessage& m : in.takeMessages()) {
            QByteArray bytes(reinterpret_cast<const char*>(m.bytes.constData()), m.bytes.size());
            if (!isRepeatedNoteOff(bytes))
                messages.append(QString::fromLatin1(bytes.toHex(' ')));
        }
        if (messages.size() >= count)
            break;
        QTest::qWait(2);
    }
    return messages;
}

// Opens `keeper` on `port` and sends through it until `arrived` says a message came: the
// connection through the server is then live, and outputs opened later on that name share the
// keeper's.
inline bool warmUp(MidiOutput& keeper, const QString& port, const std::function<bool()>& arrived)
{
    if (!keeper.openPort(port))
        return false;
    QBitArray channels(16);
    channels.setBit(15);
    keeper.setChannels(channels);
    InstrumentMsg probe;
    probe.kind = InstrumentMsg::ControlChange;
    probe.data1 = 121; // reset all controllers
    for (int attempt = 0; attempt < 100; ++attempt) {
        keeper.write(probe);
        QTest::qWait(20);
        if (arrived())
            return true;
    }
    return false;
}

// The same for a port that `in` listens to; what arrived is taken away.
inline bool warmUp(MidiOutput& keeper, MidiInput& in, const QString& port)
{
    return warmUp(keeper, port, [&in] {
        if (!in.hasMessages())
            return false;
        QTest::qWait(50);
        in.takeMessages();
        return true;
    });
}

// A marker in what a port receives: reset all controllers on channel 16 with a value nothing
// else sends. Sent through an output that shares the port of what is recorded (opened on the
// same name: one connection), it arrives after everything sent there before it, however late
// the MIDI system delivers. `keeper` is an output that warmUp() has prepared. An output that
// places messages at their frames takes them up to a period ahead of their time: the marker is
// due two periods on, after all of those.
inline void sendMarker(MidiOutput& keeper)
{
    InstrumentMsg marker;
    marker.kind = InstrumentMsg::ControlChange;
    marker.data1 = 121;
    marker.data2 = 127;
    if (const quint64 latency = keeper.latencyNs())
        marker.dueNs = Platform::hostTimeNs() + 2 * latency;
    keeper.write(marker);
}

inline bool isMarker(const QByteArray& bytes)
{
    return bytes == QByteArray("\xBF\x79\x7F", 3);
}

// What `in` receives up to a marker sent now through `keeper`, as hex and without the marker:
// everything sent to the keeper's port before this call.
inline QStringList collectAll(MidiInput& in, MidiOutput& keeper, int timeoutMs = 10000)
{
    sendMarker(keeper);
    QStringList messages;
    for (int waited = 0; waited < timeoutMs; waited += 2) {
        for (const MidiInputMessage& m : in.takeMessages()) {
            const QByteArray bytes(reinterpret_cast<const char*>(m.bytes.constData()),
                                   m.bytes.size());
            if (isMarker(bytes))
                return messages;
            if (!isRepeatedNoteOff(bytes))
                messages.append(QString::fromLatin1(bytes.toHex(' ')));
        }
        QTest::qWait(2);
    }
    messages.append(QStringLiteral("(no marker)"));
    return messages;
}

inline QBitArray channelMask(std::initializer_list<int> channels)
{
    QBitArray mask(16);
    for (int channel : channels)
        mask.setBit(channel);
    return mask;
}

// A note-on or note-off as another program received it, at `ms` on its own clock.
struct Received
{
    uchar status, pitch, velocity;
    double ms;
};

// The notes left sounding at the end. A note-off for a note that does not sound ends nothing:
// a pause may switch off a note whose note-on it took back before it went out.
inline int notesLeftSounding(const QList<Received>& messages)
{
    QHash<int, int> sounding; // by channel and pitch
    for (const Received& m : messages) {
        const int key = (m.status & 0x0F) << 8 | m.pitch;
        if ((m.status & 0xF0) == 0x90 && m.velocity > 0)
            ++sounding[key];
        else if (sounding.value(key) > 0)
            --sounding[key];
    }
    int left = 0;
    for (int n : std::as_const(sounding))
        left += n;
    return left;
}

// Ticks `port` under the document's "SyncMidiInputs" or "SyncMidiOutputs" (`root`), or unticks
// it, and lets the clock follow.
inline void markPort(QmdKelvoController& c, const QString& root, const QString& port, bool on)
{
    const QmdIndex parent = c.index(root, QmdIndex());
    c.requestSetTypeIfInvalid(port, Qmd::StrDict, parent);
    c.requestSetData(QmdKelvoKeys::MidiSync, on, c.index(port, parent));
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

#endif // PLAYBACKTESTSUPPORT_H
