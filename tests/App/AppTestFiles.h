#ifndef APPTESTFILES_H
#define APPTESTFILES_H

#include "KelvoApplication.h"
#include "KelvoWindow.h"
#include "QmdKelvoController.h"
#include "QmdMemModel.h"

#include <QCoreApplication>
#include <QFile>

// Writes a network of `nodes` nodes in a row to `path`; returns the path.
inline QString writeNetwork(const QString& path, int nodes = 1)
{
    QmdMemModel model;
    QmdKelvoController controller;
    controller.setModel(&model);
    for (int i = 0; i < nodes; ++i)
        controller.requestAddNode(QmdKelvo::TickPoint {i * 665280, 0});
    controller.requestSave(path);
    return path;
}

inline QString writeText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
    return path;
}

// Lets queued signals and deferred deletions run.
inline void settle()
{
    for (int i = 0; i < 4; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// The number of elements of a window's document.
inline int elementCount(KelvoWindow* window)
{
    return int(window->controller()->elements().size());
}

// Changes a window's document (adds a node), so that closing it asks to save.
inline void modify(KelvoWindow* window)
{
    window->controller()->requestAddNode(QmdKelvo::TickPoint {0, 0});
    settle();
}

// Deletes every window at once, without asking.
inline void deleteAllWindows()
{
    const QList<KelvoWindow*> windows = KelvoApplication::instance()->windows();
    qDeleteAll(windows);
    settle();
}

#endif // APPTESTFILES_H
