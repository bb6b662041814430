#include "MusicDevice.h"

#include "JackClient.h"
#include "MidiSystem.h"

#include <QByteArray>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <fluidsynth.h>
#include <jack/jack.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

int clampData(int value)
{
    return std::clamp(value, 0, 127);
}

// FluidSynth reports through a process-wide log; its debug and information lines go nowhere,
// warnings and errors to the Qt debug stream.
void fluidLog(int level, const char* message, void*)
{
    if (level <= FLUID_WARN)
        qDebug().noquote() << "FluidSynth:" << message;
}

void routeFluidLog()
{
    static std::once_flag once;
    std::call_once(once, [] {
        fluid_set_log_function(FLUID_PANIC, fluidLog, nullptr);
        fluid_set_log_function(FLUID_ERR, fluidLog, nullptr);
        fluid_set_log_function(FLUID_WARN, fluidLog, nullptr);
        fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
        fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
    });
}

// The name a SoundFont gives itself: the INAM entry of its INFO list. Empty when the file
// has none or is not a SoundFont.
QString soundFontOwnName(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray head = file.read(12);
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "sfbk")
        return QString();
    const QByteArray listHead = file.read(12);
    if (listHead.size() < 12 || !listHead.startsWith("LIST") || listHead.mid(8, 4) != "INFO")
        return QString();
    const quint32 listSize = qFromLittleEndian<quint32>(listHead.constData() + 4);
    const QByteArray info = file.read(qMin<quint32>(listSize, 1 << 16) - 4);
    for (int at = 0; at + 8 <= info.size();) {
        const QByteArray id = info.mid(at, 4);
        const quint32 size = qFromLittleEndian<quint32>(info.constData() + at + 4);
        if (size > quint32(info.size() - at - 8))
            break;
        if (id == "INAM") {
            QByteArray text = info.mid(at + 8, int(size));
            const int end = text.indexOf('\0');
            if (end >= 0)
                text.truncate(end);
            return QString::fromLatin1(text).trimmed();
        }
        at += 8 + int(size) + int(size & 1);
    }
    return QString();
}

uint32_t instrumentNumberOf(int bank, int program)
{
    // MMA bank numbering: bank = MSB * 128 + LSB.
    return (uint32_t((bank >> 7) & 127) << 16) | (uint32_t(bank & 127) << 8)
        | uint32_t(program & 127);
}

} // namespace

namespace Platform {

QString MusicDevice::defaultSoundBankPath()
{
    // KELVO_SOUNDFONT names another SoundFont than the system's default (the tests run
    // against each bank installed).
    const QString chosen = qEnvironmentVariable("KELVO_SOUNDFONT");
    if (!chosen.isEmpty())
        return chosen;
    return QStringLiteral("/usr/share/sounds/sf2/default-GM.sf2");
}

MusicDevice::MusicDevice(AudioOutput output, const QString& soundBankPath)
{
    resetChannelBanks();
    routeFluidLog();
    settings = new_fluid_settings();
    // Bank selects in the MMA style, so that MSB and LSB reach the SoundFont's bank number.
    fluid_settings_setstr(settings, "synth.midi-bank-select", "mma");
    fluid_settings_setint(settings, "synth.reverb.active", 0);
    fluid_settings_setint(settings, "synth.chorus.active", 0);
    // A short period, so that a note sounds within a few milliseconds (on another sound server
    // than JACK, which sets its own).
    fluid_settings_setint(settings, "audio.period-size", 128);
    fluid_settings_setint(settings, "audio.periods", 2);
    synth = new_fluid_synth(settings);

    const QString path = soundBankPath.isEmpty() ? defaultSoundBankPath() : soundBankPath;
    if (synth && QFileInfo::exists(path)) {
        const int id = fluid_synth_sfload(synth, QFile::encodeName(path).constData(), 1);
        if (id != FLUID_FAILED) {
            soundFontId = id;
            bankName = soundFontOwnName(path);
            if (bankName.isEmpty())
                bankName = QFileInfo(path).completeBaseName();
            loadInstruments();
        }
    }
    if (soundFontId < 0)
        qDebug() << "MusicDevice: no sound bank could be loaded from" << path;

    if (output == SystemAudioOutput && synth) {
        // Where the MIDI system is JACK, the synthesizer plays there too. JACK is tried
        // elsewhere only after the other sound servers: MIDI on the ALSA sequencer while a JACK
        // server holds the sound card.
        const std::lock_guard<std::mutex> locker(driverMutex);
        if (MidiSystem::api() != MidiSystem::Jack || !startJackAudio()) {
            for (const char* name : {"pipewire", "pulseaudio", "alsa"}) {
                if (fluid_settings_setstr(settings, "audio.driver", name) != FLUID_OK)
                    continue;
                driver = new_fluid_audio_driver(settings, synth);
                if (driver)
                    break;
            }
        }
        if (!driver && !jackClient && MidiSystem::api() != MidiSystem::Jack)
            startJackAudio();
        if (!driver && !jackClient)
            qWarning() << "MusicDevice: no audio output could be started; the synthesizer is "
                          "silent";
        // On JACK the output follows the server as it goes and comes back.
        followsJack = true;
        MidiSystem::addJackListener(this);
    }
}

// Renders the synthesizer into the two ports on JACK's process thread.
class MusicDevice::JackAudio : public JackClient::Handler
{
public:
    JackAudio(fluid_synth_t* synth, jack_port_t* left, jack_port_t* right)
        : m_synth(synth)
        , m_left(left)
        , m_right(right)
    { }

