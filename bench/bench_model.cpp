// Measures the document model through the synchronized controller: request throughput with
// the GUI thread delivering the relays, and undo and redo of a large removal.
// Run by hand in a release build. The event dispatcher that delivers the relays is printed:
// glib's (the default) or Qt's own (QT_NO_GLIB=1).

#include "QmdElementDocController.h"
#include "QmdMemModel.h"
#include "QmdSyncronizedController.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>

typedef QmdSyncronizedController<QmdElementDocController> Controller;

static QHash<QString, QVariant> elementData(int i)
{
    QHash<QString, QVariant> data;
    for (int k = 0; k < 19; ++k)
        data.insert(QStringLiteral("Key%1").arg(k),
                    k % 3 == 0       ? QVariant(i * k)
                        : k % 3 == 1 ? QVariant(QStringLiteral("text %1").arg(i))
                                     : QVariant(i * 0.5));
    return data;
}

// Requests from a worker thread while this thread delivers the relays; returns requests/s
// measured until the last finish signal has been relayed.
static double requestRate(Controller& c, int count, Qmd::RequestFlags flags)
{
    const QmdIndex element = c.elementIndex(1);
    int finished = 0;
    auto connection = QObject::connect(&c, &QmdController::requestFinished,
                                       [&](QmdRequestId, int) { ++finished; });
    QElapsedTimer timer;
    timer.start();
    QThread* worker = QThread::create([&] {
        const QmdRequestOptions options(flags, QStringLiteral("Bench"));
        for (int i = 0; i < count; ++i)
            c.requestSetData(QStringLiteral("HitCount"), i, element, options);
    });
    worker->start();
    while (finished < count)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double seconds = timer.nsecsElapsed() / 1e9;
    worker->wait();
    delete worker;
    QObject::disconnect(connection);
    return count / seconds;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::printf("event dispatcher: %s\n",
                QAbstractEventDispatcher::instance()->metaObject()->className());

    {
        QmdMemModel model;
        Controller c;
        c.setModel(&model);
        c.requestSetUndoRedoLimit(100);
        c.requestAddElement(2, elementData(1), {}, QmdRequestOptions(QStringLiteral("Add")));
        QCoreApplication::processEvents();
        std::printf("not-undoable requestSetData: %.0f requests/s\n",
                    requestRate(c, 200000, Qmd::NotUndoable));
        std::printf("undoable requestSetData:     %.0f requests/s\n",
                    requestRate(c, 100000, Qmd::NoRequestFlags));
    }

    {
        QmdMemModel model;
        Controller c;
        c.setModel(&model);
        const QmdRequestOptions setup(Qmd::NotUndoable, QStringLiteral("Setup"));
        c.beginRequest(setup);
        for (int i = 1; i <= 1000; ++i)
            c.directAddElement(2, elementData(i), {});
        c.endRequest(model.requestId());
        QCoreApplication::processEvents();

        c.requestRemove(c.elements(), c.elementsRoot());
        QCoreApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        c.requestUndo();
        const double undoMs = timer.nsecsElapsed() / 1e6;
        timer.restart();
        c.requestRedo();
        const double redoMs = timer.nsecsElapsed() / 1e6;
        std::printf("undo of removing 1000 elements: %.2f ms\n", undoMs);
        std::printf("redo of removing 1000 elements: %.2f ms\n", redoMs);
        QCoreApplication::processEvents();
    }
    return 0;
}
