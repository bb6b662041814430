#include "QmdPropertyListExporter.h"

#include <QFileDevice>
#include <QPointer>

namespace {

const QString documentType
    = QStringLiteral("<!DOCTYPE plist PUBLIC \"-//Apple Computer//DTD PLIST 1.0//EN\" "
                     "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">");

bool isXmlChar(char16_t c)
{
    if (c < 0x20)
        return c == 0x9 || c == 0xA || c == 0xD;
    return c != 0xFFFE && c != 0xFFFF;
}

} // namespace

// Gathers what the stream writer writes, in many small pieces, and hands it to the device in
// large ones. Without a device it takes every byte and keeps none, so that the steps of a
// write that cannot succeed still run through. A write to the device that fails makes this
// device fail every write from then on.
class QmdPropertyListExporter::ChunkDevice : public QIODevice
{
public:
    static constexpr qsizetype chunkSize = 64 * 1024;

    ChunkDevice() { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }

    void setTarget(QIODevice* target)
    {
        m_target = target;
        m_discarding = !target;
        m_pending.clear();
        m_failed = false;
    }
    bool failed() const { return m_failed; }

    // Hands everything gathered to the device. A device destroyed meanwhile is a failure.
    bool flushToTarget()
    {
        if (!m_failed && !m_discarding && !m_pending.isEmpty()) {
            if (!m_target || m_target->write(m_pending) != m_pending.size())
                m_failed = true;
        }
        m_pending.clear();
        return !m_failed;
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 length) override
    {
        if (m_discarding)
            return length;
        if (m_failed)
            return -1;
        if (m_pending.capacity() < chunkSize)
            m_pending.reserve(chunkSize);
        m_pending.append(data, qsizetype(length));
        if (m_pending.size() >= chunkSize && !flushToTarget())
            return -1;
        return length;
    }

private:
    QPointer<QIODevice> m_target;
    QByteArray m_pending;
    bool m_discarding = true;
    bool m_failed = false;
};

QmdPropertyListExporter::QmdPropertyListExporter(QmdModel* model, QIODevice* device,
                                                 QObject* parent)
    : QmdImportExportInterface(model, device, parent)
    , m_chunks(std::make_unique<ChunkDevice>())
    , m_writer(std::make_unique<QXmlStreamWriter>(m_chunks.get()))
{ }

QmdPropertyListExporter::~QmdPropertyListExporter()
{
    m_chunks->flushToTarget();
}

bool QmdPropertyListExporter::writeDocument(const QmdIndex& item)
{
    writeDocumentStart();
    if (!m_excluded.contains(item))
        writeItem(item);
    writeDocumentEnd();
    return !hasError();
}

void QmdPropertyListExporter::writeDocumentStart()
{
    m_depth = 0;
    m_failed = false;
    QIODevice* target = device();
    const bool writable = target && target->isWritable();
    m_chunks->setTarget(writable ? target : nullptr);
    m_failed = !writable;
    m_writer = std::make_unique<QXmlStreamWriter>(m_chunks.get());
    m_writer->setAutoFormatting(true);
    m_writer->setAutoFormattingIndent(4);
    m_writer->writeStartDocument();
    m_writer->writeDTD(documentType);
    m_writer->writeStartElement(QStringLiteral("plist"));
    m_writer->writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
}

void QmdPropertyListExporter::writeKeyedItem(const QmdIndex& item)
{
    writeTextElement(QStringLiteral("key"), item.toString());
    writeItem(item);
}

void QmdPropertyListExporter::writeItem(const QmdIndex& item)
{
    switch (directType(item)) {
    case Qmd::IntDict:
        writeIntDict(directChildren(item));
        break;
    case Qmd::StrDict:
        writeStrDict(directChildren(item));
        break;
    case Qmd::NoContainer:
        writeValue(item);
        break;
    }
}

void QmdPropertyListExporter::writeDocumentEnd()
{
    // Only the element: ending the document would add a line break after it.
    m_writer->writeEndElement();
    m_chunks->flushToTarget();
    if (auto* file = qobject_cast<QFileDevice*>(device())) {
        if (file->isWritable() && !file->flush())
            m_failed = true;
    }
}

void QmdPropertyListExporter::writeIntDict(const QmdIndexList& children)
{
    writeDict(QStringLiteral("IntDict"), children);
}

void QmdPropertyListExporter::writeStrDict(const QmdIndexList& children)
{
    writeDict(QStringLiteral("StrDict"), children);
}

void QmdPropertyListExporter::writeValue(const QmdIndex& item)
{
    const QVariant value = directData(item);
    switch (value.typeId()) {
    case QMetaType::Bool:
        m_writer->writeEmptyElement(value.toBool() ? QStringLiteral("true")
                                                   : QStringLiteral("false"));
        break;
    case QMetaType::Int:
        writeTextElement(QStringLiteral("integer"), QString::number(value.toInt()));
        break;
    case QMetaType::UInt:
        writeTextElement(QStringLiteral("integer"), QString::number(value.toUInt()));
        break;
    case QMetaType::LongLong:
        writeTextElement(QStringLiteral("integer"), QString::number(value.toLongLong()));
        break;
    case QMetaType::ULongLong:
        writeTextElement(QStringLiteral("integer"), QString::number(value.toULongLong()));
        break;
    case QMetaType::Double:
        writeTextElement(QStringLiteral("real"), QString::number(value.toDouble(), 'g', 15));
        break;
    default:
        writeTextElement(QStringLiteral("string"), value.toString());
        break;
    }
}

void QmdPropertyListExporter::writeDict(const QString& containerType, const QmdIndexList& children)
{
    ++m_depth;
    m_writer->writeStartElement(QStringLiteral("dict"));
    writeTextElement(QStringLiteral("key"), QStringLiteral("ContainerType"));
    writeTextElement(QStringLiteral("string"), containerType);
    if (m_depth > maxContainerDepth) {
        m_failed = true;
    } else {
        for (const QmdIndex& child : children) {
            if (!m_excluded.contains(child))
                writeKeyedItem(child);
        }
    }
    m_writer->writeEndElement();
    --m_depth;
}

void QmdPropertyListExporter::setExcludedIndexes(const QSet<QmdIndex>& indexes)
{
    m_excluded = indexes;
}

void QmdPropertyListExporter::addExcludedIndex(const QmdIndex& index)
{
    m_excluded.insert(index);
}

void QmdPropertyListExporter::addExcludedIndexes(const QSet<QmdIndex>& indexes)
{
    m_excluded.unite(indexes);
}

bool QmdPropertyListExporter::hasError() const
{
    return m_failed || m_chunks->failed() || m_writer->hasError();
}

QString QmdPropertyListExporter::xmlSafeText(const QString& text)
{
    const qsizetype size = text.size();
    const QChar* data = text.constData();
    // Most text is clean: return it as it is, without a copy.
    qsizetype i = 0;
    for (; i < size; ++i) {
        const char16_t c = data[i].unicode();
        if (QChar::isSurrogate(c) || !isXmlChar(c))
            break;
    }
    if (i == size)
        return text;

    QString clean;
    clean.reserve(size);
    clean.append(data, i);
    for (; i < size; ++i) {
        const char16_t c = data[i].unicode();
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 < size && QChar::isLowSurrogate(data[i + 1].unicode())) {
                clean.append(data[i]);
                clean.append(data[i + 1]);
                ++i;
            }
        } else if (!QChar::isLowSurrogate(c) && isXmlChar(c)) {
            clean.append(data[i]);
        }
    }
    return clean;
}

void QmdPropertyListExporter::writeTextElement(const QString& name, const QString& text)
{
    const QString clean = xmlSafeText(text);
    if (!clean.contains(QLatin1Char('\r'))) {
        m_writer->writeTextElement(name, clean);
        return;
    }
    m_writer->writeStartElement(name);
    const QStringList parts = clean.split(QLatin1Char('\r'));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            m_writer->writeEntityReference(QStringLiteral("#13"));
        if (!parts[i].isEmpty())
            m_writer->writeCharacters(parts[i]);
    }
    m_writer->writeEndElement();
}
