#include "ScaleMode.h"

#include "BundleResources.h"

#include <QDomDocument>
#include <QFile>
#include <QRegularExpression>

static const quint32 allDegrees = 0xFFF;

quint32 ScaleMode::parseDegreeSet(const QString& text)
{
    static const QRegularExpression separators(QStringLiteral("(\\{|\\}|\\s|,)+"));
    quint32 set = 0;
    const QStringList parts = text.split(separators, Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        bool ok = false;
        const int degree = part.toInt(&ok, 10);
        if (ok && degree >= 0 && degree <= 11)
            set |= 1u << degree;
    }
    return set == 0 ? allDegrees : set;
}

QString ScaleMode::degreeSetText(quint32 degreeSet)
{
    QStringList degrees;
    for (int d = 0; d < 12; ++d) {
        if (degreeSet & (1u << d))
            degrees.append(QString::number(d));
    }
    return QLatin1Char('{') + degrees.join(QLatin1Char(',')) + QLatin1Char('}');
}

void ScaleMode::builtInScaleModes(QList<ScaleMode>* list, QSet<ScaleMode>* set,
                                  const ScaleMode& chromatic)
{
    scaleModesFromFile(Platform::bundleResourcePath(QStringLiteral("ScaleModes.plist")), list, set,
                       chromatic);
}

// The modes of a property list: every dict directly inside the document's first dictionary is
// one mode, holding "Label" and "ChromaticScaleDegreeSet", each followed by a string element.
static void readModes(const QString& fileName, QList<ScaleMode>* list, QSet<ScaleMode>* set,
                      int* order)
{
    QFile file(fileName);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return;
    QDomDocument document;
    if (!document.setContent(&file))
        return;
    const QDomElement modes = document.documentElement().firstChildElement();
    for (QDomElement mode = modes.firstChildElement(QStringLiteral("dict")); !mode.isNull();
         mode = mode.nextSiblingElement(QStringLiteral("dict"))) {
        QString label;
        QString degrees;
        for (QDomElement key = mode.firstChildElement(QStringLiteral("key")); !key.isNull();
             key = key.nextSiblingElement(QStringLiteral("key"))) {
            const QString name = key.text().trimmed();
            QString* target = name == QLatin1String("Label")       ? &label
                : name == QLatin1String("ChromaticScaleDegreeSet") ? &degrees
                                                                   : nullptr;
            if (target)
                *target = key.nextSiblingElement(QStringLiteral("string")).text().trimmed();
        }
        if (label.isEmpty() || degrees.isEmpty())
            continue;
        const ScaleMode scaleMode(label, ScaleMode::parseDegreeSet(degrees), (*order)++);
        list->append(scaleMode);
        set->insert(scaleMode);
    }
}

void ScaleMode::scaleModesFromFile(const QString& fileName, QList<ScaleMode>* list,
                                   QSet<ScaleMode>* set, const ScaleMode& chromatic)
{
    list->clear();
    set->clear();
    int order = 0;
    readModes(fileName, list, set, &order);

    auto add = [&](const ScaleMode& mode) {
        list->append(mode);
        set->insert(mode);
    };
    if (list->isEmpty()) {
        add(ScaleMode(chromatic.label, chromatic.chromaticDegreeSet, order));
        add(ScaleMode(QStringLiteral("Major"),
                      parseDegreeSet(QStringLiteral("{0, ,2, ,4,5, ,7, ,9, ,11}")), order + 1));
        add(ScaleMode(QStringLiteral("Minor"),
                      parseDegreeSet(QStringLiteral("{0, ,2,3, ,5, ,7,8, ,10, }")), order + 2));
        order += 3;
    }
    if (!set->contains(chromatic))
        add(ScaleMode(chromatic.label, chromatic.chromaticDegreeSet, order));
}
