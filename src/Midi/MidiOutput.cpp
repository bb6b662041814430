#include "MidiOutput.h"

#include "HostTime.h"
#include "SystemMidiOutput.h"

#include <QMutexLocker>

#include <algorithm>

namespace {

// Data bytes go on the wire as 0..127; larger values would read as status bytes.
unsigned char dataByte(quint8 value)
{
    return std::min<quint8>(value, 0x7f);
}

constexpr int channelCount = 16;

// How long a note sent to a port with latency is remembered after its due time, or after it
// was sent when that was later: it has gone out long before.
constexpr quint64 SentMemoryNs = 200000000;

} // namespace

MidiOutput::MidiOutput()
{
    heldNotes.reserve(131);
}

MidiOutput::~MidiOutput()
{
    releaseHeldNotes();
    MidiIO<RtMidiOut>::closePort();
}

bool MidiOutput::write(const InstrumentMsg& message)
{
    return write(QVector<InstrumentMsg> {message});
}

bool MidiOutput::write(const QVector<InstrumentMsg>& batch)
{
    if (batch.isEmpty())
        return true;
    const QSharedPointer<SharedMidi> record = sharedMidi();
    if (!record)
        return false;
    QMutexLocker locker(&record->mutex);
    return writeLocked(*record, batch);
}

bool MidiOutput::writeLocked(SharedMidi& record, const QVector<InstrumentMsg>& batch)
{
    // A port whose JACK server, or the port it led to, has gone takes everything and sends
    // nothing, until it is made again once a port of its name is there.
    if (!record.midi)
        return true;
    std::vector<unsigned char> wire;
    // On a port with latency a note waits there until its frame, later than its due time when
    // it was handed over late: it is remembered for a while, in case it is taken back.
    const quint64 now = Platform::hostTimeNs();
    const bool waits = record.midi->latencyNs() > 0;
    const auto noteSent = [&](uchar pitch, bool held, quint64 due) {
        const bool wasHeld = heldNotes.contains(pitch);
        if (held)
            heldNotes.insert(pitch);
        else
            heldNotes.remove(pitch);
        while (!sentNotes.empty() && sentNotes.front().forgetAfterNs < now)
            sentNotes.pop_front();
        if (waits)
            sentNotes.push_back({due, std::max(due, now) + SentMemoryNs, pitch, wasHeld});
    };
    try {
        for (const InstrumentMsg& message : batch) {
            // Never before what this output sent earlier: a note-off due at once must not
            // overtake the note-on it ends, handed over ahead of its time.
            const quint64 due = std::max(message.dueNs, lastDueNs.load());
            lastDueNs.store(due);
            const auto send = [&](const std::vector<unsigned char>& bytes) {
                record.midi->send(bytes.data(), bytes.size(), due, this);
            };
            if (message.kind == InstrumentMsg::Raw) {
                if (!message.bytes.empty())
                    send(message.bytes); // once, as it stands
                continue;
            }
            const unsigned char data1 = dataByte(message.data1);
            const unsigned char data2 = dataByte(message.data2);
            unsigned char status;
            switch (message.kind) {
            case InstrumentMsg::NoteOn: {
                status = 0x90;
                QMutexLocker heldLocker(&heldNotesMutex);
                noteSent(data1, data2 != 0, due);
                break;
            }
            case InstrumentMsg::NoteOff: {
                status = 0x80;
                QMutexLocker heldLocker(&heldNotesMutex);
                noteSent(data1, false, due);
                break;
            }
            case InstrumentMsg::ProgramChange:
                status = 0xc0;
                break;
            case InstrumentMsg::PitchBend:
                status = 0xe0;
                break;
            case InstrumentMsg::ControlChange:
                status = 0xb0;
                break;
            default:
                continue; // no such kind: nothing to send
            }
            const QBitArray mask = channels();
            const int last = std::min<int>(int(mask.size()), channelCount);
            for (int channel = 0; channel < last; ++channel) {
                if (!mask.testBit(channel))
                    continue;
                const unsigned char onChannel = status + channel;
                switch (message.kind) {
                case InstrumentMsg::ProgramChange:
                    send({static_cast<unsigned char>(0xb0 + channel), 0, data1});
                    send({static_cast<unsigned char>(0xb0 + channel), 32, data2});
                    wire = {onChannel, dataByte(message.program)};
                    break;
                case InstrumentMsg::PitchBend:
                    wire = {onChannel, data2, data1}; // least significant 7 bits first
                    break;
                default:
                    wire = {onChannel, data1, data2};
                    break;
                }
                send(wire);
            }
        }
        record.midi->flush();
    } catch (const RtMidiError& error) {
        error.printMessage();
        // What was sent before the failure still goes.
        try {
            record.midi->flush();
        } catch (const RtMidiError&) { }
        return false;
    }
    return true;
}

