#ifndef QMDKELVOFILE_H
#define QMDKELVOFILE_H

#include "QmdPropertyListExporter.h"
#include "QmdPropertyListImporter.h"

// The value conversions of a network document file (".kvd") and of the clipboard. Values of
// the document's own types are written as "string" elements and read back by key and place:
// style colours at the top level, an element's "Type", "Path", "SignallingMethod" and
// "TickPos", and "MidiChannels", "CurvePoints" and "ChromaticScaleDegreeSet" anywhere.
// Everything else goes by the plain property-list rules.
class QmdKelvoExporter : public QmdPropertyListExporter
{
    Q_OBJECT

public:
    QmdKelvoExporter(QmdModel* model, QIODevice* device, QObject* parent = nullptr);
    ~QmdKelvoExporter() override;

    void writeValue(const QmdIndex& item) override;

    // The text of one value as the writer puts it in the file, for a value of `key`; `topLevel`
    // and `elementProperty` tell where the value stands. A null string when the plain rules
    // apply.
    static QString valueText(const QString& key, const QVariant& value, bool topLevel,
                             bool elementProperty);
};

class QmdKelvoImporter : public QmdPropertyListImporter
{
    Q_OBJECT

public:
    QmdKelvoImporter(QmdModel* model, QIODevice* device, QObject* parent = nullptr);
    ~QmdKelvoImporter() override;

    QVariant readValue(const QDomElement& element, const QmdIndex& item) override;

    // The value that the text of a "string" element stands for, for a value of `key` at the
    // given place; a null QVariant when the text stays text.
    static QVariant textValue(const QString& key, const QString& text, bool topLevel,
                              bool elementProperty);
};

#endif // QMDKELVOFILE_H
