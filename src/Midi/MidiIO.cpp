#include "MidiIO.h"

#include "LocalMidiOutput.h"
#include "MidiInputRelay.h"
#include "MidiPortNames.h"
#include "MidiSystem.h"
#include "SystemMidiInput.h"
#include "SystemMidiOutput.h"

#include <QHash>
#include <QMutexLocker>
#include <QStringList>
#include <QWeakPointer>

#include <mutex>
#include <utility>

namespace {

// The tables of one direction.
template<class T>
struct PortTables
{
    // Port name to the record open under that name; a dead entry counts as absent.
    QMutex portToSharedMidiMutex;
    QHash<QString, QWeakPointer<typename MidiIO<T>::SharedMidi>> portToSharedMidi;
    // Keeps the program's virtual ports open while nobody uses them.
    QMutex macVirtualPortToMidiMutex;
    QHash<QString, QSharedPointer<typename MidiIO<T>::SharedMidi>> macVirtualPortToMidi;
    bool virtualPortsOpen = false; // from macOpenVirtualPorts to macCloseVirtualPorts
    // The users that await a port, and its name.
    QMutex awaitingMutex;
    QHash<MidiIO<T>*, QString> awaiting;
};

// Made once and never destroyed: the thread that follows the JACK server may still come by
// while the process ends.
template<class T>
PortTables<T>& tables()
{
    static auto* instance = new PortTables<T>;
    return *instance;
}

template<class T>
typename MidiSystemObject<T>::Type* createMidi();

template<>
Platform::SystemMidiInput* createMidi<RtMidiIn>()
{
    return Platform::MidiSystem::createInput();
}

template<>
Platform::SystemMidiOutput* createMidi<RtMidiOut>()
{
    return Platform::MidiSystem::createOutput();
}

// The program's virtual input called `name` when it is kept inside the program; null otherwise.
QSharedPointer<MidiIO<RtMidiIn>::SharedMidi> localInput(const QString& name)
{
    PortTables<RtMidiIn>& t = tables<RtMidiIn>();
    QMutexLocker locker(&t.macVirtualPortToMidiMutex);
    const QSharedPointer<MidiIO<RtMidiIn>::SharedMidi> record = t.macVirtualPortToMidi.value(name);
    return record && !record->hasSystemPort() ? record : nullptr;
}

// The names of the program's virtual inputs kept inside the program.
QSet<QString> localInputs()
{
    PortTables<RtMidiIn>& t = tables<RtMidiIn>();
    QMutexLocker locker(&t.macVirtualPortToMidiMutex);
    QSet<QString> names;
    for (auto it = t.macVirtualPortToMidi.cbegin(); it != t.macVirtualPortToMidi.cend(); ++it) {
        if (*it && !(*it)->hasSystemPort())
            names.insert(it.key());
    }
    return names;
}

// Lets the ports go when the JACK server goes, and makes them again when it comes back.
class JackPorts : public Platform::JackListener
{
public:
    std::function<void()> jackServerGone() override
    {
        return
            [outputs = MidiIO<RtMidiOut>::letGoOfJack(), inputs = MidiIO<RtMidiIn>::letGoOfJack()] {
                outputs();
                inputs();
            };
    }
    void jackClientOpened() override
    {
        // The virtual ports first, so that the others find the program's own among the
        // system's.
        MidiIO<RtMidiIn>::reopenVirtualPorts();
        MidiIO<RtMidiOut>::reopenVirtualPorts();
        jackPortsChanged();
    }
    void jackPortsChanged() override
    {
        MidiIO<RtMidiIn>::portsChanged();
        MidiIO<RtMidiOut>::portsChanged();
    }
};

// The MIDI layer follows the JACK server from its first port on.
void followJack()
{
    static std::once_flag once;
    std::call_once(once, [] { Platform::MidiSystem::addJackListener(new JackPorts); });
}

} // namespace

template<class T>
MidiIO<T>::SharedMidi::~SharedMidi()
{
    if (relay)
        relay->cancelCallback();
    {
        QMutexLocker locker(&mutex);
        disposeMidi(std::exchange(midi, nullptr));
    }
    // The library object called into the relay until it was deleted.
    relay.reset();
}

template<class T>
MidiIO<T>::~MidiIO()
{
    stopAwaiting();
}

template<class T>
bool MidiIO<T>::SharedMidi::hasSystemPort()
{
    QMutexLocker locker(&mutex);
    return midi != nullptr;
}

template<class T>
bool MidiIO<T>::SharedMidi::waitsForPort()
{
    QMutexLocker locker(&mutex);
    return waiting;
}

