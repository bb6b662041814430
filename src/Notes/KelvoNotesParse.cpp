#include "KelvoNotesParse.h"

#include "KelvoNotesLimits.h"

#include <limits>
#include <mutex>

// Generated headers last: they define token macros (UINT, SIGN, WS, ...) and undefine EOF.
#include "KelvoNotesLexer.h"
#include "KelvoNotesParser.h"

namespace KelvoNotes {

namespace {

// Serialises every use of the generated parser, whose colon counter and group depth are
// file-level statics.
std::mutex& parserMutex()
{
    static std::mutex mutex;
    return mutex;
}

void displayNothing(pANTLR3_BASE_RECOGNIZER, pANTLR3_UINT8*) { }

// The runtime objects of one parse, freed in the order parser, token stream, lexer, input.
struct ParseObjects
{
    pANTLR3_INPUT_STREAM input = nullptr;
    pKelvoNotesLexer lexer = nullptr;
    pANTLR3_COMMON_TOKEN_STREAM tokens = nullptr;
    pKelvoNotesParser parser = nullptr;

    ParseObjects() = default;
    ParseObjects(const ParseObjects&) = delete;
    ParseObjects& operator=(const ParseObjects&) = delete;

    ~ParseObjects()
    {
        if (parser)
            parser->free(parser);
        if (tokens)
            tokens->free(tokens);
        if (lexer)
            lexer->free(lexer);
        if (input)
            input->close(input);
    }
};

bool isUtf8ParagraphSeparator(const char* p, const char* end)
{
    // U+2029 is E2 80 A9 in UTF-8.
    return end - p >= 3 && static_cast<unsigned char>(p[0]) == 0xE2
        && static_cast<unsigned char>(p[1]) == 0x80 && static_cast<unsigned char>(p[2]) == 0xA9;
}

} // namespace

int notesNestingDepth(const QByteArray& utf8)
{
    const char* p = utf8.constData();
    const char* const end = p + utf8.size();
    int depth = 0;
    int deepest = 0;
    while (p < end) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '/' && end - p >= 2 && p[1] == '/') {
            // A line comment runs to a line end. It cannot hold a character beyond U+FFFF
            // (a four-byte sequence, lead byte 0xF0 and up): the lexer ends it there too.
            p += 2;
            while (p < end) {
                const auto d = static_cast<unsigned char>(*p);
                if (d == '\n' || d == '\f' || d == '\r' || d >= 0xF0
                    || isUtf8ParagraphSeparator(p, end))
                    break;
                ++p;
            }
            continue;
        }
        if (c == '(' || c == '[' || c == '{') {
            ++depth;
            if (depth > deepest)
                deepest = depth;
        } else if ((c == ')' || c == ']' || c == '}') && depth > 0) {
            --depth;
        }
        ++p;
    }
    return deepest;
}

bool parseNotes(const QString& notes, const NotesParseCallback& callback)
{
    const QByteArray utf8 = notes.toUtf8();

    // Deep nesting is refused before the recursive descent parser could exhaust the stack.
    // The grammar has its own limit as well, for texts whose brackets the lexer or the
    // parser's error recovery read differently from this count (those texts are invalid).
    // Offsets in the token map are ints, so a text beyond 2 GiB is refused as well.
    if (utf8.size() > std::numeric_limits<int>::max()
        || notesNestingDepth(utf8) > KELVO_NOTES_MAX_DEPTH) {
        if (callback)
            callback(false, nullptr, nullptr);
        return false;
    }

    ParseObjects objects;
    KelvoNotesParser_notes_return result {};
    bool ok = false;
    {
        std::lock_guard<std::mutex> lock(parserMutex());

        // The runtime only reads the bytes; its interface takes them as non-const.
        auto* data = reinterpret_cast<pANTLR3_UINT8>(const_cast<char*>(utf8.constData()));
        objects.input
            = antlr3StringStreamNew(data, ANTLR3_ENC_UTF8, static_cast<ANTLR3_UINT32>(utf8.size()),
                                    reinterpret_cast<pANTLR3_UINT8>(const_cast<char*>("input")));
        if (objects.input)
            objects.lexer = KelvoNotesLexerNew(objects.input);
        if (objects.lexer) {
            objects.lexer->pLexer->rec->displayRecognitionError = displayNothing;
            objects.tokens
                = antlr3CommonTokenStreamSourceNew(ANTLR3_SIZE_HINT, TOKENSOURCE(objects.lexer));
        }
        if (objects.tokens)
            objects.parser = KelvoNotesParserNew(objects.tokens);
        if (objects.parser) {
            objects.parser->pParser->rec->displayRecognitionError = displayNothing;

            // The token stream reads the whole text at the parser's first look-ahead, so both
            // error counts are final when the start rule returns.
            result = objects.parser->notes(objects.parser);
            ok = objects.lexer->pLexer->rec->state->errorCount == 0
                && objects.parser->pParser->rec->state->errorCount == 0;
        }
    }

    if (!objects.parser) {
        // The runtime could not allocate its objects.
        if (callback)
            callback(false, nullptr, nullptr);
        return false;
    }

    // The tree belongs to this parse's own objects; no shared state is left in use.
    if (callback)
        callback(ok, objects.parser->adaptor, result.tree);
    return ok;
}

} // namespace KelvoNotes
