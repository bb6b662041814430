#ifndef TEXTBOXFIXTURE_H
#define TEXTBOXFIXTURE_H

#include "DocumentTool.h"
#include "GraphicsTextBoxEdit.h"
#include "GraphicsTextBoxItem.h"
#include "SceneFixture.h"
#include "TestAppServices.h"
#include "ViewWindow.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTextEdit>

// A shown document window with its view at 100 % and the selection tool, on the test
// implementation of the application's services, and its text boxes.
struct TextBoxWindow : ViewWindow
{
    TextBoxWindow()
    {
        // A new document starts with the node-and-edge tool, whose clicks add nodes.
        DocumentTool::requestSet(controller(), NetworkView::SelectionTool);
        services.setFocusWindow(&window);
        if (showWithViewport(QSize(640, 480)))
            QApplication::setActiveWindow(&window);
        view->centerOn(QPointF(200, 150));
    }

    // Opens a file as the application's window does: with the selection tool.
    bool load(const QString& path)
    {
        QSignalSpy loaded(controller(), &QmdDocController::fileLoaded);
        controller()->requestLoad(path);
        if (!loaded.wait() && loaded.isEmpty())
            return false;
        DocumentTool::requestSet(controller(), NetworkView::SelectionTool);
        settle();
        return true;
    }

    // Lets queued signals, posted events and deferred deletions run.
    static void settle()
    {
        for (int i = 0; i < 4; ++i) {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    // Adds a text box at a tick position. A text box added on its own opens for typing; with
    // `closed` its editor is closed again, so that it shows as a click finds it.
    GraphicsTextBoxItem* addTextBox(QmdKelvo::TickPoint pos, const QString& html,
                                    bool closed = true)
    {
        const QmdItemIdList before = controller()->elements();
        controller()->requestAddTextBox(pos, html);
        settle();
        for (const QmdItemId id : controller()->elements()) {
            if (before.contains(id))
                continue;
            auto* item = textBox(id);
            if (item && closed) {
                item->closeEditor();
                settle();
            }
            return item;
        }
        return nullptr;
    }

    QmdItemId addNode(qint64 x, qint64 y)
    {
        QmdItemId id = 0;
        controller()->requestAddNode(QmdKelvo::TickPoint {x, y}, QmdKelvo::NoCreationFlags,
                                     QmdRequestOptions(QStringLiteral("Node")), &id);
        settle();
        return id;
    }

    // Writes a text box's "Text" as another editor of the document would.
    void setElementText(QmdItemId id, const QString& text)
    {
        controller()->requestSetData(QmdKelvoKeys::Text, text, controller()->elementIndex(id));
        settle();
    }

    GraphicsTextBoxItem* textBox(QmdItemId id) const
    {
        ElementItem* item = scene->elementItem(id);
        return item && item->graphicsItem()->type() == TextBoxItemType
            ? static_cast<GraphicsTextBoxItem*>(item->graphicsItem())
            : nullptr;
    }

    QString storedText(QmdItemId id) const
    {
        return controller()->data(QmdKelvoKeys::Text, controller()->elementIndex(id)).toString();
    }

    // The point of the view that shows an item's point.
    QPoint viewPoint(const QGraphicsItem* item, QPointF itemPoint) const
    {
        return view->mapFromScene(item->mapToScene(itemPoint));
    }

    void click(QPoint viewPoint)
    {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, viewPoint);
    }
    // A click on the empty grid, far from every text box.
    void clickElsewhere() { click(QPoint(600, 440)); }

    TestAppServices services;
};

#endif // TEXTBOXFIXTURE_H
