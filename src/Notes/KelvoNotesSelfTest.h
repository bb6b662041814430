#ifndef KELVONOTESSELFTEST_H
#define KELVONOTESSELFTEST_H

#include <QString>

namespace KelvoNotes {

// A developer's check of the notes parser: prints the text, the expected result, the tree of a
// valid text and the result on the debug stream. When the result differs from
// `expectedResult` it prints "ERROR: unexpected result, aborting..." and ends the process with
// exit status 1; otherwise it returns the result.
bool unitTestNotes(const QString& str, bool expectedResult);

} // namespace KelvoNotes

#endif // KELVONOTESSELFTEST_H
