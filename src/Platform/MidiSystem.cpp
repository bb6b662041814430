#include "MidiSystem.h"

#include <QAtomicInteger>
#include <QDebug>
#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>

#include <jack/jack.h>

#include <memory>
#include <unistd.h>

namespace Platform {

namespace {

const char* const clientName = "Kelvo";

struct OwnPort
{
    MidiSystem::Api api;
    QString key; // the owning client's identity, see MidiSystem::clientKey
    QString name; // the bare name of a virtual port; empty for a connection port
};

// The program's own ports, by the library object that made them.
QMutex ownPortsMutex;
QHash<const RtMidi*, OwnPort> ownPorts;

QAtomicInteger<quint64> listings; // calls of MidiSystem::portNames

QMutex probeMutex;
QElapsedTimer jackSeenRunning; // valid while a recent probe found the server

void quiet(const char*) { }

bool alsaAvailable()
{
    return access("/dev/snd/seq", R_OK | W_OK) == 0;
}

// Whether a JACK server accepts clients. A client is opened and closed again with the library's
// own messages silenced, so that a machine without JACK prints nothing. A server found running
// is believed for a second, since every port list and every open asks.
bool jackRunning()
{
    QMutexLocker locker(&probeMutex);
    if (jackSeenRunning.isValid() && jackSeenRunning.elapsed() < 1000)
        return true;
    void (*errorFunction)(const char*) = jack_error_callback;
    void (*infoFunction)(const char*) = jack_info_callback;
    jack_set_error_function(quiet);
    jack_set_info_function(quiet);
    jack_status_t status {};
    jack_client_t* client = jack_client_open(clientName, JackNoStartServer, &status);
    if (client)
        jack_client_close(client);
    jack_set_error_function(errorFunction);
    jack_set_info_function(infoFunction);
    if (client)
        jackSeenRunning.start();
    else
        jackSeenRunning.invalidate();
    return client != nullptr;
}

RtMidi::Api libraryApi(MidiSystem::Api api)
{
    return api == MidiSystem::Alsa ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK;
}

MidiSystem::Api apiOf(RtMidi* midi, bool input)
{
    const RtMidi::Api api = input ? static_cast<RtMidiIn*>(midi)->getCurrentApi()
                                  : static_cast<RtMidiOut*>(midi)->getCurrentApi();
    switch (api) {
    case RtMidi::LINUX_ALSA:
        return MidiSystem::Alsa;
    case RtMidi::UNIX_JACK:
        return MidiSystem::Jack;
    default:
        return MidiSystem::NoApi;
    }
}

[[noreturn]] void throwNoSystem()
{
    throw RtMidiError("MidiSystem: no MIDI system is available (no ALSA sequencer, no JACK server)",
                      RtMidiError::NO_DEVICES_FOUND);
}

RtMidiIn* newInput(MidiSystem::Api api)
{
    if (api == MidiSystem::NoApi)
        throwNoSystem();
    return new RtMidiIn(libraryApi(api), clientName, 100);
}

RtMidiOut* newOutput(MidiSystem::Api api)
{
    if (api == MidiSystem::NoApi)
        throwNoSystem();
    return new RtMidiOut(libraryApi(api), clientName);
}

// The JACK ports of one direction, in the library's order, listed through a client that is
// never activated: it takes no part in the server's cycles, so a list neither waits for them nor
// makes the server wait. A library object would be an activated client, opened and closed again
// for every list.
std::vector<std::string> jackPortNames(bool input)
{
    std::vector<std::string> names;
    jack_client_t* client = jack_client_open(clientName, JackNoStartServer, nullptr);
    if (!client)
        return names;
    // A library input receives from the ports other programs send from, and an output sends
    // to the ports they receive on.
    const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE,
                                        input ? JackPortIsOutput : JackPortIsInput);
    for (const char** port = ports; port && *port; ++port)
        names.emplace_back(*port);
    jack_free(ports);
    jack_client_close(client);
    return names;
}

// The system names of the ports of one direction.
std::vector<std::string> systemPortNames(MidiSystem::Api api, bool input)
{
    if (api == MidiSystem::Jack)
        return jackPortNames(input);
    std::vector<std::string> names;
    auto list = [&names](RtMidi& midi) {
        for (unsigned int i = 0; i < midi.getPortCount(); ++i)
            names.push_back(midi.getPortName(i));
    };
    if (input) {
        std::unique_ptr<RtMidiIn> midi(newInput(api));
        list(*midi);
    } else {
        std::unique_ptr<RtMidiOut> midi(newOutput(api));
        list(*midi);
    }
    return names;
}

// A port name no other port on the system has, so that the port just made under it can be
// found in the system's list and its owner learnt.
std::string uniquePortName()
{
    static QAtomicInteger<quint32> counter;
    return QString("kelvo-%1-%2").arg(getpid()).arg(counter.fetchAndAddRelaxed(1)).toStdString();
}

// Finds the port that `midi` has just made under `token` (it is listed in the other direction)
// and records its owner as the program's own; then gives the port its real name.
void recordOwnPort(RtMidi* midi, bool input, const std::string& token, const QString& name,
                   const QString& virtualName)
{
    const MidiSystem::Api api = apiOf(midi, input);
    QString key;
    for (const std::string& systemName : systemPortNames(api, !input)) {
        if (systemName.find(token) != std::string::npos) {
            key = MidiSystem::clientKey(api, systemName);
            break;
        }
    }
    if (key.isEmpty())
        qWarning() << "MidiSystem: the port" << name << "was not found in the system's list";
    else {
        QMutexLocker locker(&ownPortsMutex);
        ownPorts.insert(midi, OwnPort {api, key, virtualName});
    }
    midi->setPortName(name.toStdString());
}

const QRegularExpression& alsaAddress()
{
    static const QRegularExpression re(QStringLiteral(" (\\d+):\\d+$"));
    return re;
}

} // namespace