template<class T>
typename MidiSystemObject<T>::Type* MidiIO<T>::openSystemPort(SharedMidi& record)
{
    typename MidiSystemObject<T>::Type* midi = nullptr;
    try {
        midi = createMidi<T>();
        if constexpr (isInput) {
            // The relay is the port's callback before the port opens.
            QMutexLocker locker(&record.mutex);
            if (record.relay)
                record.relay->attach(midi);
            else
                record.relay = std::make_unique<Platform::MidiInputRelay>(midi);
        }
        if (record.isVirtual)
            Platform::MidiSystem::openVirtualPort(midi, record.name);
        else
            Platform::MidiSystem::openPort(midi, record.name);
        return midi;
    } catch (const RtMidiError& error) {
        error.printMessage();
    }
    if constexpr (isInput) {
        QMutexLocker locker(&record.mutex);
        if (record.relay)
            record.relay->attach(nullptr);
    }
    disposeMidi(midi);
    return nullptr;
}

template<class T>
void MidiIO<T>::disposeMidi(typename MidiSystemObject<T>::Type* midi)
{
    if (!midi)
        return;
    try {
        midi->closePort();
    } catch (const RtMidiError& error) {
        error.printMessage();
    }
    Platform::MidiSystem::forget(midi);
    MidiSystemObject<T>::Type::dispose(midi);
}

template<class T>
QSharedPointer<typename MidiIO<T>::SharedMidi> MidiIO<T>::createRecord(const QString& name,
                                                                       bool isVirtual)
{
    // Nobody else can see the record yet.
    QSharedPointer<SharedMidi> record = QSharedPointer<SharedMidi>::create();
    record->name = name;
    record->isVirtual = isVirtual;
    typename MidiSystemObject<T>::Type* midi = openSystemPort(*record);
    if (!midi)
        return {}; // the half-made record goes here
    record->midi = midi;
    return record;
}

template<class T>
bool MidiIO<T>::openPort(const QString& name)
{
    followJack();
    QMutexLocker locker(&m_mutex);
    if (m_sharedMidi)
        return false;
    PortTables<T>& t = tables<T>();
    QMutexLocker registryLocker(&t.portToSharedMidiMutex);
    m_port.clear();
    // A record found in the registry may be dying: toStrongRef() then gives null, and a fresh
    // record is made.
    m_sharedMidi = t.portToSharedMidi.value(name).toStrongRef();
    if (!m_sharedMidi) {
        uint number = 0;
        if (findPortNumber(name, &number))
            m_sharedMidi = createRecord(name, false);
        if constexpr (!isInput) {
            if (!m_sharedMidi) {
                if (const auto input = localInput(name)) {
                    m_sharedMidi = QSharedPointer<SharedMidi>::create();
                    m_sharedMidi->name = name;
                    m_sharedMidi->midi = new LocalMidiOutput(input);
                }
            }
        }
        if (m_sharedMidi)
            t.portToSharedMidi.insert(name, m_sharedMidi);
    }
    if (!m_sharedMidi)
        return false;
    {
        QMutexLocker usersLocker(&m_sharedMidi->usersMutex);
        m_sharedMidi->users.insert(this);
    }
    m_port = name;
    return true;
}

template<class T>
bool MidiIO<T>::closePort()
{
    QSharedPointer<SharedMidi> record;
    QString name;
    {
        QMutexLocker locker(&m_mutex);
        if (!m_sharedMidi) {
            m_port.clear();
            return false;
        }
        {
            QMutexLocker usersLocker(&m_sharedMidi->usersMutex);
            m_sharedMidi->users.remove(this);
        }
        record.swap(m_sharedMidi);
        name = std::exchange(m_port, QString());
    }
    // Dropped outside the port mutex: a writer holds the record's mutex while it reads the
    // channel mask. The last reference closes the port; the record catches and prints a
    // library error itself.
    record.reset();
    PortTables<T>& t = tables<T>();
    QMutexLocker registryLocker(&t.portToSharedMidiMutex);
    const auto it = t.portToSharedMidi.constFind(name);
    if (it != t.portToSharedMidi.constEnd() && it->isNull())
        t.portToSharedMidi.erase(it);
    return true;
}

template<class T>
void MidiIO<T>::setChannels(const QBitArray& channels)
{
    QMutexLocker locker(&m_mutex);
    m_channels = channels;
}

template<class T>
QString MidiIO<T>::port() const
{
    QMutexLocker locker(&m_mutex);
    return m_port;
}

template<class T>
void MidiIO<T>::awaitPort(const QString& name)
{
    PortTables<T>& t = tables<T>();
    QMutexLocker locker(&t.awaitingMutex);
    t.awaiting.insert(this, name);
}

template<class T>
void MidiIO<T>::stopAwaiting()
{
    PortTables<T>& t = tables<T>();
    QMutexLocker locker(&t.awaitingMutex);
    t.awaiting.remove(this);
}

template<class T>
QBitArray MidiIO<T>::channels() const
{
    QMutexLocker locker(&m_mutex);
    return m_channels;
}

