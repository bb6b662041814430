#include "QmdKelvoFile.h"

#include "QmdKelvoKeys.h"
#include "QmdKelvoTypes.h"
#include "ScaleMode.h"

#include <QBitArray>
#include <QColor>
#include <QPolygonF>
#include <QRegularExpression>

namespace K = QmdKelvoKeys;

namespace {

const QRegularExpression& styleColorKey()
{
    static const QRegularExpression re(QStringLiteral("^Style.*Color$"));
    return re;
}

bool isStyleColor(const QString& key, bool topLevel)
{
    return topLevel && !key.isEmpty() && styleColorKey().match(key).hasMatch();
}

// The names of an element property's values, by number; the reader also takes the aliases.
struct EnumName
{
    const char* name;
    int value;
};

const EnumName typeNames[] = {{"Edge", 1}, {"Node", 2}, {"TextBox", 3}, {"VoiceGroup", 4}};
const EnumName typeAliases[] = {{"arc", 1}, {"player", 4}};
const EnumName pathNames[] = {{"CityBlock", 0}, {"CityBlockFlipped", 1}, {"Direct", 2}};
const EnumName signallingNames[] = {{"Sequential", 0}, {"Parallel", 1}, {"Random", 2}};

template<size_t N>
QString enumText(const EnumName (&names)[N], int value)
{
    for (const EnumName& entry : names) {
        if (entry.value == value)
            return QLatin1String(entry.name);
    }
    return QLatin1String("");
}

template<size_t N>
bool enumValue(const EnumName (&names)[N], const QString& lowered, int* value)
{
    for (const EnumName& entry : names) {
        if (lowered == QLatin1String(entry.name).toString().toLower()) {
            *value = entry.value;
            return true;
        }
    }
    return false;
}

QVariant elementPropertyValue(const QString& key, const QString& text)
{
    const QString lowered = text.toLower();
    int value = 0;
    if (key == K::Type) {
        if (!enumValue(typeNames, lowered, &value))
            enumValue(typeAliases, lowered, &value);
        return value;
    }
    if (key == K::Path) {
        enumValue(pathNames, lowered, &value);
        return value;
    }
    if (key == K::SignallingMethod) {
        enumValue(signallingNames, lowered, &value);
        return value;
    }
    if (key == K::TickPos) {
        static const QRegularExpression re(QStringLiteral("^\\{([+-]?\\d+),\\s*([+-]?\\d+)\\}$"));
        QmdKelvo::TickPoint point;
        const QRegularExpressionMatch match = re.match(text);
        if (match.hasMatch()) {
            point.x = match.captured(1).toLongLong();
            point.y = match.captured(2).toLongLong();
        }
        return QVariant::fromValue(point);
    }
    return QVariant();
}

QString colorText(const QColor& color)
{
    return color.name(QColor::HexRgb).toLower()
        + QStringLiteral("%1").arg(color.alpha(), 2, 16, QLatin1Char('0'));
}

QColor colorFromText(const QString& text)
{
    QColor color = QColor::fromString(text.left(7));
    bool ok = false;
    const int alpha = text.mid(7, 2).toInt(&ok, 16);
    color.setAlpha(ok ? alpha : 0);
    return color;
}

QString polygonText(const QPolygonF& polygon)
{
    QStringList points;
    points.reserve(polygon.size());
    for (const QPointF& point : polygon) {
        points.append(QString::number(point.x(), 'g', 6) + QLatin1Char(',')
                      + QString::number(point.y(), 'g', 6));
    }
    return points.join(QLatin1Char(';'));
}

QPolygonF polygonFromText(const QString& text)
{
    // An empty curve is written as an empty text, and reads back empty.
    QPolygonF polygon;
    if (text.isEmpty())
        return polygon;
    for (const QString& part : text.split(QLatin1Char(';'), Qt::KeepEmptyParts)) {
        // A number that is missing or not a number counts as 0.
        const QStringList numbers = part.split(QLatin1Char(','), Qt::KeepEmptyParts);
        polygon.append(QPointF(numbers.value(0).toDouble(), numbers.value(1).toDouble()));
    }
    return polygon;
}

QString bitsText(const QBitArray& bits)
{
    QString text(bits.size(), QLatin1Char('0'));
    for (qsizetype i = 0; i < bits.size(); ++i) {
        if (bits.testBit(i))
            text[i] = QLatin1Char('1');
    }
    return text;
}

// The item's place: directly under the root, or directly under an element.
void placeOf(const QmdDirectModelInterface& model, const QmdIndex& item, bool* topLevel,
             bool* elementProperty)
{
    *topLevel = false;
    *elementProperty = false;
    if (item == QmdIndex())
        return;
    const QmdIndex parent = model.directParent(item);
    *topLevel = parent == QmdIndex();
    if (!*topLevel)
        *elementProperty = model.directParent(parent).key() == K::Elements;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// QmdKelvoExporter

QmdKelvoExporter::QmdKelvoExporter(QmdModel* model, QIODevice* device, QObject* parent)
    : QmdPropertyListExporter(model, device, parent)
{ }

QmdKelvoExporter::~QmdKelvoExporter() = default;

QString QmdKelvoExporter::valueText(const QString& key, const QVariant& value, bool topLevel,
                                    bool elementProperty)
{
    if (isStyleColor(key, topLevel))
        return colorText(value.value<QColor>());
    if (elementProperty) {
        if (key == K::Type)
            return enumText(typeNames, value.toInt());
        if (key == K::Path)
            return enumText(pathNames, value.toInt());
        if (key == K::SignallingMethod)
            return enumText(signallingNames, value.toInt());
    }
    const int typeId = value.typeId();
    if (typeId == qMetaTypeId<QmdKelvo::TickPoint>()) {
        const QmdKelvo::TickPoint point = value.value<QmdKelvo::TickPoint>();
        return QStringLiteral("{%1, %2}").arg(point.x).arg(point.y);
    }
    if (typeId == QMetaType::QPolygonF)
        return polygonText(value.value<QPolygonF>());
    if (typeId == QMetaType::QBitArray)
        return bitsText(value.toBitArray());
    if (key == K::ChromaticScaleDegreeSet)
        return ScaleMode::degreeSetText(quint32(value.toLongLong()) & 0xFFFu);
    return QString();
}

void QmdKelvoExporter::writeValue(const QmdIndex& item)
{
    bool topLevel = false;
    bool elementProperty = false;
    placeOf(*this, item, &topLevel, &elementProperty);
    const QString text = valueText(item.key(), directData(item), topLevel, elementProperty);
    if (text.isNull())
        QmdPropertyListExporter::writeValue(item);
    else
        writeTextElement(QStringLiteral("string"), text);
}

// ---------------------------------------------------------------------------------------------
// QmdKelvoImporter

QmdKelvoImporter::QmdKelvoImporter(QmdModel* model, QIODevice* device, QObject* parent)
    : QmdPropertyListImporter(model, device, parent)
{ }

QmdKelvoImporter::~QmdKelvoImporter() = default;

QVariant QmdKelvoImporter::textValue(const QString& key, const QString& text, bool topLevel,
                                     bool elementProperty)
{
    if (isStyleColor(key, topLevel))
        return colorFromText(text);
    if (elementProperty) {
        const QVariant value = elementPropertyValue(key, text);
        if (value.isValid())
            return value;
    }
    if (key == K::MidiChannels) {
        static const QRegularExpression bits(QStringLiteral("^[01]*$"));
        if (!bits.match(text).hasMatch())
            return QVariant();
        QBitArray channels(text.size());
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text.at(i) == QLatin1Char('1'))
                channels.setBit(i);
        }
        return channels;
    }
    if (key == K::CurvePoints)
        return polygonFromText(text);
    if (key == K::ChromaticScaleDegreeSet)
        return int(ScaleMode::parseDegreeSet(text));
    return QVariant();
}

QVariant QmdKelvoImporter::readValue(const QDomElement& element, const QmdIndex& item)
{
    if (element.isNull() || element.tagName() != QLatin1String("string"))
        return QmdPropertyListImporter::readValue(element, item);
    bool topLevel = false;
    bool elementProperty = false;
    placeOf(*this, item, &topLevel, &elementProperty);
    const QVariant value = textValue(item.key(), element.text(), topLevel, elementProperty);
    return value.isValid() ? value : QmdPropertyListImporter::readValue(element, item);
}
