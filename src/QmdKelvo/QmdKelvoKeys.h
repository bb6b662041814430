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

} // namespace QmdKelvoKeys

#endif // QMDKELVOKEYS_H
