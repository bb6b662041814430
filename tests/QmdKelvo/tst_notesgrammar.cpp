// The notes grammar: token numbers, the lexer's choices, which texts are valid, and the shapes
// of the trees that the parser builds.
#include "KelvoNotesLimits.h"
#include "KelvoNotesParse.h"
#include "KelvoNotesTree.h"
#include "NotesTestSupport.h"

#include <QtTest>

// Generated header last: it defines token macros and undefines EOF.
#include "KelvoNotesParser.h"

using namespace KelvoNotes;
using namespace NotesTestSupport;

class TestNotesGrammar : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tokenNumbers_data();
    void tokenNumbers();
    void runtimeTokens();
    void lexerChoices_data();
    void lexerChoices();
    void whiteSpaceIsHidden();
    void validity_data();
    void validity();
    void trees_data();
    void trees();
    void errorRecoveryKeepsValidNotes();
    void nestingDepth_data();
    void nestingDepth();
    void deepestAllowedNesting();
    void tooDeepNestingBuildsNoTree();
    void groupsInCommentsAreNotCounted();
    void recoveryCannotNestWithoutBound_data();
    void recoveryCannotNestWithoutBound();
};

// ---- Token numbers ---------------------------------------------------------------------

void TestNotesGrammar::tokenNumbers_data()
{
    QTest::addColumn<int>("generated");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("name");

    QTest::newRow("ABS_PITCH_VALUE") << int(ABS_PITCH_VALUE) << 4 << "ABS_PITCH_VALUE";
    QTest::newRow("AST_DURATION_LIST") << int(AST_DURATION_LIST) << 5 << "AST_DURATION_LIST";
    QTest::newRow("AST_LIST_ITEM") << int(AST_LIST_ITEM) << 6 << "AST_LIST_ITEM";
    QTest::newRow("AST_NOTE_NODE") << int(AST_NOTE_NODE) << 7 << "AST_NOTE_NODE";
    QTest::newRow("AST_PARALLEL_NODE") << int(AST_PARALLEL_NODE) << 8 << "AST_PARALLEL_NODE";
    QTest::newRow("AST_PITCH_LIST") << int(AST_PITCH_LIST) << 9 << "AST_PITCH_LIST";
    QTest::newRow("AST_RANDOM_NODE") << int(AST_RANDOM_NODE) << 10 << "AST_RANDOM_NODE";
    QTest::newRow("AST_SEQUENTIAL_NODE") << int(AST_SEQUENTIAL_NODE) << 11 << "AST_SEQUENTIAL_NODE";
    QTest::newRow("AST_VELOCITY_LIST") << int(AST_VELOCITY_LIST) << 12 << "AST_VELOCITY_LIST";
    QTest::newRow("COLON") << int(COLON) << 13 << "COLON";
    QTest::newRow("DIGIT") << int(DIGIT) << 14 << "DIGIT";
    QTest::newRow("EXPONENT") << int(EXPONENT) << 15 << "EXPONENT";
    QTest::newRow("NEWLINE") << int(NEWLINE) << 16 << "NEWLINE";
    QTest::newRow("PITCH_NAME") << int(PITCH_NAME) << 17 << "PITCH_NAME";
    QTest::newRow("PITCH_OCTAVE") << int(PITCH_OCTAVE) << 18 << "PITCH_OCTAVE";
    QTest::newRow("SIGN") << int(SIGN) << 19 << "SIGN";
    QTest::newRow("UINT") << int(UINT) << 20 << "UINT";
    QTest::newRow("UTRUEFLOAT") << int(UTRUEFLOAT) << 21 << "UTRUEFLOAT";
    QTest::newRow("WS") << int(WS) << 22 << "WS";
    QTest::newRow("'%'") << int(T__23) << 23 << "'%'";
    QTest::newRow("'('") << int(T__24) << 24 << "'('";
    QTest::newRow("')'") << int(T__25) << 25 << "')'";
    QTest::newRow("'*'") << int(T__26) << 26 << "'*'";
    QTest::newRow("','") << int(T__27) << 27 << "','";
    QTest::newRow("'/'") << int(T__28) << 28 << "'/'";
    QTest::newRow("'['") << int(T__29) << 29 << "'['";
    QTest::newRow("']'") << int(T__30) << 30 << "']'";
    QTest::newRow("'{'") << int(T__31) << 31 << "'{'";
    QTest::newRow("'}'") << int(T__32) << 32 << "'}'";
}

