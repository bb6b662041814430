#include "QmdIdListModel.h"

#include "QmdKelvoController.h"

QModelIndex QmdIdListModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!controller || row < 0 || row >= rowCount(parent) || column < 0
        || column >= columnCount(parent))
        return QModelIndex();
    return createIndex(row, column, quintptr(ids.at(row)));
}

QModelIndex QmdIdListModel::parent(const QModelIndex&) const
{
    return QModelIndex();
}

int QmdIdListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(ids.size());
}

int QmdIdListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 1;
}
