#include "InstrumentsModel.h"

#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"

#include <QColor>
#include <QPainter>
#include <QPixmap>

InstrumentsModel::InstrumentsModel(QObject* parent)
    : QmdIdListModel(parent)
{
    connect(this, &QAbstractItemModel::modelAboutToBeReset, this,
            &InstrumentsModel::onModelAboutToBeReset);
}

void InstrumentsModel::setController(QmdKelvoController* newController)
{
    if (controller)
        disconnect(controller, nullptr, this, nullptr);
    QmdObserver<QmdKelvoController>::setController(newController);
    if (controller) {
        connect(controller, &QmdKelvoController::instrumentsAdded, this,
                &InstrumentsModel::onInstrumentsAdded);
        connect(controller, &QmdKelvoController::instrumentsRemoved, this,
                &InstrumentsModel::onInstrumentsRemoved);
        connect(controller, &QmdKelvoController::instrumentDataEffected, this,
                &InstrumentsModel::onInstrumentDataEffected);
        connect(controller, &QmdController::modelReset, this, &InstrumentsModel::resetSlot);
    }
    resetSlot();
}

QVariant InstrumentsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !controller)
        return QVariant();
    const QmdItemId id = QmdItemId(index.internalId());
    switch (role) {
    case Qt::DisplayRole:
        return controller->data(QmdKelvoKeys::Label, controller->instrumentIndex(id));
    case Qt::DecorationRole: {
        const QVariant value
            = controller->data(QmdKelvoKeys::Color, controller->instrumentIndex(id));
        const QColor color = value.canConvert<QColor>() ? value.value<QColor>() : QColor();
        const qreal alpha = color.alphaF();
        QPixmap swatch(10, 10);
        swatch.fill(Qt::white);
        QPainter painter(&swatch);
        QColor outline = color;
        outline.setAlphaF(1.0);
        QColor fill = color;
        fill.setAlphaF(alpha * 0.6);
        painter.setPen(outline);
        painter.setBrush(QBrush(fill, Qt::SolidPattern));
        painter.drawRect(QRect(QPoint(0, 0), QPoint(8, 8)));
        painter.end();
        return swatch;
    }
    case Qt::UserRole:
        return uint(id);
    default:
        return QVariant();
    }
}

void InstrumentsModel::resetSlot()
{
    beginResetModel();
    endResetModel();
}

void InstrumentsModel::onModelAboutToBeReset()
{
    onInstrumentsRemoved(ids);
    if (controller)
        onInstrumentsAdded(controller->instruments());
}

void InstrumentsModel::onInstrumentsAdded(const QmdItemIdList& idList)
{
    if (idList.isEmpty())
        return;
    const int first = int(ids.size());
    beginInsertRows(QModelIndex(), first, first + int(idList.size()) - 1);
    ids.append(idList);
    endInsertRows();
}

void InstrumentsModel::onInstrumentsRemoved(const QmdItemIdList& idList)
{
    const QmdItemIdList toRemove = idList; // may be `ids` itself
    for (QmdItemId id : toRemove) {
        const int row = int(ids.indexOf(id));
        if (row < 0)
            continue;
        beginRemoveRows(QModelIndex(), row, row);
        ids.removeAt(row);
        endRemoveRows();
    }
}

void InstrumentsModel::onInstrumentDataEffected(QmdItemId id, const QStringList& keys)
{
    if (!keys.contains(QmdKelvoKeys::Label) && !keys.contains(QmdKelvoKeys::Color))
        return;
    const int row = int(ids.indexOf(id));
    if (row < 0)
        return;
    const QModelIndex changed = index(row, 0);
    emit dataChanged(changed, changed);
}
