#include "DocumentTool.h"
#include "QmdKelvoUnits.h"
#include "ViewWindow.h"

#include <QAbstractItemView>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>
#include <memory>

namespace K = QmdKelvoKeys;

namespace {

QImage resourceImage(const QString& path)
{
    return QImage(path).convertToFormat(QImage::Format_ARGB32);
}

// Whether a cursor is the given image with its hot spot at (7, 7).
bool isPixmapCursor(const QCursor& cursor, const QString& path)
{
    return cursor.shape() == Qt::BitmapCursor && cursor.hotSpot() == QPoint(7, 7)
        && cursor.pixmap().toImage().convertToFormat(QImage::Format_ARGB32) == resourceImage(path);
}

const QString ZoomIn = QStringLiteral(":/images/Cursors/ZoomIn.png");
const QString ZoomOut = QStringLiteral(":/images/Cursors/ZoomOut.png");
const QString ZoomNone = QStringLiteral(":/images/Cursors/ZoomNone.png");
const QString Crosshair = QStringLiteral(":/images/Cursors/Crosshair.png");

// The cursor that a tool shows: a shape, or the image of a pixmap cursor.
struct ToolCursor
{
    Qt::CursorShape shape = Qt::BitmapCursor;
    QString image;
};

bool shows(NetworkView* view, const ToolCursor& expected)
{
    for (const QCursor& cursor : {view->cursor(), view->viewport()->cursor()}) {
        if (expected.shape != Qt::BitmapCursor ? cursor.shape() != expected.shape
                                               : !isPixmapCursor(cursor, expected.image))
            return false;
    }
    return true;
}

} // namespace

Q_DECLARE_METATYPE(ToolCursor)

