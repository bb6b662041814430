// Loads the input as a network document and resets it. Whatever loads must save without
// error, and what was saved must load again.

#include "QmdKelvoController.h"
#include "QmdMemModel.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) { }

struct Setup
{
    int argc = 1;
    char name[9] = "fuzz_kvd";
    char* argv[2] = {name, nullptr};
    QCoreApplication app {argc, argv};
    QTemporaryDir dir;
    QString input = dir.filePath(QStringLiteral("input.kvd"));
    QString saved = dir.filePath(QStringLiteral("saved.kvd"));
};

// Loads fileName into a new document; false when it was refused.
bool loadAndSave(const QString& fileName, const QString& saveAs)
{
    QmdMemModel model;
    QmdKelvoController controller;
    controller.setModel(&model);
    bool loaded = false;
    QObject::connect(&controller, &QmdDocController::fileLoaded, [&] { loaded = true; });
    controller.requestLoad(fileName);
    QCoreApplication::sendPostedEvents();
    if (!loaded)
        return false;
    bool saved = false;
    QObject::connect(&controller, &QmdDocController::fileSaved, [&] { saved = true; });
    controller.requestSave(saveAs);
    QCoreApplication::sendPostedEvents();
    if (!saved)
        std::abort();
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Setup* setup = [] {
        qInstallMessageHandler(quiet);
        return new Setup;
    }();

    QFile file(setup->input);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    file.write(reinterpret_cast<const char*>(data), qint64(size));
    file.close();
    if (loadAndSave(setup->input, setup->saved) && !loadAndSave(setup->saved, setup->input))
        std::abort();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
