#include "KelvoNotesTree.h"

#include <QStringList>

// Generated header last: it defines token macros (UINT, SIGN, WS, ...) and undefines EOF.
#include "KelvoNotesParser.h"

// The tree's own accessors are used throughout rather than the adaptor's: in runtime 3.4 the
// adaptor's getToken has been seen to crash where the tree's works.

namespace KelvoNotes {

static_assert(AstDurationList == AST_DURATION_LIST && AstListItem == AST_LIST_ITEM
                  && AstNoteNode == AST_NOTE_NODE && AstParallelNode == AST_PARALLEL_NODE
                  && AstPitchList == AST_PITCH_LIST && AstRandomNode == AST_RANDOM_NODE
                  && AstSequentialNode == AST_SEQUENTIAL_NODE
                  && AstVelocityList == AST_VELOCITY_LIST,
              "the node types must match the generated parser");

namespace {

ANTLR3_UINT32 childCount(ANTLR3_BASE_TREE* node)
{
    return node ? node->getChildCount(node) : 0;
}

ANTLR3_BASE_TREE* child(ANTLR3_BASE_TREE* node, ANTLR3_UINT32 i)
{
    return static_cast<ANTLR3_BASE_TREE*>(node->getChild(node, i));
}

QString fromAntlrString(pANTLR3_STRING text)
{
    if (!text || !text->chars)
        return QString();
    return QString::fromUtf8(reinterpret_cast<const char*>(text->chars),
                             static_cast<qsizetype>(text->len));
}

// From a list node through AST_LIST_ITEM nodes to its first (or last) token node; null when a
// node on the way has no children.
ANTLR3_BASE_TREE* edgeTokenNode(ANTLR3_BASE_TREE* list, bool last)
{
    ANTLR3_BASE_TREE* node = list;
    do {
        const ANTLR3_UINT32 count = childCount(node);
        if (count == 0)
            return nullptr;
        node = child(node, last ? count - 1 : 0);
    } while (node && node->getType(node) == AST_LIST_ITEM);
    return node;
}

// The byte span [start, end) of a token node in the UTF-8 text, or false when the node has no
// place in the text: an error node (type 0), an imaginary node, or a token made up by the
// parser's error recovery. Tokens made by the lexer carry no text of their own and point into
// the input; made-up ones carry their text ("<missing UINT>") and point anywhere.
bool tokenSpan(ANTLR3_BASE_TREE* node, qint64* start, qint64* end)
{
    if (!node || node->getType(node) == ANTLR3_TOKEN_INVALID)
        return false;
    pANTLR3_COMMON_TOKEN token = node->getToken(node);
    if (!token || !token->input || token->textState != ANTLR3_TEXT_NONE)
        return false;
    const auto base = reinterpret_cast<ANTLR3_MARKER>(token->input->data);
    const qint64 first = token->start - base;
    const qint64 pastLast = token->stop - base + 1;
    if (first < 0 || pastLast <= first || pastLast > qint64(token->input->sizeBuf))
        return false;
    *start = first;
    *end = pastLast;
    return true;
}

} // namespace

bool validateNotes(const QString& str, NotesTokenMap& map)
{
    return parseNotes(str, [&map](bool, ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* tree) {
        collectNoteListSpans(adaptor, tree, &map);
    });
}

void collectNoteListSpans(ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* tree,
                          NotesTokenMap* map)
{
    // The recursion is as deep as the groups nest, which the parser bounds.
    if (!tree || !map)
        return;
    switch (tree->getType(tree)) {
    case AST_NOTE_NODE:
        noteListSpan(adaptor, tree, map);
        break;
    case AST_SEQUENTIAL_NODE:
    case AST_PARALLEL_NODE:
    case AST_RANDOM_NODE:
        for (ANTLR3_UINT32 i = 0, n = childCount(tree); i < n; ++i)
            collectNoteListSpans(adaptor, child(tree, i), map);
        break;
    default:
        break;
    }
}

void noteListSpan(ANTLR3_BASE_TREE_ADAPTOR*, ANTLR3_BASE_TREE* noteTree, NotesTokenMap* map)
{
    if (!noteTree || !map)
        return;
    for (ANTLR3_UINT32 i = 0, n = childCount(noteTree); i < n; ++i) {
        ANTLR3_BASE_TREE* list = child(noteTree, i);
        NotesToken kind;
        switch (list->getType(list)) {
        case AST_PITCH_LIST:
            kind = PitchListToken;
            break;
        case AST_VELOCITY_LIST:
            kind = VelocityListToken;
            break;
        case AST_DURATION_LIST:
            kind = DurationListToken;
            break;
        default:
            continue;
        }
        // A list without a place in the text (see tokenSpan) goes under -1 with length 0.
        int start = -1;
        int length = 0;
        qint64 firstStart = 0;
        qint64 firstEnd = 0;
        qint64 lastStart = 0;
        qint64 lastEnd = 0;
        if (tokenSpan(edgeTokenNode(list, false), &firstStart, &firstEnd)
            && tokenSpan(edgeTokenNode(list, true), &lastStart, &lastEnd) && lastEnd > firstStart) {
            start = int(firstStart);
            length = int(lastEnd - firstStart);
        }
        map->insert(start, qMakePair(length, kind));
    }
}

QString listText(ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* list,
                 const QString& separator)
{
    QStringList texts;
    for (ANTLR3_UINT32 i = 0, n = childCount(list); i < n; ++i) {
        ANTLR3_BASE_TREE* item = child(list, i);
        if (item->getType(item) == AST_LIST_ITEM)
            texts.append(listText(adaptor, item, QString()));
        else
            texts.append(fromAntlrString(item->getText(item)));
    }
    return texts.join(separator);
}

QString notesTreeString(ANTLR3_BASE_TREE* tree)
{
    if (!tree)
        return QString();
    return fromAntlrString(tree->toStringTree(tree));
}

int nodeType(ANTLR3_BASE_TREE* node)
{
    return node ? int(node->getType(node)) : 0;
}

int nodeChildCount(ANTLR3_BASE_TREE* node)
{
    return int(childCount(node));
}

ANTLR3_BASE_TREE* nodeChild(ANTLR3_BASE_TREE* node, int i)
{
    return i >= 0 && i < nodeChildCount(node) ? child(node, ANTLR3_UINT32(i)) : nullptr;
}

} // namespace KelvoNotes
