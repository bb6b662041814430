#include "DocumentTool.h"

#include "QmdController.h"
#include "QmdKelvoKeys.h"

namespace DocumentTool {

QmdIndex parentIndex(const QmdController* controller)
{
    if (!controller)
        return QmdIndex();
    return controller->index(QmdKelvoKeys::Temp, QmdIndex());
}

int current(const QmdController* controller)
{
    if (!controller)
        return 0;
    return controller->data(QmdKelvoKeys::Tool, parentIndex(controller)).toInt();
}

QmdRequestId requestSet(QmdController* controller, int tool)
{
    if (!controller)
        return 0;
    return controller->requestSetData(QmdKelvoKeys::Tool, tool, parentIndex(controller),
                                      QmdRequestOptions(Qmd::NotUndoable, QString()));
}

} // namespace DocumentTool