void TestNotesGrammar::tokenNumbers()
{
    QFETCH(int, generated);
    QFETCH(int, expected);
    QFETCH(QString, name);
    QCOMPARE(generated, expected);
    const QStringList names = parserTokenNames();
    QVERIFY(expected < names.size());
    QCOMPARE(names.at(expected), name);
}

void TestNotesGrammar::runtimeTokens()
{
    const QStringList names = parserTokenNames();
    QCOMPARE(names.mid(0, 4), QStringList({"<invalid>", "<EOR>", "<DOWN>", "<UP>"}));
    QCOMPARE(int(ANTLR3_TOKEN_INVALID), 0);
    QCOMPARE(int(ANTLR3_TOKEN_EOF), -1);
    QCOMPARE(int(HIDDEN), 99);
}

// ---- The lexer -------------------------------------------------------------------------

// The names of the tokens the lexer emits for `text`, separated by blanks.
static QString tokenNames(const LexResult& result)
{
    const QStringList names = parserTokenNames();
    QStringList list;
    for (const LexedToken& token : result.tokens)
        list.append(names.value(token.type, QString::number(token.type)));
    return list.join(QLatin1Char(' '));
}

void TestNotesGrammar::lexerChoices_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tokens");
    QTest::addColumn<bool>("lexError");

    // Pitches and exponents share their first letter; the characters after it decide.
    QTest::newRow("E3 pitch") << "E3"
                              << "ABS_PITCH_VALUE" << false;
    QTest::newRow("e3 pitch") << "e3"
                              << "ABS_PITCH_VALUE" << false;
    QTest::newRow("E34 exponent") << "E34"
                                  << "EXPONENT" << false;
    QTest::newRow("e-1 pitch") << "e-1"
                               << "ABS_PITCH_VALUE" << false;
    QTest::newRow("e-12 exponent") << "e-12"
                                   << "EXPONENT" << false;
    QTest::newRow("E-3 exponent") << "E-3"
                                  << "EXPONENT" << false;
    QTest::newRow("E-0 exponent") << "E-0"
                                  << "EXPONENT" << false;
    QTest::newRow("E+1 exponent") << "E+1"
                                  << "EXPONENT" << false;
    QTest::newRow("E9 exponent") << "E9"
                                 << "EXPONENT" << false;
    QTest::newRow("E alone") << "E"
                             << "" << true;
    QTest::newRow("E then letter") << "Ex"
                                   << "" << true;
    QTest::newRow("pitches") << "C3 c#3 f#-1 G8 B-2 a0 d#5 g#-2"
                             << "ABS_PITCH_VALUE WS ABS_PITCH_VALUE WS ABS_PITCH_VALUE WS "
                                "ABS_PITCH_VALUE WS ABS_PITCH_VALUE WS ABS_PITCH_VALUE WS "
                                "ABS_PITCH_VALUE WS ABS_PITCH_VALUE"
                             << false;
    QTest::newRow("C9 no such octave") << "C9" << QString() << true;
    QTest::newRow("C-3 no such octave") << "C-3" << QString() << true;
    QTest::newRow("B#3 no sharp on B") << "B#3" << QString() << true;
    QTest::newRow("E#3 no sharp on E") << "E#3" << QString() << true;
    QTest::newRow("H3 no such letter") << "H3" << QString() << true;
    QTest::newRow("Db3 no flats") << "Db3" << QString() << true;
    QTest::newRow("C missing octave") << "C" << QString() << true;

    // Numbers: digits followed by '.', 'E' or 'e' start a float, which then must be complete.
    QTest::newRow("UINT") << "12"
                          << "UINT" << false;
    QTest::newRow("point float") << "12.5"
                                 << "UTRUEFLOAT" << false;
    QTest::newRow("trailing point") << "12."
                                    << "UTRUEFLOAT" << false;
    QTest::newRow("leading point") << ".5"
                                   << "UTRUEFLOAT" << false;
    QTest::newRow("exponent float") << "1e2"
                                    << "UTRUEFLOAT" << false;
    QTest::newRow("full float") << "1.5E-3"
                                << "UTRUEFLOAT" << false;
    QTest::newRow("100E3 one number") << "100E3"
                                      << "UTRUEFLOAT" << false;
    QTest::newRow("12e failing float") << "12e"
                                       << "" << true;
    QTest::newRow("12e+ failing float") << "12e+"
                                        << "" << true;

    // Single characters.
    QTest::newRow("literals") << "%()*,/[]{}:+-"
                              << "'%' '(' ')' '*' ',' '/' '[' ']' '{' '}' COLON SIGN SIGN" << false;
    QTest::newRow("other character") << "#" << QString() << true;

    // White space and comments: one WS token each.
    QTest::newRow("comment with line end") << "C3 // comment\nD3"
                                           << "ABS_PITCH_VALUE WS WS ABS_PITCH_VALUE" << false;
    QTest::newRow("comment at the end") << "C3 // comment"
                                        << "ABS_PITCH_VALUE WS WS" << false;
    QTest::newRow("empty comment") << "//"
                                   << "WS" << false;
    QTest::newRow("CR LF one line end") << "C3\r\nD3"
                                        << "ABS_PITCH_VALUE WS ABS_PITCH_VALUE" << false;
    QTest::newRow("blank characters")
        << QString::fromUtf8(" \t\n\r\f\u2029") << "WS WS WS WS WS WS" << false;
    QTest::newRow("comment ends at U+2029")
        << QString::fromUtf8("//(\u2029C3") << "WS ABS_PITCH_VALUE" << false;
    QTest::newRow("comment keeps BMP characters")
        << QString::fromUtf8("// \u00e9\u20ac\nC3") << "WS ABS_PITCH_VALUE" << false;
    QTest::newRow("comment stops before U+1F600")
        << QString::fromUtf8("// \U0001F600") << "WS" << true;
    QTest::newRow("vertical tab") << "\v" << QString() << true;
}

