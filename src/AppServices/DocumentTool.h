#ifndef DOCUMENTTOOL_H
#define DOCUMENTTOOL_H

#include "QmdGlobal.h"
#include "QmdIndex.h"

class QmdController;

// The current editing tool of a document: the run-time key "Tool" in the document's "Temp"
// container (the values of NetworkView::Tool: 0 Selection, 1 Zoom, 2 Node & Edge, 3 Voice
// Group, 4 Text Box). Every reset of the document makes "Temp" anew, so its index is looked
// up at each call and never kept.
namespace DocumentTool {

// The container that holds "Tool" now; not valid without a controller.
QmdIndex parentIndex(const QmdController* controller);
// The stored tool as an int; 0 without a controller or a value.
int current(const QmdController* controller);
// Writes the tool in a request that leaves no undo step and has no intent; 0 without a
// controller.
QmdRequestId requestSet(QmdController* controller, int tool);

} // namespace DocumentTool

#endif // DOCUMENTTOOL_H