QVector<InstrumentMsg> MidiOutput::heldNoteOffs() const
{
    QVector<InstrumentMsg> noteOffs;
    QMutexLocker locker(&heldNotesMutex);
    for (uchar pitch : std::as_const(heldNotes)) {
        InstrumentMsg noteOff;
        noteOff.kind = InstrumentMsg::NoteOff;
        noteOff.data1 = pitch;
        noteOffs.append(noteOff);
    }
    return noteOffs;
}

void MidiOutput::releaseHeldNotes(quint64 dueNs)
{
    QVector<InstrumentMsg> noteOffs = heldNoteOffs();
    for (InstrumentMsg& noteOff : noteOffs)
        noteOff.dueNs = dueNs;
    write(noteOffs);
}

void MidiOutput::takeBack(quint64 afterNs)
{
    const QSharedPointer<SharedMidi> record = sharedMidi();
    if (!record)
        return;
    QMutexLocker locker(&record->mutex);
    if (!record->midi)
        return;
    try {
        record->midi->takeBack(this, afterNs);
    } catch (const RtMidiError& error) {
        error.printMessage();
    }
    lastDueNs.store(std::min(lastDueNs.load(), afterNs));
    // Each message taken back may have gone out or not: the port tells nobody. A pitch whose
    // note-off may not have gone out, or whose note-on may have, stays held; the note-offs
    // released for it afterwards end at most a note that no longer sounds.
    QMutexLocker heldLocker(&heldNotesMutex);
    while (!sentNotes.empty() && sentNotes.back().dueNs > afterNs) {
        const SentNote note = sentNotes.back();
        sentNotes.pop_back();
        if (note.wasHeld)
            heldNotes.insert(note.pitch);
    }
}

quint64 MidiOutput::latencyNs() const
{
    const QSharedPointer<SharedMidi> record = sharedMidi();
    if (!record)
        return 0;
    QMutexLocker locker(&record->mutex);
    return record->midi ? record->midi->latencyNs() : 0;
}

QSet<uchar> MidiOutput::notesHeld() const
{
    QMutexLocker locker(&heldNotesMutex);
    return heldNotes;
}

void MidiOutput::systemPortLost()
{
    QMutexLocker locker(&heldNotesMutex);
    heldNotes.clear();
    sentNotes.clear();
    lastDueNs.store(0);
}

bool MidiOutput::closePort()
{
    releaseHeldNotes();
    return MidiIO<RtMidiOut>::closePort();
}

void MidiOutput::setChannels(const QBitArray& mask)
{
    // Under the port's batch lock, so that no batch falls between the release and the switch:
    // a note sent there on the old channels would be switched off on the new ones only.
    const QSharedPointer<SharedMidi> record = sharedMidi();
    QMutexLocker locker(record ? &record->mutex : nullptr);
    if (record && mask != channels()) {
        const QVector<InstrumentMsg> noteOffs = heldNoteOffs();
        if (!noteOffs.isEmpty())
            writeLocked(*record, noteOffs);
    }
    MidiIO<RtMidiOut>::setChannels(mask);
}