void TestNotesGrammar::lexerChoices()
{
    QFETCH(QString, text);
    QFETCH(QString, tokens);
    QFETCH(bool, lexError);
    const LexResult result = lex(text);
    QCOMPARE(result.errors > 0, lexError);
    if (!tokens.isNull())
        QCOMPARE(tokenNames(result), tokens);
}

void TestNotesGrammar::whiteSpaceIsHidden()
{
    const LexResult result = lex("( C3,\tE3 : 96 // note\n)\r\n// end");
    int whiteSpace = 0;
    for (const LexedToken& token : result.tokens) {
        QCOMPARE(token.hidden, token.type == WS);
        whiteSpace += token.type == WS ? 1 : 0;
    }
    QCOMPARE(whiteSpace, 8);
    QCOMPARE(result.errors, 0);
}

// ---- Valid and invalid texts -----------------------------------------------------------

void TestNotesGrammar::validity_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");

    QTest::newRow("empty") << "" << true;
    QTest::newRow("blank") << " \n\t" << true;
    QTest::newRow("()") << "()" << true;
    QTest::newRow("[]") << "[]" << true;
    QTest::newRow("{}") << "{}" << true;

    QTest::newRow("C3") << "C3" << true;
    QTest::newRow("c#3") << "c#3" << true;
    QTest::newRow("f#-1") << "f#-1" << true;
    QTest::newRow("G8") << "G8" << true;
    QTest::newRow("B-2") << "B-2" << true;
    QTest::newRow("C9") << "C9" << false;
    QTest::newRow("C-3") << "C-3" << false;
    QTest::newRow("B#3") << "B#3" << false;
    QTest::newRow("E#3") << "E#3" << false;
    QTest::newRow("H3") << "H3" << false;
    QTest::newRow("Db3") << "Db3" << false;

    QTest::newRow("E3") << "E3" << true;
    QTest::newRow("E34") << "E34" << false;
    QTest::newRow("e-1") << "e-1" << true;
    QTest::newRow("e-12") << "e-12" << false;

    QTest::newRow("C3:") << "C3:" << false;
    QTest::newRow("C3::") << "C3::" << false;
    QTest::newRow("C3:96:") << "C3:96:" << false;
    QTest::newRow(":96") << ":96" << false;

    QTest::newRow("C3::50%") << "C3::50%" << true;
    QTest::newRow("C3:+10:-0.5") << "C3:+10:-0.5" << true;
    QTest::newRow("C3:96:*2") << "C3:96:*2" << true;
    QTest::newRow("C3:96:/3") << "C3:96:/3" << true;
    QTest::newRow("C3::+25%") << "C3::+25%" << true;
    QTest::newRow("C3::1e2") << "C3::1e2" << true;
    QTest::newRow("C3:96.5") << "C3:96.5" << false;
    QTest::newRow("C3:96:*50%") << "C3:96:*50%" << false;

    QTest::newRow("+2") << "+2" << true;
    QTest::newRow("-12") << "-12" << true;
    QTest::newRow("12") << "12" << false;

    QTest::newRow("comment between notes") << "C3 // comment\nD3" << true;
    QTest::newRow("comment at the end") << "C3 // comment" << true;
    QTest::newRow("three lists") << "C3,E3,G3:100,80:1,2,4" << true;
    QTest::newRow("C3:96:1E3") << "C3:96:1E3" << true;
    QTest::newRow("C3:96:1 E3") << "C3:96:1 E3" << true;
    QTest::newRow("C3:100E3") << "C3:100E3" << false;

    QTest::newRow("default notes") << "C3:96:100%" << true;
    QTest::newRow("example") << "C3:96 (D3,+2::1.5)" << true;
    QTest::newRow("sign after note") << "C3:96 +2" << true;
    QTest::newRow("notes side by side") << "C3D3" << true;
    QTest::newRow("colon counter per note") << "C3:1:2 D3:4:5 E3::6" << true;
    QTest::newRow("nested groups") << "([C3 E3] {D3 (F3:1)})" << true;
    QTest::newRow("C3 X D3") << "C3 X D3" << false;
    QTest::newRow("12e") << "12e" << false;
    QTest::newRow("exponent alone") << "C3 E34" << false;
    QTest::newRow("second velocity without comma") << "C3:96 100" << false;
    QTest::newRow("unclosed group") << "(C3" << false;
    QTest::newRow("unopened group") << "C3)" << false;
    QTest::newRow("crossed groups") << "([C3)]" << false;
    QTest::newRow("velocity prefix") << "C3:*2" << false;
    QTest::newRow("four lists") << "C3:1:2:3" << false;
}

