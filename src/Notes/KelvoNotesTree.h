#ifndef KELVONOTESTREE_H
#define KELVONOTESTREE_H

#include "KelvoNotesParse.h"

#include <QMap>
#include <QPair>
#include <QString>

namespace KelvoNotes {

// The kind of a list in the token map.
enum NotesToken {
    PitchListToken = 1,
    VelocityListToken = 2,
    DurationListToken = 3,
};

// From the byte offset (in the UTF-8 text) of a list's first token to the list's length in
// bytes, up to the end of its last token, and its kind. Separators inside a list lie inside
// its span. A list whose first or last token has no place in the text (an error node, or a
// token that the parser's error recovery made up) is entered under -1 with length 0.
using NotesTokenMap = QMap<int, QPair<int, NotesToken>>;

// Parses `str` and adds an entry for every pitch, velocity and duration list of every note that
// the parser built, also when the text is invalid. Returns true when the text is valid. The
// map is not cleared first.
bool validateNotes(const QString& str, NotesTokenMap& map);

// Adds the lists of the notes below `tree` to `map`: a note goes to noteListSpan, a group
// passes on its children in order, any other node is skipped. A null tree adds nothing.
void collectNoteListSpans(ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* tree,
                          NotesTokenMap* map);

// Adds one entry per pitch, velocity and duration list of a note node; an entry already at
// the same offset is replaced.
void noteListSpan(ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* noteTree,
                  NotesTokenMap* map);

// The text of a list node: its children's texts joined with `separator`, where an
// AST_LIST_ITEM child contributes its own tokens' texts run together, and any other child its
// token's text. Called with "," on a list it gives the list as typed without white space or
// comments: "C3 , +2" gives "C3,+2".
QString listText(ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* list,
                 const QString& separator);

// The types of the tree nodes that code outside the notes library looks at, with the numbers
// that the generated parser gives them. Error nodes have type 0.
enum NotesNodeType {
    AstDurationList = 5,
    AstListItem = 6,
    AstNoteNode = 7,
    AstParallelNode = 8,
    AstPitchList = 9,
    AstRandomNode = 10,
    AstSequentialNode = 11,
    AstVelocityList = 12,
};

// Reading a tree without the runtime's headers: a node's type, its number of children and
// one child. A null node has type 0 and no children.
int nodeType(ANTLR3_BASE_TREE* node);
int nodeChildCount(ANTLR3_BASE_TREE* node);
ANTLR3_BASE_TREE* nodeChild(ANTLR3_BASE_TREE* node, int i);

// The runtime's one-line form of a tree: a node with children as "(text child child ...)", a
// leaf as its text. Empty for a null tree.
QString notesTreeString(ANTLR3_BASE_TREE* tree);

} // namespace KelvoNotes

#endif // KELVONOTESTREE_H
