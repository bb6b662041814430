#include "MidiSystem.h"

#include "DeadlineSleep.h"
#include "JackMidiOutput.h"
#include "SystemMidiOutput.h"

#include <QAtomicInteger>
#include <QDebug>
#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>

#include <jack/jack.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
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

// The program's own ports, by the object that made them.
QMutex ownPortsMutex;
QHash<const void*, OwnPort> ownPorts;

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

MidiSystem::Api apiOf(RtMidiIn* midi)
{
    switch (midi->getCurrentApi()) {
    case RtMidi::LINUX_ALSA:
        return MidiSystem::Alsa;
    case RtMidi::UNIX_JACK:
        return MidiSystem::Jack;
    default:
        return MidiSystem::NoApi;
    }
}

MidiSystem::Api apiOf(SystemMidiOutput* midi)
{
    return midi->isJack() ? MidiSystem::Jack : MidiSystem::Alsa;
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

// The library's JACK output frees its ring buffer before it closes its client, while a process
// cycle that began before may still read it. A closed one is therefore deleted only a second
// later, when no cycle of it can be under way any more, by a thread of its own; at the end of
// the program what is left waits out its second.
class RetiredJackOutputs
{
public:
    ~RetiredJackOutputs()
    {
        {
            const std::lock_guard<std::mutex> locker(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    void retire(RtMidiOut* midi)
    {
        const std::lock_guard<std::mutex> locker(m_mutex);
        m_retired.push_back({monotonicNs() + 1000000000u, midi});
        if (!m_thread.joinable())
            m_thread = std::thread(&RetiredJackOutputs::run, this);
        m_changed.notify_all();
    }

private:
    struct Retired
    {
        quint64 deadlineNs;
        RtMidiOut* midi;
    };

    void run()
    {
        std::unique_lock<std::mutex> locker(m_mutex);
        for (;;) {
            if (m_retired.empty()) {
                if (m_stop)
                    return;
                m_changed.wait(locker);
                continue;
            }
            const Retired next = m_retired.front();
            if (monotonicNs() < next.deadlineNs) {
                // The monotonic clock is the one the steady clock reads.
                m_changed.wait_until(locker,
                                     std::chrono::steady_clock::time_point(
                                         std::chrono::nanoseconds(next.deadlineNs)));
                continue;
            }
            m_retired.pop_front();
            locker.unlock();
            delete next.midi;
            locker.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Retired> m_retired; // oldest first
    bool m_stop = false;
    std::thread m_thread;
};

void retire(RtMidiOut* midi)
{
    static RetiredJackOutputs retired;
    retired.retire(midi);
}

// Whether outputs on JACK go through the library instead of our own client, as the environment
// variable KELVO_JACK_OUTPUT=rtmidi asks ("kelvo" or unset: our own client). Read at every
// creation.
bool jackOutputThroughLibrary()
{
    const QByteArray chosen = qgetenv("KELVO_JACK_OUTPUT").trimmed().toLower();
    if (chosen == "rtmidi")
        return true;
    if (!chosen.isEmpty() && chosen != "kelvo") {
        static bool warned = false;
        if (!warned)
            qWarning() << "KELVO_JACK_OUTPUT must be \"kelvo\" or \"rtmidi\"; ignoring" << chosen;
        warned = true;
    }
    return false;
}

// The library's output object: on the ALSA sequencer, and on JACK when asked for.
class LibraryMidiOutput : public SystemMidiOutput
{
public:
    explicit LibraryMidiOutput(RtMidiOut* midi)
        : m_midi(midi)
    { }
    ~LibraryMidiOutput() override
    {
        if (isJack()) {
            m_midi->closePort();
            retire(m_midi.release());
        }
    }

    bool isJack() const override { return m_midi->getCurrentApi() == RtMidi::UNIX_JACK; }
    void openPort(unsigned int number, const std::string& portName) override
    {
        m_midi->openPort(number, portName);
    }
    void openVirtualPort(const std::string& portName) override
    {
        m_midi->openVirtualPort(portName);
    }
    void closePort() override { m_midi->closePort(); }
    void setPortName(const std::string& portName) override { m_midi->setPortName(portName); }
    // At once, whatever the due time.
    void send(const unsigned char* bytes, std::size_t size, quint64, Writer) override
    {
        m_midi->sendMessage(bytes, size);
    }

private:
    std::unique_ptr<RtMidiOut> m_midi;
};

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

// Opens a port of `midi` through `open` under a unique name, finds it in the system's list (in
// the other direction) to learn its owner, whom it records as the program's own, and then gives
// the port its real name.
template<class Object, class Open>
void openOwnPort(Object* midi, bool input, const QString& name, const QString& virtualName,
                 Open open)
{
    const std::string token = uniquePortName();
    open(token);
    const MidiSystem::Api api = apiOf(midi);
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

SystemMidiOutput* MidiSystem::createOutput()
{
    const Api current = api();
    if (current == Jack && !jackOutputThroughLibrary())
        return new JackMidiOutput;
    return new LibraryMidiOutput(newOutput(current));
}

void MidiSystem::openVirtualPort(RtMidiIn* midi, const QString& name)
{
    openOwnPort(midi, true, name, name,
                [midi](const std::string& token) { midi->openVirtualPort(token); });
}

void MidiSystem::openVirtualPort(SystemMidiOutput* midi, const QString& name)
{
    openOwnPort(midi, false, name, name,
                [midi](const std::string& token) { midi->openVirtualPort(token); });
}

void MidiSystem::openPort(RtMidiIn* midi, unsigned int number)
{
    openOwnPort(midi, true, QStringLiteral("in"), QString(),
                [midi, number](const std::string& token) { midi->openPort(number, token); });
}

void MidiSystem::openPort(SystemMidiOutput* midi, unsigned int number)
{
    openOwnPort(midi, false, QStringLiteral("out"), QString(),
                [midi, number](const std::string& token) { midi->openPort(number, token); });
}

void MidiSystem::forget(const void* midi)
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
