// Notes texts of QmdKelvoController: parsing, validation with the token map, and the notes
// trees that playback walks.

#include "QmdKelvoController.h"

#include "KelvoNotesSelfTest.h"
#include "QmdKelvoKeys.h"

bool QmdKelvoController::parseNotes(const QString& notes,
                                    const KelvoNotes::NotesParseCallback& callback)
{
    return KelvoNotes::parseNotes(notes, callback);
}

bool QmdKelvoController::validateNotes(const QString& str, NotesTokenMap& map)
{
    return KelvoNotes::validateNotes(str, map);
}

void QmdKelvoController::collectNoteListSpans(ANTLR3_BASE_TREE_ADAPTOR* adaptor,
                                              ANTLR3_BASE_TREE* tree, NotesTokenMap* map)
{
    KelvoNotes::collectNoteListSpans(adaptor, tree, map);
}

void QmdKelvoController::noteListSpan(ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* noteTree,
                                      NotesTokenMap* map)
{
    KelvoNotes::noteListSpan(adaptor, noteTree, map);
}

QString QmdKelvoController::listText(ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* list,
                                     const QString& separator)
{
    return KelvoNotes::listText(adaptor, list, separator);
}

bool QmdKelvoController::unitTestNotes(const QString& str, bool expectedResult)
{
    return KelvoNotes::unitTestNotes(str, expectedResult);
}

void QmdKelvoController::onNotesParsed(bool ok, ANTLR3_BASE_TREE_ADAPTOR* adaptor,
                                       ANTLR3_BASE_TREE* tree, QmdItemId nodeId)
{
    if (!ok || !tree || !directIsContainer(nodeNotesTreesRootIndex, Qmd::IntDict))
        return;
    directSetTypes(QHash<QmdItemId, Qmd::ContainerType> {{nodeId, Qmd::StrDict}},
                   nodeNotesTreesRootIndex);
    storeNotesTreeNode(adaptor, tree, directIndex(nodeId, nodeNotesTreesRootIndex));
}

void QmdKelvoController::storeNotesTreeNode(ANTLR3_BASE_TREE_ADAPTOR* adaptor,
                                            ANTLR3_BASE_TREE* tree, const QmdIndex& item)
{
    using namespace KelvoNotes;
    if (!directIsContainer(item, Qmd::StrDict))
        return;
    int method = -1;
    switch (nodeType(tree)) {
    case AstNoteNode:
        storeNoteLists(adaptor, tree, item);
        directSetData(QmdKelvoKeys::CurrentPitchId, 0, item);
        directSetData(QmdKelvoKeys::CurrentVelocityId, 0, item);
        directSetData(QmdKelvoKeys::CurrentDurationId, 0, item);
        return;
    case AstSequentialNode:
        method = 0;
        break;
    case AstParallelNode:
        method = 1;
        break;
    case AstRandomNode:
        method = 2;
        break;
    default:
        return;
    }
    directSetData(QmdKelvoKeys::SignallingMethod, method, item);
    const int count = nodeChildCount(tree);
    if (count == 0)
        return;
    directSetTypes(QHash<QString, Qmd::ContainerType> {{QmdKelvoKeys::Children, Qmd::IntDict}},
                   item);
    const QmdIndex children = directIndex(QmdKelvoKeys::Children, item);
    directSetData(QmdKelvoKeys::CurrentChildId, 0, item);
    for (int i = 0; i < count; ++i) {
        const QmdItemId childId = directAddType(Qmd::StrDict, children);
        storeNotesTreeNode(adaptor, nodeChild(tree, i), directIndex(childId, children));
    }
}

void QmdKelvoController::storeNoteLists(ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* note,
                                        const QmdIndex& item)
{
    using namespace KelvoNotes;
    if (!directIsContainer(item, Qmd::StrDict))
        return;
    const QString separator = QStringLiteral(",");
    const int count = nodeChildCount(note);
    for (int i = 0; i < count; ++i) {
        ANTLR3_BASE_TREE* list = nodeChild(note, i);
        switch (nodeType(list)) {
        case AstPitchList:
            directSetData(QmdKelvoKeys::PitchList, listText(adaptor, list, separator), item);
            break;
        case AstVelocityList:
            directSetData(QmdKelvoKeys::VelocityList, listText(adaptor, list, separator), item);
            break;
        case AstDurationList:
            directSetData(QmdKelvoKeys::DurationList, listText(adaptor, list, separator), item);
            break;
        default:
            break;
        }
    }
}
