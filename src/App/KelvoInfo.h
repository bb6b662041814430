#ifndef KELVOINFO_H
#define KELVOINFO_H

#include <QString>
#include <QUrl>

// The program's version and the names of its documents.
namespace Kelvo {

// The extension of a document file.
inline const QString DocumentSuffix = QStringLiteral("kvd");

// The file filter of the Open and Save As dialogs: "Kelvo Network (*.kvd)".
QString fileFilter();
// The program's version as four numbers, "major.minor.patch.build".
QString shortVersionString();
// The program, its version, its system and the build's processor architecture, as in
// "Kelvo/2.1.0.5 (Linux; x86_64)": the update check's user agent.
QString longVersionString();
// A "mailto:" address to `address` whose subject is the long version string followed by
// " Support"; empty when `address` is.
QUrl kelvoSupportUrl(const QString& address);

} // namespace Kelvo

#endif // KELVOINFO_H
