#ifndef PLATFORM_MIDISYSTEM_H
#define PLATFORM_MIDISYSTEM_H

#include <QString>
#include <QStringList>

#include "JackListener.h"

#include <RtMidi.h>

#include <string>

namespace Platform {

class SystemMidiInput;
class SystemMidiOutput;

// The MIDI system below the program's ports: which one is used, how its library objects are
// created, and how the system's port names become the names a user sees and a document stores.
//
// Kelvo uses the ALSA sequencer when the machine has one, else JACK. The environment variable
// KELVO_MIDI_API ("alsa" or "jack") overrides the choice. The choice is made once, at the first
// question, and holds until shutDown(). While no MIDI system is available (no ALSA sequencer
// under "alsa", no JACK server running), every creation fails with an RtMidiError and the port
// lists are empty.
//
// On either system all of the program's ports belong to one client called exactly "Kelvo",
// opened with the choice: on JACK a JackClient, on ALSA an AlsaClient; its virtual ports under
// their own names, and the ports that connect to other programs' ports named for where they
// lead ("to Synth:midi_in", "from Keyboard:out"). The port lists are read through that client;
// no other client is opened for them. A JackSession keeps the JACK client while the server
// comes and goes: when the server goes, the listeners let go of their ports and the client
// closes; when a server runs again under the same name, the client opens there and the
// listeners make their ports again. The listeners also hear when other programs' ports come or
// go, on JACK and on ALSA alike (JackListener::jackPortsChanged).
//
// Port names must be stable across sessions, so ALSA's trailing client and port numbers
// (" 128:0") are dropped. The program's own ports are recognised by the system identity of the
// client that holds them (ALSA client number, JACK client name), never by their text: its
// virtual ports are listed under their bare names ("Kelvo Input"), and the ports it makes to
// connect to other programs' ports are not listed at all.
class MidiSystem
{
public:
    enum Api { NoApi, Alsa, Jack };

    // The MIDI system in use; NoApi when none is available (on JACK, while no server runs).
    // Decided at the first call (which on JACK opens the program's client, waiting a few seconds
    // at most for the server).
    static Api api();
    // Why the MIDI system could not be used, in words for the user (the JACK client name is
    // taken by another program, the server does not answer); empty when there is nothing to say.
    static QString problem();
    // Forgets the choice, so that the next question decides again; the JACK client closes once
    // no port holds it any more. Called at the end of the program, after every port has gone.
    static void shutDown();
    // Whether the MIDI system is JACK and the program has no client on a server now: the server
    // has gone (shut down, thrown the client out or stopped answering) or has not yet run.
    static bool jackServerGone();
    // How many times a JACK server has gone under the program.
    static quint64 jackServerLosses();
    // Whether no JACK client of the program's (its own, the synthesizer's) is allocated in the
    // JACK library: after a server has gone, another client of the process may be opened only
    // then, since the library frees every client of a process that opens one after its server
    // died.
    static bool jackClientsClosed();
    // Listeners follow the JACK server (see JackListener); removing one waits while it is told.
    static void addJackListener(JackListener* listener);
    static void removeJackListener(JackListener* listener);
    static QString apiName(Api api);

    // A new object on the system in use, a port of the program's client: on JACK JackMidiInput
    // or JackMidiOutput (which places each message at its frame), on ALSA AlsaMidiInput or
    // AlsaMidiOutput; KELVO_JACK_OUTPUT=rtmidi asks for the MIDI library's output on JACK
    // instead. Throws RtMidiError when no MIDI system is available.
    static SystemMidiInput* createInput();
    static SystemMidiOutput* createOutput();

    // Opens a virtual port called `name` on `midi` (made by createInput or createOutput) and
    // records it as the program's own. Throws RtMidiError on failure.
    static void openVirtualPort(SystemMidiInput* midi, const QString& name);
    static void openVirtualPort(SystemMidiOutput* midi, const QString& name);
    // Opens `midi`'s connection to the system port whose user-visible name is `target`, looked
    // up by that name; the port this makes on the program's side is recorded as the program's
    // own. Throws RtMidiError on failure, also when no port has that name.
    static void openPort(SystemMidiInput* midi, const QString& target);
    static void openPort(SystemMidiOutput* midi, const QString& target);
    // Forgets what was recorded for `midi`; called before the object is deleted.
    static void forget(const void* midi);

    // The user-visible names of the system's ports of one direction (`input` true: the ports
    // the program can receive from), one per system index; ports of the program's own that are
    // not to be listed have a null name. Empty when no MIDI system is available. Throws
    // RtMidiError when the library fails.
    static QStringList portNames(bool input);
    // How many times portNames has been called in this process, so that a caller can check
    // that a path lists no ports.
    static quint64 portListings();

    // Name translation, kept apart so that it can be checked without a MIDI system.
    // The name a user sees for a port that is not the program's own.
    static QString displayName(Api api, const std::string& systemName);
    // What identifies the library client that owns a port: the ALSA client number or the JACK
    // client name; empty when the name has no such part.
    static QString clientKey(Api api, const std::string& systemName);
};

} // namespace Platform

#endif // PLATFORM_MIDISYSTEM_H
