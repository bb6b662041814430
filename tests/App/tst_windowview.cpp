#include "AppTestMain.h"
#include "KelvoWindow.h"
#include "NetworkView.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QwpComboBox.h"

#include <QAction>
#include <QRegularExpression>

// Each document window's view follows that window's zoom commands, zoom box and tools.
class TestWindowView : public QObject
{
    Q_OBJECT

private:
    static NetworkView* viewOf(KelvoWindow* window)
    {
        return window->findChild<NetworkView*>(QStringLiteral("networkView"));
    }

private slots:
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect"))); }

    void eachWindowZoomsItsOwnView()
    {
        KelvoApplication* app = KelvoApplication::instance();
        KelvoWindow* first = app->windows().first();
        KelvoWindow* second = app->newDocument();
        QVERIFY(second && second != first);
        NetworkView* firstView = viewOf(first);
        NetworkView* secondView = viewOf(second);
        QVERIFY(firstView && secondView);

        first->zoomIn();
        QTRY_COMPARE(firstView->transform().m11(), 2.0);
        QCOMPARE(firstView->findChild<QwpComboBox*>()->currentText(), QStringLiteral("200%"));
        first->zoomIn();
        QTRY_COMPARE(firstView->transform().m11(), 4.0);
        second->zoomOut();
        QTRY_COMPARE(secondView->transform().m11(), 0.5);
        QCOMPARE(firstView->transform().m11(), 4.0);
        first->zoomActualSize();
        QTRY_COMPARE(firstView->transform().m11(), 1.0);

        // The box writes the window's document.
        QwpComboBox* box = secondView->findChild<QwpComboBox*>();
        box->setCurrentIndex(box->findText(QStringLiteral("300%")));
        emit box->activated(box->currentIndex());
        QTRY_COMPARE(secondView->transform().m11(), 3.0);
        QCOMPARE(second->controller()->data(QmdKelvoKeys::ZoomScale, QmdIndex()).toDouble(), 3.0);
        QVERIFY(second->canZoomIn());
        QCOMPARE(firstView->transform().m11(), 1.0);
        second->close();
    }

    void toolActionsSetTheViewsCursor()
    {
        KelvoWindow* window = KelvoApplication::instance()->windows().first();
        NetworkView* view = viewOf(window);
        const auto action = [window](const char* name) {
            return window->findChild<QAction*>(QString::fromLatin1(name));
        };
        action("actionTextBoxTool")->trigger();
        QTRY_COMPARE(view->viewport()->cursor().shape(), Qt::IBeamCursor);
        action("actionSelectionTool")->trigger();
        QTRY_COMPARE(view->viewport()->cursor().shape(), Qt::ArrowCursor);
        action("actionZoomTool")->trigger();
        QTRY_COMPARE(view->viewport()->cursor().shape(), Qt::BitmapCursor);
        QCOMPARE(view->viewport()->cursor().hotSpot(), QPoint(7, 7));
    }
};

KELVO_APP_TEST_MAIN(TestWindowView)
#include "tst_windowview.moc"