void TestNotesGrammar::validity()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    int calls = 0;
    bool callbackOk = !valid;
    const bool ok = parseNotes(
        text, [&](bool okArg, ANTLR3_BASE_TREE_ADAPTOR* adaptor, ANTLR3_BASE_TREE* tree) {
            ++calls;
            callbackOk = okArg;
            QVERIFY(adaptor != nullptr);
            QVERIFY(tree != nullptr);
        });
    QCOMPARE(ok, valid);
    QCOMPARE(calls, 1);
    QCOMPARE(callbackOk, valid);
}

// ---- Trees -----------------------------------------------------------------------------

void TestNotesGrammar::trees_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tree");
    QTest::addColumn<QString>("types");

    QTest::newRow("empty") << ""
                           << "AST_SEQUENTIAL_NODE"
                           << "AST_SEQUENTIAL_NODE";
    QTest::newRow("empty groups") << "() [] {}"
                                  << "(AST_SEQUENTIAL_NODE AST_SEQUENTIAL_NODE AST_PARALLEL_NODE "
                                     "AST_RANDOM_NODE)"
                                  << "(AST_SEQUENTIAL_NODE AST_SEQUENTIAL_NODE AST_PARALLEL_NODE "
                                     "AST_RANDOM_NODE)";
    QTest::newRow("C3") << "C3"
                        << "(AST_SEQUENTIAL_NODE (AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM "
                           "C3))))"
                        << "(AST_SEQUENTIAL_NODE (AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM "
                           "ABS_PITCH_VALUE))))";
    QTest::newRow("example")
        << "C3:96 (D3,+2::1.5)"
        << "(AST_SEQUENTIAL_NODE (AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM C3)) "
           "(AST_VELOCITY_LIST (AST_LIST_ITEM 96))) (AST_SEQUENTIAL_NODE (AST_NOTE_NODE "
           "(AST_PITCH_LIST (AST_LIST_ITEM D3) (AST_LIST_ITEM + 2)) (AST_DURATION_LIST "
           "(AST_LIST_ITEM 1.5)))))"
        << "(AST_SEQUENTIAL_NODE (AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM ABS_PITCH_VALUE)) "
           "(AST_VELOCITY_LIST (AST_LIST_ITEM UINT))) (AST_SEQUENTIAL_NODE (AST_NOTE_NODE "
           "(AST_PITCH_LIST (AST_LIST_ITEM ABS_PITCH_VALUE) (AST_LIST_ITEM SIGN UINT)) "
           "(AST_DURATION_LIST (AST_LIST_ITEM UTRUEFLOAT)))))";
    QTest::newRow("groups") << "[C3 E3] {D3}"
                            << "(AST_SEQUENTIAL_NODE (AST_PARALLEL_NODE (AST_NOTE_NODE "
                               "(AST_PITCH_LIST (AST_LIST_ITEM C3))) (AST_NOTE_NODE "
                               "(AST_PITCH_LIST (AST_LIST_ITEM E3)))) (AST_RANDOM_NODE "
                               "(AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM D3)))))"
                            << "(AST_SEQUENTIAL_NODE (AST_PARALLEL_NODE (AST_NOTE_NODE "
                               "(AST_PITCH_LIST (AST_LIST_ITEM ABS_PITCH_VALUE))) (AST_NOTE_NODE "
                               "(AST_PITCH_LIST (AST_LIST_ITEM ABS_PITCH_VALUE)))) "
                               "(AST_RANDOM_NODE (AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM "
                               "ABS_PITCH_VALUE)))))";
    QTest::newRow("percent duration")
        << "c#3::+25%"
        << "(AST_SEQUENTIAL_NODE (AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM c#3)) "
           "(AST_DURATION_LIST (AST_LIST_ITEM + 25 %))))"
        << "(AST_SEQUENTIAL_NODE (AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM ABS_PITCH_VALUE)) "
           "(AST_DURATION_LIST (AST_LIST_ITEM SIGN UINT '%'))))";
    QTest::newRow("prefixed durations")
        << "C3:-5:/3,*1.5,-2"
        << "(AST_SEQUENTIAL_NODE (AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM C3)) "
           "(AST_VELOCITY_LIST (AST_LIST_ITEM - 5)) (AST_DURATION_LIST (AST_LIST_ITEM / 3) "
           "(AST_LIST_ITEM * 1.5) (AST_LIST_ITEM - 2))))"
        << "(AST_SEQUENTIAL_NODE (AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM ABS_PITCH_VALUE)) "
           "(AST_VELOCITY_LIST (AST_LIST_ITEM SIGN UINT)) (AST_DURATION_LIST (AST_LIST_ITEM '/' "
           "UINT) (AST_LIST_ITEM '*' UTRUEFLOAT) (AST_LIST_ITEM SIGN UINT))))";
    QTest::newRow("three lists")
        << "C3,E3,G3:100,80:1,2,4"
        << "(AST_SEQUENTIAL_NODE (AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM C3) "
           "(AST_LIST_ITEM E3) (AST_LIST_ITEM G3)) (AST_VELOCITY_LIST (AST_LIST_ITEM 100) "
           "(AST_LIST_ITEM 80)) (AST_DURATION_LIST (AST_LIST_ITEM 1) (AST_LIST_ITEM 2) "
           "(AST_LIST_ITEM 4))))"
        << "(AST_SEQUENTIAL_NODE (AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM ABS_PITCH_VALUE) "
           "(AST_LIST_ITEM ABS_PITCH_VALUE) (AST_LIST_ITEM ABS_PITCH_VALUE)) (AST_VELOCITY_LIST "
           "(AST_LIST_ITEM UINT) (AST_LIST_ITEM UINT)) (AST_DURATION_LIST (AST_LIST_ITEM UINT) "
           "(AST_LIST_ITEM UINT) (AST_LIST_ITEM UINT))))";
    QTest::newRow("float duration 1E3")
        << "C3:96:1E3"
        << "(AST_SEQUENTIAL_NODE (AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM C3)) "
           "(AST_VELOCITY_LIST (AST_LIST_ITEM 96)) (AST_DURATION_LIST (AST_LIST_ITEM 1E3))))"
        << "(AST_SEQUENTIAL_NODE (AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM ABS_PITCH_VALUE)) "
           "(AST_VELOCITY_LIST (AST_LIST_ITEM UINT)) (AST_DURATION_LIST (AST_LIST_ITEM "
           "UTRUEFLOAT))))";
    QTest::newRow("duration then pitch")
        << "C3:96:1 E3"
        << "(AST_SEQUENTIAL_NODE (AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM C3)) "
           "(AST_VELOCITY_LIST (AST_LIST_ITEM 96)) (AST_DURATION_LIST (AST_LIST_ITEM 1))) "
           "(AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM E3))))"
        << "(AST_SEQUENTIAL_NODE (AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM ABS_PITCH_VALUE)) "
           "(AST_VELOCITY_LIST (AST_LIST_ITEM UINT)) (AST_DURATION_LIST (AST_LIST_ITEM UINT))) "
           "(AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM ABS_PITCH_VALUE))))";
    QTest::newRow("sign starts a note")
        << "C3:96 +2"
        << "(AST_SEQUENTIAL_NODE (AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM C3)) "
           "(AST_VELOCITY_LIST (AST_LIST_ITEM 96))) (AST_NOTE_NODE (AST_PITCH_LIST "
           "(AST_LIST_ITEM + 2))))"
        << "(AST_SEQUENTIAL_NODE (AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM ABS_PITCH_VALUE)) "
           "(AST_VELOCITY_LIST (AST_LIST_ITEM UINT))) (AST_NOTE_NODE (AST_PITCH_LIST "
           "(AST_LIST_ITEM SIGN UINT))))";
    QTest::newRow("white space and comments")
        << "( C3 , +2 // first\n : 96 )"
        << "(AST_SEQUENTIAL_NODE (AST_SEQUENTIAL_NODE (AST_NOTE_NODE (AST_PITCH_LIST "
           "(AST_LIST_ITEM C3) (AST_LIST_ITEM + 2)) (AST_VELOCITY_LIST (AST_LIST_ITEM 96)))))"
        << "(AST_SEQUENTIAL_NODE (AST_SEQUENTIAL_NODE (AST_NOTE_NODE (AST_PITCH_LIST "
           "(AST_LIST_ITEM ABS_PITCH_VALUE) (AST_LIST_ITEM SIGN UINT)) (AST_VELOCITY_LIST "
           "(AST_LIST_ITEM UINT)))))";
}