template<class T>
QSharedPointer<typename MidiIO<T>::SharedMidi> MidiIO<T>::sharedMidi() const
{
    QMutexLocker locker(&m_mutex);
    return m_sharedMidi;
}

// The program's own virtual ports, as other programs see them: "Kelvo Input" and "Kelvo
// Synthesizer" receive (other programs send to them), "Kelvo Output" sends.
template<class T>
QSet<QString> MidiIO<T>::macVirtualPorts()
{
    if constexpr (isInput)
        return {MidiPortNames::inputPortName(), MidiPortNames::synthesizerPortName()};
    else
        return {MidiPortNames::outputPortName()};
}

template<class T>
bool MidiIO<T>::macOpenVirtualPorts()
{
    followJack();
    PortTables<T>& t = tables<T>();
    QMutexLocker locker(&t.macVirtualPortToMidiMutex);
    t.virtualPortsOpen = true;
    bool opened = true;
    // In a fixed order, so that systems that number ports as they are made (ALSA) give them
    // the same numbers in every run.
    QStringList names = macVirtualPorts().values();
    names.sort();
    for (const QString& name : std::as_const(names)) {
        t.macVirtualPortToMidi.insert(name, {}); // a record already there is released
        QSharedPointer<SharedMidi> record = createRecord(name, true);
        if (!record) {
            opened = false;
            if constexpr (!isInput)
                return false; // ports opened before stay open
            // Kept inside the program, where the program's own outputs still reach it.
            record = QSharedPointer<SharedMidi>::create();
            record->name = name;
            record->isVirtual = true;
            record->relay = std::make_unique<Platform::MidiInputRelay>(nullptr);
        }
        t.macVirtualPortToMidi.insert(name, record);
        QMutexLocker registryLocker(&t.portToSharedMidiMutex);
        t.portToSharedMidi.insert(name, record);
    }
    return opened;
}

template<class T>
bool MidiIO<T>::macCloseVirtualPorts()
{
    PortTables<T>& t = tables<T>();
    QMutexLocker locker(&t.macVirtualPortToMidiMutex);
    macAssertVirtualPorts();
    t.virtualPortsOpen = false;
    // A record no user holds goes now, and its port with it; one still in use lives until its
    // last user closes, which also removes its registry entry.
    for (auto it = t.macVirtualPortToMidi.begin(); it != t.macVirtualPortToMidi.end(); ++it)
        it->reset();
    return true;
}

template<class T>
void MidiIO<T>::macAssertVirtualPorts()
{
#ifndef QT_NO_DEBUG
    PortTables<T>& t = tables<T>();
    for (auto it = t.macVirtualPortToMidi.cbegin(); it != t.macVirtualPortToMidi.cend(); ++it) {
        Q_ASSERT_X(macVirtualPorts().contains(it.key()), "MidiIO", "not a virtual port name");
        Q_ASSERT_X(!*it || ((*it)->isVirtual && (*it)->name == it.key()), "MidiIO",
                   "a virtual port record under another name");
    }
#endif
}

template<class T>
QSet<QString> MidiIO<T>::ports(bool* ok)
{
    QSet<QString> names;
    if (ok)
        *ok = true;
    try {
        for (const QString& name : Platform::MidiSystem::portNames(isInput)) {
            if (!name.isNull())
                names.insert(name);
        }
    } catch (const RtMidiError& error) {
        error.printMessage();
        names.clear();
        if (ok)
            *ok = false;
    }
    names.unite(macVirtualPorts());
    if constexpr (!isInput)
        names.unite(localInputs());
    return names;
}

template<class T>
bool MidiIO<T>::findPortNumber(const QString& name, uint* number)
{
    try {
        const QStringList names = Platform::MidiSystem::portNames(isInput);
        const qsizetype index = names.indexOf(name);
        if (index < 0 || name.isNull())
            return false;
        *number = uint(index);
        return true;
    } catch (const RtMidiError& error) {
        error.printMessage();
        return false;
    }
}

template<class T>
QList<QSharedPointer<typename MidiIO<T>::SharedMidi>> MidiIO<T>::liveRecords()
{
    PortTables<T>& t = tables<T>();
    QList<QSharedPointer<SharedMidi>> records;
    QMutexLocker locker(&t.portToSharedMidiMutex);
    for (const QWeakPointer<SharedMidi>& entry : std::as_const(t.portToSharedMidi)) {
        if (QSharedPointer<SharedMidi> record = entry.toStrongRef())
            records.append(record);
    }
    return records;
}

