// Style presets of QmdKelvoController: named sets of the document's eight style colours.

#include "QmdKelvoController.h"

#include "QmdKelvoKeys.h"

const QHash<QString, QHash<QString, QVariant>>& QmdKelvoController::stylePresets()
{
    // Built once, thread-safely, and only read afterwards: reading takes no lock, so it may
    // happen inside the model lock.
    static const QHash<QString, QHash<QString, QVariant>> presets = [] {
        namespace K = QmdKelvoKeys;
        const QColor transparent(Qt::transparent);
        QHash<QString, QHash<QString, QVariant>> table;
        table.insert(QStringLiteral("Dark"),
                     {{K::StyleBackgroundColor, QColor(39, 39, 47)},
                      {K::StylePrincipalLinesColor, QColor(46, 46, 54)},
                      {K::StylePrincipalPointsColor, QColor(200, 200, 200)},
                      {K::StyleDivisionLinesColor, transparent},
                      {K::StyleDivisionPointsColor, QColor(128, 128, 128)},
                      {K::StyleAnnotationColor, QColor(255, 255, 255, 128)},
                      {K::StyleNodesColor, QColor(155, 158, 255)},
                      {K::StyleEdgesColor, QColor(113, 117, 137)}});
        table.insert(QStringLiteral("Light"),
                     {{K::StyleBackgroundColor, QColor(255, 255, 255)},
                      {K::StylePrincipalLinesColor, QColor(180, 180, 180)},
                      {K::StylePrincipalPointsColor, transparent},
                      {K::StyleDivisionLinesColor, QColor(220, 230, 240)},
                      {K::StyleDivisionPointsColor, transparent},
                      {K::StyleAnnotationColor, QColor(Qt::black)},
                      {K::StyleNodesColor, QColor(44, 101, 169)},
                      {K::StyleEdgesColor, QColor(40, 40, 40)}});
        return table;
    }();
    return presets;
}

QStringList QmdKelvoController::stylePresetNames()
{
    QStringList names = stylePresets().keys();
    names.sort();
    return names;
}

QmdRequestId QmdKelvoController::requestLoadStylePreset(const QString& presetName)
{
    const auto preset = stylePresets().constFind(presetName);
    if (preset == stylePresets().cend() || !model())
        return 0;
    const QmdRequestId rid = registerNewRequestId();
    beginRequest(rid, Qmd::NoRequestFlags, tr("Color Preset: %1").arg(presetName));
    directSetData(preset.value(), QmdIndex());
    return endRequest(rid);
}