void TestNotesGrammar::trees()
{
    QFETCH(QString, text);
    QFETCH(QString, tree);
    QFETCH(QString, types);
    QString gotTree;
    QString gotTypes;
    const bool ok = parseNotes(text, [&](bool, ANTLR3_BASE_TREE_ADAPTOR*, ANTLR3_BASE_TREE* t) {
        gotTree = notesTreeString(t);
        gotTypes = typeTree(t);
    });
    QVERIFY(ok);
    QCOMPARE(gotTree, tree);
    QCOMPARE(gotTypes, types);
}

void TestNotesGrammar::errorRecoveryKeepsValidNotes()
{
    // The lexer drops the X; the parser sees two notes.
    QString types;
    QVERIFY(!parseNotes("C3 X D3", [&](bool, ANTLR3_BASE_TREE_ADAPTOR*, ANTLR3_BASE_TREE* t) {
        types = typeTree(t);
    }));
    QCOMPARE(types,
             "(AST_SEQUENTIAL_NODE (AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM "
             "ABS_PITCH_VALUE))) (AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM "
             "ABS_PITCH_VALUE))))");

    // A note that fails becomes an error node (type 0) between the notes around it.
    QVERIFY(!parseNotes("C3 D3:,5 E3", [&](bool, ANTLR3_BASE_TREE_ADAPTOR*, ANTLR3_BASE_TREE* t) {
        types = typeTree(t);
    }));
    QCOMPARE(types,
             "(AST_SEQUENTIAL_NODE (AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM "
             "ABS_PITCH_VALUE))) <invalid> (AST_NOTE_NODE (AST_PITCH_LIST (AST_LIST_ITEM "
             "ABS_PITCH_VALUE))))");
}

