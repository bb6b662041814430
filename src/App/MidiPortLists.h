#ifndef MIDIPORTLISTS_H
#define MIDIPORTLISTS_H

#include <QFlags>
#include <QSet>
#include <QString>
#include <QStringList>

// The MIDI ports present as the last poll saw them, for each direction as a set of names and as
// the same names in natural order (nSmartStringLessThan).
class MidiPortLists
{
public:
    enum Change { InputsChanged = 1, OutputsChanged = 2 };
    Q_DECLARE_FLAGS(Changes, Change)

    // Asks the MIDI system for the names of its ports of both directions, the program's own
    // among them, and keeps them; says which directions changed.
    Changes poll();
    // Keeps the names given; a direction whose listing failed (`ok` false) keeps its old names
    // and adds those given, the program's own ports, which need no MIDI system.
    Changes update(const QSet<QString>& inputs, bool inputsOk, const QSet<QString>& outputs,
                   bool outputsOk);

    const QSet<QString>& inputSet() const { return m_inputSet; }
    const QSet<QString>& outputSet() const { return m_outputSet; }
    const QStringList& inputs() const { return m_inputs; }
    const QStringList& outputs() const { return m_outputs; }

private:
    QSet<QString> m_inputSet;
    QSet<QString> m_outputSet;
    QStringList m_inputs;
    QStringList m_outputs;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(MidiPortLists::Changes)

#endif // MIDIPORTLISTS_H
