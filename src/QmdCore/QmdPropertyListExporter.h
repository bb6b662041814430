#ifndef QMDPROPERTYLISTEXPORTER_H
#define QMDPROPERTYLISTEXPORTER_H

#include "QmdImportExportInterface.h"

#include <QSet>
#include <QString>
#include <QXmlStreamWriter>

#include <memory>

// Writes a subtree of a model to the device as an XML property list, version 1.0, UTF-8,
// indented by four spaces per level. Every container is a "dict" whose first entry names its
// container type ("IntDict" or "StrDict"); its other entries are its children, each a "key"
// element followed by the child's element, in the order in which the model lists them.
//
// Every step that writes one item is virtual: a subclass changes how single values become text
// by replacing writeValue(), while the container structure stays the same.
//
// Items in the excluded set are not written, and neither is anything below them.
class QmdPropertyListExporter : public QmdImportExportInterface
{
    Q_OBJECT

public:
    // Containers nested deeper than this are not written, and the write fails: the reader
    // refuses files nested deeper.
    static constexpr int maxContainerDepth = 256;

    QmdPropertyListExporter(QmdModel* model, QIODevice* device, QObject* parent = nullptr);
    ~QmdPropertyListExporter() override;

    // Writes the whole file for the subtree at item (QmdIndex() is the root of the model).
    // Returns true when all of it reached the device; false when the device is missing or not
    // writable, when a write failed, or when the tree is nested too deeply.
    virtual bool writeDocument(const QmdIndex& item = QmdIndex());
    // The head: the XML declaration, the document type and the opening "plist" element.
    virtual void writeDocumentStart();
    // A "key" element with the item's text form, then the item itself.
    virtual void writeKeyedItem(const QmdIndex& item);
    // The item's element: a "dict" for a container, writeValue() for a plain value.
    virtual void writeItem(const QmdIndex& item);
    // Closes "plist", and flushes the device when it is a file.
    virtual void writeDocumentEnd();
    virtual void writeIntDict(const QmdIndexList& children);
    virtual void writeStrDict(const QmdIndexList& children);
    // One plain value: bool as "true" or "false"; int, uint, qlonglong and qulonglong as
    // "integer" (the reader gives back every integer in one of these types, so an integer
    // stays an integer however often a document is saved and loaded);
    // double as "real" with up to 15 significant digits; anything else as "string" with its
    // generic text conversion (empty when it has none).
    virtual void writeValue(const QmdIndex& item);

    // A "dict" with the container type pair first, then every child that is not excluded.
    void writeDict(const QString& containerType, const QmdIndexList& children);

    const QSet<QmdIndex>& excludedIndexes() const { return m_excluded; }
    void setExcludedIndexes(const QSet<QmdIndex>& indexes);
    void addExcludedIndex(const QmdIndex& index);
    void addExcludedIndexes(const QSet<QmdIndex>& indexes);

    // Whether anything failed since writeDocumentStart(): the device was missing or not
    // writable, a write or the final flush failed, or the tree was nested too deeply.
    bool hasError() const;

    // text without the characters that XML 1.0 does not allow: control characters other than
    // tab, line feed and carriage return, unpaired surrogates, U+FFFE and U+FFFF.
    static QString xmlSafeText(const QString& text);

protected:
    QXmlStreamWriter& xmlWriter() { return *m_writer; }
    // An element holding text, on one line. Characters that XML does not allow are dropped,
    // and carriage returns are written as character references so that they read back as
    // they are instead of as line feeds.
    void writeTextElement(const QString& name, const QString& text);

private:
    class ChunkDevice;

    std::unique_ptr<ChunkDevice> m_chunks;
    std::unique_ptr<QXmlStreamWriter> m_writer;
    QSet<QmdIndex> m_excluded;
    int m_depth = 0;
    bool m_failed = false;
};

#endif // QMDPROPERTYLISTEXPORTER_H
