#ifndef QMDIDLISTMODEL_H
#define QMDIDLISTMODEL_H

#include "QmdGlobal.h"
#include "QmdObserver.h"

#include <QAbstractItemModel>

class QmdKelvoController;

// The base of the flat list models over items of a network document: one row of one column per
// item id in `ids`, with the id as the row's internal id. Without a controller there are no
// indexes. Subclasses keep `ids` in step with the document and provide the data.
class QmdIdListModel : public QAbstractItemModel, public QmdObserver<QmdKelvoController>
{
    Q_OBJECT

public:
    using QAbstractItemModel::QAbstractItemModel;

    QModelIndex index(int row, int column,
                      const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;

protected:
    QList<QmdItemId> ids;
};

#endif // QMDIDLISTMODEL_H
