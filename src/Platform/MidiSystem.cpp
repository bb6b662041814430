#include "MidiSystem.h"

#include "AlsaClient.h"
#include "AlsaMidiPorts.h"
#include "DeadlineSleep.h"
#include "JackClient.h"
#include "JackMidiInput.h"
#include "JackMidiOutput.h"
#include "JackSession.h"
#include "SystemMidiInput.h"
#include "SystemMidiOutput.h"

#include <QAtomicInteger>
#include <QDebug>
#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSet>

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

// The decision on the MIDI system, made once (see MidiSystem::api), and on JACK the session
// that keeps the program's client.
QMutex decisionMutex;
bool decided = false;
MidiSystem::Api decidedApi = MidiSystem::NoApi;
std::unique_ptr<JackSession> jackSession;
// On ALSA, the program's one sequencer client.
std::shared_ptr<AlsaClient> alsaClient;
QString decisionProblem;
// Servers gone under the sessions before the one under way.
quint64 earlierLosses = 0;

bool alsaAvailable()
{
    return access("/dev/snd/seq", R_OK | W_OK) == 0;
}

// The JACK client while the decision is JACK and a server runs; null otherwise.
std::shared_ptr<JackClient> currentJackClient()
{
    MidiSystem::api();
    QMutexLocker locker(&decisionMutex);
    return jackSession ? jackSession->client() : nullptr;
}

// The ALSA client while the decision is ALSA; null otherwise.
std::shared_ptr<AlsaClient> currentAlsaClient()
{
    MidiSystem::api();
    QMutexLocker locker(&decisionMutex);
    return alsaClient;
}

