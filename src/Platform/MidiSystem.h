#ifndef PLATFORM_MIDISYSTEM_H
#define PLATFORM_MIDISYSTEM_H

#include <QString>
#include <QStringList>

#include <RtMidi.h>

#include <string>

namespace Platform {

// The MIDI system below the program's ports: which one is used, how its library objects are
// created, and how the system's port names become the names a user sees and a document stores.
//
// Kelvo uses the ALSA sequencer when the machine has one, else a running JACK server. The
// environment variable KELVO_MIDI_API ("alsa" or "jack") overrides the choice. With neither,
// every creation fails with an RtMidiError and the port lists are empty.
//
// Port names must be stable across sessions, so ALSA's trailing client and port numbers
// (" 128:0") are dropped. The program's own ports are recognised by the system identity of the
// library object that made them (ALSA client number, JACK client name), never by their text:
// its virtual ports are listed under their bare names ("Kelvo Input") whatever client name or
// number the system gave them, and the ports it makes to connect to other programs' ports are
// not listed at all.
class MidiSystem
{
public:
    enum Api { NoApi, Alsa, Jack };

    // The MIDI system in use now; NoApi when none is available.
    static Api api();
    // Whether a JACK server runs now (never starting one).
    static bool jackServerRunning();
    static QString apiName(Api api);

    // A new library object with the client name "Kelvo" on the system in use. Throws
    // RtMidiError when no MIDI system is available.
    static RtMidiIn* createInput();
    static RtMidiOut* createOutput();

    // Opens a virtual port called `name` on `midi` (made by createInput or createOutput) and
    // records it as the program's own. Throws RtMidiError on failure.
    static void openVirtualPort(RtMidi* midi, bool input, const QString& name);
    // Opens `midi`'s connection to the system port with index `number`; the port this makes on
    // the program's side is recorded as the program's own. Throws RtMidiError on failure.
    static void openPort(RtMidi* midi, bool input, unsigned int number);
    // Forgets what was recorded for `midi`; called before the object is deleted.
    static void forget(RtMidi* midi);

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