bool MidiSystem::jackServerRunning()
{
    return jackRunning();
}

MidiSystem::Api MidiSystem::api()
{
    const QByteArray chosen = qgetenv("KELVO_MIDI_API").trimmed().toLower();
    if (chosen == "alsa")
        return alsaAvailable() ? Alsa : NoApi;
    if (chosen == "jack")
        return jackRunning() ? Jack : NoApi;
    if (!chosen.isEmpty()) {
        static bool warned = false;
        if (!warned)
            qWarning() << "KELVO_MIDI_API must be \"alsa\" or \"jack\"; ignoring" << chosen;
        warned = true;
    }
    if (alsaAvailable())
        return Alsa;
    if (jackRunning())
        return Jack;
    return NoApi;
}

QString MidiSystem::apiName(Api api)
{
    switch (api) {
    case Alsa:
        return QStringLiteral("alsa");
    case Jack:
        return QStringLiteral("jack");
    default:
        return QStringLiteral("none");
    }
}

RtMidiIn* MidiSystem::createInput()
{
    return newInput(api());
}

RtMidiOut* MidiSystem::createOutput()
{
    return newOutput(api());
}

void MidiSystem::openVirtualPort(RtMidi* midi, bool input, const QString& name)
{
    const std::string token = uniquePortName();
    midi->openVirtualPort(token);
    recordOwnPort(midi, input, token, name, name);
}

void MidiSystem::openPort(RtMidi* midi, bool input, unsigned int number)
{
    const std::string token = uniquePortName();
    midi->openPort(number, token);
    recordOwnPort(midi, input, token, input ? QStringLiteral("in") : QStringLiteral("out"),
                  QString());
}

void MidiSystem::forget(RtMidi* midi)
{
    QMutexLocker locker(&ownPortsMutex);
    ownPorts.remove(midi);
}

QStringList MidiSystem::portNames(bool input)
{
    listings.fetchAndAddRelaxed(1);
    const Api current = api();
    if (current == NoApi)
        return {};
    QHash<QString, QString> own; // client key to bare name
    {
        QMutexLocker locker(&ownPortsMutex);
        for (const OwnPort& port : std::as_const(ownPorts)) {
            if (port.api == current)
                own.insert(port.key, port.name);
        }
    }
    QStringList names;
    for (const std::string& systemName : systemPortNames(current, input)) {
        const auto it = own.constFind(clientKey(current, systemName));
        if (it == own.constEnd())
            names.append(displayName(current, systemName));
        else if (it->isEmpty())
            names.append(QString());
        else
            names.append(*it);
    }
    return names;
}

quint64 MidiSystem::portListings()
{
    return listings.loadRelaxed();
}

QString MidiSystem::displayName(Api api, const std::string& systemName)
{
    QString name = QString::fromStdString(systemName);
    if (api == Alsa)
        name.remove(alsaAddress());
    return name;
}

QString MidiSystem::clientKey(Api api, const std::string& systemName)
{
    const QString name = QString::fromStdString(systemName);
    if (api == Alsa)
        return alsaAddress().match(name).captured(1);
    const qsizetype colon = name.indexOf(QLatin1Char(':'));
    return colon > 0 ? name.left(colon) : QString();
}

} // namespace Platform
