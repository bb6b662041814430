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
};

template<class T>
PortTables<T>& tables()
{
    static PortTables<T> instance;
    return instance;
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
    return record && !record->midi ? record : nullptr;
}

// The names of the program's virtual inputs kept inside the program.
QSet<QString> localInputs()
{
    PortTables<RtMidiIn>& t = tables<RtMidiIn>();
    QMutexLocker locker(&t.macVirtualPortToMidiMutex);
    QSet<QString> names;
    for (auto it = t.macVirtualPortToMidi.cbegin(); it != t.macVirtualPortToMidi.cend(); ++it) {
        if (*it && !(*it)->midi)
            names.insert(it.key());
    }
    return names;
}

} // namespace

template<class T>
MidiIO<T>::SharedMidi::~SharedMidi()
{
    if (relay)
        relay->cancelCallback();
    {
        QMutexLocker locker(&mutex);
        if (midi) {
            try {
                midi->closePort();
            } catch (const RtMidiError& error) {
                error.printMessage();
            }
            Platform::MidiSystem::forget(midi);
            MidiSystemObject<T>::Type::dispose(midi);
            midi = nullptr;
        }
    }
    // The library object called into the relay until it was deleted.
    relay.reset();
}

template<class T>
QSharedPointer<typename MidiIO<T>::SharedMidi>
MidiIO<T>::createRecord(uint number, const QString& target, const QString& virtualName)
{
    // Nobody else can see the record yet, so it is filled in without its mutex.
    QSharedPointer<SharedMidi> record = QSharedPointer<SharedMidi>::create();
    try {
        record->midi = createMidi<T>();
        if constexpr (isInput)
            record->relay = std::make_unique<Platform::MidiInputRelay>(record->midi);
        if (virtualName.isEmpty())
            Platform::MidiSystem::openPort(record->midi, number, target);
        else
            Platform::MidiSystem::openVirtualPort(record->midi, virtualName);
        return record;
    } catch (const RtMidiError& error) {
        error.printMessage();
    }
    return {}; // the half-made record goes here, closing what it opened
}

template<class T>
bool MidiIO<T>::openPort(const QString& name)
{
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
            m_sharedMidi = createRecord(number, name, QString());
        if constexpr (!isInput) {
            if (!m_sharedMidi) {
                if (const auto input = localInput(name)) {
                    m_sharedMidi = QSharedPointer<SharedMidi>::create();
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
    PortTables<T>& t = tables<T>();
    QMutexLocker locker(&t.macVirtualPortToMidiMutex);
    bool opened = true;
    for (const QString& name : macVirtualPorts()) {
        t.macVirtualPortToMidi.insert(name, {}); // a record already there is released
        QSharedPointer<SharedMidi> record = createRecord(0, QString(), name);
        if (!record) {
            opened = false;
            if constexpr (!isInput)
                return false; // ports opened before stay open
            // Kept inside the program, where the program's own outputs still reach it.
            record = QSharedPointer<SharedMidi>::create();
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
        Q_ASSERT_X(!*it || (*it)->midi || (*it)->relay, "MidiIO",
                   "a virtual port record without its port");
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

template class MidiIO<RtMidiIn>;
template class MidiIO<RtMidiOut>;
