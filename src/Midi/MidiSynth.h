#pragma once

#include "MidiInput.h"

#include <QMutex>
#include <QPointer>
#include <QThread>

#include <array>
#include <memory>

namespace Platform {
class MusicDevice;
}

// An instrument of the synthesizer: bank select MSB in bits 16-22, bank select LSB in bits
// 8-14, program in bits 0-6.
typedef quint32 MidiInstrumentId;
// No instrument: what a channel plays when the synthesizer has no sound bank.
constexpr MidiInstrumentId NoMidiInstrument = 0xFFFFFFFFu;

// The display form of an instrument id: program in bits 16-22, bank LSB in bits 8-14, bank
// MSB in bits 0-6.
quint32 midiInstrumentIdToProgramBank(MidiInstrumentId id);
MidiInstrumentId programBankToMidiInstrumentId(quint32 programBank);

// Plays what arrives on a MIDI input into the music device, and keeps track of the instrument
// each channel has selected. Lives on the synthesizer thread; its input slot runs on the
// thread that delivers MIDI input. The owning MidiSynth's mutex serialises every use.
class MidiSynthWorker : public QObject
{
    Q_OBJECT
public:
    MidiSynthWorker(QMutex* synthMutex, bool audioOutput);
    ~MidiSynthWorker() override;

    bool isReady() const { return ready; }
    void setMidiInput(MidiInput* input);
    MidiInput* midiInput() const { return input.data(); }
    void reset();
    QString soundBankName() const;
    int instrumentCount() const;
    MidiInstrumentId instrumentId(int index) const;
    int instrumentIndex(MidiInstrumentId id) const;
    QString instrumentName(MidiInstrumentId id) const;
    MidiInstrumentId channelInstrument(int channel) const;
    void setChannelInstrument(int channel, MidiInstrumentId id);
    // Plays one message; returns whether it reached the device.
    bool sendMidiEvent(const QVector<uchar>& bytes);

    // The device itself, for offline rendering when there is no audio output.
    Platform::MusicDevice* device() const { return music.get(); }

signals:
    void instrumentChanged(int channel, MidiInstrumentId instrument);

public slots:
    void onMidiInputReadyRead(MidiInput* input);

private:
    // Sets every channel's entry to what the device plays there.
    void takeSoundingInstruments();

    QMutex* synthMutex;
    bool ready = false;
    QPointer<MidiInput> input;
    std::unique_ptr<Platform::MusicDevice> music;
    std::array<MidiInstrumentId, 16> channelInstruments {};
};

// The built-in synthesizer: a thread with its own event loop that owns the worker. Every
// public operation locks the mutex for its whole run and does nothing (or returns 0 or a null
// string) while there is no worker.
class MidiSynth : public QThread
{
    Q_OBJECT
public:
    enum AudioOutput { NoAudioOutput, SystemAudioOutput };

    explicit MidiSynth(QObject* parent = nullptr, AudioOutput output = SystemAudioOutput);
    ~MidiSynth() override;

    bool isReady() const;
    void setMidiInput(MidiInput* input);
    MidiInput* midiInput() const;
    void reset();
    QString soundBankName() const;
    int instrumentCount() const;
    MidiInstrumentId instrumentId(int index) const;
    int instrumentIndex(MidiInstrumentId id) const;
    QString instrumentName(MidiInstrumentId id) const;
    MidiInstrumentId channelInstrument(int channel) const;
    void setChannelInstrument(int channel, MidiInstrumentId id);

    // The instrument the device really plays on a channel: the one selected when the sound
    // bank has it, else the device's substitute; NoMidiInstrument when it plays none (the
    // table above follows what was sent; this asks the device).
    MidiInstrumentId soundingInstrument(int channel) const;
    // Renders `frames` stereo frames of a synthesizer made without audio output.
    void render(float* left, float* right, int frames);

signals:
    void instrumentChanged(int channel, MidiInstrumentId instrument);

protected:
    void run() override;

private:
    mutable QMutex mutex;
    MidiSynthWorker* worker = nullptr;
    const AudioOutput output;
};
