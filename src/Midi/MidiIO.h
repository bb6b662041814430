#ifndef MIDIIO_H
#define MIDIIO_H

#include <QBitArray>
#include <QMutex>
#include <QSet>
#include <QSharedPointer>
#include <QString>
#include <QtGlobal>

#include <RtMidi.h>

#include <functional>
#include <memory>
#include <type_traits>
#include <vector>

namespace Platform {
class MidiInputRelay;
class SystemMidiInput;
class SystemMidiOutput;
} // namespace Platform

// What a shared port record drives: an input or an output of the system.
template<class T>
struct MidiSystemObject;
template<>
struct MidiSystemObject<RtMidiIn>
{
    using Type = Platform::SystemMidiInput;
};
template<>
struct MidiSystemObject<RtMidiOut>
{
    using Type = Platform::SystemMidiOutput;
};

// The base of every user of a MIDI port (T is RtMidiIn or RtMidiOut). A port is named by the
// name a user sees, and every user that opens one name in one direction shares one library
// object, held in a shared port record that lives as long as someone holds it. The two
// directions have separate tables, so an input and an output on one name share nothing.
//
// The class also owns the program's virtual ports, which stay open from
// macOpenVirtualPorts() to macCloseVirtualPorts() whether or not anyone uses them. A virtual
// input the MIDI system cannot carry (there is none) is kept inside the program: outputs opened
// on its name hand their messages straight to its inputs, so that instruments still reach the
// built-in synthesizer.
template<class T>
class MidiIO
{
public:
    // The shared port record.
    class SharedMidi
    {
    public:
        SharedMidi() = default;
        ~SharedMidi();
        SharedMidi(const SharedMidi&) = delete;
        SharedMidi& operator=(const SharedMidi&) = delete;

        // Held by whoever drives the system object: sending, setting the input callback and
        // flags, replacing the object, and the destructor.
        QMutex mutex;
        // Owned; set once the port is open. Null in an input kept inside the program, and in
        // any record while the JACK server it was on is away: an output then sends nowhere,
        // and the port is made again, under the same name, once a server runs.
        typename MidiSystemObject<T>::Type* midi = nullptr;
        // The name users opened it under, and whether it is one of the program's virtual
        // ports; set before anyone else can see the record.
        QString name;
        bool isVirtual = false;

        // Set while the record has lost its port, with a JACK server or because the port it
        // connected to went, and waits for a port of its name to be there again (under `mutex`).
        bool waiting = false;

        // Whether `midi` is set, and whether the record waits for its port, under `mutex`.
        bool hasSystemPort();
        bool waitsForPort();
        // Guards `users`; taken inside a user's port mutex and inside `mutex`, never around
        // either.
        QMutex usersMutex;
        QSet<MidiIO<T>*> users;
        // Input ports only: brings the library's input to the port's callback.
        std::unique_ptr<Platform::MidiInputRelay> relay;
    };

    MidiIO() = default;
    // Does not close the port: every derived class closes it in its own destructor. A derived
    // class that awaits a port calls stopAwaiting() first in its own.
    virtual ~MidiIO();
    MidiIO(const MidiIO&) = delete;
    MidiIO& operator=(const MidiIO&) = delete;

    // True when the object is now open on `name`; false when it was open already, when no port
    // has that name or when the library fails.
    virtual bool openPort(const QString& name);
    // True when a port was open and has been released.
    virtual bool closePort();
    // Bit n stands for MIDI channel n + 1.
    virtual void setChannels(const QBitArray& channels);

    QString port() const;
    // Has awaitedPortPresent() told once, at a change of the system's ports, when a port called
    // `name` is among them; replaces what the object awaited before.
    void awaitPort(const QString& name);
    void stopAwaiting();
    QBitArray channels() const;
    // The record the object has open, or null. Work on this copy: a concurrent closePort cannot
    // destroy the record under it.
    QSharedPointer<SharedMidi> sharedMidi() const;

    // The program's virtual ports of this direction.
    static QSet<QString> macVirtualPorts();
    static bool macOpenVirtualPorts();
    static bool macCloseVirtualPorts();
    // Checks, in a debug build, that the table of virtual ports holds no half-made record.
    static void macAssertVirtualPorts();

    // The names of all ports of this direction, the program's virtual ports always among them
    // (and among the outputs, the virtual inputs kept inside the program).
    // When the MIDI system fails to list its ports, `ok` (if given) is set false and only the
    // virtual ports are returned.
    static QSet<QString> ports(bool* ok = nullptr);
    // The system's index of the port called `name`; the lowest wins when several share it.
    static bool findPortNumber(const QString& name, uint* number);

    // What the MIDI layer does itself as the JACK server goes and comes back. Lets go of every
    // record's JACK object, which the records no longer use; the closer given back deletes
    // them.
    static std::function<void()> letGoOfJack();
    // Makes the program's virtual ports that have no system port again on the system in use.
    static void reopenVirtualPorts();
    // Follows a change of the system's ports, listing them once: a record whose port has gone
    // lets go of its system object and waits (its users are told, see targetPortLost()), a
    // record that waits is connected again to the port of its name once that is there, and the
    // users that await a port that is there now are told.
    static void portsChanged();

protected:
    static constexpr bool isInput = std::is_same_v<T, RtMidiIn>;

    // The record's system object went with the JACK server it was on, or with the port it
    // connected to: nothing sent before sounds any more. Called under the record's mutex and
    // its users' mutex.
    virtual void systemPortLost() { }
    // The port the record connected to has gone (its program quit, its device was unplugged):
    // the record waits for a port of its name, and what is sent meanwhile goes nowhere. Called
    // after systemPortLost(), on the thread that follows the system's ports, under the same
    // locks: queue any work.
    virtual void targetPortLost() { }
    // A port called as awaitPort() asked is there. Called on the thread that follows the
    // system's ports, under the lock of the awaiting users: queue any work.
    virtual void awaitedPortPresent() { }

    mutable QMutex m_mutex; // the port mutex; guards the three fields below
    QSharedPointer<SharedMidi> m_sharedMidi;
    QString m_port;
    QBitArray m_channels;

private:
    // A new, open record on the system port a user knows as `name`, or on the virtual port of
    // that name; null (the library's message printed) on failure.
    static QSharedPointer<SharedMidi> createRecord(const QString& name, bool isVirtual);
    // A new system object open on the record's port; null (the library's message printed) on
    // failure. An input's relay serves it from before it opens.
    static typename MidiSystemObject<T>::Type* openSystemPort(SharedMidi& record);
    // Closes and deletes a system object no record uses any more.
    static void disposeMidi(typename MidiSystemObject<T>::Type* midi);
    // Every record alive now.
    static QList<QSharedPointer<SharedMidi>> liveRecords();
    // The parts of portsChanged(), given the records that lead to other programs' ports
    // (taken before the ports were listed) and the names listed.
    static std::vector<typename MidiSystemObject<T>::Type*>
    letGoOfLostTargets(const QList<QSharedPointer<SharedMidi>>& records,
                       const QSet<QString>& present);
    static void reopenConnections(const QList<QSharedPointer<SharedMidi>>& records,
                                  const QSet<QString>& present);
    static void tellAwaiting(const QSet<QString>& present);
};

extern template class MidiIO<RtMidiIn>;
extern template class MidiIO<RtMidiOut>;

#endif // MIDIIO_H
