// Time and peak memory of a network document's file and lifecycle: a network of 1,000 nodes,
// 2,000 edges, 16 voice groups and 16 instruments is saved, loaded into a new document (with
// its reset and the start of its threads) and closed (every thread stopped).
// Run by hand in a release build: bench_document.

#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdMemModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

namespace {

// A field of /proc/self/status in kB, or -1.
long statusKb(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray name = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(name))
            return line.mid(name.size()).trimmed().split(' ').first().toLong();
    }
    return -1;
}

struct Document
{
    std::unique_ptr<QmdMemModel> model = std::make_unique<QmdMemModel>();
    std::unique_ptr<QmdKelvoController> controller = std::make_unique<QmdKelvoController>();
    Document() { controller->setModel(model.get()); }
    void close()
    {
        controller.reset();
        model.reset();
    }
};

void build(QmdKelvoController& c)
{
    const int nodes = 1000;
    QmdItemIdList ids;
    for (int i = 0; i < nodes; ++i) {
        QmdItemId id = 0;
        c.requestAddNode(QmdKelvo::TickPoint {665280 * (i % 40), 665280 * (i / 40)}, {},
                         QmdRequestOptions(QStringLiteral("Node")), &id);
        ids.append(id);
    }
    for (int i = 0; i < 2 * nodes; ++i) {
        c.requestAddEdge(c.elementIndex(ids.at(i % nodes)),
                         c.elementIndex(ids.at((i * 7 + 1) % nodes)), QmdKelvo::EdgePath(i % 3));
    }
    for (int i = 0; i < 16; ++i) {
        c.requestAddInstrument();
        c.requestAddVoiceGroup(c.elementIndex(ids.at(i * 50)));
    }
    QCoreApplication::sendPostedEvents();
}

double seconds(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("network.kvd"));

    Document original;
    build(*original.controller);
    QElapsedTimer timer;
    timer.start();
    original.controller->requestSave(file);
    const double save = seconds(timer);
    original.close();
    QCoreApplication::sendPostedEvents();

    Document loaded;
    timer.restart();
    loaded.controller->requestLoad(file);
    QCoreApplication::sendPostedEvents();
    const double load = seconds(timer);
    const int elements = loaded.controller->elements().size();
    const int groups = loaded.controller->voiceGroupsCopy().size();
    const int instruments = loaded.controller->instrumentsCopy().size();

    timer.restart();
    loaded.close();
    const double close = seconds(timer);

    std::printf("elements %d, voice-group threads %d, instrument threads %d, file %lld bytes\n",
                elements, groups, instruments, QFileInfo(file).size());
    std::printf("save  %.3f s (target < 0.2 s)\n", save);
    std::printf("load  %.3f s with reset and thread start-up (target < 0.5 s)\n", load);
    std::printf("close %.3f s with every thread stopped (target < 0.1 s)\n", close);
    std::printf("peak memory %.1f MB (target < 80 MB)\n", double(statusKb("VmHWM")) / 1024.0);
    return 0;
}
