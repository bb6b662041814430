#ifndef QMDKELVOKEYS_H
#define QMDKELVOKEYS_H

#include "MidiPortNames.h"

#include <QObject>
#include <QString>

// The property keys of a network document and the other constants that every part of the
// program shares. Keys are compared exactly (case-sensitive).
namespace QmdKelvoKeys {

// Keys of the document model framework
inline const QString Attributes = QStringLiteral("Attributes");
inline const QString Author = QStringLiteral("Author");
inline const QString Comment = QStringLiteral("Comment");
inline const QString Company = QStringLiteral("Company");
inline const QString Copyright = QStringLiteral("Copyright");
inline const QString Elements = QStringLiteral("Elements");
inline const QString IsHidden = QStringLiteral("IsHidden");
inline const QString Keywords = QStringLiteral("Keywords");
inline const QString Label = QStringLiteral("Label");
inline const QString Name = QStringLiteral("Name");
inline const QString Properties = QStringLiteral("Properties");
inline const QString Subject = QStringLiteral("Subject");
inline const QString Text = QStringLiteral("Text");
inline const QString Title = QStringLiteral("Title");
inline const QString Type = QStringLiteral("Type");

// Document settings and containers at the root
inline const QString DivsPerPrincipal = QStringLiteral("DivsPerPrincipal");
inline const QString Instruments = QStringLiteral("Instruments");
inline const QString MidiTriggeringEnabled = QStringLiteral("MidiTriggeringEnabled");
inline const QString PlaybackPosDisplayMode = QStringLiteral("PlaybackPosDisplayMode");
inline const QString PrincipalsToBeatsDenominator = QStringLiteral("PrincipalsToBeatsDenominator");
inline const QString PrincipalsToBeatsNumerator = QStringLiteral("PrincipalsToBeatsNumerator");
inline const QString ScaleModes = QStringLiteral("ScaleModes");
inline const QString ShowGrid = QStringLiteral("ShowGrid");
inline const QString SnapToGrid = QStringLiteral("SnapToGrid");
inline const QString ShowNodeCounters = QStringLiteral("ShowNodeCounters");
inline const QString ShowNodeLastNotesSent = QStringLiteral("ShowNodeLastNotesSent");
inline const QString ShowEdgeSignalling = QStringLiteral("ShowEdgeSignalling");
inline const QString StyleBackgroundColor = QStringLiteral("StyleBackgroundColor");
inline const QString StylePrincipalLinesColor = QStringLiteral("StylePrincipalLinesColor");
inline const QString StylePrincipalPointsColor = QStringLiteral("StylePrincipalPointsColor");
inline const QString StyleDivisionLinesColor = QStringLiteral("StyleDivisionLinesColor");
inline const QString StyleDivisionPointsColor = QStringLiteral("StyleDivisionPointsColor");
inline const QString StyleAnnotationColor = QStringLiteral("StyleAnnotationColor");
inline const QString StyleNodesColor = QStringLiteral("StyleNodesColor");
inline const QString StyleEdgesColor = QStringLiteral("StyleEdgesColor");
inline const QString SyncMidiInputs = QStringLiteral("SyncMidiInputs");
inline const QString SyncMidiOutputs = QStringLiteral("SyncMidiOutputs");
inline const QString SyncType = QStringLiteral("SyncType");
inline const QString Temp = QStringLiteral("Temp");
inline const QString Tempo = QStringLiteral("Tempo");
inline const QString Tool = QStringLiteral("Tool");
inline const QString ZoomScale = QStringLiteral("ZoomScale");

// Edges and their controller curves
inline const QString ContinuousControllers = QStringLiteral("ContinuousControllers");
inline const QString FromNode = QStringLiteral("FromNode");
inline const QString IsWormhole = QStringLiteral("IsWormhole");
inline const QString Path = QStringLiteral("Path");
inline const QString ToNode = QStringLiteral("ToNode");
inline const QString CurveType = QStringLiteral("CurveType");
inline const QString CurvePoints = QStringLiteral("CurvePoints");
inline const QString MsbCode = QStringLiteral("MsbCode");
inline const QString LsbCode = QStringLiteral("LsbCode");
inline const QString CurrentScaleId = QStringLiteral("CurrentScaleId");

// Nodes
inline const QString ArcIdentifiers = QStringLiteral("ArcIdentifiers");
inline const QString ArcUsageList = QStringLiteral("ArcUsageList");
inline const QString DoInstrumentChange = QStringLiteral("DoInstrumentChange");
inline const QString DontPlayNote = QStringLiteral("DontPlayNote");
inline const QString Instrument = QStringLiteral("Instrument");
inline const QString Notes = QStringLiteral("Notes");
inline const QString SignallingMethod = QStringLiteral("SignallingMethod");
inline const QString TickPos = QStringLiteral("TickPos");
inline const QString UserMidiMessageList = QStringLiteral("UserMidiMessageList");

// Voice groups
inline const QString InitialDuration = QStringLiteral("InitialDuration");
inline const QString InitialInstrument = QStringLiteral("InitialInstrument");
inline const QString InitialPitch = QStringLiteral("InitialPitch");
inline const QString InitialVelocity = QStringLiteral("InitialVelocity");
inline const QString TriggeringMidiPitchList = QStringLiteral("TriggeringMidiPitchList");
inline const QString TriggeringMidiVelocityScaling
    = QStringLiteral("TriggeringMidiVelocityScaling");
inline const QString TriggeringQuantization = QStringLiteral("TriggeringQuantization");
inline const QString UseScale = QStringLiteral("UseScale");
inline const QString ScaleKey = QStringLiteral("ScaleKey");
inline const QString ScaleMode = QStringLiteral("ScaleMode");

// Instruments
inline const QString Color = QStringLiteral("Color");
inline const QString MidiBankLSB = QStringLiteral("MidiBankLSB");
inline const QString MidiBankMSB = QStringLiteral("MidiBankMSB");
inline const QString MidiChannels = QStringLiteral("MidiChannels");
inline const QString MidiDoProgramChange = QStringLiteral("MidiDoProgramChange");
inline const QString MidiPort = QStringLiteral("MidiPort");
inline const QString MidiProgram = QStringLiteral("MidiProgram");
inline const QString MidiSync = QStringLiteral("MidiSync");

// Scale modes
inline const QString ChromaticScaleDegreeSet = QStringLiteral("ChromaticScaleDegreeSet");
inline const QString DisplayOrder = QStringLiteral("DisplayOrder");
inline const QString IsBuiltIn = QStringLiteral("IsBuiltIn");

// The run-time part "Temp": element states and notes trees
inline const QString ElementStates = QStringLiteral("ElementStates");
inline const QString NodeNotesTrees = QStringLiteral("NodeNotesTrees");
inline const QString CurrentEdgeUsageId = QStringLiteral("CurrentEdgeUsageId");
inline const QString CurrentEdgeUsageUses = QStringLiteral("CurrentEdgeUsageUses");
inline const QString CurrentUserMidiMessageId = QStringLiteral("CurrentUserMidiMessageId");
inline const QString HitCount = QStringLiteral("HitCount");
inline const QString LastNotesSent = QStringLiteral("LastNotesSent");
inline const QString Children = QStringLiteral("Children");
inline const QString PitchList = QStringLiteral("PitchList");
inline const QString VelocityList = QStringLiteral("VelocityList");
inline const QString DurationList = QStringLiteral("DurationList");
inline const QString CurrentChildId = QStringLiteral("CurrentChildId");
inline const QString CurrentPitchId = QStringLiteral("CurrentPitchId");
inline const QString CurrentVelocityId = QStringLiteral("CurrentVelocityId");
inline const QString CurrentDurationId = QStringLiteral("CurrentDurationId");

// The notes text of a new node, and the initial pitch, velocity and duration of a new voice group.
inline const QString DefaultNotes = QStringLiteral("C3:96:100%");
inline const QString DefaultInitialPitch = QStringLiteral("C3");
inline const QString DefaultInitialVelocity = QStringLiteral("96");
inline const QString DefaultInitialDuration = QStringLiteral("1.0");

// The clipboard type of copied elements.
inline const QString ElementsMimeType = QStringLiteral("text/kelvo-elements");

// Characters of notes texts: group brackets, list and note separators, and the comment prefix.
inline constexpr QChar SequentialOpen = u'(';
inline constexpr QChar SequentialClose = u')';
inline constexpr QChar ParallelOpen = u'[';
inline constexpr QChar ParallelClose = u']';
inline constexpr QChar RandomOpen = u'{';
inline constexpr QChar RandomClose = u'}';
inline constexpr QChar NoteSeparator = u':';
inline constexpr QChar ListSeparator = u',';
inline constexpr QChar Space = u' ';
inline const QString CommentPrefix = QStringLiteral("//");

// The program's virtual MIDI ports and the built-in synthesizer's port, translated.
using MidiPortNames::inputPortName;
using MidiPortNames::outputPortName;
using MidiPortNames::synthesizerPortName;

} // namespace QmdKelvoKeys

#endif // QMDKELVOKEYS_H
