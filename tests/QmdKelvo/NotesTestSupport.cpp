#include "NotesTestSupport.h"

#include <QStringList>

#include <algorithm>

// Generated headers last: they define token macros and undefine EOF.
#include "KelvoNotesLexer.h"
#include "KelvoNotesParser.h"

namespace NotesTestSupport {

namespace {

void displayNothing(pANTLR3_BASE_RECOGNIZER, pANTLR3_UINT8*) { }

QString fromAntlr(pANTLR3_STRING s)
{
    return s ? QString::fromUtf8(reinterpret_cast<const char*>(s->chars), s->len) : QString();
}

} // namespace

LexResult lex(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    LexResult result;
    pANTLR3_INPUT_STREAM input = antlr3StringStreamNew(
        reinterpret_cast<pANTLR3_UINT8>(const_cast<char*>(utf8.constData())), ANTLR3_ENC_UTF8,
        ANTLR3_UINT32(utf8.size()), reinterpret_cast<pANTLR3_UINT8>(const_cast<char*>("test")));
    pKelvoNotesLexer lexer = KelvoNotesLexerNew(input);
    lexer->pLexer->rec->displayRecognitionError = displayNothing;
    pANTLR3_TOKEN_SOURCE source = TOKENSOURCE(lexer);
    for (;;) {
        pANTLR3_COMMON_TOKEN token = source->nextToken(source);
        if (!token || token->getType(token) == ANTLR3_TOKEN_EOF)
            break;
        result.tokens.append({int(token->getType(token)), token->getChannel(token) == HIDDEN,
                              fromAntlr(token->getText(token))});
    }
    result.errors = int(lexer->pLexer->rec->state->errorCount);
    lexer->free(lexer);
    input->close(input);
    return result;
}

QString typeTree(ANTLR3_BASE_TREE* tree)
{
    if (!tree)
        return QStringLiteral("null");
    const QStringList names = parserTokenNames();
    const auto type = int(tree->getType(tree));
    const QString name = type < names.size() ? names.at(type) : QString::number(type);
    const ANTLR3_UINT32 count = tree->getChildCount(tree);
    if (count == 0)
        return name;
    QStringList parts {name};
    for (ANTLR3_UINT32 i = 0; i < count; ++i)
        parts.append(typeTree(static_cast<ANTLR3_BASE_TREE*>(tree->getChild(tree, i))));
    return QLatin1Char('(') + parts.join(QLatin1Char(' ')) + QLatin1Char(')');
}

int groupDepth(ANTLR3_BASE_TREE* tree)
{
    // Walks the tree without recursion, so that it also measures a tree far deeper than the
    // stack could follow.
    if (!tree)
        return 0;
    struct Entry
    {
        ANTLR3_BASE_TREE* node;
        int depth;
    };
    QList<Entry> pending {{tree, 0}};
    int deepest = 0;
    while (!pending.isEmpty()) {
        const Entry entry = pending.takeLast();
        const ANTLR3_UINT32 type = entry.node->getType(entry.node);
        const bool group
            = type == AST_SEQUENTIAL_NODE || type == AST_PARALLEL_NODE || type == AST_RANDOM_NODE;
        const int depth = entry.depth + (group ? 1 : 0);
        deepest = std::max(deepest, depth);
        for (ANTLR3_UINT32 i = 0, n = entry.node->getChildCount(entry.node); i < n; ++i)
            pending.append(
                {static_cast<ANTLR3_BASE_TREE*>(entry.node->getChild(entry.node, i)), depth});
    }
    return deepest;
}

QStringList parserTokenNames()
{
    // The table is installed by the parser's constructor; a parser over an empty text is
    // enough to read it.
    static const QStringList names = [] {
        char empty[] = "";
        pANTLR3_INPUT_STREAM input
            = antlr3StringStreamNew(reinterpret_cast<pANTLR3_UINT8>(empty), ANTLR3_ENC_UTF8, 0,
                                    reinterpret_cast<pANTLR3_UINT8>(empty));
        pKelvoNotesLexer lexer = KelvoNotesLexerNew(input);
        pANTLR3_COMMON_TOKEN_STREAM tokens
            = antlr3CommonTokenStreamSourceNew(ANTLR3_SIZE_HINT, TOKENSOURCE(lexer));
        pKelvoNotesParser parser = KelvoNotesParserNew(tokens);
        QStringList list;
        pANTLR3_UINT8* table = parser->pParser->rec->state->tokenNames;
        for (int type = 0; type <= T__32; ++type)
            list.append(QString::fromLatin1(reinterpret_cast<const char*>(table[type])));
        parser->free(parser);
        tokens->free(tokens);
        lexer->free(lexer);
        input->close(input);
        return list;
    }();
    return names;
}

} // namespace NotesTestSupport
