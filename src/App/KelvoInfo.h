#ifndef KELVOINFO_H
#define KELVOINFO_H

#include <QString>

// The program's version and the names of its documents.
namespace Kelvo {

// The extension of a document file.
inline const QString DocumentSuffix = QStringLiteral("kvd");

// The file filter of the Open and Save As dialogs: "Kelvo Network ( *.kvd)".
QString fileFilter();
// The program's version as four numbers, "major.minor.patch.build".
QString shortVersionString();

} // namespace Kelvo

#endif // KELVOINFO_H
