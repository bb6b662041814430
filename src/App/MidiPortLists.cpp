#include "MidiPortLists.h"

#include "MidiIO.h"
#include "SmartStringLessThan.h"

namespace {

// Keeps `names` in `set` and `list` when they differ from the set; true when they did.
bool keep(const QSet<QString>& names, QSet<QString>& set, QStringList& list)
{
    if (names == set)
        return false;
    set = names;
    list = nSmartSorted(names);
    return true;
}

} // namespace

MidiPortLists::Changes MidiPortLists::poll()
{
    bool inputsOk = false;
    bool outputsOk = false;
    const QSet<QString> inputs = MidiIO<RtMidiIn>::ports(&inputsOk);
    const QSet<QString> outputs = MidiIO<RtMidiOut>::ports(&outputsOk);
    return update(inputs, inputsOk, outputs, outputsOk);
}

MidiPortLists::Changes MidiPortLists::update(const QSet<QString>& inputs, bool inputsOk,
                                             const QSet<QString>& outputs, bool outputsOk)
{
    // A failed listing still gives the program's own ports, which are there whatever the MIDI
    // system does: they join the names kept.
    Changes changes;
    if (keep(inputsOk ? inputs : m_inputSet + inputs, m_inputSet, m_inputs))
        changes |= InputsChanged;
    if (keep(outputsOk ? outputs : m_outputSet + outputs, m_outputSet, m_outputs))
        changes |= OutputsChanged;
    return changes;
}
