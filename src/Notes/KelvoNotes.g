// The notes language of a node: sequential '(', parallel '[' and random '{' groups of notes,
// each note a list of pitches, optionally followed by ':' and velocities and ':' and
// durations, as in "C3:96:100%". The lexer and the parser are generated for the C runtime at
// build time; see KelvoNotesParse.h for the driver.
//
// Token numbers: ANTLR numbers the named tokens (imaginary, lexer and fragment rules)
// alphabetically from 4, then the literal tokens in the order of their characters. Code outside
// the generated files uses the generated constants by name.
grammar KelvoNotes;

options {
    language = C;
    output = AST;
    ASTLabelType = pANTLR3_BASE_TREE;
}

tokens {
    AST_DURATION_LIST;
    AST_LIST_ITEM;
    AST_NOTE_NODE;
    AST_PARALLEL_NODE;
    AST_PITCH_LIST;
    AST_RANDOM_NODE;
    AST_SEQUENTIAL_NODE;
    AST_VELOCITY_LIST;
}

@parser::includes {
#include "KelvoNotesLimits.h"
}

@parser::members {
/* The colons seen so far in the current note: 0 before the first, 1 in the velocity list,
 * 2 in the duration list. One counter for every parser in the process, so parsing is not
 * reentrant; the driver serialises parses. */
static int mystep = 0;

/* How many groups enclose the rule being parsed. Groups nested deeper than
 * KELVO_NOTES_MAX_DEPTH fail a predicate instead of recursing further, whatever the error
 * recovery made of the brackets, so the parser's stack stays bounded. */
static int groupDepth = 0;
}

// ---- Parser rules ----------------------------------------------------------------------

notes
@init { mystep = 0; groupDepth = 0; }
    : contents EOF -> ^(AST_SEQUENTIAL_NODE contents?)
    ;

contents
    : ( sequential | parallel | random | note )*
    ;

sequential
@init { groupDepth++; }
    : {groupDepth <= KELVO_NOTES_MAX_DEPTH}? '(' contents ')' -> ^(AST_SEQUENTIAL_NODE contents?)
    ;
finally { groupDepth--; }

parallel
@init { groupDepth++; }
    : {groupDepth <= KELVO_NOTES_MAX_DEPTH}? '[' contents ']' -> ^(AST_PARALLEL_NODE contents?)
    ;
finally { groupDepth--; }

random
@init { groupDepth++; }
    : {groupDepth <= KELVO_NOTES_MAX_DEPTH}? '{' contents '}' -> ^(AST_RANDOM_NODE contents?)
    ;
finally { groupDepth--; }

note
@init { mystep = 0; }
    : pitch_list
      ( COLON { mystep++; }
        ( {mystep == 1}? => velocity_list ( COLON { mystep++; } duration_list )?
        | COLON { mystep++; } duration_list
        )
      )?
      -> ^(AST_NOTE_NODE pitch_list velocity_list? duration_list?)
    ;

pitch_list
    : {mystep==0}? p+=pitch ( ',' p+=pitch )* -> ^(AST_PITCH_LIST ^(AST_LIST_ITEM $p)+)
    ;

velocity_list
    : {mystep==1}? v+=velocity ( ',' v+=velocity )* -> ^(AST_VELOCITY_LIST ^(AST_LIST_ITEM $v)+)
    ;

duration_list
    : {mystep==2}? d+=duration ( ',' d+=duration )* -> ^(AST_DURATION_LIST ^(AST_LIST_ITEM $d)+)
    ;

pitch
    : ABS_PITCH_VALUE
    | SIGN UINT
    ;

velocity
    : SIGN? UINT
    ;

duration
    : duration_percent
    | duration_value
    ;

duration_value
    : ( SIGN | '*' | '/' )? ( UINT | UTRUEFLOAT )
    ;

duration_percent
    : SIGN? ( UINT | UTRUEFLOAT ) '%'
    ;

// ---- Lexer rules -----------------------------------------------------------------------

COLON
    : ':'
    ;

ABS_PITCH_VALUE
    : PITCH_NAME PITCH_OCTAVE
    ;

fragment PITCH_NAME
    : ( 'A' | 'C' | 'D' | 'F' | 'G' | 'a' | 'c' | 'd' | 'f' | 'g' ) '#'?
    | 'B' | 'b' | 'E' | 'e'
    ;

fragment PITCH_OCTAVE
    : '0'..'8'
    | '-' ( '1' | '2' )
    ;

UINT
    : ( '0'..'9' )+
    ;

UTRUEFLOAT
    : UINT '.' UINT? EXPONENT?
    | '.' UINT EXPONENT?
    | UINT EXPONENT
    ;

EXPONENT
    : ( 'e' | 'E' ) ( '+' | '-' )? UINT
    ;

SIGN
    : '+' | '-'
    ;

fragment DIGIT
    : '0'..'9'
    ;

fragment NEWLINE
    : '\r' '\n'?
    | '\n'
    | '\f'
    | '\u2029'
    ;

WS
    : ( ' '
      | '\t'
      | NEWLINE
      | '//' ~( '\n' | '\f' | '\r' | '\u2029' )* NEWLINE?
      )
      { $channel = HIDDEN; }
    ;
