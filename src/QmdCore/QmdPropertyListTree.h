#ifndef QMDPROPERTYLISTTREE_H
#define QMDPROPERTYLISTTREE_H

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>

#include <vector>

class QIODevice;

// A property-list file as the reader keeps it after parsing: the document element and every
// element that can be a key, a value or a container, with its tag and its text. An element
// inside a value is not kept as an element of its own; its text counts as the value's text.
//
// Parsing checks the whole file before anything is read from it: the file must be well-formed
// XML and may not nest more than maxContainerDepth "dict" elements.
class QmdPropertyListTree
{
public:
    static constexpr int maxContainerDepth = 256;
    // The most text the tree keeps, in bytes of UTF-8.
    static constexpr qsizetype maxTextSize = qsizetype(1) << 30;

    enum Tag : quint32 {
        PlistTag,
        DictTag,
        KeyTag,
        StringTag,
        IntegerTag,
        RealTag,
        TrueTag,
        FalseTag,
        OtherTags // tags of other names are numbered from here on
    };

    struct Node
    {
        quint32 tag;
        quint32 firstChild; // 0 when none: node 0 is the document element, never a child
        quint32 nextSibling; // 0 when none
        quint32 textBegin; // byte offset in text()
        quint32 textSize;
    };

    // Reads the device to its end and parses it. Returns false when it could not be read or
    // is not acceptable; errorText(), errorLine() and errorColumn() then tell why and where.
    bool parse(QIODevice* device);
    void clear();

    bool isEmpty() const { return m_nodes.empty(); }
    const Node& node(quint32 index) const { return m_nodes[index]; }
    QByteArrayView textOf(quint32 index) const
    {
        const Node& n = m_nodes[index];
        return QByteArrayView(m_text.constData() + n.textBegin, n.textSize);
    }
    QString tagName(quint32 index) const;

    // The document element's name and its "version" attribute.
    QString rootName() const { return QString::fromUtf8(m_rootName); }
    bool hasVersion() const { return m_hasVersion; }
    QString version() const { return QString::fromUtf8(m_version); }

    const QString& errorText() const { return m_errorText; }
    qint64 errorLine() const { return m_errorLine; }
    qint64 errorColumn() const { return m_errorColumn; }

private:
    friend struct QmdPropertyListTreeBuilder;

    // Frees what was kept but leaves the error as it is.
    void discardContent();

    std::vector<Node> m_nodes;
    QByteArray m_text;
    QList<QByteArray> m_otherTagNames;
    QHash<QByteArray, quint32> m_otherTags;
    QByteArray m_rootName;
    QByteArray m_version;
    bool m_hasVersion = false;

    QString m_errorText;
    qint64 m_errorLine = 0;
    qint64 m_errorColumn = 0;
};

#endif // QMDPROPERTYLISTTREE_H
