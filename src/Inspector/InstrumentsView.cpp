#include "InstrumentsView.h"

#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"

#include <QKeyEvent>

InstrumentsView::InstrumentsView(QWidget* parent)
    : QListView(parent)
{ }

InstrumentsView::~InstrumentsView() = default;

void InstrumentsView::keyPressEvent(QKeyEvent* event)
{
    QAbstractItemView::keyPressEvent(event);
    if (!controller || !model() || !selectionModel())
        return;
    if (event->key() != Qt::Key_Backspace && event->key() != Qt::Key_Delete)
        return;

    QmdItemIdList ids;
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    for (const QModelIndex& index : selected) {
        if (!index.isValid())
            continue;
        const QmdItemId id = model()->data(index, Qt::UserRole).toUInt();
        if (!ids.contains(id))
            ids.append(id);
    }
    // Nothing selected asks for nothing: an empty removal would still be an undo step.
    if (ids.isEmpty())
        return;
    controller->requestRemove(ids, controller->index(QmdKelvoKeys::Instruments, QmdIndex()),
                              QmdRequestOptions(tr("Remove")));
}
