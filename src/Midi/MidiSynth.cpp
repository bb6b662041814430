#include "MidiSynth.h"

#include "MidiInput.h"
#include "MusicDevice.h"

#include <algorithm>

quint32 midiInstrumentIdToProgramBank(MidiInstrumentId id)
{
    return ((id >> 16) & 127) + (id & 0x7F00) + ((id & 127) << 16);
}

MidiInstrumentId programBankToMidiInstrumentId(quint32 programBank)
{
    return ((programBank >> 16) & 0xFF) | (programBank & 0xFF00) | ((programBank & 0xFF) << 16);
}

// --- MidiSynthWorker -----------------------------------------------------------------------

MidiSynthWorker::MidiSynthWorker(QMutex* synthMutex, bool audioOutput)
    : synthMutex(synthMutex)
    , music(std::make_unique<Platform::MusicDevice>(audioOutput
                                                        ? Platform::MusicDevice::SystemAudioOutput
                                                        : Platform::MusicDevice::NoAudioOutput))
{
    music->setInternalReverb(false);
    takeSoundingInstruments();
    // The device counts as ready even when no sound bank or audio output could be had.
    ready = true;
}

void MidiSynthWorker::takeSoundingInstruments()
{
    // A device just made or reset plays its defaults: the bank's first program, and on channel
    // 10 the standard kit. No instrument at all counts as 0.
    for (int channel = 0; channel < 16; ++channel) {
        const uint32_t sounding = music->channelInstrument(channel);
        channelInstruments[size_t(channel)]
            = sounding == Platform::MusicDevice::NoInstrument ? 0 : sounding;
    }
}

MidiSynthWorker::~MidiSynthWorker() = default;

void MidiSynthWorker::setMidiInput(MidiInput* newInput)
{
    if (input)
        disconnect(input, nullptr, this, nullptr);
    input = newInput;
    if (newInput)
        connect(newInput, &MidiInput::readyRead, this, &MidiSynthWorker::onMidiInputReadyRead,
                Qt::DirectConnection);
}

void MidiSynthWorker::reset()
{
    music->reset();
    takeSoundingInstruments();
    for (int channel = 0; channel < 16; ++channel)
        emit instrumentChanged(channel, channelInstruments[size_t(channel)]);
}

QString MidiSynthWorker::soundBankName() const
{
    if (!music->hasSoundBank())
        return tr("No sound bank loaded");
    return music->soundBankName();
}

int MidiSynthWorker::instrumentCount() const
{
    return music->instrumentCount();
}

MidiInstrumentId MidiSynthWorker::instrumentId(int index) const
{
    return music->instrumentNumber(index);
}

int MidiSynthWorker::instrumentIndex(MidiInstrumentId id) const
{
    const int count = music->instrumentCount();
    for (int i = 0; i < count; ++i) {
        if (music->instrumentNumber(i) == id)
            return i;
    }
    return 0;
}

QString MidiSynthWorker::instrumentName(MidiInstrumentId id) const
{
    return music->instrumentName(id);
}

MidiInstrumentId MidiSynthWorker::channelInstrument(int channel) const
{
    return channel >= 0 && channel < 16 ? channelInstruments[size_t(channel)] : 0;
}

void MidiSynthWorker::setChannelInstrument(int channel, MidiInstrumentId id)
{
    if (channel < 0 || channel > 15)
        return;
    music->playMidi(0xB0 + channel, 0, (id >> 16) & 127);
    music->playMidi(0xB0 + channel, 32, (id >> 8) & 127);
    music->playMidi(0xC0 + channel, id & 127, 0);
    channelInstruments[size_t(channel)] = id;
    emit instrumentChanged(channel, id);
}

