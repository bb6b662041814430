#ifndef NOTESTESTSUPPORT_H
#define NOTESTESTSUPPORT_H

#include "KelvoNotesParse.h"

#include <QList>
#include <QString>
#include <QStringList>

// Helpers for the notes tests: the generated lexer run on its own, and two text forms of a
// parse tree.
namespace NotesTestSupport {

struct LexedToken
{
    int type = 0;
    bool hidden = false;
    QString text;
};

struct LexResult
{
    QList<LexedToken> tokens; // every token the lexer emitted, hidden ones included
    int errors = 0; // the lexer's error count
};

// Runs the generated lexer alone over the UTF-8 form of `text`.
LexResult lex(const QString& text);

// The tree with the generated parser's token names in place of the node texts, in the
// runtime's one-line form: "C3" gives
// "(AST_SEQUENTIAL_NODE (AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM ABS_PITCH_VALUE))))".
QString typeTree(ANTLR3_BASE_TREE* tree);

// How many group nodes (sequential, parallel, random) lie on the deepest path of the tree, the
// root included.
int groupDepth(ANTLR3_BASE_TREE* tree);

// The generated parser's token-name table, indexed by token type.
QStringList parserTokenNames();

} // namespace NotesTestSupport

#endif // NOTESTESTSUPPORT_H
