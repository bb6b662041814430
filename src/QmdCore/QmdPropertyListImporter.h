#ifndef QMDPROPERTYLISTIMPORTER_H
#define QMDPROPERTYLISTIMPORTER_H

#include "QmdImportExportInterface.h"
#include "QmdPropertyListTree.h"

#include <QDomDocument>
#include <QDomElement>
#include <QDomText>
#include <QHash>
#include <QSet>
#include <QVariant>

#include <memory>
#include <vector>

// One element of the file that an importer is reading. Valid only while the importer that
// handed it out is reading.
class QmdPropertyListElement
{
public:
    QmdPropertyListElement() = default;

    bool isNull() const { return !m_tree; }
    QString tagName() const;
    // All the text inside the element.
    QString text() const;
    QmdPropertyListElement firstChildElement() const;
    QmdPropertyListElement nextSiblingElement() const;

private:
    friend class QmdPropertyListImporter;

    QmdPropertyListElement(const QmdPropertyListTree* tree, quint32 node)
        : m_tree(tree)
        , m_node(node)
    { }
    bool hasTag(QmdPropertyListTree::Tag tag) const
    {
        return m_tree && m_tree->node(m_node).tag == tag;
    }
    QByteArrayView textView() const { return m_tree->textOf(m_node); }

    const QmdPropertyListTree* m_tree = nullptr;
    quint32 m_node = 0;
};

// Reads an XML property list from the device into the model (see QmdPropertyListExporter for
// the format). The whole file is parsed and checked before anything in the model changes: a
// file that is not well-formed, whose root is not "plist", whose "plist" has a version other
// than "1.0", that nests more than maxContainerDepth containers, or whose top item cannot be
// stored (there is none, it is a "dict" without a valid "ContainerType", or an element that
// gives no value) is refused whole, with a message on the debug stream. Entries that are malformed
// in an accepted file are skipped, each with a message, and the rest is read.
//
// Every step that reads one item is virtual: a subclass changes how single values are read
// by replacing readValue(), which is told the item so that it can decide by key and position.
//
// The model changes per container, never per item: the child containers of a "dict" are made
// together, and its values are stored together when the "dict" has been read.
class QmdPropertyListImporter : public QmdImportExportInterface
{
    Q_OBJECT

public:
    static constexpr int maxContainerDepth = QmdPropertyListTree::maxContainerDepth;

    QmdPropertyListImporter(QmdModel* model, QIODevice* device, QObject* parent = nullptr);
    ~QmdPropertyListImporter() override;

    // Reads the device to its end and stores the file's item at target, usually the root
    // QmdIndex(). Returns false when the file was refused; nothing was stored then.
    virtual bool readDocument(const QmdIndex& target = QmdIndex());
    // Stores one element at item: a "dict" becomes a container of the type its
    // "ContainerType" entry names, with its entries below it; any other element is a value,
    // from readValue(), stored unless it is null.
    virtual void readItem(const QmdPropertyListElement& element, const QmdIndex& item);
    // The value of a value element: "real" a double (0.0 for text that is not a number);
    // "integer" an int, or a qlonglong or qulonglong when the number needs 64 bits (0 for
    // text that is not a number); "string" its text, never a null string; "true" and
    // "false" a bool; a null QVariant for any other element.
    virtual QVariant readValue(const QDomElement& element, const QmdIndex& item);

protected:
    // Stores the value read for item, unless it is null. Values of the container being read
    // are gathered and stored when the container is finished.
    void storeValue(const QmdIndex& item, const QVariant& value);
    // The element as a DOM element holding its tag and its text. The DOM element is reused
    // for the next element of the same tag: read what is needed before returning.
    QDomElement domElement(const QmdPropertyListElement& element);

private:
    struct Level;
    template<class K>
    struct Scratch;

    static Qmd::ContainerType containerTypeOf(const QmdPropertyListElement& dict);
    bool canStoreTopItem(const QmdPropertyListElement& element, const QmdIndex& target);
    template<class K>
    void readEntries(const QmdPropertyListElement& dict, const QmdIndex& item);
    bool keyFor(QByteArrayView text, QmdItemId* id);
    bool keyFor(QByteArrayView text, QString* key);
    void finishReading();

    QmdPropertyListTree m_tree;
    QDomDocument m_document;
    struct ScratchElement
    {
        QDomElement element;
        QDomText text;
    };
    QHash<quint32, ScratchElement> m_scratch;
    // Keys of string-keyed containers, shared by every container that uses them.
    QHash<QByteArrayView, QString> m_keys;
    // The tables of the containers being read, one level per depth, kept from one container
    // to the next so that reading a file does not allocate them anew for every container.
    std::vector<std::unique_ptr<Level>> m_levels;
    int m_depth = 0;
};

#endif // QMDPROPERTYLISTIMPORTER_H
