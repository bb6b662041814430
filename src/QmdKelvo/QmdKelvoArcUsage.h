#ifndef QMDKELVOARCUSAGE_H
#define QMDKELVOARCUSAGE_H

#include <QString>

// Entries of a node's "ArcUsageList": an edge id, "=" and a use count, as in "12=3".
namespace QmdKelvo {

// The edge id before the first "=" (the whole entry when it has none); 0 when it is not an
// unsigned decimal number.
uint arcUsageEdgeId(const QString& entry);
// The count between the first "=" and the next one; 0 when missing or not a decimal number.
int arcUsageCount(const QString& entry);

} // namespace QmdKelvo

#endif // QMDKELVOARCUSAGE_H
