#ifndef SCALEMODESMODEL_H
#define SCALEMODESMODEL_H

#include "QmdGlobal.h"
#include "QmdIdListModel.h"

class QmdKelvoController;

// The scale modes of a document for the scale-mode choosers, ordered by "DisplayOrder". Each
// row carries its scale-mode id as its user-role value; modes that are not built in show a "*"
// after their label.
class ScaleModesModel : public QmdIdListModel
{
    Q_OBJECT

public:
    explicit ScaleModesModel(QObject* parent = nullptr);

    void setController(QmdKelvoController* controller) override;

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

public slots:
    void resetSlot();
    void onModelAboutToBeReset();
    void onScaleModesAdded(const QmdItemIdList& idList);
    void onScaleModesRemoved(const QmdItemIdList& idList);
    void onScaleModeDataEffected(QmdItemId id, const QStringList& keys);

private:
    void sortIds();
};

// Orders scale-mode ids by their "DisplayOrder" in the controller's document (0 when missing).
class ScaleModeIdDisplayOrderLessThan
{
public:
    explicit ScaleModeIdDisplayOrderLessThan(const QmdKelvoController* controller);
    bool operator()(QmdItemId a, QmdItemId b) const;

private:
    int displayOrder(QmdItemId id) const;

    const QmdKelvoController* controller;
};

#endif // SCALEMODESMODEL_H