template<class T>
std::function<void()> MidiIO<T>::letGoOfJack()
{
    std::vector<typename MidiSystemObject<T>::Type*> objects;
    for (const QSharedPointer<SharedMidi>& record : liveRecords()) {
        QMutexLocker locker(&record->mutex);
        if (!record->midi || !record->midi->isJack())
            continue;
        objects.push_back(std::exchange(record->midi, nullptr));
        if constexpr (isInput)
            record->relay->attach(nullptr);
        if (!record->isVirtual)
            record->waiting = true;
        QMutexLocker usersLocker(&record->usersMutex);
        for (MidiIO<T>* user : std::as_const(record->users))
            user->systemPortLost();
    }
    return [objects = std::move(objects)] {
        for (typename MidiSystemObject<T>::Type* midi : objects)
            disposeMidi(midi);
    };
}

template<class T>
void MidiIO<T>::reopenVirtualPorts()
{
    PortTables<T>& t = tables<T>();
    QMutexLocker locker(&t.macVirtualPortToMidiMutex);
    if (!t.virtualPortsOpen)
        return;
    for (const QString& name : macVirtualPorts()) {
        QSharedPointer<SharedMidi> record = t.macVirtualPortToMidi.value(name);
        if (!record) {
            // A virtual output the system could not carry when the ports opened.
            record = createRecord(name, true);
            if (!record)
                continue;
            t.macVirtualPortToMidi.insert(name, record);
            QMutexLocker registryLocker(&t.portToSharedMidiMutex);
            t.portToSharedMidi.insert(name, record);
            continue;
        }
        if (record->hasSystemPort())
            continue;
        if (auto* midi = openSystemPort(*record)) {
            QMutexLocker recordLocker(&record->mutex);
            record->midi = midi;
        }
    }
}

template<class T>
void MidiIO<T>::portsChanged()
{
    // Taken before the ports are listed: a record made since may lead to a port that the
    // listing does not hold yet.
    QList<QSharedPointer<SharedMidi>> records = liveRecords();
    records.removeIf([](const QSharedPointer<SharedMidi>& record) { return record->isVirtual; });
    PortTables<T>& t = tables<T>();
    bool awaited = false;
    {
        QMutexLocker locker(&t.awaitingMutex);
        awaited = !t.awaiting.isEmpty();
    }
    if (records.isEmpty() && !awaited)
        return; // nothing to look for: ports come and go on the system all the time
    QSet<QString> present;
    try {
        for (const QString& name : Platform::MidiSystem::portNames(isInput)) {
            if (!name.isNull())
                present.insert(name);
        }
    } catch (const RtMidiError& error) {
        error.printMessage();
        return;
    }
    // A JACK server that has gone, or does not answer, lists nothing: such a listing tells
    // nothing of the ports that went. One that runs lists the program's own virtual ports.
    if (present.isEmpty())
        return;
    for (typename MidiSystemObject<T>::Type* midi : letGoOfLostTargets(records, present))
        disposeMidi(midi);
    reopenConnections(records, present);
    tellAwaiting(present);
}

template<class T>
std::vector<typename MidiSystemObject<T>::Type*>
MidiIO<T>::letGoOfLostTargets(const QList<QSharedPointer<SharedMidi>>& records,
                              const QSet<QString>& present)
{
    std::vector<typename MidiSystemObject<T>::Type*> objects;
    for (const QSharedPointer<SharedMidi>& record : records) {
        if (present.contains(record->name))
            continue;
        QMutexLocker locker(&record->mutex);
        if (!record->midi)
            continue;
        if constexpr (!isInput) {
            // An output to a virtual input kept inside the program has no port on the system.
            if (dynamic_cast<LocalMidiOutput*>(record->midi))
                continue;
        }
        objects.push_back(std::exchange(record->midi, nullptr));
        if constexpr (isInput)
            record->relay->attach(nullptr);
        record->waiting = true;
        QMutexLocker usersLocker(&record->usersMutex);
        for (MidiIO<T>* user : std::as_const(record->users)) {
            user->systemPortLost();
            user->targetPortLost();
        }
    }
    return objects;
}

template<class T>
void MidiIO<T>::reopenConnections(const QList<QSharedPointer<SharedMidi>>& records,
                                  const QSet<QString>& present)
{
    for (const QSharedPointer<SharedMidi>& record : records) {
        if (!present.contains(record->name) || !record->waitsForPort())
            continue; // not there yet: tried again when ports come
        if (auto* midi = openSystemPort(*record)) {
            QMutexLocker recordLocker(&record->mutex);
            record->midi = midi;
            record->waiting = false;
        }
    }
}

template<class T>
void MidiIO<T>::tellAwaiting(const QSet<QString>& present)
{
    PortTables<T>& t = tables<T>();
    QMutexLocker locker(&t.awaitingMutex);
    for (auto it = t.awaiting.begin(); it != t.awaiting.end();) {
        if (present.contains(it.value())) {
            it.key()->awaitedPortPresent();
            it = t.awaiting.erase(it);
        } else
            ++it;
    }
}

template class MidiIO<RtMidiIn>;
template class MidiIO<RtMidiOut>;
