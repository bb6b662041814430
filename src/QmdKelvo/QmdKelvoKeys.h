#ifndef QMDKELVOKEYS_H
#define QMDKELVOKEYS_H

#include <QString>

// The property keys of a network document. Keys are compared exactly.
namespace QmdKelvoKeys {

inline const QString Elements = QStringLiteral("Elements");
inline const QString Type = QStringLiteral("Type");
inline const QString Notes = QStringLiteral("Notes");
inline const QString SignallingMethod = QStringLiteral("SignallingMethod");

// The run-time part of the document, never saved.
inline const QString Temp = QStringLiteral("Temp");
inline const QString NodeNotesTrees = QStringLiteral("NodeNotesTrees");

// Notes-tree nodes
inline const QString Children = QStringLiteral("Children");
inline const QString CurrentChildId = QStringLiteral("CurrentChildId");
inline const QString PitchList = QStringLiteral("PitchList");
inline const QString VelocityList = QStringLiteral("VelocityList");
inline const QString DurationList = QStringLiteral("DurationList");
inline const QString CurrentPitchId = QStringLiteral("CurrentPitchId");
inline const QString CurrentVelocityId = QStringLiteral("CurrentVelocityId");
inline const QString CurrentDurationId = QStringLiteral("CurrentDurationId");

// Transport and instruments
inline const QString Tempo = QStringLiteral("Tempo");
inline const QString PrincipalsToBeatsNumerator = QStringLiteral("PrincipalsToBeatsNumerator");
inline const QString PrincipalsToBeatsDenominator = QStringLiteral("PrincipalsToBeatsDenominator");
inline const QString SyncType = QStringLiteral("SyncType");
inline const QString SyncMidiInputs = QStringLiteral("SyncMidiInputs");
inline const QString SyncMidiOutputs = QStringLiteral("SyncMidiOutputs");
inline const QString MidiSync = QStringLiteral("MidiSync");
inline const QString Instruments = QStringLiteral("Instruments");
inline const QString Label = QStringLiteral("Label");
inline const QString Color = QStringLiteral("Color");
inline const QString MidiPort = QStringLiteral("MidiPort");
inline const QString MidiChannels = QStringLiteral("MidiChannels");
inline const QString MidiProgram = QStringLiteral("MidiProgram");
inline const QString MidiBankMSB = QStringLiteral("MidiBankMSB");
inline const QString MidiBankLSB = QStringLiteral("MidiBankLSB");
inline const QString MidiDoProgramChange = QStringLiteral("MidiDoProgramChange");

} // namespace QmdKelvoKeys

#endif // QMDKELVOKEYS_H
