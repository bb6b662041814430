#ifndef KELVONOTESPARSE_H
#define KELVONOTESPARSE_H

#include <QByteArray>
#include <QString>

#include <functional>

// The runtime's tree types, declared here so that this header does not pull in the ANTLR 3
// C runtime headers (whose lexer header has a member named `emit`, see README). Code that
// walks a tree includes <antlr3.h> itself, before any Qt header or with QT_NO_KEYWORDS.
typedef struct ANTLR3_BASE_TREE_ADAPTOR_struct ANTLR3_BASE_TREE_ADAPTOR;
typedef struct ANTLR3_BASE_TREE_struct ANTLR3_BASE_TREE;

namespace KelvoNotes {

// Called once per parse with the result, the parser's tree adaptor and the root of the tree
// (an AST_SEQUENTIAL_NODE). The tree lives only during the call.
using NotesParseCallback
    = std::function<void(bool ok, ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* tree)>;

// Parses a notes text with the generated lexer and parser and calls `callback` with the tree,
// also when the text is invalid (the tree then holds error nodes, of type 0, beside the valid
// parts). Returns true when neither the lexer nor the parser counted an error. Error printing
// is switched off in both.
//
// A text whose groups nest deeper than KELVO_NOTES_MAX_DEPTH (counted on the text before
// parsing, see notesNestingDepth), or whose UTF-8 form exceeds 2 GiB, is not parsed at all: it
// is invalid, and the callback is still called once, with ok false and both the adaptor and the
// tree null. Every callback must accept a null tree.
//
// The generated parser keeps process-wide state (the colon counter of a note and the group
// depth), so parses are serialised on a mutex; any thread may call this. The callback runs
// after the mutex is released and may itself parse. An empty callback is allowed: the text is
// then only checked.
bool parseNotes(const QString& notes, const NotesParseCallback& callback);

// How deeply the groups of a notes text (its UTF-8 bytes) nest: '(' '[' '{' open a level,
// ')' ']' '}' close one (never below 0), and line comments are skipped as the lexer skips
// them. The text "C3 ([D3])" has depth 2. Exact for every text that the lexer reads without
// error.
int notesNestingDepth(const QByteArray& utf8);

} // namespace KelvoNotes

#endif // KELVONOTESPARSE_H
