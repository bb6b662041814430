#include "TextBoxDocument.h"

#include <QFile>
#include <QImage>

namespace {

// The most that served resources keep, in bytes.
constexpr qsizetype ServedCacheBytes = 64 * 1024 * 1024;

// The bytes of a "data:" URL: "data:[<media type>][;base64],<data>"; null when malformed.
QByteArray dataUrlPayload(const QUrl& url)
{
    const QByteArray path = url.path(QUrl::FullyEncoded).toLatin1();
    const qsizetype comma = path.indexOf(',');
    if (comma < 0)
        return QByteArray();
    const QByteArray payload = QByteArray::fromPercentEncoding(path.mid(comma + 1));
    if (path.left(comma).toLower().endsWith(";base64"))
        return QByteArray::fromBase64(payload);
    return payload;
}

// The bytes of a "qrc:" URL; null when there is no such resource.
QByteArray qrcPayload(const QUrl& url)
{
    QFile file(QLatin1Char(':') + url.path());
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QVariant serve(int type, const QUrl& name)
{
    QByteArray payload;
    const QString scheme = name.scheme().toLower();
    if (scheme == QLatin1String("qrc"))
        payload = qrcPayload(name);
    else if (scheme == QLatin1String("data"))
        payload = dataUrlPayload(name);

    if (type != QTextDocument::ImageResource)
        return payload.isNull() ? QVariant() : QVariant(payload);
    // The text's image painter reads the name as a file when it gets no image.
    QImage image = QImage::fromData(payload);
    if (image.isNull()) {
        image = QImage(1, 1, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
    }
    return image;
}

qsizetype sizeOf(const QVariant& value)
{
    if (value.metaType() == QMetaType::fromType<QImage>())
        return value.value<QImage>().sizeInBytes();
    return value.toByteArray().size();
}

} // namespace

TextBoxDocument::TextBoxDocument(QObject* parent)
    : QTextDocument(parent)
    , served(ServedCacheBytes)
{ }

TextBoxDocument::~TextBoxDocument() = default;

QVariant TextBoxDocument::loadResource(int type, const QUrl& name)
{
    const QPair<int, QUrl> key(type, name);
    if (const QVariant* value = served.object(key))
        return *value;
    const QVariant value = serve(type, name);
    served.insert(key, new QVariant(value), std::max<qsizetype>(1, sizeOf(value)));
    return value;
}
