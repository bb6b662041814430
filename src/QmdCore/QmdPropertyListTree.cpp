#include "QmdPropertyListTree.h"

#include <QCoreApplication>
#include <QIODevice>

#include <cstring>
#include <expat.h>

namespace {

constexpr qint64 readChunkSize = 64 * 1024;
// The most room taken ahead for the elements and the text of a file; beyond it they grow.
constexpr qint64 maxNodesAhead = qint64(1) << 22;
constexpr qint64 maxTextAhead = qint64(64) << 20;

QmdPropertyListTree::Tag knownTag(const char* name)
{
    static const struct
    {
        const char* name;
        QmdPropertyListTree::Tag tag;
    } tags[] = {
        {"key", QmdPropertyListTree::KeyTag},         {"string", QmdPropertyListTree::StringTag},
        {"integer", QmdPropertyListTree::IntegerTag}, {"real", QmdPropertyListTree::RealTag},
        {"true", QmdPropertyListTree::TrueTag},       {"false", QmdPropertyListTree::FalseTag},
        {"dict", QmdPropertyListTree::DictTag},       {"plist", QmdPropertyListTree::PlistTag},
    };
    for (const auto& known : tags) {
        if (std::strcmp(name, known.name) == 0)
            return known.tag;
    }
    return QmdPropertyListTree::OtherTags;
}

} // namespace

// Builds the tree from the parser's events. Elements are kept below the document element and
// below every kept "dict"; the text of a kept element that is not a "dict" is all the text
// inside it, which the arena holds in one piece because nothing else is kept meanwhile.
struct QmdPropertyListTreeBuilder
{
    enum class Kind : quint8 {
        Container, // the document element or a kept "dict": its child elements are kept
        Value, // a kept element that is not a "dict": its text is collected
        InsideValue, // any element inside a Value: its text goes to the Value
        Ignored // below a document element that is not "plist"
    };

    struct Frame
    {
        Kind kind;
        bool isDict;
        quint32 node;
        quint32 lastChild; // for Container frames: the last child kept, 0 when none
    };

    QmdPropertyListTreeBuilder(QmdPropertyListTree* tree, XML_Parser parser)
        : tree(tree)
        , parser(parser)
    { }

    QmdPropertyListTree* tree;
    XML_Parser parser;
    std::vector<Frame> frames;
    int openDicts = 0;
    bool stopped = false;
    QString stopText;
    qint64 stopLine = 0;
    qint64 stopColumn = 0;

    void stop(const QString& text)
    {
        if (stopped)
            return;
        stopped = true;
        stopText = text;
        stopLine = qint64(XML_GetCurrentLineNumber(parser));
        stopColumn = qint64(XML_GetCurrentColumnNumber(parser)) + 1;
        XML_StopParser(parser, XML_FALSE);
    }

    quint32 tagOf(const char* name)
    {
        const QmdPropertyListTree::Tag tag = knownTag(name);
        if (tag != QmdPropertyListTree::OtherTags)
            return tag;
        const QByteArray bytes(name);
        auto it = tree->m_otherTags.constFind(bytes);
        if (it != tree->m_otherTags.cend())
            return it.value();
        const quint32 number
            = quint32(QmdPropertyListTree::OtherTags + tree->m_otherTagNames.size());
        tree->m_otherTagNames.append(bytes);
        tree->m_otherTags.insert(bytes, number);
        return number;
    }

    quint32 addNode(quint32 tag)
    {
        if (tree->m_nodes.size() >= 0xFFFFFFFFu) {
            stop(QCoreApplication::translate("QmdPropertyListImporter",
                                             "The file holds too many elements."));
            return 0;
        }
        tree->m_nodes.push_back({tag, 0, 0, quint32(tree->m_text.size()), 0});
        return quint32(tree->m_nodes.size() - 1);
    }

    void startElement(const char* name, const char** attributes)
    {
        if (stopped)
            return;
        const quint32 tag = knownTag(name);
        const bool isDict = tag == QmdPropertyListTree::DictTag;
        if (isDict && ++openDicts > QmdPropertyListTree::maxContainerDepth) {
            stop(QCoreApplication::translate("QmdPropertyListImporter",
                                             "Containers are nested more than %1 deep.")
                     .arg(QmdPropertyListTree::maxContainerDepth));
            return;
        }

        if (frames.empty()) {
            tree->m_rootName = name;
            const bool isPlist = tag == QmdPropertyListTree::PlistTag;
            if (isPlist) {
                for (const char** a = attributes; a[0]; a += 2) {
                    if (std::strcmp(a[0], "version") == 0) {
                        tree->m_hasVersion = true;
                        tree->m_version = a[1];
                    }
                }
            }
            const quint32 node = addNode(tagOf(name));
            frames.push_back({isPlist ? Kind::Container : Kind::Ignored, isDict, node, 0});
            return;
        }

        Frame& parent = frames.back();
        switch (parent.kind) {
        case Kind::Container: {
            const quint32 node = addNode(tagOf(name));
            if (stopped)
                return;
            if (parent.lastChild == 0)
                tree->m_nodes[parent.node].firstChild = node;
            else
                tree->m_nodes[parent.lastChild].nextSibling = node;
            parent.lastChild = node;
            frames.push_back({isDict ? Kind::Container : Kind::Value, isDict, node, 0});
            break;
        }
        case Kind::Value:
        case Kind::InsideValue:
            frames.push_back({Kind::InsideValue, isDict, parent.node, 0});
            break;
        case Kind::Ignored:
            frames.push_back({Kind::Ignored, isDict, 0, 0});
            break;
        }
    }

