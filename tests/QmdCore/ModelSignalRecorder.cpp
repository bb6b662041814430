#include "ModelSignalRecorder.h"

#include <QCoreApplication>

ModelSignalRecorder::ModelSignalRecorder(QmdModel* model)
{
    auto add = [this](const QString& line) { lines.append(line); };
    auto rid = [](QmdRequestId id) { return QStringLiteral(" rid=%1").arg(id); };
    connect(model, &QmdModel::atCleanStateChanged, this,
            [=](bool v, QmdRequestId r) { add(QStringLiteral("clean %1").arg(v) + rid(r)); });
    connect(model, &QmdModel::canRedoChanged, this,
            [=](bool v, QmdRequestId r) { add(QStringLiteral("canRedo %1").arg(v) + rid(r)); });
    connect(model, &QmdModel::canUndoChanged, this,
            [=](bool v, QmdRequestId r) { add(QStringLiteral("canUndo %1").arg(v) + rid(r)); });
    connect(model, &QmdModel::redoTextChanged, this, [=](const QString& v, QmdRequestId r) {
        add(QStringLiteral("redoText '%1'").arg(v) + rid(r));
    });
    connect(model, &QmdModel::undoTextChanged, this, [=](const QString& v, QmdRequestId r) {
        add(QStringLiteral("undoText '%1'").arg(v) + rid(r));
    });
    connect(model,
            qOverload<const QmdIndex&, const QmdItemIdList&, QmdRequestId>(&QmdModel::itemsChanged),
            this, [=](const QmdIndex& p, const QmdItemIdList& ids, QmdRequestId r) {
                add(QStringLiteral("changed") + parentText(p) + ' ' + listText(ids) + rid(r));
            });
    connect(model,
            qOverload<const QmdIndex&, const QStringList&, QmdRequestId>(&QmdModel::itemsChanged),
            this, [=](const QmdIndex& p, const QStringList& keys, QmdRequestId r) {
                add(QStringLiteral("changed") + parentText(p) + ' ' + listText(keys) + rid(r));
            });
    connect(model,
            qOverload<const QmdIndex&, const QmdItemIdList&, QmdRequestId>(&QmdModel::itemsRemoved),
            this, [=](const QmdIndex& p, const QmdItemIdList& ids, QmdRequestId r) {
                add(QStringLiteral("removed") + parentText(p) + ' ' + listText(ids) + rid(r));
            });
    connect(model,
            qOverload<const QmdIndex&, const QStringList&, QmdRequestId>(&QmdModel::itemsRemoved),
            this, [=](const QmdIndex& p, const QStringList& keys, QmdRequestId r) {
                add(QStringLiteral("removed") + parentText(p) + ' ' + listText(keys) + rid(r));
            });
    connect(model, &QmdModel::rootChanged, this,
            [=](QmdRequestId r) { add(QStringLiteral("root") + rid(r)); });
    connect(
        model, qOverload<QmdRequestId, Qmd::RequestFlags, int>(&QmdModel::requestFinished), this,
        [=](QmdRequestId r, Qmd::RequestFlags f, int status) {
            add(QStringLiteral("finished %1 flags=%2 status=%3").arg(r).arg(int(f)).arg(status));
        });
}

QStringList ModelSignalRecorder::take()
{
    QStringList result = lines;
    lines.clear();
    return result;
}

QString ModelSignalRecorder::parentText(const QmdIndex& parent)
{
    if (parent == QmdIndex())
        return QString();
    return '(' + parent.toString() + ')';
}

template<class L>
QString ModelSignalRecorder::listText(const L& list)
{
    QStringList parts;
    for (const auto& item : list)
        parts.append(QVariant(item).toString());
    return parts.join(',');
}

void deliverRelays()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}