// ---- Nesting depth ---------------------------------------------------------------------

void TestNotesGrammar::nestingDepth_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("depth");

    QTest::newRow("empty") << "" << 0;
    QTest::newRow("note") << "C3:96" << 0;
    QTest::newRow("siblings") << "() [] {}" << 1;
    QTest::newRow("three kinds") << "([{C3}])" << 3;
    QTest::newRow("after a close") << "(()) ((()))" << 3;
    QTest::newRow("close without open") << ")) ((" << 2;
    QTest::newRow("comment") << "( // (((\n)" << 1;
    QTest::newRow("comment to CR") << "//((\r(" << 1;
    QTest::newRow("comment to FF") << "//((\f(" << 1;
    QTest::newRow("comment to U+2029") << QString::fromUtf8("//((\u2029(") << 1;
    QTest::newRow("comment to the end") << "( // ((" << 1;
    QTest::newRow("comment ends before U+1F600") << QString::fromUtf8("//\U0001F600((") << 2;
    QTest::newRow("lone slash") << "/( /[" << 2;
}

void TestNotesGrammar::nestingDepth()
{
    QFETCH(QString, text);
    QFETCH(int, depth);
    QCOMPARE(notesNestingDepth(text.toUtf8()), depth);
}

static QString nested(int depth, const QString& inner = QString())
{
    return QString(depth, QLatin1Char('(')) + inner + QString(depth, QLatin1Char(')'));
}