    void endElement()
    {
        if (stopped || frames.empty())
            return;
        const Frame frame = frames.back();
        frames.pop_back();
        if (frame.isDict)
            --openDicts;
        if (frame.kind == Kind::Value) {
            QmdPropertyListTree::Node& node = tree->m_nodes[frame.node];
            node.textSize = quint32(tree->m_text.size() - node.textBegin);
        }
    }

    void characters(const char* text, int length)
    {
        if (stopped || frames.empty())
            return;
        const Kind kind = frames.back().kind;
        if (kind != Kind::Value && kind != Kind::InsideValue)
            return;
        if (tree->m_text.size() + length > QmdPropertyListTree::maxTextSize) {
            stop(QCoreApplication::translate("QmdPropertyListImporter",
                                             "The file holds too much text."));
            return;
        }
        tree->m_text.append(text, length);
    }

    static void XMLCALL onStartElement(void* data, const XML_Char* name, const XML_Char** atts)
    {
        static_cast<QmdPropertyListTreeBuilder*>(data)->startElement(name, atts);
    }

    static void XMLCALL onEndElement(void* data, const XML_Char*)
    {
        static_cast<QmdPropertyListTreeBuilder*>(data)->endElement();
    }

    static void XMLCALL onCharacters(void* data, const XML_Char* text, int length)
    {
        static_cast<QmdPropertyListTreeBuilder*>(data)->characters(text, length);
    }
};

bool QmdPropertyListTree::parse(QIODevice* device)
{
    clear();
    if (!device || !device->isReadable()) {
        m_errorText
            = QCoreApplication::translate("QmdPropertyListImporter", "The device cannot be read.");
        return false;
    }

    // The encoding is the one the file declares, or shows by its byte order mark; UTF-8 when
    // it does neither. The text handed on is UTF-8 in every case.
    XML_Parser parser = XML_ParserCreate(nullptr);
    if (!parser) {
        m_errorText = QCoreApplication::translate("QmdPropertyListImporter", "Out of memory.");
        return false;
    }
    // Room for what a file of this size can hold; pages that are never written cost nothing.
    if (!device->isSequential()) {
        const qint64 size = device->size() - device->pos();
        if (size > 0) {
            m_nodes.reserve(size_t(qMin(size / 16 + 16, maxNodesAhead)));
            m_text.reserve(qMin(size, maxTextAhead));
        }
    }
    QmdPropertyListTreeBuilder builder(this, parser);
    XML_SetUserData(parser, &builder);
    XML_SetElementHandler(parser, &QmdPropertyListTreeBuilder::onStartElement,
                          &QmdPropertyListTreeBuilder::onEndElement);
    XML_SetCharacterDataHandler(parser, &QmdPropertyListTreeBuilder::onCharacters);
    // External entities and the external document type are never fetched.
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);

    bool ok = true;
    for (;;) {
        void* buffer = XML_GetBuffer(parser, int(readChunkSize));
        if (!buffer) {
            ok = false;
            break;
        }
        const qint64 length = device->read(static_cast<char*>(buffer), readChunkSize);
        if (length < 0) {
            m_errorText = QCoreApplication::translate("QmdPropertyListImporter",
                                                      "The device cannot be read: %1")
                              .arg(device->errorString());
            m_errorLine = qint64(XML_GetCurrentLineNumber(parser));
            m_errorColumn = qint64(XML_GetCurrentColumnNumber(parser)) + 1;
            XML_ParserFree(parser);
            discardContent();
            return false;
        }
        const bool last = length == 0;
        if (XML_ParseBuffer(parser, int(length), last) != XML_STATUS_OK) {
            ok = false;
            break;
        }
        if (last)
            break;
    }

    if (!ok) {
        if (builder.stopped) {
            m_errorText = builder.stopText;
            m_errorLine = builder.stopLine;
            m_errorColumn = builder.stopColumn;
        } else {
            m_errorText = QString::fromUtf8(XML_ErrorString(XML_GetErrorCode(parser)));
            m_errorLine = qint64(XML_GetCurrentLineNumber(parser));
            m_errorColumn = qint64(XML_GetCurrentColumnNumber(parser)) + 1;
        }
    }
    XML_ParserFree(parser);
    if (!ok)
        discardContent();
    return ok;
}

void QmdPropertyListTree::clear()
{
    discardContent();
    m_errorText.clear();
    m_errorLine = 0;
    m_errorColumn = 0;
}

void QmdPropertyListTree::discardContent()
{
    std::vector<Node>().swap(m_nodes);
    m_text = QByteArray();
    m_otherTagNames.clear();
    m_otherTags.clear();
    m_rootName.clear();
    m_version.clear();
    m_hasVersion = false;
}

QString QmdPropertyListTree::tagName(quint32 index) const
{
    const quint32 tag = m_nodes[index].tag;
    switch (tag) {
    case PlistTag:
        return QStringLiteral("plist");
    case DictTag:
        return QStringLiteral("dict");
    case KeyTag:
        return QStringLiteral("key");
    case StringTag:
        return QStringLiteral("string");
    case IntegerTag:
        return QStringLiteral("integer");
    case RealTag:
        return QStringLiteral("real");
    case TrueTag:
        return QStringLiteral("true");
    case FalseTag:
        return QStringLiteral("false");
    default:
        return QString::fromUtf8(m_otherTagNames.at(tag - OtherTags));
    }
}