bool MidiSynthWorker::sendMidiEvent(const QVector<uchar>& bytes)
{
    // Single-byte real-time messages and system messages are not played.
    if (bytes.size() < 2 || bytes.at(0) < 0x80 || bytes.at(0) >= 0xF0)
        return false;
    const int status = bytes.at(0);
    const int data1 = std::min<int>(bytes.at(1), 127);
    const int data2 = bytes.size() > 2 ? std::min<int>(bytes.at(2), 127) : 0;
    music->playMidi(status, data1, data2);

    const int channel = status & 0x0F;
    MidiInstrumentId& entry = channelInstruments[size_t(channel)];
    if ((status & 0xF0) == 0xB0 && bytes.size() >= 3) {
        if (data1 == 0)
            entry = (entry & ~0x7F0000u) | (MidiInstrumentId(data2) << 16);
        else if (data1 == 32)
            entry = (entry & ~0x7F00u) | (MidiInstrumentId(data2) << 8);
        emit instrumentChanged(channel, entry);
    } else if ((status & 0xF0) == 0xC0) {
        entry = (entry & ~0x7Fu) | MidiInstrumentId(data1);
        emit instrumentChanged(channel, entry);
    }
    return true;
}

void MidiSynthWorker::onMidiInputReadyRead(MidiInput* from)
{
    QMutexLocker lock(synthMutex);
    if (!from || from != input)
        return;
    const QList<MidiInputMessage> messages = from->takeMessages();
    for (const MidiInputMessage& message : messages)
        sendMidiEvent(message.bytes);
}

// --- MidiSynth -----------------------------------------------------------------------------

MidiSynth::MidiSynth(QObject* parent, AudioOutput output)
    : QThread(parent)
    , output(output)
{
    qRegisterMetaType<MidiInstrumentId>("MidiInstrumentId");
    start(QThread::HighestPriority);
}

MidiSynth::~MidiSynth()
{
    // No input may reach the worker once the thread winds down.
    setMidiInput(nullptr);
    quit();
    wait();
}

void MidiSynth::run()
{
    {
        QMutexLocker lock(&mutex);
        worker = new MidiSynthWorker(&mutex, output == SystemAudioOutput);
        connect(worker, &MidiSynthWorker::instrumentChanged, this, &MidiSynth::instrumentChanged,
                Qt::QueuedConnection);
    }
    exec();
    QMutexLocker lock(&mutex);
    delete worker;
    worker = nullptr;
}

bool MidiSynth::isReady() const
{
    QMutexLocker lock(&mutex);
    return worker && worker->isReady();
}

void MidiSynth::setMidiInput(MidiInput* input)
{
    QMutexLocker lock(&mutex);
    if (worker)
        worker->setMidiInput(input);
}

MidiInput* MidiSynth::midiInput() const
{
    QMutexLocker lock(&mutex);
    return worker ? worker->midiInput() : nullptr;
}

void MidiSynth::reset()
{
    QMutexLocker lock(&mutex);
    if (worker)
        worker->reset();
}

QString MidiSynth::soundBankName() const
{
    QMutexLocker lock(&mutex);
    return worker ? worker->soundBankName() : QString();
}

int MidiSynth::instrumentCount() const
{
    QMutexLocker lock(&mutex);
    return worker ? worker->instrumentCount() : 0;
}

MidiInstrumentId MidiSynth::instrumentId(int index) const
{
    QMutexLocker lock(&mutex);
    return worker ? worker->instrumentId(index) : 0;
}

int MidiSynth::instrumentIndex(MidiInstrumentId id) const
{
    QMutexLocker lock(&mutex);
    return worker ? worker->instrumentIndex(id) : 0;
}

QString MidiSynth::instrumentName(MidiInstrumentId id) const
{
    QMutexLocker lock(&mutex);
    return worker ? worker->instrumentName(id) : QString();
}

MidiInstrumentId MidiSynth::channelInstrument(int channel) const
{
    QMutexLocker lock(&mutex);
    return worker ? worker->channelInstrument(channel) : 0;
}

void MidiSynth::setChannelInstrument(int channel, MidiInstrumentId id)
{
    QMutexLocker lock(&mutex);
    if (worker)
        worker->setChannelInstrument(channel, id);
}

MidiInstrumentId MidiSynth::soundingInstrument(int channel) const
{
    QMutexLocker lock(&mutex);
    if (!worker)
        return NoMidiInstrument;
    const uint32_t id = worker->device()->channelInstrument(channel);
    return id == Platform::MusicDevice::NoInstrument ? NoMidiInstrument : id;
}

void MidiSynth::render(float* left, float* right, int frames)
{
    QMutexLocker lock(&mutex);
    if (worker) {
        worker->device()->render(left, right, frames);
        return;
    }
    std::fill(left, left + frames, 0.f);
    std::fill(right, right + frames, 0.f);
}