    void process(jack_nframes_t frames) override
    {
        auto* left = static_cast<float*>(jack_port_get_buffer(m_left, frames));
        auto* right = static_cast<float*>(jack_port_get_buffer(m_right, frames));
        if (fluid_synth_write_float(m_synth, int(frames), left, 0, 1, right, 0, 1) != FLUID_OK) {
            std::fill(left, left + frames, 0.f);
            std::fill(right, right + frames, 0.f);
        }
    }

private:
    fluid_synth_t* const m_synth;
    jack_port_t* const m_left;
    jack_port_t* const m_right;
};

bool MusicDevice::startJackAudio()
{
    std::shared_ptr<JackClient> client
        = JackClient::openHere("Kelvo Synthesizer", false, nullptr, {});
    if (!client)
        return false;
    const double rate = double(client->sampleRate());
    double synthRate = 0;
    fluid_settings_getnum(settings, "synth.sample-rate", &synthRate);
    if (rate > 0 && rate != synthRate) {
        // The synthesizer renders at the server's rate; its setting only counts for a new one.
        fluid_settings_setnum(settings, "synth.sample-rate", rate);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        fluid_synth_set_sample_rate(synth, float(rate));
#pragma GCC diagnostic pop
    }
    std::string left;
    std::string right;
    jack_port_t* leftPort
        = client->registerPort("left", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, &left);
    jack_port_t* rightPort
        = client->registerPort("right", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, &right);
    if (!leftPort || !rightPort)
        return false;
    auto audio = std::make_unique<JackAudio>(synth, leftPort, rightPort);
    if (!client->addHandler(audio.get(), false))
        return false;
    // To the first two of the system's playback ports; a single one takes both.
    const std::vector<std::string> playback
        = client->ports(JACK_DEFAULT_AUDIO_TYPE, JackPortIsPhysical | JackPortIsInput);
    if (!playback.empty()) {
        client->connectPorts(left, playback.front());
        client->connectPorts(right, playback.size() > 1 ? playback.at(1) : playback.front());
    }
    jackClient = std::move(client);
    jackAudio = std::move(audio);
    return true;
}

bool MusicDevice::stopJackAudio()
{
    if (!jackClient)
        return true;
    if (!jackClient->removeHandler(jackAudio.get())) {
        // A cycle may still render with the handler: both stay.
        synthInUse = true;
        jackAudio.release();
        return false;
    }
    jackAudio.reset();
    return true;
}

std::function<void()> MusicDevice::jackServerGone()
{
    const std::lock_guard<std::mutex> locker(driverMutex);
    if (!jackClient)
        return {};
    stopJackAudio();
    // The client closes after this call, before anything opens another one, however long a
    // server that hangs holds it.
    return [client = std::move(jackClient)] {
        client->close();
        while (!client->waitClosed(100)) { }
    };
}

void MusicDevice::jackClientOpened()
{
    const std::lock_guard<std::mutex> locker(driverMutex);
    if (jackClient || synthInUse)
        return;
    // Where the MIDI system is JACK, the synthesizer plays there, whatever it found before.
    if (!startJackAudio())
        qWarning() << "MusicDevice: the synthesizer could not play through the JACK server";
    else if (driver)
        delete_fluid_audio_driver(std::exchange(driver, nullptr));
}

bool MusicDevice::playsOnJack() const
{
    const std::lock_guard<std::mutex> locker(driverMutex);
    return jackClient != nullptr;
}

MusicDevice::~MusicDevice()
{
    // Told nothing more once this returns.
    if (followsJack)
        MidiSystem::removeJackListener(this);
    {
        const std::lock_guard<std::mutex> locker(driverMutex);
        // The client closes with its last reference, a couple of seconds at most.
        if (!stopJackAudio() || synthInUse)
            return; // what a JACK cycle may still use is left as it is
        jackClient.reset();
    }
    if (driver) {
        // An audio driver on a sound server that hangs may never let go: the driver is closed
        // on a thread of its own, waited for two seconds at most, and what it still uses is
        // left as it is when it does not come back.
        auto closed = std::make_shared<std::pair<std::mutex, std::condition_variable>>();
        auto finished = std::make_shared<bool>(false);
        std::thread([driver = driver, closed, finished] {
            delete_fluid_audio_driver(driver);
            const std::lock_guard<std::mutex> locker(closed->first);
            *finished = true;
            closed->second.notify_all();
        }).detach();
        std::unique_lock<std::mutex> locker(closed->first);
        if (!closed->second.wait_for(locker, std::chrono::seconds(2), [&] { return *finished; })) {
            qWarning() << "MusicDevice: the audio output does not close; leaving it";
            return;
        }
    }
    if (synth)
        delete_fluid_synth(synth);
    if (settings)
        delete_fluid_settings(settings);
}

void MusicDevice::loadInstruments()
{
    fluid_sfont_t* sfont = fluid_synth_get_sfont_by_id(synth, soundFontId);
    if (!sfont)
        return;
    struct Preset
    {
        int bank, program;
        QString name;
    };
    QList<Preset> presets;
    fluid_sfont_iteration_start(sfont);
    while (fluid_preset_t* preset = fluid_sfont_iteration_next(sfont)) {
        const int bank = fluid_preset_get_banknum(preset);
        const int program = fluid_preset_get_num(preset);
        // Presets beyond what bank select and program change can reach are left out.
        if (bank < 0 || bank > 16383 || program < 0 || program > 127)
            continue;
        presets.append({bank, program, QString::fromLatin1(fluid_preset_get_name(preset))});
    }
    std::sort(presets.begin(), presets.end(), [](const Preset& a, const Preset& b) {
        return a.bank != b.bank ? a.bank < b.bank : a.program < b.program;
    });
    for (const Preset& p : presets)
        instruments.append({instrumentNumberOf(p.bank, p.program), p.name});
}

void MusicDevice::playMidi(int status, int data1, int data2)
{
    if (!synth || status < 0x80 || status >= 0xF0)
        return;
    const int channel = status & 0x0F;
    data1 = clampData(data1);
    data2 = clampData(data2);
    switch (status & 0xF0) {
    case 0x80:
        fluid_synth_noteoff(synth, channel, data1);
        break;
    case 0x90:
        if (data2 == 0)
            fluid_synth_noteoff(synth, channel, data1);
        else
            fluid_synth_noteon(synth, channel, data1, data2);
        break;
    case 0xA0:
        fluid_synth_key_pressure(synth, channel, data1, data2);
        break;
    case 0xB0:
        if (data1 == 0)
            channelBanks[size_t(channel)] = (data2 << 7) | (channelBanks[size_t(channel)] & 127);
        else if (data1 == 32)
            channelBanks[size_t(channel)] = (channelBanks[size_t(channel)] & ~127) | data2;
        fluid_synth_cc(synth, channel, data1, data2);
        break;
    case 0xC0:
        selectProgram(channel, data1);
        break;
    case 0xD0:
        fluid_synth_channel_pressure(synth, channel, data1);
        break;
    case 0xE0:
        fluid_synth_pitch_bend(synth, channel, data1 | (data2 << 7));
        break;
    }
}

bool MusicDevice::hasPreset(int bank, int program) const
{
    fluid_sfont_t* sfont
        = soundFontId >= 0 ? fluid_synth_get_sfont_by_id(synth, soundFontId) : nullptr;
    return sfont && fluid_sfont_get_preset(sfont, bank, program);
}

void MusicDevice::selectProgram(int channel, int program)
{
    // FluidSynth's own program change would read the bank of channel 10 as a drum bank
    // (128 plus the LSB, the MSB ignored) and keep that number when it substitutes; the
    // instrument is chosen here instead, from the bank selects as they came.
    const bool drums = channel == DrumChannel;
    int bank = channelBanks[size_t(channel)];
    if (!hasPreset(bank, program)) {
        if (drums) {
            bank = DrumBank;
            if (!hasPreset(bank, program))
                program = 0;
        } else {
            bank = 0;
            if (!hasPreset(bank, program))
                program = 0;
        }
    }
    if (!hasPreset(bank, program)) {
        if (instruments.isEmpty()) {
            fluid_synth_program_change(synth, channel, program);
            return;
        }
        const uint32_t first = instruments.first().id;
        bank = int(((first >> 16) & 127) << 7 | ((first >> 8) & 127));
        program = int(first & 127);
    }
    fluid_synth_program_select(synth, channel, soundFontId, bank, program);
}

uint32_t MusicDevice::instrumentNumber(int index) const
{
    return index >= 0 && index < instruments.size() ? instruments.at(index).id : 0;
}

QString MusicDevice::instrumentName(uint32_t id) const
{
    for (const Instrument& instrument : instruments) {
        if (instrument.id == id)
            return instrument.name;
    }
    return QString();
}

uint32_t MusicDevice::channelInstrument(int channel) const
{
    // The preset that sounds, not the bank and program numbers the channel holds: those are
    // what was asked for, and may name an instrument the bank does not have.
    fluid_preset_t* preset = synth && channel >= 0 && channel < 16
        ? fluid_synth_get_channel_preset(synth, channel)
        : nullptr;
    if (!preset)
        return NoInstrument;
    return instrumentNumberOf(fluid_preset_get_banknum(preset), fluid_preset_get_num(preset));
}

void MusicDevice::reset()
{
    if (!synth)
        return;
    fluid_synth_all_sounds_off(synth, -1);
    fluid_synth_system_reset(synth);
    resetChannelBanks();
    setInternalReverb(false);
    fluid_synth_chorus_on(synth, -1, 0);
}

void MusicDevice::resetChannelBanks()
{
    // As General MIDI starts a channel: channel 10 on the drum bank, so that its first program
    // change alone picks a kit, as the kit it plays already says; every other on bank 0.
    channelBanks.fill(0);
    channelBanks[DrumChannel] = DrumBank;
}

void MusicDevice::setInternalReverb(bool on)
{
    if (synth)
        fluid_synth_reverb_on(synth, -1, on ? 1 : 0);
}

void MusicDevice::render(float* left, float* right, int frames)
{
    if (synth && fluid_synth_write_float(synth, frames, left, 0, 1, right, 0, 1) == FLUID_OK)
        return;
    std::fill(left, left + frames, 0.f);
    std::fill(right, right + frames, 0.f);
}

double MusicDevice::sampleRate() const
{
    double rate = 44100.0;
    if (settings)
        fluid_settings_getnum(settings, "synth.sample-rate", &rate);
    return rate;
}

} // namespace Platform