MidiSystem::Api apiOf(SystemMidiInput* midi)
{
    return midi->isJack() ? MidiSystem::Jack : MidiSystem::Alsa;
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

// The MIDI library's own JACK output, as KELVO_JACK_OUTPUT=rtmidi asks for.
RtMidiOut* newLibraryOutput()
{
    return new RtMidiOut(RtMidi::UNIX_JACK, clientName);
}

// The library's JACK output frees its ring buffer before it closes its client, while a process
// cycle that began before may still read it. A closed one is therefore deleted only a second
// later, when no cycle of it can be under way any more, by a thread of its own; at the end of
// the program what is left waits out its second. Once the server has gone no cycle runs, and
// every one left is deleted at once, so that its client closes before another is opened.
class RetiredJackOutputs
{
public:
    static RetiredJackOutputs& instance()
    {
        static RetiredJackOutputs retired;
        return retired;
    }

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

    void deleteAll()
    {
        std::deque<Retired> all;
        {
            const std::lock_guard<std::mutex> locker(m_mutex);
            all.swap(m_retired);
        }
        for (const Retired& retired : all)
            delete retired.midi;
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
    RetiredJackOutputs::instance().retire(midi);
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

// The MIDI library's JACK output, used when KELVO_JACK_OUTPUT=rtmidi asks for it. It sends
// each message at once, whatever the due time.
class LibraryMidiOutput : public SystemMidiOutput
{
public:
    explicit LibraryMidiOutput(RtMidiOut* midi)
        : m_midi(midi)
    { }
    ~LibraryMidiOutput() override
    {
        m_midi->closePort();
        retire(m_midi.release());
    }

    bool isJack() const override { return true; }
    // The library opens by number: the port is looked up by its name in the library's own list
    // right before, so that one that came or went since a listing is never mistaken for it.
    void openPort(const std::string& target, const std::string& portName) override
    {
        for (unsigned int i = 0; i < m_midi->getPortCount(); ++i) {
            if (m_midi->getPortName(i) == target) {
                m_midi->openPort(i, portName);
                return;
            }
        }
        throw RtMidiError("MidiSystem: there is no port " + target, RtMidiError::INVALID_PARAMETER);
    }
    void openVirtualPort(const std::string& portName) override
    {
        m_midi->openVirtualPort(portName);
    }
    void closePort() override { m_midi->closePort(); }
    void setPortName(const std::string& portName) override { m_midi->setPortName(portName); }
    void send(const unsigned char* bytes, std::size_t size, quint64, Writer) override
    {
        m_midi->sendMessage(bytes, size);
    }

private:
    std::unique_ptr<RtMidiOut> m_midi;
};

// The JACK ports of one direction, in the server's order, listed through the program's own
// client (the list comes from the server's shared memory, without a round trip); none while no
// server runs.
std::vector<std::string> jackPortNames(bool input)
{
    const std::shared_ptr<JackClient> client = currentJackClient();
    if (!client)
        return {};
    // An input receives from the ports other programs send from, and an output sends to the
    // ports they receive on.
    return client->midiPorts(input ? JackPortIsOutput : JackPortIsInput);
}

// The system names of the ports of one direction, listed through the program's own client.
std::vector<std::string> systemPortNames(MidiSystem::Api api, bool input)
{
    if (api == MidiSystem::Jack)
        return jackPortNames(input);
    if (const std::shared_ptr<AlsaClient> client = currentAlsaClient())
        return client->midiPorts(input);
    return {};
}

// A port name no other port on the system has, so that the port just made under it can be
// found in the system's list and its owner learnt.
std::string uniquePortName()
{
    static QAtomicInteger<quint32> counter;
    return QString("kelvo-%1-%2").arg(getpid()).arg(counter.fetchAndAddRelaxed(1)).toStdString();
}

// Whether the object's ports belong to the program's own client (JACK's or ALSA's), not to a
// client of the MIDI library's.
bool ownsProgramClient(SystemMidiInput*)
{
    return true;
}
bool ownsProgramClient(SystemMidiOutput* midi)
{
    return dynamic_cast<LibraryMidiOutput*>(midi) == nullptr;
}

// What identifies the program's own client among the system's: the JACK client name, or the
// ALSA client number; empty while there is none.
QString programClientKey(MidiSystem::Api api)
{
    if (api == MidiSystem::Jack)
        return QString::fromLatin1(JackClient::name());
    if (api == MidiSystem::Alsa) {
        if (const std::shared_ptr<AlsaClient> client = currentAlsaClient())
            return QString::number(client->clientId());
    }
    return {};
}

// The name of the port that connects the program to another program's port `target` (a name as
// the user sees it): where all the program's ports are one client's, it says where it leads; a
// library client of its own has one port with a short name.
QString connectionPortName(bool input, const QString& target, bool named)
{
    if (!named)
        return input ? QStringLiteral("in") : QStringLiteral("out");
    return (input ? QStringLiteral("from ") : QStringLiteral("to ")) + target;
}

// Opens a port of `midi` through `open` under a unique name, finds it in the system's list (in
// the other direction) to learn its owner, whom it records as the program's own, and then gives
// the port its real name.
template<class Object, class Open>
void openOwnPort(Object* midi, bool input, const QString& name, const QString& virtualName,
                 Open open)
{
    if (ownsProgramClient(midi)) {
        // A port of the program's one client, under its own name from the start.
        open(name.toStdString());
        const MidiSystem::Api api = apiOf(midi);
        const QString key = programClientKey(api);
        QMutexLocker locker(&ownPortsMutex);
        ownPorts.insert(midi, OwnPort {api, key, virtualName});
        return;
    }
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

// The port's own part of a system name: what follows the client's name.
QString portPart(MidiSystem::Api api, const std::string& systemName)
{
    const QString name = MidiSystem::displayName(api, systemName);
    return name.mid(name.indexOf(QLatin1Char(':')) + 1);
}

// A port of the system as the program lists it: the name a user sees (null for a port of the
// program's own that is not listed) and the system's name.
struct ListedPort
{
    QString name;
    std::string systemName;
};

// The ports of one direction on `current`, in the system's order.
std::vector<ListedPort> listPorts(MidiSystem::Api current, bool input)
{
    if (current == MidiSystem::NoApi)
        return {};
    const QString programKey = programClientKey(current);
    QHash<QString, QString> own; // client key to bare name
    QSet<QString> programVirtual; // the virtual ports of the program's own client
    {
        QMutexLocker locker(&ownPortsMutex);
        for (const OwnPort& port : std::as_const(ownPorts)) {
            if (port.api != current)
                continue;
            if (port.key == programKey) {
                if (!port.name.isEmpty())
                    programVirtual.insert(port.name);
            } else
                own.insert(port.key, port.name);
        }
    }
    std::vector<ListedPort> ports;
    for (std::string& systemName : systemPortNames(current, input)) {
        const QString key = MidiSystem::clientKey(current, systemName);
        QString name;
        if (!programKey.isEmpty() && key == programKey) {
            // The client is the program's own. Its connection ports are not listed.
            const QString shortName = portPart(current, systemName);
            if (programVirtual.contains(shortName))
                name = shortName;
        } else {
            const auto it = own.constFind(key);
            if (it == own.constEnd())
                name = MidiSystem::displayName(current, systemName);
            else if (!it->isEmpty())
                name = *it;
        }
        ports.push_back({name, std::move(systemName)});
    }
    return ports;
}

// The system's name of the port a user knows as `target`, the first of that name; throws
// RtMidiError when there is none.
std::string systemNameOf(MidiSystem::Api api, bool input, const QString& target)
{
    for (const ListedPort& port : listPorts(api, input)) {
        if (!port.name.isNull() && port.name == target)
            return port.systemName;
    }
    throw RtMidiError("MidiSystem: there is no port " + target.toStdString(),
                      RtMidiError::INVALID_PARAMETER);
}

} // namespace

MidiSystem::Api MidiSystem::api()
{
    QMutexLocker locker(&decisionMutex);
    if (!decided) {
        decided = true;
        decisionProblem.clear();
        const QByteArray chosen = qgetenv("KELVO_MIDI_API").trimmed().toLower();
        if (!chosen.isEmpty() && chosen != "alsa" && chosen != "jack")
            qWarning() << "KELVO_MIDI_API must be \"alsa\" or \"jack\"; ignoring" << chosen;
        if (chosen != "jack" && alsaAvailable()) {
            alsaClient = AlsaClient::open(&decisionProblem);
            decidedApi = alsaClient ? Alsa : NoApi;
            if (alsaClient)
                alsaClient->setPortsChanged([] { JackSession::tellPortsChanged(); });
        } else if (chosen != "alsa") {
            // On JACK for good: a server that is not there yet, or goes, is waited for.
            decidedApi = Jack;
            jackSession
                = std::make_unique<JackSession>([] { RetiredJackOutputs::instance().deleteAll(); });
            jackSession->start(&decisionProblem);
        } else
            decidedApi = NoApi;
        if (!decisionProblem.isEmpty())
            qWarning().noquote() << decisionProblem;
    }
    if (decidedApi == Jack && !jackSession->client())
        return NoApi;
    return decidedApi;
}

bool MidiSystem::jackServerGone()
{
    QMutexLocker locker(&decisionMutex);
    return decided && decidedApi == Jack && !jackSession->client();
}

quint64 MidiSystem::jackServerLosses()
{
    QMutexLocker locker(&decisionMutex);
    return earlierLosses + (jackSession ? jackSession->losses() : 0);
}

bool MidiSystem::jackClientsClosed()
{
    return JackClient::clientsOpen() == 0;
}

void MidiSystem::addJackListener(JackListener* listener)
{
    JackSession::addListener(listener);
}

void MidiSystem::removeJackListener(JackListener* listener)
{
    JackSession::removeListener(listener);
}

QString MidiSystem::problem()
{
    QMutexLocker locker(&decisionMutex);
    return decisionProblem;
}

void MidiSystem::shutDown()
{
    std::unique_ptr<JackSession> session;
    std::shared_ptr<AlsaClient> alsa;
    {
        QMutexLocker locker(&decisionMutex);
        session.swap(jackSession);
        alsa.swap(alsaClient);
        if (session)
            earlierLosses += session->losses();
        decided = false;
        decidedApi = NoApi;
        decisionProblem.clear();
    }
    // The session and the ALSA client stop outside the lock: their threads may be telling a
    // listener, which asks here. A client closes with the last port that still holds it, here
    // when none does.
    session.reset();
    alsa.reset();
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

SystemMidiInput* MidiSystem::createInput()
{
    const Api current = api();
    if (current == Jack) {
        if (std::shared_ptr<JackClient> client = currentJackClient())
            return new JackMidiInput(std::move(client));
        throwNoSystem();
    }
    if (current == Alsa) {
        if (std::shared_ptr<AlsaClient> client = currentAlsaClient())
            return new AlsaMidiInput(std::move(client));
    }
    throwNoSystem();
}

SystemMidiOutput* MidiSystem::createOutput()
{
    const Api current = api();
    if (current == Jack && !jackOutputThroughLibrary()) {
        if (std::shared_ptr<JackClient> client = currentJackClient())
            return new JackMidiOutput(std::move(client));
        throwNoSystem();
    }
    if (current == Jack)
        return new LibraryMidiOutput(newLibraryOutput());
    if (current == Alsa) {
        if (std::shared_ptr<AlsaClient> client = currentAlsaClient())
            return new AlsaMidiOutput(std::move(client));
    }
    throwNoSystem();
}

void MidiSystem::openVirtualPort(SystemMidiInput* midi, const QString& name)
{
    openOwnPort(midi, true, name, name,
                [midi](const std::string& token) { midi->openVirtualPort(token); });
}

void MidiSystem::openVirtualPort(SystemMidiOutput* midi, const QString& name)
{
    openOwnPort(midi, false, name, name,
                [midi](const std::string& token) { midi->openVirtualPort(token); });
}

void MidiSystem::openPort(SystemMidiInput* midi, const QString& target)
{
    const std::string systemName = systemNameOf(apiOf(midi), true, target);
    openOwnPort(
        midi, true, connectionPortName(true, target, ownsProgramClient(midi)), QString(),
        [midi, systemName](const std::string& token) { midi->openPort(systemName, token); });
}

void MidiSystem::openPort(SystemMidiOutput* midi, const QString& target)
{
    const std::string systemName = systemNameOf(apiOf(midi), false, target);
    openOwnPort(
        midi, false, connectionPortName(false, target, ownsProgramClient(midi)), QString(),
        [midi, systemName](const std::string& token) { midi->openPort(systemName, token); });
}

void MidiSystem::forget(const void* midi)
{
    QMutexLocker locker(&ownPortsMutex);
    ownPorts.remove(midi);
}

QStringList MidiSystem::portNames(bool input)
{
    listings.fetchAndAddRelaxed(1);
    QStringList names;
    for (const ListedPort& port : listPorts(api(), input))
        names.append(port.name);
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