class TestNetworkView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // 72 dpi: one scene unit is one pixel at 100%.
        ViewWindow::initTickGeometryAt72();
    }

    void init()
    {
        // A connection by name that does not resolve would only print a warning.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QObject::connect")));
    }

    void eachToolShowsItsCursor_data()
    {
        QTest::addColumn<int>("tool");
        QTest::addColumn<ToolCursor>("cursor");
        QTest::newRow("selection") << 0 << ToolCursor {Qt::ArrowCursor, QString()};
        QTest::newRow("zoom") << 1 << ToolCursor {Qt::BitmapCursor, ZoomIn};
        QTest::newRow("node and edge") << 2 << ToolCursor {Qt::BitmapCursor, Crosshair};
        QTest::newRow("voice group") << 3 << ToolCursor {Qt::BitmapCursor, Crosshair};
        QTest::newRow("text box") << 4 << ToolCursor {Qt::IBeamCursor, QString()};
    }

    void eachToolShowsItsCursor()
    {
        QFETCH(int, tool);
        QFETCH(ToolCursor, cursor);
        ViewWindow w;
        // A new document starts with the node and edge tool.
        QVERIFY(shows(w.view, {Qt::BitmapCursor, Crosshair}));
        // Start from another tool, so that every row sees a change.
        const int other = tool == NetworkView::TextBoxTool ? 0 : 4;
        DocumentTool::requestSet(w.controller(), other);
        QTRY_VERIFY(!shows(w.view, cursor));

        DocumentTool::requestSet(w.controller(), tool);
        QTRY_VERIFY(shows(w.view, cursor));
    }

    void unknownToolKeepsTheToolAndRestoresItsCursor()
    {
        ViewWindow w;
        DocumentTool::requestSet(w.controller(), NetworkView::TextBoxTool);
        QTRY_VERIFY(shows(w.view, {Qt::IBeamCursor, QString()}));

        w.view->viewport()->setCursor(Qt::WaitCursor);
        DocumentTool::requestSet(w.controller(), 7);
        QTRY_VERIFY(shows(w.view, {Qt::IBeamCursor, QString()}));

        w.view->viewport()->setCursor(Qt::WaitCursor);
        w.view->setTool(-1);
        QVERIFY(shows(w.view, {Qt::IBeamCursor, QString()}));
        w.view->setTool(NetworkView::SelectionTool);
        QVERIFY(shows(w.view, {Qt::ArrowCursor, QString()}));
    }

    void toolOutsideTheRunTimePartIsIgnored()
    {
        ViewWindow w;
        QVERIFY(shows(w.view, {Qt::BitmapCursor, Crosshair}));
        w.controller()->requestSetData(K::Tool, NetworkView::TextBoxTool, QmdIndex());
        QTest::qWait(20);
        QVERIFY(shows(w.view, {Qt::BitmapCursor, Crosshair}));
    }

    void toolIsFollowedAfterALoad()
    {
        ViewWindow w;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tool.kvd"));
        QSignalSpy saved(w.controller(), &QmdDocController::fileSaved);
        w.controller()->requestSave(path);
        QTRY_COMPARE(saved.count(), 1);

        DocumentTool::requestSet(w.controller(), NetworkView::TextBoxTool);
        QTRY_VERIFY(shows(w.view, {Qt::IBeamCursor, QString()}));
        const QmdIndex oldTemp = DocumentTool::parentIndex(w.controller());

        // The load makes "Temp" anew, with the node and edge tool.
        QSignalSpy loaded(w.controller(), &QmdDocController::fileLoaded);
        w.controller()->requestLoad(path);
        QTRY_COMPARE(loaded.count(), 1);
        QTRY_VERIFY(shows(w.view, {Qt::BitmapCursor, Crosshair}));
        QVERIFY(DocumentTool::parentIndex(w.controller()) != oldTemp);

        // Changes of the new one still reach the view.
        DocumentTool::requestSet(w.controller(), NetworkView::ZoomTool);
        QTRY_VERIFY(shows(w.view, {Qt::BitmapCursor, ZoomIn}));
        DocumentTool::requestSet(w.controller(), NetworkView::SelectionTool);
        QTRY_VERIFY(shows(w.view, {Qt::ArrowCursor, QString()}));
    }

    void zoomBoxSitsInTheScrollBarRow()
    {
        ViewWindow w;
        QwpComboBox* box = w.zoomBox();
        QVERIFY(box);
        QVERIFY(w.view->scrollBarWidgets(Qt::AlignLeft).contains(box));
        QCOMPARE(box->focusPolicy(), Qt::NoFocus);
        QVERIFY(box->width() >= 60);

        const QStringList texts {"25%",  "50%",  "75%",  "100%", "125%", "150%",
                                 "200%", "300%", "400%", "600%", "800%"};
        const QList<double> keys {0.25, 0.5, 0.75, 1.0, 1.25, 1.5, 2.0, 3.0, 4.0, 6.0, 8.0};
        QCOMPARE(box->count(), texts.size());
        for (int i = 0; i < box->count(); ++i) {
            QCOMPARE(box->itemText(i), texts.at(i));
            QCOMPARE(box->key(i).toDouble(), keys.at(i));
            QVERIFY(box->itemIcon(i).isNull());
        }
        QCOMPARE(box->currentKey().toDouble(), 1.0);

        QVERIFY(w.showWithViewport(QSize(400, 300)));
        // The box fits the row: it neither widens the scroll bar's row nor is cut off by it.
        const int extent = w.view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr,
                                                        w.view->horizontalScrollBar());
        QVERIFY(box->height() <= extent);
        QCOMPARE(w.view->height() - w.view->viewport()->height(), extent);
        QCOMPARE(box->mapTo(w.view, QPoint(0, 0)).y(), w.view->viewport()->height());
        // The last entry's text fits the box.
        QVERIFY(box->fontMetrics().horizontalAdvance(QStringLiteral("800%")) < box->width() / 2);
    }

    void pickingAnEntryZoomsWithoutUndo()
    {
        ViewWindow w;
        QVERIFY(w.showWithViewport(QSize(400, 300)));
        QwpComboBox* box = w.zoomBox();
        const QString undoText = w.controller()->undoText();
        const bool couldUndo = w.controller()->canUndo();

        // Down twice from "100%" in the open list, and Return.
        box->showPopup();
        QAbstractItemView* list = box->view();
        QTRY_VERIFY(list->isVisible());
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(list->currentIndex().data().toString(), QStringLiteral("150%"));
        QTest::keyClick(list, Qt::Key_Return);
        QTRY_VERIFY(!list->isVisible());

        QTRY_COMPARE(w.view->transform().m11(), 1.5);
        QCOMPARE(w.view->transform().m22(), 1.5);
        QCOMPARE(w.view->transform().m12(), 0.0);
        QCOMPARE(w.controller()->data(K::ZoomScale, QmdIndex()).toDouble(), 1.5);
        QCOMPARE(box->currentText(), QStringLiteral("150%"));
        QCOMPARE(w.controller()->undoText(), undoText);
        QCOMPARE(w.controller()->canUndo(), couldUndo);
    }

    void zoomKeepsTheCentre()
    {
        ViewWindow w;
        QVERIFY(w.showWithViewport(QSize(400, 300)));
        // Contents far and wide, so that the view can scroll to a point off the origin.
        w.setContents(QRectF(-2000, -2000, 4000, 4000));
        w.view->centerOn(300, 200);
        const QPointF before = w.view->mapToScene(w.view->viewport()->rect().center());
        w.setZoomScale(2.0);
        QTRY_COMPARE(w.view->transform().m11(), 2.0);
        const QPointF after = w.view->mapToScene(w.view->viewport()->rect().center());
        QVERIFY2(std::abs(after.x() - before.x()) <= 1 && std::abs(after.y() - before.y()) <= 1,
                 qPrintable(QStringLiteral("(%1, %2) became (%3, %4)")
                                .arg(before.x())
                                .arg(before.y())
                                .arg(after.x())
                                .arg(after.y())));
    }

    void valueOfNoEntryStillScales()
    {
        ViewWindow w;
        w.setZoomScale(1.1);
        QTRY_COMPARE(w.view->transform().m11(), 1.1);
        QCOMPARE(w.zoomBox()->currentIndex(), -1);
        QVERIFY(!w.zoomBox()->currentKey().isValid());

        // The window's zoom commands write numbers as well: an integer matches its entry.
        w.setZoomScale(4);
        QTRY_COMPARE(w.view->transform().m11(), 4.0);
        QCOMPARE(w.zoomBox()->currentText(), QStringLiteral("400%"));
    }

    void unusableZoomScalesAsActualSize_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<double>("scale");
        QTest::newRow("zero") << QVariant(0.0) << 1.0;
        QTest::newRow("negative") << QVariant(-2.0) << 1.0;
        QTest::newRow("not a number") << QVariant(std::numeric_limits<double>::quiet_NaN()) << 1.0;
        QTest::newRow("infinite") << QVariant(std::numeric_limits<double>::infinity()) << 1.0;
        QTest::newRow("text") << QVariant(QStringLiteral("big")) << 1.0;
        QTest::newRow("absent") << QVariant() << 1.0;
        QTest::newRow("too small") << QVariant(0.1) << 0.25;
        QTest::newRow("too large") << QVariant(20.0) << 8.0;
    }

    void unusableZoomScalesAsActualSize()
    {
        QFETCH(QVariant, stored);
        QFETCH(double, scale);
        ViewWindow w;
        w.setZoomScale(3.0);
        QTRY_COMPARE(w.view->transform().m11(), 3.0);

        if (stored.isValid())
            w.setZoomScale(stored);
        else
            w.controller()->requestRemove(K::ZoomScale, QmdIndex());
        QTRY_COMPARE(w.view->transform().m11(), scale);
        QCOMPARE(w.view->transform().m22(), scale);
        // The document keeps what it holds; the box shows no entry for it.
        QCOMPARE(w.controller()->data(K::ZoomScale, QmdIndex()).isValid(), stored.isValid());
        QCOMPARE(w.zoomBox()->currentIndex(), -1);

        // The zoom tool goes by the scale applied: both ways are open from it.
        DocumentTool::requestSet(w.controller(), NetworkView::ZoomTool);
        QTRY_VERIFY(shows(w.view, {Qt::BitmapCursor, scale < 8.0 ? ZoomIn : ZoomNone}));
        w.view->setZoomDirection(true);
        QVERIFY(shows(w.view, {Qt::BitmapCursor, scale > 0.25 ? ZoomOut : ZoomNone}));
    }

    void zoomDirectionAtTheEndsOfTheRange_data()
    {
        QTest::addColumn<double>("zoom");
        QTest::addColumn<QString>("zoomingIn");
        QTest::addColumn<QString>("zoomingOut");
        QTest::newRow("800%") << 8.0 << ZoomNone << ZoomOut;
        QTest::newRow("600%") << 6.0 << ZoomNone << ZoomOut;
        QTest::newRow("400%") << 4.0 << ZoomIn << ZoomOut;
        QTest::newRow("25%") << 0.25 << ZoomIn << ZoomNone;
    }

    void zoomDirectionAtTheEndsOfTheRange()
    {
        QFETCH(double, zoom);
        QFETCH(QString, zoomingIn);
        QFETCH(QString, zoomingOut);
        ViewWindow w;
        DocumentTool::requestSet(w.controller(), NetworkView::ZoomTool);
        w.setZoomScale(zoom);
        QTRY_COMPARE(w.view->transform().m11(), zoom);
        QVERIFY(shows(w.view, {Qt::BitmapCursor, zoomingIn}));
        w.view->setZoomDirection(true);
        QVERIFY(shows(w.view, {Qt::BitmapCursor, zoomingOut}));
        w.view->setZoomDirection(false);
        QVERIFY(shows(w.view, {Qt::BitmapCursor, zoomingIn}));

        // Other tools keep their own cursor whatever the direction.
        DocumentTool::requestSet(w.controller(), NetworkView::SelectionTool);
        QTRY_VERIFY(shows(w.view, {Qt::ArrowCursor, QString()}));
        w.view->setZoomDirection(true);
        QVERIFY(shows(w.view, {Qt::ArrowCursor, QString()}));
    }

    void newZoomReconsidersTheDirection()
    {
        ViewWindow w;
        DocumentTool::requestSet(w.controller(), NetworkView::ZoomTool);
        QTRY_VERIFY(shows(w.view, {Qt::BitmapCursor, ZoomIn}));
        w.view->setZoomDirection(true);
        QVERIFY(shows(w.view, {Qt::BitmapCursor, ZoomOut}));
        // Zooming out to the end leaves nothing to zoom out to.
        w.setZoomScale(0.25);
        QTRY_VERIFY(shows(w.view, {Qt::BitmapCursor, ZoomNone}));
        // Zooming in from there, the tool still zooms in.
        w.view->setZoomDirection(false);
        w.setZoomScale(2.0);
        QTRY_COMPARE(w.view->transform().m11(), 2.0);
        QVERIFY(shows(w.view, {Qt::BitmapCursor, ZoomIn}));
    }

    void tickPointIsTheViewportCentre()
    {
        ViewWindow w;
        QVERIFY(w.showWithViewport(QSize(801, 601)));
        // At 100% and 72 dpi a scene unit is a pixel and the empty network's scene rectangle
        // is the viewport centred on the origin: pixel (400, 300) lies on it.
        const QPointF centre = w.view->mapToScene(QPoint(400, 300));
        QVERIFY(std::abs(centre.x()) <= 1 && std::abs(centre.y()) <= 1);
        const QmdKelvo::TickPoint expected {std::llround(centre.x() * QmdKelvo::ticksPerPixelX),
                                            std::llround(centre.y() * QmdKelvo::ticksPerPixelY)};
        QCOMPARE(w.view->tickPointAt(), expected);

        w.setContents(QRectF(0, 0, 4000, 3000));
        w.view->centerOn(2000, 1500);
        const QPointF scrolled = w.view->mapToScene(QPoint(400, 300));
        QVERIFY(std::abs(scrolled.x() - 2000) <= 1 && std::abs(scrolled.y() - 1500) <= 1);
        const QmdKelvo::TickPoint point = w.view->tickPointAt();
        QCOMPARE(point.x, std::llround(scrolled.x() * QmdKelvo::ticksPerPixelX));
        QCOMPARE(point.y, std::llround(scrolled.y() * QmdKelvo::ticksPerPixelY));
    }

    void emptyNetworkShowsOneViewportAboutTheOrigin()
    {
        ViewWindow w;
        QVERIFY(w.showWithViewport(QSize(400, 300)));
        QCOMPARE(w.scene->sceneRect(), QRectF(-200, -150, 400, 300));

        // Resizing follows, both ways.
        QVERIFY(w.showWithViewport(QSize(600, 500)));
        QCOMPARE(w.scene->sceneRect(), QRectF(-300, -250, 600, 500));
        QVERIFY(w.showWithViewport(QSize(300, 200)));
        QCOMPARE(w.scene->sceneRect(), QRectF(-150, -100, 300, 200));
    }

    void contentsGrowTheSceneAndShrinkItLater()
    {
        ViewWindow w;
        QVERIFY(w.showWithViewport(QSize(400, 300)));
        const QRectF onePage(-200, -150, 400, 300);

        w.setContents(QRectF(100, 0, 1000, 100));
        QCOMPARE(w.scene->sceneRect(), QRectF(-200, -150, 1320, 300));
        w.setContents(QRectF(100, -500, 1000, 100));
        QCOMPARE(w.scene->sceneRect(), QRectF(-200, -520, 1320, 670));

        // A burst of changes (a request that moves many elements) sets the rectangle once,
        // after the burst.
        QSignalSpy rectSet(w.scene, &QGraphicsScene::sceneRectChanged);
        for (int i = 1; i <= 3; ++i)
            w.scene->setSceneContentsRect(QRectF(100, -500, 1000 + 100 * i, 100));
        QCOMPARE(rectSet.count(), 0);
        ViewWindow::settle();
        QCOMPARE(rectSet.count(), 1);
        QCOMPARE(w.scene->sceneRect(), QRectF(-200, -520, 1620, 670));

        // Contents coming back in (a drag, say) leave the rectangle as it was...
        const QRectF grown = w.scene->sceneRect();
        w.setContents(QRectF(0, 0, 10, 10));
        QCOMPARE(w.scene->sceneRect(), grown);
        // ...until it is fitted again.
        w.view->shrinkOrGrowSceneRect();
        QCOMPARE(w.scene->sceneRect(), onePage);

        // Contents that move out on one side and in on the other stay in reach.
        w.setContents(QRectF(-1000, 0, 900, 100));
        w.setContents(QRectF(-500, 0, 900, 100));
        QCOMPARE(w.scene->sceneRect(), QRectF(-1020, -150, 1440, 300));
        w.view->shrinkOrGrowSceneRect();
        QCOMPARE(w.scene->sceneRect(), QRectF(-520, -150, 940, 300));
        w.setContents(QRectF(0, 0, 10, 10));
        w.view->shrinkOrGrowSceneRect();
        QCOMPARE(w.scene->sceneRect(), onePage);

        // Adding or removing elements fits it too.
        w.setContents(QRectF(100, 0, 1000, 100));
        w.setContents(QRectF(0, 0, 10, 10));
        QCOMPARE(w.scene->sceneRect(), QRectF(-200, -150, 1320, 300));
        QmdItemId node = 0;
        w.controller()->requestAddNode(QmdKelvo::TickPoint {0, 0}, QmdKelvo::NoCreationFlags,
                                       QmdRequestOptions(QStringLiteral("Node")), &node);
        QTRY_COMPARE(w.scene->sceneRect(),
                     onePage.united(w.scene->sceneContentsRect().adjusted(-20, -20, 20, 20)));

        w.setContents(QRectF(100, 0, 1000, 100));
        w.setContents(QRectF(0, 0, 10, 10));
        QVERIFY(w.scene->sceneRect().width() > 1000);
        w.controller()->requestRemove(QmdItemIdList {node}, w.controller()->elementsRoot());
        QTRY_COMPARE(w.scene->sceneRect(),
                     onePage.united(w.scene->sceneContentsRect().adjusted(-20, -20, 20, 20)));
    }

    void zoomChangeRefitsTheScene()
    {
        ViewWindow w;
        QVERIFY(w.showWithViewport(QSize(400, 300)));
        w.setZoomScale(2.0);
        QTRY_COMPARE(w.view->transform().m11(), 2.0);
        QCOMPARE(w.scene->sceneRect(), QRectF(-100, -75, 200, 150));
        w.setZoomScale(0.5);
        QTRY_COMPARE(w.scene->sceneRect(), QRectF(-400, -300, 800, 600));
    }

    void sceneResetEndsTheInteraction()
    {
        ViewWindow w;
        QVERIFY(w.showWithViewport(QSize(400, 300)));
        // Ending an interaction repaints the whole scene.
        QSignalSpy repaints(w.scene, &QGraphicsScene::changed);
        emit w.scene->aboutToReset();
        QTRY_VERIFY(repaints.count() > 0);

        // Setting the same scene again changes nothing.
        w.view->setScene(w.scene);
        repaints.clear();
        emit w.scene->aboutToReset();
        QTRY_VERIFY(repaints.count() > 0);
        QCOMPARE(w.view->scene(), w.scene);
        // The view still follows the scene's own signals: a wider scene scrolls.
        QCOMPARE(w.view->horizontalScrollBar()->maximum(), 0);
        w.setContents(QRectF(0, 0, 2000, 10));
        QTRY_VERIFY(w.view->horizontalScrollBar()->maximum() > 0);

        // A scene that the view no longer shows reaches it no more.
        NetworkScene other(nullptr);
        w.view->setScene(&other);
        repaints.clear();
        emit w.scene->aboutToReset();
        emit w.scene->sceneContentsRectChanged(QRectF(0, 0, 5000, 5000));
        QTest::qWait(20);
        QCOMPARE(repaints.count(), 0);
        QVERIFY(w.scene->sceneRect().width() < 5000);
        w.view->setScene(nullptr);
    }

    void theWindowIsReachedAsADocumentWindow()
    {
        ViewWindow w;
        QCOMPARE(w.view->actionWindow(), &w.window);
        QCOMPARE(w.scene->documentWindow(), &w.window);
        // Called by name on the target, as the view's commands call them.
        QMetaObject::invokeMethod(w.view->actionWindow(), "del");
        w.view->actionWindow()->setPasteTickPoint(w.view->tickPointAt());
        QCOMPARE(w.window.calls, QStringList({"del", "setPasteTickPoint"}));

        // A target of another class gets nothing.
        QObject other;
        w.view->setActionTarget(&other);
        QVERIFY(!w.view->actionWindow());
        w.view->setActionTarget(nullptr);
        QVERIFY(!w.view->actionWindow());
        // Nor does a scene shown outside a document window.
        NetworkScene alone(nullptr);
        QVERIFY(!alone.documentWindow());
        QGraphicsView plain(&alone);
        QVERIFY(!alone.documentWindow());
        // The first view counts.
        QGraphicsView second(w.scene);
        QCOMPARE(w.scene->documentWindow(), &w.window);
    }

    void anotherControllerTakesOver()
    {
        ViewWindow w;
        TestDocumentWindow second;
        w.view->setController(second.controller());
        QCOMPARE(w.zoomBox()->currentKey().toDouble(), 1.0);

        // The first document's zoom and tool no longer reach the view...
        w.setZoomScale(3.0);
        DocumentTool::requestSet(w.controller(), NetworkView::TextBoxTool);
        QTest::qWait(20);
        QCOMPARE(w.view->transform().m11(), 1.0);
        QVERIFY(shows(w.view, {Qt::BitmapCursor, Crosshair}));

        // ...and the box writes to the second one.
        w.zoomBox()->setCurrentIndex(6);
        emit w.zoomBox()->activated(6);
        QTRY_COMPARE(w.view->transform().m11(), 2.0);
        QCOMPARE(second.controller()->data(K::ZoomScale, QmdIndex()).toDouble(), 2.0);
        QCOMPARE(w.controller()->data(K::ZoomScale, QmdIndex()).toDouble(), 3.0);

        // Without a controller the view keeps its zoom and the box writes nowhere.
        w.view->setController(nullptr);
        w.zoomBox()->setCurrentIndex(0);
        emit w.zoomBox()->activated(0);
        QTest::qWait(20);
        QCOMPARE(second.controller()->data(K::ZoomScale, QmdIndex()).toDouble(), 2.0);
        QCOMPARE(w.view->transform().m11(), 2.0);
    }
};

QTEST_MAIN(TestNetworkView)
#include "tst_networkview.moc"
