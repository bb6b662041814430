#include "NetworkView.h"

#include "NetworkScene.h"
#include "QmdKelvoController.h"
#include "QmdKelvoUnits.h"

#include <cmath>

NetworkView::NetworkView(QWidget* parent)
    : QGraphicsView(parent)
{ }

NetworkView::~NetworkView() = default;

void NetworkView::setScene(NetworkScene* scene)
{
    networkScene = scene;
    QGraphicsView::setScene(scene);
}

void NetworkView::setController(QmdKelvoController* controller)
{
    QmdObserver<QmdKelvoController>::setController(controller);
}

void NetworkView::setActionTarget(QObject* target)
{
    actionTarget = target;
}

QmdKelvo::TickPoint NetworkView::tickPointAt() const
{
    const QPoint centre((viewport()->width() - 1) / 2, (viewport()->height() - 1) / 2);
    const QPointF scenePoint = mapToScene(centre);
    return QmdKelvo::TickPoint {std::llround(scenePoint.x() * QmdKelvo::ticksPerPixelX),
                                std::llround(scenePoint.y() * QmdKelvo::ticksPerPixelY)};
}
