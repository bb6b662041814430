// The defaults of a network document and its run-time part, filled in at every reset.

#include "QmdKelvoController.h"

#include "QmdKelvoKeys.h"

void QmdKelvoController::ensureDefaults()
{
    namespace K = QmdKelvoKeys;
    const QmdIndex root;

    // Document settings; a value that is present stays, whatever its type.
    directSetDataIfInvalid(K::Tempo, 120u, root);
    directSetDataIfInvalid(K::PrincipalsToBeatsNumerator, 1u, root);
    directSetDataIfInvalid(K::PrincipalsToBeatsDenominator, 1u, root);
    directSetDataIfInvalid(K::DivsPerPrincipal, 4u, root);
    directSetDataIfInvalid(K::ScaleKey, 0u, root);
    directSetDataIfInvalid(K::ScaleMode, 0u, root);
    directSetDataIfInvalid(K::ShowGrid, true, root);
    directSetDataIfInvalid(K::SnapToGrid, true, root);
    directSetDataIfInvalid(K::ShowNodeCounters, false, root);
    directSetDataIfInvalid(K::ShowNodeLastNotesSent, false, root);
    directSetDataIfInvalid(K::ShowEdgeSignalling, false, root);
    directSetDataIfInvalid(K::ZoomScale, 1.0, root);
    const QHash<QString, QVariant>& dark = stylePresets().value(QStringLiteral("Dark"));
    for (auto it = dark.cbegin(); it != dark.cend(); ++it)
        directSetDataIfInvalid(it.key(), it.value(), root);
    directSetDataIfInvalid(K::SyncType, QStringLiteral("internal"), root);

    // Containers keep what they hold.
    directSetTypeIfInvalid(K::SyncMidiInputs, Qmd::StrDict, root);
    directSetTypeIfInvalid(K::SyncMidiOutputs, Qmd::StrDict, root);
    directSetTypeIfInvalid(K::Instruments, Qmd::IntDict, root);
    directSetTypeIfInvalid(K::ScaleModes, Qmd::IntDict, root);
    syncMidiInputsRootIndex = directIndex(K::SyncMidiInputs, root);
    syncMidiOutputsRootIndex = directIndex(K::SyncMidiOutputs, root);
    instrumentsRootIndex = directIndex(K::Instruments, root);
    scaleModesRootIndex = directIndex(K::ScaleModes, root);

    // The run-time part, made anew.
    directSetType(K::Temp, Qmd::StrDict, root);
    tempRoot = directIndex(K::Temp, root);
    elementStatesRootIndex = QmdIndex();
    nodeNotesTreesRootIndex = QmdIndex();
    if (tempRoot.isValid()) {
        directSetData(K::Tool, 2, tempRoot);
        directSetTypes(QHash<QString, Qmd::ContainerType> {{K::ElementStates, Qmd::IntDict},
                                                           {K::NodeNotesTrees, Qmd::IntDict}},
                       tempRoot);
        elementStatesRootIndex = directIndex(K::ElementStates, tempRoot);
        nodeNotesTreesRootIndex = directIndex(K::NodeNotesTrees, tempRoot);
    }
    const QmdIndex elements = directElementsRoot();
    if (elements.isValid()) {
        for (QmdItemId id : directIdList(elements)) {
            switch (directElementData(id, K::Type).toInt()) {
            case QmdKelvo::NodeElement:
                addElementState(id);
                removeNodeNotesTree(id);
                buildNodeNotesTree(id);
                break;
            case QmdKelvo::EdgeElement:
                addElementState(id);
                break;
            default:
                break;
            }
        }
    }
}