void TestNotesGrammar::deepestAllowedNesting()
{
    int treeDepth = 0;
    const bool ok = parseNotes(
        nested(KELVO_NOTES_MAX_DEPTH, "C3"),
        [&](bool, ANTLR3_BASE_TREE_ADAPTOR*, ANTLR3_BASE_TREE* t) { treeDepth = groupDepth(t); });
    QVERIFY(ok);
    QCOMPARE(treeDepth, KELVO_NOTES_MAX_DEPTH + 1); // the groups and the root
}

void TestNotesGrammar::tooDeepNestingBuildsNoTree()
{
    for (const QString& text : {nested(KELVO_NOTES_MAX_DEPTH + 1, "C3"), nested(100000)}) {
        int calls = 0;
        bool okArg = true;
        ANTLR3_BASE_TREE_ADAPTOR* adaptor = reinterpret_cast<ANTLR3_BASE_TREE_ADAPTOR*>(1);
        ANTLR3_BASE_TREE* tree = reinterpret_cast<ANTLR3_BASE_TREE*>(1);
        const bool ok
            = parseNotes(text, [&](bool o, ANTLR3_BASE_TREE_ADAPTOR* a, ANTLR3_BASE_TREE* t) {
                  ++calls;
                  okArg = o;
                  adaptor = a;
                  tree = t;
              });
        QVERIFY(!ok);
        QCOMPARE(calls, 1);
        QVERIFY(!okArg);
        QVERIFY(adaptor == nullptr);
        QVERIFY(tree == nullptr);
    }
}

void TestNotesGrammar::groupsInCommentsAreNotCounted()
{
    const QString deepComment = "C3 // " + QString(1000, QLatin1Char('(')) + "\nD3";
    QVERIFY(parseNotes(deepComment, {}));
}

void TestNotesGrammar::recoveryCannotNestWithoutBound_data()
{
    QTest::addColumn<QString>("text");

    // The count before parsing sees no nesting in these texts, but what the parser reads
    // nests once per repetition: the lexer drops the ')' after a letter without octave, and
    // the parser's recovery deletes the ')' before an expected number.
    QTest::newRow("closer eaten by the lexer") << QString("(B)").repeated(3000);
    QTest::newRow("closer deleted by the parser") << QString("(C3:+)5").repeated(3000);
}

void TestNotesGrammar::recoveryCannotNestWithoutBound()
{
    QFETCH(QString, text);
    QVERIFY(notesNestingDepth(text.toUtf8()) <= 1);
    int treeDepth = 0;
    ANTLR3_BASE_TREE* tree = nullptr;
    const bool ok = parseNotes(text, [&](bool, ANTLR3_BASE_TREE_ADAPTOR*, ANTLR3_BASE_TREE* t) {
        tree = t;
        treeDepth = groupDepth(t);
    });
    QVERIFY(!ok);
    QVERIFY(tree != nullptr);
    QVERIFY2(treeDepth <= KELVO_NOTES_MAX_DEPTH + 1, qPrintable(QString::number(treeDepth)));
    QVERIFY(treeDepth > 100); // the text did nest as the parser read it
}

QTEST_GUILESS_MAIN(TestNotesGrammar)
#include "tst_notesgrammar.moc"
