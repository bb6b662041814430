// Paints the program's images at build time.
//
//     kelvo_imagegen OUTDIR PATH...
//
// writes each named image to OUTDIR/PATH as PNG. Every registered image must be named and
// every name registered, so that the build's list and the painters never drift apart.

#include "ImageRegistry.h"

#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QSet>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTDIR PATH...\n", argv[0]);
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    const QMap<QString, ImageRegistry::Painter>& painters = ImageRegistry::painters();

    QSet<QString> requested;
    for (int i = 2; i < argc; ++i)
        requested.insert(QString::fromLocal8Bit(argv[i]));
    int status = 0;
    for (auto it = painters.cbegin(); it != painters.cend(); ++it) {
        if (!requested.contains(it.key())) {
            std::fprintf(stderr, "kelvo_imagegen: %s is registered but not requested\n",
                         qPrintable(it.key()));
            status = 1;
        }
    }
    for (const QString& path : std::as_const(requested)) {
        const ImageRegistry::Painter painter = painters.value(path);
        if (!painter) {
            std::fprintf(stderr, "kelvo_imagegen: no painter for %s\n", qPrintable(path));
            status = 1;
            continue;
        }
        const QString fileName = outDir + QLatin1Char('/') + path;
        QDir().mkpath(QFileInfo(fileName).absolutePath());
        const QImage image = painter().convertToFormat(QImage::Format_ARGB32);
        QImageWriter writer(fileName, "png");
        if (!writer.write(image)) {
            std::fprintf(stderr, "kelvo_imagegen: cannot write %s: %s\n", qPrintable(fileName),
                         qPrintable(writer.errorString()));
            status = 1;
        }
    }
    return status;
}
