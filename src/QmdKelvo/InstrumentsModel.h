#ifndef INSTRUMENTSMODEL_H
#define INSTRUMENTSMODEL_H

#include "QmdGlobal.h"
#include "QmdObserver.h"

#include <QAbstractItemModel>

class QmdKelvoController;

// The document's instruments as a flat list: one row per instrument showing its "Label" and a
// swatch of its "Color", with the instrument id as the row's internal id and under
// Qt::UserRole. Rows follow the controller's instrument signals; labels and colours are read
// from the document whenever a view asks. GUI thread only.
class InstrumentsModel : public QAbstractItemModel, public QmdObserver<QmdKelvoController>
{
    Q_OBJECT

public:
    explicit InstrumentsModel(QObject* parent = nullptr);

    void setController(QmdKelvoController* controller) override;

    QModelIndex index(int row, int column,
                      const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

public slots:
    void resetSlot();
    void onModelAboutToBeReset();
    void onInstrumentsAdded(const QmdItemIdList& idList);
    void onInstrumentsRemoved(const QmdItemIdList& idList);
    void onInstrumentDataEffected(QmdItemId id, const QStringList& keys);

private:
    QList<QmdItemId> ids;
};

#endif // INSTRUMENTSMODEL_H
