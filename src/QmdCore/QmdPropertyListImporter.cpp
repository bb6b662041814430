#include "QmdPropertyListImporter.h"

#include <QDebug>

namespace {

const QByteArrayView containerTypeKey("ContainerType");

void debugMessage(const QString& text)
{
    qDebug().noquote() << text;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// QmdPropertyListElement

QString QmdPropertyListElement::tagName() const
{
    return m_tree ? m_tree->tagName(m_node) : QString();
}

QString QmdPropertyListElement::text() const
{
    return m_tree ? QString::fromUtf8(m_tree->textOf(m_node)) : QString();
}

QmdPropertyListElement QmdPropertyListElement::firstChildElement() const
{
    if (!m_tree || m_tree->node(m_node).firstChild == 0)
        return QmdPropertyListElement();
    return QmdPropertyListElement(m_tree, m_tree->node(m_node).firstChild);
}

QmdPropertyListElement QmdPropertyListElement::nextSiblingElement() const
{
    if (!m_tree || m_tree->node(m_node).nextSibling == 0)
        return QmdPropertyListElement();
    return QmdPropertyListElement(m_tree, m_tree->node(m_node).nextSibling);
}

// ---------------------------------------------------------------------------------------------
// The tables used while one "dict" is read. A key may stand more than once in a "dict"; then
// only its last entry is read, since each entry replaces whatever an earlier one stored.

namespace {

// Empties a hash but keeps its storage for the next container.
template<class H>
void emptyKeepingStorage(H& hash)
{
    if (!hash.isEmpty())
        hash.removeIf([](const auto&) { return true; });
}

} // namespace

template<class K>
struct QmdPropertyListImporter::Scratch
{
    struct Entry
    {
        K key;
        QmdPropertyListElement value;
        Qmd::ContainerType type = Qmd::NoContainer;
        bool replaced = false; // a later entry has the same key
    };

    QList<Entry> entries;
    QHash<K, qsizetype> positions; // of each key's last entry
    QHash<K, QVariant> placeholders; // items that hold no value until their value is read
    QHash<K, Qmd::ContainerType> types; // the child containers
    QHash<K, QVariant> values; // the values read, stored when the container is finished

    void reset()
    {
        entries.clear();
        emptyKeepingStorage(positions);
        emptyKeepingStorage(placeholders);
        emptyKeepingStorage(types);
        emptyKeepingStorage(values);
    }
};

struct QmdPropertyListImporter::Level
{
    Scratch<QmdItemId> ids;
    Scratch<QString> keys;
    QmdIndex current; // the entry being read
    bool containerMade = false; // its container was made with the others of its "dict"

    Scratch<QmdItemId>& scratch(QmdItemId*) { return ids; }
    Scratch<QString>& scratch(QString*) { return keys; }
};

// ---------------------------------------------------------------------------------------------
// QmdPropertyListImporter

QmdPropertyListImporter::QmdPropertyListImporter(QmdModel* model, QIODevice* device,
                                                 QObject* parent)
    : QmdImportExportInterface(model, device, parent)
{ }

QmdPropertyListImporter::~QmdPropertyListImporter() = default;

bool QmdPropertyListImporter::readDocument(const QmdIndex& target)
{
    if (!m_tree.parse(device())) {
        debugMessage(tr("Parse error at line %1, column %2:\n%3")
                         .arg(m_tree.errorLine())
                         .arg(m_tree.errorColumn())
                         .arg(m_tree.errorText()));
        finishReading();
        return false;
    }
    if (m_tree.rootName() != QLatin1String("plist")) {
        debugMessage(tr("The file is not a plist file."));
        finishReading();
        return false;
    }
    if (m_tree.hasVersion() && m_tree.version() != QLatin1String("1.0")) {
        debugMessage(tr("The file is not a plist version 1.0 file."));
        finishReading();
        return false;
    }
    m_depth = 0;
    const QmdPropertyListElement top = QmdPropertyListElement(&m_tree, 0).firstChildElement();
    if (!canStoreTopItem(top, target)) {
        debugMessage(tr("The file holds no item that can be read."));
        finishReading();
        return false;
    }
    readItem(top, target);
    finishReading();
    return true;
}

bool QmdPropertyListImporter::canStoreTopItem(const QmdPropertyListElement& element,
                                              const QmdIndex& target)
{
    if (element.isNull())
        return false;
    if (element.hasTag(QmdPropertyListTree::DictTag))
        return containerTypeOf(element) != Qmd::NoContainer;
    return !readValue(domElement(element), target).isNull();
}

void QmdPropertyListImporter::finishReading()
{
    m_tree.clear();
    m_scratch.clear();
    m_keys.clear();
    m_levels.clear();
    m_depth = 0;
}

void QmdPropertyListImporter::readItem(const QmdPropertyListElement& element, const QmdIndex& item)
{
    if (!element.hasTag(QmdPropertyListTree::DictTag)) {
        storeValue(item, readValue(domElement(element), item));
        return;
    }
    const Qmd::ContainerType type = containerTypeOf(element);
    if (type == Qmd::NoContainer) {
        debugMessage(QStringLiteral("TODO: handle ContainerType error"));
        return;
    }
    const Level* level = m_depth > 0 ? m_levels[m_depth - 1].get() : nullptr;
    if (item == QmdIndex())
        directSetRootType(type);
    else if (!level || !level->containerMade || item != level->current)
        directSetType(item, type);
    if (type == Qmd::IntDict)
        readEntries<QmdItemId>(element, item);
    else
        readEntries<QString>(element, item);
}

QVariant QmdPropertyListImporter::readValue(const QDomElement& element, const QmdIndex&)
{
    if (element.isNull())
        return QVariant();
    const QString tag = element.tagName();
    if (tag == QLatin1String("real"))
        return element.text().toDouble();
    if (tag == QLatin1String("integer")) {
        const QString text = element.text();
        bool ok = false;
        const int value = text.toInt(&ok);
        if (ok)
            return value;
        const qlonglong wide = text.toLongLong(&ok);
        if (ok)
            return wide;
        const qulonglong unsignedWide = text.toULongLong(&ok);
        if (ok)
            return unsignedWide;
        return 0;
    }
    if (tag == QLatin1String("string")) {
        const QString text = element.text();
        return text.isNull() ? QString(QLatin1String("")) : text;
    }
    if (tag == QLatin1String("true"))
        return true;
    if (tag == QLatin1String("false"))
        return false;
    return QVariant();
}

void QmdPropertyListImporter::storeValue(const QmdIndex& item, const QVariant& value)
{
    Level* level = m_depth > 0 ? m_levels[m_depth - 1].get() : nullptr;
    if (level && item == level->current) {
        if (value.isNull())
            return;
        if (item.itemId() != 0)
            level->ids.values.insert(item.itemId(), value);
        else
            level->keys.values.insert(item.key(), value);
        return;
    }
    if (value.isNull())
        return;
    if (item == QmdIndex())
        directSetRoot(value);
    else
        directSetData(item, value);
}

QDomElement QmdPropertyListImporter::domElement(const QmdPropertyListElement& element)
{
    if (element.isNull())
        return QDomElement();
    const quint32 tag = element.m_tree->node(element.m_node).tag;
    auto it = m_scratch.find(tag);
    if (it == m_scratch.end()) {
        ScratchElement scratch;
        scratch.element = m_document.createElement(element.tagName());
        scratch.text = m_document.createTextNode(QString());
        scratch.element.appendChild(scratch.text);
        it = m_scratch.insert(tag, scratch);
    }
    it->text.setData(QString::fromUtf8(element.textView()));
    return it->element;
}

Qmd::ContainerType QmdPropertyListImporter::containerTypeOf(const QmdPropertyListElement& dict)
{
    // The first "ContainerType" key counts, wherever it stands; its value must be a string.
    for (QmdPropertyListElement child = dict.firstChildElement(); !child.isNull();
         child = child.nextSiblingElement()) {
        if (!child.hasTag(QmdPropertyListTree::KeyTag) || child.textView() != containerTypeKey)
            continue;
        const QmdPropertyListElement value = child.nextSiblingElement();
        if (!value.hasTag(QmdPropertyListTree::StringTag))
            return Qmd::NoContainer;
        const QByteArrayView name = value.textView();
        if (name == QByteArrayView("IntDict"))
            return Qmd::IntDict;
        if (name == QByteArrayView("StrDict"))
            return Qmd::StrDict;
        return Qmd::NoContainer;
    }
    return Qmd::NoContainer;
}

bool QmdPropertyListImporter::keyFor(QByteArrayView text, QmdItemId* id)
{
    bool ok = false;
    *id = QString::fromUtf8(text).toUInt(&ok, 10);
    return ok && *id != 0;
}

bool QmdPropertyListImporter::keyFor(QByteArrayView text, QString* key)
{
    auto it = m_keys.constFind(text);
    if (it == m_keys.cend())
        it = m_keys.insert(text, QString::fromUtf8(text));
    *key = it.value();
    return true;
}

template<class K>
void QmdPropertyListImporter::readEntries(const QmdPropertyListElement& dict, const QmdIndex& item)
{
    if (size_t(m_depth) == m_levels.size())
        m_levels.push_back(std::make_unique<Level>());
    Level& level = *m_levels[m_depth];
    Scratch<K>& scratch = level.scratch(static_cast<K*>(nullptr));
    scratch.reset();

    QmdPropertyListElement cursor = dict.firstChildElement();
    while (!cursor.isNull()) {
        if (cursor.hasTag(QmdPropertyListTree::KeyTag)) {
            const QByteArrayView text = cursor.textView();
            if (text.isEmpty()) {
                // The value after an empty key is skipped with it.
                debugMessage(QStringLiteral("TODO: handle key INVALID error"));
                cursor = cursor.nextSiblingElement();
            } else if (text == containerTypeKey) {
                cursor = cursor.nextSiblingElement();
            } else {
                cursor = cursor.nextSiblingElement();
                if (cursor.hasTag(QmdPropertyListTree::KeyTag)) {
                    // The first key is dropped and the second taken as its value, so the
                    // second key's value comes next without a key.
                    debugMessage(QStringLiteral("TODO: handle twos idList in a row error"));
                } else {
                    K key;
                    if (keyFor(text, &key)) {
                        const qsizetype position = scratch.entries.size();
                        auto earlier = scratch.positions.find(key);
                        if (earlier != scratch.positions.end()) {
                            scratch.entries[*earlier].replaced = true;
                            *earlier = position;
                        } else {
                            scratch.positions.insert(key, position);
                        }
                        scratch.entries.append({key, cursor});
                    } else {
                        // No id that the container can hold: nothing is stored for it.
                        debugMessage(QStringLiteral("TODO: handle key INVALID error"));
                    }
                }
            }
        } else {
            debugMessage(QStringLiteral("TODO: handle key MISSING error"));
        }
        if (!cursor.isNull())
            cursor = cursor.nextSiblingElement();
    }
    if (scratch.entries.isEmpty())
        return;

    // Every entry's item exists before its element is read: child containers are made, all
    // at once, and the other items hold no value until theirs has been read. So a key without
    // a value element, or with one that gives no value, leaves an item that holds no value.
    for (auto& entry : scratch.entries) {
        if (entry.replaced)
            continue;
        if (entry.value.hasTag(QmdPropertyListTree::DictTag))
            entry.type = containerTypeOf(entry.value);
        if (entry.type != Qmd::NoContainer)
            scratch.types.insert(entry.key, entry.type);
        else
            scratch.placeholders.insert(entry.key, QVariant());
    }
    if (!scratch.placeholders.isEmpty())
        directSetData(scratch.placeholders, item);
    if (!scratch.types.isEmpty())
        directSetTypes(scratch.types, item);

    ++m_depth;
    for (const auto& entry : std::as_const(scratch.entries)) {
        if (entry.replaced)
            continue;
        const QmdIndex child = directIndex(entry.key, item);
        if (!child.isValid())
            continue;
        level.current = child;
        level.containerMade = entry.type != Qmd::NoContainer;
        readItem(entry.value, child);
    }
    level.current = QmdIndex();
    level.containerMade = false;
    --m_depth;

    if (!scratch.values.isEmpty())
        directSetData(scratch.values, item);
}
