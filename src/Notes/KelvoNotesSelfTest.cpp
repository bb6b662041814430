#include "KelvoNotesSelfTest.h"

#include "KelvoNotesTree.h"

#include <QtDebug>

#include <cstdlib>

namespace KelvoNotes {

bool unitTestNotes(const QString& str, bool expectedResult)
{
    qDebug("Testing: \"%s\", expecting success = %s", str.toLocal8Bit().constData(),
           expectedResult ? "true" : "false");
    const bool result
        = parseNotes(str, [](bool ok, ANTLR3_BASE_TREE_ADAPTOR*, ANTLR3_BASE_TREE* tree) {
              if (ok)
                  qDebug("  - tree: \"%s\"", notesTreeString(tree).toLocal8Bit().constData());
          });
    qDebug("  - result = %s", result ? "true" : "false");
    if (result != expectedResult) {
        qDebug("ERROR: unexpected result, aborting...");
        std::exit(1);
    }
    return result;
}

} // namespace KelvoNotes
