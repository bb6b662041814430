#include "NetworkScene.h"

#include "QmdKelvoController.h"

NetworkScene::NetworkScene(QObject* parent)
    : QGraphicsScene(parent)
{ }

NetworkScene::~NetworkScene() = default;

void NetworkScene::setController(QmdKelvoController* controller)
{
    QmdObserver<QmdKelvoController>::setController(controller);
}

const QmdItemIdSet& NetworkScene::selectedElementIds() const
{
    return selectedIds;
}

void NetworkScene::setSceneContentsRect(const QRectF& rect)
{
    if (rect == m_sceneContentsRect)
        return;
    m_sceneContentsRect = rect;
    emit sceneContentsRectChanged(rect);
}

void NetworkScene::checkFeedbackPipe() { }
