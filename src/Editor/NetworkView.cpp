#include "NetworkView.h"

#include "DocumentTool.h"
#include "DocumentWindow.h"
#include "NetworkScene.h"
#include "QmdKelvoController.h"
#include "QmdKelvoKeys.h"
#include "QmdKelvoUnits.h"
#include "QwpComboBox.h"
#include "ZoomScale.h"

#include <QApplication>
#include <QGraphicsItem>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace K = QmdKelvoKeys;

namespace {

// The entries of the zoom box: text (not translated) and the "ZoomScale" it stands for.
struct ZoomEntry
{
    const char* text;
    double scale;
};

constexpr ZoomEntry ZoomEntries[] = {
    {"25%", 0.25}, {"50%", 0.5},  {"75%", 0.75}, {"100%", 1.0}, {"125%", 1.25}, {"150%", 1.5},
    {"200%", 2.0}, {"300%", 3.0}, {"400%", 4.0}, {"600%", 6.0}, {"800%", 8.0},
};

constexpr int ZoomComboWidth = 60;
// The zoom box's font is this much smaller than the application's, but no smaller than
// MinimumZoomComboFontSize.
constexpr int ZoomComboFontReduction = 2;
constexpr int MinimumZoomComboFontSize = 7;

// The margin around the contents that the scene rectangle keeps, in scene units.
constexpr qreal SceneMargin = 20;

// The hot spot of the pixmap cursors.
constexpr int CursorHotSpot = 7;

QCursor pixmapCursor(const char* path)
{
    return QCursor(QPixmap(QString::fromLatin1(path)), CursorHotSpot, CursorHotSpot);
}

// The application's font made smaller for the zoom box, so that the box fits the height of a
// scroll bar.
QFont zoomComboFont()
{
    QFont font = QApplication::font();
    if (font.pointSizeF() > 0)
        font.setPointSizeF(
            std::max<qreal>(MinimumZoomComboFontSize, font.pointSizeF() - ZoomComboFontReduction));
    else if (font.pixelSize() > 0)
        font.setPixelSize(
            std::max(MinimumZoomComboFontSize, font.pixelSize() - ZoomComboFontReduction));
    return font;
}

} // namespace

NetworkView::NetworkView(QWidget* parent)
    : QGraphicsView(parent)
{
    setCacheMode(CacheBackground);
    setFocusPolicy(Qt::WheelFocus);

    // The zoom box sits at the left end of the horizontal scroll bar, in the scroll bar's
    // height: a box of the usual height would widen the whole row.
    zoomCombo = new QwpComboBox(this);
    zoomCombo->setFocusPolicy(Qt::NoFocus);
    zoomCombo->setFont(zoomComboFont());
    for (const ZoomEntry& entry : ZoomEntries)
        zoomCombo->addItem(QIcon(), QString::fromLatin1(entry.text), entry.scale);
    zoomCombo->ensurePolished();
    zoomCombo->setFixedWidth(std::max(ZoomComboWidth, zoomCombo->sizeHint().width()));
    zoomCombo->setMaximumHeight(
        style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, horizontalScrollBar()));
    addScrollBarWidget(zoomCombo, Qt::AlignLeft);

    reset();
}

NetworkView::~NetworkView()
{
    cancelInteraction();
}

void NetworkView::setScene(NetworkScene* scene)
{
    if (networkScene) {
        disconnect(networkScene, &NetworkScene::sceneContentsRectChanged, this,
                   &NetworkView::smartUpdateSceneRect);
        disconnect(networkScene, &NetworkScene::aboutToReset, this,
                   &NetworkView::cancelInteraction);
    }
    networkScene = scene;
    if (scene) {
        connect(scene, &NetworkScene::sceneContentsRectChanged, this,
                &NetworkView::smartUpdateSceneRect);
        // The scene deletes its items at a reset, the previews among them.
        connect(scene, &NetworkScene::aboutToReset, this, &NetworkView::cancelInteraction);
    }
    QGraphicsView::setScene(scene);
}

void NetworkView::setController(QmdKelvoController* controller)
{
    if (this->controller) {
        this->controller->unbind(zoomCombo);
        this->controller->disconnect(this);
    }
    QmdObserver<QmdKelvoController>::setController(controller);
    if (controller) {
        connect(controller, &QmdKelvoController::elementsAdded, this,
                &NetworkView::onElementsAdded);
        connect(controller, &QmdKelvoController::elementsRemoved, this,
                &NetworkView::onElementsRemoved);
        using KeysSignal
            = void (QmdController::*)(const QmdIndex&, const QStringList&, QmdRequestId);
        // A removed "ZoomScale" or "Tool" reads as 0 and is applied as such.
        for (KeysSignal signal :
             {KeysSignal(&QmdController::itemsChanged), KeysSignal(&QmdController::itemsRemoved)})
            connect(controller, signal, this, &NetworkView::onItemsChanged);
        connect(controller, &QmdController::modelReset, this, &NetworkView::reset);
        // Picking an entry writes its scale to the document without an undo step.
        controller->bind(zoomCombo, "currentKey", SIGNAL(activated(int)), K::ZoomScale, QmdIndex(),
                         QVariant(), QVariant(), QString(), Qmd::NotUndoable);
    }
    reset();
}

