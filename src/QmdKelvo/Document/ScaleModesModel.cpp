#include "ScaleModesModel.h"

#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"

#include <algorithm>

ScaleModeIdDisplayOrderLessThan::ScaleModeIdDisplayOrderLessThan(
    const QmdKelvoController* controller)
    : controller(controller)
{ }

int ScaleModeIdDisplayOrderLessThan::displayOrder(QmdItemId id) const
{
    const QmdIndex mode = controller ? controller->scaleModeIndex(id) : QmdIndex();
    if (!mode.isValid())
        return 0;
    return controller->data(QmdKelvoKeys::DisplayOrder, mode).toInt();
}

bool ScaleModeIdDisplayOrderLessThan::operator()(QmdItemId a, QmdItemId b) const
{
    return displayOrder(a) < displayOrder(b);
}

ScaleModesModel::ScaleModesModel(QObject* parent)
    : QmdIdListModel(parent)
{
    connect(this, &QAbstractItemModel::modelAboutToBeReset, this,
            &ScaleModesModel::onModelAboutToBeReset);
}

void ScaleModesModel::setController(QmdKelvoController* newController)
{
    if (controller)
        disconnect(controller, nullptr, this, nullptr);
    QmdObserver<QmdKelvoController>::setController(newController);
    if (newController) {
        connect(newController, &QmdKelvoController::scaleModesAdded, this,
                &ScaleModesModel::onScaleModesAdded);
        connect(newController, &QmdKelvoController::scaleModesRemoved, this,
                &ScaleModesModel::onScaleModesRemoved);
        connect(newController, &QmdKelvoController::scaleModeDataEffected, this,
                &ScaleModesModel::onScaleModeDataEffected);
        connect(newController, &QmdController::modelReset, this, &ScaleModesModel::resetSlot);
    }
    resetSlot();
}

QVariant ScaleModesModel::data(const QModelIndex& index, int role) const
{
    if (!controller || !index.isValid() || index.model() != this)
        return QVariant();
    const QmdItemId id = QmdItemId(index.internalId());
    if (role == Qt::UserRole)
        return id;
    if (role != Qt::DisplayRole)
        return QVariant();
    // A mode that is gone reads as an empty label that is not built in.
    const QmdIndex mode = controller->scaleModeIndex(id);
    QString label;
    bool builtIn = false;
    if (mode.isValid()) {
        label = controller->data(QmdKelvoKeys::Label, mode).toString();
        builtIn = controller->data(QmdKelvoKeys::IsBuiltIn, mode).toBool();
    }
    return builtIn ? label : label + QLatin1Char('*');
}

void ScaleModesModel::resetSlot()
{
    beginResetModel();
    endResetModel();
}

void ScaleModesModel::onModelAboutToBeReset()
{
    // Inside a reset of this model: the rows change without signals of their own.
    ids.clear();
    if (controller) {
        ids = controller->scaleModes();
        sortIds();
    }
}

void ScaleModesModel::onScaleModesAdded(const QmdItemIdList& idList)
{
    if (idList.isEmpty())
        return;
    const int count = int(ids.size());
    beginInsertRows(QModelIndex(), count, count + int(idList.size()) - 1);
    ids.append(idList);
    endInsertRows();
    sortIds();
    emit dataChanged(index(0, 0), index(int(ids.size()) - 1, 0));
}

void ScaleModesModel::onScaleModesRemoved(const QmdItemIdList& idList)
{
    for (QmdItemId id : idList) {
        const int row = int(ids.indexOf(id));
        if (row < 0)
            continue;
        beginRemoveRows(QModelIndex(), row, row);
        ids.removeAt(row);
        endRemoveRows();
    }
}

void ScaleModesModel::onScaleModeDataEffected(QmdItemId id, const QStringList& keys)
{
    if (!keys.contains(QmdKelvoKeys::Label))
        return;
    const int row = int(ids.indexOf(id));
    if (row >= 0)
        emit dataChanged(index(row, 0), index(row, 0));
}

void ScaleModesModel::sortIds()
{
    std::stable_sort(ids.begin(), ids.end(), ScaleModeIdDisplayOrderLessThan(controller.data()));
}
