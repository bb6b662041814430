#ifndef VIEWWINDOW_H
#define VIEWWINDOW_H

#include "NetworkScene.h"
#include "NetworkView.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QwpComboBox.h"
#include "TestDocumentWindow.h"

#include <QCoreApplication>
#include <QImage>
#include <QTest>

// A document window with its scene and view, wired as the application's window wires them.
struct ViewWindow
{
    ViewWindow()
    {
        view = new NetworkView(&window);
        view->setFrameShape(QFrame::NoFrame);
        view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        view->setDragMode(QGraphicsView::RubberBandDrag);
        window.setCentralWidget(view);
        scene = new NetworkScene(&window);
        view->setScene(scene);
        scene->setController(controller());
        view->setController(controller());
        view->setActionTarget(&window);
    }

    QmdKelvoController* controller() const { return window.controller(); }

    // Shows the window with a viewport of the given size.
    bool showWithViewport(const QSize& size)
    {
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            return false;
        const QSize margins = view->size() - view->viewport()->size();
        window.resize(window.size() - view->size() + size + margins);
        return QTest::qWaitFor([&] { return view->viewport()->size() == size; });
    }

    void setZoomScale(const QVariant& value)
    {
        controller()->requestSetData(QmdKelvoKeys::ZoomScale, value, QmdIndex(),
                                     QmdRequestOptions(Qmd::NotUndoable, QString()));
    }

    // Gives the scene a contents rectangle, as its items would, and lets the view follow.
    void setContents(const QRectF& rect)
    {
        scene->setSceneContentsRect(rect);
        settle();
    }

    // Delivers the document's queued signals and what the scene and view queue in answer.
    static void settle()
    {
        for (int i = 0; i < 4; ++i)
            QCoreApplication::sendPostedEvents();
    }

    QwpComboBox* zoomBox() const { return view->findChild<QwpComboBox*>(); }

    // Elements added as the tools add them, each in its own undo step.
    QmdItemId addNode(qint64 x, qint64 y)
    {
        QmdItemId id = 0;
        controller()->requestAddNode(QmdKelvo::TickPoint {x, y}, QmdKelvo::NoCreationFlags,
                                     QmdRequestOptions(QStringLiteral("Node")), &id);
        settle();
        return id;
    }
    QmdItemId addEdge(QmdItemId from, QmdItemId to)
    {
        QmdItemId id = 0;
        controller()->requestAddEdge(
            controller()->elementIndex(from), controller()->elementIndex(to), QmdKelvo::CityBlock,
            QmdKelvo::NoCreationFlags, QmdRequestOptions(QStringLiteral("Edge")), &id);
        settle();
        return id;
    }
    QmdItemId addVoiceGroup(QmdItemId node)
    {
        const QmdItemIdList before = controller()->elements();
        controller()->requestAddVoiceGroup(controller()->elementIndex(node));
        settle();
        for (const QmdItemId id : controller()->elements()) {
            if (!before.contains(id))
                return id;
        }
        return 0;
    }

    // The tick geometry of a 72 dpi screen, whatever the test machine's.
    static void initTickGeometryAt72()
    {
        QImage at72(1, 1, QImage::Format_ARGB32);
        at72.setDotsPerMeterX(qRound(72 / 0.0254));
        at72.setDotsPerMeterY(qRound(72 / 0.0254));
        QmdKelvo::initTickGeometry(&at72);
    }

    TestDocumentWindow window;
    NetworkScene* scene = nullptr;
    NetworkView* view = nullptr;
};

#endif // VIEWWINDOW_H
