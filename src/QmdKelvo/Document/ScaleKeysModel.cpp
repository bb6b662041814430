#include "ScaleKeysModel.h"

static const int keyCount = 12;
static const int pitchClasses[keyCount] = {9, 10, 11, 0, 1, 2, 3, 4, 5, 6, 7, 8};

ScaleKeysModel::ScaleKeysModel(QObject* parent)
    : QAbstractItemModel(parent)
{
    keyNames();
}

const QStringList& ScaleKeysModel::keyNames()
{
    // Built once, thread-safely; '#' becomes the sharp sign and a lower-case 'b' the flat sign.
    static const QStringList names = [] {
        QStringList list
            = {QStringLiteral("A"),       QStringLiteral("A# / Bb"), QStringLiteral("B"),
               QStringLiteral("C"),       QStringLiteral("C# / Db"), QStringLiteral("D"),
               QStringLiteral("D# / Eb"), QStringLiteral("E"),       QStringLiteral("F"),
               QStringLiteral("F# / Gb"), QStringLiteral("G"),       QStringLiteral("G# / Ab")};
        for (QString& name : list) {
            name.replace(QLatin1Char('#'), QChar(0x266F));
            name.replace(QLatin1Char('b'), QChar(0x266D));
        }
        return list;
    }();
    return names;
}

QModelIndex ScaleKeysModel::index(int row, int column, const QModelIndex&) const
{
    if (row < 0 || row >= keyCount || column != 0)
        return QModelIndex();
    return createIndex(row, column, quintptr(pitchClasses[row]));
}

QModelIndex ScaleKeysModel::parent(const QModelIndex&) const
{
    return QModelIndex();
}

int ScaleKeysModel::rowCount(const QModelIndex&) const
{
    return keyCount;
}

int ScaleKeysModel::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant ScaleKeysModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.model() != this || index.row() < 0 || index.row() >= keyCount)
        return QVariant();
    if (role == Qt::DisplayRole)
        return keyNames().at(index.row());
    if (role == Qt::UserRole)
        return uint(pitchClasses[index.row()]);
    return QVariant();
}
