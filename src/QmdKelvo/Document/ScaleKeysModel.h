#ifndef SCALEKEYSMODEL_H
#define SCALEKEYSMODEL_H

#include <QAbstractItemModel>

// The twelve keys of a scale, A to G#/Ab, for the key choosers. Each row carries its pitch
// class (C = 0) as its user-role value.
class ScaleKeysModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    explicit ScaleKeysModel(QObject* parent = nullptr);

    QModelIndex index(int row, int column,
                      const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // The key names shown, with sharp and flat signs.
    static const QStringList& keyNames();
};

#endif // SCALEKEYSMODEL_H
