#ifndef INSTRUMENTSMODEL_H
#define INSTRUMENTSMODEL_H

#include "QmdGlobal.h"
#include "QmdIdListModel.h"

class QmdKelvoController;

// The document's instruments as a flat list: one row per instrument showing its "Label" and a
// swatch of its "Color", with the instrument id as the row's internal id and under
// Qt::UserRole. Rows follow the controller's instrument signals; labels and colours are read
// from the document whenever a view asks. GUI thread only.
class InstrumentsModel : public QmdIdListModel
{
    Q_OBJECT

public:
    explicit InstrumentsModel(QObject* parent = nullptr);

    void setController(QmdKelvoController* controller) override;

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

public slots:
    void resetSlot();
    void onModelAboutToBeReset();
    void onInstrumentsAdded(const QmdItemIdList& idList);
    void onInstrumentsRemoved(const QmdItemIdList& idList);
    void onInstrumentDataEffected(QmdItemId id, const QStringList& keys);
};

#endif // INSTRUMENTSMODEL_H
