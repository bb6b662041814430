// Reads the input as a property list into a fresh model. Whatever is accepted must write
// without error, read back, and write again to the same bytes.

#include "QmdMemModel.h"
#include "QmdPropertyListExporter.h"
#include "QmdPropertyListImporter.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) { }

QByteArray write(QmdModel* model)
{
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QmdPropertyListExporter exporter(model, &out);
    if (!exporter.writeDocument())
        std::abort();
    return out.data();
}

bool read(const QByteArray& bytes, QmdModel* model)
{
    QByteArray data = bytes;
    QBuffer in(&data);
    in.open(QIODevice::ReadOnly);
    QmdPropertyListImporter importer(model, &in);
    return importer.readDocument();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool installed = [] {
        qInstallMessageHandler(quiet);
        return true;
    }();
    (void)installed;

    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    QmdMemModel model;
    if (!read(input, &model))
        return 0;
    const QByteArray first = write(&model);

    QmdMemModel again;
    if (!read(first, &again))
        std::abort();
    if (write(&again) != first)
        std::abort();
    return 0;
}
