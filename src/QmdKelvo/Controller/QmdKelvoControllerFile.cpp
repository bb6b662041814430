// The document file of QmdKelvoController: saving and loading ".kvd" files.

#include "QmdKelvoController.h"

#include "QmdKelvoFile.h"
#include "QmdKelvoKeys.h"

#include <QFile>
#include <QXmlStreamReader>

namespace K = QmdKelvoKeys;

QSet<QmdIndex> QmdKelvoController::unusedScaleModes() const
{
    QSet<QmdIndex> unused;
    const QmdIndex modes = directIndex(K::ScaleModes, QmdIndex());
    if (!modes.isValid() || directType(modes) != Qmd::IntDict)
        return unused;
    QSet<QmdItemId> used;
    used.insert(directData(K::ScaleMode, QmdIndex()).toUInt());
    const QmdIndex elements = directElementsRoot();
    if (elements.isValid()) {
        for (const QmdIndex& element : directChildren(elements)) {
            if (directData(K::Type, element).toUInt() == QmdKelvo::VoiceGroupElement)
                used.insert(directData(K::ScaleMode, element).toUInt());
        }
    }
    for (const QmdIndex& mode : directChildren(modes)) {
        if (!used.contains(mode.itemId()))
            unused.insert(mode);
    }
    return unused;
}

QFile::FileError QmdKelvoController::save(const QString& fileName, QmdRequestId)
{
    QSet<QmdIndex> excluded = unusedScaleModes();
    const QmdIndex temp = directIndex(K::Temp, QmdIndex());
    if (temp.isValid())
        excluded.insert(temp);
    return savePropertyList(fileName, [this, &excluded](QIODevice* device) {
        auto exporter = std::make_unique<QmdKelvoExporter>(model(), device);
        exporter->setExcludedIndexes(excluded);
        return std::unique_ptr<QmdPropertyListExporter>(std::move(exporter));
    });
}

// Whether the property list in the file holds a network: its top item is a string-keyed
// container. Only the head of the file is read; whether the rest is sound is for the reader
// to find out.
static bool holdsNetwork(QIODevice* device)
{
    QXmlStreamReader xml(device);
    int depth = 0; // 1 inside "plist", 2 inside the top "dict"
    bool containerTypeKey = false;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            if (depth == 0) {
                if (xml.name() != QLatin1String("plist"))
                    return false;
                depth = 1;
            } else if (depth == 1) {
                if (xml.name() != QLatin1String("dict"))
                    return false;
                depth = 2;
            } else if (containerTypeKey) {
                return xml.name() == QLatin1String("string")
                    && xml.readElementText() == QLatin1String("StrDict");
            } else if (xml.name() == QLatin1String("key")) {
                containerTypeKey = xml.readElementText() == QLatin1String("ContainerType");
            } else {
                xml.skipCurrentElement();
            }
            break;
        case QXmlStreamReader::EndElement:
            if (depth == 2)
                return false; // the top "dict" ended without naming its type
            break;
        default:
            break;
        }
    }
    return false;
}

QFile::FileError QmdKelvoController::load(const QString& fileName, QmdRequestId)
{
    // A file that is not a network is refused like a damaged one: loading it would leave a
    // default network under the file's name, which the next save would write over the file.
    {
        QFile file(fileName);
        if (file.open(QIODevice::ReadOnly) && !holdsNetwork(&file))
            return QFile::ReadError;
    }
    return loadPropertyList(fileName, [this](QIODevice* device) {
        return std::unique_ptr<QmdPropertyListImporter>(
            std::make_unique<QmdKelvoImporter>(model(), device));
    });
}
