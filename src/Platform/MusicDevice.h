#pragma once

#include "JackListener.h"

#include <QList>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>

struct _fluid_hashtable_t;
struct _fluid_synth_t;
struct _fluid_audio_driver_t;

namespace Platform {

class JackClient;

// A software General MIDI synthesizer: plays channel messages, lists the instruments of its
// sound bank, and can be reset. It sits on FluidSynth and plays the system's General MIDI
// SoundFont through the desktop's sound server.
//
// Instruments are numbered as bank select MSB in bits 16-22, bank select LSB in bits 8-14
// and program in bits 0-6, so that the bank-select and program-change messages that pick an
// instrument on a channel carry exactly these fields. A program change plays the instrument
// of the sound bank that the channel's bank select and the program name, on every channel
// (the drum channel, 10, too); when the bank has none, the channel plays a substitute as
// General MIDI has it: on channel 10 the drum kit of that program (bank 128), else the
// standard kit; elsewhere the program in bank 0, else the bank's first instrument.
//
// Where the MIDI system is JACK, a device with audio output plays there, as the JACK client
// "Kelvo Synthesizer" of the program's own whose outputs connect to the system's playback
// ports: it closes that client when the server goes and opens it again when a server runs again.
//
// Not thread-safe by itself beyond what FluidSynth guarantees: the owner serialises calls.
class MusicDevice : private JackListener
{
public:
    enum AudioOutput { NoAudioOutput, SystemAudioOutput };

    // The number of no instrument: a channel that plays none (no sound bank).
    static constexpr uint32_t NoInstrument = 0xFFFFFFFF;

    // The sound bank every device loads unless told otherwise: the file the environment
    // variable KELVO_SOUNDFONT names, else the system's default General MIDI SoundFont.
    static QString defaultSoundBankPath();

    // Loads `soundBankPath` (the default one when empty). With SystemAudioOutput the device
    // tries the system's audio drivers in turn and plays through the first that starts; with
    // NoAudioOutput (or when none starts) it only renders on request, through render().
    explicit MusicDevice(AudioOutput output = SystemAudioOutput,
                         const QString& soundBankPath = QString());
    ~MusicDevice() override;
    MusicDevice(const MusicDevice&) = delete;
    MusicDevice& operator=(const MusicDevice&) = delete;

    bool hasSoundBank() const { return soundFontId >= 0; }
    QString soundBankName() const { return bankName; }

    // One channel message: status byte and up to two data bytes. System messages are ignored;
    // data bytes are clamped to 0..127.
    void playMidi(int status, int data1, int data2);

    int instrumentCount() const { return int(instruments.size()); }
    // The instrument number at `index` in ascending (bank, program) order; 0 when out of range.
    uint32_t instrumentNumber(int index) const;
    // The name of the instrument numbered `id`; a null string when there is none.
    QString instrumentName(uint32_t id) const;

    // The instrument number a channel plays now (a substitute when the bank lacks the one
    // selected); NoInstrument when it plays none.
    uint32_t channelInstrument(int channel) const;

    // All sound off, controllers and programs back to their defaults, effects off again.
    void reset();
    void setInternalReverb(bool on);

    // Renders `frames` stereo frames into `left` and `right` (for a device without output).
    void render(float* left, float* right, int frames);
    double sampleRate() const;

    // Whether the device plays through JACK now.
    bool playsOnJack() const;

private:
    struct Instrument
    {
        uint32_t id;
        QString name;
    };
    // The process handler of the JACK audio output.
    class JackAudio;

    std::function<void()> jackServerGone() override;
    void jackClientOpened() override;
    // Starts the JACK audio output; false when no server takes it. The caller holds
    // driverMutex.
    bool startJackAudio();
    // Takes the JACK audio output out of the server's cycles; false when a cycle may still
    // render (the synthesizer must then stay). The caller holds driverMutex.
    bool stopJackAudio();

    // Channel 10 and the bank of its kits (MSB 1, LSB 0).
    static constexpr int DrumChannel = 9;
    static constexpr int DrumBank = 128;

    void loadInstruments();
    // Every channel's bank as at start-up.
    void resetChannelBanks();
    // A program change on a channel: the bank's instrument, or its substitute.
    void selectProgram(int channel, int program);
    bool hasPreset(int bank, int program) const;

    _fluid_hashtable_t* settings = nullptr;
    _fluid_synth_t* synth = nullptr;
    // The audio output: made and closed by the owner and by the thread that follows the JACK
    // server.
    mutable std::mutex driverMutex; // guards the four fields below
    _fluid_audio_driver_t* driver = nullptr; // another sound server's
    std::shared_ptr<JackClient> jackClient;
    std::unique_ptr<JackAudio> jackAudio;
    bool synthInUse = false; // a JACK cycle that could not be seen to end may still render
    bool followsJack = false;
    int soundFontId = -1;
    QString bankName;
    QList<Instrument> instruments;
    // The bank (MSB * 128 + LSB) each channel's bank selects have chosen.
    std::array<int, 16> channelBanks {};
};

} // namespace Platform