void NetworkView::setActionTarget(QObject* target)
{
    actionTarget = target;
}

DocumentWindow* NetworkView::actionWindow() const
{
    return qobject_cast<DocumentWindow*>(actionTarget.data());
}

QmdKelvo::TickPoint NetworkView::tickPointAt() const
{
    const QPoint centre((viewport()->width() - 1) / 2, (viewport()->height() - 1) / 2);
    const QPointF scenePoint = mapToScene(centre);
    return QmdKelvo::TickPoint {std::llround(scenePoint.x() * QmdKelvo::ticksPerPixelX),
                                std::llround(scenePoint.y() * QmdKelvo::ticksPerPixelY)};
}

void NetworkView::setTool(int tool)
{
    if (tool >= SelectionTool && tool <= TextBoxTool)
        this->tool = tool;
    updateCursor();
}

void NetworkView::setZoomDirection(bool zoomOut)
{
    const double zoomed = zoomScale() * (zoomOut ? 0.5 : 2.0);
    if (zoomed >= ZoomScale::Minimum && zoomed <= ZoomScale::Maximum)
        zoomDirection = zoomOut ? ZoomingOut : ZoomingIn;
    else
        zoomDirection = CannotZoom;
    updateCursor();
}

void NetworkView::reset()
{
    cancelInteraction();
    resetCachedContent();
    if (controller) {
        applyZoomScale();
        applyTool();
    }
    updateCursor();
}

void NetworkView::cancelInteraction()
{
    for (QGraphicsItem** preview :
         {&previewEdge, &previewNode, &previewVoiceGroup, &previewTextBox}) {
        delete *preview;
        *preview = nullptr;
    }
    edgeStartNode = QmdIndex();
    targetNode = QmdIndex();
    pendingNodeRequestId = 0;
    if (networkScene)
        networkScene->update();
}

QRectF NetworkView::fittingSceneRect() const
{
    const QTransform matrix = transform();
    const qreal width = viewport()->width() / matrix.m11();
    const qreal height = viewport()->height() / matrix.m22();
    const QRectF onePage(-width / 2, -height / 2, width, height);
    const QRectF contents = networkScene->sceneContentsRect().adjusted(-SceneMargin, -SceneMargin,
                                                                       SceneMargin, SceneMargin);
    return contents.united(onePage);
}

void NetworkView::shrinkOrGrowSceneRect()
{
    if (!networkScene)
        return;
    const QRectF rect = fittingSceneRect();
    if (rect != sceneRect())
        networkScene->setSceneRect(rect);
}

void NetworkView::smartUpdateSceneRect()
{
    if (!networkScene)
        return;
    const QRectF rect = fittingSceneRect();
    const QRectF current = sceneRect();
    if (current.width() <= 0 || current.height() <= 0 || rect.contains(current))
        networkScene->setSceneRect(rect);
}

void NetworkView::resizeEvent(QResizeEvent* event)
{
    QGraphicsView::resizeEvent(event);
    shrinkOrGrowSceneRect();
}

void NetworkView::onItemsChanged(const QmdIndex& parent, const QStringList& keys)
{
    if (!controller)
        return;
    if (parent == QmdIndex() && keys.contains(K::ZoomScale))
        applyZoomScale();
    if (keys.contains(K::Tool)) {
        // "Temp" is made anew at every reset, so its index is looked up each time.
        const QmdIndex toolParent = DocumentTool::parentIndex(controller);
        if (toolParent.isValid() && parent == toolParent)
            applyTool();
    }
}

void NetworkView::onElementsAdded(const QmdItemIdList&, QmdRequestId)
{
    shrinkOrGrowSceneRect();
}

void NetworkView::onElementsRemoved(const QmdItemIdList&, QmdRequestId)
{
    shrinkOrGrowSceneRect();
}

double NetworkView::zoomScale() const
{
    if (!controller)
        return 1.0;
    return ZoomScale::effective(controller->data(K::ZoomScale, QmdIndex()).toDouble());
}

void NetworkView::applyZoomScale()
{
    const double scale = zoomScale();
    if (zoomClickRequestId != 0)
        setTransformationAnchor(AnchorUnderMouse);
    setTransform(QTransform::fromScale(scale, scale));
    setTransformationAnchor(AnchorViewCenter);
    zoomClickRequestId = 0;
    setZoomDirection(zoomDirection == ZoomingOut);
    shrinkOrGrowSceneRect();
}

void NetworkView::applyTool()
{
    setTool(DocumentTool::current(controller));
}

void NetworkView::updateCursor()
{
    QCursor cursor;
    switch (tool) {
    case SelectionTool:
        cursor = QCursor(Qt::ArrowCursor);
        break;
    case ZoomTool:
        if (zoomDirection == ZoomingIn)
            cursor = pixmapCursor(":/images/Cursors/ZoomIn.png");
        else if (zoomDirection == ZoomingOut)
            cursor = pixmapCursor(":/images/Cursors/ZoomOut.png");
        else
            cursor = pixmapCursor(":/images/Cursors/ZoomNone.png");
        break;
    case TextBoxTool:
        cursor = QCursor(Qt::IBeamCursor);
        break;
    default:
        cursor = pixmapCursor(":/images/Cursors/Crosshair.png");
        break;
    }
    setCursor(cursor);
    viewport()->setCursor(cursor);
}
